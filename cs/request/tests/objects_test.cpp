// Stored objects of a local handle on a copy of the sample archive: an object stored into
// the cache and read back in segments, the places of an object, the permissions each
// operation needs, messages 63 and 64, and the operations without a local service.
#include <string>
#include <vector>

#include "logon_test_support.h"
#include "qel_local.h"
#include "qel_sm.h"

namespace {

using logontest::FolderPtr;
using logontest::HandleGuard;
using logontest::SetPtr;
using logontest::TestArchive;

// The pieces a store reads and the segments a retrieval hands out.
struct Calls {
    std::vector<std::string> pieces;
    size_t next = 0;
    struct Segment {
        int64_t position;
        char letter;
        std::string data;
    };
    std::vector<Segment> segments;

    static int Source(void* context, const char** data, uint32_t* length) {
        auto* calls = static_cast<Calls*>(context);
        const std::string& piece = calls->pieces[calls->next];
        *data = piece.data();
        *length = static_cast<uint32_t>(piece.size());
        return ++calls->next < calls->pieces.size() ? 1 : 0;
    }
    static int Segments(void* context, int64_t position, char letter, const char* data, uint32_t length) {
        static_cast<Calls*>(context)->segments.push_back({position, letter, std::string(data, length)});
        return 1;
    }
    std::string Data() const {
        std::string all;
        for (const Segment& s : segments) all += s.data;
        return all;
    }
};

class LocalObjects : public ::testing::Test {
protected:
    void SetGroupKey(const std::string& key, const std::string& value) {
        archive_.SetTableKey("ag", "100", key, value);
    }
    void SetStaffPermissions(int docPerms) {
        std::string text = archive_.Table("agperms");
        text.replace(text.find("DOC_PERMS=11"), 12, "DOC_PERMS=" + std::to_string(docPerms));
        archive_.WriteTable("agperms", text);
    }
    // ALICE on folder 1 (its one group INVOICES), the node entries of its storage set.
    void LogOn() {
        std::string nodes = archive_.Table("snode");
        const size_t status = nodes.find("STATUS=0");
        if (status != std::string::npos) {
            nodes.replace(status, 8, "STATUS=6");  // the node takes stores
            archive_.WriteTable("snode", nodes);
        }
        guard_.Renew(archive_);
        handle_.callbackContext = &calls_;
        CsUserRecord record{};
        ASSERT_EQ(CsLogon(&handle_, "ALICE", "Secret-1", &record), CS_OK);
        CsXdrFolder* raw = nullptr;
        ASSERT_EQ(CsOpenFolderGroups(&handle_, 1, nullptr, &raw), CS_OK);
        folder_.reset(raw);
        ASSERT_EQ(folder_->groupCount, 1u);
        group_ = &folder_->groups[0];
        CsStorageSet* set = nullptr;
        ASSERT_EQ(CsOpenStorageSet(&handle_, 1, nullptr, &set), CS_OK);
        set_.reset(set);
        ASSERT_EQ(CsPickStorageNode(set_.get(), 0, 0, 1, &primary_, &secondary_), CS_OK);
        ASSERT_NE(primary_, nullptr);
    }
    int Store(const char* name, std::vector<std::string> pieces, uint8_t* places, uint64_t* length) {
        calls_.pieces = std::move(pieces);
        calls_.next = 0;
        object_ = CsXdrObjectRef{};
        name_ = name;
        object_.name = name_.data();
        object_.compression = 'N';
        return CsStoreObject(&handle_, group_, primary_, secondary_, places, &object_, 0, 0, &Calls::Source,
                             length);
    }
    int Read(const char* name, uint32_t offset, uint32_t length, uint8_t* places) {
        calls_.segments.clear();
        CsXdrObjectRef object{};
        std::string text = name;
        object.name = text.data();
        return CsRetrieveSegment(&handle_, group_, primary_, secondary_, places, &object, offset, length,
                                 &Calls::Segments, &calls_);
    }

    TestArchive archive_;
    CsHandle handle_{};
    HandleGuard guard_{&handle_};
    Calls calls_;
    FolderPtr folder_;
    SetPtr set_;
    const CsXdrApplGroup* group_ = nullptr;
    CsStorageNode* primary_ = nullptr;
    CsStorageNode* secondary_ = nullptr;
    CsXdrObjectRef object_{};
    std::string name_;
};

TEST_F(LocalObjects, AnObjectStoredIntoTheCacheIsReadBackInSegments) {
    SetGroupKey("LOG", std::to_string(CS_LOG_STORES | CS_LOG_SEGMENTS));
    LogOn();
    uint8_t places = SM_LOC_CACHE;
    uint64_t length = 0;
    ASSERT_EQ(Store("5FAA", {"0123456789", "abcdefghij"}, &places, &length), CS_OK);
    EXPECT_EQ(calls_.next, 2u);
    EXPECT_EQ(length, 20u);
    EXPECT_EQ(places, SM_LOC_CACHE);
    EXPECT_EQ(archive_.LoggedStartingWith("ApplGroup ObjStore: Name(INVOICES) Agid(100) NodeName(-CACHE-) "
                                          "Nid(1) Server(-LOCAL-) ObjName(5FAA) Time("),
              1)
        << localtest::ReadFile(archive_.Dir() + "index/System Log.rows");

    struct Case {
        const char* name;
        uint32_t offset, length;
        const char* data;
    };
    const Case cases[] = {
        {"the whole object", 0, 0, "0123456789abcdefghij"},
        {"a window across the pieces", 6, 8, "6789abcd"},
        {"from an offset to the end", 15, 0, "fghij"},
    };
    for (const Case& c : cases) {
        uint8_t read = SM_LOC_CACHE | SM_LOC_PRIMARY;
        ASSERT_EQ(Read("5FAA", c.offset, c.length, &read), CS_OK) << c.name;
        EXPECT_EQ(calls_.Data(), c.data) << c.name;
        ASSERT_FALSE(calls_.segments.empty()) << c.name;
        EXPECT_EQ(calls_.segments[0].position, c.offset) << c.name;
        EXPECT_EQ(calls_.segments[0].letter, 'N') << c.name;
        EXPECT_EQ(read, SM_LOC_CACHE) << c.name;
        const std::string logged =
            "ApplGroup ObjRetrieve: Name(INVOICES) Agid(100) ObjName(5FAA) "
            "NodeName(-CACHE-) Nid(1) Server(-LOCAL-) Off(" +
            std::to_string(c.offset) + ") Len(" + std::to_string(std::string(c.data).size()) + ") Time(";
        EXPECT_EQ(archive_.LoggedStartingWith(logged), 1) << c.name;
    }
    uint8_t read = SM_LOC_CACHE;
    EXPECT_EQ(Read("NOSUCH", 0, 0, &read), CS_FAILED) << "no place holds it";
    EXPECT_TRUE(calls_.segments.empty());
}

TEST_F(LocalObjects, AFailedStoreIsNotLogged) {
    SetGroupKey("LOG", std::to_string(CS_LOG_STORES));
    LogOn();
    // The storage manager writes no node objects.
    uint8_t places = SM_LOC_PRIMARY;
    uint64_t length = 99;
    EXPECT_EQ(Store("3FAA", {"for the node"}, &places, &length), CS_FAILED);
    EXPECT_EQ(length, 99u) << "no length for a failed store";
    EXPECT_EQ(archive_.LoggedStartingWith("ApplGroup ObjStore"), 0);
}

TEST_F(LocalObjects, AnInterruptStopsTheSegments) {
    LogOn();
    uint8_t places = SM_LOC_CACHE;
    ASSERT_EQ(Store("4FAA", {std::string(200000, 'x')}, &places, nullptr), CS_OK);
    struct Stop {
        CsHandle* handle;
        int calls = 0;
        static int Segment(void* context, int64_t, char, const char*, uint32_t) {
            auto* stop = static_cast<Stop*>(context);
            if (++stop->calls == 1) CsInterrupt(stop->handle);
            return 1;
        }
    } stop{&handle_};
    CsXdrObjectRef object{};
    char name[] = "4FAA";
    object.name = name;
    places = SM_LOC_CACHE;
    EXPECT_EQ(CsRetrieveSegment(&handle_, group_, primary_, secondary_, &places, &object, 0, 0,
                                &Stop::Segment, &stop),
              CS_CANCELLED);
    EXPECT_EQ(stop.calls, 1);
    ASSERT_EQ(Read("4FAA", 0, 10, &places), CS_OK) << "the next call runs";
    EXPECT_EQ(calls_.Data(), std::string(10, 'x'));
}

TEST_F(LocalObjects, WithoutLoggingNoMessages) {
    LogOn();
    uint8_t places = SM_LOC_CACHE;
    ASSERT_EQ(Store("6FAA", {"data"}, &places, nullptr), CS_OK);
    ASSERT_EQ(Read("6FAA", 0, 0, &places), CS_OK);
    EXPECT_EQ(calls_.Data(), "data");
    EXPECT_EQ(archive_.LoggedStartingWith("ApplGroup Obj"), 0);
}

TEST_F(LocalObjects, EachOperationNeedsItsPermission) {
    struct Case {
        const char* name;
        int docPerms;
        int storeRc, readRc;
    };
    // The caller's record cannot widen what the tables allow. A permitted read of an
    // object that was not stored fails in the storage manager.
    const Case cases[] = {
        {"retrieve and update only", CS_PERMIT_RETRIEVE | CS_PERMIT_UPDATE, CS_NOT_AUTHORISED, CS_FAILED},
        {"store and update only", CS_PERMIT_STORE | CS_PERMIT_UPDATE, CS_OK, CS_NOT_AUTHORISED},
    };
    const std::string perms = archive_.Table("agperms");
    for (const Case& c : cases) {
        archive_.WriteTable("agperms", perms);
        SetStaffPermissions(c.docPerms);
        LogOn();
        CsXdrApplGroup group = *group_;
        group.permissions = 0xFF;
        group_ = &group;
        uint8_t places = SM_LOC_CACHE;
        EXPECT_EQ(Store("7FAA", {"permitted"}, &places, nullptr), c.storeRc) << c.name;
        EXPECT_EQ(calls_.next, c.storeRc == CS_OK ? 1u : 0u) << c.name << ": a refused store reads nothing";
        places = SM_LOC_CACHE;
        EXPECT_EQ(Read("7FAA", 0, 0, &places), c.readRc) << c.name;
        EXPECT_TRUE(calls_.segments.empty()) << c.name;
    }
}

TEST_F(LocalObjects, QueryTellsWhereTheObjectLives) {
    LogOn();
    uint8_t places = SM_LOC_CACHE;
    ASSERT_EQ(Store("8FAA", {"held in the cache"}, &places, nullptr), CS_OK);
    CsXdrObjectRef object{};
    char name[] = "8FAA";
    object.name = name;
    CsXdrHitRow hit{};
    hit.object = &object;
    uint8_t answer = 0xEE;
    uint32_t word = 0xEEEE;
    ASSERT_EQ(CsQueryDocObject(&handle_, group_, primary_, secondary_, SM_LOC_CACHE, &hit, "", 0, 0, &answer,
                               &word),
              CS_OK);
    EXPECT_EQ(answer, SM_LOCATE_CACHE);
    EXPECT_EQ(word, 0u);

    char other[] = "NOSUCH";
    object.name = other;
    answer = 0xEE;
    EXPECT_EQ(CsQueryDocObject(&handle_, group_, primary_, secondary_, SM_LOC_CACHE, &hit, "", 0, 0, &answer,
                               &word),
              CS_FAILED);
    EXPECT_EQ(answer, 0);
    hit.object = nullptr;
    EXPECT_EQ(CsQueryDocObject(&handle_, group_, primary_, secondary_, SM_LOC_CACHE, &hit, "", 0, 0, &answer,
                               &word),
              CS_FAILED);
}

TEST_F(LocalObjects, MissingArgumentsFail) {
    LogOn();
    uint8_t places = SM_LOC_CACHE;
    CsXdrObjectRef object{};
    char name[] = "9FAA";
    object.name = name;
    calls_.pieces = {"x"};
    EXPECT_EQ(
        CsStoreObject(&handle_, group_, primary_, nullptr, nullptr, &object, 0, 0, &Calls::Source, nullptr),
        CS_FAILED);
    EXPECT_EQ(CsStoreObject(&handle_, group_, primary_, nullptr, &places, &object, 0, 0, nullptr, nullptr),
              CS_FAILED);
    EXPECT_EQ(
        CsStoreObject(&handle_, nullptr, primary_, nullptr, &places, &object, 0, 0, &Calls::Source, nullptr),
        CS_FAILED);
    EXPECT_EQ(calls_.next, 0u);
    EXPECT_EQ(
        CsRetrieveSegment(&handle_, group_, primary_, nullptr, &places, &object, 0, 0, nullptr, nullptr),
        CS_FAILED);
    object.name = nullptr;
    EXPECT_EQ(CsRetrieveSegment(&handle_, group_, primary_, nullptr, &places, &object, 0, 0, &Calls::Segments,
                                &calls_),
              CS_FAILED);
}

TEST_F(LocalObjects, LoggedMessagesGoToTheIssuerAndPrintingHasNoLocalService) {
    LogOn();
    CsMessageArgs args;
    args.S("GROUP").I(100).S("OBJ").S("node").I(2).S(nullptr).B(7).B(8).D(0.25);
    ASSERT_EQ(CsLogMessage(&handle_, 63, static_cast<uint16_t>(args.count), args.inserts, nullptr, 0, 0),
              CS_OK);
    EXPECT_EQ(archive_.LoggedStartingWith("ApplGroup ObjRetrieve: Name(GROUP) Agid(100) ObjName(OBJ) "
                                          "NodeName(node) Nid(2) Server() Off(7) Len(8) Time(0.250)"),
              1)
        << localtest::ReadFile(archive_.Dir() + "index/System Log.rows");
    EXPECT_EQ(CsLogMessage(&handle_, -1, 0, nullptr, nullptr, 0, 0), CS_FAILED);
    EXPECT_EQ(CsLogMessage(&handle_, 100000, 0, nullptr, nullptr, 0, 0), CS_FAILED);

    // Served locally: without an item source there is nothing to run.
    CsXdrPrintRequest print{};
    EXPECT_EQ(CsServerPrint(&handle_, &print, "", {}, nullptr, 0), CS_FAILED);
    EXPECT_EQ(CsProcessHits(&handle_, nullptr, nullptr, nullptr), CS_FAILED);
}

}  // namespace
