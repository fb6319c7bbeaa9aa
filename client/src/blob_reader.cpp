// Reading state blobs: every length, count and flag is checked before use.
#include "blob_reader.h"

#include <zlib.h>

#include <cstring>

#include "state_format.h"

namespace qelclient {
namespace {

uint32_t Le32(const unsigned char* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

}  // namespace

BlobReader::BlobReader(const unsigned char* blob, size_t length, const char (&magic)[4]) {
    if (!blob || length < kBlobHeaderSize) return;
    if (std::memcmp(blob, magic, 4) != 0) return;
    if (Le32(blob + 4) != kBlobFormatVersion || Le32(blob + 8) != SchemaHash()) return;
    const uint32_t payload = Le32(blob + 12);
    if (payload > kBlobPayloadMax || payload != length - kBlobHeaderSize) return;
    uLong crc = crc32(0L, Z_NULL, 0);
    crc = crc32(crc, blob, 16);
    crc = crc32(crc, blob + kBlobHeaderSize, payload);
    if (static_cast<uint32_t>(crc) != Le32(blob + 16)) return;
    at_ = blob + kBlobHeaderSize;
    end_ = at_ + payload;
    ok_ = true;
}

bool BlobReader::Take(size_t n, const unsigned char** at) {
    if (!ok_ || static_cast<size_t>(end_ - at_) < n) {
        ok_ = false;
        return false;
    }
    *at = at_;
    at_ += n;
    return true;
}

uint8_t BlobReader::U8() {
    const unsigned char* p;
    return Take(1, &p) ? p[0] : 0;
}

uint16_t BlobReader::U16() {
    const unsigned char* p;
    return Take(2, &p) ? static_cast<uint16_t>(p[0] | p[1] << 8) : 0;
}

uint32_t BlobReader::U32() {
    const unsigned char* p;
    return Take(4, &p) ? Le32(p) : 0;
}

uint64_t BlobReader::U64() {
    const unsigned char* p;
    if (!Take(8, &p)) return 0;
    return static_cast<uint64_t>(Le32(p)) | static_cast<uint64_t>(Le32(p + 4)) << 32;
}

bool BlobReader::Flag() {
    const uint8_t v = U8();
    if (v > 1) ok_ = false;
    return ok_ && v == 1;
}

std::string BlobReader::Text(uint32_t max) {
    const uint32_t length = U32();
    if (!ok_) return {};
    if (length > max) {
        ok_ = false;
        return {};
    }
    const unsigned char* p;
    if (!Take(length, &p)) return {};
    if (std::memchr(p, 0, length) != nullptr) {
        ok_ = false;
        return {};
    }
    return std::string(reinterpret_cast<const char*>(p), length);
}

void BlobReader::TextInto(char* slot, size_t size) {
    const std::string text = Text(static_cast<uint32_t>(size - 1));
    std::memset(slot, 0, size);
    if (ok_) std::memcpy(slot, text.data(), text.size());
}

void BlobReader::Bytes(void* out, size_t length) {
    const unsigned char* p;
    // An empty destination (an empty vector's data) may be null.
    if (Take(length, &p) && length > 0) std::memcpy(out, p, length);
}

uint32_t BlobReader::Count(uint32_t max, size_t minEntry) {
    const uint32_t n = U32();
    if (!ok_) return 0;
    if (n > max || (minEntry && n > Remaining() / minEntry)) {
        ok_ = false;
        return 0;
    }
    return n;
}

}  // namespace qelclient
