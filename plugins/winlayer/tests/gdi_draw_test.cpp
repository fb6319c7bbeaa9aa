// Drawing contexts, objects, text and bitmaps, checked pixel by pixel.
#include <cairo.h>
#include <gtest/gtest.h>

#include "desktop_internal.h"
#include "gdi_test_util.h"

namespace {

constexpr uint32_t kWhite = 0xFFFFFF, kBlack = 0x000000, kRed = 0xFF0000, kBlue = 0x0000FF;

BitmapPtr Canvas(int width, int height) { return BitmapPtr(Win_CreateBitmap(width, height)); }

int CountPixels(const WinBitmap* bitmap, uint32_t rgb) {
    int count = 0;
    for (int y = 0; y < Win_BitmapHeight(bitmap); ++y) {
        for (int x = 0; x < Win_BitmapWidth(bitmap); ++x) count += Win_BitmapPixel(bitmap, x, y) == rgb;
    }
    return count;
}

bool SamePixels(const WinBitmap* a, const WinBitmap* b) {
    if (Win_BitmapWidth(a) != Win_BitmapWidth(b) || Win_BitmapHeight(a) != Win_BitmapHeight(b)) return false;
    for (int y = 0; y < Win_BitmapHeight(a); ++y) {
        for (int x = 0; x < Win_BitmapWidth(a); ++x) {
            if (Win_BitmapPixel(a, x, y) != Win_BitmapPixel(b, x, y)) return false;
        }
    }
    return true;
}

TEST(BitmapCaps, SizesAcceptedAndRefused) {
    struct Case {
        int width, height;
        bool accepted;
    } cases[] = {
        {1, 1, true},         {16384, 1, true},  {1, 16384, true},  {16384, 4096, true},
        {16384, 4097, false}, {16385, 1, false}, {1, 16385, false}, {0, 10, false},
        {10, 0, false},       {-1, 10, false},   {10, -5, false},   {16384, 16384, false},
    };
    for (const Case& c : cases) {
        BitmapPtr bitmap(Win_CreateBitmap(c.width, c.height));
        EXPECT_EQ(bitmap != nullptr, c.accepted) << c.width << " x " << c.height;
        if (bitmap) {
            EXPECT_EQ(Win_BitmapWidth(bitmap.get()), c.width);
            EXPECT_EQ(Win_BitmapHeight(bitmap.get()), c.height);
            EXPECT_EQ(Win_BitmapPixel(bitmap.get(), c.width - 1, c.height - 1), kWhite);
        }
    }
}

TEST(Bitmap, PixelsOutsideAndCopiesIndependent) {
    BitmapPtr bitmap = Canvas(4, 3);
    DcPtr dc(Win_CreateBitmapDC(bitmap.get()));
    Win_FillSolid(dc.get(), WinRect{1, 1, 2, 2}, WinRgb(255, 0, 0));
    EXPECT_EQ(Win_BitmapPixel(bitmap.get(), 1, 1), kRed);
    for (auto [x, y] : {std::pair{-1, 0}, {0, -1}, {4, 0}, {0, 3}}) {
        EXPECT_EQ(Win_BitmapPixel(bitmap.get(), x, y), 0xFFFFFFFFu) << x << "," << y;
    }
    BitmapPtr copy(Win_CopyBitmap(bitmap.get()));
    ASSERT_TRUE(copy);
    Win_FillSolid(dc.get(), WinRect{0, 0, 4, 3}, WinRgb(0, 0, 255));
    EXPECT_EQ(Win_BitmapPixel(copy.get(), 1, 1), kRed);
    EXPECT_EQ(Win_BitmapPixel(copy.get(), 0, 0), kWhite);
    EXPECT_EQ(Win_BitmapPixel(bitmap.get(), 0, 0), kBlue);
}

TEST(Bitmap, FromSurfaceCopiesImagesOnly) {
    cairo_surface_t* image = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 5, 2);
    cairo_t* cr = cairo_create(image);
    cairo_set_source_rgb(cr, 0, 0, 1);
    cairo_paint(cr);
    cairo_destroy(cr);
    BitmapPtr bitmap(Bitmap_FromSurface(image));
    cairo_surface_destroy(image);
    ASSERT_TRUE(bitmap);
    EXPECT_EQ(Win_BitmapWidth(bitmap.get()), 5);
    EXPECT_EQ(Win_BitmapPixel(bitmap.get(), 4, 1), kBlue);

    cairo_surface_t* recording = cairo_recording_surface_create(CAIRO_CONTENT_COLOR_ALPHA, nullptr);
    EXPECT_EQ(Bitmap_FromSurface(recording), nullptr);
    cairo_surface_destroy(recording);
    EXPECT_EQ(Bitmap_FromSurface(nullptr), nullptr);
}

TEST(Bitmap, PngRoundTrip) {
    TempDir dir;
    BitmapPtr bitmap = Canvas(6, 4);
    DcPtr dc(Win_CreateBitmapDC(bitmap.get()));
    Win_FillSolid(dc.get(), WinRect{2, 1, 4, 3}, WinRgb(255, 0, 0));
    std::string path = dir.path() + "/out.png";
    ASSERT_TRUE(Win_WritePng(bitmap.get(), path));
    cairo_surface_t* back = cairo_image_surface_create_from_png(path.c_str());
    BitmapPtr read(Bitmap_FromSurface(back));
    cairo_surface_destroy(back);
    ASSERT_TRUE(read);
    EXPECT_TRUE(SamePixels(bitmap.get(), read.get()));
    EXPECT_FALSE(Win_WritePng(bitmap.get(), dir.path() + "/missing/out.png"));
}

TEST(DrawingContext, OriginAndClipOfAChildArea) {
    BitmapPtr surface = Canvas(40, 30);
    // A child at 10,5 whose client area is 12 x 8 pixels.
    DcPtr dc(Dc_CreateForSurface(Win_BitmapSurface(surface.get()), 10, 5, WinRect{10, 5, 22, 13}));
    ASSERT_TRUE(dc);
    Win_FillSolid(dc.get(), WinRect{0, 0, 100, 100}, WinRgb(255, 0, 0));
    EXPECT_EQ(CountPixels(surface.get(), kRed), 12 * 8);
    EXPECT_EQ(Win_BitmapPixel(surface.get(), 10, 5), kRed);
    EXPECT_EQ(Win_BitmapPixel(surface.get(), 21, 12), kRed);
    EXPECT_EQ(Win_BitmapPixel(surface.get(), 22, 12), kWhite);
    EXPECT_EQ(Win_BitmapPixel(surface.get(), 9, 5), kWhite);
    EXPECT_EQ(Win_GetDeviceCaps(dc.get(), HORZRES), 12);
    EXPECT_EQ(Win_GetDeviceCaps(dc.get(), LOGPIXELSY), 96);

    // A kept context moved elsewhere keeps its selections and modes.
    WinGdi pen = Win_CreatePen(PS_SOLID, 1, WinRgb(0, 0, 255));
    Win_SelectObject(dc.get(), pen);
    Win_SetROP2(dc.get(), R2_XORPEN);
    Dc_Retarget(dc.get(), Win_BitmapSurface(surface.get()), 0, 20, WinRect{0, 20, 40, 30});
    EXPECT_EQ(Win_SetROP2(dc.get(), R2_COPYPEN), R2_XORPEN);
    Win_MoveTo(dc.get(), 0, 0);
    Win_LineTo(dc.get(), 5, 0);
    EXPECT_EQ(Win_BitmapPixel(surface.get(), 4, 20), kBlue);
    EXPECT_EQ(Win_BitmapPixel(surface.get(), 5, 20), kWhite);  // the end point stays undrawn
    Win_DeleteObject(pen);
}

TEST(DrawingContext, SelectionReturnsThePreviousObjectOfItsKind) {
    BitmapPtr surface = Canvas(8, 8);
    DcPtr dc(Win_CreateBitmapDC(surface.get()));
    WinGdi pen = Win_CreatePen(PS_DASH, 2, WinRgb(1, 2, 3));
    WinGdi brush = Win_CreateSolidBrush(WinRgb(4, 5, 6));
    WinGdi font = Win_CreateFont("monospace", 20, false, false);
    ASSERT_NE(pen, 0u);
    WinGdi firstPen = Win_SelectObject(dc.get(), pen);
    EXPECT_EQ(firstPen, Win_GetStockObject(BLACK_PEN));
    EXPECT_EQ(Win_SelectObject(dc.get(), brush), Win_GetStockObject(WHITE_BRUSH));
    WinGdi firstFont = Win_SelectObject(dc.get(), font);
    EXPECT_NE(firstFont, 0u);
    EXPECT_EQ(Win_SelectObject(dc.get(), firstPen), pen);
    EXPECT_EQ(Win_SelectObject(dc.get(), firstFont), font);
    EXPECT_EQ(Win_SelectObject(dc.get(), 0), 0u);
    EXPECT_EQ(Win_SelectObject(dc.get(), 0xABCDEF), 0u);
    EXPECT_EQ(Win_CreatePen(42, 1, 0), 0u);

    EXPECT_TRUE(Win_DeleteObject(pen));
    EXPECT_FALSE(Win_DeleteObject(pen));
    EXPECT_TRUE(Win_DeleteObject(Win_GetStockObject(BLACK_PEN)));
    EXPECT_NE(Win_SelectObject(dc.get(), Win_GetStockObject(BLACK_PEN)), 0u);  // the stock pen is kept
    EXPECT_EQ(Win_GetStockObject(99), 0u);
    Win_DeleteObject(brush);
    Win_DeleteObject(font);
}

TEST(DrawingContext, DeletedSelectedBrushFallsBackToWhite) {
    BitmapPtr surface = Canvas(10, 10);
    DcPtr dc(Win_CreateBitmapDC(surface.get()));
    Win_FillSolid(dc.get(), WinRect{0, 0, 10, 10}, WinRgb(0, 0, 0));
    WinGdi brush = Win_CreateSolidBrush(WinRgb(255, 0, 0));
    Win_SelectObject(dc.get(), brush);
    Win_DeleteObject(brush);
    Win_SelectObject(dc.get(), Win_GetStockObject(NULL_PEN));
    Win_Rectangle(dc.get(), 0, 0, 5, 5);
    EXPECT_EQ(Win_BitmapPixel(surface.get(), 0, 0), kWhite);
    EXPECT_EQ(Win_BitmapPixel(surface.get(), 4, 4), kBlack);  // null pen: one short
}

TEST(RasterModes, InvertingDrawsTwiceRestore) {
    struct Case {
        int mode;
        int penStyle;
        int penWidth;
    } cases[] = {{R2_NOT, PS_SOLID, 1},
                 {R2_XORPEN, PS_SOLID, 1},
                 {R2_XORPEN, PS_DOT, 1},
                 {R2_NOT, PS_DASH, 3},
                 {R2_XORPEN, PS_SOLID, 4}};
    for (const Case& c : cases) {
        BitmapPtr surface = Canvas(60, 40);
        DcPtr dc(Win_CreateBitmapDC(surface.get()));
        Win_FillSolid(dc.get(), WinRect{0, 0, 30, 40}, WinRgb(200, 40, 90));
        Win_FillSolid(dc.get(), WinRect{30, 0, 60, 40}, WinRgb(10, 220, 130));
        BitmapPtr before(Win_CopyBitmap(surface.get()));
        WinGdi pen = Win_CreatePen(c.penStyle, c.penWidth, WinRgb(0, 128, 255));
        Win_SelectObject(dc.get(), pen);
        Win_SelectObject(dc.get(), Win_GetStockObject(NULL_BRUSH));
        Win_SetROP2(dc.get(), c.mode);
        Win_SetBkMode(dc.get(), OPAQUE);
        auto band = [&] {
            Win_Rectangle(dc.get(), 5, 5, 50, 30);
            Win_MoveTo(dc.get(), 2, 38);
            Win_LineTo(dc.get(), 58, 2);
        };
        band();
        EXPECT_FALSE(SamePixels(before.get(), surface.get())) << c.mode;
        // An inverted pixel is the complement of what was there.
        if (c.penStyle == PS_SOLID) {
            EXPECT_EQ(Win_BitmapPixel(surface.get(), 10, 5), 0xFFFFFFu ^ Win_BitmapPixel(before.get(), 10, 5))
                << c.mode;
        }
        band();
        EXPECT_TRUE(SamePixels(before.get(), surface.get()))
            << c.mode << " " << c.penStyle << " " << c.penWidth;
        Win_DeleteObject(pen);
    }
}

TEST(RasterModes, BlackAndWhiteIgnoreThePenColour) {
    for (auto [mode, expected] : {std::pair{R2_BLACK, kBlack}, {R2_WHITE, kWhite}, {R2_COPYPEN, kRed}}) {
        BitmapPtr surface = Canvas(10, 4);
        DcPtr dc(Win_CreateBitmapDC(surface.get()));
        Win_FillSolid(dc.get(), WinRect{0, 0, 10, 4}, WinRgb(0, 0, 255));
        WinGdi pen = Win_CreatePen(PS_SOLID, 1, WinRgb(255, 0, 0));
        Win_SelectObject(dc.get(), pen);
        EXPECT_EQ(Win_SetROP2(dc.get(), mode), R2_COPYPEN);
        Win_MoveTo(dc.get(), 0, 1);
        Win_LineTo(dc.get(), 10, 1);
        EXPECT_EQ(Win_BitmapPixel(surface.get(), 3, 1), expected) << mode;
        EXPECT_EQ(Win_BitmapPixel(surface.get(), 3, 2), kBlue) << mode;
        Win_DeleteObject(pen);
    }
}

TEST(Text, ExtentsFollowFaceSizeAndText) {
    BitmapPtr surface = Canvas(10, 10);
    DcPtr dc(Win_CreateBitmapDC(surface.get()));
    auto extent = [&](const std::string& face, int height, bool bold, const std::string& text) {
        WinGdi font = Win_CreateFont(face, height, bold, false);
        WinGdi previous = Win_SelectObject(dc.get(), font);
        int width = -1, tall = -1;
        EXPECT_TRUE(Win_GetTextExtent(dc.get(), text, &width, &tall));
        Win_SelectObject(dc.get(), previous);
        Win_DeleteObject(font);
        return std::pair{width, tall};
    };
    auto [monoW, monoH] = extent("monospace", 20, false, "WWWW");
    EXPECT_EQ(extent("monospace", 20, false, "iiii").first, monoW);  // fixed pitch
    EXPECT_LT(extent("", 20, false, "iiii").first, extent("", 20, false, "WWWW").first);
    EXPECT_NEAR(monoH, 20, 1);
    EXPECT_NEAR(extent("", 40, false, "x").second, 40, 1);
    EXPECT_GT(extent("", 40, false, "Hello").first, extent("", 20, false, "Hello").first);
    EXPECT_GE(extent("", 20, true, "Hello").first, extent("", 20, false, "Hello").first);
    EXPECT_EQ(extent("", 20, false, "").first, 0);
    int width = -1, height = -1;
    EXPECT_TRUE(Win_GetTextExtent(dc.get(), std::string_view("a\0b", 3), &width, &height));
    EXPECT_GT(width, 0);
}

TEST(Text, BackgroundModesAndOpaqueRectangle) {
    struct Case {
        int bkMode;
        uint32_t options;
        bool rectFilled;  // a pixel of the rectangle, away from the text
        bool cellFilled;  // a pixel of the text cell outside the rectangle
    } cases[] = {{TRANSPARENT, 0, false, false},
                 {OPAQUE, 0, false, true},
                 {TRANSPARENT, ETO_OPAQUE, true, false},
                 {OPAQUE, ETO_OPAQUE, true, true}};
    for (const Case& c : cases) {
        BitmapPtr surface = Canvas(200, 60);
        DcPtr dc(Win_CreateBitmapDC(surface.get()));
        Win_SetBkMode(dc.get(), c.bkMode);
        Win_SetBkColor(dc.get(), WinRgb(0, 0, 255));
        Win_SetTextColor(dc.get(), WinRgb(255, 0, 0));
        WinGdi font = Win_CreateFont("", 30, true, false);
        Win_SelectObject(dc.get(), font);
        WinRect rect{100, 0, 200, 60};
        ASSERT_TRUE(Win_ExtTextOut(dc.get(), 10, 10, c.options, &rect, "MM"));
        Win_DeleteObject(font);
        EXPECT_EQ(Win_BitmapPixel(surface.get(), 150, 50) == kBlue, c.rectFilled)
            << c.bkMode << " " << c.options;
        EXPECT_EQ(Win_BitmapPixel(surface.get(), 10, 10) == kBlue, c.cellFilled)
            << c.bkMode << " " << c.options;
        int reddish = 0;
        for (int y = 10; y < 40; ++y) {
            for (int x = 10; x < 60; ++x)
                reddish += (Win_BitmapPixel(surface.get(), x, y) >> 16) > 0xC0 &&
                           (Win_BitmapPixel(surface.get(), x, y) & 0xFF) < 0x40;
        }
        EXPECT_GT(reddish, 5) << "text drawn in the text colour";
    }
}

TEST(Text, ClippedToTheRectangle) {
    BitmapPtr surface = Canvas(200, 40);
    DcPtr dc(Win_CreateBitmapDC(surface.get()));
    Win_SetBkMode(dc.get(), OPAQUE);
    Win_SetBkColor(dc.get(), WinRgb(0, 0, 255));
    WinRect rect{0, 0, 20, 40};
    Win_ExtTextOut(dc.get(), 5, 5, ETO_CLIPPED, &rect, "MMMMMMMMMM");
    for (int y = 0; y < 40; ++y) {
        for (int x = 20; x < 200; ++x)
            ASSERT_EQ(Win_BitmapPixel(surface.get(), x, y), kWhite) << x << "," << y;
    }
    EXPECT_EQ(Win_BitmapPixel(surface.get(), 5, 5), kBlue);
}

TEST(Bitmaps, StretchMirrorsAndRefusesEmptySources) {
    BitmapPtr source = Canvas(2, 1);
    DcPtr sourceDc(Win_CreateBitmapDC(source.get()));
    Win_FillSolid(sourceDc.get(), WinRect{0, 0, 1, 1}, WinRgb(255, 0, 0));
    BitmapPtr target = Canvas(8, 2);
    DcPtr dc(Win_CreateBitmapDC(target.get()));
    ASSERT_TRUE(Win_StretchBitmap(dc.get(), 0, 0, 8, 2, source.get(), 0, 0, 2, 1));
    EXPECT_EQ(Win_BitmapPixel(target.get(), 3, 1), kRed);
    EXPECT_EQ(Win_BitmapPixel(target.get(), 4, 0), kWhite);
    Win_FillSolid(dc.get(), WinRect{0, 0, 8, 2}, WinRgb(0, 0, 0));
    ASSERT_TRUE(Win_StretchBitmap(dc.get(), 8, 0, -8, 2, source.get(), 0, 0, 2, 1));  // mirrored
    EXPECT_EQ(Win_BitmapPixel(target.get(), 7, 0), kRed);
    EXPECT_EQ(Win_BitmapPixel(target.get(), 0, 0), kWhite);
    EXPECT_FALSE(Win_StretchBitmap(dc.get(), 0, 0, 8, 2, source.get(), 0, 0, 0, 1));
    EXPECT_FALSE(Win_StretchBitmap(dc.get(), 0, 0, 0, 2, source.get(), 0, 0, 2, 1));
    EXPECT_FALSE(Win_DrawBitmap(dc.get(), 0, 0, nullptr));
}

TEST(Colours, SystemColoursKnownAndUnknown) {
    EXPECT_EQ(Win_GetSysColor(COLOR_WINDOW), WinRgb(255, 255, 255));
    EXPECT_EQ(Win_GetSysColor(COLOR_WINDOWTEXT), WinRgb(0, 0, 0));
    EXPECT_NE(Win_GetSysColor(COLOR_BTNFACE), Win_GetSysColor(COLOR_BTNSHADOW));
    EXPECT_EQ(Win_GetSysColor(9999), 0u);
}

}  // namespace
