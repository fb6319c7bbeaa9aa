// Segment requests and the steps of a segment fetch: what is asked of the browser, and
// what the instance keeps.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "afp_split.h"

namespace {

namespace fs = std::filesystem;

struct Browser {
    std::vector<std::string> gets;
    std::vector<std::pair<std::string, std::string>> posts;
    afp::BrowserRequests Requests() {
        afp::BrowserRequests requests;
        requests.getUrl = [this](const std::string& url) { gets.push_back(url); };
        requests.postUrl = [this](const std::string& url, const std::string& body) {
            posts.emplace_back(url, body);
        };
        return requests;
    }
};

afp::SplitInstance Segmented(const std::string& url, const std::string& form = "") {
    afp::SplitInstance inst;
    inst.segmentUrl = url;
    inst.segmentFormData = form;
    inst.segmentCount = 5;
    inst.pagesPerSegment = 10;
    inst.segments.Make(5);
    return inst;
}

TEST(SegmentRequest, GetUrls) {
    const std::string longDocId(2500, 'd');
    struct Case {
        std::string url;
        uint64_t offset;
        std::string expected;
    };
    const Case cases[] = {
        {"/cgi-bin/qel?_f=F&_d=D&_a=g&_seg=", 0, "/cgi-bin/qel?_f=F&_d=D&_a=g&_seg=0"},
        {"/cgi-bin/qel?_seg=", 9, "/cgi-bin/qel?_seg=0"},
        {"/cgi-bin/qel?_seg=", 10, "/cgi-bin/qel?_seg=1"},
        {"/cgi-bin/qel?_seg=", 49, "/cgi-bin/qel?_seg=4"},
        {"file:/tmp/doc/seg", 0, "file:/tmp/doc/seg00.afp"},
        {"file:/tmp/doc/seg", 23, "file:/tmp/doc/seg2.afp"},
        {"/q?_d=" + longDocId + "&_seg=", 30, "/q?_d=" + longDocId + "&_seg=3"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.expected);
        afp::SplitInstance inst = Segmented(c.url);
        inst.currentSegment = 0;
        Browser browser;
        ASSERT_EQ(afp::RequestSegment(inst, c.offset, browser.Requests()), afp::RequestResult::kRequested);
        EXPECT_EQ(browser.gets, std::vector<std::string>{c.expected});
        EXPECT_TRUE(browser.posts.empty());
        EXPECT_TRUE(inst.requestPending);
        EXPECT_EQ(inst.currentSegment, static_cast<int32_t>(c.offset / 10));
        EXPECT_EQ(inst.previousSegment, 0);
        // Another request while this one is pending asks nothing.
        EXPECT_EQ(afp::RequestSegment(inst, 0, browser.Requests()), afp::RequestResult::kPending);
        EXPECT_EQ(browser.gets.size(), 1u);
    }
}

TEST(SegmentRequest, PostBody) {
    const std::string form = "_f=F&_d=" + std::string(1500, 'x') + "&_seg=";
    afp::SplitInstance inst = Segmented("/cgi-bin/qel", form);
    Browser browser;
    ASSERT_EQ(afp::RequestSegment(inst, 27, browser.Requests()), afp::RequestResult::kRequested);
    ASSERT_EQ(browser.posts.size(), 1u);
    EXPECT_EQ(browser.posts[0].first, "/cgi-bin/qel");
    EXPECT_EQ(browser.posts[0].second, "Content-Type: application/x-www-form-urlencoded\nContent-Length: " +
                                           std::to_string(form.size() + 1) + "\n\n" + form + "2");
    EXPECT_TRUE(browser.gets.empty());
}

TEST(SegmentRequest, Refusals) {
    struct Case {
        const char* name;
        std::string url;
        std::string form;
        uint32_t perSegment;
        uint64_t offset;
    };
    const Case cases[] = {
        {"form data with LF", "/q", "_d=1\nX-Injected: 1&_seg=", 10, 0},
        {"form data with CR", "/q", "_d=1\r&_seg=", 10, 0},
        {"URL with LF", "/q?_seg=\nHost: x", "", 10, 0},
        {"no pages per segment", "/q?_seg=", "", 0, 5},
        {"past the last segment", "/q?_seg=", "", 10, 50},
        {"no URL", "", "", 10, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        afp::SplitInstance inst = Segmented(c.url, c.form);
        inst.pagesPerSegment = c.perSegment;
        Browser browser;
        EXPECT_EQ(afp::RequestSegment(inst, c.offset, browser.Requests()), afp::RequestResult::kRefused);
        EXPECT_TRUE(browser.gets.empty());
        EXPECT_TRUE(browser.posts.empty());
        EXPECT_FALSE(inst.requestPending);
    }
}

class SegmentFetch : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() / ("afp_fetch_" + std::to_string(getpid()));
        fs::create_directories(dir_);
        inst_ = Segmented("/q?_seg=");
        inst_.currentSegment = 3;
        host_.browser = browser_.Requests();
        host_.confirmSegment = [this] {
            ++questions_;
            return answer_;
        };
        host_.printCollected = [this](const std::string& path) {
            printed_.push_back(path + ":" + Read(path));
        };
    }
    void TearDown() override { fs::remove_all(dir_); }
    static std::string Read(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    }
    std::string Write(const std::string& name, const std::string& text) {
        const fs::path path = dir_ / name;
        std::ofstream(path, std::ios::binary) << text;
        return path.string();
    }
    // The split's part: the reply has come.
    void Reply() { inst_.requestPending = false; }

    fs::path dir_;
    afp::SplitInstance inst_;
    Browser browser_;
    afp::SegmentHost host_;
    int answer_ = 7;  // "No": fetch this segment, ask again next time
    int questions_ = 0;
    std::vector<std::string> printed_;
};

TEST_F(SegmentFetch, PrintCollectionRunsToItsLastSegment) {
    inst_.lastSegmentToFetch = 1;
    const std::string kept = Write("seg 0.ZE0", "zero");
    inst_.segments.Set(0, kept);
    // A kept file is asked for as a file URL, without a question.
    EXPECT_EQ(afp::OpenSegment(inst_, 0, host_), afp::OpenResult::kRequested);
    EXPECT_EQ(browser_.gets, std::vector<std::string>{"file://" + (dir_ / "seg%200.ZE0").string()});
    EXPECT_EQ(questions_, 0);
    EXPECT_TRUE(inst_.fetching);
    Reply();
    EXPECT_EQ(afp::OpenSegment(inst_, 1, host_), afp::OpenResult::kRequested);
    EXPECT_EQ(browser_.gets.back(), "/q?_seg=1");
    EXPECT_EQ(questions_, 1);
    Reply();
    const std::string collected = Write("doc.PRN", "zero+one");
    inst_.printFile = collected;
    EXPECT_EQ(afp::OpenSegment(inst_, 2, host_), afp::OpenResult::kPrinted);
    EXPECT_EQ(printed_, std::vector<std::string>{collected + ":zero+one"});
    EXPECT_TRUE(inst_.printFile.empty());
    EXPECT_FALSE(fs::exists(dir_ / "doc.PRN"));
    EXPECT_FALSE(inst_.fetching);
    // The collected segments were never on show: the one shown before is current again.
    EXPECT_EQ(inst_.currentSegment, 3);
}

TEST_F(SegmentFetch, RefusedRequestEndsTheCollection) {
    inst_.lastSegmentToFetch = 2;
    EXPECT_EQ(afp::OpenSegment(inst_, 1, host_), afp::OpenResult::kRequested);
    EXPECT_EQ(inst_.currentSegment, 1);
    Reply();
    inst_.printFile = Write("doc.PRN", "one");
    inst_.segmentUrl.clear();  // segment 2 cannot be asked for
    EXPECT_EQ(afp::OpenSegment(inst_, 2, host_), afp::OpenResult::kRefused);
    EXPECT_EQ(inst_.currentSegment, 3);
    EXPECT_FALSE(inst_.fetching);
    // A stale print file would be appended to by the next collection.
    EXPECT_FALSE(fs::exists(dir_ / "doc.PRN"));
    EXPECT_TRUE(inst_.printFile.empty());
    EXPECT_TRUE(printed_.empty());
}

TEST_F(SegmentFetch, AnswersToTheQuestion) {
    // Yes: fetched, and the question is not asked again for this instance.
    answer_ = afp::kAnswerYes;
    inst_.lastSegmentToFetch = 4;
    EXPECT_EQ(afp::OpenSegment(inst_, 1, host_), afp::OpenResult::kRequested);
    Reply();
    EXPECT_EQ(afp::OpenSegment(inst_, 2, host_), afp::OpenResult::kRequested);
    EXPECT_EQ(questions_, 1);
    EXPECT_TRUE(inst_.confirmOff);
    EXPECT_EQ(browser_.gets, (std::vector<std::string>{"/q?_seg=1", "/q?_seg=2"}));

    // Cancel: the segment on show before the fetch is current again, the print file goes.
    Reply();
    inst_.confirmOff = false;
    answer_ = afp::kAnswerCancel;
    inst_.printFile = Write("doc.PRN", "partial");
    EXPECT_EQ(afp::OpenSegment(inst_, 3, host_), afp::OpenResult::kCancelled);
    EXPECT_EQ(inst_.currentSegment, 3);
    EXPECT_FALSE(inst_.fetching);
    EXPECT_FALSE(fs::exists(dir_ / "doc.PRN"));
    EXPECT_TRUE(inst_.printFile.empty());
    EXPECT_EQ(browser_.gets.size(), 2u);
    EXPECT_TRUE(printed_.empty());
}

TEST_F(SegmentFetch, PendingAndOutOfRange) {
    inst_.requestPending = true;
    EXPECT_EQ(afp::OpenSegment(inst_, 1, host_), afp::OpenResult::kPending);
    EXPECT_TRUE(browser_.gets.empty());
    inst_.requestPending = false;
    inst_.fetching = false;
    EXPECT_EQ(afp::OpenSegment(inst_, 5, host_), afp::OpenResult::kDone);
    EXPECT_EQ(afp::OpenSegment(inst_, -1, host_), afp::OpenResult::kDone);
    EXPECT_TRUE(browser_.gets.empty());
    EXPECT_FALSE(inst_.fetching);
    // A collection that reaches past the document ends like any other.
    inst_.fetching = true;
    inst_.lastSegmentToFetch = 9;
    inst_.previousSegment = 3;
    inst_.currentSegment = 4;
    inst_.printFile = Write("doc.PRN", "four");
    EXPECT_EQ(afp::OpenSegment(inst_, 5, host_), afp::OpenResult::kDone);
    EXPECT_FALSE(inst_.fetching);
    EXPECT_EQ(inst_.currentSegment, 3);
    EXPECT_FALSE(fs::exists(dir_ / "doc.PRN"));
    EXPECT_TRUE(printed_.empty());
}

}  // namespace
