// The data sink of a retrieval: hands the data to the gateway's consumer and, for a
// document whose data starts with page tables, reads those tables on the way.
#include "doc_internal.h"
#include "session_list.h"

namespace qelclient {

namespace {

// The retrieval that runs on this thread (a client exit feeds it).
thread_local DocSink* activeSink = nullptr;

void Hand(DocSink* sink, const unsigned char* data, size_t length) {
    if (sink->consumer == nullptr || sink->stopped) return;
    if (sink->consumer(sink->folder, data, length) != 0) return;
    // Blocks the request layer still hands on before it sees the interrupt are dropped.
    sink->stopped = true;
    Session_Interrupt(sink->session);
}

// Feeds the converter; a failure is kept and interrupts the session.
bool Convert(DocSink* sink, const unsigned char* data, size_t length) {
    ArcIconvContext* pages = sink->session != nullptr ? sink->session->handle.iconv : nullptr;
    const int rc = CsConvertDocument(pages, data, length, sink->converterStarted ? 0 : 1, &sink->tables);
    sink->converterStarted = true;
    if (rc == CS_OK) return true;
    sink->converterResult = rc;
    Session_Interrupt(sink->session);
    return false;
}

}  // namespace

DocSink::~DocSink() { CsFreeDocTables(tables, 1); }

int DocSinkData(void* context, const unsigned char* data, size_t length) {
    auto* sink = static_cast<DocSink*>(context);
    if (sink == nullptr) return 1;
    if (!sink->convert) {
        Hand(sink, data, length);
        sink->first = false;
        return 1;
    }
    if (sink->first) sink->converted = 0;
    sink->first = false;
    if (sink->converterResult != 0) return 1;
    const uint64_t remaining = sink->limit - sink->converted;
    if (remaining == 0) {
        Hand(sink, data, length);
    } else if (length < remaining) {
        sink->converted += length;
        if (!sink->skipTables) Convert(sink, data, length);
    } else {
        const auto head = static_cast<size_t>(remaining);
        sink->converted = sink->limit;
        if (sink->skipTables || Convert(sink, data, head)) Hand(sink, data + head, length - head);
    }
    return 1;
}

void SinkEnter(DocSink* sink) {
    ClientSession* session = sink->session;
    session->requestRunning = 1;
    if (sink->callbackId != 0) {
        Client_SetCallbackWord(sink->callbackId);
        session->handle.yield = CsYieldControlCallback;
    }
    activeSink = sink;
}

void SinkLeave(DocSink* sink) {
    ClientSession* session = sink->session;
    session->requestRunning = 0;
    session->handle.yield = nullptr;
    Client_SetCallbackWord(0);
    if (activeSink == sink) activeSink = nullptr;
}

bool TablesUsable(const CsDocTables& tables) {
    constexpr uint64_t kMax = INT32_MAX;
    if (tables.total > kMax || tables.perObject > kMax || tables.objectCount > kMax) return false;
    if (tables.objectCount == 0 || tables.perObject == 0) return false;
    // The pages before the last segment cannot exceed the total.
    const uint64_t before = (uint64_t{tables.objectCount} - 1) * tables.perObject;
    return before <= tables.total;
}

std::shared_ptr<CsDocTables> ShareTables(CsDocTables* tables) {
    return std::shared_ptr<CsDocTables>(tables, [](CsDocTables* t) { CsFreeDocTables(t, 1); });
}

uint64_t ConversionLimit(const CsXdrObjectRef* object) {
    if (object == nullptr || object->name == nullptr || CsHasDollar(object->name) == 0) return 0;
    return object->compressedOffset;
}

}  // namespace qelclient

extern "C" int ExitDataCallback(uint32_t callbackId, const ClientExitData* block) {
    using namespace qelclient;
    DocSink* sink = activeSink;
    if (sink == nullptr || callbackId == 0 || sink->callbackId != callbackId) return 0;
    if (!ListContains(sink->session)) return 0;
    CsYieldControlCallback();
    if (sink->session->cancel != 0) return 0;
    if (block != nullptr) DocSinkData(sink, block->data, block->length);
    return 1;
}
