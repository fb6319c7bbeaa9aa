// Pages whose two resolutions differ (fax pages) are reported and painted in their true
// shape: the axis of the lower resolution stretched to the higher one.
#include <gtest/gtest.h>
#include <tiffio.h>

#include "canvas.h"
#include "tiff_builder.h"

namespace zypm_test {
namespace {

struct Size {
    int32_t width, height;
    bool operator==(const Size&) const = default;
};

TEST(PageShape, WidthAndHeightFollowTheResolutions) {
    struct Case {
        const char* what;
        float x, y;
        uint16_t unit;
        Size shown, dpi;
    } cases[] = {
        {"no resolution", 0, 0, RESUNIT_INCH, {20, 10}, {0, 0}},
        {"equal", 300, 300, RESUNIT_INCH, {20, 10}, {300, 300}},
        {"fax fine", 204, 196, RESUNIT_INCH, {20, 10}, {204, 196}},  // 10.4 rows round to 10
        {"fax normal", 204, 98, RESUNIT_INCH, {20, 21}, {204, 98}},
        {"half vertical", 200, 100, RESUNIT_INCH, {20, 20}, {200, 100}},
        {"half horizontal", 100, 200, RESUNIT_INCH, {40, 10}, {100, 200}},
        {"centimetres", 80, 40, RESUNIT_CENTIMETER, {20, 20}, {203, 102}},
        {"no unit", 2, 1, RESUNIT_NONE, {20, 20}, {2, 1}},
        {"one axis only", 200, 0, RESUNIT_INCH, {20, 10}, {200, 0}},
        {"implausibly far apart", 1000, 100, RESUNIT_INCH, {20, 10}, {1000, 100}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::string path = TempPath("shape.tif");
        WriteTiff(
            path,
            {{.width = 20, .height = 10, .xResolution = c.x, .yResolution = c.y, .resolutionUnit = c.unit}});
        Session session;
        ASSERT_EQ(session.Add(path), ZYPM_OK) << ZypmLastMessage();
        ASSERT_EQ(session.Show(), ZYPM_OK);
        ZypmPage page = session.Lock(0);
        Size shown{}, pixels{}, dpi{};
        ZypmPageAttrGet(page, ZYPM_ATTR_WIDTH, &shown.width);
        ZypmPageAttrGet(page, ZYPM_ATTR_HEIGHT, &shown.height);
        ZypmPageAttrGet(page, ZYPM_ATTR_PIXEL_WIDTH, &pixels.width);
        ZypmPageAttrGet(page, ZYPM_ATTR_PIXEL_HEIGHT, &pixels.height);
        ZypmPageAttrGet(page, ZYPM_ATTR_X_DPI, &dpi.width);
        ZypmPageAttrGet(page, ZYPM_ATTR_Y_DPI, &dpi.height);
        EXPECT_EQ(shown, c.shown);
        EXPECT_EQ(pixels, (Size{20, 10}));
        EXPECT_EQ(dpi, c.dpi);
        // Measuring records the same sizes.
        ZypmSettings settings = nullptr;
        ASSERT_EQ(ZypmSettingsNew(&settings, 1), ZYPM_OK);
        ASSERT_EQ(ZypmPageMeasure(session.view, page, settings, 0, 0, nullptr), ZYPM_OK);
        Size measured{}, measuredPixels{};
        ZypmSettingsAttrGet(settings, 0, ZYPM_ATTR_WIDTH, &measured.width);
        ZypmSettingsAttrGet(settings, 0, ZYPM_ATTR_HEIGHT, &measured.height);
        ZypmSettingsAttrGet(settings, 0, ZYPM_ATTR_PIXEL_WIDTH, &measuredPixels.width);
        ZypmSettingsAttrGet(settings, 0, ZYPM_ATTR_PIXEL_HEIGHT, &measuredPixels.height);
        EXPECT_EQ(measured, c.shown);
        EXPECT_EQ(measuredPixels, (Size{20, 10}));
        ZypmSettingsFree(settings);
        session.Unlock(page);
    }
}

// A 3 x 2 grey page (10 20 30 / 40 50 60) of 200 x 100 dpi shows 3 x 4: each row twice.
class FaxPaintTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string path = TempPath("fax.tif");
        WriteTiff(path, {{.width = 3,
                          .height = 2,
                          .pixels = {10, 20, 30, 40, 50, 60},
                          .xResolution = 200,
                          .yResolution = 100}});
        ASSERT_EQ(session.Add(path), ZYPM_OK) << ZypmLastMessage();
        ASSERT_EQ(session.Show(), ZYPM_OK);
        page = session.Lock(0);
    }
    void TearDown() override { session.Unlock(page); }
    Session session;
    ZypmPage page = nullptr;
};

TEST_F(FaxPaintTest, NaturalSizeIsTheTrueShapeInEveryRotation) {
    struct Case {
        int32_t rotation;
        int width, height;
        std::vector<int> pixels;
    } cases[] = {
        {1, 3, 4, {10, 20, 30, 10, 20, 30, 40, 50, 60, 40, 50, 60}},
        {2, 4, 3, {40, 40, 10, 10, 50, 50, 20, 20, 60, 60, 30, 30}},
        {3, 3, 4, {60, 50, 40, 60, 50, 40, 30, 20, 10, 30, 20, 10}},
        {4, 4, 3, {30, 30, 60, 60, 20, 20, 50, 50, 10, 10, 40, 40}},
    };
    for (const Case& c : cases) {
        ASSERT_EQ(ZypmPageAttrSet(page, ZYPM_ATTR_ROTATION, c.rotation), ZYPM_OK);
        // One pixel more each way: the background shows where the image ends.
        Canvas canvas(c.width + 1, c.height + 1);
        ZypmRect rect{0, 0, c.width + 1, c.height + 1};
        ASSERT_EQ(ZypmRectPaint(page, canvas.context, &rect, ZYPM_PAINT_ROTATE | ZYPM_PAINT_BACKGROUND),
                  ZYPM_OK)
            << ZypmLastMessage();
        std::vector<int> inside;
        for (int y = 0; y < c.height; ++y)
            for (int x = 0; x < c.width; ++x) inside.push_back(static_cast<int>(canvas.At(x, y) & 0xFF));
        EXPECT_EQ(inside, c.pixels) << "rotation " << c.rotation;
        EXPECT_EQ(canvas.At(c.width, 0), 0xFFFFFFu) << "rotation " << c.rotation;
        EXPECT_EQ(canvas.At(0, c.height), 0xFFFFFFu) << "rotation " << c.rotation;
    }
}

TEST_F(FaxPaintTest, HeightFromTheWidthKeepsTheTrueAspect) {
    ASSERT_EQ(ZypmPageAttrSet(page, ZYPM_ATTR_IMAGE_WIDTH, 6), ZYPM_OK);  // twice: 6 x 8
    Canvas canvas(7, 9);
    ZypmRect rect{0, 0, 7, 9};
    ASSERT_EQ(ZypmRectPaint(page, canvas.context, &rect, ZYPM_PAINT_BACKGROUND), ZYPM_OK);
    EXPECT_EQ(canvas.At(5, 7) & 0xFF, 60u);
    EXPECT_EQ(canvas.At(5, 3) & 0xFF, 30u);
    EXPECT_EQ(canvas.At(5, 8), 0xFFFFFFu);
    EXPECT_EQ(canvas.At(6, 7), 0xFFFFFFu);
}

TEST_F(FaxPaintTest, PrintedBandsFollowTheTrueShape) {
    ZypmPrintJob job = nullptr;
    Canvas paper(5, 5);
    ASSERT_EQ(ZypmPrintJobNew("fax", &job), ZYPM_OK);
    ASSERT_EQ(ZypmPrintJobStart(job, ZYPM_PRINT_STANDARD, paper.context), ZYPM_OK);
    ASSERT_EQ(ZypmPrintJobPageStart(job, 0), ZYPM_OK);
    ZypmBand band{};
    band.rect = {0, 0, 5, 5};
    ASSERT_EQ(ZypmPrintJobBandStart(job, &band), ZYPM_OK);
    ASSERT_EQ(ZypmPageAttrSet(page, ZYPM_ATTR_ROTATION, 2), ZYPM_OK);  // 4 x 3 turned
    ASSERT_EQ(ZypmRectPaint(page, band.context, &band.rect, band.paintFlags), ZYPM_OK) << ZypmLastMessage();
    ASSERT_EQ(ZypmPrintJobBandEnd(job), ZYPM_OK);
    ASSERT_EQ(ZypmPrintJobPageEnd(job), ZYPM_OK);
    ASSERT_EQ(ZypmPrintJobEnd(job, 0), ZYPM_OK);
    // The job paints no background: the paper stays red outside the 4 x 3 image.
    for (int x = 0; x < 5; ++x)
        for (int y = 0; y < 5; ++y) {
            bool inside = x < 4 && y < 3;
            uint32_t pixel = paper.At(x, y);
            if (inside)  // the page's dark grey (the print filter rings a little around 10..60)
                EXPECT_TRUE(pixel >> 16 == (pixel & 0xFF) && (pixel & 0xFF) < 100)
                    << x << "," << y << " " << std::hex << pixel;
            else
                EXPECT_EQ(pixel, 0xFF0000u) << x << "," << y;
        }
}

}  // namespace
}  // namespace zypm_test
