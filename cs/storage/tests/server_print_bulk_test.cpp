// Server print on a local handle, end to end below the gateway: CsServerPrint over the
// bulk test archive (documents of two groups sharing objects), the job files copied by a
// print script into a spool directory and compared with each document retrieved alone;
// the object files' opens are counted from the outside.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "bulk_test_archive.h"
#include "request_test_support.h"

namespace {

using namespace bulktest;
namespace fs = std::filesystem;

constexpr const char* kResource = "RESOURCE-BYTES\n";

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

// The documents of the request layer's item source: group and application with the
// first document of a job, neither with a document that joins it.
struct Items {
    struct Item {
        const CsXdrApplGroup* group;
        CsXdrHitRow* row;
    };
    std::vector<Item> items;
    size_t next = 0;
    static int Next(void* context, CsXdrApplGroup** group, CsXdrApplEntry** appl, CsXdrHitRow** hit,
                    uint32_t*) {
        auto* self = static_cast<Items*>(context);
        if (self->next == self->items.size()) {
            *hit = nullptr;
            return CS_OK;
        }
        const Item& item = self->items[self->next++];
        auto* g = const_cast<CsXdrApplGroup*>(item.group);
        *group = g;
        *appl = g != nullptr ? &g->appls[0] : nullptr;
        *hit = item.row;
        return CS_OK;
    }
};

class LocalPrintBulk : public ::testing::Test {
protected:
    void Build(int count, bool paged) {
        std::string all;
        for (int n = 0; n < count; ++n) all += DocText(n);
        const std::string root = scratch_.Path();
        reqtest::WriteText(root + "docs.txt", all);
        reqtest::WriteText(root + "part1.txt", "1PAGE 1\n LINE\n1PAGE 2\n LINE\n");
        reqtest::WriteText(root + "part2.txt", "1PAGE 3\n LAST LINE\n");
        reqtest::WriteText(root + "res.txt", kResource);
        archive_ = root + "archive";
        arcbuild::Errors errors;
        arcbuild::Description d;
        ASSERT_TRUE(arcbuild::ParseDescription(Description("docs.txt", count, paged, true).dump(), root, &d,
                                               &errors));
        ASSERT_TRUE(arcbuild::BuildArchive(d, archive_, &errors));
        ASSERT_NO_FATAL_FAILURE(session_.Open(archive_, "ALICE", "Secret-1", 1));
        for (int n = 0; n < count; ++n) hits_.push_back(session_.Hit(Key(n)));
        if (paged) hits_.push_back(session_.Hit("P0001"));
        for (const buildertest::FoundHit& hit : hits_) alone_.push_back(session_.Retrieve(hit));

        for (const char* sub : {"p1", "spool"}) fs::create_directories(root + sub);
        script_ = root + "qelprt";
        reqtest::WriteText(
            script_,
            "#!/bin/sh\n"
            "spool='" +
                root +
                "spool'\n"
                "base=$(basename \"$7\")\n"
                "for f in \"$7\" \"$7.opts\"; do [ -f \"$f\" ] && cp \"$f\" \"$spool/\"; done\n"
                "printf '%s\\n' \"$@\" > \"$spool/$base.args.tmp\"\n"
                "mv \"$spool/$base.args.tmp\" \"$spool/$base.args\"\n");
        fs::permissions(script_, fs::perms::owner_all);
        ArcOS_PutEnv(("QEL_PRINT_PATH=" + root + "p1").c_str());
        CsHandle* h = session_.Handle();
        h->def.profile +=
            "[PRINTERS]\nLPT1=P,Spool printer\nFAX1=F,Fax gateway\n[CFG]\nQEL_SERVER_PRINT_SCRIPT=" +
            script_ + "\nQEL_SERVER_PRINT_CONTROL_FILE=1\n";
    }
    void TearDown() override { ArcOS_PutEnv("QEL_PRINT_PATH="); }

    int Print(Items* items, uint32_t printer, const char* options = "") {
        CsXdrPrintRequest request{};
        request.printer = printer;
        CsHandle* h = session_.Handle();
        h->callbackContext = items;
        const int rc = CsServerPrint(h, &request, options, {}, &Items::Next, 0);
        h->callbackContext = nullptr;
        return rc;
    }

    // The spooled jobs by job file name (waited for: the script runs on its own).
    std::map<std::string, std::string> Spooled(size_t count) {
        std::map<std::string, std::string> jobs;
        for (int wait = 0; wait < 200 && jobs.size() < count; ++wait) {
            jobs.clear();
            for (const auto& e : fs::directory_iterator(scratch_.Path() + "spool")) {
                const std::string path = e.path().string();
                if (e.path().extension() == ".args")
                    jobs[e.path().stem().string()] = ReadAll(path.substr(0, path.size() - 5));
            }
            if (jobs.size() < count) std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return jobs;
    }
    // The control file's lines (the only ".cntl" file of the print directory).
    std::vector<std::string> ControlLines() {
        std::vector<std::string> lines;
        for (const auto& e : fs::directory_iterator(scratch_.Path() + "p1")) {
            if (e.path().extension() != ".cntl") continue;
            std::istringstream in(ReadAll(e.path().string()));
            for (std::string line; std::getline(in, line);) lines.push_back(line);
        }
        return lines;
    }
    std::vector<std::string> ObjectDirs() const {
        return {archive_ + "/data/" + kLetters + "/DOC", archive_ + "/data/" + kNotices + "/DOC"};
    }

    reqtest::TempDir scratch_;
    std::string archive_;
    std::string script_;
    buildertest::LocalSession session_;
    std::vector<buildertest::FoundHit> hits_;
    std::vector<std::string> alone_;
};

// Jobs of one group's documents (joined) or one per document: each job file holds the
// group's resource, then its documents' bytes in item order; every object file is opened
// once however many documents it holds; the control file lists every document.
TEST_F(LocalPrintBulk, JobFilesHoldTheDocumentsAndObjectsAreReadOnce) {
    ASSERT_NO_FATAL_FAILURE(Build(50, false));
    struct Case {
        const char* what;
        int count;
        bool joined;
    } cases[] = {
        {"one document", 1, true},
        {"two documents, one per group", 2, true},
        {"fifty documents, a job per group", 50, true},
        {"fifty documents, a job each", 50, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        for (const char* sub : {"p1", "spool"}) {
            fs::remove_all(scratch_.Path() + sub);
            fs::create_directories(scratch_.Path() + sub);
        }
        // LETTERS' documents from the last down, then NOTICES': the item order is not
        // the order of the data in the objects.
        Items items;
        std::vector<std::vector<int>> jobs;
        for (int parity : {0, 1}) {
            for (int n = c.count - 1; n >= 0; --n) {
                if (n % 2 != parity) continue;
                const bool first = !c.joined || jobs.empty() ||
                                   hits_[size_t(jobs.back()[0])].group != hits_[size_t(n)].group;
                if (first) jobs.push_back({});
                jobs.back().push_back(n);
                items.items.push_back({first ? hits_[size_t(n)].group : nullptr, hits_[size_t(n)].row});
            }
        }
        OpenCounter opens(ObjectDirs());
        ASSERT_EQ(Print(&items, 1), CS_OK);

        std::multiset<std::string> expected;
        for (const std::vector<int>& job : jobs) {
            std::string text = job[0] % 2 == 0 ? kResource : "";
            for (int n : job) text += alone_[size_t(n)];
            expected.insert(text);
        }
        const auto spooled = Spooled(jobs.size());
        std::multiset<std::string> got;
        for (const auto& [name, text] : spooled) got.insert(text);
        EXPECT_EQ(got, expected);

        std::map<std::string, int> objects;
        for (int n = 0; n < c.count; ++n)
            objects[std::string(n % 2 == 0 ? kLetters : kNotices) + "/" +
                    ((n / 2) % 2 == 0 ? "1FAA" : "2FAA")] = 1;
        EXPECT_EQ(opens.Take(), objects);

        // One control line per document, in item order, naming its spooled job.
        const std::vector<std::string> lines = ControlLines();
        ASSERT_EQ(lines.size(), items.items.size());
        size_t at = 0;
        for (const std::vector<int>& job : jobs) {
            for (int n : job) {
                const std::string& line = lines[at++];
                const std::string head = std::string("Application Group=") +
                                         (n % 2 == 0 ? "LETTERS" : "NOTICES") + "\tKEY=" + Key(n) +
                                         "\tDDATE=" + std::to_string(19723 + n) + "\t";
                EXPECT_EQ(line.rfind(head, 0), 0u) << line;
                EXPECT_NE(line.find("\tSubmitted=1"), std::string::npos) << line;
                const size_t file = line.find("\tFile=");
                ASSERT_NE(file, std::string::npos);
                const std::string job =
                    fs::path(line.substr(file + 6, line.find('\t', file + 6) - file - 6)).filename().string();
                EXPECT_EQ(spooled.count(job), 1u) << job;
            }
        }
    }
}

// A multi-part document prints whole: its first part, then the second, in page order;
// a fax printer's job comes with its receiver text beside it.
TEST_F(LocalPrintBulk, MultiPartDocumentPrintsWholeWithItsControlText) {
    ASSERT_NO_FATAL_FAILURE(Build(2, true));
    const buildertest::FoundHit& paged = hits_.back();
    Items items;
    items.items = {{paged.group, paged.row}, {hits_[1].group, hits_[1].row}};
    ASSERT_EQ(Print(&items, 2, "[@_PRINT_OPTIONS_@]\nSSubject=Quarterly\nRFax=555-0100\n"), CS_OK);
    const auto spooled = Spooled(2);
    ASSERT_EQ(spooled.size(), 2u);
    std::multiset<std::string> got;
    for (const auto& [name, text] : spooled) {
        got.insert(text);
        EXPECT_EQ(ReadAll(scratch_.Path() + "spool/" + name + ".opts"),
                  "Quarterly\n\n\n\n\n\n\n555-0100\n\n");
    }
    const std::string whole = "1PAGE 1\n LINE\n1PAGE 2\n LINE\n1PAGE 3\n LAST LINE\n";
    EXPECT_EQ(got, (std::multiset<std::string>{whole, alone_[1]}));
}

}  // namespace
