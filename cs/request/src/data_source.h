// The data a request streams to the server (store, store object, log message): pieces
// from the caller's source callback, cut into data messages, or compressed from 'N' to
// 'L' on the way when that is worth it.
#pragma once

#include <cstdint>

#include "qel_cs.h"

struct ArcCmpPipeline;

namespace csreq::detail {

// Largest data message, and the work buffer of the compression.
inline constexpr uint32_t kDataChunk = 32767;

class DataSource {
public:
    DataSource(CsSourceFn source, void* context) : source_(source), context_(context) {}
    ~DataSource();
    DataSource(const DataSource&) = delete;
    DataSource& operator=(const DataSource&) = delete;

    // Fetches the first piece and settles the letter the data travels with: 'N' becomes
    // 'L' when compressing the first piece is worth it; any other letter stays. Without a
    // source there is no data. 0, 6 (the source failed), 9, or the mapped pipeline state.
    int Begin(char* letter);
    // The bytes of the next data message (valid until the next call); *end is set for
    // the closing message, which carries no bytes. 0 or a failure as Begin.
    int Next(const char** data, uint32_t* length, bool* end);

private:
    int Fetch();
    int NextPlain(const char** data, uint32_t* length, bool* end);
    int NextCompressed(const char** data, uint32_t* length, bool* end);

    CsSourceFn source_;
    void* context_;
    const char* piece_ = nullptr;  // the source's, until its next call
    uint32_t pieceLength_ = 0;
    uint32_t used_ = 0;        // bytes of the piece already sent or compressed
    bool more_ = false;        // the source has further pieces
    bool inputEnded_ = false;  // the pipeline was told the input ended
    bool finished_ = false;    // every byte is out; the closing message is next
    ArcCmpPipeline* pipe_ = nullptr;
    unsigned char* buffer_ = nullptr;
};

}  // namespace csreq::detail
