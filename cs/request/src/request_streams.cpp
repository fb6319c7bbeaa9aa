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
    // Marks a message first or not; a later message carries the piece fetched for it and
    // nothing else. True when `b` is such a later message.
    template <class Body>
    bool FillLater(Body& b, bool first) const {
        b.first = first ? 1 : 0;
        if (first) return false;
        b.data = const_cast<char*>(chunk_);
        b.dataLength = length_;
        return true;
    }

private:
    std::optional<DataSource> data_;
    const char* chunk_ = nullptr;
    uint32_t length_ = 0;
};

class Store : public RequestArgs {
public:
    Store(int code, va_list& a) : RequestArgs(code) {
        group_ = va_arg(a, CsXdrApplGroup*);
        block_ = va_arg(a, CsXdrHitRow*);
        primary_ = va_arg(a, CsXdrNodeEntry*);
        secondary_ = va_arg(a, CsXdrNodeEntry*);
        object_ = va_arg(a, CsXdrObjectRef*);
        value_ = va_arg(a, int64_t);
        flag1_ = static_cast<uint8_t>(va_arg(a, int));
        flag2_ = static_cast<uint8_t>(va_arg(a, int));
        word_ = va_arg(a, uint32_t);
        source_ = va_arg(a, CsSourceFn);
        outObject_ = va_arg(a, CsXdrObjectRef*);
        if (object_ == nullptr) {
            object_ = &plainObject_;
            plainObject_.compression = 'N';
        }
    }
    int Prepare(CsHandle* handle, bool first, bool* last) override {
        *last = false;
        if (!first) return data_.Next(last);
        char letter = object_->compression;
        int rc = data_.Begin(handle, source_, &letter);
        if (rc == CS_OK) object_->compression = letter;  // how the object is stored
        return rc;
    }
    void Fill(CsRequestBody* body, bool first) override {
        CsReqStore& b = body->store;
        if (data_.FillLater(b, first)) return;
        b.group = group_;
        b.block = block_;
        b.primary = primary_;
        b.secondary = secondary_;
        b.object = object_;
        b.value = value_;
        b.flag1 = flag1_;
        b.flag2 = flag2_;
        b.word = word_;
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
    CsXdrApplGroup* group_;
    CsXdrHitRow* block_;
    CsXdrNodeEntry* primary_;
    CsXdrNodeEntry* secondary_;
    CsXdrObjectRef* object_;
    CsXdrObjectRef plainObject_{};
    int64_t value_;
    uint8_t flag1_;
    uint8_t flag2_;
    uint32_t word_;
    CsSourceFn source_;
    CsXdrObjectRef* outObject_;
    Streamed data_;
};

class StoreObject : public RequestArgs {
public:
    StoreObject(int code, va_list& a) : RequestArgs(code) {
        group_ = va_arg(a, CsXdrApplGroup*);
        primary_ = va_arg(a, CsXdrNodeEntry*);
        secondary_ = va_arg(a, CsXdrNodeEntry*);
        location_ = static_cast<uint8_t>(va_arg(a, int));
        object_ = va_arg(a, CsXdrObjectRef*);
        flag_ = static_cast<uint8_t>(va_arg(a, int));
        value_ = va_arg(a, int64_t);
        source_ = va_arg(a, CsSourceFn);
        outWord_ = va_arg(a, uint32_t*);
        letter_ = object_ != nullptr ? object_->compression : 'N';
    }
    int Prepare(CsHandle* handle, bool first, bool* last) override {
        *last = false;
        if (!first) return data_.Next(last);
        int rc = data_.Begin(handle, source_, &letter_);
        if (rc == CS_OK && object_ != nullptr) object_->compression = letter_;
        return rc;
    }
    void Fill(CsRequestBody* body, bool first) override {
        CsReqStoreObject& b = body->storeObject;
        if (data_.FillLater(b, first)) return;
        b.group = group_;
        b.primary = primary_;
        b.secondary = secondary_;
        b.location = location_;
        b.objectName = object_ != nullptr ? object_->name : nullptr;
        b.flag1 = static_cast<uint8_t>(letter_);
        b.flag2 = flag_;
        b.value = value_;
    }
    Step OnReply(ReplyContext&, CsReplyRecord& reply) override {
        if (outWord_ != nullptr) *outWord_ = reply.body.word.value;
        return Step::kEnd;
    }

private:
    CsXdrApplGroup* group_;
    CsXdrNodeEntry* primary_;
    CsXdrNodeEntry* secondary_;
    uint8_t location_;
    CsXdrObjectRef* object_;
    uint8_t flag_;
    int64_t value_;
    CsSourceFn source_;
    uint32_t* outWord_;
    char letter_;
    Streamed data_;
};

class LogMessage : public RequestArgs {
public:
    LogMessage(int code, va_list& a) : RequestArgs(code) {
        messageNumber_ = va_arg(a, uint32_t);
        objectCount_ = static_cast<uint16_t>(va_arg(a, int));
        objects_ = va_arg(a, CsXdrObjectRef*);
        object_ = va_arg(a, CsXdrObjectRef*);
        letter_ = static_cast<char>(va_arg(a, int));
        word_ = va_arg(a, uint32_t);
        source_ = va_arg(a, CsSourceFn);
    }
    LogMessage(uint32_t messageNumber, char letter, uint32_t word, CsSourceFn source, void* context)
        : RequestArgs(91), messageNumber_(messageNumber), objectCount_(0), objects_(nullptr),
          object_(nullptr), letter_(letter), word_(word), source_(source), context_(context) {}
    int Prepare(CsHandle* handle, bool first, bool* last) override {
        *last = false;
        return first ? data_.Begin(handle, source_, &letter_, context_) : data_.Next(last);
    }
    void Fill(CsRequestBody* body, bool first) override {
        CsReqLogMessage& b = body->logMessage;
        if (data_.FillLater(b, first)) return;
        b.messageNumber = messageNumber_;
        b.objectCount = objects_ != nullptr ? objectCount_ : 0;
        b.objects = objects_;
        b.object = object_;
        b.byte = static_cast<uint8_t>(letter_);
        b.word = word_;
    }
    Step OnReply(ReplyContext&, CsReplyRecord&) override { return Step::kEnd; }

private:
    uint32_t messageNumber_;
    uint16_t objectCount_;
    CsXdrObjectRef* objects_;
    CsXdrObjectRef* object_;
    char letter_;
    uint32_t word_;
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
        if (code == 104) {
            values_ = va_arg(a, CsXdrValueItem*);
            callback_ = va_arg(a, CsEntryFn);
        } else {
            endByte_ = static_cast<uint8_t>(va_arg(a, int));
        }
    }
    int Prepare(CsHandle* handle, bool, bool* last) override {
        int rc = items_.Fetch(handle);
        *last = items_.End();
        return rc;
    }
    void Fill(CsRequestBody* body, bool) override { items_.Fill(&body->hitItems, endByte_, values_); }
    const CsXdrApplGroup* RequestGroup() const override { return items_.Typing(); }
    Step OnReply(ReplyContext& c, CsReplyRecord& reply) override {
        if (Code() != 104) return Step::kEnd;
        // One list of values per matching hit; an empty one ends the answer.
        CsXdrValueItem* list = reply.body.values.items;
        if (list == nullptr) return Step::kEnd;
        reply.body.values.items = nullptr;
        if (callback_ == nullptr || callback_(c.handle->callbackContext, list) != 0) CsFreeReplyEntry(104, list);
        return Step::kNext;
    }

private:
    ItemFeeder items_;
    uint8_t endByte_ = 0;
    CsXdrValueItem* values_ = nullptr;
    CsEntryFn callback_ = nullptr;
};

class ServerPrint : public RequestArgs {
public:
    ServerPrint(int code, va_list& a) : RequestArgs(code), items_(nullptr) {
        print_ = va_arg(a, CsXdrPrintRequest*);
        text_ = va_arg(a, const char*);
        count_ = static_cast<uint16_t>(va_arg(a, int));
        entries_ = va_arg(a, CsXdrTextEntry*);
        items_ = ItemFeeder(va_arg(a, CsHitItemFn));
        endByte_ = static_cast<uint8_t>(va_arg(a, int));
    }
    int Prepare(CsHandle* handle, bool first, bool* last) override {
        *last = false;
        if (first) return CS_OK;  // the print request; the items follow
        int rc = items_.Fetch(handle);
        *last = items_.End();
        return rc;
    }
    void Fill(CsRequestBody* body, bool first) override {
        CsReqServerPrint& b = body->serverPrint;
        b.first = first ? 1 : 0;
        if (!first) {
            items_.Fill(&b.items, endByte_, nullptr);
            return;
        }
        b.print = print_;
        b.text = const_cast<char*>(text_);
        b.count = entries_ != nullptr ? count_ : 0;
        b.entries = entries_;
    }
    const CsXdrApplGroup* RequestGroup() const override { return items_.Typing(); }
    Step OnReply(ReplyContext&, CsReplyRecord&) override { return Step::kEnd; }

private:
    CsXdrPrintRequest* print_;
    const char* text_;
    uint16_t count_;
    CsXdrTextEntry* entries_;
    ItemFeeder items_;
    uint8_t endByte_;
};

template <class T>
std::unique_ptr<RequestArgs> Make(int code, va_list& a) {
    return std::unique_ptr<RequestArgs>(new (std::nothrow) T(code, a));
}

}  // namespace

std::unique_ptr<RequestArgs> MakeLogMessage(uint32_t messageNumber, char letter, uint32_t word,
                                            CsSourceFn source, void* context) {
    return std::unique_ptr<RequestArgs>(new (std::nothrow)
                                            LogMessage(messageNumber, letter, word, source, context));
}

std::unique_ptr<RequestArgs> ReadStreamArguments(int code, va_list& a) {
    switch (code) {
        case 54: case 95: case 96: return Make<Store>(code, a);
        case 87: return Make<StoreObject>(code, a);
        case 91: return Make<LogMessage>(code, a);
        case 92: case 97: case 104: return Make<HitItems>(code, a);
        case 93: return Make<ServerPrint>(code, a);
        default: return nullptr;
    }
}

}  // namespace csreq::detail
