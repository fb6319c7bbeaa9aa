// Object data through the compression pipeline, in pieces, to the caller's callback.
#include "qel_cs.h"

#include <new>
#include <vector>

#include "arc_compress.h"
#include "object_stream.h"

struct CsObjectStream {
    int status = CS_OK;  // sticky: once set, later pieces are refused
    bool done = false;   // the pipeline has delivered its last byte
    ArcCmpPipeline* pipeline = nullptr;
    std::vector<unsigned char> buffer;
    CsDataFn callback = nullptr;
    void* context = nullptr;
};

namespace {

// Runs one input piece (length 0: the end of the input) until the pipeline wants more.
int Feed(CsObjectStream* stream, const unsigned char* data, size_t length) {
    static const unsigned char none = 0;
    if (data == nullptr) data = &none;
    while (true) {
        size_t produced = 0;
        int state = ArcCMP_Run(stream->pipeline, data, length, stream->buffer.data(), stream->buffer.size(),
                               &produced);
        switch (state) {
            case ARCCMP_NEED_INPUT: return 1;
            case ARCCMP_OUTPUT_READY:
                stream->callback(stream->context, stream->buffer.data(), produced);
                break;
            case ARCCMP_FINISHED:
                if (produced > 0) stream->callback(stream->context, stream->buffer.data(), produced);
                stream->done = true;
                return 1;
            default: stream->status = CsMapStatus(state); return 0;
        }
    }
}

}  // namespace

int CsMapStatus(int pipelineStatus) {
    if (pipelineStatus == 0) return CS_OK;
    return pipelineStatus == ARCCMP_NO_MEMORY ? CS_NO_MEMORY : CS_FAILED;
}

void CsObjectStreamDeleter::operator()(CsObjectStream* stream) const {
    if (stream == nullptr) return;
    ArcCMP_End(stream->pipeline);
    delete stream;
}

int CsDataPipeOpen(char expandType, char compressType, uint64_t windowOffset, uint64_t windowLength,
                   size_t chunkSize, CsDataFn callback, void* context, CsObjectStreamPtr* out) {
    if (out == nullptr) return CS_FAILED;
    out->reset();
    if (callback == nullptr) return CS_FAILED;
    try {
        CsObjectStreamPtr stream(new CsObjectStream);
        if (chunkSize == 0 || chunkSize > CS_DATA_CHUNK_MAX) chunkSize = CS_DATA_CHUNK_MAX;
        stream->buffer.resize(chunkSize);
        stream->callback = callback;
        stream->context = context;
        int rc =
            ArcCMP_Begin(expandType, compressType, windowOffset, windowLength, nullptr, &stream->pipeline);
        if (rc != 0) return CsMapStatus(rc);
        *out = std::move(stream);
        return CS_OK;
    } catch (const std::bad_alloc&) {
        return CS_NO_MEMORY;
    }
}

int CsDataPipeRun(void* context, const unsigned char* data, size_t length) {
    auto* stream = static_cast<CsObjectStream*>(context);
    if (stream == nullptr || stream->status != CS_OK) return 0;
    if (stream->done) return 1;  // bytes after the end of the data are not data
    return Feed(stream, data, length);
}

int CsDataPipeClose(CsObjectStreamPtr stream, int fetchResult) {
    if (!stream) return fetchResult != CS_OK ? fetchResult : CS_FAILED;
    if (fetchResult == CS_OK && stream->status == CS_OK && !stream->done) Feed(stream.get(), nullptr, 0);
    int status = stream->status;
    int end = CsMapStatus(ArcCMP_End(stream->pipeline));
    stream->pipeline = nullptr;
    if (fetchResult != CS_OK) return fetchResult;
    return status != CS_OK ? status : end;
}

namespace csreq::detail {

int FetchInto(CsHandle* handle, const CsFetchFn& fetch, CsDataFn callback, void* context) {
    // The fetch hands its pieces to the callback with the handle's callback context.
    struct Restore {
        CsHandle* handle;
        void* saved;
        ~Restore() { handle->callbackContext = saved; }
    } restore{handle, handle->callbackContext};
    handle->callbackContext = context;
    return fetch(handle, callback);
}

}  // namespace csreq::detail

int CsReadObjectData(CsHandle* handle, const CsObjectRequest* request) {
    if (handle == nullptr || request == nullptr || !request->fetch || request->callback == nullptr)
        return CS_FAILED;
    try {
        char expand = request->expandType;
        char compress = request->compressType;
        // Nothing to cut and nothing to change: the data passes as it is.
        if (request->windowOffset == 0 && request->windowLength == 0 && expand == compress)
            expand = compress = 'D';
        CsObjectStreamPtr stream;
        int rc = CsDataPipeOpen(expand, compress, request->windowOffset, request->windowLength,
                                request->chunkSize, request->callback, request->context, &stream);
        if (rc != CS_OK) return rc;
        if (request->stateByte != nullptr) *request->stateByte = 23;
        int fetched = csreq::detail::FetchInto(handle, request->fetch, CsDataPipeRun, stream.get());
        return CsDataPipeClose(std::move(stream), fetched);
    } catch (const std::bad_alloc&) {
        return CS_NO_MEMORY;
    }
}

int CsFetchObjectData(CsHandle* handle, const CsObjectRequest* request) {
    if (request != nullptr && request->convert) return CsConvertObjectData(handle, request);
    return CsReadObjectData(handle, request);
}
