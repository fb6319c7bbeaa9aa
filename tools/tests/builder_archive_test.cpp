// An archive built from the small description, used through the request layer on a local
// handle: logons with the described passwords, folders, searches and retrieved bytes.
#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "arc_codepage.h"
#include "arc_platform.h"
#include "builder_fixture.h"
#include "message_test_support.h"
#include "qel_cs.h"
#include "qel_cswire.h"
#include "qel_local.h"

namespace {

using buildertest::BuilderScratch;
using buildertest::Statements;
using buildertest::StatementText;

struct FolderFree {
    void operator()(CsXdrFolder* folder) const { CsFreeFolderList(folder); }
};
using FolderPtr = std::unique_ptr<CsXdrFolder, FolderFree>;
struct SetFree {
    void operator()(CsStorageSet* set) const { CsFreeStorageSet(set); }
};
using SetPtr = std::unique_ptr<CsStorageSet, SetFree>;

// The hits a search handed out, kept for retrieval.
struct Hits {
    std::vector<CsXdrHitRow*> rows;
    ~Hits() { Clear(); }
    void Clear() {
        for (CsXdrHitRow* hit : rows) CsFreePackedHit(hit, -1);
        rows.clear();
    }
    static int Keep(void* context, CsXdrHitRow* hit) {
        static_cast<Hits*>(context)->rows.push_back(hit);
        return 0;
    }
    std::vector<std::string> Numbers() const {
        std::vector<std::string> out;
        for (const CsXdrHitRow* hit : rows) out.push_back(hit->values[0].v.text);
        std::sort(out.begin(), out.end());
        return out;
    }
};

struct Sink {
    std::string data;
    static int Take(void* context, const unsigned char* data, size_t length) {
        static_cast<Sink*>(context)->data.append(reinterpret_cast<const char*>(data), length);
        return 1;
    }
};

class BuiltArchive : public ::testing::Test {
protected:
    void SetUp() override { Build(2); }
    void TearDown() override { Drop(); }

    void Build(int sysMask) {
        Build(buildertest::SmallDescription("statements.txt", sysMask), "archive-" + std::to_string(sysMask));
    }
    void Build(const buildertest::Json& description, const std::string& name) {
        target_ = scratch_.Dir() + name;
        const auto errors = scratch_.Build(description, target_);
        for (const auto& e : errors) ADD_FAILURE() << FormatError(e);
        ASSERT_TRUE(errors.empty());
        ASSERT_EQ(ArcICONV_Startup(&pages_, QEL_STAGE_DIR "/locale"), 0);
    }
    void Drop() {
        Reset();
        if (pages_ != nullptr) ArcICONV_Shutdown(pages_);
        pages_ = nullptr;
    }
    // A fresh local handle on the built archive.
    void Reset() {
        hits_.Clear();
        set_.reset();
        folder_.reset();
        CsFreeLogonRecord(&handle_);
        handle_.systemParms.reset();
        handle_.~CsHandle();
        new (&handle_) CsHandle();
        std::snprintf(handle_.serverName, sizeof handle_.serverName, "BUILT");
        handle_.def.kind = CS_KIND_LOCAL;
        handle_.def.profile = "[@SRV@_BUILT]\nDIRECTORY=" + target_ + "/\n";
        handle_.iconv = pages_;
        handle_.localCcsid = 1208;
    }
    int LogOn(const char* user, const char* password) {
        Reset();
        CsUserRecord record{};
        return CsLogon(&handle_, user, password, &record);
    }
    int OpenFolder(uint32_t fid) {
        CsXdrFolder* raw = nullptr;
        const int rc = CsOpenFolderGroups(&handle_, fid, nullptr, &raw);
        folder_.reset(raw);
        return rc;
    }
    int Search(const char* where) {
        hits_.Clear();
        handle_.callbackContext = &hits_;
        return CsSearchFolder(&handle_, folder_.get(), &folder_->groups[0], where, nullptr, nullptr, nullptr,
                              0, 'N', -1, Hits::Keep);
    }

    reqtest::MessageSandbox sandbox_;
    reqtest::EnvSetting registry_{"QEL_REGISTRY_DIR", sandbox_.Path()};
    BuilderScratch scratch_;
    std::string target_;
    ArcIconvContext* pages_ = nullptr;
    CsHandle handle_{};
    FolderPtr folder_;
    SetPtr set_;
    Hits hits_;
};

TEST_F(BuiltArchive, LogonsWithTheDescribedPasswords) {
    struct Case {
        const char* user;
        const char* password;
        int expected;
    };
    const Case cases[] = {
        {"ALICE", "Secret-1", CS_OK},
        {"alice", "Secret-1", CS_OK},
        {"ALICE", "SECRET-1", CS_NOT_AUTHORISED},
        {"ALICE", "Bob.Pass", CS_NOT_AUTHORISED},
        {"BOB", "Bob.Pass", CS_OK},
        {"CAROL", "", CS_OK},
        {"CAROL", "anything", CS_NOT_AUTHORISED},
        {"DAVE", "Secret-1", CS_NOT_AUTHORISED},
    };
    for (const Case& c : cases)
        EXPECT_EQ(LogOn(c.user, c.password), c.expected) << c.user << " / " << c.password;
}

// Without 0x02 the logon upper-cases the password typed; the builder hashed it so.
TEST_F(BuiltArchive, PasswordsWithoutCase) {
    Drop();
    Build(0);
    EXPECT_EQ(LogOn("ALICE", "secret-1"), CS_OK);
    EXPECT_EQ(LogOn("ALICE", "SECRET-1"), CS_OK);
    EXPECT_EQ(LogOn("ALICE", "secret-2"), CS_NOT_AUTHORISED);
}

TEST_F(BuiltArchive, FoldersFollowTheirPermissions) {
    ASSERT_EQ(LogOn("BOB", "Bob.Pass"), CS_OK);
    ASSERT_EQ(OpenFolder(1), CS_OK);
    ASSERT_EQ(folder_->groupCount, 1u);
    EXPECT_EQ(folder_->groups[0].number, 100u);
    EXPECT_NE(OpenFolder(2), CS_OK) << "Audit is for ADMINS";
    ASSERT_EQ(LogOn("ALICE", "Secret-1"), CS_OK);
    EXPECT_EQ(OpenFolder(2), CS_OK);
}

TEST_F(BuiltArchive, SearchesFindTheDescribedRows) {
    struct Case {
        const char* where;
        std::vector<std::string> expected;
    };
    const Case cases[] = {
        {"", {"A0001", "A0002", "A0003", "A0004", "A0005", "A0006"}},
        {"CUSTOMER = 'ACME'", {"A0001", "A0003", "A0005"}},
        {"AMOUNT > 100", {"A0001", "A0003", "A0006"}},
        {"AMOUNT BETWEEN 7.25 AND 99.99", {"A0002", "A0004"}},
        {"STMTDATE >= 19725 AND STMTDATE <= 19727", {"A0003", "A0004", "A0005"}},
        {"PAGES = 2 OR INVNO = 'A0006'", {"A0002", "A0005", "A0006"}},
        {"CUSTOMER LIKE 'G%'", {"A0002", "A0006"}},
        {"INVNO = 'A0007'", {}},
    };
    ASSERT_EQ(LogOn("BOB", "Bob.Pass"), CS_OK);
    ASSERT_EQ(OpenFolder(1), CS_OK);
    for (const Case& c : cases) {
        const int rc = Search(c.where);
        EXPECT_TRUE(rc == CS_OK || (rc == CS_NOT_FOUND && c.expected.empty())) << c.where << ": " << rc;
        EXPECT_EQ(hits_.Numbers(), c.expected) << c.where;
    }
    // The described restriction holds for CAROL whatever she asks.
    ASSERT_EQ(LogOn("CAROL", ""), CS_OK);
    ASSERT_EQ(OpenFolder(1), CS_OK);
    Search("");
    EXPECT_EQ(hits_.Numbers(), (std::vector<std::string>{"A0001", "A0003", "A0005"}));
}

// A group without a segment date field leaves its segments undated; a search reads them
// all.
TEST_F(BuiltArchive, AGroupWithoutASegmentDateFieldFindsEveryRow) {
    Drop();
    buildertest::Json description = buildertest::SmallDescription("statements.txt");
    description["application_groups"][0]["fields"][2]["mask"] = 0;
    ASSERT_NO_FATAL_FAILURE(Build(description, "undated"));
    ASSERT_EQ(LogOn("BOB", "Bob.Pass"), CS_OK);
    ASSERT_EQ(OpenFolder(1), CS_OK);
    ASSERT_EQ(Search(""), CS_OK);
    EXPECT_EQ(hits_.Numbers(),
              (std::vector<std::string>{"A0001", "A0002", "A0003", "A0004", "A0005", "A0006"}));
    std::vector<std::string> segments;
    for (const CsXdrHitRow* hit : hits_.rows) segments.push_back(hit->segment);
    std::sort(segments.begin(), segments.end());
    segments.erase(std::unique(segments.begin(), segments.end()), segments.end());
    EXPECT_EQ(segments, (std::vector<std::string>{"STMT1", "STMT2"}));
    ASSERT_EQ(Search("CUSTOMER = 'GLOBEX'"), CS_OK);
    EXPECT_EQ(hits_.Numbers(), (std::vector<std::string>{"A0002", "A0006"}));
}

// Every document comes back byte for byte, from the zlib object and the plain one, and
// from both segments.
TEST_F(BuiltArchive, RetrievalGivesTheDocumentsBytes) {
    ASSERT_EQ(LogOn("BOB", "Bob.Pass"), CS_OK);
    ASSERT_EQ(OpenFolder(1), CS_OK);
    CsStorageSet* set = nullptr;
    ASSERT_EQ(CsOpenStorageSet(&handle_, folder_->groups[0].storageSet, CsResolveServerDef, &set), CS_OK);
    set_.reset(set);
    ASSERT_EQ(set_->nodes.size(), 1u);
    ASSERT_EQ(Search(""), CS_OK);
    ASSERT_EQ(hits_.rows.size(), Statements().size());
    std::vector<std::string> segments;
    for (CsXdrHitRow* hit : hits_.rows) {
        const std::string invno = hit->values[0].v.text;
        const size_t n = static_cast<size_t>(std::stoi(invno.substr(1)) - 1);
        ASSERT_NE(hit->object, nullptr) << invno;
        EXPECT_EQ(hit->object->compression, Statements()[n].object[0] == '1' ? 'O' : 'N') << invno;
        segments.push_back(hit->segment);
        Sink sink;
        CsDocRequest request;
        request.callback = Sink::Take;
        request.context = &sink;
        ASSERT_EQ(
            CsRetrieveDocData(&handle_, &folder_->groups[0], &set_->nodes[0], nullptr, hit, &request, 'N'),
            CS_OK)
            << invno;
        EXPECT_EQ(sink.data, StatementText(n)) << invno;
    }
    std::sort(segments.begin(), segments.end());
    segments.erase(std::unique(segments.begin(), segments.end()), segments.end());
    EXPECT_EQ(segments, (std::vector<std::string>{"STMT1", "STMT2"}));
}

// Folder field user rows: the keys of "*" for everybody, a user's own keys over them;
// a field without user keys has no rows. Folder fields map to the named group fields.
TEST_F(BuiltArchive, FolderFieldRowsAsDescribed) {
    CsHandle handle{};
    std::snprintf(handle.serverName, sizeof handle.serverName, "BUILT");
    handle.def.kind = CS_KIND_LOCAL;
    handle.def.profile = "[@SRV@_BUILT]\nDIRECTORY=" + target_ + "/\n";
    ASSERT_EQ(QelLocal_Open(&handle), CS_OK);
    QelLocalFolderFieldUser alice, bob, none;
    EXPECT_EQ(QelLocal_ReadFolderFieldUser(&handle, 1, 1, 0, &alice), CS_OK);
    EXPECT_EQ(QelLocal_ReadFolderFieldUser(&handle, 1, 2, 0, &bob), CS_OK);
    EXPECT_EQ(QelLocal_ReadFolderFieldUser(&handle, 1, 2, 1, &none), CS_NOT_FOUND);
    std::vector<QelLocalFieldMap> map;
    EXPECT_EQ(QelLocal_ReadFolderAgMap(&handle, 100, 1, &map), CS_OK);
    QelLocal_Close(&handle);
    EXPECT_EQ(alice.queryOrder, 1);
    EXPECT_EQ(alice.ops, 3);
    EXPECT_EQ(alice.min, "");
    EXPECT_EQ(bob.queryOrder, 1);
    EXPECT_EQ(bob.ops, 1027);
    EXPECT_EQ(bob.min, "A0000");
    ASSERT_EQ(map.size(), 2u);
    EXPECT_EQ(map[0].folderField, 0);
    EXPECT_EQ(map[0].first, 0) << "Number maps to INVNO";
    EXPECT_EQ(map[1].folderField, 1);
    EXPECT_EQ(map[1].first, 1) << "CUSTOMER maps to the field of its name";
}

// User rows as the local server reads them: texts in code page 819, SHA-512 hashes with
// the default rounds, the empty hash for no password, the build time as the last change.
TEST_F(BuiltArchive, UserRowsAsDescribed) {
    const int64_t now = ArcOS_TimeNow();
    CsHandle handle{};
    std::snprintf(handle.serverName, sizeof handle.serverName, "BUILT");
    handle.def.kind = CS_KIND_LOCAL;
    handle.def.profile = "[@SRV@_BUILT]\nDIRECTORY=" + target_ + "/\n";
    ASSERT_EQ(QelLocal_Open(&handle), CS_OK);
    QelLocalUser alice, bob, carol;
    EXPECT_EQ(QelLocal_ReadUser(&handle, "ALICE", &alice), CS_OK);
    EXPECT_EQ(QelLocal_ReadUser(&handle, "BOB", &bob), CS_OK);
    EXPECT_EQ(QelLocal_ReadUser(&handle, "CAROL", &carol), CS_OK);
    QelLocal_Close(&handle);
    EXPECT_STREQ(alice.name, "Alice \xC5ngstr\xF6m");
    EXPECT_STREQ(alice.phone, "555-0101");
    EXPECT_EQ(std::string(alice.passwd).rfind("$6$", 0), 0u);
    EXPECT_EQ(std::strlen(alice.passwd), 106u);
    EXPECT_STRNE(alice.passwd, bob.passwd);
    EXPECT_STREQ(carol.passwd, "");
    EXPECT_EQ(bob.timeout, 900);
    EXPECT_EQ(carol.timeout, 0);
    EXPECT_EQ(bob.uid, 2);
    EXPECT_GT(alice.lastUpdate, 0);
    EXPECT_LE(alice.lastUpdate, now);
}

}  // namespace
