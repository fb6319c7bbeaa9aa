// The segment index on a copy of the sample archive: loads, the profile they write,
// searches through the document query, and loads that fail or are interrupted.
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "archive_fixture.h"
#include "segment_index.h"
#include "table_file.h"

namespace {

using localtest::ArchiveTest;
using localtest::Invoice;
using localtest::kInvoices;
using qel::local::detail::TableFile;

std::vector<QelLocalIdxRow> Invoices(const std::vector<std::string>& numbers) {
    std::vector<QelLocalIdxRow> rows;
    for (const std::string& n : numbers) rows.push_back(Invoice(n));
    return rows;
}

struct Hits {
    int first = -1;  // the result of QueryDocsFirst
    int end = -1;    // the result that ended the list
    std::vector<std::string> invnos;
    std::vector<int32_t> agids;
};

class SegmentIndexTest : public ArchiveTest {
protected:
    QelLocalAppGroup Group(int32_t agid) {
        QelLocalAppGroup group;
        EXPECT_EQ(QelLocal_ReadAppGroup(&handle_, agid, &group), CS_OK) << agid;
        return group;
    }

    static QelLocalSegment Segment(const char* name) {
        QelLocalSegment segment;
        std::snprintf(segment.name, sizeof segment.name, "%s", name);
        return segment;
    }

    int Load(int32_t agid, const char* segment, const std::vector<QelLocalIdxRow>& rows,
             int64_t* added = nullptr) {
        const QelLocalAppGroup group = Group(agid);
        int64_t count = -1;
        const int rc = QelLocal_AddIndexRows(&handle_, group, Segment(segment), rows, &count);
        if (added != nullptr) *added = count;
        return rc;
    }

    // Runs the WHERE text over the groups' segments, reading every hit.
    Hits Query(const std::vector<std::pair<int32_t, std::vector<std::string>>>& scope, const char* where,
               const std::string& restriction = "", uintptr_t owner = 1) {
        std::vector<QelLocalAppGroup> groups;
        groups.reserve(scope.size());
        for (const auto& s : scope) groups.push_back(Group(s.first));
        std::vector<QelLocalQueryGroup> query;
        for (size_t i = 0; i < scope.size(); ++i)
            query.push_back(QelLocalQueryGroup{&groups[i], scope[i].second});
        QelLocalQueryFolder folder;
        folder.owner = owner;
        folder.restriction = restriction;
        Hits hits;
        QelLocalHit hit;
        int rc = hits.first = QelLocal_QueryDocsFirst(&handle_, &folder, &query, where, &hit);
        for (; rc == CS_OK; rc = QelLocal_QueryDocsNext(&handle_, &hit)) {
            hits.invnos.push_back(hit.row.values.at(0).text);
            hits.agids.push_back(hit.agid);
        }
        hits.end = rc;
        return hits;
    }

    Hits QueryInvoices(const char* where, uintptr_t owner = 1) {
        return Query({{kInvoices, {"INV1"}}}, where, "", owner);
    }

    std::optional<std::string> Profile(const char* file, const std::string& section, const char* key) {
        TableFile profile;
        EXPECT_EQ(profile.Load(archive_.Dir() + "index/" + file), CS_OK);
        return profile.Get(section, key);
    }

    void Put(const std::string& file, const char* section, const char* key, const char* value) {
        const QelTableValue v{section, key, value};
        ASSERT_EQ(QelLocal_PutValues(file.c_str(), &v, 1), CS_OK) << section << " " << key;
    }

    // A second group with the invoice fields: 104 INVOICES2, storage id INV2AG, segment A1.
    void AddSecondGroup() {
        const std::string ag = archive_.Table("ag"), agfld = archive_.Table("agfld");
        Put(ag, "APPLICATION_GROUPS", "APPLICATION_GROUPS", "100,101,102,104");
        Put(ag, "104", "NAME", "INVOICES2");
        Put(ag, "104", "AGID_NAME", "INV2AG");
        Put(ag, "104", "FLDS_NUM", "3");
        const char* names[] = {"INVNO", "CUSTOMER", "INVDATE"};
        const char* types[] = {"S", "S", "I"};
        const char* lengths[] = {"10", "40", "0"};
        for (int i = 0; i < 3; ++i) {
            const std::string section = "104|" + std::to_string(i);
            Put(agfld, section.c_str(), "NAME", names[i]);
            Put(agfld, section.c_str(), "TYPE", types[i]);
            Put(agfld, section.c_str(), "STRING_LEN", lengths[i]);
        }
        Put(archive_.Table("seg"), "104", "SEGMENTS", "A1");
        Put(archive_.Dir() + "index/INVOICES2.seg", "A1", "TOTAL_ROWS", "0");
    }

    std::string SegmentFile(const char* folder, int number, const char* extension) {
        char name[32];
        std::snprintf(name, sizeof name, "%08d%s", number, extension);
        return archive_.Dir() + "index/" + folder + "/" + name;
    }
};

std::vector<std::string> Sorted(std::vector<std::string> v) {
    std::sort(v.begin(), v.end());
    return v;
}

TEST_F(SegmentIndexTest, IndexVersionBelowFourIsNotSupported) {
    struct Case {
        const char* version;  // null: no VERSION key
        int status;
        int first;
    };
    const Case cases[] = {
        {"3", QELIDX_OLD_VERSION, CS_LEVEL_NOT_SUPPORTED},
        {nullptr, QELIDX_OLD_VERSION, CS_LEVEL_NOT_SUPPORTED},
        {"0", QELIDX_OLD_VERSION, CS_LEVEL_NOT_SUPPORTED},
        {"4", QELIDX_OK, CS_NOT_FOUND},  // numbered, no rows yet
    };
    const std::string profile = archive_.Dir() + "index/INVOICES.seg";
    for (const Case& c : cases) {
        const char* name = c.version != nullptr ? c.version : "none";
        const QelTableValue v{"INV1", "VERSION", c.version};
        ASSERT_EQ(QelLocal_PutValues(profile.c_str(), &v, 1), CS_OK);
        int status = -1;
        const std::unique_ptr<QelLocalIdx> index =
            QelLocalIdx_New(&handle_, Group(kInvoices), "INV1", &status);
        EXPECT_EQ(status, c.status) << name;
        EXPECT_EQ(index != nullptr, c.status == QELIDX_OK) << name;
        // A fresh owner: the cache keeps index objects per owner.
        EXPECT_EQ(QueryInvoices("", uintptr_t(100 + (&c - cases))).first, c.first) << name;
    }
}

TEST_F(SegmentIndexTest, AProfileThatDisagreesWithTheFilesFailsTheQuery) {
    ASSERT_EQ(Load(kInvoices, "INV1", Invoices({"A", "B", "C"})), CS_OK);
    struct Case {
        const char* key;
        const char* value;
    };
    const Case cases[] = {
        {"TOTAL_ROWS", "4"},          // more rows than the files hold
        {"TOTAL_ROWS", "134217728"},  // the most a search covers
        {"DATA_OFFSET", "95"},        // another record length
        {"0", "83,11,'A','C'"},       // another key length for INVNO
        {"2", "83,4,'1','9'"},        // another type for INVDATE
        {"INDEX_FILE", "9"},          // files that are not there
    };
    const std::string profile = archive_.Dir() + "index/INVOICES.seg";
    const std::string pristine = localtest::ReadFile(profile);
    uintptr_t owner = 10;
    for (const Case& c : cases) {
        Put(profile, "INV1", c.key, c.value);
        EXPECT_EQ(QueryInvoices("", ++owner).first, CS_FAILED) << c.key << "=" << c.value;
        localtest::WriteFile(profile, pristine);
    }
    // Fewer rows than the files hold: the search covers the rows counted.
    Put(profile, "INV1", "TOTAL_ROWS", "2");
    EXPECT_EQ(QueryInvoices("", ++owner).invnos, (std::vector<std::string>{"A", "B"}));
    localtest::WriteFile(profile, pristine);
    // A cached index object meets the damage at its next search.
    EXPECT_EQ(QueryInvoices("", ++owner).invnos.size(), 3u);
    Put(profile, "INV1", "TOTAL_ROWS", "4");
    EXPECT_EQ(QueryInvoices("", owner).first, CS_FAILED);
}

TEST_F(SegmentIndexTest, FirstLoadNumbersTheSegmentAndEveryLoadCountsOnce) {
    EXPECT_FALSE(Profile("INVOICES.seg", "INV2", "INDEX_FILE"));
    int64_t added = 0;
    ASSERT_EQ(Load(kInvoices, "INV2", Invoices({"A", "B", "C"}), &added), CS_OK);
    EXPECT_EQ(added, 3);
    EXPECT_EQ(Profile("INVOICES.seg", "INV2", "INDEX_FILE"), "2");
    EXPECT_EQ(Profile("INVOICES.seg", "INV2", "SEGMENT"), "2");
    EXPECT_EQ(Profile("INVOICES.seg", "INV2", "VERSION"), "4");
    EXPECT_EQ(Profile("INVOICES.seg", "INDEXES", "COUNT"), "3");
    EXPECT_EQ(Profile("INVOICES.seg", "INV2", "TOTAL_ROWS"), "3");

    ASSERT_EQ(Load(kInvoices, "INV2", Invoices({"D", "E"}), &added), CS_OK);
    EXPECT_EQ(added, 2);
    EXPECT_EQ(Profile("INVOICES.seg", "INV2", "INDEX_FILE"), "2") << "a later load keeps the number";
    EXPECT_EQ(Profile("INVOICES.seg", "INDEXES", "COUNT"), "3");
    EXPECT_EQ(Profile("INVOICES.seg", "INV2", "TOTAL_ROWS"), "5");

    // INV1 was numbered by the sample archive: its first load takes no new number.
    ASSERT_EQ(Load(kInvoices, "INV1", Invoices({"F"}), &added), CS_OK);
    EXPECT_EQ(Profile("INVOICES.seg", "INV1", "INDEX_FILE"), "1");
    EXPECT_EQ(Profile("INVOICES.seg", "INDEXES", "COUNT"), "3");
    EXPECT_EQ(Profile("INVOICES.seg", "INV1", "TOTAL_ROWS"), "1");

    const Hits hits = Query({{kInvoices, {"INV1", "INV2"}}}, "");
    EXPECT_EQ(hits.invnos, (std::vector<std::string>{"F", "A", "B", "C", "D", "E"}));
    EXPECT_EQ(hits.end, CS_NOT_FOUND);
}

TEST_F(SegmentIndexTest, ARowThatCannotBeStoredFailsTheWholeLoad) {
    ASSERT_EQ(Load(kInvoices, "INV1", Invoices({"OLD1", "OLD2"})), CS_OK);
    struct Case {
        const char* name;
        QelLocalIdxRow row;
    };
    const Case cases[] = {
        {"object name of 12 bytes", Invoice("X", 19730, "ACME", "123456789012")},
        {"INVNO of 11 characters", Invoice("12345678901")},
        {"CUSTOMER of 41 characters", Invoice("X", 19730, std::string(41, 'c'))},
        {"INVDATE outside 32 bits", Invoice("X", int64_t(1) << 31)},
    };
    for (const Case& c : cases) {
        std::vector<QelLocalIdxRow> rows = Invoices({"NEW1"});
        rows.push_back(c.row);
        rows.push_back(Invoice("NEW2"));
        int64_t added = -1;
        EXPECT_EQ(Load(kInvoices, "INV1", rows, &added), QELIDX_BAD_HEADER) << c.name;
        EXPECT_EQ(added, 0) << c.name;
        EXPECT_EQ(Profile("INVOICES.seg", "INV1", "TOTAL_ROWS"), "2") << c.name;
        EXPECT_EQ(QueryInvoices("").invnos, (std::vector<std::string>{"OLD1", "OLD2"})) << c.name;
    }
    // Exactly 11 bytes of object name and 10 characters of INVNO fit.
    ASSERT_EQ(Load(kInvoices, "INV1", {Invoice("1234567890", 19730, "ACME", "12345678901")}), CS_OK);
    EXPECT_EQ(QueryInvoices("WHERE INVNO = '1234567890'").invnos, (std::vector<std::string>{"1234567890"}));
}

TEST_F(SegmentIndexTest, ComparisonsOnAnIntegerFieldKeepTheirEnds) {
    std::vector<QelLocalIdxRow> rows;
    for (int date = 3; date <= 7; ++date) rows.push_back(Invoice("D" + std::to_string(date), date));
    ASSERT_EQ(Load(kInvoices, "INV1", rows), CS_OK);
    struct Case {
        const char* where;
        std::vector<std::string> invnos;
    };
    const Case cases[] = {
        {"WHERE INVDATE > 5", {"D6", "D7"}},
        {"WHERE INVDATE >= 5", {"D5", "D6", "D7"}},
        {"WHERE INVDATE < 5", {"D3", "D4"}},
        {"WHERE INVDATE <= 5", {"D3", "D4", "D5"}},
        {"WHERE INVDATE = 5", {"D5"}},
        {"WHERE INVDATE <> 5", {"D3", "D4", "D6", "D7"}},
        {"WHERE INVDATE BETWEEN 4 AND 6", {"D4", "D5", "D6"}},
        {"WHERE INVDATE NOT BETWEEN 4 AND 6", {"D3", "D7"}},
        {"WHERE INVDATE BETWEEN 6 AND 4", {}},
        // Narrowed by another condition first, the date is tested row by row.
        {"WHERE CUSTOMER = 'ACME' AND INVDATE > 5", {"D6", "D7"}},
        {"WHERE CUSTOMER = 'ACME' AND INVDATE >= 5", {"D5", "D6", "D7"}},
        {"WHERE CUSTOMER = 'ACME' AND INVDATE NOT BETWEEN 4 AND 6", {"D3", "D7"}},
    };
    for (const Case& c : cases) {
        const Hits hits = QueryInvoices(c.where);
        EXPECT_EQ(Sorted(hits.invnos), c.invnos) << c.where;
        EXPECT_EQ(hits.end, CS_NOT_FOUND) << c.where;
    }
}

TEST_F(SegmentIndexTest, EmptyWhereAndNotReachEveryRow) {
    std::vector<std::string> all;
    for (int i = 0; i < 10; ++i) all.push_back("I" + std::to_string(i));
    ASSERT_EQ(Load(kInvoices, "INV1", Invoices({all.begin(), all.begin() + 4})), CS_OK);
    ASSERT_EQ(Load(kInvoices, "INV1", Invoices({all.begin() + 4, all.end()})), CS_OK);
    struct Case {
        const char* where;
        std::vector<std::string> invnos;
    };
    const Case cases[] = {
        {"", all},
        {"WHERE", all},
        {"WHERE                                          ", all},
        {"WHERE NOT INVNO = 'I3'", {"I0", "I1", "I2", "I4", "I5", "I6", "I7", "I8", "I9"}},
        {"WHERE NOT ( INVNO = 'I3' OR INVNO >= 'I5' )", {"I0", "I1", "I2", "I4"}},
        {"WHERE NOT INVNO LIKE '%'", {}},
        {"WHERE NOT NOT INVNO = 'I3'", {"I3"}},
    };
    for (const Case& c : cases) {
        const Hits hits = QueryInvoices(c.where);
        EXPECT_EQ(hits.invnos, c.invnos) << c.where;
        EXPECT_EQ(hits.first, c.invnos.empty() ? CS_NOT_FOUND : CS_OK) << c.where;
        EXPECT_EQ(hits.end, CS_NOT_FOUND) << c.where;
    }
}

TEST_F(SegmentIndexTest, HitsOnBothSidesOfABitmapPage) {
    // 300000 rows: bits 0..262143 lie on the first page of the hit bitmap, the rest on the second.
    constexpr int kRows = 300000;
    std::vector<QelLocalIdxRow> rows;
    rows.reserve(kRows);
    char invno[16];
    for (int i = 0; i < kRows; ++i) {
        std::snprintf(invno, sizeof invno, "R%06d", i);
        rows.push_back(Invoice(invno, i % 7));
    }
    ASSERT_EQ(Load(kInvoices, "INV1", rows), CS_OK);
    struct Case {
        const char* where;
        std::vector<std::string> invnos;
    };
    const Case cases[] = {
        {"WHERE INVNO IN ( 'R000005' , 'R290000' )", {"R000005", "R290000"}},
        {"WHERE INVNO BETWEEN 'R262142' AND 'R262145'", {"R262142", "R262143", "R262144", "R262145"}},
        {"WHERE INVNO >= 'R262143' AND INVNO < 'R262145' AND INVDATE >= 0", {"R262143", "R262144"}},
        {"WHERE INVNO LIKE 'R29999%' AND INVDATE = 3", {"R299995"}},
    };
    for (const Case& c : cases) EXPECT_EQ(QueryInvoices(c.where).invnos, c.invnos) << c.where;

    const Hits all = QueryInvoices("");
    ASSERT_EQ(all.invnos.size(), size_t(kRows));
    EXPECT_EQ(all.invnos.front(), "R000000");
    EXPECT_EQ(all.invnos.back(), "R299999");
    const Hits most = QueryInvoices("WHERE NOT INVNO = 'R262144'");
    EXPECT_EQ(most.invnos.size(), size_t(kRows - 1));
    EXPECT_EQ(std::count(most.invnos.begin(), most.invnos.end(), "R262144"), 0);
}

TEST_F(SegmentIndexTest, GroupsAreSearchedInTurn) {
    AddSecondGroup();
    Reopen();
    ASSERT_EQ(Load(kInvoices, "INV1", Invoices({"A", "B"})), CS_OK);
    ASSERT_EQ(Load(104, "A1", Invoices({"X", "Y", "A"})), CS_OK);
    const std::vector<std::pair<int32_t, std::vector<std::string>>> both = {{kInvoices, {"INV1"}},
                                                                            {104, {"A1"}}};
    struct Case {
        const char* where;
        std::vector<std::string> invnos;
        std::vector<int32_t> agids;
    };
    const Case cases[] = {
        {"WHERE INVNO IN ( 'X' , 'Y' )", {"X", "Y"}, {104, 104}},  // the first group has no hit
        {"WHERE INVNO = 'A'", {"A", "A"}, {100, 104}},
        {"WHERE INVNO = 'B'", {"B"}, {100}},
        {"WHERE INVNO = 'Q'", {}, {}},
    };
    for (const Case& c : cases) {
        const Hits hits = Query(both, c.where);
        EXPECT_EQ(hits.invnos, c.invnos) << c.where;
        EXPECT_EQ(hits.agids, c.agids) << c.where;
        EXPECT_EQ(hits.first, c.invnos.empty() ? CS_NOT_FOUND : CS_OK) << c.where;
        EXPECT_EQ(hits.end, CS_NOT_FOUND) << c.where;
    }
}

TEST_F(SegmentIndexTest, ALaterQueryFindsRowsLoadedSinceTheFirst) {
    AddSecondGroup();
    Reopen();
    const std::vector<std::pair<int32_t, std::vector<std::string>>> both = {{kInvoices, {"INV1"}},
                                                                            {104, {"A1"}}};
    // Both segments have no rows yet: their index objects are cached empty.
    EXPECT_EQ(Query(both, "").first, CS_NOT_FOUND);
    ASSERT_EQ(Load(kInvoices, "INV1", Invoices({"A"})), CS_OK);
    EXPECT_EQ(Query(both, "").invnos, (std::vector<std::string>{"A"}));
    ASSERT_EQ(Load(kInvoices, "INV1", Invoices({"B"})), CS_OK);
    ASSERT_EQ(Load(104, "A1", Invoices({"C"})), CS_OK);
    EXPECT_EQ(Query(both, "").invnos, (std::vector<std::string>{"A", "B", "C"}));
    EXPECT_EQ(Query(both, "WHERE INVNO >= 'B'").invnos, (std::vector<std::string>{"B", "C"}));
}

TEST_F(SegmentIndexTest, ConditionsTheFieldsCannotAnswerFail) {
    // NOTE is a field whose type is not stored in the index.
    Put(archive_.Table("agfld"), "100|3", "NAME", "NOTE");
    Put(archive_.Table("agfld"), "100|3", "TYPE", "T");
    Put(archive_.Table("ag"), "100", "FLDS_NUM", "4");
    Reopen();
    std::vector<QelLocalIdxRow> rows = Invoices({"A", "B"});
    for (QelLocalIdxRow& row : rows) row.values.emplace_back();
    ASSERT_EQ(Load(kInvoices, "INV1", rows), CS_OK);
    const char* cases[] = {
        "WHERE NOSUCH = 'A'",
        "WHERE INVNO = 'A' OR NOSUCH = 'A'",
        "WHERE NOTE = 'A'",
        "WHERE NOTE LIKE 'A%'",
        "WHERE INVNO = 'A' AND NOTE = 'A'",
        // No row is left for the NOTE condition to narrow: it still cannot be answered.
        "WHERE INVNO = 'Q' AND NOTE = 'A'",
        "WHERE NOT ( INVNO = 'Q' AND NOTE IN ( 'A' ) )",
    };
    for (const char* where : cases) EXPECT_EQ(QueryInvoices(where).first, CS_FAILED) << where;
    EXPECT_EQ(QueryInvoices("WHERE INVNO = 'A'").invnos, (std::vector<std::string>{"A"}));
}

TEST_F(SegmentIndexTest, AKilledLoadLeavesTheEarlierRows) {
    std::vector<QelLocalIdxRow> large;
    constexpr int kLarge = 400000;
    large.reserve(kLarge);
    char invno[16];
    for (int i = 0; i < kLarge; ++i) {
        std::snprintf(invno, sizeof invno, "K%07d", i);
        large.push_back(Invoice(invno, i));
    }
    struct Case {
        const char* segment;
        int fileNumber;
        std::vector<std::string> earlier;  // loaded in two loads before the killed one
    };
    const Case cases[] = {
        {"INV1", 1, {"E1", "E2", "E3", "E4", "E5"}},
        {"INV2", 2, {}},  // the killed load is the segment's first: it was creating the files
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.segment);
        if (!c.earlier.empty()) {
            ASSERT_EQ(Load(kInvoices, c.segment, Invoices({c.earlier.begin(), c.earlier.begin() + 3})),
                      CS_OK);
            ASSERT_EQ(Load(kInvoices, c.segment, Invoices({c.earlier.begin() + 3, c.earlier.end()})), CS_OK);
        }
        const QelLocalAppGroup group = Group(kInvoices);
        const std::string data = SegmentFile("INVAG", c.fileNumber, ".dat");
        auto dataSize = [&] {
            struct stat st {};
            return ::stat(data.c_str(), &st) == 0 ? int64_t(st.st_size) : int64_t(0);
        };
        const int64_t before = dataSize();

        // The child opens the archive on its own; this process holds it not while the child runs.
        QelLocal_Close(&handle_);
        opened_ = false;
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            CsHandle handle{};
            localtest::MakeHandle(&handle, archive_.Dir());
            if (QelLocal_Open(&handle) != CS_OK) ::_exit(3);
            int64_t added = 0;
            const int rc = QelLocal_AddIndexRows(&handle, group, Segment(c.segment), large, &added);
            ::_exit(rc == CS_OK ? 0 : 4);
        }
        // Kill it once it has written a megabyte of records.
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        int status = 0;
        bool exited = false;
        while (dataSize() < before + (1 << 20) && std::chrono::steady_clock::now() < deadline) {
            if (::waitpid(child, &status, WNOHANG) == child) {
                exited = true;
                break;
            }
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
        if (!exited) {
            ::kill(child, SIGKILL);
            ASSERT_EQ(::waitpid(child, &status, 0), child);
        }
        ASSERT_TRUE(WIFSIGNALED(status)) << "the load ended before it was killed (status " << status << ")";

        ASSERT_EQ(QelLocal_Open(&handle_), CS_OK);
        opened_ = true;
        const Hits hits = Query({{kInvoices, {c.segment}}}, "");
        EXPECT_EQ(hits.invnos, c.earlier);
        EXPECT_EQ(hits.end, CS_NOT_FOUND);
        EXPECT_EQ(Query({{kInvoices, {c.segment}}}, "WHERE INVNO >= 'K'").first, CS_NOT_FOUND);

        int64_t added = 0;
        ASSERT_EQ(Load(kInvoices, c.segment, Invoices({"L1", "L2"}), &added), CS_OK);
        EXPECT_EQ(added, 2);
        EXPECT_EQ(Profile("INVOICES.seg", c.segment, "TOTAL_ROWS"), std::to_string(c.earlier.size() + 2));
        EXPECT_EQ(Profile("INVOICES.seg", c.segment, "INDEX_FILE"), std::to_string(c.fileNumber));
        std::vector<std::string> all = c.earlier;
        all.insert(all.end(), {"L1", "L2"});
        EXPECT_EQ(Query({{kInvoices, {c.segment}}}, "").invnos, all);
        EXPECT_EQ(Query({{kInvoices, {c.segment}}}, "WHERE INVNO LIKE 'L%'").invnos,
                  (std::vector<std::string>{"L1", "L2"}));
    }
}

}  // namespace
