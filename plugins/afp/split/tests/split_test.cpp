// The container split on containers whose lead, header and line-data run are packed by the
// gateway's own packers, with pieces compressed by the compression pipeline.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "afp_split.h"
#include "arc_compress.h"
#include "documents.h"

namespace {

namespace fs = std::filesystem;
using namespace qelwww::detail;
using Bytes = std::string;

Bytes U32(uint32_t value) {
    Bytes out(4, '\0');
    for (int i = 0; i < 4; ++i) out[i] = static_cast<char>(value >> (24 - 8 * i));
    return out;
}

Bytes Compress(const Bytes& data, char letter) {
    if (letter == 'N' || letter == 'D') return data;
    ArcCmpPipeline* pipeline = nullptr;
    EXPECT_EQ(ArcCMP_Begin('N', letter, 0, 0, nullptr, &pipeline), 0);
    Bytes out;
    std::vector<unsigned char> buffer(4096);
    const auto* input = reinterpret_cast<const unsigned char*>(data.data());
    for (size_t length : {data.size(), size_t{0}}) {
        for (;;) {
            size_t produced = 0;
            const int state = ArcCMP_Run(pipeline, input, length, buffer.data(), buffer.size(), &produced);
            out.append(reinterpret_cast<const char*>(buffer.data()), produced);
            if (state == ARCCMP_NEED_INPUT) break;
            if (state == ARCCMP_FINISHED) {
                ArcCMP_End(pipeline);
                return out;
            }
            EXPECT_EQ(state, ARCCMP_OUTPUT_READY);
            if (state != ARCCMP_OUTPUT_READY) return out;
        }
    }
    ArcCMP_End(pipeline);
    return out;
}

// The information block, laid out as the gateway's client library writes it.
struct Info {
    uint32_t segments = 3;
    uint32_t perSegment = 10;
    uint32_t inLast = 4;
    bool names = true;
    Bytes url = "/cgi-bin/qel?_f=F&_d=D&_a=g&_seg=";
    Bytes form;
    struct Group {
        Bytes name;
        std::vector<std::tuple<uint32_t, uint32_t, Bytes>> values;
    };
    std::vector<Group> groups = {{"Account", {{1, 1, "A-1"}, {2, 12, "A-2"}}}, {"Empty", {}}};

    uint32_t Total() const { return (segments - 1) * perSegment + inLast; }
    Bytes Block() const {
        Bytes out = U32(Total());
        out += static_cast<char>(names ? 1 : 0);
        out += U32(static_cast<uint32_t>(groups.size())) + U32(segments) + U32(perSegment) + U32(inLast);
        out += U32(url.empty() ? 0 : static_cast<uint32_t>(url.size() + 1));
        out += U32(form.empty() ? 0 : static_cast<uint32_t>(form.size() + 1));
        if (!url.empty()) out += url + '\0';
        if (!form.empty()) out += form + '\0';
        if (names) {
            for (uint32_t p = 1; p <= Total(); ++p) out += "p" + std::to_string(p) + '\0';
        }
        for (const Group& g : groups) {
            out += g.name + '\0' + U32(static_cast<uint32_t>(g.values.size()));
            for (const auto& [kind, page, text] : g.values) out += U32(kind) + U32(page) + text + '\0';
        }
        return out;
    }
};

struct Container {
    ViewerDataLead lead;
    ViewerDataHeader header;
    bool lineData = false;
    LineDataHeader lineBlock;
    Bytes info;  // as stored (compressed when the letter says)
    Bytes resources;
    Bytes document;

    Bytes Pack() {
        header.infoLength = static_cast<uint32_t>(info.size());
        header.resourceLength = static_cast<uint32_t>(resources.size());
        unsigned char packed[kLeadSize + kHeaderSize + kLineDataRunSize];
        QelWWW_PackLeadHeader(lead, packed);
        QelWWW_PackDocHeader(header, packed + kLeadSize);
        size_t length = kLeadSize + kHeaderSize;
        if (lineData) {
            QelWWW_PackLineDataHeader(lineBlock, packed + length);
            length += kLineDataRunSize;
        }
        return Bytes(reinterpret_cast<const char*>(packed), length) + info + resources + document;
    }
};

Bytes SegmentReply(int32_t segment, const Bytes& data) {
    ViewerDataLead lead;
    lead.segment = segment;
    unsigned char packed[kLeadSize];
    QelWWW_PackLeadHeader(lead, packed);
    return Bytes(reinterpret_cast<const char*>(packed), kLeadSize) + data;
}

Bytes Slurp(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

struct Recorder {
    std::vector<std::string> names;
    std::vector<std::string> entries;
    std::vector<std::array<int64_t, 3>> density;
    std::vector<std::pair<int, std::string>> messages;
    afp::EngineSink Sink() {
        afp::EngineSink sink;
        sink.addPageName = [this](const std::string& name) { names.push_back(name); };
        sink.addIndexEntry = [this](const std::string& g, const std::string& v, uint32_t kind,
                                    uint32_t page) {
            entries.push_back(g + "/" + v + "/" + std::to_string(kind) + "/" + std::to_string(page));
        };
        sink.setLineDataParms = [this](uint32_t lines, int32_t cpi, int32_t lpi) {
            density.push_back({lines, cpi, lpi});
        };
        sink.showMessage = [this](int id, const std::string& text) { messages.emplace_back(id, text); };
        return sink;
    }
};

class SplitTest : public ::testing::Test {
protected:
    void SetUp() override {
        root_ = fs::temp_directory_path() / ("afp_split_" + std::to_string(getpid()) + "_" +
                                             ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(root_);
        fs::create_directories(root_ / "downloads");
        fs::create_directory(root_ / "instance");
        ::chmod((root_ / "instance").c_str(), 0700);
        inst_.tempDir = root_ / "instance";
    }
    void TearDown() override { fs::remove_all(root_); }

    fs::path Download(const std::string& name, const Bytes& body) {
        const fs::path path = root_ / "downloads" / name;
        std::ofstream(path, std::ios::binary) << body;
        return path;
    }
    int SplitBytes(const std::string& name, const Bytes& body) {
        return afp::Split(inst_, Download(name, body), sink_);
    }
    fs::path Piece(const std::string& name) const { return inst_.tempDir / name; }
    std::vector<std::string> InstanceFiles() const {
        std::vector<std::string> out;
        for (const auto& entry : fs::directory_iterator(inst_.tempDir))
            out.push_back(entry.path().filename());
        std::sort(out.begin(), out.end());
        return out;
    }
    // A segmented AFP container: information, resources and document in the given letters.
    Container Segmented(char infoLetter, char resourceLetter, char documentLetter,
                        const Info& info = Info()) {
        Container c;
        c.lead.segment = kWholeWithInfo;
        c.header.documentType = 'A';
        c.header.infoLetter = static_cast<uint8_t>(infoLetter);
        c.header.resourceLetter = static_cast<uint8_t>(resourceLetter);
        c.header.documentLetter = static_cast<uint8_t>(documentLetter);
        c.info = Compress(info.Block(), infoLetter);
        c.resources = Compress(resources_, resourceLetter);
        c.document = Compress(document_, documentLetter);
        return c;
    }

    fs::path root_;
    afp::SplitInstance inst_;
    Recorder rec_;
    afp::EngineSink sink_ = rec_.Sink();
    Bytes resources_ = Bytes(700, 'R') + "resource group";
    Bytes document_ = [] {
        Bytes d;
        for (int i = 0; i < 3000; ++i) d += "page data " + std::to_string(i % 97) + "\n";
        return d;
    }();
};

TEST_F(SplitTest, FullContainerWithInformationInEveryLetter) {
    const char letters[][3] = {{'N', 'N', 'N'}, {'L', 'O', 'Z'}, {'O', 'D', 'L'}, {'3', '4', '5'}};
    for (const auto& l : letters) {
        SCOPED_TRACE(std::string(l, 3));
        TearDown();
        SetUp();
        rec_ = Recorder();
        Container c = Segmented(l[0], l[1], l[2]);
        const Bytes body = c.Pack();
        ASSERT_EQ(SplitBytes("reply.v2.tmp", body), 1);
        EXPECT_TRUE(rec_.messages.empty());
        // Named from the download without its extension, in the instance directory only.
        EXPECT_EQ(InstanceFiles(),
                  (std::vector<std::string>{"reply.v2.VOD", "reply.v2.ZE0", "reply.v2.ZER"}));
        EXPECT_EQ(Slurp(Piece("reply.v2.VOD")), document_);
        EXPECT_EQ(Slurp(Piece("reply.v2.ZER")), resources_);
        EXPECT_EQ(inst_.documentFile, Piece("reply.v2.VOD").string());
        EXPECT_EQ(inst_.resourceFile, Piece("reply.v2.ZER").string());
        // Segment 0 kept as a reply of its own: the lead and the document as it came.
        EXPECT_EQ(Slurp(Piece("reply.v2.ZE0")), body.substr(0, 12) + c.document);
        EXPECT_EQ(inst_.segments.Get(0), Piece("reply.v2.ZE0").string());
        EXPECT_EQ(inst_.documentLetter, l[2]);
        EXPECT_EQ(inst_.totalPages, 24u);
        EXPECT_EQ(inst_.segmentCount, 3u);
        EXPECT_EQ(inst_.pagesPerSegment, 10u);
        EXPECT_EQ(inst_.pagesInLastSegment, 4u);
        EXPECT_EQ(inst_.segmentUrl, Info().url);
        EXPECT_EQ(inst_.segments.Size(), 3u);
        ASSERT_EQ(rec_.names.size(), 24u);
        EXPECT_EQ(rec_.names.front(), "p1");
        EXPECT_EQ(rec_.names.back(), "p24");
        EXPECT_EQ(rec_.entries, (std::vector<std::string>{"Account/A-1/1/1", "Account/A-2/2/12"}));
    }
    // Nothing was written beside the download.
    EXPECT_EQ(std::distance(fs::directory_iterator(root_ / "downloads"), fs::directory_iterator()), 1);
}

TEST_F(SplitTest, HeaderFieldsIntoTheInstance) {
    struct Case {
        uint8_t orientation;
        uint32_t number;
        float width, height;
        int32_t mode, displayNumber, twipsWide, twipsHigh;
    };
    const Case cases[] = {
        {'0', 100, 8.5f, 11.0f, 1, -1, 12240, 15840}, {'1', 150, 0.0f, 0.0f, 2, 150, 0, 0},
        {'2', 75, 1.0f, -3.0f, 4, 75, 1440, 0},       {'9', 100, NAN, INFINITY, 3, -1, 0, 0},
        {'x', 0xFFFFFFFF, 3e9f, 0.001f, 1, -1, 0, 1},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.orientation);
        Container c;
        c.header.documentType = 'A';
        c.header.documentLetter = 'N';
        c.header.orientation = k.orientation;
        c.header.number = k.number;
        c.header.pageWidth = k.width;
        c.header.pageLength = k.height;
        c.header.attributes[0] = 'M';
        c.header.attributes[1] = 'B';
        c.header.attributes[2] = 'W';
        c.document = "AFP";
        ASSERT_EQ(SplitBytes("h.tmp", c.Pack()), 1);
        EXPECT_EQ(inst_.displayMode, k.mode);
        EXPECT_EQ(inst_.displayNumber, k.displayNumber);
        EXPECT_EQ(inst_.pageWidth, k.twipsWide);
        EXPECT_EQ(inst_.pageHeight, k.twipsHigh);
        EXPECT_EQ(inst_.attributes, (std::array<uint8_t, 3>{'M', 'B', 'W'}));
        EXPECT_EQ(inst_.currentSegment, -1);
    }
}

// The container's inches in the engine's twips: 1440 an inch, rounded; what the engine's
// 16-bit page size cannot carry is none.
TEST(PageSize, InchesBecomeTwips) {
    struct Case {
        float inches;
        int32_t twips;
    };
    const Case cases[] = {
        {8.5f, 12240}, {11.0f, 15840}, {8.27f, 11909}, {0.0f, 0},      {0.0003f, 0},
        {0.0004f, 1},  {-0.0f, 0},     {-1.0f, 0},     {45.5f, 65520}, {45.51f, 65534},
        {45.52f, 0},   {1e30f, 0},     {NAN, 0},       {INFINITY, 0},  {-INFINITY, 0},
    };
    for (const Case& k : cases) EXPECT_EQ(afp::TwipsFromInches(k.inches), k.twips) << k.inches;
}

TEST_F(SplitTest, WithoutInformationAndWithoutResources) {
    Container c;
    c.lead.segment = kWholeWithoutInfo;
    c.header.documentType = 'A';
    c.header.resourceLetter = 'N';
    c.header.documentLetter = 'O';
    c.document = Compress(document_, 'O');
    ASSERT_EQ(SplitBytes("single.tmp", c.Pack()), 1);
    EXPECT_EQ(InstanceFiles(), std::vector<std::string>{"single.VOD"});
    EXPECT_EQ(Slurp(Piece("single.VOD")), document_);
    EXPECT_FALSE(inst_.segments.Exists());
    EXPECT_TRUE(rec_.names.empty());
    EXPECT_TRUE(inst_.resourceFile.empty());
}

TEST_F(SplitTest, SegmentRepliesUseTheKeptLetter) {
    ASSERT_EQ(SplitBytes("first.tmp", Segmented('N', 'N', 'L').Pack()), 1);
    const Bytes second = "second segment " + Bytes(5000, 's');
    ASSERT_EQ(SplitBytes("seg7.tmp", SegmentReply(7, Compress(second, 'L'))), 1);
    EXPECT_EQ(inst_.currentSegment, 7);
    EXPECT_EQ(Slurp(Piece("seg7.VOD")), second);
    EXPECT_FALSE(fs::exists(Piece("seg7.ZER")));
    EXPECT_FALSE(fs::exists(Piece("seg7.ZE0")));
    EXPECT_EQ(inst_.documentFile, Piece("seg7.VOD").string());

    // The kept segment 0 comes back while a request is pending: a reply, not a full container.
    const std::string kept = *inst_.segments.Get(0);
    inst_.requestPending = true;
    ASSERT_EQ(afp::Split(inst_, kept, sink_), 1);
    EXPECT_FALSE(inst_.requestPending);
    EXPECT_EQ(inst_.currentSegment, 0);
    EXPECT_EQ(Slurp(inst_.documentFile), document_);
    // The gateway's own reply to segment 0 is read the same way.
    inst_.requestPending = true;
    ASSERT_EQ(SplitBytes("zero.tmp", SegmentReply(0, Compress(second, 'L'))), 1);
    EXPECT_EQ(Slurp(Piece("zero.VOD")), second);
}

TEST_F(SplitTest, VersionsAndPlainFiles) {
    struct Case {
        uint32_t version;
        int result;
        std::string message;
    };
    for (const Case& k : {Case{3008, 0, " (C-2008, S-3008)"}, Case{0xFFFFFFFF, 0, " (C-2008, S-4294967295)"},
                          Case{3007, 1, ""}, Case{2000, 1, ""}}) {
        SCOPED_TRACE(k.version);
        rec_.messages.clear();
        Container c;
        c.lead.version = k.version;
        c.header.documentType = 'A';
        c.header.documentLetter = 'N';
        c.document = "X";
        EXPECT_EQ(SplitBytes("v.tmp", c.Pack()), k.result);
        if (k.result == 0) {
            ASSERT_EQ(rec_.messages.size(), 1u);
            EXPECT_EQ(rec_.messages[0], std::make_pair(afp::kMsgVersion, k.message));
        } else {
            EXPECT_TRUE(rec_.messages.empty());
        }
    }
    // Not a container: the whole file is the document.
    const Bytes plain("\x5A\x00\x10plain AFP bytes", 18);
    ASSERT_EQ(SplitBytes("plain.afp", plain), 1);
    EXPECT_EQ(Slurp(inst_.documentFile), plain);
    // Too short to tell or not there: refused without a message. Still the answer to a
    // pending request, which must not wait for it any longer.
    rec_.messages.clear();
    struct Short {
        const char* name;
        std::optional<Bytes> body;  // none: the file is not there
    };
    for (const Short& k : {Short{"short.tmp", "VOD"}, Short{"empty.tmp", ""},
                           Short{"lead.tmp", Bytes("VOD#\x00\x00", 6)}, Short{"missing.tmp", std::nullopt}}) {
        SCOPED_TRACE(k.name);
        inst_.requestPending = true;
        const fs::path file = k.body ? Download(k.name, *k.body) : root_ / "downloads" / k.name;
        EXPECT_EQ(afp::Split(inst_, file, sink_), 0);
        EXPECT_FALSE(inst_.requestPending);
    }
    EXPECT_TRUE(rec_.messages.empty());
    // Without a directory of its own the instance writes nothing.
    inst_.tempDir.clear();
    EXPECT_EQ(SplitBytes("plain2.afp", plain), 0);
}

// A damaged container says at which byte; a piece that cannot be written names its file.
TEST_F(SplitTest, DamagedContainersSayWhereBadPiecesNameTheirFile) {
    enum Where { kEndOfFile, kInfo, kAfterInfo, kPiecePath };
    struct Case {
        const char* name;
        std::function<void(Container&)> spoil;
        Where where;
        const char* piece;  // for kPiecePath
        int result;         // a damaged document still shows what was decoded
    };
    const auto zlibInfo = [](const Bytes& block, bool halved) {
        return [block, halved](Container& c) {
            c.header.infoLetter = 'O';
            c.info = Compress(block, 'O');
            if (halved) c.info.resize(c.info.size() / 2);
        };
    };
    const Case cases[] = {
        // The resource length is set to one byte more than the file holds.
        {"resources past the end", [](Container&) {}, kEndOfFile, "", 0},
        {"truncated zlib document", [](Container& c) { c.document.resize(c.document.size() / 2); },
         kEndOfFile, "", 1},
        // An LZW stream has no end code: one cut inside its header is what shows.
        {"LZW document cut in its header",
         [this](Container& c) {
             c.header.documentLetter = 'Z';
             c.document = Compress(document_, 'Z').substr(0, 2);
         },
         kEndOfFile, "", 1},
        {"unknown resource letter", [](Container& c) { c.header.resourceLetter = 'Q'; }, kAfterInfo, "", 0},
        {"corrupt information", [](Container& c) { c.info = "\x01\x02"; }, kInfo, "", 0},
        {"truncated zlib information", zlibInfo(Info().Block(), true), kAfterInfo, "", 0},
        {"information above 64 MiB", zlibInfo(Bytes((size_t{64} << 20) + 1, '\0'), false), kPiecePath,
         "bad.AII", 0},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        rec_.messages.clear();
        Container c = Segmented('N', 'N', 'O');
        k.spoil(c);
        Bytes body = c.Pack();
        if (std::string(k.name) == "resources past the end") {
            const size_t resourcesAt = 40 + c.info.size();
            body.replace(19, 4, U32(static_cast<uint32_t>(body.size() - resourcesAt + 1)));
        }
        EXPECT_EQ(SplitBytes("bad.tmp", body), k.result);
        ASSERT_EQ(rec_.messages.size(), 1u);
        if (k.where == kPiecePath) {
            EXPECT_EQ(rec_.messages[0].first, afp::kMsgCannotWrite);
            EXPECT_EQ(rec_.messages[0].second, Piece(k.piece).string());
        } else {
            const size_t at = k.where == kEndOfFile ? body.size()
                              : k.where == kInfo    ? 40
                                                    : 40 + c.info.size();
            EXPECT_EQ(rec_.messages[0].first, afp::kMsgDamaged);
            EXPECT_EQ(rec_.messages[0].second, std::to_string(at));
        }
        // The information piece is only a scratch file: none is left, whole or in part.
        EXPECT_FALSE(fs::exists(Piece("bad.AII")));
    }
    // A document whose compressed data goes bad in the middle shows what came before.
    rec_.messages.clear();
    Container c = Segmented('N', 'N', 'O');
    const size_t documentAt = c.Pack().size() - c.document.size();
    c.document[c.document.size() / 2] ^= 0x55;
    ASSERT_EQ(SplitBytes("flipped.tmp", c.Pack()), 1);
    ASSERT_EQ(rec_.messages.size(), 1u);
    EXPECT_EQ(rec_.messages[0].first, afp::kMsgDamaged);
    EXPECT_EQ(rec_.messages[0].second, std::to_string(documentAt));  // the chunk that holds the damage
    EXPECT_EQ(inst_.documentFile, Piece("flipped.VOD").string());
    // An expanded document above the instance's limit is refused too.
    rec_.messages.clear();
    inst_.pieceLimit = 1000;
    EXPECT_EQ(SplitBytes("big.tmp", Segmented('N', 'N', 'Z').Pack()), 0);
    ASSERT_EQ(rec_.messages.size(), 1u);
    EXPECT_EQ(rec_.messages[0].second, Piece("big.VOD").string());
}

TEST_F(SplitTest, InformationBlockBoundedByItsLength) {
    const Bytes block = Info().Block();
    // Every cut of the block loses a terminator, a count or a value: refused, nothing passed on.
    for (size_t cut = 1; cut < block.size(); ++cut) {
        SCOPED_TRACE(cut);
        rec_ = Recorder();
        sink_ = rec_.Sink();
        Container c = Segmented('N', 'N', 'N');
        c.info = block.substr(0, cut);
        ASSERT_EQ(SplitBytes("cut.tmp", c.Pack()), 0);
        ASSERT_EQ(rec_.messages.size(), 1u);
        EXPECT_EQ(rec_.messages[0].first, afp::kMsgDamaged);
        EXPECT_EQ(rec_.messages[0].second, "40");
        EXPECT_TRUE(rec_.names.empty());
        EXPECT_TRUE(rec_.entries.empty());
        EXPECT_FALSE(fs::exists(Piece("cut.AII")));
    }
    // Counts and lengths set to the largest values.
    struct Case {
        size_t offset;
        uint32_t value;
    };
    for (const Case& k : {Case{0, 0xFFFFFFFF}, Case{5, 0xFFFFFFFF}, Case{5, 0x10000000}, Case{9, 0xFFFFFFFF},
                          Case{9, afp::kMaxSegments + 1}, Case{21, 0xFFFFFFFF}, Case{25, 0x7FFFFFFF}}) {
        SCOPED_TRACE(k.offset);
        rec_.messages.clear();
        Container c = Segmented('N', 'N', 'N');
        c.info = block;
        c.info.replace(k.offset, 4, U32(k.value));
        EXPECT_EQ(SplitBytes("count.tmp", c.Pack()), 0);
        EXPECT_EQ(rec_.messages.size(), 1u);
    }
}

TEST_F(SplitTest, LongUrlAndFormDataKeptWhole) {
    Info info;
    info.url = "/cgi-bin/qel?_f=F&_d=" + Bytes(3000, 'd') + "&_seg=";
    info.form = "_d=" + Bytes(2000, 'e') + "&_seg=";
    info.groups.clear();
    info.names = false;
    ASSERT_EQ(SplitBytes("long.tmp", Segmented('L', 'N', 'N', info).Pack()), 1);
    EXPECT_EQ(inst_.segmentUrl, info.url);
    EXPECT_EQ(inst_.segmentFormData, info.form);
    EXPECT_TRUE(rec_.names.empty());
}

// A line-data container: the record description from the gateway's packer.
Container LineDataContainer(const Bytes& records, float width, float height) {
    Container c;
    c.lead.segment = kWholeWithoutInfo;
    c.header.documentType = 'L';
    c.header.documentLetter = 'N';
    c.header.pageWidth = width;
    c.header.pageLength = height;
    c.lineData = true;
    c.lineBlock.recordFormat = 'S';
    c.lineBlock.carriageControl = 'A';
    c.lineBlock.codePage = 819;
    std::memcpy(c.lineBlock.recordDelimiter, "0A", 3);
    c.document = records;
    return c;
}

TEST_F(SplitTest, LineDataBecomesTextWithDensity) {
    Bytes records;
    for (int i = 0; i < 60; ++i) records += " " + Bytes(static_cast<size_t>(i % 2 ? 90 : 40), 'x') + "\n";
    struct Case {
        float width, height;
        std::vector<std::array<int64_t, 3>> density;
    };
    const Case cases[] = {
        {8.5f, 11.0f, {{60, 10, 6}}},   // 900 / 90 across, 60 / 10 + 0.5 down
        {0.0f, 0.0f, {{60, 10, 6}}},    // no size: 8.5 inches across, 60 * 0.1 + 0.5 down
        {1.0f, 1.0f, {{60, 10, 6}}},    // one inch: the same defaults, no division by zero
        {14.0f, 7.0f, {{60, 17, 10}}},  // 1560 / 90, 60 / 6 + 0.5
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.width);
        rec_.density.clear();
        ASSERT_EQ(SplitBytes("lines.tmp", LineDataContainer(records, k.width, k.height).Pack()), 1);
        EXPECT_EQ(inst_.documentFile, Piece("lines.ZEL").string());
        EXPECT_FALSE(fs::exists(Piece("lines.VOD")));
        const Bytes text = Slurp(Piece("lines.ZEL"));
        EXPECT_EQ(text.substr(0, 42), Bytes(40, 'x') + "\n" + "x");
        EXPECT_EQ(text.back(), '\f');
        EXPECT_EQ(rec_.density, k.density);
    }
    // No text at all: the engine keeps its own density.
    rec_.density.clear();
    ASSERT_EQ(SplitBytes("none.tmp", LineDataContainer("", 8.5f, 11.0f).Pack()), 1);
    EXPECT_TRUE(rec_.density.empty());
    EXPECT_EQ(Slurp(Piece("none.ZEL")), "");
}

TEST_F(SplitTest, LineDataBlockLengthBounded) {
    const Bytes body = LineDataContainer(" A\n", 8.5f, 11.0f).Pack();
    struct Case {
        uint32_t length;
        int result;
    };
    const uint32_t left = static_cast<uint32_t>(body.size() - 44);
    for (const Case& k :
         {Case{36, 0}, Case{0, 0}, Case{left + 1, 0}, Case{0xFFFFFFFF, 0}, Case{37, 1}, Case{left, 1}}) {
        SCOPED_TRACE(k.length);
        Bytes changed = body;
        changed.replace(40, 4, U32(k.length));
        EXPECT_EQ(SplitBytes("k.tmp", changed), k.result);
        if (k.result == 1) {
            EXPECT_EQ(inst_.lineDataDescription.size(), k.length);
        }
    }
}

TEST_F(SplitTest, PrintCollectionAppendsSegments) {
    ASSERT_EQ(SplitBytes("doc.tmp", Segmented('N', 'N', 'N').Pack()), 1);
    const std::string shown = inst_.documentFile;
    inst_.fetching = true;
    // Segment 0 from its kept copy, then segments 1 and 2 from the gateway.
    inst_.requestPending = true;
    ASSERT_EQ(afp::Split(inst_, *inst_.segments.Get(0), sink_), 1);
    ASSERT_EQ(SplitBytes("s1.tmp", SegmentReply(1, "one")), 1);
    ASSERT_EQ(SplitBytes("s2.tmp", SegmentReply(2, "two")), 1);
    EXPECT_EQ(inst_.documentFile, shown);
    EXPECT_EQ(Slurp(shown), document_);  // the document on show was not touched
    EXPECT_EQ(inst_.printFile, Piece("doc.PRN").string());
    EXPECT_EQ(Slurp(inst_.printFile), document_ + "one" + "two");
    EXPECT_EQ(InstanceFiles(), (std::vector<std::string>{"doc.PRN", "doc.VOD", "doc.ZE0", "doc.ZER"}));
}

TEST(SegmentTable, SetOnlyIntoEmptySlotsAndDropGoneFiles) {
    const fs::path dir = fs::temp_directory_path() / ("afp_table_" + std::to_string(getpid()));
    fs::create_directories(dir);
    const std::string a = (dir / "a").string();
    const std::string b = (dir / "b").string();
    std::ofstream(a) << "a";
    std::ofstream(b) << "b";
    afp::SegmentTable table;
    EXPECT_FALSE(table.Exists());
    EXPECT_FALSE(table.Set(0, a));
    table.Make(2);
    EXPECT_TRUE(table.Exists());
    EXPECT_TRUE(table.Set(1, a));
    EXPECT_FALSE(table.Set(1, b));  // taken
    EXPECT_FALSE(table.Set(2, b));  // out of range
    EXPECT_EQ(table.Get(1), a);
    EXPECT_EQ(table.Get(0), std::nullopt);
    fs::remove(a);
    EXPECT_EQ(table.Get(1), std::nullopt);
    EXPECT_TRUE(table.Set(1, b));  // the dropped slot is free again
    EXPECT_EQ(table.Get(1), b);
    table.Free();
    EXPECT_FALSE(table.Exists());
    EXPECT_EQ(table.Get(1), std::nullopt);
    fs::remove_all(dir);
}

}  // namespace
