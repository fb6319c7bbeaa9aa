// Preparing a page for painting: bilevel rows expanded from their bits in every
// rotation, and the box reduction used when a smooth paint shrinks the page.
#include <gtest/gtest.h>
#include <tiffio.h>

#include <cstdlib>
#include <functional>

#include "canvas.h"
#include "tiff_builder.h"

namespace zypm_test {
namespace {

// Where displayed pixel (u, v) of a w x h page turned by `rotation` comes from.
void Source(int32_t rotation, int w, int h, int u, int v, int* x, int* y) {
    switch (rotation) {
        case 2: *x = v, *y = h - 1 - u; break;
        case 3: *x = w - 1 - u, *y = h - 1 - v; break;
        case 4: *x = w - 1 - v, *y = u; break;
        default: *x = u, *y = v; break;
    }
}

// Paints page 0 of `path` in every rotation with the upright image at `width` x `height`, and compares every
// pixel's blue channel with `expected(x, y)` of the upright page, within `tolerance`.
void ExpectPainted(const std::string& path, int width, int height, uint32_t flags, int tolerance,
                   const std::function<int(int x, int y)>& expected) {
    Session session;
    ASSERT_EQ(session.Add(path), ZYPM_OK) << ZypmLastMessage();
    ASSERT_EQ(session.Show(), ZYPM_OK);
    ZypmPage page = session.Lock(0);
    for (int32_t rotation = 1; rotation <= 4; ++rotation) {
        bool quarter = rotation == 2 || rotation == 4;
        int shownWidth = quarter ? height : width, shownHeight = quarter ? width : height;
        ASSERT_EQ(ZypmPageAttrSet(page, ZYPM_ATTR_ROTATION, rotation), ZYPM_OK);
        ASSERT_EQ(ZypmPageAttrSet(page, ZYPM_ATTR_IMAGE_WIDTH, shownWidth), ZYPM_OK);
        ASSERT_EQ(ZypmPageAttrSet(page, ZYPM_ATTR_IMAGE_HEIGHT, shownHeight), ZYPM_OK);
        Canvas canvas(shownWidth, shownHeight);
        ZypmRect rect{0, 0, shownWidth, shownHeight};
        ASSERT_EQ(ZypmRectPaint(page, canvas.context, &rect, flags | ZYPM_PAINT_ROTATE), ZYPM_OK)
            << ZypmLastMessage();
        int wrong = 0;
        for (int v = 0; v < shownHeight; ++v)
            for (int u = 0; u < shownWidth; ++u) {
                int x, y;
                Source(rotation, width, height, u, v, &x, &y);
                int want = expected(x, y), got = static_cast<int>(canvas.At(u, v) & 0xFF);
                if (std::abs(want - got) > tolerance && wrong++ < 5)
                    ADD_FAILURE() << "rotation " << rotation << " pixel " << u << "," << v << ": " << got
                                  << " for " << want;
            }
        EXPECT_EQ(wrong, 0) << "rotation " << rotation;
    }
    session.Unlock(page);
}

// An 11 x 37 bilevel page of scattered bits: a row ends inside a byte, the strips are
// 7 rows, and a quarter turn takes more than one block of rows.
std::vector<uint8_t> ScatteredBits(int width, int height) {
    int rowBytes = (width + 7) / 8;
    std::vector<uint8_t> bits(size_t(rowBytes) * height);
    uint32_t seed = 12345;
    for (uint8_t& byte : bits) {
        seed = seed * 1103515245u + 12345u;
        byte = static_cast<uint8_t>(seed >> 16);
    }
    return bits;
}

bool BitSet(const std::vector<uint8_t>& bits, int width, int x, int y) {
    return bits[size_t(y) * ((width + 7) / 8) + x / 8] >> (7 - x % 8) & 1;
}

TEST(PreparePage, BilevelPagesExpandFromTheirBitsInEveryRotation) {
    const int width = 11, height = 37;
    std::vector<uint8_t> bits = ScatteredBits(width, height);
    struct Case {
        uint16_t photometric, compression;
    } cases[] = {
        {PHOTOMETRIC_MINISWHITE, COMPRESSION_CCITTFAX4},
        {PHOTOMETRIC_MINISBLACK, COMPRESSION_NONE},
        {PHOTOMETRIC_MINISWHITE, COMPRESSION_PACKBITS},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.photometric);
        std::string path = TempPath("bits.tif");
        WriteTiff(path, {{.width = width,
                          .height = height,
                          .bits = 1,
                          .photometric = c.photometric,
                          .compression = c.compression,
                          .pixels = bits,
                          .rowsPerStrip = 7}});
        bool setIsBlack = c.photometric == PHOTOMETRIC_MINISWHITE;
        ExpectPainted(path, width, height, 0, 0,
                      [&](int x, int y) { return BitSet(bits, width, x, y) == setIsBlack ? 0 : 255; });
    }
}

// Pages of 2 x 2 boxes painted smoothly at half size: each painted pixel is the mean of
// its box, whatever the form of the page.
TEST(PreparePage, SmoothHalfSizeAveragesEachBox) {
    const int width = 8, height = 36;  // 18 made rows: more than one block when turned
    // Bilevel: box (i, j) holds (i + j) % 5 black pixels.
    auto blacks = [](int x, int y) { return (x / 2 + y / 2) % 5; };
    std::vector<uint8_t> bits(size_t(height) * 1);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            int n = blacks(x, y), index = (y % 2) * 2 + x % 2;  // the box's first n pixels are black
            if (index < n) bits[size_t(y)] |= static_cast<uint8_t>(0x80 >> x);
        }
    std::string path = TempPath("boxes.tif");
    WriteTiff(path, {{.width = width,
                      .height = height,
                      .bits = 1,
                      .photometric = PHOTOMETRIC_MINISWHITE,
                      .pixels = bits}});
    ExpectPainted(path, width / 2, height / 2, ZYPM_PAINT_SMOOTH, 1,
                  [&](int x, int y) { return (255 * (4 - blacks(2 * x, 2 * y)) + 2) / 4; });

    // Grey: the four pixels of a box differ; their mean is the expected value.
    auto grey = [](int x, int y) { return (x * 29 + y * 7 + (x % 2) * 40 + (y % 2) * 90) % 256; };
    std::vector<uint8_t> greys;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) greys.push_back(static_cast<uint8_t>(grey(x, y)));
    WriteTiff(path, {{.width = width, .height = height, .pixels = greys}});
    auto boxMean = [&](const std::function<int(int, int)>& f, int x, int y) {
        return (f(2 * x, 2 * y) + f(2 * x + 1, 2 * y) + f(2 * x, 2 * y + 1) + f(2 * x + 1, 2 * y + 1) + 2) /
               4;
    };
    ExpectPainted(path, width / 2, height / 2, ZYPM_PAINT_SMOOTH, 1,
                  [&](int x, int y) { return boxMean(grey, x, y); });

    // Colour through the RGBA reader: the blue channel carries the same values.
    std::vector<uint8_t> rgb;
    for (uint8_t value : greys) rgb.insert(rgb.end(), {200, 100, value});
    WriteTiff(
        path,
        {{.width = width, .height = height, .samples = 3, .photometric = PHOTOMETRIC_RGB, .pixels = rgb}});
    ExpectPainted(path, width / 2, height / 2, ZYPM_PAINT_SMOOTH, 1,
                  [&](int x, int y) { return boxMean(grey, x, y); });
}

}  // namespace
}  // namespace zypm_test
