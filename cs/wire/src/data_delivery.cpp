// data_delivery.cpp - handing the data pieces of a reply to the caller's callback,
// expanded from their compression letter.
#include "qel_cswire.h"

#include "arc_compress.h"

#include <cstdlib>
#include <new>

struct CsDelivery {
    uint32_t size = 0;
    CsDataCallback callback = nullptr;
    void* context = nullptr;
    bool started = false;
    bool asItIs = false;  // 'D' and 'N' pieces are handed over without copying
    bool finished = false;
    char letter = 0;
    ArcCmpPipeline* pipe = nullptr;
    char* buffer = nullptr;  // malloc'd: a callback may keep it
};

namespace {

constexpr uint32_t kDefaultBuffer = 32767;

// A pipeline state as a result: no memory 9, any other failure 6.
int MapPipelineState(int state) { return state == ARCCMP_NO_MEMORY ? 9 : 6; }

// Hands the filled buffer over; a callback that keeps it gets a fresh one next time.
int Hand(CsDelivery* d, size_t length) {
    if (length == 0) return 0;
    if (d->callback(d->context, d->buffer, static_cast<uint32_t>(length)) == 0) {
        d->buffer = static_cast<char*>(std::malloc(d->size));
        if (d->buffer == nullptr) return 9;
    }
    return 0;
}

int Start(CsDelivery* d, char letter) {
    d->started = true;
    d->letter = letter;
    d->asItIs = letter == 'D' || letter == 'N';
    if (d->asItIs) return 0;
    if (ArcCMP_IsCompressType(letter) != 1) return 6;
    const int state = ArcCMP_Begin(letter, 'N', 0, 0, nullptr, &d->pipe);
    if (state != 0) return MapPipelineState(state);
    d->buffer = static_cast<char*>(std::malloc(d->size));
    return d->buffer == nullptr ? 9 : 0;
}

// Runs input (length 0: the end) through the pipeline until it wants more.
int Run(CsDelivery* d, const unsigned char* input, size_t length) {
    for (;;) {
        size_t produced = 0;
        const int state = ArcCMP_Run(d->pipe, input, length, reinterpret_cast<unsigned char*>(d->buffer),
                                     d->size, &produced);
        if (state == ARCCMP_NEED_INPUT) return length == 0 ? 6 : 0;
        if (state == ARCCMP_OUTPUT_READY || state == ARCCMP_FINISHED) {
            if (int rc = Hand(d, produced); rc != 0) return rc;
            if (state == ARCCMP_FINISHED) {
                d->finished = true;
                return 0;
            }
            continue;
        }
        return MapPipelineState(state);
    }
}

}  // namespace

CsDelivery* CsDeliveryBegin(uint32_t bufferSize, CsDataCallback callback, void* context) {
    if (callback == nullptr) return nullptr;
    auto* d = new (std::nothrow) CsDelivery();
    if (d == nullptr) return nullptr;
    d->size = bufferSize == 0 ? kDefaultBuffer : bufferSize;
    d->callback = callback;
    d->context = context;
    return d;
}

int CsDeliveryPiece(CsDelivery* d, char letter, char** data, uint32_t length) {
    if (!d->started) {
        if (int rc = Start(d, letter); rc != 0) return rc;
    } else if (letter != d->letter) {
        return 6;
    }
    if (length == 0) return 0;
    if (*data == nullptr) return 6;
    if (d->asItIs) {
        if (d->callback(d->context, *data, length) == 0) *data = nullptr;
        return 0;
    }
    if (d->finished) return 0;  // bytes after the end of the compressed data
    return Run(d, reinterpret_cast<const unsigned char*>(*data), length);
}

int CsDeliveryEnd(CsDelivery* d) {
    if (d == nullptr) return 0;
    int rc = 0;
    if (d->pipe != nullptr) {
        if (!d->finished) rc = Run(d, nullptr, 0);
        const int ended = ArcCMP_End(d->pipe);
        d->pipe = nullptr;
        if (rc == 0 && ended != 0) rc = MapPipelineState(ended);
    }
    CsDeliveryAbort(d);
    return rc;
}

void CsDeliveryAbort(CsDelivery* d) {
    if (d == nullptr) return;
    ArcCMP_End(d->pipe);
    std::free(d->buffer);
    delete d;
}
