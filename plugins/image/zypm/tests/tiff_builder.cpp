#include "tiff_builder.h"

#include <gtest/gtest.h>
#include <tiffio.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>

namespace zypm_test {

void WriteTiff(const std::string& path, const std::vector<PageSpec>& pages) {
    TIFF* tiff = TIFFOpen(path.c_str(), "w");
    ASSERT_NE(tiff, nullptr) << path;
    for (const PageSpec& page : pages) {
        TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, page.width);
        TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, page.height);
        TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, page.bits);
        TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, page.samples);
        TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, page.photometric);
        TIFFSetField(tiff, TIFFTAG_COMPRESSION, page.compression);
        TIFFSetField(tiff, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
        TIFFSetField(tiff, TIFFTAG_ROWSPERSTRIP, page.rowsPerStrip ? page.rowsPerStrip : page.height);
        if (page.xResolution > 0) TIFFSetField(tiff, TIFFTAG_XRESOLUTION, page.xResolution);
        if (page.yResolution > 0) TIFFSetField(tiff, TIFFTAG_YRESOLUTION, page.yResolution);
        if (page.xResolution > 0 || page.yResolution > 0)
            TIFFSetField(tiff, TIFFTAG_RESOLUTIONUNIT, page.resolutionUnit);
        if (page.photometric == PHOTOMETRIC_PALETTE) {
            std::vector<uint16_t> red(1u << page.bits), green(red.size()), blue(red.size());
            for (size_t i = 0; i < red.size(); ++i) {
                red[i] = static_cast<uint16_t>(i * 0x1111);
                green[i] = static_cast<uint16_t>(0xFFFF - i * 0x1111);
                blue[i] = 0x8000;
            }
            TIFFSetField(tiff, TIFFTAG_COLORMAP, red.data(), green.data(), blue.data());
        }
        tmsize_t rowBytes = TIFFScanlineSize(tiff);
        std::vector<uint8_t> pixels = page.pixels;
        pixels.resize(size_t(rowBytes) * page.height);
        for (uint32_t row = 0; row < page.height; ++row)
            ASSERT_EQ(TIFFWriteScanline(tiff, pixels.data() + size_t(row) * rowBytes, row, 0), 1);
        ASSERT_EQ(TIFFWriteDirectory(tiff), 1);
    }
    TIFFClose(tiff);
}

uint32_t RawTiff::Data(const std::vector<uint8_t>& data) {
    if (bytes.size() % 2) bytes.push_back(0);
    auto offset = static_cast<uint32_t>(bytes.size());
    bytes.insert(bytes.end(), data.begin(), data.end());
    return offset;
}

namespace {
void Put16(std::vector<uint8_t>& out, uint16_t value) {
    out.push_back(value & 0xFF);
    out.push_back(value >> 8);
}
void Put32(std::vector<uint8_t>& out, uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8) out.push_back((value >> shift) & 0xFF);
}
}  // namespace

uint32_t RawTiff::Directory(const std::vector<Entry>& entries) {
    std::vector<uint8_t> block;
    Put16(block, static_cast<uint16_t>(entries.size()));
    for (const Entry& entry : entries) {
        Put16(block, entry.tag);
        Put16(block, entry.type);
        Put32(block, entry.count);
        if (entry.type == 3 && entry.count == 1) {
            Put16(block, static_cast<uint16_t>(entry.value));
            Put16(block, 0);
        } else {
            Put32(block, entry.value);
        }
    }
    Put32(block, 0);
    uint32_t offset = Data(block);
    nextFields_.push_back({offset, offset + 2 + 12 * static_cast<uint32_t>(entries.size())});
    return offset;
}

void RawTiff::Link(uint32_t directory, uint32_t next) {
    for (auto [dir, field] : nextFields_)
        if (dir == directory)
            for (int i = 0; i < 4; ++i) bytes[field + i] = (next >> (8 * i)) & 0xFF;
}

void RawTiff::SetFirst(uint32_t directory) {
    for (int i = 0; i < 4; ++i) bytes[4 + i] = (directory >> (8 * i)) & 0xFF;
}

std::vector<Entry> GreyEntries(uint32_t width, uint32_t height, uint32_t strip, uint32_t stripBytes) {
    return {{256, 4, 1, width}, {257, 4, 1, height}, {258, 3, 1, 8},
            {259, 3, 1, 1},     {262, 3, 1, 1},      {273, 4, 1, strip},
            {277, 3, 1, 1},     {278, 4, 1, height}, {279, 4, 1, stripBytes}};
}

void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
    FILE* out = std::fopen(path.c_str(), "wb");
    ASSERT_NE(out, nullptr);
    std::fwrite(bytes.data(), 1, bytes.size(), out);
    std::fclose(out);
}

std::string TempPath(const std::string& name) {
    auto directory = std::filesystem::temp_directory_path() / ("zypm_tests_" + std::to_string(getpid()));
    std::filesystem::create_directories(directory);
    return (directory / name).string();
}

Session::Session() {
    EXPECT_EQ(ZypmInitialize(), ZYPM_OK);
    EXPECT_EQ(ZypmEnvNew(&environment), ZYPM_OK);
    EXPECT_EQ(ZypmDocNew(environment, &document), ZYPM_OK);
    EXPECT_EQ(ZypmViewNew(environment, &view), ZYPM_OK);
}

Session::~Session() {
    EXPECT_EQ(ZypmViewFree(view), ZYPM_OK);
    EXPECT_EQ(ZypmDocFree(document), ZYPM_OK);
    EXPECT_EQ(ZypmEnvFree(environment), ZYPM_OK);
    EXPECT_EQ(ZypmTerminate(), ZYPM_OK);
}

int Session::Add(const std::string& path, int32_t position) {
    ZypmFile file = nullptr;
    EXPECT_EQ(ZypmFileNew(environment, &file), ZYPM_OK);
    EXPECT_EQ(ZypmFileSet(file, ZYPM_FILE_PATH, path.c_str()), ZYPM_OK);
    return ZypmAddFile(document, file, position, 0, ZYPM_ADD_ALL_PAGES);
}

int Session::Show() { return ZypmViewSet(view, ZYPM_VIEW_DOCUMENT, document); }

ZypmPage Session::Lock(int32_t index) {
    ZypmPage page = nullptr;
    EXPECT_EQ(ZypmViewPageLock(view, index, &page), ZYPM_OK) << ZypmLastMessage();
    return page;
}

void Session::Unlock(ZypmPage page) { EXPECT_EQ(ZypmViewPageUnlock(view, page, 0), ZYPM_OK); }

}  // namespace zypm_test
