// Decoding one page: a direct path for 1-bit and 8-bit grey strips, libtiff's RGBA
// reader for everything else. Sizes are checked against the caps before any buffer
// is made.
#include <tiffio.h>

#include <algorithm>
#include <new>

#include "internal.h"

namespace zypm {

int CheckDecodable(const PageInfo& info) {
    if (info.problem != ZYPM_OK) return Fail(info.problem, info.problemText);
    uint64_t bytes = uint64_t{info.width} * info.height * 4;
    if (bytes > ZYPM_MAX_DECODED_BYTES)
        return Fail(ZYPM_E_TOO_LARGE, "page of " + std::to_string(info.width) + " x " +
                                          std::to_string(info.height) + " pixels needs more than " +
                                          std::to_string(ZYPM_MAX_DECODED_BYTES >> 20) + " MiB decoded");
    return ZYPM_OK;
}

namespace {

bool DirectGrey(const PageInfo& info) {
    bool grey = info.photometric == PHOTOMETRIC_MINISWHITE || info.photometric == PHOTOMETRIC_MINISBLACK;
    return grey && info.samplesPerPixel == 1 && (info.bitsPerSample == 1 || info.bitsPerSample == 8) &&
           !info.tiled && info.orientation == ORIENTATION_TOPLEFT;
}

std::string Why(const TiffFile& file, const std::string& what) {
    return file.messages.last.empty() ? what : what + ": " + file.messages.last;
}

// One byte a pixel, white 255, strip by strip.
int ReadGreyStrips(TiffFile& file, const PageInfo& info, DecodedPage* page) {
    TIFF* tiff = file.tiff;
    uint32_t rowsPerStrip = info.height;
    TIFFGetFieldDefaulted(tiff, TIFFTAG_ROWSPERSTRIP, &rowsPerStrip);
    if (rowsPerStrip == 0 || rowsPerStrip > info.height) rowsPerStrip = info.height;
    tmsize_t rowBytes = TIFFScanlineSize(tiff);
    tmsize_t stripBytes = TIFFStripSize(tiff);
    tmsize_t needRow = info.bitsPerSample == 1 ? (info.width + 7) / 8 : info.width;
    if (rowBytes < needRow || stripBytes < rowBytes)
        return Fail(ZYPM_E_FORMAT, Why(file, "strip sizes do not fit"));
    std::vector<uint8_t> strip(static_cast<size_t>(stripBytes));
    bool whiteIsZero = info.photometric == PHOTOMETRIC_MINISWHITE;
    page->greyPixels.resize(size_t{info.width} * info.height);
    uint32_t strips = TIFFNumberOfStrips(tiff);
    for (uint32_t row = 0, index = 0; row < info.height; row += rowsPerStrip, ++index) {
        if (index >= strips) return Fail(ZYPM_E_DECODE, "fewer strips than rows");
        uint32_t rows = std::min(rowsPerStrip, info.height - row);
        tmsize_t want = rowBytes * rows;
        tmsize_t got = TIFFReadEncodedStrip(tiff, index, strip.data(), want);
        if (got < want)
            return Fail(ZYPM_E_DECODE, Why(file, "strip " + std::to_string(index) + " is damaged"));
        for (uint32_t r = 0; r < rows; ++r) {
            const uint8_t* in = strip.data() + size_t(r) * rowBytes;
            uint8_t* out = page->greyPixels.data() + size_t(row + r) * info.width;
            if (info.bitsPerSample == 1) {
                for (uint32_t x = 0; x < info.width; ++x) {
                    bool set = (in[x >> 3] >> (7 - (x & 7))) & 1;
                    out[x] = (set != whiteIsZero) ? 255 : 0;
                }
            } else {
                for (uint32_t x = 0; x < info.width; ++x) out[x] = whiteIsZero ? 255 - in[x] : in[x];
            }
        }
    }
    return ZYPM_OK;
}

// libtiff's RGBA reader, composited over white into 0x00RRGGBB.
int ReadRgba(TiffFile& file, const PageInfo& info, DecodedPage* page) {
    page->rgbPixels.resize(size_t{info.width} * info.height);
    uint32_t* raster = page->rgbPixels.data();
    if (!TIFFReadRGBAImageOriented(file.tiff, info.width, info.height, raster, ORIENTATION_TOPLEFT, 0))
        return Fail(ZYPM_E_DECODE, Why(file, "the image data is damaged"));
    for (size_t i = 0, n = page->rgbPixels.size(); i < n; ++i) {
        uint32_t abgr = raster[i];
        uint32_t a = TIFFGetA(abgr), r = TIFFGetR(abgr), g = TIFFGetG(abgr), b = TIFFGetB(abgr);
        if (a != 255) {
            r = (r * a + 255 * (255 - a) + 127) / 255;
            g = (g * a + 255 * (255 - a) + 127) / 255;
            b = (b * a + 255 * (255 - a) + 127) / 255;
        }
        raster[i] = r << 16 | g << 8 | b;
    }
    return ZYPM_OK;
}

}  // namespace

DecodedPtr DecodePage(TiffFile& file, const PageInfo& info, int* code) {
    if ((*code = CheckDecodable(info)) != ZYPM_OK) return nullptr;
    std::lock_guard guard(file.lock);
    file.messages.last.clear();
    if (!TIFFSetDirectory(file.tiff, static_cast<tdir_t>(info.directory))) {
        *code = Fail(ZYPM_E_FORMAT, Why(file, "cannot read directory " + std::to_string(info.directory + 1)));
        return nullptr;
    }
    auto page = std::make_shared<DecodedPage>();
    page->width = info.width;
    page->height = info.height;
    page->grey = DirectGrey(info);
    try {
        *code = page->grey ? ReadGreyStrips(file, info, page.get()) : ReadRgba(file, info, page.get());
    } catch (const std::bad_alloc&) {
        *code = Fail(ZYPM_E_NO_MEMORY, "no memory to decode the page");
    }
    if (*code != ZYPM_OK) return nullptr;
    return page;
}

}  // namespace zypm
