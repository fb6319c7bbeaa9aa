// The requests that stream data to the server after their first message: stores (54,
// 95, 96, 87), the log message (91), and the hit items of 92, 93, 97 and 104, each
// item fetched from the caller's source just before its message goes out.
#include <cstring>
#include <new>
#include <optional>

#include "data_source.h"
#include "dispatcher_detail.h"

namespace csreq::detail {
namespace {

// Data from a source callback, with the letter it travels with.
class Streamed {
public:
    // The first message: fetches the first piece and settles the letter. The source is
    // called with the handle's callback context unless the request brings its own.
    int Begin(CsHandle* handle, CsSourceFn source, char* letter, void* context = nullptr) {
        data_.emplace(source, context != nullptr ? context : handle->callbackContext);
        return data_->Begin(letter);
    }
    int Next(bool* last) { return data_->Next(&chunk_, &length_, last); }
    // A data message carries the piece fetched for it and nothing else.
    template <class Body>
    void FillData(Body& b) const {
        b.first = 0;
        b.data = const_cast<char*>(chunk_);
        b.dataLength = length_;
    }

private:
    std::optional<DataSource> data_;
    const char* chunk_ = nullptr;
    uint32_t length_ = 0;
};

class Store : public RequestArgs {
public:
    Store(int code, va_list& a) : RequestArgs(code) {
        CsReqStore& b = body_.store;
        b.first = 1;
        b.group = va_arg(a, CsXdrApplGroup*);
        b.block = va_arg(a, CsXdrHitRow*);
        b.primary = va_arg(a, CsXdrNodeEntry*);
        b.secondary = va_arg(a, CsXdrNodeEntry*);
        b.object = va_arg(a, CsXdrObjectRef*);
        b.value = va_arg(a, int64_t);
        b.flag1 = static_cast<uint8_t>(va_arg(a, int));
        b.flag2 = static_cast<uint8_t>(va_arg(a, int));
        b.word = va_arg(a, uint32_t);
        source_ = va_arg(a, CsSourceFn);
        outObject_ = va_arg(a, CsXdrObjectRef*);
        if (b.object == nullptr) {
            b.object = &plainObject_;
            plainObject_.compression = 'N';
        }
    }
    int Prepare(CsHandle* handle, bool first, bool* last) override {
        *last = false;
        if (!first) return data_.Next(last);
        CsXdrObjectRef* object = body_.store.object;
        char letter = object->compression;
        int rc = data_.Begin(handle, source_, &letter);
        if (rc == CS_OK) object->compression = letter;  // how the object is stored
        return rc;
    }
    void Fill(CsRequestBody* body, bool first) override {
        if (first)
            *body = body_;
        else
            data_.FillData(body->store);
    }
    Step OnReply(ReplyContext&, CsReplyRecord& reply) override {
        if (outObject_ != nullptr) {
            // The name moves to the caller, who frees it.
            *outObject_ = reply.body.object.object;
            reply.body.object.object.name = nullptr;
        }
        return Step::kEnd;
    }

private:
    CsXdrObjectRef plainObject_{};  // the object of a caller who names none
    CsSourceFn source_;
    CsXdrObjectRef* outObject_;
    Streamed data_;
};

class StoreObject : public RequestArgs {
public:
    StoreObject(int code, va_list& a) : RequestArgs(code) {
        CsReqStoreObject& b = body_.storeObject;
        b.first = 1;
        b.group = va_arg(a, CsXdrApplGroup*);
        b.primary = va_arg(a, CsXdrNodeEntry*);
        b.secondary = va_arg(a, CsXdrNodeEntry*);
        b.location = static_cast<uint8_t>(va_arg(a, int));
        object_ = va_arg(a, CsXdrObjectRef*);
        b.objectName = object_ != nullptr ? object_->name : nullptr;
        b.flag2 = static_cast<uint8_t>(va_arg(a, int));
        b.value = va_arg(a, int64_t);
        source_ = va_arg(a, CsSourceFn);
        outWord_ = va_arg(a, uint32_t*);
        letter_ = object_ != nullptr ? object_->compression : 'N';
    }
    int Prepare(CsHandle* handle, bool first, bool* last) override {
        *last = false;
        if (!first) return data_.Next(last);
        int rc = data_.Begin(handle, source_, &letter_);
        if (rc == CS_OK && object_ != nullptr) object_->compression = letter_;
        body_.storeObject.flag1 = static_cast<uint8_t>(letter_);  // the letter the data travels in
        return rc;
    }
    void Fill(CsRequestBody* body, bool first) override {
        if (first)
            *body = body_;
        else
            data_.FillData(body->storeObject);
    }
    Step OnReply(ReplyContext&, CsReplyRecord& reply) override {
        if (outWord_ != nullptr) *outWord_ = reply.body.word.value;
        return Step::kEnd;
    }

private:
    CsXdrObjectRef* object_;
    CsSourceFn source_;
    uint32_t* outWord_;
    char letter_;
    Streamed data_;
};

class LogMessage : public RequestArgs {
public:
    LogMessage(int code, va_list& a) : RequestArgs(code) {
        CsReqLogMessage& b = body_.logMessage;
        b.messageNumber = va_arg(a, uint32_t);
        const auto count = static_cast<uint16_t>(va_arg(a, int));
        b.objects = va_arg(a, CsXdrObjectRef*);
        b.objectCount = b.objects != nullptr ? count : 0;
        b.object = va_arg(a, CsXdrObjectRef*);
        letter_ = static_cast<char>(va_arg(a, int));
        b.word = va_arg(a, uint32_t);
        source_ = va_arg(a, CsSourceFn);
        b.first = 1;
    }
    LogMessage(uint32_t messageNumber, char letter, uint32_t word, CsSourceFn source, void* context)
        : RequestArgs(CS_REQ_LOG_MESSAGE), letter_(letter), source_(source), context_(context) {
        body_.logMessage.first = 1;
        body_.logMessage.messageNumber = messageNumber;
        body_.logMessage.word = word;
    }
    int Prepare(CsHandle* handle, bool first, bool* last) override {
        *last = false;
        if (!first) return data_.Next(last);
        int rc = data_.Begin(handle, source_, &letter_, context_);
        body_.logMessage.byte = static_cast<uint8_t>(letter_);  // the letter the data travels in
        return rc;
    }
    void Fill(CsRequestBody* body, bool first) override {
        if (first)
            *body = body_;
        else
            data_.FillData(body->logMessage);
    }

private:
    char letter_;
    CsSourceFn source_;
    void* context_ = nullptr;
    Streamed data_;
};

// The hit items of 92, 93, 97 and 104: one source call per message; a null hit ends
// the items and makes the closing message. A group the server has already seen (the
// same first word, its number) is not sent again.
class ItemFeeder {
public:
    explicit ItemFeeder(CsHitItemFn source) : source_(source) {}

    // 0 with the next item (or the end), 6 when the source fails or the first item
    // names no group.
    int Fetch(CsHandle* handle) {
        group_ = nullptr;
        appl_ = nullptr;
        hit_ = nullptr;
        word_ = 0;
        if (source_ == nullptr) return CS_OK;
        if (source_(handle->callbackContext, &group_, &appl_, &hit_, &word_) != 0) return CS_FAILED;
        if (hit_ != nullptr && group_ == nullptr && last_ == nullptr) return CS_FAILED;
        return CS_OK;
    }
    bool End() const { return hit_ == nullptr; }
    // Fills an item message or, after the last item, the closing message.
    void Fill(CsReqHitItems* b, uint8_t endByte, CsXdrValueItem* values) {
        if (End()) {
            b->more = 0;
            b->endWord = count_;
            b->endByte = endByte;
            b->values = values;
            typing_ = nullptr;
            return;
        }
        const bool known = group_ == nullptr || (last_ != nullptr && group_->number == last_->number);
        b->more = 1;
        b->word = ++count_;
        b->group = known ? nullptr : group_;
        b->appl = appl_;
        b->hit = hit_;
        b->word2 = word_;
        if (!known) last_ = group_;
        typing_ = last_;
    }
    // Types the hit row of a message that names no group.
    const CsXdrApplGroup* Typing() const { return typing_; }

private:
    CsHitItemFn source_;
    CsXdrApplGroup* group_ = nullptr;
    CsXdrApplEntry* appl_ = nullptr;
    CsXdrHitRow* hit_ = nullptr;
    uint32_t word_ = 0;
    uint32_t count_ = 0;
    const CsXdrApplGroup* last_ = nullptr;
    const CsXdrApplGroup* typing_ = nullptr;
};

class HitItems : public RequestArgs {
public:
    HitItems(int code, va_list& a) : RequestArgs(code), items_(va_arg(a, CsHitItemFn)) {
        // The closing message's fields; each item message is filled as it goes.
        if (code == CS_REQ_PROCESS_HITS) {
            body_.hitItems.values = va_arg(a, CsXdrValueItem*);
            callback_ = va_arg(a, CsEntryFn);
        } else {
            body_.hitItems.endByte = static_cast<uint8_t>(va_arg(a, int));
        }
    }
    int Prepare(CsHandle* handle, bool, bool* last) override {
        int rc = items_.Fetch(handle);
        *last = items_.End();
        return rc;
    }
    void Fill(CsRequestBody* body, bool) override {
        items_.Fill(&body->hitItems, body_.hitItems.endByte, body_.hitItems.values);
    }
    const CsXdrApplGroup* RequestGroup() const override { return items_.Typing(); }
    Step OnReply(ReplyContext& c, CsReplyRecord& reply) override {
        if (Code() != CS_REQ_PROCESS_HITS) return Step::kEnd;
        // One list of values per matching hit; an empty one ends the answer.
        CsXdrValueItem* list = reply.body.values.items;
        if (list == nullptr) return Step::kEnd;
        reply.body.values.items = nullptr;
        if (callback_ == nullptr || callback_(c.handle->callbackContext, list) != 0)
            CsFreeReplyEntry(CS_REQ_PROCESS_HITS, list);
        return Step::kNext;
    }

private:
    ItemFeeder items_;
    CsEntryFn callback_ = nullptr;
};

class ServerPrint : public RequestArgs {
public:
    ServerPrint(int code, va_list& a) : RequestArgs(code), items_(nullptr) {
        CsReqServerPrint& b = body_.serverPrint;
        b.first = 1;
        b.print = va_arg(a, CsXdrPrintRequest*);
        b.text = const_cast<char*>(va_arg(a, const char*));
        const auto count = static_cast<uint16_t>(va_arg(a, int));
        b.entries = va_arg(a, CsXdrTextEntry*);
        b.count = b.entries != nullptr ? count : 0;
        items_ = ItemFeeder(va_arg(a, CsHitItemFn));
        b.items.endByte = static_cast<uint8_t>(va_arg(a, int));
    }
    int Prepare(CsHandle* handle, bool first, bool* last) override {
        *last = false;
        if (first) return CS_OK;  // the print request; the items follow
        int rc = items_.Fetch(handle);
        *last = items_.End();
        return rc;
    }
    // The first message is the print request; the later ones carry the items.
    void Fill(CsRequestBody* body, bool first) override {
        if (first) {
            *body = body_;
            return;
        }
        body->serverPrint.first = 0;
        items_.Fill(&body->serverPrint.items, body_.serverPrint.items.endByte, nullptr);
    }
    const CsXdrApplGroup* RequestGroup() const override { return items_.Typing(); }

private:
    ItemFeeder items_;
};

}  // namespace

ArgsPtr MakeLogMessage(uint32_t messageNumber, char letter, uint32_t word, CsSourceFn source, void* context) {
    return ArgsPtr(new (std::nothrow) LogMessage(messageNumber, letter, word, source, context));
}

int ReadStore(int code, va_list& a, ArgsPtr* out) { return Construct<Store>(code, a, out); }
int ReadStoreObject(int code, va_list& a, ArgsPtr* out) { return Construct<StoreObject>(code, a, out); }
int ReadLogMessage(int code, va_list& a, ArgsPtr* out) { return Construct<LogMessage>(code, a, out); }
int ReadHitItems(int code, va_list& a, ArgsPtr* out) { return Construct<HitItems>(code, a, out); }
int ReadServerPrint(int code, va_list& a, ArgsPtr* out) { return Construct<ServerPrint>(code, a, out); }

}  // namespace csreq::detail
