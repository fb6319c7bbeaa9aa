// blob_frame.h - the frame of a state blob as docs/state.md describes it, made
// independently of the library's writer, for tests that feed readers chosen payloads.
#pragma once

#include <zlib.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "state_format.h"

namespace clienttest {

using Blob = std::vector<unsigned char>;

inline void PutLe32(unsigned char* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<unsigned char>(v >> (8 * i));
}

// The payload behind a 20-byte header of magic, version, schema hash, length and CRC.
inline Blob Frame(const char* magic, const Blob& payload, uint32_t version = 2,
                  uint32_t hash = qelclient::SchemaHash()) {
    Blob blob(20);
    std::memcpy(blob.data(), magic, 4);
    PutLe32(&blob[4], version);
    PutLe32(&blob[8], hash);
    PutLe32(&blob[12], static_cast<uint32_t>(payload.size()));
    uLong crc = crc32(0L, Z_NULL, 0);
    crc = crc32(crc, blob.data(), 16);
    crc = crc32(crc, payload.data(), static_cast<uInt>(payload.size()));
    PutLe32(&blob[16], static_cast<uint32_t>(crc));
    blob.insert(blob.end(), payload.begin(), payload.end());
    return blob;
}

inline Blob PayloadOf(const Blob& blob) { return Blob(blob.begin() + 20, blob.end()); }

}  // namespace clienttest
