// Painting: rotation, image size, offsets, background and the grey map, pixel by pixel
// (nearest-neighbour scaling, so every device pixel has one source pixel).
#include <cairo-pdf.h>
#include <cairo.h>
#include <gtest/gtest.h>
#include <tiffio.h>

#include <cmath>
#include <string>

#include "canvas.h"
#include "tiff_builder.h"

namespace zypm_test {
namespace {

class PaintTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string path = TempPath("paint.tif");
        // Page 1: grey 3 x 2 (10 20 30 / 40 50 60); page 2: one red and one green pixel.
        WriteTiff(path, {{.width = 3, .height = 2, .pixels = {10, 20, 30, 40, 50, 60}},
                         {.width = 2,
                          .height = 1,
                          .samples = 3,
                          .photometric = PHOTOMETRIC_RGB,
                          .pixels = {255, 0, 0, 0, 255, 0}}});
        ASSERT_EQ(session.Add(path), ZYPM_OK) << ZypmLastMessage();
        ASSERT_EQ(session.Show(), ZYPM_OK);
        grey = session.Lock(0);
        colour = session.Lock(1);
    }
    void TearDown() override {
        session.Unlock(grey);
        session.Unlock(colour);
    }
    int Paint(ZypmPage page, Canvas& canvas, ZypmRect rect, uint32_t flags) {
        return ZypmRectPaint(page, canvas.context, &rect, flags);
    }
    Session session;
    ZypmPage grey = nullptr, colour = nullptr;
};

TEST_F(PaintTest, RotationTurnsClockwise) {
    struct Case {
        int32_t rotation;
        int width, height;
        std::vector<int> pixels;
    } cases[] = {
        {1, 3, 2, {10, 20, 30, 40, 50, 60}},
        {2, 2, 3, {40, 10, 50, 20, 60, 30}},
        {3, 3, 2, {60, 50, 40, 30, 20, 10}},
        {4, 2, 3, {30, 60, 20, 50, 10, 40}},
    };
    for (const Case& c : cases) {
        ASSERT_EQ(ZypmPageAttrSet(grey, ZYPM_ATTR_ROTATION, c.rotation), ZYPM_OK);
        Canvas canvas(c.width, c.height);
        ASSERT_EQ(Paint(grey, canvas, {0, 0, c.width, c.height}, ZYPM_PAINT_ROTATE), ZYPM_OK)
            << ZypmLastMessage();
        EXPECT_EQ(canvas.Blues(), c.pixels) << "rotation " << c.rotation;
        Canvas upright(3, 2);  // without the flag the page stays upright
        ASSERT_EQ(Paint(grey, upright, {0, 0, 3, 2}, 0), ZYPM_OK);
        EXPECT_EQ(upright.Blues(), cases[0].pixels);
    }
}

TEST_F(PaintTest, ImageSizeAndOffsetsPlaceThePage) {
    // Twice the size; the rectangle at (1, 1) shows the image from (2, 1) on.
    ASSERT_EQ(ZypmPageAttrSet(grey, ZYPM_ATTR_IMAGE_WIDTH, 6), ZYPM_OK);
    ASSERT_EQ(ZypmPageAttrSet(grey, ZYPM_ATTR_X_OFFSET, 2), ZYPM_OK);
    ASSERT_EQ(ZypmPageAttrSet(grey, ZYPM_ATTR_Y_OFFSET, 1), ZYPM_OK);
    Canvas canvas(5, 5);
    ASSERT_EQ(Paint(grey, canvas, {1, 1, 5, 5}, ZYPM_PAINT_BACKGROUND), ZYPM_OK);
    // Row 0 and column 0 lie outside the rectangle (red: blue 0); row 4 is past the image.
    EXPECT_EQ(canvas.Blues(), (std::vector<int>{0,  0,  0, 0,  0,  0,  20, 20, 30,  30,  0,   50, 50,
                                                60, 60, 0, 50, 50, 60, 60, 0,  255, 255, 255, 255}));
    EXPECT_EQ(canvas.At(0, 0), 0xFF0000u);
    EXPECT_EQ(canvas.At(4, 4), 0xFFFFFFu);  // background inside the rectangle, past the image
    Canvas bare(5, 5);
    ASSERT_EQ(Paint(grey, bare, {1, 1, 5, 5}, 0), ZYPM_OK);
    EXPECT_EQ(bare.At(4, 4), 0xFF0000u);  // no background flag: left alone
}

TEST_F(PaintTest, HeightFollowsTheWidthThroughTheAspect) {
    ASSERT_EQ(ZypmPageAttrSet(grey, ZYPM_ATTR_IMAGE_WIDTH, 30), ZYPM_OK);
    Canvas canvas(40, 40);
    ASSERT_EQ(Paint(grey, canvas, {0, 0, 40, 40}, ZYPM_PAINT_BACKGROUND), ZYPM_OK);
    EXPECT_EQ(canvas.At(29, 19) & 0xFF, 60u);
    EXPECT_EQ(canvas.At(29, 20), 0xFFFFFFu);
    EXPECT_EQ(canvas.At(30, 19), 0xFFFFFFu);
}

TEST_F(PaintTest, GreyMapOfContrastAndBrightness) {
    struct Case {
        int32_t contrast, brightness;
        int first;  // the pixel of value 10
    } cases[] = {
        {128, 128, 10},  {0, 128, 128},  {255, 128, 0}, {128, 0, 0},
        {128, 255, 255}, {128, 140, 34}, {64, 128, 69},
    };
    for (const Case& c : cases) {
        ASSERT_EQ(ZypmPageAttrSet(grey, ZYPM_ATTR_CONTRAST, c.contrast), ZYPM_OK);
        ASSERT_EQ(ZypmPageAttrSet(grey, ZYPM_ATTR_BRIGHTNESS, c.brightness), ZYPM_OK);
        Canvas canvas(3, 2);
        ASSERT_EQ(Paint(grey, canvas, {0, 0, 3, 2}, ZYPM_PAINT_ADJUST), ZYPM_OK);
        EXPECT_EQ(canvas.At(0, 0), uint32_t(c.first) * 0x010101u) << c.contrast << "/" << c.brightness;
        Canvas plain(3, 2);  // without the flag: as stored
        ASSERT_EQ(Paint(grey, plain, {0, 0, 3, 2}, 0), ZYPM_OK);
        EXPECT_EQ(plain.At(0, 0), 0x0A0A0Au);
    }
}

TEST_F(PaintTest, GreyModeOnlyWhereAsked) {
    ASSERT_EQ(ZypmPageAttrSet(colour, ZYPM_ATTR_COLOUR_MODE, ZYPM_COLOUR_GREY), ZYPM_OK);
    struct Case {
        uint32_t flags;
        uint32_t red, green;
    } cases[] = {
        {ZYPM_PAINT_ADJUST, 0x4D4D4Du, 0x959595u},
        {ZYPM_PAINT_ADJUST | ZYPM_PAINT_NO_GREY, 0xFF0000u, 0x00FF00u},
        {0, 0xFF0000u, 0x00FF00u},
    };
    for (const Case& c : cases) {
        Canvas canvas(2, 1);
        ASSERT_EQ(Paint(colour, canvas, {0, 0, 2, 1}, c.flags), ZYPM_OK);
        EXPECT_EQ(canvas.At(0, 0), c.red) << c.flags;
        EXPECT_EQ(canvas.At(1, 0), c.green) << c.flags;
    }
}

TEST_F(PaintTest, BrokenContextAndEmptyRectangle) {
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, 2, 2);
    cairo_t* context = cairo_create(surface);
    cairo_restore(context);  // unbalanced: the context enters an error state
    ZypmRect rect{0, 0, 2, 2};
    EXPECT_EQ(ZypmRectPaint(grey, context, &rect, 0), ZYPM_E_PAINT);
    cairo_destroy(context);
    cairo_surface_destroy(surface);
    Canvas canvas(2, 2);
    EXPECT_EQ(Paint(grey, canvas, {1, 1, 1, 2}, ZYPM_PAINT_BACKGROUND), ZYPM_OK);
    EXPECT_EQ(canvas.At(1, 1), 0xFF0000u);
}

// Pages longer than a cairo image surface's 32767 pixels a side, up to the 65535 cap,
// paint at their natural size and enlarged, and onto a PDF. Stripes of 1200 pixels
// alternate black and white along the long side; the window shows the page's far end.
TEST(LongPage, PaintsPastTheSurfaceLimit) {
    constexpr uint32_t kStripe = 1200;
    struct Case {
        uint32_t width, height;
        int zoom;  // percent
    };
    const Case cases[] = {
        {40000, 1, 100}, {40000, 1, 1000}, {1, 65535, 100}, {1, 65535, 1000}, {32768, 2, 100}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.width) + " x " + std::to_string(c.height) + " at " +
                     std::to_string(c.zoom));
        const bool wide = c.width > c.height;
        const uint32_t length = wide ? c.width : c.height, across = wide ? c.height : c.width;
        std::vector<uint8_t> pixels(size_t{c.width} * c.height);
        for (uint32_t y = 0; y < c.height; ++y)
            for (uint32_t x = 0; x < c.width; ++x)
                pixels[size_t{y} * c.width + x] = ((wide ? x : y) / kStripe) % 2 ? 255 : 0;
        const std::string path = TempPath("long.tif");
        WriteTiff(path, {{.width = c.width, .height = c.height, .photometric = 1, .pixels = pixels}});
        Session session;
        ASSERT_EQ(session.Add(path), ZYPM_OK) << ZypmLastMessage();
        ASSERT_EQ(session.Show(), ZYPM_OK);
        ZypmPage page = session.Lock(0);
        const int scale = c.zoom / 100;
        ASSERT_EQ(ZypmPageAttrSet(page, ZYPM_ATTR_IMAGE_WIDTH, static_cast<int32_t>(c.width) * scale),
                  ZYPM_OK);
        ASSERT_EQ(ZypmPageAttrSet(page, ZYPM_ATTR_IMAGE_HEIGHT, static_cast<int32_t>(c.height) * scale),
                  ZYPM_OK);
        // A window of 3000 device pixels along the page, ending at the page's end.
        constexpr int kWindow = 3000;
        const int32_t offset = static_cast<int32_t>(length) * scale - kWindow;
        ASSERT_EQ(ZypmPageAttrSet(page, wide ? ZYPM_ATTR_X_OFFSET : ZYPM_ATTR_Y_OFFSET, offset), ZYPM_OK);
        const int side = static_cast<int>(across) * scale;
        Canvas canvas(wide ? kWindow : side, wide ? side : kWindow);
        ZypmRect rect{0, 0, wide ? kWindow : side, wide ? side : kWindow};
        ASSERT_EQ(ZypmRectPaint(page, canvas.context, &rect, 0), ZYPM_OK) << ZypmLastMessage();
        // Every device pixel away from a stripe's edge has its stripe's grey.
        int wrong = 0, checked = 0;
        for (int d = 0; d < kWindow; ++d) {
            const double at = (offset + d + 0.5) / scale;  // page pixel under the device pixel
            const double intoStripe = std::fmod(at, kStripe);
            if (intoStripe < 4 || intoStripe > kStripe - 4) continue;
            const uint32_t want = (static_cast<uint32_t>(at) / kStripe) % 2 ? 0xFFFFFFu : 0;
            ++checked;
            if (canvas.At(wide ? d : 0, wide ? 0 : d) != want) ++wrong;
        }
        EXPECT_GT(checked, kWindow / 2);
        EXPECT_EQ(wrong, 0);

        // Printing keeps every pixel the surface can hold: the whole page onto a PDF.
        cairo_surface_t* pdf = cairo_pdf_surface_create(TempPath("long.pdf").c_str(), 595, 842);
        cairo_t* printer = cairo_create(pdf);
        cairo_scale(printer, 500.0 / (static_cast<double>(length) * scale),
                    500.0 / (static_cast<double>(length) * scale));
        ASSERT_EQ(ZypmPageAttrSet(page, ZYPM_ATTR_X_OFFSET, 0), ZYPM_OK);
        ASSERT_EQ(ZypmPageAttrSet(page, ZYPM_ATTR_Y_OFFSET, 0), ZYPM_OK);
        ZypmRect whole{0, 0, static_cast<int32_t>(c.width) * scale, static_cast<int32_t>(c.height) * scale};
        EXPECT_EQ(ZypmRectPaint(page, printer, &whole, 0), ZYPM_OK) << ZypmLastMessage();
        cairo_show_page(printer);
        cairo_destroy(printer);
        cairo_surface_finish(pdf);
        EXPECT_EQ(cairo_surface_status(pdf), CAIRO_STATUS_SUCCESS);
        cairo_surface_destroy(pdf);
        session.Unlock(page);
    }
}

}  // namespace
}  // namespace zypm_test
