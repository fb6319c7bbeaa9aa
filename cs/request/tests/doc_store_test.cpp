// Index rows added to a group's segments, documents stored and index rows rewritten,
// on a copy of the sample archive.
#include <algorithm>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "logon_test_support.h"
#include "qel_local.h"
#include "qel_sm.h"

namespace {

using logontest::HandleGuard;
using logontest::TestArchive;

struct FolderFree {
    void operator()(CsXdrFolder* folder) const { CsFreeFolderList(folder); }
};
using FolderPtr = std::unique_ptr<CsXdrFolder, FolderFree>;
struct SetFree {
    void operator()(CsStorageSet* set) const { CsFreeStorageSet(set); }
};
using SetPtr = std::unique_ptr<CsStorageSet, SetFree>;
struct SegmentsFree {
    void operator()(CsSegmentList* list) const { CsFreeSegmentList(list); }
};
using SegmentsPtr = std::unique_ptr<CsSegmentList, SegmentsFree>;

// What reaches the handle's callbacks: messages, the data a store reads and the store
// flags seen while it reads.
struct Calls {
    std::vector<std::string> messages;
    std::vector<std::string> pieces;  // handed out by Source, in order
    size_t next = 0;
    CsHandle* handle = nullptr;
    uint32_t flagsDuringStore = 0;
    std::string fetched;

    static int Message(void* context, const char* text) {
        static_cast<Calls*>(context)->messages.emplace_back(text);
        return 0;
    }
    static int Source(void* context, const char** data, uint32_t* length) {
        auto* calls = static_cast<Calls*>(context);
        calls->flagsDuringStore = calls->handle->def.flags1;
        const std::string& piece = calls->pieces[calls->next];
        *data = piece.data();
        *length = static_cast<uint32_t>(piece.size());
        return ++calls->next < calls->pieces.size() ? 1 : 0;
    }
    static int Take(void* context, const unsigned char* data, size_t length) {
        static_cast<Calls*>(context)->fetched.append(reinterpret_cast<const char*>(data), length);
        return 1;
    }
    // Messages holding the words.
    int Count(const std::string& words) const {
        return static_cast<int>(std::count_if(messages.begin(), messages.end(), [&](const std::string& m) {
            return m.find(words) != std::string::npos;
        }));
    }
};

// One invoice row: its values by the fields of INVOICES (INVNO, CUSTOMER, INVDATE)
// and its object.
struct Invoice {
    std::string number;
    std::string customer;
    int32_t date;
    std::string object = "1FAA";
    uint32_t offset = 0;
};

// Hit rows of invoices, pointing into this object's own storage.
class Hits {
public:
    explicit Hits(std::vector<Invoice> invoices) : invoices_(std::move(invoices)) {
        const size_t n = invoices_.size();
        values_.resize(3 * n);
        objects_.resize(n);
        rows_.resize(n);
        for (size_t i = 0; i < n; ++i) {
            Invoice& in = invoices_[i];
            CsXdrValue* v = &values_[3 * i];
            v[0].type = 'S';
            v[0].v.text = in.number.data();
            v[1].type = 'S';
            v[1].v.text = in.customer.data();
            v[2].type = 'I';
            v[2].v.integer = in.date;
            CsXdrObjectRef& object = objects_[i];
            object = CsXdrObjectRef{};
            object.name = in.object.data();
            object.offset = in.offset;
            object.length = 100;
            object.compression = 'N';
            object.primaryNode = 1;
            rows_[i] = CsXdrHitRow{};
            rows_[i].object = &object;
            rows_[i].valueCount = 3;
            rows_[i].values = v;
        }
    }
    std::span<const CsXdrHitRow> All() const { return rows_; }
    CsXdrHitRow& operator[](size_t i) { return rows_[i]; }

private:
    std::vector<Invoice> invoices_;
    std::vector<CsXdrValue> values_;
    std::vector<CsXdrObjectRef> objects_;
    std::vector<CsXdrHitRow> rows_;
};

std::vector<Invoice> Invoices(const std::vector<int32_t>& dates) {
    std::vector<Invoice> out;
    for (size_t i = 0; i < dates.size(); ++i)
        out.push_back({"N" + std::to_string(i + 1), "Customer " + std::to_string(i + 1), dates[i]});
    return out;
}

// A segment as the test compares it.
struct Seg {
    std::string name;
    int64_t rows;
    int64_t start;
    int64_t stop;
    bool operator==(const Seg&) const = default;
};
std::ostream& operator<<(std::ostream& out, const Seg& s) {
    return out << s.name << " rows " << s.rows << " [" << s.start << ", " << s.stop << "]";
}

class DocStore : public ::testing::Test {
protected:
    // Rewrites a key of group 100's row in the group table.
    void SetGroupKey(const std::string& key, const std::string& value) {
        std::string text = archive_.Table("ag");
        const size_t row = text.find("[100]");
        const size_t at = text.find("\n" + key + "=", row);
        ASSERT_NE(at, std::string::npos) << key;
        text.replace(at + 1, text.find('\n', at + 1) - at - 1, key + "=" + value);
        archive_.WriteTable("ag", text);
    }
    void SetStaffPermissions(int docPerms) {
        std::string text = archive_.Table("agperms");
        text.replace(text.find("DOC_PERMS=11"), 12, "DOC_PERMS=" + std::to_string(docPerms));
        archive_.WriteTable("agperms", text);
    }
    // Logs ALICE on and opens folder 1; its one group is INVOICES.
    void LogOn() {
        guard_.Renew(archive_);
        calls_ = Calls{};
        calls_.handle = &handle_;
        handle_.callbackContext = &calls_;
        handle_.messageCallback = &Calls::Message;
        CsUserRecord record{};
        ASSERT_EQ(CsLogon(&handle_, "ALICE", "Secret-1", &record), CS_OK);
        CsXdrFolder* raw = nullptr;
        ASSERT_EQ(CsOpenFolderGroups(&handle_, 1, nullptr, &raw), CS_OK);
        folder_.reset(raw);
        ASSERT_EQ(folder_->groupCount, 1u);
        group_ = &folder_->groups[0];
    }
    std::vector<Seg> Segments() {
        CsSegmentList* raw = nullptr;
        EXPECT_EQ(CsGetSegments(&handle_, 100, nullptr, 0, nullptr, &raw), CS_OK);
        SegmentsPtr list(raw);
        std::vector<Seg> out;
        if (list)
            for (const CsXdrSegment& s : list->segments)
                out.push_back({s.name, s.rows, s.startDate, s.stopDate});
        return out;
    }
    // "INVNO@SEGMENT" of every row the local server finds for the WHERE text, over every
    // dated segment of the group.
    std::vector<std::string> Indexed(const char* where) {
        std::vector<std::string> found;
        EXPECT_EQ(CsSessionEnter(&handle_), CS_OK);
        int rc = QelLocal_LoadTables(&handle_);
        QelLocalAppGroup group;
        if (rc == CS_OK) rc = QelLocal_ReadAppGroup(&handle_, 100, &group);
        QelLocalQueryGroup query{&group, {}};
        QelLocalSegment segment;
        if (rc == CS_OK)
            rc = QelLocal_ListSegmentTableFirst(&handle_, 100, std::numeric_limits<int64_t>::min(),
                                                std::numeric_limits<int64_t>::max(), nullptr, 0, &segment);
        for (; rc == CS_OK; rc = QelLocal_ListSegmentTableNext(&handle_, &segment))
            query.segments.push_back(segment.name);
        EXPECT_EQ(rc, CS_NOT_FOUND);
        QelLocalQueryFolder folder;
        folder.owner = ++owner_;  // a fresh index cache: every call sees the rows as they are now
        std::vector<QelLocalQueryGroup> groups = {query};
        QelLocalHit hit;
        for (rc = QelLocal_QueryDocsFirst(&handle_, &folder, &groups, where, &hit); rc == CS_OK;
             rc = QelLocal_QueryDocsNext(&handle_, &hit))
            found.push_back(hit.row.values[0].text + "@" + hit.segment);
        EXPECT_EQ(rc, CS_NOT_FOUND) << where;
        QelLocal_EndRequest(&handle_, CS_OK);
        CsSessionLeave(&handle_, CS_OK);
        std::sort(found.begin(), found.end());
        return found;
    }

    TestArchive archive_;
    CsHandle handle_{};
    HandleGuard guard_{&handle_};
    Calls calls_;
    FolderPtr folder_;
    const CsXdrApplGroup* group_ = nullptr;
    uintptr_t owner_ = 0;
};

TEST_F(DocStore, FilledSegmentsStartNewOnesOfTheRowLimit) {
    SetGroupKey("SEG_ROWS", "2");
    SetGroupKey("LOG", "32");
    LogOn();
    ASSERT_EQ(group_->segmentKind, 'M');
    ASSERT_EQ(group_->rowsPerSegment, 2u);
    Hits hits(Invoices({19730, 19700, 19800, 19810, 19900}));
    CsXdrSegment last{};
    uint32_t full = 7;
    ASSERT_EQ(CsAddIndexRow(&handle_, group_, hits.All(), nullptr, &last, &full), CS_OK);
    // INV1 of the sample has room and widens; the group's next numbers name the rest.
    const std::vector<Seg> expected = {
        {"INV1", 2, 19700, 19753}, {"INVAG2", 2, 19800, 19810}, {"INVAG3", 1, 19900, 19900}};
    EXPECT_EQ(Segments(), expected);
    EXPECT_STREQ(last.name, "INVAG3");
    EXPECT_EQ(last.rows, 1);
    EXPECT_EQ(last.status & 0x01, 0x01);
    EXPECT_EQ(full, 0u);
    EXPECT_EQ(Indexed(""),
              (std::vector<std::string>{"N1@INV1", "N2@INV1", "N3@INVAG2", "N4@INVAG2", "N5@INVAG3"}));
    EXPECT_EQ(archive_.LoggedStartingWith("ApplGroup Load DB: Name(INVOICES) Agid(100) Rows(5)"), 1)
        << localtest::ReadFile(archive_.Dir() + "index/System Log.rows");

    // The newest segment takes the next row and is then full.
    Hits more(Invoices({19950}));
    ASSERT_EQ(CsAddIndexRow(&handle_, group_, more.All(), nullptr, &last, &full), CS_OK);
    EXPECT_STREQ(last.name, "INVAG3");
    EXPECT_EQ(last.rows, 2);
    EXPECT_EQ(last.stopDate, 19950);
    EXPECT_NE(full, 0u);
    EXPECT_EQ(Indexed("INVDATE > 19900"), (std::vector<std::string>{"N1@INVAG3"}));
}

TEST_F(DocStore, WithoutRowLimitEveryRowGoesToTheNewestSegment) {
    SetGroupKey("SEG_ROWS", "0");
    LogOn();
    Hits hits(Invoices({19730, 19735, 19900}));
    CsXdrSegment last{};
    ASSERT_EQ(CsAddIndexRow(&handle_, group_, hits.All(), nullptr, &last, nullptr), CS_OK);
    EXPECT_EQ(Segments(), (std::vector<Seg>{{"INV1", 3, 19723, 19900}}));
    EXPECT_EQ(archive_.LoggedStartingWith("ApplGroup Load DB"), 0) << "the group does not log stores";
}

TEST_F(DocStore, OtherKindsLoadIntoTheSegmentOfTheLoad) {
    LogOn();
    CsXdrApplGroup group = *group_;
    group.segmentKind = 'L';
    Hits first(Invoices({19800, 19790}));
    CsXdrSegment last{};
    uint32_t full = 5;
    ASSERT_EQ(CsAddIndexRow(&handle_, &group, first.All(), "7FAA", &last, &full), CS_OK);
    EXPECT_STREQ(last.name, "INVAG7FAA");
    EXPECT_EQ(full, 0u);
    Hits second(Invoices({19850}));
    ASSERT_EQ(CsAddIndexRow(&handle_, &group, second.All(), "7FAA", &last, nullptr), CS_OK);
    EXPECT_EQ(Segments(), (std::vector<Seg>{{"INV1", 0, 19723, 19753}, {"INVAG7FAA", 3, 19790, 19850}}));
    EXPECT_EQ(Indexed("INVDATE >= 19790"),
              (std::vector<std::string>{"N1@INVAG7FAA", "N1@INVAG7FAA", "N2@INVAG7FAA"}));
}

TEST_F(DocStore, RowsThatCannotBeLoadedLeaveTheSegmentsAsTheyWere) {
    struct Case {
        const char* name;
        char kind;
        const char* loadId;
        int dateMask;        // of INVDATE in the field table
        int docPerms;        // of ALICE's group
        const char* number;  // INVNO of the row (10 characters at most)
        int rc;
    };
    const Case cases[] = {
        {"no segment-date field", 'M', nullptr, 0, 11, "N1", CS_FAILED},
        {"no store permission", 'M', nullptr, 4, 9, "N1", CS_NOT_AUTHORISED},
        {"a value longer than its field", 'M', nullptr, 4, 11, "N1234567890", CS_FAILED},
        {"no load id", 'L', nullptr, 4, 11, "N1", CS_FAILED},
        {"an empty load id", 'L', "", 4, 11, "N1", CS_FAILED},
        {"a segment name longer than its field", 'L', "1234567", 4, 11, "N1", CS_FAILED},
    };
    const std::string agfld = archive_.Table("agfld");
    const std::string agperms = archive_.Table("agperms");
    for (const Case& c : cases) {
        std::string fields = agfld;
        fields.replace(fields.find("MASK=4"), 6, "MASK=" + std::to_string(c.dateMask));
        archive_.WriteTable("agfld", fields);
        archive_.WriteTable("agperms", agperms);
        SetStaffPermissions(c.docPerms);
        LogOn();
        CsXdrApplGroup group = *group_;
        group.segmentKind = c.kind;
        group.permissions = 0xFF;  // the caller's record cannot widen the user's rights
        std::vector<Invoice> invoices = Invoices({19800});
        invoices[0].number = c.number;
        Hits hits(invoices);
        EXPECT_EQ(CsAddIndexRow(&handle_, &group, hits.All(), c.loadId, nullptr, nullptr), c.rc) << c.name;
        EXPECT_EQ(Segments(), (std::vector<Seg>{{"INV1", 0, 19723, 19753}})) << c.name;
    }
}

}  // namespace
