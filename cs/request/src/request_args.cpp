// The arguments of each request code, read once from the caller's argument list into
// the wire body of the request, and what each code does with its replies.
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

// The unsigned byte of an argument passed as int.
uint8_t ByteArg(va_list& a) { return static_cast<uint8_t>(va_arg(a, int)); }

// Requests without arguments: the body is empty, the server's result is the answer.
class NoBody : public RequestArgs {
public:
    NoBody(int code, va_list&) : RequestArgs(code) {}
};

class Level : public RequestArgs {
public:
    Level(int code, va_list& a) : RequestArgs(code) { body_.level.level = va_arg(a, int32_t); }
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
        CsReqLogon& b = body_.logon;
        fits_ = CopyText(b.userId, sizeof b.userId, va_arg(a, const char*));
        fits_ = CopyText(b.password, sizeof b.password, va_arg(a, const char*)) && fits_;
        out_ = va_arg(a, CsXdrUserRecord*);
    }
    int Start(CsHandle*) override { return fits_ ? CS_OK : CS_FAILED; }
    ~Logon() override { std::memset(body_.logon.password, 0, sizeof body_.logon.password); }
    Step OnReply(ReplyContext& c, CsReplyRecord& reply) override;

private:
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
        CsReqChangePassword& b = body_.changePassword;
        b.user = va_arg(a, CsXdrUserRecord*);
        fits_ = CopyText(b.newPassword, sizeof b.newPassword, va_arg(a, const char*));
        b.hasNewPassword = va_arg(a, int) != 0 ? 1 : 0;
        reason_ = va_arg(a, uint32_t*);
    }
    int Start(CsHandle*) override { return fits_ ? CS_OK : CS_FAILED; }
    ~ChangePassword() override {
        std::memset(body_.changePassword.newPassword, 0, sizeof body_.changePassword.newPassword);
    }
    Step OnReply(ReplyContext&, CsReplyRecord& reply) override {
        CsXdrUserRecord* user = body_.changePassword.user;
        if (reply.result == CS_OK && user != nullptr) *user = reply.body.user.user;
        if (reason_ != nullptr) *reason_ = reply.body.user.word;
        return Step::kEnd;
    }

private:
    bool fits_;
    uint32_t* reason_;
};

class UserList : public RequestArgs {
public:
    UserList(int code, va_list& a) : RequestArgs(code) {
        CsReqUserList& b = body_.userList;
        b.name = const_cast<char*>(va_arg(a, const char*));
        b.number = va_arg(a, uint32_t);
        b.groupFilter = va_arg(a, uint32_t);
        b.userFilter = const_cast<char*>(va_arg(a, const char*));
        callback_ = va_arg(a, CsEntryFn);
    }
    Step OnReply(ReplyContext& c, CsReplyRecord& reply) override {
        if (reply.body.userEntry.entry == nullptr) return Step::kEnd;
        HandOver(Code(), callback_, Context(c), &reply.body.userEntry.entry);
        return Step::kNext;
    }

private:
    CsEntryFn callback_;
};

class FolderList : public RequestArgs {
public:
    FolderList(int code, va_list& a) : RequestArgs(code) {
        CsReqFolderList& b = body_.folderList;
        b.pattern = const_cast<char*>(va_arg(a, const char*));
        b.selection1 = const_cast<char*>(va_arg(a, const char*));
        b.selection2 = const_cast<char*>(va_arg(a, const char*));
        b.flags = ByteArg(a);
        final_ = va_arg(a, uint32_t*);
        callback_ = va_arg(a, CsEntryFn);
    }
    Step OnReply(ReplyContext& c, CsReplyRecord& reply) override {
        // An older server answers the substituted code, which has no final word.
        if (reply.code == CS_REQ_FOLDER_LIST && final_ != nullptr) *final_ = reply.body.folderEntry.final;
        if (reply.body.folderEntry.folder == nullptr) return Step::kEnd;
        HandOver(Code(), callback_, Context(c), &reply.body.folderEntry.folder);
        return Step::kNext;
    }

private:
    uint32_t* final_;
    CsEntryFn callback_;
};

class FolderGroups : public RequestArgs {
public:
    FolderGroups(int code, va_list& a) : RequestArgs(code) {
        CsReqFolderGroups& b = body_.folderGroups;
        b.folderNumber = va_arg(a, uint32_t);
        name_.text = const_cast<char*>(va_arg(a, const char*));
        b.nameCount = name_.text ? 1 : 0;
        b.names = name_.text ? &name_ : nullptr;
        out_ = va_arg(a, CsXdrFolder**);
    }
    Step OnReply(ReplyContext&, CsReplyRecord& reply) override {
        MoveOut(Code(), out_, &reply.body.folder.folder);
        return Step::kEnd;
    }

private:
    CsXdrTextEntry name_{};  // the body's one-entry array
    CsXdrFolder** out_;
};

class StorageSet : public RequestArgs {
public:
    StorageSet(int code, va_list& a) : RequestArgs(code) {
        body_.number.number = va_arg(a, uint32_t);
        out_ = va_arg(a, CsXdrStorageSet**);
    }
    Step OnReply(ReplyContext&, CsReplyRecord& reply) override {
        MoveOut(Code(), out_, &reply.body.storageSet.set);
        return Step::kEnd;
    }

private:
    CsXdrStorageSet** out_;
};

class UpdateIndex : public RequestArgs {
public:
    UpdateIndex(int code, va_list& a) : RequestArgs(code) {
        CsReqUpdateIndex& b = body_.updateIndex;
        b.group = va_arg(a, CsXdrApplGroup*);
        b.oldHit = va_arg(a, CsXdrHitRow*);
        b.newHit = va_arg(a, CsXdrHitRow*);
    }
};

class AddIndexRow : public RequestArgs {
public:
    AddIndexRow(int code, va_list& a) : RequestArgs(code) {
        CsReqAddIndexRow& b = body_.addIndexRow;
        b.group = va_arg(a, CsXdrApplGroup*);
        b.block = va_arg(a, CsXdrHitRow*);
        CsXdrValueItem* rows = va_arg(a, CsXdrValueItem*);
        b.rows = code == CS_REQ_ADD_INDEX_ROW ? rows : nullptr;
        b.result = va_arg(a, CsXdrIndexResult*);
        b.segment = va_arg(a, CsXdrSegment*);
        word_ = va_arg(a, uint32_t*);
        b.word = word_ ? *word_ : 0;
    }
    const CsXdrApplGroup* ReplyGroup() const override { return body_.addIndexRow.group; }
    Step OnReply(ReplyContext&, CsReplyRecord& reply) override {
        const CsReqAddIndexRow& b = body_.addIndexRow;
        if (b.result != nullptr) *b.result = reply.body.indexRow.result;
        if (b.segment != nullptr) *b.segment = reply.body.indexRow.segment;
        if (word_ != nullptr) *word_ = reply.body.indexRow.word;
        return Step::kEnd;
    }

private:
    uint32_t* word_;  // in: sent; out: the server's word
};

class Search : public RequestArgs {
public:
    Search(int code, va_list& a) : RequestArgs(code) {
        CsReqSearch& b = body_.search;
        b.group = va_arg(a, CsXdrApplGroup*);
        b.where = const_cast<char*>(va_arg(a, const char*));
        b.range = va_arg(a, CsXdrCriteria*);
        b.flags = ByteArg(a);
        b.noteFilter = va_arg(a, CsXdrValueItem*);
        b.noteLetter = ByteArg(a);
        b.textSearch = va_arg(a, CsXdrValueItem*);
        callback_ = va_arg(a, CsHitFn);
    }
    const CsXdrApplGroup* ReplyGroup() const override { return body_.search.group; }
    Step OnReply(ReplyContext& c, CsReplyRecord& reply) override {
        CsXdrHitRow* hit = reply.body.hit.hit;
        if (hit == nullptr) return Step::kEnd;
        if (callback_ != nullptr && callback_(Context(c), hit) == 0) return Step::kBreakOff;
        return Step::kNext;
    }

private:
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
        CsReqDocData& b = body_.docData;
        b.group = va_arg(a, CsXdrApplGroup*);
        b.hit = va_arg(a, CsXdrHitRow*);
        b.appl = va_arg(a, CsXdrApplEntry*);
        b.node = va_arg(a, CsXdrNodeEntry*);
        b.nodes = va_arg(a, CsXdrNodeInfo*);
        for (uint8_t& flag : b.flags) flag = ByteArg(a);
        bufferSize_ = va_arg(a, uint32_t);
        callback_ = va_arg(a, CsDataFnC);
        context_ = va_arg(a, void*);
        location_ = va_arg(a, uint8_t*);
        second_ = va_arg(a, uint8_t*);
    }
    const CsXdrApplGroup* ReplyGroup() const override { return body_.docData.group; }

private:
    void OnEnd(const CsReplyRecord& reply) override {
        if (location_ != nullptr) *location_ = reply.body.data.location;
        if (second_ != nullptr && reply.code == CS_REQ_DOC_DATA) *second_ = reply.body.data.second;
    }
    uint8_t* location_;
    uint8_t* second_;
};

class Resources : public DataReceiver {
public:
    Resources(int code, va_list& a) : DataReceiver(code) {
        CsReqResources& b = body_.resources;
        b.group = va_arg(a, CsXdrApplGroup*);
        b.node = va_arg(a, CsXdrNodeEntry*);
        b.flags = ByteArg(a);
        b.nodes = va_arg(a, CsXdrNodeInfo*);
        bufferSize_ = va_arg(a, uint32_t);
        callback_ = va_arg(a, CsDataFnC);
        context_ = va_arg(a, void*);
    }
};

class NodeInfo : public RequestArgs {
public:
    NodeInfo(int code, va_list& a) : RequestArgs(code) {
        body_.storageNodes.groupNumber = va_arg(a, uint32_t);
        body_.storageNodes.nodeNumber = static_cast<uint16_t>(va_arg(a, int));
        out_ = va_arg(a, CsXdrNodeInfo**);
    }
    Step OnReply(ReplyContext&, CsReplyRecord& reply) override {
        MoveOut(Code(), out_, &reply.body.nodeInfo.info);
        return Step::kEnd;
    }

private:
    CsXdrNodeInfo** out_;
};

class SystemParms : public RequestArgs {
public:
    SystemParms(int code, va_list& a) : RequestArgs(code), out_(va_arg(a, CsXdrSystemParms**)) {}
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
        CsReqNote& b = body_.note;
        b.group = va_arg(a, CsXdrApplGroup*);
        b.hit = va_arg(a, CsXdrHitRow*);
        b.note = va_arg(a, CsXdrNote*);
        words_ = va_arg(a, uint32_t*);
    }
    Step OnReply(ReplyContext&, CsReplyRecord& reply) override {
        if (words_ != nullptr) {
            words_[0] = reply.body.noteWords.words[0];
            words_[1] = reply.body.noteWords.words[1];
        }
        return Step::kEnd;
    }

private:
    uint32_t* words_;
};

class Notes : public RequestArgs {
public:
    Notes(int code, va_list& a) : RequestArgs(code) {
        CsReqNotes& b = body_.notes;
        b.groupNumber = va_arg(a, uint32_t);
        b.object = va_arg(a, CsXdrObjectRef*);
        b.word = va_arg(a, uint32_t);
        callback_ = va_arg(a, CsEntryFn);
        count_ = va_arg(a, uint8_t*);
        if (count_ != nullptr) *count_ = 0;
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
    CsEntryFn callback_;
    uint8_t* count_;
};

class Queries : public RequestArgs {
public:
    Queries(int code, va_list& a) : RequestArgs(code) {
        CsReqQueries& b = body_.queries;
        b.folderNumber = va_arg(a, uint32_t);
        b.userNumber = va_arg(a, uint32_t);
        const auto count = static_cast<uint16_t>(va_arg(a, int));
        b.entries = va_arg(a, CsXdrTextEntry*);
        b.count = b.entries ? count : 0;
        callback_ = va_arg(a, CsEntryFn);
    }
    Step OnReply(ReplyContext& c, CsReplyRecord& reply) override {
        if (reply.body.query.query == nullptr) return Step::kEnd;
        HandOver(Code(), callback_, Context(c), &reply.body.query.query);
        return Step::kNext;
    }

private:
    CsEntryFn callback_;
};

class Segments : public RequestArgs {
public:
    Segments(int code, va_list& a) : RequestArgs(code) {
        CsReqNumbers& b = body_.numbers;
        const auto count = static_cast<uint16_t>(va_arg(a, int));
        b.numbers = va_arg(a, uint32_t*);
        b.count = b.numbers ? count : 0;
        callback_ = va_arg(a, CsEntryFn);
    }
    Step OnReply(ReplyContext& c, CsReplyRecord& reply) override {
        if (reply.body.segment.segment == nullptr) return Step::kEnd;
        HandOver(Code(), callback_, Context(c), &reply.body.segment.segment);
        return Step::kNext;
    }

private:
    CsEntryFn callback_;
};

class Printers : public RequestArgs {
public:
    Printers(int code, va_list& a) : RequestArgs(code), callback_(va_arg(a, CsEntryFn)) {}
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
        body_.loadInfo.groupNumber = va_arg(a, uint32_t);
        out_ = va_arg(a, char*);
        size_ = va_arg(a, size_t);
    }
    Step OnReply(ReplyContext& c, CsReplyRecord& reply) override {
        const char* text = reply.body.text.text ? reply.body.text.text : "";
        if (out_ != nullptr && size_ > 0) {
            // Never cut: a cut load text would name another load.
            if (CsSetText(out_, size_, text) != CS_OK) c.rc = CS_FAILED;
        }
        return Step::kEnd;
    }

private:
    char* out_;
    size_t size_;
};

class SegmentData : public RequestArgs {
public:
    SegmentData(int code, va_list& a) : RequestArgs(code) {
        CsReqSegmentData& b = body_.segmentData;
        b.group = va_arg(a, CsXdrApplGroup*);
        b.primary = va_arg(a, CsXdrNodeEntry*);
        b.secondary = va_arg(a, CsXdrNodeEntry*);
        b.location = ByteArg(a);
        b.objectName = const_cast<char*>(va_arg(a, const char*));
        b.words[0] = va_arg(a, uint32_t);
        b.words[1] = va_arg(a, uint32_t);
        callback_ = va_arg(a, CsSegmentFn);
        context_ = va_arg(a, void*);
    }
    Step OnReply(ReplyContext&, CsReplyRecord& reply) override {
        const CsXdrDataPiece* piece = reply.body.data.piece;
        if (piece == nullptr) return Step::kEnd;
        if (callback_ != nullptr)
            callback_(context_, piece->position, piece->letter, piece->data, piece->length);
        return Step::kNext;
    }

private:
    CsSegmentFn callback_;
    void* context_;
};

class DocObject : public RequestArgs {
public:
    DocObject(int code, va_list& a) : RequestArgs(code) {
        CsReqDocObject& b = body_.docObject;
        b.group = va_arg(a, CsXdrApplGroup*);
        b.primary = va_arg(a, CsXdrNodeEntry*);
        b.secondary = va_arg(a, CsXdrNodeEntry*);
        b.location = ByteArg(a);
        b.hit = va_arg(a, CsXdrHitRow*);
        b.text = const_cast<char*>(va_arg(a, const char*));
        b.words[0] = va_arg(a, uint32_t);
        b.words[1] = va_arg(a, uint32_t);
        answer_ = va_arg(a, uint8_t*);
        word_ = va_arg(a, uint32_t*);
    }
    Step OnReply(ReplyContext&, CsReplyRecord& reply) override {
        if (answer_ != nullptr) *answer_ = reply.body.docObject.answer;
        if (word_ != nullptr) *word_ = reply.body.docObject.word;
        return Step::kEnd;
    }

private:
    uint8_t* answer_;
    uint32_t* word_;
};

// The security token exchange: each server token goes to the callback, whose answer
// is the next message, until the server sends no further token.
class Token : public RequestArgs {
public:
    Token(int code, va_list& a) : RequestArgs(code) {
        fits_ = CopyText(body_.token.userId, sizeof body_.token.userId, va_arg(a, const char*));
        outUserId_ = va_arg(a, char*);
        callback_ = va_arg(a, CsTokenFn);
    }
    // The first token comes from the callback before anything is sent.
    int Start(CsHandle* handle) override {
        if (callback_ == nullptr || !fits_) return CS_FAILED;
        return Advance(handle, nullptr, 0);
    }
    void Fill(CsRequestBody* b, bool first) override {
        body_.token.first = first ? 1 : 0;
        *b = body_;
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
    // The callback's next token becomes the body of the next message.
    int Advance(CsHandle* handle, const unsigned char* token, uint32_t length) {
        const unsigned char* next = nullptr;
        uint32_t nextLength = 0;
        body_.token.token = nullptr;
        body_.token.length = 0;
        int done = 0;
        if (callback_(handle, token, length, &next, &nextLength, &done) != 0) return CS_FAILED;
        done_ = done != 0;
        // A token the codec could not carry is refused here, not cut.
        if (nextLength > CS_XDR_TOKEN_MAX || (nextLength != 0 && next == nullptr)) return CS_FAILED;
        body_.token.token = reinterpret_cast<char*>(const_cast<unsigned char*>(next));
        body_.token.length = nextLength;
        return CS_OK;
    }
    bool fits_;
    char* outUserId_;
    CsTokenFn callback_;
    bool done_ = false;
};

class ServerWord : public RequestArgs {
public:
    ServerWord(int code, va_list&) : RequestArgs(code) {}
    Step OnReply(ReplyContext& c, CsReplyRecord& reply) override {
        c.handle->serverSession = reply.body.word.value;
        return Step::kEnd;
    }
};

}  // namespace

int ReadNoBody(int code, va_list& a, ArgsPtr* out) { return Construct<NoBody>(code, a, out); }
int ReadLevel(int code, va_list& a, ArgsPtr* out) { return Construct<Level>(code, a, out); }
int ReadLogon(int code, va_list& a, ArgsPtr* out) { return Construct<Logon>(code, a, out); }
int ReadChangePassword(int code, va_list& a, ArgsPtr* out) { return Construct<ChangePassword>(code, a, out); }
int ReadUserList(int code, va_list& a, ArgsPtr* out) { return Construct<UserList>(code, a, out); }
int ReadFolderList(int code, va_list& a, ArgsPtr* out) { return Construct<FolderList>(code, a, out); }
int ReadFolderGroups(int code, va_list& a, ArgsPtr* out) { return Construct<FolderGroups>(code, a, out); }
int ReadStorageSet(int code, va_list& a, ArgsPtr* out) { return Construct<StorageSet>(code, a, out); }
int ReadUpdateIndex(int code, va_list& a, ArgsPtr* out) { return Construct<UpdateIndex>(code, a, out); }
int ReadAddIndexRow(int code, va_list& a, ArgsPtr* out) { return Construct<AddIndexRow>(code, a, out); }
int ReadSearch(int code, va_list& a, ArgsPtr* out) { return Construct<Search>(code, a, out); }
int ReadDocData(int code, va_list& a, ArgsPtr* out) { return Construct<DocData>(code, a, out); }
int ReadResources(int code, va_list& a, ArgsPtr* out) { return Construct<Resources>(code, a, out); }
int ReadNodeInfo(int code, va_list& a, ArgsPtr* out) { return Construct<NodeInfo>(code, a, out); }
int ReadSystemParms(int code, va_list& a, ArgsPtr* out) { return Construct<SystemParms>(code, a, out); }
int ReadAddNote(int code, va_list& a, ArgsPtr* out) { return Construct<AddNote>(code, a, out); }
int ReadNotes(int code, va_list& a, ArgsPtr* out) { return Construct<Notes>(code, a, out); }
int ReadQueries(int code, va_list& a, ArgsPtr* out) { return Construct<Queries>(code, a, out); }
int ReadSegments(int code, va_list& a, ArgsPtr* out) { return Construct<Segments>(code, a, out); }
int ReadPrinters(int code, va_list& a, ArgsPtr* out) { return Construct<Printers>(code, a, out); }
int ReadLoadInfo(int code, va_list& a, ArgsPtr* out) { return Construct<LoadInfo>(code, a, out); }
int ReadSegmentData(int code, va_list& a, ArgsPtr* out) { return Construct<SegmentData>(code, a, out); }
int ReadDocObject(int code, va_list& a, ArgsPtr* out) { return Construct<DocObject>(code, a, out); }
int ReadToken(int code, va_list& a, ArgsPtr* out) { return Construct<Token>(code, a, out); }
int ReadServerWord(int code, va_list& a, ArgsPtr* out) { return Construct<ServerWord>(code, a, out); }

}  // namespace csreq::detail
