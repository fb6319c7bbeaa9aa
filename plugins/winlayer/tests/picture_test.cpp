// Bitmaps from picture text: the pixels of good pictures, the message of bad ones.
#include <gtest/gtest.h>

#include "desktop_internal.h"
#include "gdi_test_util.h"

namespace {

TEST(Picture, PixelsFromPalette) {
    std::string error = "stale";
    BitmapPtr bitmap(Bitmap_FromPicture("3 2 2\n. #FFFFFF\nX #1a2B3c\n.X.\nXX.\n", &error));
    ASSERT_TRUE(bitmap) << error;
    EXPECT_TRUE(error.empty());
    EXPECT_EQ(Win_BitmapWidth(bitmap.get()), 3);
    EXPECT_EQ(Win_BitmapHeight(bitmap.get()), 2);
    const uint32_t expected[2][3] = {{0xFFFFFF, 0x1A2B3C, 0xFFFFFF}, {0x1A2B3C, 0x1A2B3C, 0xFFFFFF}};
    for (int y = 0; y < 2; ++y) {
        for (int x = 0; x < 3; ++x)
            EXPECT_EQ(Win_BitmapPixel(bitmap.get(), x, y), expected[y][x]) << x << "," << y;
    }
}

TEST(Picture, LineEndingsAndTrailingLines) {
    for (const char* text :
         {"1 1 1\nr #FF0000\nr", "1 1 1\r\nr #FF0000\r\nr\r\n", "1 1 1\nr #FF0000\nr\n\n\n"}) {
        std::string error;
        BitmapPtr bitmap(Bitmap_FromPicture(text, &error));
        ASSERT_TRUE(bitmap) << error;
        EXPECT_EQ(Win_BitmapPixel(bitmap.get(), 0, 0), 0xFF0000u);
    }
}

TEST(Picture, BrokenPicturesAreRefusedWithTheirLine) {
    struct Case {
        const char* text;
        const char* message;
    } cases[] = {
        {"", "picture is empty"},
        {"2 2\n", "line 1: expected"},
        {"2 x 1\n", "line 1: expected"},
        {"2 2 1 7\n", "line 1: expected"},
        {"2 2 0\n", "line 1: colour count"},
        {"2 2 257\n", "line 1: colour count"},
        {"0 2 1\na #000000\n\n\n", "line 1: size 0 x 2 refused"},
        {"2 -1 1\na #000000\n", "line 1: size 2 x -1 refused"},
        {"16385 1 1\na #000000\n", "line 1: size 16385 x 1 refused"},
        {"99999999999 1 1\n", "line 1: expected"},
        {"2 2 1\na #000000\naa\n", "picture has 3 lines, needs 4"},
        {"2 1 1\na 000000\naa\n", "line 2: expected \"<char> #RRGGBB\""},
        {"2 1 1\na #00000\naa\n", "line 2: expected"},
        {"2 1 1\na #0000000\naa\n", "line 2: expected"},
        {"2 1 1\n  #000000\naa\n", "line 2: expected"},
        {"2 1 1\na #00g000\naa\n", "line 2: bad colour digit"},
        {"2 1 2\na #000000\na #FFFFFF\naa\n", "line 3: colour 'a' defined twice"},
        {"2 1 1\na #000000\na\n", "line 3: row has 1 characters, needs 2"},
        {"2 1 1\na #000000\naaa\n", "line 3: row has 3 characters, needs 2"},
        {"2 1 1\na #000000\nab\n", "line 3: unknown colour 'b'"},
        {"2 1 1\na #000000\naa\naa\n", "line 4: text after the last row"},
    };
    for (const Case& c : cases) {
        std::string error;
        BitmapPtr bitmap(Bitmap_FromPicture(c.text, &error));
        EXPECT_FALSE(bitmap) << c.text;
        EXPECT_NE(error.find(c.message), std::string::npos) << "'" << c.text << "' gave '" << error << "'";
    }
    EXPECT_EQ(Bitmap_FromPicture("1 1 1\n", nullptr), nullptr);  // no error wanted
}

}  // namespace
