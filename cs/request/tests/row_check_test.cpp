// Operations that take a hit act only on a row the user could find in the folder: the
// hit's row must be in its segment and pass the user's query restriction (from a row of
// one of the user's groups, or the user's own) and the folder record's restriction. A
// forged hit gets the refusal a forged document id gets (13), and nothing changes.
#include <cstring>
#include <string>
#include <vector>

#include "logon_test_support.h"

namespace {

using logontest::FolderPtr;
using logontest::HandleGuard;
using logontest::SetPtr;
using logontest::TestArchive;

constexpr uint32_t kInvoices = 100;

// A hit of INVOICES: INVNO, CUSTOMER, INVDATE and a window of the sample object 1FAA.
class Invoice {
public:
    Invoice(const char* number, const char* customer, uint32_t offset, int32_t date = 19730)
        : number_(number), customer_(customer) {
        object_.name = name_.data();
        object_.compressedLength = 53;
        object_.offset = offset;
        object_.length = 4;
        object_.compression = 'N';
        values_[0].type = 'S';
        values_[0].v.text = number_.data();
        values_[1].type = 'S';
        values_[1].v.text = customer_.data();
        values_[2].type = 'I';
        values_[2].v.integer = date;
        hit_.object = &object_;
        hit_.valueCount = 3;
        hit_.values = values_;
    }
    Invoice(const Invoice& other)
        : Invoice(other.number_.c_str(), other.customer_.c_str(), other.object_.offset) {
        values_[2] = other.values_[2];
        std::memcpy(hit_.segment, other.hit_.segment, sizeof hit_.segment);
    }
    Invoice& operator=(const Invoice&) = delete;
    CsXdrHitRow* Hit() { return &hit_; }
    CsXdrObjectRef* Object() { return &object_; }

private:
    std::string name_ = "1FAA";
    std::string number_, customer_;
    CsXdrObjectRef object_{};
    CsXdrValue values_[3] = {};
    CsXdrHitRow hit_{};
};

struct Sink {
    std::string data;
    static int Take(void* context, const unsigned char* data, size_t length) {
        static_cast<Sink*>(context)->data.append(reinterpret_cast<const char*>(data), length);
        return 1;
    }
};

int CountNote(void* context, void*) {
    ++*static_cast<int*>(context);
    return 1;
}

// ALICE's restriction comes from the row of her group STAFF; FRANK, in no group, has a
// row of his own. The rows, loaded by ALICE (loads are not restricted): N1 everybody
// finds, N2 STAFF's restriction hides, N3 FRANK's hides, N4 the folder record's hides.
class RowCheck : public ::testing::Test {
protected:
    void SetUp() override {
        std::vector<logontest::User> users = logontest::DefaultUsers();
        users.push_back({"FRANK", 8, "FrankPw1", 0, 1700000000, 0, {}});
        archive_.WriteUsers(users);
        std::string perms = archive_.Table("agperms");
        perms.replace(perms.find("IDS=11\n"), 7, "IDS=11,8\n");
        perms.replace(perms.find("DOC_PERMS=11\n"), 13,
                      "DOC_PERMS=27\nQ_RESTRICT=\"CUSTOMER <> 'HIDDEN'\"\n");
        archive_.WriteTable("agperms", perms + "\n[8|100]\nID_PERMS=1\nDOC_PERMS=27\nANN_PERMS=7\n" +
                                           "Q_RESTRICT=\"INVNO <> 'N3'\"\n");
        std::string folders = archive_.Table("folperms");
        folders.replace(folders.find("IDS=11\n"), 7, "IDS=11,8\n");
        archive_.WriteTable("folperms", folders + "\n[8|1]\nPERMS=1\nHITS=500\n");
        LogOn("ALICE", "Secret-1");
        for (Invoice* row : {&n1_, &n2_, &n3_, &n4_})
            ASSERT_EQ(logontest::IndexHit(&handle_, group_, row->Hit()), CS_OK);
        std::snprintf(n5_.Hit()->segment, sizeof n5_.Hit()->segment, "%s", n1_.Hit()->segment);
    }

    void LogOn(const char* user, const char* password) {
        set_.reset();
        folder_.reset();
        guard_.Renew(archive_);
        CsUserRecord record{};
        ASSERT_EQ(CsLogon(&handle_, user, password, &record), CS_OK) << user;
        CsXdrFolder* raw = nullptr;
        ASSERT_EQ(CsOpenFolderGroups(&handle_, 1, nullptr, &raw), CS_OK) << user;
        folder_.reset(raw);
        // The folder's restriction for the group, as a folder holding some of the group's
        // applications gets one.
        folderGroup_ = folder_->groups[0];
        folderGroup_.restriction = folderRestriction_.data();
        group_ = &folderGroup_;
        CsStorageSet* set = nullptr;
        ASSERT_EQ(CsOpenStorageSet(&handle_, group_->storageSet, CsResolveServerDef, &set), CS_OK);
        set_.reset(set);
        primary_ = &set_->nodes[0];
    }

    int Retrieve(CsXdrHitRow* hit) {
        Sink sink;
        CsDocRequest request;
        request.callback = Sink::Take;
        request.context = &sink;
        return CsRetrieveDocData(&handle_, group_, primary_, nullptr, hit, &request, 'N');
    }
    int AddNote(CsXdrHitRow* hit) {
        CsXdrNote note{};
        note.text = noteText_.data();
        note.flags = CS_NOTE_PUBLIC;
        return CsAddNote(&handle_, group_, hit, &note);
    }
    int ReadNotes(CsXdrHitRow* hit, int* count) {
        *count = 0;
        handle_.callbackContext = count;
        const int rc = CsGetNotes(&handle_, kInvoices, hit, &CountNote);
        handle_.callbackContext = nullptr;
        return rc;
    }
    // The INVNO of every row of the segment that a user without restriction finds.
    std::vector<std::string> Rows() {
        std::vector<std::string> found;
        EXPECT_EQ(CsSessionEnter(&handle_), CS_OK);
        int rc = QelLocal_LoadTables(&handle_);
        QelLocalAppGroup group;
        if (rc == CS_OK) rc = QelLocal_ReadAppGroup(&handle_, kInvoices, &group);
        QelLocalQueryFolder folder;
        folder.owner = ++owner_;
        const std::vector<QelLocalQueryGroup> query = {{&group, {n1_.Hit()->segment}}};
        QelLocalHit hit;
        for (rc = QelLocal_QueryDocsFirst(&handle_, &folder, &query, "", &hit); rc == CS_OK;
             rc = QelLocal_QueryDocsNext(&handle_, &hit))
            found.push_back(hit.row.values[0].text + "/" + hit.row.values[1].text);
        QelLocal_EndRequest(&handle_, CS_OK);
        CsSessionLeave(&handle_, CS_OK);
        return found;
    }

    TestArchive archive_;
    CsHandle handle_{};
    HandleGuard guard_{&handle_};
    FolderPtr folder_;
    SetPtr set_;
    CsStorageNode* primary_ = nullptr;
    CsXdrApplGroup folderGroup_{};
    std::string folderRestriction_ = "INVNO <> 'N4'";
    std::string noteText_ = "Seen";
    const CsXdrApplGroup* group_ = nullptr;
    uintptr_t owner_ = 1000;
    Invoice n1_{"N1", "ACME", 0}, n2_{"N2", "HIDDEN", 1}, n3_{"N3", "ACME", 2}, n4_{"N4", "ACME", 3};
    Invoice n5_{"N5", "ACME", 4};  // never loaded
};

TEST_F(RowCheck, EveryOperationActsOnlyOnRowsTheUserCouldFind) {
    // A forged hit: N1's values and segment with the object window of N2.
    Invoice forged(n1_);
    forged.Object()->offset = 1;
    struct Case {
        const char* name;
        const char* user;
        const char* password;
        Invoice* row;
        bool found;
        bool folderRestricted;  // hidden by the folder record only: notes go by group number
    };
    const Case cases[] = {
        {"a row ALICE finds", "ALICE", "Secret-1", &n1_, true, false},
        {"hidden by the restriction of ALICE's group", "ALICE", "Secret-1", &n2_, false, false},
        {"hidden by the folder's restriction", "ALICE", "Secret-1", &n4_, false, true},
        {"a row that does not exist", "ALICE", "Secret-1", &n5_, false, false},
        {"the values of a row, the document of a hidden one", "ALICE", "Secret-1", &forged, false, false},
        {"hidden by FRANK's own restriction", "FRANK", "FrankPw1", &n3_, false, false},
        {"hidden from ALICE, found by FRANK", "FRANK", "FrankPw1", &n2_, true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_NO_FATAL_FAILURE(LogOn(c.user, c.password));
        const int expected = c.found ? CS_OK : CS_NOT_AUTHORISED;
        Invoice hit(*c.row);
        EXPECT_EQ(Retrieve(hit.Hit()), expected);
        EXPECT_EQ(AddNote(hit.Hit()), expected);
        int notes = 0;
        if (!c.folderRestricted) {
            EXPECT_EQ(ReadNotes(hit.Hit(), &notes), expected);
            EXPECT_EQ(notes, c.found ? 1 : 0);
        }
        Invoice later(*c.row);
        later.Hit()->values[2].v.integer = 19731;
        EXPECT_EQ(CsUpdateDocIndex(&handle_, group_, hit.Hit(), later.Hit()), expected);
    }
    EXPECT_EQ(Rows(), (std::vector<std::string>{"N1/ACME", "N2/HIDDEN", "N3/ACME", "N4/ACME"}));
}

// An update may not move a row out of the user's restriction, nor into it.
TEST_F(RowCheck, UpdatesKeepRowsInsideTheRestriction) {
    Invoice hidden(n1_);
    hidden.Hit()->values[1].v.text = const_cast<char*>("HIDDEN");
    EXPECT_EQ(CsUpdateDocIndex(&handle_, group_, n1_.Hit(), hidden.Hit()), CS_NOT_AUTHORISED) << "out of it";
    Invoice shown(n2_);
    shown.Hit()->values[1].v.text = const_cast<char*>("ACME");
    EXPECT_EQ(CsUpdateDocIndex(&handle_, group_, n2_.Hit(), shown.Hit()), CS_NOT_AUTHORISED) << "into it";
    Invoice folderHidden(n1_);
    folderHidden.Hit()->values[0].v.text = const_cast<char*>("N4");
    EXPECT_EQ(CsUpdateDocIndex(&handle_, group_, n1_.Hit(), folderHidden.Hit()), CS_NOT_AUTHORISED)
        << "out of the folder's";
    EXPECT_EQ(Rows(), (std::vector<std::string>{"N1/ACME", "N2/HIDDEN", "N3/ACME", "N4/ACME"}));
    Invoice renamed(n1_);
    renamed.Hit()->values[1].v.text = const_cast<char*>("OTHER");
    EXPECT_EQ(CsUpdateDocIndex(&handle_, group_, n1_.Hit(), renamed.Hit()), CS_OK) << "inside it";
    EXPECT_EQ(Rows(), (std::vector<std::string>{"N1/OTHER", "N2/HIDDEN", "N3/ACME", "N4/ACME"}));
}

// A later object of a document is read for the row its caller names.
TEST_F(RowCheck, LaterObjectsAreCheckedByTheirDocument) {
    Invoice part(n1_);
    part.Object()->offset = 6;  // a window no row names
    Sink sink;
    CsDocRequest request;
    request.callback = Sink::Take;
    request.context = &sink;
    EXPECT_EQ(CsRetrieveDocData(&handle_, group_, primary_, nullptr, part.Hit(), &request, 'N'),
              CS_NOT_AUTHORISED);
    request.documentObject = n1_.Object();
    EXPECT_EQ(CsRetrieveDocData(&handle_, group_, primary_, nullptr, part.Hit(), &request, 'N'), CS_OK);
    EXPECT_EQ(sink.data.size(), 4u);
    request.documentObject = n2_.Object();
    EXPECT_EQ(CsRetrieveDocData(&handle_, group_, primary_, nullptr, part.Hit(), &request, 'N'),
              CS_NOT_AUTHORISED);
}

}  // namespace
