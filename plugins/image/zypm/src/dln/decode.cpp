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

// Strip by strip straight into the page: bilevel rows stay one bit a pixel (set bits
// black), grey rows one byte a pixel (white 255).
int ReadGreyStrips(TiffFile& file, const PageInfo& info, DecodedPage* page) {
    TIFF* tiff = file.tiff;
    uint32_t rowsPerStrip = info.height;
    TIFFGetFieldDefaulted(tiff, TIFFTAG_ROWSPERSTRIP, &rowsPerStrip);
    if (rowsPerStrip == 0 || rowsPerStrip > info.height) rowsPerStrip = info.height;
    bool bilevel = info.bitsPerSample == 1;
    tmsize_t rowBytes = TIFFScanlineSize(tiff);
    tmsize_t needRow = bilevel ? (info.width + 7) / 8 : info.width;
    if (rowBytes != needRow) return Fail(ZYPM_E_FORMAT, Why(file, "strip sizes do not fit"));
    std::vector<uint8_t>& out = bilevel ? page->bits : page->greyPixels;
    out.resize(static_cast<size_t>(rowBytes) * info.height);
    page->form = bilevel ? DecodedPage::Form::Bits : DecodedPage::Form::Grey;
    page->bitStride = bilevel ? static_cast<size_t>(rowBytes) : 0;
    uint32_t strips = TIFFNumberOfStrips(tiff);
    for (uint32_t row = 0, index = 0; row < info.height; row += rowsPerStrip, ++index) {
        if (index >= strips) return Fail(ZYPM_E_DECODE, "fewer strips than rows");
        uint32_t rows = std::min(rowsPerStrip, info.height - row);
        tmsize_t want = rowBytes * rows;
        tmsize_t got = TIFFReadEncodedStrip(tiff, index, out.data() + size_t(row) * size_t(rowBytes), want);
        if (got < want)
            return Fail(ZYPM_E_DECODE, Why(file, "strip " + std::to_string(index) + " is damaged"));
    }
    // Bilevel keeps "set is black" (min-is-white as stored), grey keeps "255 is white"
    // (min-is-black as stored); the other photometric is inverted once.
    bool invert =
        bilevel ? info.photometric == PHOTOMETRIC_MINISBLACK : info.photometric == PHOTOMETRIC_MINISWHITE;
    if (invert)
        for (uint8_t& byte : out) byte = static_cast<uint8_t>(~byte);
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
    page->form = DecodedPage::Form::Rgb;
    try {
        *code = DirectGrey(info) ? ReadGreyStrips(file, info, page.get()) : ReadRgba(file, info, page.get());
    } catch (const std::bad_alloc&) {
        *code = Fail(ZYPM_E_NO_MEMORY, "no memory to decode the page");
    }
    if (*code != ZYPM_OK) return nullptr;
    return page;
}

}  // namespace zypm
