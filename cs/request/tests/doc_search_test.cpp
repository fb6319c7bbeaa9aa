// Searching an application group: locally on a copy of the sample archive with rows
// loaded into its segments, remotely against the loopback peer.
#include <cstring>
#include <filesystem>
#include <limits>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "logon_test_support.h"
#include "qel_local.h"

namespace {

using logontest::FolderPtr;
using logontest::HandleGuard;
using logontest::TestArchive;

constexpr int32_t kInvoices = 100;
constexpr int kExtra = 12;  // rounded up to 16 by the packing

// What the hit callback saw.
struct Seen {
    CsHandle* handle = nullptr;
    int extra = -1;
    std::vector<std::string> first;  // the first field of every hit
    std::vector<std::string> segments;
    std::vector<uint8_t> noteFlags;
    std::vector<uint8_t> locations;      // the location byte of each hit's object
    size_t interruptAfter = 0;           // 0: never
    bool keep = false;                   // keep the hits (answer 0)
    std::vector<CsXdrHitRow*> kept;      // freed by the test
    std::vector<std::string> extraSeen;  // the extra bytes written into each kept hit's block
};

int Hit(void* context, CsXdrHitRow* hit) {
    auto* seen = static_cast<Seen*>(context);
    const CsXdrValue& value = hit->values[0];
    seen->first.push_back(value.type == 'S' && value.v.text != nullptr ? value.v.text : "?");
    seen->segments.push_back(hit->segment);
    seen->noteFlags.push_back(hit->noteFlag);
    seen->locations.push_back(hit->object != nullptr ? hit->object->location : 0);
    if (seen->interruptAfter != 0 && seen->first.size() == seen->interruptAfter) CsInterrupt(seen->handle);
    if (!seen->keep) return 1;
    if (seen->extra > 0) {
        // The caller's bytes lie before the hit record, in the same block.
        auto* block = static_cast<char*>(CsPackedHitBlock(hit, seen->extra));
        EXPECT_LE(block + seen->extra, reinterpret_cast<char*>(hit));
        std::snprintf(block, static_cast<size_t>(seen->extra), "row%zu", seen->first.size());
    }
    seen->kept.push_back(hit);
    return 0;
}

// Messages that also go to the callback are checked in the System Log instead.
int Quiet(void*, const char*) { return 0; }

// The texts of the System Log records of a local archive (the last value of each row of
// its group's row file) that hold the words.
size_t Logged(const std::string& archive, const std::string& words) {
    std::istringstream rows(localtest::ReadFile(archive + "index/System Log.rows"));
    size_t n = 0;
    for (std::string line; std::getline(rows, line);) {
        std::string text;
        for (size_t i = line.rfind('\t') + 1; i < line.size(); ++i) {
            if (line[i] != '\\' || i + 1 == line.size()) {
                text += line[i];
                continue;
            }
            const char c = line[++i];
            text += c == 't' ? '\t' : c == 'n' ? '\n' : c == 'r' ? '\r' : c;
        }
        if (text.find(words) != std::string::npos) ++n;
    }
    return n;
}

// An invoice row: INVNO, CUSTOMER, INVDATE; its document is the object 1FAA at offset.
QelLocalIdxRow Invoice(const std::string& invno, const std::string& customer, int64_t date, uint32_t offset,
                       uint8_t annot = 0) {
    QelLocalIdxRow row;
    row.header.objName = "1FAA";
    row.header.off = offset;
    row.header.len = 10;
    row.header.compType = 'N';
    row.header.annot = annot;
    row.values.resize(3);
    row.values[0].text = invno;
    row.values[1].text = customer;
    row.values[2].integer = date;
    return row;
}

std::string Numbered(char letter, int n) {
    char text[16];
    std::snprintf(text, sizeof text, "%c%04d", letter, n);
    return text;
}

std::vector<std::string> Range(char letter, int from, int to, int step = 1) {
    std::vector<std::string> names;
    for (int n = from; n <= to; n += step) names.push_back(Numbered(letter, n));
    return names;
}

// A row of customer TEXTCO whose document is the 16 bytes at 16 * n of object 2TXT, one
// block stored as it is, on storage node `node`.
QelLocalIdxRow TextRow(int n, uint16_t node, const char* object = "2TXT") {
    QelLocalIdxRow row = Invoice(Numbered('T', n), "TEXTCO", 19730, 0);
    row.header.objName = object;
    row.header.compLen = 112;  // the whole object is one stored block
    row.header.off = 16u * static_cast<uint32_t>(n);
    row.header.len = 16;
    row.header.priNid = node;
    return row;
}

// Segment INV1 (dates 19723-19753) holds A0001-A0040, odd ones of customer ACME, even
// ones of OTHER, A0003 with the note flag in its row; segment INV2 (dates 19754-19784)
// holds B0001-B0005 of ACME. Notes: A0002 a public note of ALICE, colour 3, "urgent";
// A0004 a private note of ALICE, colour 5; A0006 a private note of ROOT, colour 3.
class LocalSearch : public ::testing::Test {
protected:
    void SetUp() override {
        std::string perms = archive_.Table("agperms");
        perms.replace(perms.find("IDS=11\n"), 7, "IDS=11,2\n");
        archive_.WriteTable("agperms",
                            perms + "\n[2|100]\nID_PERMS=1\nDOC_PERMS=1\nQ_RESTRICT=\"CUSTOMER = 'ACME'\"\n");
        CsHandle handle{};
        localtest::MakeHandle(&handle, archive_.Dir());
        ASSERT_EQ(QelLocal_Open(&handle), CS_OK);
        QelLocalAppGroup group;
        ASSERT_EQ(QelLocal_ReadAppGroup(&handle, kInvoices, &group), CS_OK);
        std::vector<QelLocalIdxRow> first, second;
        for (int n = 1; n <= 40; ++n)
            first.push_back(
                Invoice(Numbered('A', n), n % 2 ? "ACME" : "OTHER", 19730, 100u * n, n == 3 ? 1 : 0));
        for (int n = 1; n <= 5; ++n) second.push_back(Invoice(Numbered('B', n), "ACME", 19760, 100u * n));
        QelLocalSegment inv1, inv2;
        std::strcpy(inv1.name, "INV1");
        inv2.agid = kInvoices;
        std::strcpy(inv2.name, "INV2");
        inv2.startDate = 19754;
        inv2.stopDate = 19784;
        inv2.maxRows = 10000;
        inv2.hasDates = true;
        ASSERT_EQ(QelLocal_AddSegment(&handle, kInvoices, &inv2), CS_OK);
        int64_t added = 0;
        ASSERT_EQ(QelLocal_AddIndexRows(&handle, group, inv1, first, &added), CS_OK);
        ASSERT_EQ(QelLocal_AddIndexRows(&handle, group, inv2, second, &added), CS_OK);
        AddNote(&handle, 200, 1, "ALICE", 2, 3, "urgent");
        AddNote(&handle, 400, 1, "ALICE", 1, 5, "mine");
        AddNote(&handle, 600, 4, "ROOT", 1, 3, "urgent too");
        QelLocal_Close(&handle);
    }

    // A further segment INV3 of the group with the rows (dated: 19740-19750; else the
    // empty range of a fresh segment).
    void AddSegment(const char* name, bool dated, const std::vector<QelLocalIdxRow>& rows) {
        CsHandle handle{};
        localtest::MakeHandle(&handle, archive_.Dir());
        ASSERT_EQ(QelLocal_Open(&handle), CS_OK);
        QelLocalAppGroup group;
        ASSERT_EQ(QelLocal_ReadAppGroup(&handle, kInvoices, &group), CS_OK);
        QelLocalSegment segment;
        segment.agid = kInvoices;
        std::strcpy(segment.name, name);
        segment.startDate = dated ? 19740 : std::numeric_limits<int64_t>::max();
        segment.stopDate = dated ? 19750 : 1;
        segment.hasDates = dated;
        ASSERT_EQ(QelLocal_AddSegment(&handle, kInvoices, &segment), CS_OK);
        int64_t added = 0;
        ASSERT_EQ(QelLocal_AddIndexRows(&handle, group, segment, rows, &added), CS_OK);
        QelLocal_Close(&handle);
    }

    static void AddNote(CsHandle* handle, uint32_t offset, uint32_t user, const char* name, uint32_t flags,
                        uint8_t colour, const char* text) {
        QelLocalNoteDoc doc;
        doc.agid = kInvoices;
        doc.objectName = "1FAA";
        doc.docOffset = static_cast<int32_t>(offset);
        doc.docLength = 10;
        QelLocalNote note;
        note.userNumber = user;
        std::strcpy(note.userName, name);
        note.flags = flags;
        note.fields[0] = colour;
        note.text = text;
        ASSERT_EQ(QelLocal_AddNote(handle, &doc, &note), CS_OK) << offset;
    }

    // Logs on and opens folder 1 (Invoices); hits go to seen_.
    void LogOn(const char* user, const char* password) {
        guard_.Renew(archive_);
        CsUserRecord record{};
        ASSERT_EQ(CsLogon(&handle_, user, password, &record), CS_OK) << user;
        CsXdrFolder* raw = nullptr;
        ASSERT_EQ(CsOpenFolderGroups(&handle_, 1, nullptr, &raw), CS_OK) << user;
        folder_.reset(raw);
        ASSERT_EQ(folder_->groupCount, 1u);
        Watch();
    }
    void Watch() {
        seen_ = Seen{};
        seen_.handle = &handle_;
        handle_.callbackContext = &seen_;
        handle_.messageCallback = Quiet;
    }
    size_t Logged(const std::string& words) const { return ::Logged(archive_.Dir(), words); }
    CsXdrApplGroup* Group() { return &folder_->groups[0]; }

    int Search(const char* where, const CsXdrCriteria* range = nullptr, const CsXdrValueItem* notes = nullptr,
               int noteLetter = 'N', int extra = -1) {
        seen_.extra = extra;
        return CsSearchFolder(&handle_, folder_.get(), Group(), where, range, notes, nullptr, 0, noteLetter,
                              extra, Hit);
    }
    // A segment date range of INVDATE (type 'I').
    static CsXdrCriteria DateRange(int32_t from, int32_t to) {
        CsXdrCriteria range{};
        range.type = 'I';
        range.values[0].type = range.values[1].type = 'I';
        range.values[0].v.integer = from;
        range.values[1].v.integer = to;
        return range;
    }
    struct RowsCase {
        const char* name;
        const char* where;
        const CsXdrCriteria* range;
        std::vector<std::string> rows;
    };
    // Each search finds exactly its rows (their first fields, in segment order).
    void ExpectRows(const std::vector<RowsCase>& cases) {
        for (const RowsCase& c : cases) {
            Watch();
            EXPECT_EQ(Search(c.where, c.range), CS_OK) << c.name;
            EXPECT_EQ(seen_.first, c.rows) << c.name;
        }
    }
    void FreeKept() {
        for (CsXdrHitRow* hit : seen_.kept) CsFreePackedHit(hit, seen_.extra);
        seen_.kept.clear();
    }
    void SetInTable(const char* table, const std::string& from, const std::string& to) {
        std::string text = archive_.Table(table);
        const size_t at = text.find(from);
        ASSERT_NE(at, std::string::npos) << from;
        text.replace(at, from.size(), to);
        archive_.WriteTable(table, text);
    }
    // Marks segments offline in the group's segment profile.
    void Offline(const std::vector<const char*>& names) {
        const std::string path = archive_.Dir() + "index/INVOICES.seg";
        std::string text = localtest::ReadFile(path);
        for (const char* name : names) {
            size_t at = text.find(std::string("[") + name + "]");
            ASSERT_NE(at, std::string::npos) << name;
            at = text.find("\nMASK=", at);
            ASSERT_NE(at, std::string::npos) << name;
            text.replace(at, text.find('\n', at + 1) - at, "\nMASK=1");
        }
        localtest::WriteFile(path, text);
    }

    TestArchive archive_;
    CsHandle handle_{};
    HandleGuard guard_{&handle_};
    FolderPtr folder_;
    Seen seen_;
};

TEST_F(LocalSearch, RowsByWhereTextAndDateRange) {
    ASSERT_NO_FATAL_FAILURE(LogOn("ALICE", "Secret-1"));
    const CsXdrCriteria second = DateRange(19760, 19999);
    const CsXdrCriteria nothing = DateRange(20000, 20100);
    std::vector<std::string> all = Range('A', 1, 40);
    for (const std::string& b : Range('B', 1, 5)) all.push_back(b);
    ExpectRows({
        {"every row of every segment", "", nullptr, all},
        {"no WHERE text at all", nullptr, nullptr, all},
        {"a WHERE text", "INVNO = 'A0007' OR INVNO = 'B0002'", nullptr, {"A0007", "B0002"}},
        {"the range meets INV2 only", "", &second, Range('B', 1, 5)},
        {"the range meets no segment", "", &nothing, {}},
        {"WHERE text and range", "INVNO <> 'B0001'", &second, Range('B', 2, 5)},
    });
    Watch();
    ASSERT_EQ(Search("INVNO = 'B0003'"), CS_OK);
    EXPECT_EQ(seen_.segments, (std::vector<std::string>{"INV2"}));
    EXPECT_EQ(seen_.noteFlags, (std::vector<uint8_t>{0})) << "no note flag asked for";
    EXPECT_EQ(Logged("ApplGroup Query"), 0u) << "the group does not log queries";

    Watch();
    EXPECT_EQ(Search("INVNO = = 'A'"), CS_FAILED) << "a WHERE text the index cannot answer";
    EXPECT_TRUE(seen_.first.empty());
}

// Without a segment date field nothing dates a segment: the rows of the undated segment
// INV3 are found with INV1's and INV2's, and a range selects no fewer segments.
TEST_F(LocalSearch, AGroupWithoutASegmentDateFieldIsSearchedOverAllItsSegments) {
    SetInTable("agfld", "NAME=INVDATE\nTYPE=I\nQUAL=1\nMASK=4", "NAME=INVDATE\nTYPE=I\nQUAL=1\nMASK=0");
    std::vector<QelLocalIdxRow> rows;
    for (int n = 1; n <= 3; ++n) rows.push_back(Invoice(Numbered('C', n), "ACME", 0, 5000u + 100u * n));
    ASSERT_NO_FATAL_FAILURE(AddSegment("INV3", false, rows));
    ASSERT_NO_FATAL_FAILURE(LogOn("ALICE", "Secret-1"));
    const CsXdrCriteria range = DateRange(20000, 20100);
    std::vector<std::string> all = Range('A', 1, 40);
    for (const std::string& b : Range('B', 1, 5)) all.push_back(b);
    for (const std::string& c : Range('C', 1, 3)) all.push_back(c);
    ExpectRows({
        {"every row of every segment", "", nullptr, all},
        {"a range does not narrow the segments", "", &range, all},
        {"a row of the undated segment", "INVNO = 'C0002'", nullptr, {"C0002"}},
    });
}

TEST_F(LocalSearch, TextsCrossBetweenTheArchivesCodePageAndTheSessions) {
    ASSERT_NO_FATAL_FAILURE(AddSegment("INV3", true,
                                       {Invoice("C0001", "M\xDCLLER GMBH", 19745, 5100),
                                        Invoice("C0002",
                                                "S\xFC"
                                                "d",
                                                19745, 5200),
                                        Invoice("C0003", "SUD", 19745, 5300)}));
    struct Case {
        const char* name;
        int32_t ccsid;
        const char* where;
        int rc;
        std::vector<std::string> customers;
    };
    const Case cases[] = {
        {"UTF-8 equality", 1208, "CUSTOMER = 'M\xC3\x9CLLER GMBH'", CS_OK, {"M\xC3\x9CLLER GMBH"}},
        {"UTF-8 LIKE",
         1208,
         "CUSTOMER LIKE 'S\xC3\xBC%'",
         CS_OK,
         {"S\xC3\xBC"
          "d"}},
        {"UTF-8 IN",
         1208,
         "CUSTOMER IN ('S\xC3\xBC"
         "d', 'SUD')",
         CS_OK,
         {"S\xC3\xBC"
          "d",
          "SUD"}},
        {"Latin-1 equality", 819, "CUSTOMER = 'M\xDCLLER GMBH'", CS_OK, {"M\xDCLLER GMBH"}},
        {"Latin-1 LIKE",
         819,
         "CUSTOMER LIKE 'S\xFC%'",
         CS_OK,
         {"S\xFC"
          "d"}},
        {"Latin-1 bytes under UTF-8", 1208, "CUSTOMER = 'M\xDCLLER GMBH'", CS_FAILED, {}},
        {"a character 819 lacks", 1208, "CUSTOMER = '\xE2\x82\xAC'", CS_FAILED, {}},
    };
    for (const Case& c : cases) {
        ASSERT_NO_FATAL_FAILURE(LogOn("ALICE", "Secret-1"));
        handle_.localCcsid = c.ccsid;
        seen_.keep = true;
        EXPECT_EQ(Search(c.where), c.rc) << c.name;
        std::vector<std::string> customers;
        for (const CsXdrHitRow* hit : seen_.kept) customers.push_back(hit->values[1].v.text);
        EXPECT_EQ(customers, c.customers) << c.name;
        FreeKept();
    }
}

TEST_F(LocalSearch, TheUsersRestrictionCannotBeWidenedByTheGroupRecord) {
    ASSERT_NO_FATAL_FAILURE(LogOn("BOB", "Bob.Pass"));
    std::vector<std::string> acme = Range('A', 1, 40, 2);
    for (const std::string& b : Range('B', 1, 5)) acme.push_back(b);
    char wide[] = "CUSTOMER = 'OTHER' OR CUSTOMER = 'ACME'";
    char narrow[] = "INVNO = 'A0005'";
    char empty[] = "";
    struct Case {
        const char* name;
        char* groupRestriction;
        const char* where;
        std::vector<std::string> rows;
    };
    const Case cases[] = {
        {"the user's restriction alone", nullptr, "", acme},
        {"an empty record restriction", empty, "", acme},
        {"a wider record restriction", wide, "", acme},
        {"a WHERE text asking for the others", nullptr, "CUSTOMER = 'OTHER'", {}},
        {"the record restriction narrows", narrow, "", {"A0005"}},
    };
    for (const Case& c : cases) {
        Watch();
        char* own = Group()->restriction;
        Group()->restriction = c.groupRestriction;
        EXPECT_EQ(Search(c.where), CS_OK) << c.name;
        Group()->restriction = own;
        EXPECT_EQ(seen_.first, c.rows) << c.name;
    }
}

TEST_F(LocalSearch, AUserWithoutRightsOnTheGroupIsRefused) {
    ASSERT_NO_FATAL_FAILURE(LogOn("ALICE", "Secret-1"));
    // CAROL belongs to no group with a row for INVOICES; the record ALICE got is no pass.
    guard_.Renew(archive_);
    CsUserRecord record{};
    ASSERT_EQ(CsLogon(&handle_, "CAROL", "", &record), CS_OK);
    Watch();
    EXPECT_EQ(Search(""), CS_NOT_AUTHORISED);
    EXPECT_TRUE(seen_.first.empty());

    ASSERT_NO_FATAL_FAILURE(LogOn("ALICE", "Secret-1"));
    EXPECT_EQ(
        CsSearchFolder(&handle_, folder_.get(), Group(), "", nullptr, nullptr, nullptr, 0, 'N', -1, Hit),
        CS_OK);
    CsXdrValueItem text{2, const_cast<char*>("words"), nullptr};
    EXPECT_EQ(CsSearchFolder(&handle_, folder_.get(), Group(), "", nullptr, nullptr, &text, 0, 'N', -1, Hit),
              CS_FAILED)
        << "the local server has no text search";
}

TEST_F(LocalSearch, AGroupRecordThatDoesNotMatchTheTablesIsRefused) {
    ASSERT_NO_FATAL_FAILURE(LogOn("ALICE", "Secret-1"));
    CsXdrApplGroup& group = *Group();
    struct Case {
        const char* name;
        uint32_t number;
        uint16_t fieldCount;
        char dateType;
    };
    const Case cases[] = {
        {"an unknown group", 999, 3, 'I'},
        {"a field of another type", 100, 3, 'B'},
        {"a field missing", 100, 2, 'I'},
    };
    for (const Case& c : cases) {
        Watch();
        group.number = c.number;
        group.fieldCount = c.fieldCount;
        group.fields[2].type = c.dateType;
        EXPECT_EQ(Search(""), CS_FAILED) << c.name;
        EXPECT_TRUE(seen_.first.empty()) << c.name;
    }
    group.number = 100;
    group.fieldCount = 3;
    group.fields[2].type = 'I';
    Watch();
    EXPECT_EQ(Search("INVNO = 'A0001'"), CS_OK);
    EXPECT_EQ(seen_.first.size(), 1u);
}

TEST_F(LocalSearch, ALoggedQueryIssuesANormalisedCopy) {
    ASSERT_NO_FATAL_FAILURE(SetInTable("ag", "LOG=0\nSID=1\nSEG_ROWS", "LOG=1\nSID=1\nSEG_ROWS"));
    ASSERT_NO_FATAL_FAILURE(LogOn("ALICE", "Secret-1"));
    char where[] = "INVNO   =  'A0001'  OR\n\n  CUSTOMER = 'BIG   CO'";
    const std::string before = where;
    ASSERT_EQ(Search(where), CS_OK);
    EXPECT_EQ(where, before) << "the caller's text is never changed";
    EXPECT_EQ(seen_.first, (std::vector<std::string>{"A0001"}));
    ASSERT_EQ(Logged("ApplGroup Query"), 1u);
    EXPECT_EQ(Logged("Name(INVOICES) Agid(100) Sql(INVNO = 'A0001' OR\nCUSTOMER = 'BIG   CO') SqlR() "), 1u);

    // A message that cannot be stored ends the search before any row.
    const std::string rows = archive_.Dir() + "index/System Log.rows";
    std::filesystem::remove(rows);
    std::filesystem::create_directory(rows);
    Watch();
    EXPECT_NE(Search(""), CS_OK);
    EXPECT_TRUE(seen_.first.empty());
}

TEST_F(LocalSearch, UnavailableSegmentsAreReported) {
    struct Case {
        const char* name;
        std::vector<const char*> offline;
        int rc;
        size_t rows;
    };
    const Case cases[] = {
        {"one of two offline", {"INV2"}, CS_OK, 40},
        {"every segment offline", {"INV1", "INV2"}, CS_UNAVAILABLE, 0},
    };
    for (const Case& c : cases) {
        ASSERT_NO_FATAL_FAILURE(Offline(c.offline));
        ASSERT_NO_FATAL_FAILURE(LogOn("ALICE", "Secret-1"));
        const size_t before = Logged("ApplGroup Segment Not Available");
        std::vector<size_t> named;
        for (const char* name : c.offline)
            named.push_back(Logged(std::string("Name(INVOICES) Agid(100) SegName(") + name + ")"));
        EXPECT_EQ(Search(""), c.rc) << c.name;
        EXPECT_EQ(seen_.first.size(), c.rows) << c.name;
        EXPECT_EQ(Logged("ApplGroup Segment Not Available") - before, c.offline.size()) << c.name;
        for (size_t i = 0; i < c.offline.size(); ++i)
            EXPECT_EQ(
                Logged(std::string("Name(INVOICES) Agid(100) SegName(") + c.offline[i] + ")") - named[i], 1u)
                << c.name << " " << c.offline[i];
    }
}

TEST_F(LocalSearch, AnInterruptFromTheCallbackEndsTheScan) {
    ASSERT_NO_FATAL_FAILURE(LogOn("ALICE", "Secret-1"));
    seen_.interruptAfter = 3;
    EXPECT_EQ(Search(""), CS_CANCELLED);
    EXPECT_GE(seen_.first.size(), 3u);
    EXPECT_LT(seen_.first.size(), 3u + CS_SEARCH_POLL_ROWS);
    // The next search runs again.
    Watch();
    EXPECT_EQ(Search("INVNO = 'A0001'"), CS_OK);
    EXPECT_EQ(seen_.first.size(), 1u);
}

TEST_F(LocalSearch, KeptHitsCarryTheCallersBytes) {
    ASSERT_NO_FATAL_FAILURE(LogOn("ALICE", "Secret-1"));
    seen_.keep = true;
    ASSERT_EQ(Search("INVNO = 'A0001' OR INVNO = 'A0002'", nullptr, nullptr, 'N', kExtra), CS_OK);
    ASSERT_EQ(seen_.kept.size(), 2u);
    for (size_t i = 0; i < seen_.kept.size(); ++i) {
        CsXdrHitRow* hit = seen_.kept[i];
        EXPECT_STREQ(static_cast<char*>(CsPackedHitBlock(hit, kExtra)),
                     ("row" + std::to_string(i + 1)).c_str());
        EXPECT_STREQ(hit->values[0].v.text, Numbered('A', static_cast<int>(i + 1)).c_str());
        ASSERT_NE(hit->object, nullptr);
        EXPECT_STREQ(hit->object->name, "1FAA");
        EXPECT_EQ(hit->object->offset, 100u * (i + 1));
        EXPECT_EQ(hit->values[2].v.integer, 19730);
    }
    FreeKept();
}

TEST_F(LocalSearch, NoteFilterAndNoteLetter) {
    // STAFF without the group permissions that read every note (0x02, 0x04): ALICE sees
    // the public notes and her own.
    ASSERT_NO_FATAL_FAILURE(
        SetInTable("agperms", "[11|100]\nID_PERMS=1\nDOC_PERMS=11\n", "[11|100]\nID_PERMS=1\nDOC_PERMS=9\n"));
    ASSERT_NO_FATAL_FAILURE(LogOn("ALICE", "Secret-1"));
    CsXdrValueItem colour3{1, const_cast<char*>("3"), nullptr};
    CsXdrValueItem colour5{1, const_cast<char*>("5"), nullptr};
    CsXdrValueItem urgent{2, const_cast<char*>("urgent"), nullptr};
    CsXdrValueItem alice{2, const_cast<char*>("ALICE"), nullptr};
    CsXdrValueItem aliceColour5{2, const_cast<char*>("ALICE"), &colour5};
    CsXdrValueItem badColour{1, const_cast<char*>("red"), nullptr};
    const char* where = "INVNO < 'A0010'";
    struct Case {
        const char* name;
        const CsXdrValueItem* filter;
        std::vector<std::string> rows;
    };
    const Case cases[] = {
        {"a colour (ROOT's private note is not ALICE's to see)", &colour3, {"A0002"}},
        {"a text in a public note", &urgent, {"A0002"}},
        {"a text in the note's user", &alice, {"A0002", "A0004"}},
        {"user and colour", &aliceColour5, {"A0004"}},
    };
    for (const Case& c : cases) {
        Watch();
        EXPECT_EQ(Search(where, nullptr, c.filter), CS_OK) << c.name;
        EXPECT_EQ(seen_.first, c.rows) << c.name;
        EXPECT_EQ(seen_.noteFlags, std::vector<uint8_t>(c.rows.size(), 'Y')) << c.name;
    }
    Watch();
    EXPECT_EQ(Search(where, nullptr, &badColour), CS_FAILED) << "a colour that is no number";

    Watch();
    ASSERT_EQ(Search(where, nullptr, nullptr, 'Y'), CS_OK);
    EXPECT_EQ(seen_.first, Range('A', 1, 9));
    EXPECT_EQ(seen_.noteFlags, (std::vector<uint8_t>{'N', 'Y', 'N', 'Y', 'N', 'N', 'N', 'N', 'N'}))
        << "A0006 has ROOT's private note only";

    // With the store permission she reads every note, ROOT's too: as getnotes lists them.
    ASSERT_NO_FATAL_FAILURE(
        SetInTable("agperms", "[11|100]\nID_PERMS=1\nDOC_PERMS=9\n", "[11|100]\nID_PERMS=1\nDOC_PERMS=11\n"));
    ASSERT_NO_FATAL_FAILURE(LogOn("ALICE", "Secret-1"));
    Watch();
    ASSERT_EQ(Search(where, nullptr, nullptr, 'Y'), CS_OK);
    EXPECT_EQ(seen_.noteFlags, (std::vector<uint8_t>{'N', 'Y', 'N', 'Y', 'N', 'Y', 'N', 'N', 'N'}));
    Watch();
    EXPECT_EQ(Search(where, nullptr, &colour3), CS_OK);
    EXPECT_EQ(seen_.first, (std::vector<std::string>{"A0002", "A0006"}));
}

TEST_F(LocalSearch, AGroupWhoseRowsCarryNoteFlagsNeedsNoNoteFetch) {
    ASSERT_NO_FATAL_FAILURE(SetInTable("ag", "ANN_TYPE=1", "ANN_TYPE=89"));  // 'Y'
    ASSERT_NO_FATAL_FAILURE(LogOn("ALICE", "Secret-1"));
    ASSERT_EQ(Search("INVNO < 'A0005'", nullptr, nullptr, 'Y'), CS_OK);
    EXPECT_EQ(seen_.first, Range('A', 1, 4));
    EXPECT_EQ(seen_.noteFlags, (std::vector<uint8_t>{'N', 'N', 'Y', 'N'})) << "the rows' own flags";
}

// Remote searches against the loopback peer: group 5 of folder 1 answers 60 rows.
// The text search of a local search: rows T0001-T0006 of customer TEXTCO in segment INV1,
// their documents in object 2TXT of node 1, but T0005 and T0006 on node 2 (a second node
// of the storage set on the same directory); the group linked to a text-search folder; the test's
// document-search exit (a hit is found when its document holds the first value's text).
class LocalTextSearch : public LocalSearch {
protected:
    void SetUp() override {
        LocalSearch::SetUp();
        if (HasFatalFailure()) return;
        ASSERT_NO_FATAL_FAILURE(SetInTable("agperms", "DOC_PERMS=11", "DOC_PERMS=27"));  // with print
        // A second local node in the group's storage set, on the same directory.
        ASSERT_NO_FATAL_FAILURE(
            SetInTable("ss", "NODE_NUM=1\nSTORAGE_NODES=1", "NODE_NUM=2\nSTORAGE_NODES=1,2"));
        archive_.WriteTable("snode",
                            archive_.Table("snode") +
                                "\n[1|2]\nNAME=NODE2.ARCHIVE01\nDESCRIPTION=\"Second node\"\nLOGON=1\n"
                                "PASSWORD=\"\"\nSERVER=LOCAL\nSTATUS=0\nSEC_NID=0\n");
        localtest::WriteFile(archive_.Dir() + "data/INVAG/DOC/2TXT", Documents());
        CsHandle handle{};
        localtest::MakeHandle(&handle, archive_.Dir());
        ASSERT_EQ(QelLocal_Open(&handle), CS_OK);
        QelLocalAppGroup group;
        ASSERT_EQ(QelLocal_ReadAppGroup(&handle, kInvoices, &group), CS_OK);
        std::vector<QelLocalIdxRow> rows;
        for (int n = 1; n <= 6; ++n) rows.push_back(TextRow(n, n <= 4 ? 1 : 2));
        QelLocalSegment inv1;
        std::strcpy(inv1.name, "INV1");
        int64_t added = 0;
        ASSERT_EQ(QelLocal_AddIndexRows(&handle, group, inv1, rows, &added), CS_OK);
        QelLocal_Close(&handle);
        const std::string sandbox = archive_.Sandbox().Path();
        std::filesystem::copy_file(SEARCH_TEST_EXIT, sandbox + "libqelusdoc.so",
                                   std::filesystem::copy_options::overwrite_existing);
        std::filesystem::create_directories(sandbox + "jobs");
        ArcOS_PutEnv(("QEL_PRINT_PATH=" + sandbox + "jobs").c_str());
        calls_ = sandbox + "search.calls";
        ASSERT_NO_FATAL_FAILURE(LogOn("ALICE", "Secret-1"));
        std::strcpy(Group()->textSearch.folder, "TEXTS");
    }
    void TearDown() override { ArcOS_PutEnv("QEL_PRINT_PATH="); }

    // A search of TEXTCO's rows for the text, in batches of 100 or one by one.
    int TextSearch(const char* text, bool batched, int flags = 0) {
        Watch();
        std::filesystem::remove(calls_);
        handle_.def.flags1 = batched ? handle_.def.flags1 | 0x08 : handle_.def.flags1 & ~0x08u;
        CsXdrValueItem calls{2, calls_.data(), nullptr};
        CsXdrValueItem words{1, const_cast<char*>(text), &calls};
        return CsSearchFolder(&handle_, folder_.get(), Group(), "CUSTOMER = 'TEXTCO'", nullptr, nullptr,
                              text != nullptr ? &words : nullptr, flags, 'N', -1, Hit);
    }
    // The exit's calls, one "<application>:<answer>:<job file>" each.
    std::vector<std::string> Calls() const {
        std::istringstream in(localtest::ReadFile(calls_));
        std::vector<std::string> lines;
        for (std::string line; std::getline(in, line);) lines.push_back(line);
        return lines;
    }
    // The text-search runs the exit saw: job files are named "QEL.<pid>.<pid>.<run>.<job>".
    size_t Runs() const {
        std::set<std::string> runs;
        for (const std::string& call : Calls()) {
            const std::string job = call.substr(call.rfind(':') + 1);
            runs.insert(job.substr(0, job.rfind('.')));
        }
        return runs.size();
    }

    // 16 bytes per document, from offset 16 (T0001) on: 112 bytes.
    static std::string Documents() {
        std::string docs(16, '-');
        for (const char* text :
             {"apple pie", "banana split", "apple tart", "cherry cake", "apple crumble", "plum jam"})
            docs += (text + std::string(16, '.')).substr(0, 16);
        return docs;
    }
    std::string calls_;
};

TEST_F(LocalTextSearch, OnlyTheHitsTheTextSearchFindsAreDelivered) {
    struct Case {
        const char* name;
        const char* text;
        bool batched;
        std::vector<std::string> rows;
        size_t runs;  // text-search runs: one per hit, or one per node batch
    };
    const Case cases[] = {
        {"a batch per node", "apple", true, {"T0001", "T0003", "T0005"}, 2},
        {"one by one", "apple", false, {"T0001", "T0003", "T0005"}, 6},
        {"a text no document holds", "durian", true, {}, 2},
        {"the other node's documents", "plum", false, {"T0006"}, 6},
    };
    for (const Case& c : cases) {
        ASSERT_EQ(TextSearch(c.text, c.batched), CS_OK) << c.name;
        EXPECT_EQ(seen_.first, c.rows) << c.name;
        EXPECT_EQ(Runs(), c.runs) << c.name;
        const std::vector<std::string> calls = Calls();
        EXPECT_EQ(calls.size(), 6u) << c.name << ": the exit sees every document once";
        for (const std::string& call : calls)
            EXPECT_EQ(call.rfind("INVAPP:", 0), 0u) << c.name << ": " << call;
    }
}

TEST_F(LocalTextSearch, FailuresEndTheSearchWithoutHits) {
    struct Case {
        const char* name;
        const char* text;
        const char* folder;  // the group's linked text-search folder
        int flags;
        bool runFailed;  // message 153
    };
    const Case cases[] = {
        {"the exit fails", "!fail", "TEXTS", 0, true},
        {"no linked folder", "apple", "", 0, false},
        {"no linked folder for the object query", nullptr, "", CS_SEARCH_TEXT, false},
    };
    for (const Case& c : cases) {
        const size_t before = Logged("BulkTextSearch Failed");
        std::strcpy(Group()->textSearch.folder, c.folder);
        EXPECT_EQ(TextSearch(c.text, true, c.flags), CS_FAILED) << c.name;
        EXPECT_TRUE(seen_.first.empty()) << c.name;
        EXPECT_EQ(Logged("BulkTextSearch Failed") - before, c.runFailed ? 1u : 0u) << c.name;
    }
    std::strcpy(Group()->textSearch.folder, "TEXTS");
    EXPECT_EQ(TextSearch("apple", true), CS_OK) << "the handle serves the next search";
    EXPECT_EQ(seen_.first.size(), 3u);
}

TEST_F(LocalTextSearch, TheObjectQueryOfTheTextSearchFlagSetsTheLocation) {
    ASSERT_EQ(TextSearch(nullptr, false, CS_SEARCH_TEXT), CS_OK);
    EXPECT_EQ(seen_.first, Range('T', 1, 6));
    EXPECT_EQ(seen_.locations, std::vector<uint8_t>(6, SM_LOCATE_NODE));
    EXPECT_TRUE(Calls().empty()) << "no text search without text-search values";

    // An application that takes no part in text search is not asked about.
    Group()->appls[0].flags[1] = 'N';
    ASSERT_EQ(TextSearch(nullptr, false, CS_SEARCH_TEXT), CS_OK);
    EXPECT_EQ(seen_.locations, std::vector<uint8_t>(6, 0));
    Group()->appls[0].flags[1] = 0;

    // Without the flag nothing is asked either.
    ASSERT_EQ(TextSearch(nullptr, false), CS_OK);
    EXPECT_EQ(seen_.locations, std::vector<uint8_t>(6, 0));
}

TEST_F(LocalTextSearch, ARowOnANodeOutsideTheStorageSetFailsTheSearch) {
    CsHandle handle{};
    localtest::MakeHandle(&handle, archive_.Dir());
    ASSERT_EQ(QelLocal_Open(&handle), CS_OK);
    QelLocalAppGroup group;
    ASSERT_EQ(QelLocal_ReadAppGroup(&handle, kInvoices, &group), CS_OK);
    QelLocalSegment inv1;
    std::strcpy(inv1.name, "INV1");
    int64_t added = 0;
    const std::vector<QelLocalIdxRow> stray{TextRow(7, 9)};
    ASSERT_EQ(QelLocal_AddIndexRows(&handle, group, inv1, stray, &added), CS_OK);
    QelLocal_Close(&handle);
    // Not taken for the end of the rows: the search says why it stopped.
    EXPECT_EQ(TextSearch(nullptr, false, CS_SEARCH_TEXT), CS_NOT_FOUND);
    EXPECT_EQ(seen_.first, Range('T', 1, 6)) << "the rows before it were delivered";
    EXPECT_EQ(TextSearch("apple", true), CS_NOT_FOUND);
    EXPECT_EQ(seen_.first, (std::vector<std::string>{"T0001", "T0003", "T0005"}))
        << "the batches of nodes 1 and 2 ran before the stray one failed";
}

class RemoteSearch : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NO_FATAL_FAILURE(logontest::LogOnToFolder(&handle_, peer_, &folder_));
        ASSERT_EQ(folder_->groupCount, 1u);
        seen_.handle = &handle_;
        handle_.callbackContext = &seen_;
    }
    void TearDown() override {
        for (CsXdrHitRow* hit : seen_.kept) CsFreePackedHit(hit, seen_.extra);
        EXPECT_EQ(CsLogoff(&handle_), CS_OK);
    }
    // The peer answers every search of the group alike; the values go to it as they are.
    int Search(int extra) {
        seen_.extra = extra;
        CsXdrValueItem colour{1, const_cast<char*>("3"), nullptr};
        CsXdrValueItem words{3, const_cast<char*>("late payment"), nullptr};
        return CsSearchFolder(&handle_, folder_.get(), &folder_->groups[0], "customer LIKE 'c%'", nullptr,
                              &colour, &words, CS_SEARCH_TEXT, 'Y', extra, Hit);
    }

    qel_peer::PeerProcess peer_{qel_peer::Script("basic.json")};
    CsHandle handle_{};
    HandleGuard guard_{&handle_};
    FolderPtr folder_;
    Seen seen_;
};

TEST_F(RemoteSearch, RowsArriveAsPackedCopies) {
    ASSERT_EQ(Search(-1), CS_OK);
    ASSERT_EQ(seen_.first.size(), 60u);
    EXPECT_EQ(seen_.first[0], "customer-1");
    EXPECT_EQ(seen_.first[59], "customer-60");
    EXPECT_EQ(seen_.segments[0], "SEG1");
    std::vector<std::string> searches;
    for (const std::string& line : peer_.Events("request"))
        if (qel_peer::JsonValue(line, "code") == "112") searches.push_back(line);
    ASSERT_EQ(searches.size(), 1u);
    for (const char* part : {"\"where\": \"customer LIKE 'c%'\"", "\"flags\": 16", "\"noteLetter\": 89",
                             "\"noteFilter\": [[1, \"3\"]]", "\"textSearch\": [[3, \"late payment\"]]"})
        EXPECT_NE(searches[0].find(part), std::string::npos) << part << " in " << searches[0];
}

TEST_F(RemoteSearch, KeptCopiesOutliveTheReply) {
    seen_.keep = true;
    ASSERT_EQ(Search(kExtra), CS_OK);
    ASSERT_EQ(seen_.kept.size(), 60u);
    for (size_t i : {size_t{0}, size_t{29}, size_t{59}}) {
        CsXdrHitRow* hit = seen_.kept[i];
        EXPECT_STREQ(static_cast<char*>(CsPackedHitBlock(hit, kExtra)),
                     ("row" + std::to_string(i + 1)).c_str());
        EXPECT_STREQ(hit->values[0].v.text, ("customer-" + std::to_string(i + 1)).c_str());
        EXPECT_EQ(hit->values[2].v.integer, static_cast<int32_t>((i + 1) * 100 + 2));
        ASSERT_NE(hit->object, nullptr);
        EXPECT_STREQ(
            hit->object->name,
            ("DOC" + std::string(5 - std::to_string(i + 1).size(), '0') + std::to_string(i + 1)).c_str());
    }
}

TEST_F(RemoteSearch, AnInterruptFromTheCallbackEndsTheRows) {
    seen_.interruptAfter = 5;
    EXPECT_EQ(Search(-1), CS_CANCELLED);
    EXPECT_GE(seen_.first.size(), 5u);
    EXPECT_LT(seen_.first.size(), 60u);
    // The connection serves the next search.
    seen_ = Seen{};
    seen_.handle = &handle_;
    EXPECT_EQ(Search(-1), CS_OK);
    EXPECT_EQ(seen_.first.size(), 60u);
}

}  // namespace
