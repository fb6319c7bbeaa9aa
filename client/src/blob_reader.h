// blob_reader.h - reads a state blob and checks every field (internal).
//
// Every read reports failure instead of reading past the payload; once a read failed,
// all later reads fail too, so a caller may check ok() once at the end.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace qelclient {

class BlobReader {
public:
    // Checks the header (magic, version, schema hash, payload length equal to what
    // follows the header, CRC); the reader then covers the payload. ok() tells.
    BlobReader(const unsigned char* blob, size_t length, const char (&magic)[4]);

    bool ok() const { return ok_; }
    // True when every byte of the payload was read and no read failed.
    bool Done() const { return ok_ && at_ == end_; }
    size_t Remaining() const { return ok_ ? static_cast<size_t>(end_ - at_) : 0; }
    void Fail() { ok_ = false; }

    uint8_t U8();
    uint16_t U16();
    uint32_t U32();
    uint64_t U64();
    int32_t I32() { return static_cast<int32_t>(U32()); }
    int64_t I64() { return static_cast<int64_t>(U64()); }
    // A presence or switch byte: 0 or 1, anything else fails.
    bool Flag();
    // A text of at most max bytes without zero bytes.
    std::string Text(uint32_t max);
    // A text into a zero-terminated slot of size bytes (at most size - 1 characters).
    void TextInto(char* slot, size_t size);
    void Bytes(void* out, size_t length);
    // A count of entries that each take at least minEntry bytes, so that a count the
    // payload cannot hold fails before anything is allocated.
    uint32_t Count(uint32_t max, size_t minEntry);

private:
    bool Take(size_t n, const unsigned char** at);
    const unsigned char* at_ = nullptr;
    const unsigned char* end_ = nullptr;
    bool ok_ = false;
};

}  // namespace qelclient
