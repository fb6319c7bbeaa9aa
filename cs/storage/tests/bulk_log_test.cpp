// The bulk retrieval log: report layout, paging, reading back, failures and clean-up.
#include "bulk_log.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "arc_codepage.h"
#include "arc_platform.h"
#include "qel_cshandle.h"
#include "qel_cswire.h"
#include "sm_test_support.h"

namespace {

namespace fs = std::filesystem;

constexpr uint8_t kLogged = 0x20;

const std::string kHeader =
    "BULK DOCUMENT RETRIEVAL\n"
    "\n"
    "Application Group                                            Agid         Flds->Handle\n"
    "--------------------------------------------------------------------------------------\n";

// The group columns of a line: name in 60 columns, a blank, the id in 12, a blank.
std::string Columns(const std::string& name, const std::string& id) {
    std::string out = name.substr(0, 60);
    out.resize(61, ' ');
    out += id;
    out.resize(74, ' ');
    return out;
}

// A group with its own field definitions.
struct Group {
    std::vector<CsXdrFieldDef> fields;
    CsXdrApplGroup group{};

    Group(const char* name, uint32_t number, std::vector<CsXdrFieldDef> defs) : fields(std::move(defs)) {
        std::snprintf(group.name, sizeof group.name, "%s", name);
        group.number = number;
        group.fieldCount = uint16_t(fields.size());
        group.fields = fields.empty() ? nullptr : fields.data();
    }
    Group(const Group&) = delete;
    Group& operator=(const Group&) = delete;
};

CsXdrFieldDef Field(const char* name, char type, uint8_t flags) {
    CsXdrFieldDef f{};
    std::snprintf(f.name, sizeof f.name, "%s", name);
    f.type = type;
    f.flags = flags;
    return f;
}

CsXdrValue Text(char* text) {
    CsXdrValue v{};
    v.type = 'S';
    v.v.text = text;
    return v;
}
CsXdrValue Int(int32_t value) {
    CsXdrValue v{};
    v.type = 'I';
    v.v.integer = value;
    return v;
}

// A hit with its object reference and values.
struct Hit {
    std::string name;
    CsXdrObjectRef object{};
    std::vector<CsXdrValue> values;
    CsXdrHitRow row{};

    Hit(const char* objectName, std::vector<CsXdrValue> vals) : name(objectName), values(std::move(vals)) {
        object.name = name.data();
        row.object = &object;
        row.noteFlag = 'N';
        row.valueCount = uint16_t(values.size());
        row.values = values.empty() ? nullptr : values.data();
    }
    Hit(const Hit&) = delete;
    Hit& operator=(const Hit&) = delete;
};

class BulkLogTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(ArcICONV_Startup(&pages_, QEL_STAGE_DIR "/locale"), 0);
        UseTempDir(tmp_.Dir());
        smtest::MakeHandle(&handle_, "BULKSRV", "", &messages_);
        handle_.iconv = pages_;
        handle_.localCcsid = 819;
    }
    void TearDown() override {
        ArcOS_PutEnv("QEL_TMP=");
        if (pages_ != nullptr) ArcICONV_Shutdown(pages_);
    }
    void UseTempDir(const std::string& dir) {
        env_ = "QEL_TMP=" + dir;
        ArcOS_PutEnv(env_.c_str());
    }

    // Steps 0 and 1 on a fresh record.
    void Open(SmBulkLog& log) {
        log.handle = &handle_;
        ASSERT_EQ(SmBulkLogStep(&log, SM_BULKLOG_START), CS_OK);
        ASSERT_EQ(SmBulkLogStep(&log, SM_BULKLOG_OPEN), CS_OK);
    }

    // Step 4 and the whole log through the data supplier; the pieces' sizes in sizes.
    std::string ReadBack(SmBulkLog& log, std::vector<size_t>* sizes = nullptr) {
        EXPECT_EQ(SmBulkLogStep(&log, SM_BULKLOG_REWIND), CS_OK);
        std::string all;
        for (int guard = 0; guard < 10000; ++guard) {
            const unsigned char* data = nullptr;
            size_t length = 99;
            EXPECT_EQ(SmBulkLogRead(&log, &data, &length), 0);
            if (sizes != nullptr) sizes->push_back(length);
            if (length == 0) break;
            all.append(reinterpret_cast<const char*>(data), length);
        }
        return all;
    }

    size_t FilesInTemp() const {
        return size_t(std::distance(fs::directory_iterator(tmp_.Dir()), fs::directory_iterator()));
    }

    int MessagesHaving(const std::string& piece) const {
        return int(std::count_if(messages_.texts.begin(), messages_.texts.end(),
                                 [&](const std::string& t) { return t.find(piece) != std::string::npos; }));
    }

    smtest::TempDir tmp_;
    std::string env_;
    ArcIconvContext* pages_ = nullptr;
    smtest::MessageLog messages_;
    CsHandle handle_{};
};

TEST_F(BulkLogTest, SmallRunGivesTheDocumentedReport) {
    char account[] = "A-100";
    char other[] = "B-7";
    Group statements("Statements", 5,
                     {Field("account", 'S', kLogged), Field("hidden", 'I', 0), Field("pages", 'I', kLogged)});
    Group audit("Audit", 12, {});
    Hit first("1FAAA", {Text(account), Int(99), Int(3)});
    first.object.offset = 0;
    first.object.length = 100;
    first.object.compressedOffset = 0;
    first.object.compressedLength = 60;
    first.object.compression = 'O';
    first.object.primaryNode = 2;
    Hit second("1FAAA", {Text(other), Int(98), Int(-1)});
    second.object.offset = 100;
    second.object.length = 50;
    second.object.compressedOffset = 60;
    second.object.compressedLength = 30;
    second.object.compression = 'O';
    second.object.resourceId = 7;
    second.object.primaryNode = 2;
    second.object.secondaryNode = 3;
    second.row.noteFlag = 'Y';

    SmBulkLog log;
    Open(log);
    EXPECT_EQ(SmBulkLogLine(&log, &audit.group, nullptr, true), CS_OK);
    EXPECT_EQ(SmBulkLogLine(&log, &statements.group, &first.row, true), CS_OK);
    EXPECT_EQ(SmBulkLogLine(&log, &statements.group, &second.row, false), CS_OK);

    const std::string expected = kHeader + Columns("Audit", "12") + "--LOGGING DISABLED--\n" +
                                 Columns("Statements", "5") +
                                 "'A-100',3->1FAAA,0,100,0,60,0x4E,0x4F,0,2,0\n" + Columns("", "") +
                                 "--NOT PROCESSED-- 'B-7',-1->1FAAA,100,50,60,30,0x59,0x4F,7,2,3\n";
    EXPECT_EQ(ReadBack(log), expected);
    EXPECT_EQ(log.lines, 3);
    EXPECT_EQ(log.disabledGroups, 1);
    EXPECT_TRUE(messages_.texts.empty());
}

TEST_F(BulkLogTest, ValuesAppearUnderTheFieldsColumn) {
    Group g("Loans", 1234567, {Field("n", 'I', kLogged)});
    Hit hit("OBJ", {Int(1)});
    SmBulkLog log;
    Open(log);
    ASSERT_EQ(SmBulkLogLine(&log, &g.group, &hit.row, true), CS_OK);
    const std::string text = ReadBack(log);
    const std::string line = text.substr(kHeader.size());
    const size_t column = kHeader.find("Flds->Handle") - kHeader.find("Application Group");
    EXPECT_EQ(line.substr(column, 5), "1->OB");
    EXPECT_EQ(line.substr(kHeader.find("Agid") - kHeader.find("Application Group"), 7), "1234567");
}

TEST_F(BulkLogTest, FieldValuesByType) {
    struct Case {
        const char* what;
        CsXdrFieldDef field;
        CsXdrValue value;
        bool present;
        std::string shown;
    };
    char text[] = "it's";
    CsXdrValue big{};
    big.type = 'B';
    big.v.big = -9000000000LL;
    CsXdrValue real{};
    real.type = 'D';
    real.v.real = 3.14159;
    CsXdrValue small{};
    small.type = 'N';
    small.v.small = -7;
    CsXdrValue noText{};
    noText.type = 'S';
    CsXdrValue timeText = Text(text);
    timeText.type = 'T';
    const std::vector<Case> cases = {
        {"64-bit", Field("f", 'B', kLogged), big, true, "-9000000000"},
        {"double, two places", Field("f", 'D', kLogged), real, true, "3.14"},
        {"32-bit", Field("f", 'I', kLogged), Int(-42), true, "-42"},
        {"16-bit", Field("f", 'N', kLogged), small, true, "-7"},
        {"text quoted as it is", Field("f", 'S', kLogged), Text(text), true, "'it's'"},
        {"text of type T", Field("f", 'T', kLogged), timeText, true, "'it's'"},
        {"absent text", Field("f", 'S', kLogged), noText, true, "''"},
        {"value missing from the row", Field("f", 'I', kLogged), Int(0), false, ""},
        {"value of another type", Field("f", 'I', kLogged), big, true, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        // The case's field between two logged integers and after an unlogged one.
        Group g("G", 1, {Field("skip", 'I', 0), Field("a", 'I', kLogged), c.field, Field("z", 'I', kLogged)});
        Hit hit("O", c.present ? std::vector<CsXdrValue>{Int(5), Int(1), c.value, Int(2)}
                               : std::vector<CsXdrValue>{Int(5), Int(1)});
        SmBulkLog log;
        Open(log);
        ASSERT_EQ(SmBulkLogLine(&log, &g.group, &hit.row, true), CS_OK);
        const std::string line = ReadBack(log).substr(kHeader.size() + 74);
        const std::string last = c.present ? "2" : "";
        EXPECT_EQ(line, "1," + c.shown + "," + last + "->O,0,0,0,0,0x4E,0x00,0,0,0\n");
    }
}

TEST_F(BulkLogTest, ObjectHandleWithoutObjectOrFields) {
    Group g("G", 1, {});
    Hit hit("X", {});
    hit.row.object = nullptr;
    SmBulkLog log;
    Open(log);
    ASSERT_EQ(SmBulkLogLine(&log, &g.group, &hit.row, true), CS_OK);
    Hit nodes("Y", {});
    nodes.object.secondaryNode = 65535;  // shown as a signed 16-bit number
    nodes.object.compression = char(0xC1);
    ASSERT_EQ(SmBulkLogLine(&log, &g.group, &nodes.row, true), CS_OK);
    const std::string text = ReadBack(log);
    EXPECT_EQ(text.substr(kHeader.size()), Columns("G", "1") + "->,0,0,0,0,0x4E,0x00,0,0,0\n" +
                                               Columns("", "") + "->Y,0,0,0,0,0x4E,0xC1,0,0,-1\n");
}

TEST_F(BulkLogTest, PagesOfSixtyLinesWithFormFeeds) {
    struct Case {
        int lines;
        size_t pages;
    };
    const std::vector<Case> cases = {{1, 1}, {59, 1}, {60, 1}, {61, 2}, {120, 2}, {121, 3}};
    Group g("Paged", 3, {Field("n", 'I', kLogged)});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.lines);
        std::vector<std::unique_ptr<Hit>> hits;
        SmBulkLog log;
        Open(log);
        for (int i = 0; i < c.lines; ++i) {
            hits.push_back(std::make_unique<Hit>("OBJ", std::vector<CsXdrValue>{Int(i)}));
            ASSERT_EQ(SmBulkLogLine(&log, &g.group, &hits.back()->row, true), CS_OK);
        }
        const std::string text = ReadBack(log);
        EXPECT_EQ(size_t(std::count(text.begin(), text.end(), '\f')), c.pages - 1);
        // Each page: the header, then up to 60 lines; the group named again on its first.
        size_t start = 0;
        for (size_t page = 0; page < c.pages; ++page) {
            const size_t end = std::min(text.find('\f', start), text.size());
            const std::string body = text.substr(start, end - start);
            ASSERT_EQ(body.compare(0, kHeader.size(), kHeader), 0) << "page " << page;
            const size_t count = size_t(std::count(body.begin(), body.end(), '\n')) - 4;
            EXPECT_EQ(count, std::min<size_t>(60, size_t(c.lines) - page * 60));
            EXPECT_EQ(body.substr(kHeader.size(), 74), Columns("Paged", "3"));
            const std::string firstValue = std::to_string(page * 60) + "->";
            EXPECT_EQ(body.substr(kHeader.size() + 74, firstValue.size()), firstValue);
            start = end + 1;
        }
    }
}

TEST_F(BulkLogTest, GroupColumnsOnlyWhenTheGroupChanges) {
    Group a("Alpha", 1, {});
    Group b("Beta", 2, {});
    Hit hit("O", {});
    SmBulkLog log;
    Open(log);
    for (const Group* g : {&a, &a, &b, &a}) ASSERT_EQ(SmBulkLogLine(&log, &g->group, &hit.row, true), CS_OK);
    const std::string handle = "->O,0,0,0,0,0x4E,0x00,0,0,0\n";
    EXPECT_EQ(ReadBack(log), kHeader + Columns("Alpha", "1") + handle + Columns("", "") + handle +
                                 Columns("Beta", "2") + handle + Columns("Alpha", "1") + handle);
}

TEST_F(BulkLogTest, LongGroupNameIsCutAtSixtyColumns) {
    const std::string name(70, 'n');
    Group g(name.c_str(), 4, {});
    SmBulkLog log;
    Open(log);
    ASSERT_EQ(SmBulkLogLine(&log, &g.group, nullptr, true), CS_OK);
    EXPECT_EQ(ReadBack(log).substr(kHeader.size()),
              std::string(60, 'n') + " 4            --LOGGING DISABLED--\n");
}

TEST_F(BulkLogTest, ReadsBackInPiecesThenAnEmptyPieceAtTheEnd) {
    Group g("Many", 8, {Field("n", 'I', kLogged)});
    Hit hit("OBJECT", {Int(123456)});
    SmBulkLog log;
    Open(log);
    for (int i = 0; i < 150; ++i) ASSERT_EQ(SmBulkLogLine(&log, &g.group, &hit.row, i % 2 == 0), CS_OK);
    ASSERT_EQ(SmBulkLogStep(&log, SM_BULKLOG_REWIND), CS_OK);
    const std::string whole = smtest::ReadFile(log.fileName);
    ASSERT_GT(whole.size(), 3 * SM_BULKLOG_PIECE);

    std::vector<size_t> sizes;
    EXPECT_EQ(ReadBack(log, &sizes), whole);
    ASSERT_GE(sizes.size(), 5u);
    for (size_t i = 0; i + 2 < sizes.size(); ++i) EXPECT_EQ(sizes[i], SM_BULKLOG_PIECE) << "piece " << i;
    EXPECT_EQ(sizes[sizes.size() - 2], whole.size() % SM_BULKLOG_PIECE);
    EXPECT_EQ(sizes.back(), 0u);
    EXPECT_TRUE(log.atEnd);

    // After the end the supplier hands out nothing, and clears what it is given.
    const unsigned char* data = log.buffer.data();
    size_t length = 5;
    EXPECT_EQ(SmBulkLogRead(&log, &data, &length), 0);
    EXPECT_EQ(data, nullptr);
    EXPECT_EQ(length, 0u);

    // Rewinding again reads the same report once more.
    EXPECT_EQ(ReadBack(log), whole);
}

TEST_F(BulkLogTest, ConvertsLatin1GroupNamesToUtf8) {
    Group g("Caf\xE9 \xC4pfel", 9, {});
    SmBulkLog log;
    Open(log);
    ASSERT_EQ(SmBulkLogLine(&log, &g.group, nullptr, true), CS_OK);
    const std::string text = ReadBack(log);
    EXPECT_NE(text.find("Caf\xC3\xA9 \xC3\x84pfel"), std::string::npos);
    EXPECT_EQ(text.find("Caf\xE9"), std::string::npos);
    EXPECT_TRUE(messages_.texts.empty());
}

TEST_F(BulkLogTest, ConverterThatCannotOpenIsReportedOnceAndTheLogStaysUnconverted) {
    handle_.localCcsid = 64999;  // no such code page
    Group g("Caf\xE9", 9, {});
    SmBulkLog log;
    Open(log);
    EXPECT_EQ(log.converter, nullptr);
    for (int i = 0; i < 3; ++i) ASSERT_EQ(SmBulkLogLine(&log, &g.group, nullptr, true), CS_OK);
    const std::string text = ReadBack(log);
    EXPECT_NE(text.find("Caf\xE9 "), std::string::npos);
    EXPECT_EQ(MessagesHaving("Unable to open the 64999 to 1208 iconv converter"), 1);
    EXPECT_EQ(messages_.texts.size(), 1u);
}

TEST_F(BulkLogTest, FileThatCannotBeMadeStopsEveryLaterStep) {
    UseTempDir(tmp_ / "missing/");
    Group g("G", 1, {});
    Hit hit("O", {});
    SmBulkLog log;
    log.handle = &handle_;
    EXPECT_EQ(SmBulkLogStep(&log, SM_BULKLOG_START), CS_OK);
    EXPECT_EQ(SmBulkLogStep(&log, SM_BULKLOG_OPEN), CS_FAILED);
    EXPECT_EQ(MessagesHaving("Unable to open file >" + tmp_.Dir() + "missing/QEL."), 1);

    EXPECT_EQ(SmBulkLogLine(&log, &g.group, &hit.row, true), CS_FAILED);
    EXPECT_EQ(SmBulkLogPrintf(&log, "%s", "more"), CS_FAILED);
    for (int step :
         {SM_BULKLOG_OPEN, SM_BULKLOG_READ, SM_BULKLOG_REWIND, SM_BULKLOG_CLOSE, SM_BULKLOG_REMOVE})
        EXPECT_EQ(SmBulkLogStep(&log, step), CS_FAILED) << "step " << step;
    const unsigned char* data = log.buffer.data();
    size_t length = 1;
    EXPECT_EQ(SmBulkLogRead(&log, &data, &length), 0);
    EXPECT_EQ(data, nullptr);
    EXPECT_EQ(length, 0u);
    EXPECT_EQ(log.lines, 0);
    EXPECT_EQ(messages_.texts.size(), 1u);  // the later steps are silent
    EXPECT_FALSE(fs::exists(tmp_ / "missing"));

    // Step 0 always runs: it clears the status and the log works again.
    UseTempDir(tmp_.Dir());
    Open(log);
    ASSERT_EQ(SmBulkLogLine(&log, &g.group, nullptr, true), CS_OK);
    EXPECT_EQ(ReadBack(log), kHeader + Columns("G", "1") + "--LOGGING DISABLED--\n");
}

TEST_F(BulkLogTest, ExistingFileUnderTheNameIsNeitherOverwrittenNorRemoved) {
    SmBulkLog log;
    log.handle = &handle_;
    ASSERT_EQ(SmBulkLogStep(&log, SM_BULKLOG_START), CS_OK);
    const std::string name = log.fileName;
    smtest::WriteFile(name, "someone else's");
    EXPECT_EQ(SmBulkLogStep(&log, SM_BULKLOG_OPEN), CS_FAILED);
    EXPECT_EQ(MessagesHaving("Unable to open file >" + name + "<"), 1);
    EXPECT_EQ(SmBulkLogStep(&log, SM_BULKLOG_START), CS_OK);  // a new name
    EXPECT_NE(log.fileName, name);
    EXPECT_EQ(SmBulkLogStep(&log, SM_BULKLOG_REMOVE), CS_OK);
    EXPECT_EQ(smtest::ReadFile(name), "someone else's");
}

TEST_F(BulkLogTest, LinkPlantedUnderTheNameIsNotFollowed) {
    SmBulkLog log;
    log.handle = &handle_;
    ASSERT_EQ(SmBulkLogStep(&log, SM_BULKLOG_START), CS_OK);
    const std::string target = tmp_ / "target";
    smtest::WriteFile(target, "precious");
    fs::create_symlink(target, log.fileName);
    EXPECT_EQ(SmBulkLogStep(&log, SM_BULKLOG_OPEN), CS_FAILED);
    EXPECT_EQ(smtest::ReadFile(target), "precious");
}

TEST_F(BulkLogTest, FileIsPrivateUniqueAndGoneAfterTheLastStep) {
    SmBulkLog first;
    SmBulkLog second;
    Open(first);
    Open(second);
    EXPECT_NE(first.fileName, second.fileName);
    EXPECT_EQ(fs::path(first.fileName).parent_path(), fs::path(tmp_.Dir()).parent_path());
    EXPECT_NE(fs::path(first.fileName).filename().string().find("BULKLOG"), std::string::npos);
    struct stat st {};
    ASSERT_EQ(::stat(first.fileName.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);

    for (SmBulkLog* log : {&first, &second}) {
        ReadBack(*log);
        EXPECT_EQ(SmBulkLogStep(log, SM_BULKLOG_CLOSE), CS_OK);
        EXPECT_EQ(SmBulkLogStep(log, SM_BULKLOG_REMOVE), CS_OK);
        EXPECT_TRUE(log->fileName.empty());
        EXPECT_EQ(log->converter, nullptr);
    }
    EXPECT_EQ(FilesInTemp(), 0u);
    EXPECT_TRUE(messages_.texts.empty());
}

TEST_F(BulkLogTest, RecordDroppedWithoutTheLastStepsLeavesNothingBehind) {
    {
        SmBulkLog log;
        Open(log);
        Group g("G", 1, {});
        ASSERT_EQ(SmBulkLogLine(&log, &g.group, nullptr, true), CS_OK);
        EXPECT_EQ(FilesInTemp(), 1u);
    }
    EXPECT_EQ(FilesInTemp(), 0u);
}

TEST_F(BulkLogTest, PrintfFormatsTextOfAnyLength) {
    SmBulkLog log;
    Open(log);
    const std::string longText(70000, 'x');  // more than the old fixed 65535 bytes
    ASSERT_EQ(SmBulkLogPrintf(&log, "[%s|%d]\n", longText.c_str(), 42), CS_OK);
    EXPECT_EQ(ReadBack(log), "[" + longText + "|42]\n");
}

}  // namespace
