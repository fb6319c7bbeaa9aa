// local_session.h - a built archive used through the request layer on a local handle:
// logon, one open folder, its hits (of every group), retrieval and notes.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "arc_codepage.h"
#include "message_test_support.h"
#include "qel_cs.h"
#include "qel_cswire.h"
#include "qel_local.h"

namespace buildertest {

struct Sink {
    std::string data;
    static int Take(void* context, const unsigned char* data, size_t length) {
        static_cast<Sink*>(context)->data.append(reinterpret_cast<const char*>(data), length);
        return 1;
    }
};

struct Note {
    std::string user, text;
    uint32_t flags, page, colour;
    int64_t created;
};

// A hit and the group of the open folder it came from.
struct FoundHit {
    CsXdrHitRow* row;
    const CsXdrApplGroup* group;
};

class LocalSession {
public:
    LocalSession() { started_ = ArcICONV_Startup(&pages_, QEL_STAGE_DIR "/locale") == 0; }
    ~LocalSession() {
        Reset();
        if (pages_ != nullptr) ArcICONV_Shutdown(pages_);
    }
    LocalSession(const LocalSession&) = delete;
    LocalSession& operator=(const LocalSession&) = delete;

    ArcIconvContext* Pages() const { return pages_; }
    CsHandle* Handle() { return &handle_; }
    const CsXdrFolder* Folder() const { return folder_.get(); }

    // Logs on to the archive in dir, opens folder fid and its storage set, and searches
    // every group of the folder with where.
    void Open(const std::string& dir, const char* user, const char* password, uint32_t fid,
              const char* where = "") {
        ASSERT_TRUE(started_) << "code-page tables";
        Reset();
        std::snprintf(handle_.serverName, sizeof handle_.serverName, "BUILT");
        handle_.def.kind = CS_KIND_LOCAL;
        handle_.def.profile = "[@SRV@_BUILT]\nDIRECTORY=" + dir + "/\n";
        handle_.iconv = pages_;
        handle_.localCcsid = 1208;
        CsUserRecord record{};
        ASSERT_EQ(CsLogon(&handle_, user, password, &record), CS_OK) << user;
        CsXdrFolder* folder = nullptr;
        ASSERT_EQ(CsOpenFolderGroups(&handle_, fid, nullptr, &folder), CS_OK);
        folder_.reset(folder);
        CsStorageSet* set = nullptr;
        ASSERT_EQ(CsOpenStorageSet(&handle_, folder_->groups[0].storageSet, CsResolveServerDef, &set), CS_OK);
        set_.reset(set);
        ASSERT_NO_FATAL_FAILURE(Search(where));
    }
    // Hits of every group of the folder; none found is no failure.
    void Search(const char* where) {
        ClearHits();
        for (uint16_t g = 0; g < folder_->groupCount; ++g) {
            Found found{this, &folder_->groups[g]};
            handle_.callbackContext = &found;
            const int rc = CsSearchFolder(&handle_, folder_.get(), &folder_->groups[g], where, nullptr,
                                          nullptr, nullptr, 0, 'N', -1, Found::Keep);
            ASSERT_TRUE(rc == CS_OK || rc == CS_NOT_FOUND) << where << ": " << rc;
        }
    }
    const std::vector<FoundHit>& Hits() const { return hits_; }
    // The hit whose first value is key.
    FoundHit Hit(const std::string& key) {
        for (const FoundHit& hit : hits_)
            if (key == hit.row->values[0].v.text) return hit;
        ADD_FAILURE() << "no hit " << key;
        return {nullptr, nullptr};
    }
    // A later segment of a paged document names the document's own object.
    std::string Retrieve(const FoundHit& hit, const CsXdrObjectRef* documentObject = nullptr) {
        Sink sink;
        CsDocRequest request;
        request.callback = Sink::Take;
        request.context = &sink;
        request.documentObject = documentObject;
        EXPECT_EQ(CsRetrieveDocData(&handle_, hit.group, &set_->nodes[0], nullptr, hit.row, &request, 'N'),
                  CS_OK);
        return sink.data;
    }
    std::string Resources(const FoundHit& hit) {
        Sink sink;
        CsDocRequest request;
        request.callback = Sink::Take;
        request.context = &sink;
        EXPECT_EQ(
            CsGetDocResources(&handle_, hit.group, &set_->nodes[0], nullptr, 0, hit.row->object, &request),
            CS_OK);
        return sink.data;
    }
    std::vector<Note> Notes(const FoundHit& hit) {
        std::vector<Note> notes;
        handle_.callbackContext = &notes;
        EXPECT_EQ(CsGetNotes(&handle_, hit.group->number, hit.row, TakeNote), CS_OK);
        return notes;
    }

private:
    struct FolderFree {
        void operator()(CsXdrFolder* folder) const { CsFreeFolderList(folder); }
    };
    struct SetFree {
        void operator()(CsStorageSet* set) const { CsFreeStorageSet(set); }
    };
    struct Found {
        LocalSession* session;
        const CsXdrApplGroup* group;
        static int Keep(void* context, CsXdrHitRow* hit) {
            auto* found = static_cast<Found*>(context);
            found->session->hits_.push_back({hit, found->group});
            return 0;
        }
    };
    static int TakeNote(void* context, void* entry) {
        auto* note = static_cast<CsXdrNote*>(entry);
        static_cast<std::vector<Note>*>(context)->push_back(
            {note->userId, note->text, note->flags, note->page, note->color, note->created});
        return 1;  // the operation frees it
    }
    void ClearHits() {
        for (const FoundHit& hit : hits_) CsFreePackedHit(hit.row, -1);
        hits_.clear();
    }
    void Reset() {
        ClearHits();
        set_.reset();
        folder_.reset();
        CsFreeLogonRecord(&handle_);
        handle_.systemParms.reset();
        handle_.~CsHandle();
        new (&handle_) CsHandle();
    }

    reqtest::MessageSandbox sandbox_;
    reqtest::EnvSetting registry_{"QEL_REGISTRY_DIR", sandbox_.Path()};
    bool started_ = false;
    ArcIconvContext* pages_ = nullptr;
    CsHandle handle_{};
    std::unique_ptr<CsXdrFolder, FolderFree> folder_;
    std::unique_ptr<CsStorageSet, SetFree> set_;
    std::vector<FoundHit> hits_;
};

}  // namespace buildertest
