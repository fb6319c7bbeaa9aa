// Walking the directories of a file: page count and each page's tags, no decoding.
#include <tiffio.h>

#include <algorithm>
#include <cmath>

#include "internal.h"

namespace zypm {

namespace {

// Dots per inch of one axis (centimetres turned into inches); 0 when the file gives
// none or nonsense.
double Resolution(TIFF* tiff, ttag_t tag) {
    float resolution = 0;
    uint16_t unit = RESUNIT_INCH;
    if (!TIFFGetField(tiff, tag, &resolution) || !(resolution > 0) || resolution > 1e6f) return 0;
    TIFFGetFieldDefaulted(tiff, TIFFTAG_RESOLUTIONUNIT, &unit);
    return unit == RESUNIT_CENTIMETER ? resolution * 2.54 : resolution;
}

// Resolutions further apart than this are taken for a damaged tag, not a real device.
constexpr double kMaxResolutionRatio = 4.0;

// The shown size: the axis of the lower resolution stretched to the higher one, so that
// every pixel of the file stays visible at the natural size.
void ShownSize(double xResolution, double yResolution, PageInfo* info) {
    info->shownWidth = info->width;
    info->shownHeight = info->height;
    if (!(xResolution > 0) || !(yResolution > 0) || xResolution == yResolution) return;
    double ratio = xResolution / yResolution;
    if (ratio > kMaxResolutionRatio || ratio < 1 / kMaxResolutionRatio) return;
    if (ratio > 1)
        info->shownHeight = static_cast<uint32_t>(std::max(1.0, std::round(info->height * ratio)));
    else
        info->shownWidth = static_cast<uint32_t>(std::max(1.0, std::round(info->width / ratio)));
}

int32_t KindOf(uint16_t photometric, uint16_t bits) {
    switch (photometric) {
        case PHOTOMETRIC_MINISWHITE:
        case PHOTOMETRIC_MINISBLACK: return bits == 1 ? ZYPM_KIND_BILEVEL : ZYPM_KIND_GREY;
        case PHOTOMETRIC_PALETTE: return ZYPM_KIND_PALETTE;
        default: return ZYPM_KIND_RGB;
    }
}

// Whether libtiff can decode the page, from its tags only.
void NoteProblems(TIFF* tiff, PageInfo* info) {
    if (!TIFFIsCODECConfigured(info->compression)) {
        info->problem = ZYPM_E_UNSUPPORTED;
        info->problemText = "compression " + std::to_string(info->compression) + " is not supported";
        return;
    }
    char reason[1024] = {};
    if (!TIFFRGBAImageOK(tiff, reason)) {
        info->problem = ZYPM_E_UNSUPPORTED;
        info->problemText = reason;
    }
}

int ReadPage(TIFF* tiff, uint32_t directory, PageInfo* info) {
    info->directory = directory;
    std::string page = "page " + std::to_string(directory + 1);
    if (!TIFFGetField(tiff, TIFFTAG_IMAGEWIDTH, &info->width) ||
        !TIFFGetField(tiff, TIFFTAG_IMAGELENGTH, &info->height) || info->width == 0 || info->height == 0)
        return Fail(ZYPM_E_FORMAT, page + " has no width or height");
    if (info->width > ZYPM_MAX_DIMENSION || info->height > ZYPM_MAX_DIMENSION)
        return Fail(ZYPM_E_TOO_LARGE, page + " is " + std::to_string(info->width) + " x " +
                                          std::to_string(info->height) + " pixels, more than " +
                                          std::to_string(ZYPM_MAX_DIMENSION) + " a side");
    TIFFGetFieldDefaulted(tiff, TIFFTAG_BITSPERSAMPLE, &info->bitsPerSample);
    TIFFGetFieldDefaulted(tiff, TIFFTAG_SAMPLESPERPIXEL, &info->samplesPerPixel);
    TIFFGetFieldDefaulted(tiff, TIFFTAG_COMPRESSION, &info->compression);
    TIFFGetFieldDefaulted(tiff, TIFFTAG_ORIENTATION, &info->orientation);
    if (!TIFFGetField(tiff, TIFFTAG_PHOTOMETRIC, &info->photometric))
        info->photometric = info->samplesPerPixel >= 3 ? PHOTOMETRIC_RGB : PHOTOMETRIC_MINISWHITE;
    double xResolution = Resolution(tiff, TIFFTAG_XRESOLUTION);
    double yResolution = Resolution(tiff, TIFFTAG_YRESOLUTION);
    info->xDpi = static_cast<int32_t>(std::lround(xResolution));
    info->yDpi = static_cast<int32_t>(std::lround(yResolution));
    ShownSize(xResolution, yResolution, info);
    info->tiled = TIFFIsTiled(tiff) != 0;
    info->kind = KindOf(info->photometric, info->bitsPerSample);
    NoteProblems(tiff, info);
    return ZYPM_OK;
}

}  // namespace

bool TagAttribute(const PageInfo& info, uint32_t attribute, int32_t* value) {
    switch (attribute) {
        case ZYPM_ATTR_WIDTH: *value = static_cast<int32_t>(info.shownWidth); return true;
        case ZYPM_ATTR_HEIGHT: *value = static_cast<int32_t>(info.shownHeight); return true;
        case ZYPM_ATTR_PIXEL_WIDTH: *value = static_cast<int32_t>(info.width); return true;
        case ZYPM_ATTR_PIXEL_HEIGHT: *value = static_cast<int32_t>(info.height); return true;
        case ZYPM_ATTR_BITS_PER_SAMPLE: *value = info.bitsPerSample; return true;
        case ZYPM_ATTR_COMPRESSION: *value = info.compression; return true;
        case ZYPM_ATTR_PHOTOMETRIC: *value = info.photometric; return true;
        case ZYPM_ATTR_SAMPLES_PER_PIXEL: *value = info.samplesPerPixel; return true;
        case ZYPM_ATTR_X_DPI: *value = info.xDpi; return true;
        case ZYPM_ATTR_Y_DPI: *value = info.yDpi; return true;
        case ZYPM_ATTR_COLOUR_KIND: *value = info.kind; return true;
        default: return false;
    }
}

int ScanPages(TiffFile& file, size_t pagesBefore, std::vector<PageInfo>* pages) {
    std::lock_guard guard(file.lock);
    TIFF* tiff = file.tiff;
    for (uint32_t directory = 0;; ++directory) {
        if (pagesBefore + pages->size() >= ZYPM_MAX_PAGES)
            return Fail(ZYPM_E_TOO_MANY_PAGES,
                        "more than " + std::to_string(ZYPM_MAX_PAGES) + " pages in one document");
        PageInfo info;
        if (int code = ReadPage(tiff, directory, &info); code != ZYPM_OK) return code;
        pages->push_back(std::move(info));
        if (TIFFLastDirectory(tiff)) return ZYPM_OK;
        file.messages.last.clear();
        if (!TIFFReadDirectory(tiff))
            return Fail(ZYPM_E_FORMAT, "directory " + std::to_string(directory + 2) + " is damaged" +
                                           (file.messages.last.empty() ? "" : ": " + file.messages.last));
    }
}

}  // namespace zypm
