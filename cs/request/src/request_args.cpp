// The arguments of each request code, read once from the caller's argument list into
// a typed record, and what each code does with its replies.
#include "dispatcher_detail.h"

#include <cstdlib>
#include <cstring>
#include <new>

namespace csreq::detail {
namespace {

// Hands a decoded list entry to the caller's callback; the dispatcher frees it unless
// the callback kept it (answered 0).
template <class T>
void HandOver(int code, CsEntryFn callback, void* context, T** slot) {
    T* entry = *slot;
    *slot = nullptr;
    if (callback != nullptr && callback(context, entry) == 0) return;
    CsFreeReplyEntry(code, entry);
}

// Moves a decoded record to the caller, who frees it with CsFreeReplyEntry.
template <class T>
void MoveOut(int code, T** out, T** slot) {
    if (out != nullptr) {
        *out = *slot;
        *slot = nullptr;
    } else {
        CsFreeReplyEntry(code, *slot);
        *slot = nullptr;
    }
}

void* Context(const ReplyContext& c) { return c.handle->callbackContext; }

class NoBody : public RequestArgs {
public:
    using RequestArgs::RequestArgs;
    void Fill(CsRequestBody*, bool) override {}
    Step OnReply(ReplyContext&, CsReplyRecord&) override { return Step::kEnd; }
};

class Level : public RequestArgs {
public:
    Level(int code, va_list& a) : RequestArgs(code), level_(va_arg(a, int32_t)) {}
    void Fill(CsRequestBody* b, bool) override { b->level.level = level_; }
    Step OnReply(ReplyContext&, CsReplyRecord&) override { return Step::kEnd; }

private:
    int32_t level_;
};

// Copies a text into a fixed field; false (field empty) when it does not fit: a cut
// user id could name another user.
bool CopyText(char* field, size_t size, const char* text) {
    std::memset(field, 0, size);
    if (text == nullptr) return true;
    size_t length = strnlen(text, size);
    if (length >= size) return false;
    std::memcpy(field, text, length);
    return true;
}

class Logon : public RequestArgs {
public:
    Logon(int code, va_list& a) : RequestArgs(code) {
        fits_ = CopyText(userId_, sizeof userId_, va_arg(a, const char*));
        fits_ = CopyText(password_, sizeof password_, va_arg(a, const char*)) && fits_;
        out_ = va_arg(a, CsXdrUserRecord*);
    }
    int Start(CsHandle*) override { return fits_ ? CS_OK : CS_FAILED; }
    ~Logon() override {
        std::memset(password_, 0, sizeof password_);
    }
    void Fill(CsRequestBody* b, bool) override {
        std::memcpy(b->logon.userId, userId_, sizeof userId_);
        std::memcpy(b->logon.password, password_, sizeof password_);
    }
    Step OnReply(ReplyContext& c, CsReplyRecord& reply) override;

private:
    char userId_[CS_XDR_USERID_SIZE];
    char password_[CS_XDR_USERID_SIZE];
    CsXdrUserRecord* out_;
    bool fits_;
};

Step Logon::OnReply(ReplyContext& c, CsReplyRecord& reply) {
    CsHandle* h = c.handle;
    CsRepLogon& r = reply.body.logon;
    if (out_ != nullptr) *out_ = r.user;
    static_assert(sizeof h->identity.userId == sizeof r.identity.userId);
    static_assert(sizeof h->identity.userName == sizeof r.identity.userName);
    std::memcpy(h->identity.userId, r.identity.userId, sizeof h->identity.userId);
    std::memcpy(h->identity.userName, r.identity.userName, sizeof h->identity.userName);
    h->identity.processId = r.identity.processId;
    if (r.logon != nullptr) {
        auto* logon = new (std::nothrow) CsLogonRecord();
        if (logon == nullptr) {
            c.rc = CS_NO_MEMORY;
            return Step::kEnd;
        }
        logon->userNumber = r.logon->userNumber;
        logon->groupList = r.logon->groupList ? r.logon->groupList : "";
        logon->userType = r.logon->userType;
        logon->timeOut = r.user.logonTimeOut;
        delete h->logon;
        h->logon = logon;
    }
    if (r.parms != nullptr) {
        auto parms = std::unique_ptr<CsSystemParms>(new (std::nothrow) CsSystemParms());
        if (!parms) {
            c.rc = CS_NO_MEMORY;
            return Step::kEnd;
        }
        parms->passwordExpiryDays = r.parms->passwordExpiryDays;
        parms->minPasswordLength = r.parms->minPasswordLength;
        parms->timeOut = r.parms->timeOut;
        parms->flags = r.parms->flags;
        parms->systemLogMask = r.parms->systemLogMask;
        parms->exitMask = r.parms->exitMask;
        h->systemParms = CsSystemParmsPtr::Own(std::move(parms));
        h->def.flags1 &= ~CS_F1_EXTERNAL;
    }
    h->serverSession = r.session;
    h->serverWords[0] = r.words[0];
    h->serverWords[1] = r.words[1];
    std::memcpy(h->serverSessionBlock, r.sessionBlock, sizeof h->serverSessionBlock);
    return Step::kEnd;
}

class ChangePassword : public RequestArgs {
public:
    ChangePassword(int code, va_list& a) : RequestArgs(code) {
        user_ = va_arg(a, CsXdrUserRecord*);
        fits_ = CopyText(newPassword_, sizeof newPassword_, va_arg(a, const char*));
        has_ = va_arg(a, int) != 0;
        reason_ = va_arg(a, uint32_t*);
    }
    int Start(CsHandle*) override { return fits_ ? CS_OK : CS_FAILED; }
    ~ChangePassword() override { std::memset(newPassword_, 0, sizeof newPassword_); }
    void Fill(CsRequestBody* b, bool) override {
        b->changePassword.user = user_;
        std::memcpy(b->changePassword.newPassword, newPassword_, sizeof newPassword_);
        b->changePassword.hasNewPassword = has_ ? 1 : 0;
    }
    Step OnReply(ReplyContext&, CsReplyRecord& reply) override {
        if (reply.result == 0 && user_ != nullptr) *user_ = reply.body.user.user;
        if (reason_ != nullptr) *reason_ = reply.body.user.word;
        return Step::kEnd;
    }

private:
    CsXdrUserRecord* user_;
    char newPassword_[CS_XDR_USERID_SIZE];
    bool fits_;
    bool has_;
    uint32_t* reason_;
};

class UserList : public RequestArgs {
public:
    UserList(int code, va_list& a) : RequestArgs(code) {
        name_ = va_arg(a, const char*);
        number_ = va_arg(a, uint32_t);
        groupFilter_ = va_arg(a, uint32_t);
        userFilter_ = va_arg(a, const char*);
        callback_ = va_arg(a, CsEntryFn);
    }
    void Fill(CsRequestBody* b, bool) override {
        b->userList.name = const_cast<char*>(name_);
        b->userList.userFilter = const_cast<char*>(userFilter_);
        b->userList.number = number_;
        b->userList.groupFilter = groupFilter_;
    }
    Step OnReply(ReplyContext& c, CsReplyRecord& reply) override {
        if (reply.body.userEntry.entry == nullptr) return Step::kEnd;
        HandOver(Code(), callback_, Context(c), &reply.body.userEntry.entry);
        return Step::kNext;
    }

private:
    const char* name_;
    uint32_t number_;
    uint32_t groupFilter_;
    const char* userFilter_;
    CsEntryFn callback_;
};

class FolderList : public RequestArgs {
public:
    FolderList(int code, va_list& a) : RequestArgs(code) {
        pattern_ = va_arg(a, const char*);
        selection1_ = va_arg(a, const char*);
        selection2_ = va_arg(a, const char*);
        flags_ = static_cast<uint8_t>(va_arg(a, int));
        final_ = va_arg(a, uint32_t*);
        callback_ = va_arg(a, CsEntryFn);
    }
    void Fill(CsRequestBody* b, bool) override {
        b->folderList.pattern = const_cast<char*>(pattern_);
        b->folderList.selection1 = const_cast<char*>(selection1_);
        b->folderList.selection2 = const_cast<char*>(selection2_);
        b->folderList.flags = flags_;
    }
    Step OnReply(ReplyContext& c, CsReplyRecord& reply) override {
        // An older server answers the substituted code 19, which has no final word.
        if (reply.code == 121 && final_ != nullptr) *final_ = reply.body.folderEntry.final;
        if (reply.body.folderEntry.folder == nullptr) return Step::kEnd;
        HandOver(Code(), callback_, Context(c), &reply.body.folderEntry.folder);
        return Step::kNext;
    }

private:
    const char* pattern_;
    const char* selection1_;
    const char* selection2_;
    uint8_t flags_;
    uint32_t* final_;
    CsEntryFn callback_;
};

class FolderGroups : public RequestArgs {
public:
    FolderGroups(int code, va_list& a) : RequestArgs(code) {
        number_ = va_arg(a, uint32_t);
        name_.text = const_cast<char*>(va_arg(a, const char*));
        out_ = va_arg(a, CsXdrFolder**);
    }
    void Fill(CsRequestBody* b, bool) override {
        b->folderGroups.folderNumber = number_;
        b->folderGroups.nameCount = name_.text ? 1 : 0;
        b->folderGroups.names = name_.text ? &name_ : nullptr;
    }
    Step OnReply(ReplyContext&, CsReplyRecord& reply) override {
        MoveOut(Code(), out_, &reply.body.folder.folder);
        return Step::kEnd;
    }

private:
    uint32_t number_;
    CsXdrTextEntry name_{};
    CsXdrFolder** out_;
};

class StorageSet : public RequestArgs {
public:
    StorageSet(int code, va_list& a) : RequestArgs(code) {
        number_ = va_arg(a, uint32_t);
        out_ = va_arg(a, CsXdrStorageSet**);
    }
    void Fill(CsRequestBody* b, bool) override { b->number.number = number_; }
    Step OnReply(ReplyContext&, CsReplyRecord& reply) override {
        MoveOut(Code(), out_, &reply.body.storageSet.set);
        return Step::kEnd;
    }

private:
    uint32_t number_;
    CsXdrStorageSet** out_;
};

class UpdateIndex : public RequestArgs {
public:
    UpdateIndex(int code, va_list& a) : RequestArgs(code) {
        group_ = va_arg(a, CsXdrApplGroup*);
        oldHit_ = va_arg(a, CsXdrHitRow*);
        newHit_ = va_arg(a, CsXdrHitRow*);
    }
    void Fill(CsRequestBody* b, bool) override {
        b->updateIndex.group = group_;
        b->updateIndex.oldHit = oldHit_;
        b->updateIndex.newHit = newHit_;
    }
    Step OnReply(ReplyContext&, CsReplyRecord&) override { return Step::kEnd; }

private:
    CsXdrApplGroup* group_;
    CsXdrHitRow* oldHit_;
    CsXdrHitRow* newHit_;
};

class AddIndexRow : public RequestArgs {
public:
    AddIndexRow(int code, va_list& a) : RequestArgs(code) {
        group_ = va_arg(a, CsXdrApplGroup*);
        block_ = va_arg(a, CsXdrHitRow*);
        rows_ = va_arg(a, CsXdrValueItem*);
        result_ = va_arg(a, CsXdrIndexResult*);
        segment_ = va_arg(a, CsXdrSegment*);
        word_ = va_arg(a, uint32_t*);
    }
    void Fill(CsRequestBody* b, bool) override {
        b->addIndexRow.group = group_;
        b->addIndexRow.block = block_;
        b->addIndexRow.rows = Code() == 103 ? rows_ : nullptr;
        b->addIndexRow.result = result_;
        b->addIndexRow.segment = segment_;
        b->addIndexRow.word = word_ ? *word_ : 0;
    }
    const CsXdrApplGroup* ReplyGroup() const override { return group_; }
    Step OnReply(ReplyContext&, CsReplyRecord& reply) override {
        if (result_ != nullptr) *result_ = reply.body.indexRow.result;
        if (segment_ != nullptr) *segment_ = reply.body.indexRow.segment;
        if (word_ != nullptr) *word_ = reply.body.indexRow.word;
        return Step::kEnd;
    }

private:
    CsXdrApplGroup* group_;
    CsXdrHitRow* block_;
    CsXdrValueItem* rows_;
    CsXdrIndexResult* result_;
    CsXdrSegment* segment_;
    uint32_t* word_;
};

class Search : public RequestArgs {
public:
    Search(int code, va_list& a) : RequestArgs(code) {
        group_ = va_arg(a, CsXdrApplGroup*);
        where_ = va_arg(a, const char*);
        range_ = va_arg(a, CsXdrCriteria*);
        flags_ = static_cast<uint8_t>(va_arg(a, int));
        noteFilter_ = va_arg(a, CsXdrValueItem*);
        noteLetter_ = static_cast<uint8_t>(va_arg(a, int));
        textSearch_ = va_arg(a, CsXdrValueItem*);
        callback_ = va_arg(a, CsHitFn);
    }
    void Fill(CsRequestBody* b, bool) override {
        b->search.group = group_;
        b->search.where = const_cast<char*>(where_);
        b->search.range = range_;
        b->search.flags = flags_;
        b->search.noteFilter = noteFilter_;
        b->search.noteLetter = noteLetter_;
        b->search.textSearch = textSearch_;
    }
    const CsXdrApplGroup* ReplyGroup() const override { return group_; }
    Step OnReply(ReplyContext& c, CsReplyRecord& reply) override {
        CsXdrHitRow* hit = reply.body.hit.hit;
        if (hit == nullptr) return Step::kEnd;
        if (callback_ != nullptr && callback_(Context(c), hit) == 0) return Step::kBreakOff;
        return Step::kNext;
    }

private:
    CsXdrApplGroup* group_;
    const char* where_;
    CsXdrCriteria* range_;
    uint8_t flags_;
    CsXdrValueItem* noteFilter_;
    uint8_t noteLetter_;
    CsXdrValueItem* textSearch_;
    CsHitFn callback_;
};

// Document data, resources: pieces expanded into the caller's callback.
class DataReceiver : public RequestArgs {
public:
    using RequestArgs::RequestArgs;
    ~DataReceiver() override { CsDeliveryAbort(delivery_); }
    Step OnReply(ReplyContext& c, CsReplyRecord& reply) override {
        CsXdrDataPiece* piece = reply.body.data.piece;
        if (delivery_ == nullptr && !ended_) {
            delivery_ = CsDeliveryBegin(bufferSize_, callback_, context_);
            if (delivery_ == nullptr) return Fail(c, CS_NO_MEMORY);
        }
        if (piece == nullptr) {
            ended_ = true;
            int rc = CsDeliveryEnd(delivery_);
            delivery_ = nullptr;
            if (rc != CS_OK) c.rc = rc;
            OnEnd(reply);
            return Step::kEnd;
        }
        int rc = CsDeliveryPiece(delivery_, piece->letter, &piece->data, piece->length);
        if (rc != CS_OK) return Fail(c, rc);
        return Step::kNext;
    }

protected:
    virtual void OnEnd(const CsReplyRecord&) {}
    Step Fail(ReplyContext& c, int rc) {
        CsDeliveryAbort(delivery_);
        delivery_ = nullptr;
        ended_ = true;
        c.rc = rc;
        return Step::kBreakOff;
    }
    uint32_t bufferSize_ = 0;
    CsDataCallback callback_ = nullptr;
    void* context_ = nullptr;

private:
    CsDelivery* delivery_ = nullptr;
    bool ended_ = false;
};

class DocData : public DataReceiver {
public:
    DocData(int code, va_list& a) : DataReceiver(code) {
        group_ = va_arg(a, CsXdrApplGroup*);
        hit_ = va_arg(a, CsXdrHitRow*);
        appl_ = va_arg(a, CsXdrApplEntry*);
        node_ = va_arg(a, CsXdrNodeEntry*);
        nodes_ = va_arg(a, CsXdrNodeInfo*);
        for (uint8_t& flag : flags_) flag = static_cast<uint8_t>(va_arg(a, int));
        bufferSize_ = va_arg(a, uint32_t);
        callback_ = va_arg(a, CsDataFnC);
        context_ = va_arg(a, void*);
        location_ = va_arg(a, uint8_t*);
        second_ = va_arg(a, uint8_t*);
    }
    void Fill(CsRequestBody* b, bool) override {
        b->docData.group = group_;
        b->docData.hit = hit_;
        b->docData.appl = appl_;
        b->docData.node = node_;
        b->docData.nodes = nodes_;
        std::memcpy(b->docData.flags, flags_, sizeof flags_);
    }
    const CsXdrApplGroup* ReplyGroup() const override { return group_; }

private:
    void OnEnd(const CsReplyRecord& reply) override {
        if (location_ != nullptr) *location_ = reply.body.data.location;
        if (second_ != nullptr && reply.code == 101) *second_ = reply.body.data.second;
    }
    CsXdrApplGroup* group_;
    CsXdrHitRow* hit_;
    CsXdrApplEntry* appl_;
    CsXdrNodeEntry* node_;
    CsXdrNodeInfo* nodes_;
    uint8_t flags_[3];
    uint8_t* location_;
    uint8_t* second_;
};

class Resources : public DataReceiver {
public:
    Resources(int code, va_list& a) : DataReceiver(code) {
        group_ = va_arg(a, CsXdrApplGroup*);
        node_ = va_arg(a, CsXdrNodeEntry*);
        flags_ = static_cast<uint8_t>(va_arg(a, int));
        nodes_ = va_arg(a, CsXdrNodeInfo*);
        bufferSize_ = va_arg(a, uint32_t);
        callback_ = va_arg(a, CsDataFnC);
        context_ = va_arg(a, void*);
    }
    void Fill(CsRequestBody* b, bool) override {
        b->resources.group = group_;
        b->resources.node = node_;
        b->resources.flags = flags_;
        b->resources.nodes = nodes_;
    }

private:
    CsXdrApplGroup* group_;
    CsXdrNodeEntry* node_;
    uint8_t flags_;
    CsXdrNodeInfo* nodes_;
};

class NodeInfo : public RequestArgs {
public:
    NodeInfo(int code, va_list& a) : RequestArgs(code) {
        groupNumber_ = va_arg(a, uint32_t);
        nodeNumber_ = static_cast<uint16_t>(va_arg(a, int));
        out_ = va_arg(a, CsXdrNodeInfo**);
    }
    void Fill(CsRequestBody* b, bool) override {
        b->storageNodes.groupNumber = groupNumber_;
        b->storageNodes.nodeNumber = nodeNumber_;
    }
    Step OnReply(ReplyContext&, CsReplyRecord& reply) override {
        MoveOut(Code(), out_, &reply.body.nodeInfo.info);
        return Step::kEnd;
    }

private:
    uint32_t groupNumber_;
    uint16_t nodeNumber_;
    CsXdrNodeInfo** out_;
};

class SystemParms : public RequestArgs {
public:
    SystemParms(int code, va_list& a) : RequestArgs(code), out_(va_arg(a, CsXdrSystemParms**)) {}
    void Fill(CsRequestBody*, bool) override {}
    Step OnReply(ReplyContext&, CsReplyRecord& reply) override {
        MoveOut(Code(), out_, &reply.body.parms.parms);
        return Step::kEnd;
    }

private:
    CsXdrSystemParms** out_;
};

class AddNote : public RequestArgs {
public:
    AddNote(int code, va_list& a) : RequestArgs(code) {
        group_ = va_arg(a, CsXdrApplGroup*);
        hit_ = va_arg(a, CsXdrHitRow*);
        note_ = va_arg(a, CsXdrNote*);
        words_ = va_arg(a, uint32_t*);
    }
    void Fill(CsRequestBody* b, bool) override {
        b->note.group = group_;
        b->note.hit = hit_;
        b->note.note = note_;
    }
    Step OnReply(ReplyContext&, CsReplyRecord& reply) override {
        if (words_ != nullptr) {
            words_[0] = reply.body.noteWords.words[0];
            words_[1] = reply.body.noteWords.words[1];
        }
        return Step::kEnd;
    }

private:
    CsXdrApplGroup* group_;
    CsXdrHitRow* hit_;
    CsXdrNote* note_;
    uint32_t* words_;
};

class Notes : public RequestArgs {
public:
    Notes(int code, va_list& a) : RequestArgs(code) {
        groupNumber_ = va_arg(a, uint32_t);
        object_ = va_arg(a, CsXdrObjectRef*);
        word_ = va_arg(a, uint32_t);
        callback_ = va_arg(a, CsEntryFn);
        count_ = va_arg(a, uint8_t*);
        if (count_ != nullptr) *count_ = 0;
    }
    void Fill(CsRequestBody* b, bool) override {
        b->notes.groupNumber = groupNumber_;
        b->notes.object = object_;
        b->notes.word = word_;
    }
    Step OnReply(ReplyContext& c, CsReplyRecord& reply) override {
        if (reply.body.note.note == nullptr) return Step::kEnd;
        if (callback_ == nullptr) {
            if (count_ != nullptr && *count_ < 255) ++*count_;
            CsFreeReplyEntry(Code(), reply.body.note.note);
            reply.body.note.note = nullptr;
        } else {
            HandOver(Code(), callback_, Context(c), &reply.body.note.note);
        }
        return Step::kNext;
    }

private:
    uint32_t groupNumber_;
    CsXdrObjectRef* object_;
    uint32_t word_;
    CsEntryFn callback_;
    uint8_t* count_;
};

class Queries : public RequestArgs {
public:
    Queries(int code, va_list& a) : RequestArgs(code) {
        folder_ = va_arg(a, uint32_t);
        user_ = va_arg(a, uint32_t);
        count_ = static_cast<uint16_t>(va_arg(a, int));
        names_ = va_arg(a, CsXdrTextEntry*);
        callback_ = va_arg(a, CsEntryFn);
    }
    void Fill(CsRequestBody* b, bool) override {
        b->queries.folderNumber = folder_;
        b->queries.userNumber = user_;
        b->queries.count = names_ ? count_ : 0;
        b->queries.entries = names_;
    }
    Step OnReply(ReplyContext& c, CsReplyRecord& reply) override {
        if (reply.body.query.query == nullptr) return Step::kEnd;
        HandOver(Code(), callback_, Context(c), &reply.body.query.query);
        return Step::kNext;
    }

private:
    uint32_t folder_;
    uint32_t user_;
    uint16_t count_;
    CsXdrTextEntry* names_;
    CsEntryFn callback_;
};

class Segments : public RequestArgs {
public:
    Segments(int code, va_list& a) : RequestArgs(code) {
        count_ = static_cast<uint16_t>(va_arg(a, int));
        numbers_ = va_arg(a, uint32_t*);
        callback_ = va_arg(a, CsEntryFn);
    }
    void Fill(CsRequestBody* b, bool) override {
        b->numbers.count = numbers_ ? count_ : 0;
        b->numbers.numbers = numbers_;
    }
    Step OnReply(ReplyContext& c, CsReplyRecord& reply) override {
        if (reply.body.segment.segment == nullptr) return Step::kEnd;
        HandOver(Code(), callback_, Context(c), &reply.body.segment.segment);
        return Step::kNext;
    }

private:
    uint16_t count_;
    uint32_t* numbers_;
    CsEntryFn callback_;
};

class Printers : public RequestArgs {
public:
    Printers(int code, va_list& a) : RequestArgs(code), callback_(va_arg(a, CsEntryFn)) {}
    void Fill(CsRequestBody*, bool) override {}
    Step OnReply(ReplyContext& c, CsReplyRecord& reply) override {
        if (reply.body.printer.printer == nullptr) return Step::kEnd;
        HandOver(Code(), callback_, Context(c), &reply.body.printer.printer);
        return Step::kNext;
    }

private:
    CsEntryFn callback_;
};

class LoadInfo : public RequestArgs {
public:
    LoadInfo(int code, va_list& a) : RequestArgs(code) {
        groupNumber_ = va_arg(a, uint32_t);
        out_ = va_arg(a, char*);
        size_ = va_arg(a, size_t);
    }
    void Fill(CsRequestBody* b, bool) override { b->loadInfo.groupNumber = groupNumber_; }
    Step OnReply(ReplyContext& c, CsReplyRecord& reply) override {
        const char* text = reply.body.text.text ? reply.body.text.text : "";
        if (out_ != nullptr && size_ > 0) {
            // Never cut: a cut load text would name another load.
            if (CsSetText(out_, size_, text) != CS_OK) c.rc = CS_FAILED;
        }
        return Step::kEnd;
    }

private:
    uint32_t groupNumber_;
    char* out_;
    size_t size_;
};

class SegmentData : public RequestArgs {
public:
    SegmentData(int code, va_list& a) : RequestArgs(code) {
        group_ = va_arg(a, CsXdrApplGroup*);
        primary_ = va_arg(a, CsXdrNodeEntry*);
        secondary_ = va_arg(a, CsXdrNodeEntry*);
        location_ = static_cast<uint8_t>(va_arg(a, int));
        name_ = va_arg(a, const char*);
        words_[0] = va_arg(a, uint32_t);
        words_[1] = va_arg(a, uint32_t);
        callback_ = va_arg(a, CsSegmentFn);
        context_ = va_arg(a, void*);
    }
    void Fill(CsRequestBody* b, bool) override {
        b->segmentData.group = group_;
        b->segmentData.primary = primary_;
        b->segmentData.secondary = secondary_;
        b->segmentData.location = location_;
        b->segmentData.objectName = const_cast<char*>(name_);
        b->segmentData.words[0] = words_[0];
        b->segmentData.words[1] = words_[1];
    }
    Step OnReply(ReplyContext&, CsReplyRecord& reply) override {
        const CsXdrDataPiece* piece = reply.body.data.piece;
        if (piece == nullptr) return Step::kEnd;
        if (callback_ != nullptr)
            callback_(context_, piece->position, piece->letter, piece->data, piece->length);
        return Step::kNext;
    }

private:
    CsXdrApplGroup* group_;
    CsXdrNodeEntry* primary_;
    CsXdrNodeEntry* secondary_;
    uint8_t location_;
    const char* name_;
    uint32_t words_[2];
    CsSegmentFn callback_;
    void* context_;
};

class DocObject : public RequestArgs {
public:
    DocObject(int code, va_list& a) : RequestArgs(code) {
        group_ = va_arg(a, CsXdrApplGroup*);
        primary_ = va_arg(a, CsXdrNodeEntry*);
        secondary_ = va_arg(a, CsXdrNodeEntry*);
        location_ = static_cast<uint8_t>(va_arg(a, int));
        hit_ = va_arg(a, CsXdrHitRow*);
        text_ = va_arg(a, const char*);
        words_[0] = va_arg(a, uint32_t);
        words_[1] = va_arg(a, uint32_t);
        answer_ = va_arg(a, uint8_t*);
        word_ = va_arg(a, uint32_t*);
    }
    void Fill(CsRequestBody* b, bool) override {
        b->docObject.group = group_;
        b->docObject.primary = primary_;
        b->docObject.secondary = secondary_;
        b->docObject.location = location_;
        b->docObject.hit = hit_;
        b->docObject.text = const_cast<char*>(text_);
        b->docObject.words[0] = words_[0];
        b->docObject.words[1] = words_[1];
    }
    Step OnReply(ReplyContext&, CsReplyRecord& reply) override {
        if (answer_ != nullptr) *answer_ = reply.body.docObject.answer;
        if (word_ != nullptr) *word_ = reply.body.docObject.word;
        return Step::kEnd;
    }

private:
    CsXdrApplGroup* group_;
    CsXdrNodeEntry* primary_;
    CsXdrNodeEntry* secondary_;
    uint8_t location_;
    CsXdrHitRow* hit_;
    const char* text_;
    uint32_t words_[2];
    uint8_t* answer_;
    uint32_t* word_;
};

// The security token exchange: each server token goes to the callback, whose answer
// is the next message, until the server sends no further token.
class Token : public RequestArgs {
public:
    Token(int code, va_list& a) : RequestArgs(code) {
        fits_ = CopyText(userId_, sizeof userId_, va_arg(a, const char*));
        outUserId_ = va_arg(a, char*);
        callback_ = va_arg(a, CsTokenFn);
    }
    // The first token comes from the callback before anything is sent.
    int Start(CsHandle* handle) override {
        if (callback_ == nullptr || !fits_) return CS_FAILED;
        return Advance(handle, nullptr, 0);
    }
    void Fill(CsRequestBody* b, bool first) override {
        b->token.first = first ? 1 : 0;
        std::memcpy(b->token.userId, userId_, sizeof userId_);
        b->token.length = nextLength_;
        b->token.token = reinterpret_cast<char*>(const_cast<unsigned char*>(next_));
    }
    Step OnReply(ReplyContext& c, CsReplyRecord& reply) override {
        const CsRepToken& r = reply.body.token;
        if (outUserId_ != nullptr) std::memcpy(outUserId_, r.userId, CS_USER_ID_SIZE);
        if (r.length == 0) return Step::kEnd;
        if (done_) {  // the client finished but the server goes on
            c.rc = CS_FAILED;
            return Step::kEnd;
        }
        int rc = Advance(c.handle, reinterpret_cast<const unsigned char*>(r.token), r.length);
        if (rc != CS_OK) {
            c.rc = rc;
            return Step::kEnd;
        }
        return Step::kSendAgain;
    }

private:
    int Advance(CsHandle* handle, const unsigned char* token, uint32_t length) {
        next_ = nullptr;
        nextLength_ = 0;
        int done = 0;
        if (callback_(handle, token, length, &next_, &nextLength_, &done) != 0) return CS_FAILED;
        done_ = done != 0;
        // A token the codec could not carry is refused here, not cut.
        if (nextLength_ > CS_XDR_TOKEN_MAX || (nextLength_ != 0 && next_ == nullptr)) return CS_FAILED;
        return CS_OK;
    }
    char userId_[CS_XDR_USERID_SIZE];
    bool fits_;
    char* outUserId_;
    CsTokenFn callback_;
    const unsigned char* next_ = nullptr;
    uint32_t nextLength_ = 0;
    bool done_ = false;
};

class ServerWord : public RequestArgs {
public:
    using RequestArgs::RequestArgs;
    void Fill(CsRequestBody*, bool) override {}
    Step OnReply(ReplyContext& c, CsReplyRecord& reply) override {
        c.handle->serverSession = reply.body.word.value;
        return Step::kEnd;
    }
};

template <class T>
std::unique_ptr<RequestArgs> Make(int code, va_list& a) {
    return std::unique_ptr<RequestArgs>(new (std::nothrow) T(code, a));
}

}  // namespace

int RequestArgs::ReplyWindow() const {
    switch (code_) {
        case 59: case 100: case 112: return 25;
        case 60: case 62: case 88: case 101: case 111: case 92: case 93: case 97: return 2;
        case 104: return 100;
        default: return 0;
    }
}

int RequestArgs::SendWindow(bool compressed) const {
    switch (code_) {
        case 54: case 87: case 91: case 95: case 96: return 2;
        case 92: case 93: case 97: case 104: return compressed ? 2500 : 50;
        default: return 0;
    }
}

std::unique_ptr<RequestArgs> ReadArguments(int code, va_list args, int* rc) {
    va_list a;
    va_copy(a, args);
    std::unique_ptr<RequestArgs> out;
    *rc = CS_OK;
    switch (code) {
        case 0: out = Make<Level>(code, a); break;
        case 3: out = Make<Logon>(code, a); break;
        case 4: case 5: out.reset(new (std::nothrow) NoBody(code)); break;
        case 8: out = Make<ChangePassword>(code, a); break;
        case 13: out = Make<UserList>(code, a); break;
        case 19: case 121: out = Make<FolderList>(code, a); break;
        case 20: out = Make<FolderGroups>(code, a); break;
        case 53: out = Make<StorageSet>(code, a); break;
        case 56: out = Make<UpdateIndex>(code, a); break;
        case 57: case 103: out = Make<AddIndexRow>(code, a); break;
        case 59: case 100: case 112: out = Make<Search>(code, a); break;
        case 60: case 101: out = Make<DocData>(code, a); break;
        case 62: out = Make<Resources>(code, a); break;
        case 64: out = Make<NodeInfo>(code, a); break;
        case 67: out = Make<AddNote>(code, a); break;
        case 69: out = Make<Notes>(code, a); break;
        case 73: out = Make<Queries>(code, a); break;
        case 74: out = Make<Segments>(code, a); break;
        case 78: out = Make<Printers>(code, a); break;
        case 84: out = Make<SystemParms>(code, a); break;
        case 86: out = Make<LoadInfo>(code, a); break;
        case 88: out = Make<SegmentData>(code, a); break;
        case 102: out = Make<DocObject>(code, a); break;
        case 108: out = Make<Token>(code, a); break;
        case 109: out.reset(new (std::nothrow) ServerWord(code)); break;
        case 54: case 87: case 91: case 92: case 93: case 95: case 96: case 97: case 104:
            out = ReadStreamArguments(code, a);
            break;
        default:
            va_end(a);
            *rc = CS_FAILED;
            return nullptr;
    }
    va_end(a);
    if (out == nullptr) *rc = CS_NO_MEMORY;
    return out;
}

}  // namespace csreq::detail

void CsFreeReplyEntry(int code, void* entry) {
    if (entry == nullptr) return;
    QelXdrProc proc = nullptr;
    switch (code) {
        case 9: case 13: proc = CsXdr_UserEntry; break;
        case 19: case 20: case 121: proc = CsXdr_Folder; break;
        case 53: proc = CsXdr_StorageSet; break;
        case 64: proc = CsXdr_NodeInfo; break;
        case 69: proc = CsXdr_Note; break;
        case 73: proc = CsXdr_NamedQuery; break;
        case 74: case 110: proc = CsXdr_Segment; break;
        case 78: proc = CsXdr_Printer; break;
        case 84: proc = CsXdr_SystemParms; break;
        case 104: {
            // A value list: its first item is the entry; the list frees every item.
            auto* list = static_cast<CsXdrValueItem*>(entry);
            QelXdr xdr{};
            xdr.op = QELXDR_FREE;
            CsXdr_ValueList(&xdr, &list);
            return;
        }
        default: break;
    }
    if (proc != nullptr) QelXdr_Free(proc, entry);
    std::free(entry);
}
