// Streamed request data: the caller's pieces go out in data messages of at most 32767
// bytes; an uncompressed object worth compressing travels as 12-bit LZW ('L').
#include "data_source.h"

#include <algorithm>
#include <cstdlib>

#include "arc_compress.h"

namespace csreq::detail {

DataSource::~DataSource() {
    ArcCMP_End(pipe_);
    std::free(buffer_);
}

int DataSource::Fetch() {
    piece_ = nullptr;
    pieceLength_ = 0;
    used_ = 0;
    const int answer = source_(context_, &piece_, &pieceLength_);
    if (answer != 0 && answer != 1) return CS_FAILED;
    if (pieceLength_ != 0 && piece_ == nullptr) return CS_FAILED;
    more_ = answer == 1;
    return CS_OK;
}

int DataSource::Begin(char* letter) {
    if (source_ == nullptr) return CS_OK;
    int rc = Fetch();
    if (rc != CS_OK) return rc;
    if (*letter != 'N' || ArcCMP_WorthCompressing('L', pieceLength_) != 1) return CS_OK;
    const int state = ArcCMP_Begin('N', 'L', 0, 0, nullptr, &pipe_);
    if (state != 0) return CsMapStatus(state);
    buffer_ = static_cast<unsigned char*>(std::malloc(kDataChunk));
    if (buffer_ == nullptr) return CS_NO_MEMORY;
    *letter = 'L';
    return CS_OK;
}

int DataSource::Next(const char** data, uint32_t* length, bool* end) {
    *data = nullptr;
    *length = 0;
    *end = false;
    if (source_ == nullptr || finished_) {
        *end = true;
        return CS_OK;
    }
    return pipe_ != nullptr ? NextCompressed(data, length, end) : NextPlain(data, length, end);
}

int DataSource::NextPlain(const char** data, uint32_t* length, bool* end) {
    while (used_ == pieceLength_) {
        if (!more_) {
            finished_ = true;
            *end = true;
            return CS_OK;
        }
        int rc = Fetch();
        if (rc != CS_OK) return rc;
    }
    const uint32_t n = std::min(kDataChunk, pieceLength_ - used_);
    *data = piece_ + used_;
    *length = n;
    used_ += n;
    return CS_OK;
}

int DataSource::NextCompressed(const char** data, uint32_t* length, bool* end) {
    for (;;) {
        // After an output-ready state the pipeline wants the same input again; a length
        // of 0 tells it the input has ended.
        const auto* input = reinterpret_cast<const unsigned char*>(inputEnded_ ? nullptr : piece_);
        const size_t inputLength = inputEnded_ ? 0 : pieceLength_;
        size_t produced = 0;
        const int state = ArcCMP_Run(pipe_, input, inputLength, buffer_, kDataChunk, &produced);
        if (state == ARCCMP_OUTPUT_READY || (state == ARCCMP_FINISHED && produced > 0)) {
            finished_ = state == ARCCMP_FINISHED;
            *data = reinterpret_cast<const char*>(buffer_);
            *length = static_cast<uint32_t>(produced);
            return CS_OK;
        }
        if (state == ARCCMP_FINISHED) {
            finished_ = true;
            *end = true;
            return CS_OK;
        }
        if (state != ARCCMP_NEED_INPUT || inputEnded_)
            return CsMapStatus(state == ARCCMP_NEED_INPUT ? 8 : state);
        // An empty piece would read as the end of the input: fetch past it.
        do {
            if (!more_) {
                inputEnded_ = true;
                break;
            }
            int rc = Fetch();
            if (rc != CS_OK) return rc;
        } while (pieceLength_ == 0);
    }
}

}  // namespace csreq::detail
