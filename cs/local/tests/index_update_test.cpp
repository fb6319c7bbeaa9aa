// Rewriting one row of a segment on a copy of the sample archive: what searches find
// afterwards, rows that are not equal, rows that cannot be stored, and a rewrite
// killed half way.
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "archive_fixture.h"
#include "table_file.h"

namespace {

using localtest::ArchiveTest;
using localtest::Invoice;
using localtest::kInvoices;
using qel::local::detail::TableFile;

struct Hit {
    std::string invno, customer, object;
    int64_t date = 0;
    int64_t recordNumber = -1;
    bool operator==(const Hit&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Hit& h) {
    return out << h.invno << "/" << h.customer << "/" << h.object << "/" << h.date << "@" << h.recordNumber;
}

class IndexUpdateTest : public ArchiveTest {
protected:
    QelLocalAppGroup Group() {
        QelLocalAppGroup group;
        EXPECT_EQ(QelLocal_ReadAppGroup(&handle_, kInvoices, &group), CS_OK);
        return group;
    }

    static QelLocalSegment Segment(const char* name = "INV1") {
        QelLocalSegment segment;
        std::snprintf(segment.name, sizeof segment.name, "%s", name);
        return segment;
    }

    void Load(const std::vector<QelLocalIdxRow>& rows) {
        int64_t added = 0;
        ASSERT_EQ(QelLocal_AddIndexRows(&handle_, Group(), Segment(), rows, &added), CS_OK);
        ASSERT_EQ(added, int64_t(rows.size()));
    }

    int Update(const QelLocalIdxRow& old, const QelLocalIdxRow& row, int64_t* recordNumber = nullptr) {
        return QelLocal_UpdateIndexRow(&handle_, Group(), Segment(), old, row, recordNumber);
    }

    // Every hit of the WHERE text in segment INV1, read through the document query.
    std::vector<Hit> Query(const char* where, uintptr_t owner = 1) {
        const QelLocalAppGroup group = Group();
        const std::vector<QelLocalQueryGroup> query = {QelLocalQueryGroup{&group, {"INV1"}}};
        QelLocalQueryFolder folder;
        folder.owner = owner;
        std::vector<Hit> hits;
        QelLocalHit hit;
        int rc = QelLocal_QueryDocsFirst(&handle_, &folder, &query, where, &hit);
        for (; rc == CS_OK; rc = QelLocal_QueryDocsNext(&handle_, &hit)) {
            hits.push_back(Hit{hit.row.values.at(0).text, hit.row.values.at(1).text, hit.row.header.objName,
                               hit.row.values.at(2).integer, hit.row.recordNumber});
        }
        EXPECT_EQ(rc, CS_NOT_FOUND) << where;
        return hits;
    }

    std::vector<std::string> Invnos(const char* where, uintptr_t owner = 1) {
        std::vector<std::string> invnos;
        for (const Hit& h : Query(where, owner)) invnos.push_back(h.invno);
        return invnos;
    }

    std::optional<std::string> Profile(const char* key) {
        TableFile profile;
        EXPECT_EQ(profile.Load(archive_.Dir() + "index/INVOICES.seg"), CS_OK);
        return profile.Get("INV1", key);
    }

    std::string DataFile() { return archive_.Dir() + "index/INVAG/00000001.dat"; }
};

using Names = std::vector<std::string>;

TEST_F(IndexUpdateTest, ARewrittenRowIsFoundByItsNewValuesOnly) {
    Load({Invoice("A", 19730), Invoice("B", 19731, "BETA"), Invoice("C", 19732)});
    const std::vector<Hit> before = Query("");
    const std::optional<std::string> totalRows = Profile("TOTAL_ROWS");

    int64_t recordNumber = -1;
    ASSERT_EQ(Update(Invoice("B", 19731, "BETA"), Invoice("B2", 19745, "GAMMA", "2FAB"), &recordNumber),
              CS_OK);
    EXPECT_EQ(recordNumber, 1);

    // Text, integer and segment date conditions, keyed and tested row by row.
    EXPECT_EQ(Invnos("WHERE INVNO = 'B'"), Names{});
    EXPECT_EQ(Invnos("WHERE INVNO = 'B2'"), Names{"B2"});
    EXPECT_EQ(Invnos("WHERE CUSTOMER = 'BETA'"), Names{});
    EXPECT_EQ(Invnos("WHERE CUSTOMER LIKE 'GAM%'"), Names{"B2"});
    EXPECT_EQ(Invnos("WHERE INVDATE = 19731"), Names{});
    EXPECT_EQ(Invnos("WHERE INVDATE > 19740"), Names{"B2"});
    EXPECT_EQ(Invnos("WHERE INVNO >= 'A' AND INVDATE BETWEEN 19745 AND 19745"), Names{"B2"});
    EXPECT_EQ(Invnos("WHERE INVDATE < 19740"), (Names{"A", "C"}));

    // The row keeps its record number; the others and the row count stay as they were.
    const std::vector<Hit> after = Query("");
    ASSERT_EQ(after.size(), 3u);
    EXPECT_EQ(after[0], before[0]);
    EXPECT_EQ(after[1], (Hit{"B2", "GAMMA", "2FAB", 19745, 1}));
    EXPECT_EQ(after[2], before[2]);
    EXPECT_EQ(Profile("TOTAL_ROWS"), totalRows);

    // Rewritten back, and loads go on after it.
    ASSERT_EQ(Update(Invoice("B2", 19745, "GAMMA", "2FAB"), Invoice("B", 19731, "BETA"), &recordNumber),
              CS_OK);
    EXPECT_EQ(Query(""), before);
    Load({Invoice("D", 19733)});
    EXPECT_EQ(Invnos(""), (Names{"A", "B", "C", "D"}));
    EXPECT_EQ(Invnos("WHERE INVNO = 'B'"), Names{"B"});
}

TEST_F(IndexUpdateTest, ASearchOpenBeforeSeesTheNewValues) {
    Load({Invoice("A"), Invoice("B"), Invoice("C")});
    // Cached per owner: the same index objects, their records already read.
    EXPECT_EQ(Invnos("", 7), (Names{"A", "B", "C"}));
    EXPECT_EQ(Invnos("WHERE INVNO = 'B'", 7), Names{"B"});

    ASSERT_EQ(Update(Invoice("B"), Invoice("X", 19750)), CS_OK);
    EXPECT_EQ(Invnos("WHERE INVNO = 'B'", 7), Names{});
    EXPECT_EQ(Invnos("WHERE INVNO = 'X'", 7), Names{"X"});
    EXPECT_EQ(Invnos("WHERE INVDATE = 19750", 7), Names{"X"});
    EXPECT_EQ(Invnos("", 7), (Names{"A", "X", "C"}));
}

TEST_F(IndexUpdateTest, OnlyTheFirstEqualRowChanges) {
    Load({Invoice("A"), Invoice("T"), Invoice("T"), Invoice("T", 19731)});
    int64_t recordNumber = -1;
    ASSERT_EQ(Update(Invoice("T"), Invoice("U"), &recordNumber), CS_OK);
    EXPECT_EQ(recordNumber, 1);
    EXPECT_EQ(Invnos(""), (Names{"A", "U", "T", "T"}));
    ASSERT_EQ(Update(Invoice("T"), Invoice("V"), &recordNumber), CS_OK);
    EXPECT_EQ(recordNumber, 2);
    // The last T differs in its date alone: it is not equal.
    EXPECT_EQ(Update(Invoice("T"), Invoice("Y"), &recordNumber), CS_NOT_FOUND);
    EXPECT_EQ(recordNumber, -1);
    ASSERT_EQ(Update(Invoice("T", 19731), Invoice("W"), &recordNumber), CS_OK);
    EXPECT_EQ(recordNumber, 3);
    EXPECT_EQ(Invnos(""), (Names{"A", "U", "V", "W"}));
}

TEST_F(IndexUpdateTest, NoEqualRowOrNoRoomChangesNothing) {
    // No load yet: the segment has no rows.
    EXPECT_EQ(Update(Invoice("A"), Invoice("Z")), CS_NOT_FOUND);

    Load({Invoice("A", 19730, "ACME", "1FAA"), Invoice("B")});
    const std::vector<Hit> before = Query("");
    QelLocalIdxRow otherOffset = Invoice("A");
    otherOffset.header.off = 5;
    QelLocalIdxRow otherResource = Invoice("A");
    otherResource.header.rid = 9;
    QelLocalIdxRow fewerValues = Invoice("A");
    fewerValues.values.pop_back();
    struct Case {
        const char* what;
        QelLocalIdxRow old, row;
        int result;
    };
    const Case cases[] = {
        {"other value", Invoice("A", 19730, "ACMF"), Invoice("Z"), CS_NOT_FOUND},
        {"other date", Invoice("A", 19731), Invoice("Z"), CS_NOT_FOUND},
        {"other object", Invoice("A", 19730, "ACME", "1FAB"), Invoice("Z"), CS_NOT_FOUND},
        {"other offset", otherOffset, Invoice("Z"), CS_NOT_FOUND},
        {"other resource", otherResource, Invoice("Z"), CS_NOT_FOUND},
        {"old text too long", Invoice("A", 19730, std::string(41, 'A')), Invoice("Z"), CS_NOT_FOUND},
        {"new text too long", Invoice("A"), Invoice("Z", 19730, std::string(41, 'Z')), QELIDX_BAD_HEADER},
        {"new date outside I", Invoice("A"), Invoice("Z", int64_t(1) << 40), QELIDX_BAD_HEADER},
        {"new object name too long", Invoice("A"), Invoice("Z", 19730, "ACME", "123456789012"),
         QELIDX_BAD_HEADER},
        {"new row missing a value", Invoice("A"), fewerValues, QELIDX_BAD_HEADER},
    };
    for (const Case& c : cases) {
        int64_t recordNumber = 5;
        EXPECT_EQ(Update(c.old, c.row, &recordNumber), c.result) << c.what;
        EXPECT_EQ(recordNumber, -1) << c.what;
    }
    EXPECT_EQ(Query(""), before);
    EXPECT_EQ(Invnos("WHERE INVNO = 'Z'"), Names{});
    EXPECT_EQ(
        QelLocal_UpdateIndexRow(&handle_, Group(), Segment("NOSUCH"), Invoice("A"), Invoice("Z"), nullptr),
        CS_FAILED);
}

TEST_F(IndexUpdateTest, AKilledRewriteLeavesTheOldRow) {
    Load({Invoice("A"), Invoice("B", 19731, "BETA"), Invoice("C")});
    const std::vector<Hit> before = Query("");
    const QelLocalAppGroup group = Group();
    auto dataHolds = [&](const std::string& text) {
        return localtest::ReadFile(DataFile()).find(text) != std::string::npos;
    };

    // The child stops between writing the new record and moving its keys.
    QelLocal_Close(&handle_);
    opened_ = false;
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ArcOS_PutEnv("QEL_SLEEP_UPD=60");
        CsHandle handle{};
        localtest::MakeHandle(&handle, archive_.Dir());
        if (QelLocal_Open(&handle) != CS_OK) ::_exit(3);
        const int rc = QelLocal_UpdateIndexRow(&handle, group, Segment(), Invoice("B", 19731, "BETA"),
                                               Invoice("NEWROW", 19740, "HALFWAY"), nullptr);
        ::_exit(rc == CS_OK ? 0 : 4);
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!dataHolds("HALFWAY") && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    ::kill(child, SIGKILL);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status)) << "the rewrite ended before it was killed (status " << status << ")";
    ASSERT_TRUE(dataHolds("HALFWAY"));

    ASSERT_EQ(QelLocal_Open(&handle_), CS_OK);
    opened_ = true;
    EXPECT_EQ(Query(""), before);
    EXPECT_EQ(Invnos("WHERE INVNO = 'B'"), Names{"B"});
    EXPECT_EQ(Invnos("WHERE CUSTOMER = 'BETA'"), Names{"B"});
    EXPECT_EQ(Invnos("WHERE INVNO = 'NEWROW'"), Names{});

    // The next load puts the old record back in the data file; a rewrite then works.
    Load({Invoice("D")});
    EXPECT_FALSE(dataHolds("HALFWAY"));
    EXPECT_EQ(Invnos(""), (Names{"A", "B", "C", "D"}));
    ASSERT_EQ(Update(Invoice("B", 19731, "BETA"), Invoice("NEWROW", 19740, "DONE")), CS_OK);
    EXPECT_EQ(Invnos("WHERE CUSTOMER = 'DONE'"), Names{"NEWROW"});
}

}  // namespace
