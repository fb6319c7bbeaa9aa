// blob_writer.h - writes a state blob field by field (internal).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace qelclient {

class BlobWriter {
public:
    void U8(uint8_t v) { out_.push_back(v); }
    void U16(uint16_t v) { Le(v, 2); }
    void U32(uint32_t v) { Le(v, 4); }
    void U64(uint64_t v) { Le(v, 8); }
    void I32(int32_t v) { U32(static_cast<uint32_t>(v)); }
    void I64(int64_t v) { U64(static_cast<uint64_t>(v)); }
    // A 32-bit length and the bytes, no terminator.
    void Text(std::string_view text);
    void Bytes(const void* data, size_t length);
    // The framed blob: header with magic, version, schema hash, payload length and CRC.
    std::vector<unsigned char> Finish(const char (&magic)[4]) const;

private:
    void Le(uint64_t v, int bytes) {
        for (int i = 0; i < bytes; ++i) out_.push_back(static_cast<unsigned char>(v >> (8 * i)));
    }
    std::vector<unsigned char> out_;
};

}  // namespace qelclient
