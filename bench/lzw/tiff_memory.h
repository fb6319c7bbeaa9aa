// tiff_memory.h - libtiff on a file in memory, and its LZW encoding of one-strip images:
// the peer side of the image LZW benchmarks.
#pragma once

#include <tiffio.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

namespace qelbench {

struct TiffMemFile {
    std::vector<uint8_t> data;
    toff_t pos = 0;
};

namespace tiffmem {

inline tmsize_t Read(thandle_t h, void* buf, tmsize_t n) {
    auto* f = static_cast<TiffMemFile*>(h);
    const size_t avail = f->pos < f->data.size() ? f->data.size() - f->pos : 0;
    const size_t k = std::min(avail, static_cast<size_t>(n));
    std::memcpy(buf, f->data.data() + f->pos, k);
    f->pos += k;
    return static_cast<tmsize_t>(k);
}
inline tmsize_t Write(thandle_t h, void* buf, tmsize_t n) {
    auto* f = static_cast<TiffMemFile*>(h);
    if (f->pos + static_cast<size_t>(n) > f->data.size()) f->data.resize(f->pos + static_cast<size_t>(n));
    std::memcpy(f->data.data() + f->pos, buf, static_cast<size_t>(n));
    f->pos += static_cast<toff_t>(n);
    return n;
}
inline toff_t Seek(thandle_t h, toff_t off, int whence) {
    auto* f = static_cast<TiffMemFile*>(h);
    f->pos = whence == SEEK_SET ? off : whence == SEEK_CUR ? f->pos + off : f->data.size() + off;
    return f->pos;
}
inline int Close(thandle_t) { return 0; }
inline toff_t Size(thandle_t h) { return static_cast<TiffMemFile*>(h)->data.size(); }
inline int Map(thandle_t, tdata_t*, toff_t*) { return 0; }
inline void Unmap(thandle_t, tdata_t, toff_t) {}

}  // namespace tiffmem

inline TIFF* OpenTiffMemory(TiffMemFile& f, const char* mode) {
    return TIFFClientOpen("mem", mode, &f, tiffmem::Read, tiffmem::Write, tiffmem::Seek, tiffmem::Close,
                          tiffmem::Size, tiffmem::Map, tiffmem::Unmap);
}

// Writes the image (one sample per pixel, bits 1 or 8) as one LZW strip into f.
// False when libtiff refuses it.
inline bool TiffEncodeLzw(TiffMemFile& f, const std::vector<uint8_t>& image, uint32_t width, uint32_t height,
                          uint32_t bits) {
    f.data.reserve(image.size());
    TIFF* t = OpenTiffMemory(f, "w");
    if (t == nullptr) return false;
    TIFFSetField(t, TIFFTAG_IMAGEWIDTH, width);
    TIFFSetField(t, TIFFTAG_IMAGELENGTH, height);
    TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, bits);
    TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, 1);
    TIFFSetField(t, TIFFTAG_PHOTOMETRIC, bits == 1 ? PHOTOMETRIC_MINISWHITE : PHOTOMETRIC_MINISBLACK);
    TIFFSetField(t, TIFFTAG_COMPRESSION, COMPRESSION_LZW);
    TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, height);
    const tmsize_t written =
        TIFFWriteEncodedStrip(t, 0, const_cast<uint8_t*>(image.data()), static_cast<tmsize_t>(image.size()));
    TIFFClose(t);
    return written >= 0;
}

}  // namespace qelbench
