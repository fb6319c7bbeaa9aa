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

using logontest::FolderPtr;
using logontest::HandleGuard;
using logontest::SegmentsPtr;
using logontest::SetPtr;
using logontest::TestArchive;

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
        archive_.SetTableKey("ag", "100", key, value);
    }
    // The sample's one node takes stores (roles 0x02 and 0x04).
    void LetTheNodeStore() {
        std::string text = archive_.Table("snode");
        text.replace(text.find("STATUS=0"), 8, "STATUS=6");
        archive_.WriteTable("snode", text);
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

// The node entries of INVOICES' storage set for a store.
class StoreNodes {
public:
    explicit StoreNodes(CsHandle* handle) {
        CsStorageSet* raw = nullptr;
        EXPECT_EQ(CsOpenStorageSet(handle, 1, nullptr, &raw), CS_OK);
        set_.reset(raw);
        if (set_) {
            EXPECT_EQ(CsPickStorageNode(set_.get(), 0, 0, 1, &primary_, &secondary_), CS_OK);
        }
    }
    CsStorageNode* primary() const { return primary_; }
    CsStorageNode* secondary() const { return secondary_; }

private:
    SetPtr set_;
    CsStorageNode* primary_ = nullptr;
    CsStorageNode* secondary_ = nullptr;
};

// The bytes of a stored object of INVOICES, read back through the storage manager.
std::string ReadObject(CsHandle* handle, Calls* calls, const CsStorageNode* primary, uint8_t places,
                       const char* name) {
    calls->fetched.clear();
    EXPECT_EQ(CsSessionEnter(handle), CS_OK);
    SmApplGroup group;
    group.storageId = "INVAG";
    group.name = "INVOICES";
    group.cachePeriod = 30;
    group.migrationPeriod = -1;
    uint8_t location = places;
    const int rc =
        SmFetchObjectData(handle, &group, primary, nullptr, &location, nullptr, name, 0, 0, &Calls::Take);
    CsSessionLeave(handle, CS_OK);
    return rc == CS_OK ? calls->fetched : "(rc " + std::to_string(rc) + ")";
}

TEST_F(DocStore, StoredDocumentsCanBeReadBackAndAreIndexed) {
    SetGroupKey("LOG", "32");
    LetTheNodeStore();
    LogOn();
    StoreNodes nodes(&handle_);
    ASSERT_NE(nodes.primary(), nullptr);
    struct Case {
        const char* name;
        uint8_t places;
        const char* object;
        int rc;
    };
    // The storage manager writes no node objects: such a store fails before the index.
    const Case cases[] = {
        {"into the cache", SM_LOC_CACHE, "5FAA", CS_OK},
        {"into the node", SM_LOC_PRIMARY, "6FAA", CS_FAILED},
        {"into the cache again", SM_LOC_CACHE, "8FAA", CS_OK},
    };
    int stored = 0;
    for (const Case& c : cases) {
        calls_.pieces = {std::string("first piece of ") + c.name + ", ", "and the rest"};
        calls_.next = 0;
        std::vector<Invoice> invoices = Invoices({19740});
        invoices[0].number = c.object;
        invoices[0].object = c.object;
        Hits hits(invoices);
        CsXdrObjectRef object = *hits[0].object;
        object.location = c.places;
        ASSERT_EQ(CsStoreDocument(&handle_, group_, nodes.primary(), nodes.secondary(), &hits[0], &object, 0,
                                  0, 0, 0, &Calls::Source),
                  c.rc)
            << c.name;
        EXPECT_EQ(calls_.next, 2u) << c.name;
        const std::string where = std::string("INVNO = '") + c.object + "'";
        if (c.rc != CS_OK) {
            EXPECT_EQ(Indexed(where.c_str()), std::vector<std::string>{}) << c.name;
            continue;
        }
        ++stored;
        EXPECT_EQ(object.location, c.places) << c.name;
        EXPECT_EQ(ReadObject(&handle_, &calls_, nodes.primary(), c.places, c.object),
                  calls_.pieces[0] + calls_.pieces[1])
            << c.name;
        EXPECT_EQ(Indexed(where.c_str()), (std::vector<std::string>{std::string(c.object) + "@INV1"}))
            << c.name;
        EXPECT_EQ(archive_.LoggedStartingWith(
                      std::string("ApplGroup ObjStore Append: Name(INVOICES) Agid(100) "
                                  "NodeName(-CACHE-) Nid(1) Server(-LOCAL-) ObjName(") +
                      c.object + ") CompOff(0) CompLen(" +
                      std::to_string(calls_.pieces[0].size() + calls_.pieces[1].size()) + ")"),
                  1)
            << c.name << localtest::ReadFile(archive_.Dir() + "index/System Log.rows");
    }
    EXPECT_EQ(stored, 2);
}

TEST_F(DocStore, StoreNeedsTheStorePermission) {
    SetStaffPermissions(9);
    LogOn();
    CsXdrApplGroup group = *group_;
    group.permissions = 0xFF;
    Hits hits(Invoices({19740}));
    calls_.pieces = {"data"};
    CsXdrObjectRef object = *hits[0].object;
    object.location = SM_LOC_CACHE;
    EXPECT_EQ(
        CsStoreDocument(&handle_, &group, nullptr, nullptr, &hits[0], &object, 0, 0, 0, 0, &Calls::Source),
        CS_NOT_AUTHORISED);
    EXPECT_EQ(calls_.next, 0u) << "no data is read";
    EXPECT_EQ(Segments(), (std::vector<Seg>{{"INV1", 0, 19723, 19753}}));
}

TEST_F(DocStore, StoreRunsWithTheAlternateStoreFlag) {
    LetTheNodeStore();
    LogOn();
    StoreNodes nodes(&handle_);
    struct Case {
        const char* name;
        uint32_t before;  // of 0x4000 and 0x8000
        uint32_t during;
    };
    const Case cases[] = {
        {"0x4000 alone becomes 0x8000", CS_F1_IN_SYSLOG_STORE, CS_F1_IN_STORE_ALT},
        {"both stay", CS_F1_IN_SYSLOG_STORE | CS_F1_IN_STORE_ALT, CS_F1_IN_SYSLOG_STORE | CS_F1_IN_STORE_ALT},
        {"0x8000 alone stays", CS_F1_IN_STORE_ALT, CS_F1_IN_STORE_ALT},
        {"neither", 0, 0},
    };
    const uint32_t bits = CS_F1_IN_SYSLOG_STORE | CS_F1_IN_STORE_ALT;
    for (const Case& c : cases) {
        handle_.def.flags1 = (handle_.def.flags1 & ~bits) | c.before;
        calls_.pieces = {c.name};
        calls_.next = 0;
        CsXdrObjectRef object{};
        std::string name = "7FAA";
        object.name = name.data();
        object.compression = 'N';
        object.location = SM_LOC_CACHE;
        EXPECT_EQ(CsStoreDocument(&handle_, group_, nodes.primary(), nullptr, nullptr, &object, 0, 0, 0, 0,
                                  &Calls::Source),
                  CS_OK)
            << c.name;
        EXPECT_EQ(calls_.flagsDuringStore & bits, c.during) << c.name;
        EXPECT_EQ(handle_.def.flags1 & bits, c.before) << c.name;
    }
}

TEST_F(DocStore, RoutedStoreOfLocalNodesRunsOnTheCaller) {
    LetTheNodeStore();
    LogOn();
    StoreNodes nodes(&handle_);
    ASSERT_NE(nodes.primary(), nullptr);
    ASSERT_EQ(nodes.primary()->handle, nullptr) << "the local server serves the node";
    calls_.pieces = {"routed data"};
    std::vector<Invoice> invoices = Invoices({19741});
    invoices[0].object = "9FAA";
    Hits hits(invoices);
    CsXdrObjectRef object = *hits[0].object;
    object.location = SM_LOC_CACHE;
    ASSERT_EQ(CsStoreDocumentRouted(&handle_, group_, nodes.primary(), nodes.secondary(), &hits[0], &object,
                                    0, 0, 0, 0, &Calls::Source),
              CS_OK);
    EXPECT_EQ(handle_.delegated.load(), nullptr);
    EXPECT_EQ(ReadObject(&handle_, &calls_, nodes.primary(), SM_LOC_CACHE, "9FAA"), "routed data");
    EXPECT_EQ(Indexed("INVDATE = 19741"), (std::vector<std::string>{"N1@INV1"}));
}

// Three invoices in INV1 to rewrite, the group logging updates.
class DocUpdate : public DocStore {
protected:
    void SetUp() override {
        SetGroupKey("LOG", "16");
        LogOn();
        ASSERT_EQ(CsAddIndexRow(&handle_, group_, loaded_.All(), nullptr, nullptr, nullptr), CS_OK);
        for (size_t i = 0; i < 3; ++i) std::snprintf(loaded_[i].segment, sizeof loaded_[i].segment, "INV1");
    }
    int Updated() const { return archive_.LoggedStartingWith("ApplGroup DocUpdate"); }

    Hits loaded_{Invoices({19730, 19740, 19750})};
};

TEST_F(DocUpdate, TheRowTakesTheNewValuesAndKeepsItsDocument) {
    std::vector<Invoice> values = Invoices({19731});
    values[0].number = "N2B";
    values[0].customer = "Renamed";
    values[0].object = "OTHER";  // the object reference stays the row's
    Hits changed(values);
    ASSERT_EQ(CsUpdateDocIndex(&handle_, group_, &loaded_[1], &changed[0]), CS_OK);
    EXPECT_EQ(Indexed(""), (std::vector<std::string>{"N1@INV1", "N2B@INV1", "N3@INV1"}));
    EXPECT_EQ(Indexed("CUSTOMER = 'Renamed' AND INVDATE = 19731"), (std::vector<std::string>{"N2B@INV1"}));
    EXPECT_EQ(archive_.LoggedStartingWith("ApplGroup DocUpdate: Name(INVOICES) Agid(100) OrigFlds('N2') "
                                          "UpdFlds('N2B')"),
              1);
    // The rewritten row is found by its new values, and its object is the old one.
    Hits again(values);
    again[0].object->name = loaded_[1].object->name;
    std::snprintf(again[0].segment, sizeof again[0].segment, "INV1");
    Hits back(Invoices({19740, 19740}));
    EXPECT_EQ(CsUpdateDocIndex(&handle_, group_, &again[0], &back[1]), CS_OK);
    EXPECT_EQ(Indexed("INVNO = 'N2'"), (std::vector<std::string>{"N2@INV1"}));
}

TEST_F(DocUpdate, RowsThatCannotBeRewrittenAreLeftAlone) {
    const std::string profile = localtest::ReadFile(archive_.Dir() + "index/INVOICES.seg");
    struct Case {
        const char* name;
        const char* segment;  // of the old hit
        const char* number;   // INVNO of the old hit
        const char* newNumber;
        const char* segments;  // SEGMENTS of the group's row in the segment table
        int mask;              // MASK of INV1
        int docPerms;
        int rc;
    };
    const Case cases[] = {
        // A row the user could not find is refused as a forged document id is.
        {"no such segment", "INV9", "N2", "X", "INV1", 0, 11, CS_NOT_AUTHORISED},
        {"no such row", "INV1", "N7", "X", "INV1", 0, 11, CS_NOT_AUTHORISED},
        {"a segment name held twice", "INV1", "N2", "X", "INV1,inv1", 0, 11, CS_FAILED},
        {"a segment not available", "INV1", "N2", "X", "INV1", 1, 11, CS_UNAVAILABLE},
        {"a new value longer than its field", "INV1", "N2", "N1234567890", "INV1", 0, 11, CS_FAILED},
        {"no update permission", "INV1", "N2", "X", "INV1", 0, 3, CS_NOT_AUTHORISED},
    };
    const std::string agperms = archive_.Table("agperms");
    for (const Case& c : cases) {
        std::string text = localtest::ReadFile(archive_.Dir() + "index/INVOICES.seg");
        const size_t mask = text.find("MASK=", text.find("[INV1]"));
        text.replace(mask, text.find('\n', mask) - mask, "MASK=" + std::to_string(c.mask));
        if (std::string(c.segments).find("inv1") != std::string::npos)
            text += "\n[inv1]\nINDEX_FILE=9\nSTART_DATE=1\nSTOP_DATE=2\nTOTAL_ROWS=0\nMASK=0\n";
        localtest::WriteFile(archive_.Dir() + "index/INVOICES.seg", text);
        archive_.WriteTable("seg", std::string("[100]\nSEGMENTS=") + c.segments + "\nAGID_NAME=INVAG\n");
        archive_.WriteTable("agperms", agperms);
        SetStaffPermissions(c.docPerms);
        LogOn();
        CsXdrApplGroup group = *group_;
        group.permissions = 0xFF;
        std::vector<Invoice> old = Invoices({19730, 19740});
        old[1].number = c.number;
        Hits oldHits(old);
        std::snprintf(oldHits[1].segment, sizeof oldHits[1].segment, "%s", c.segment);
        std::vector<Invoice> values = Invoices({19740});
        values[0].number = c.newNumber;
        Hits changed(values);
        const int before = Updated();
        calls_.messages.clear();
        EXPECT_EQ(CsUpdateDocIndex(&handle_, &group, &oldHits[1], &changed[0]), c.rc) << c.name;
        EXPECT_EQ(Updated(), before) << c.name << ": no message without a change";
        EXPECT_EQ(calls_.Count("Segment Not Available: Name(INVOICES) Agid(100) SegName(INV1)"),
                  c.rc == CS_UNAVAILABLE ? 1 : 0)
            << c.name << ::testing::PrintToString(calls_.messages);
        localtest::WriteFile(archive_.Dir() + "index/INVOICES.seg", profile);
        archive_.WriteTable("seg", "[100]\nSEGMENTS=INV1\nAGID_NAME=INVAG\n");
        LogOn();
        EXPECT_EQ(Indexed(""), (std::vector<std::string>{"N1@INV1", "N2@INV1", "N3@INV1"})) << c.name;
    }
}

}  // namespace
