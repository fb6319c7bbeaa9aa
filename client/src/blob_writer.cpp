// Writing state blobs: fixed-width little-endian fields, framed with a checked header.
#include "blob_writer.h"

#include <zlib.h>

#include <cstring>

#include "state_format.h"

namespace qelclient {

void BlobWriter::Text(std::string_view text) {
    U32(static_cast<uint32_t>(text.size()));
    Bytes(text.data(), text.size());
}

void BlobWriter::Bytes(const void* data, size_t length) {
    const auto* p = static_cast<const unsigned char*>(data);
    out_.insert(out_.end(), p, p + length);
}

std::vector<unsigned char> BlobWriter::Finish(const char (&magic)[4]) const {
    BlobWriter header;
    header.Bytes(magic, 4);
    header.U32(kBlobFormatVersion);
    header.U32(SchemaHash());
    header.U32(static_cast<uint32_t>(out_.size()));
    uLong crc = crc32(0L, Z_NULL, 0);
    crc = crc32(crc, header.out_.data(), static_cast<uInt>(header.out_.size()));
    crc = crc32(crc, out_.data(), static_cast<uInt>(out_.size()));
    header.U32(static_cast<uint32_t>(crc));
    std::vector<unsigned char> blob = std::move(header.out_);
    blob.insert(blob.end(), out_.begin(), out_.end());
    return blob;
}

}  // namespace qelclient
