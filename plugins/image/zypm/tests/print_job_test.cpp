// Print jobs: the order of calls and the band each paint is clipped to.
#include <cairo.h>
#include <gtest/gtest.h>

#include "tiff_builder.h"

namespace zypm_test {
namespace {

enum Call { Start, PageStart, BandStart, BandEnd, PageEnd, End };

int Perform(ZypmPrintJob job, Call call, cairo_t* printer) {
    ZypmBand band{{0, 0, 10, 10}, nullptr, 0, 0};
    switch (call) {
        case Start: return ZypmPrintJobStart(job, ZYPM_PRINT_STANDARD, printer);
        case PageStart: return ZypmPrintJobPageStart(job, 0);
        case BandStart: return ZypmPrintJobBandStart(job, &band);
        case BandEnd: return ZypmPrintJobBandEnd(job);
        case PageEnd: return ZypmPrintJobPageEnd(job);
        case End: return ZypmPrintJobEnd(job, 0);
    }
    return 1;
}

TEST(PrintJob, CallsInOrderOnly) {
    struct Case {
        const char* name;
        std::vector<Call> calls;
        int last;  // the result of the last call; all before it succeed
    } cases[] = {
        {"whole job", {Start, PageStart, BandStart, BandEnd, BandStart, BandEnd, PageEnd, End}, ZYPM_OK},
        {"two pages", {Start, PageStart, PageEnd, PageStart, BandStart, BandEnd, PageEnd, End}, ZYPM_OK},
        {"page before start", {PageStart}, ZYPM_E_STATE},
        {"band outside a page", {Start, BandStart}, ZYPM_E_STATE},
        {"band inside a band", {Start, PageStart, BandStart, BandStart}, ZYPM_E_STATE},
        {"page end with a band open", {Start, PageStart, BandStart, PageEnd}, ZYPM_E_STATE},
        {"band end without a band", {Start, PageStart, BandEnd}, ZYPM_E_STATE},
        {"end with a page open", {Start, PageStart, End}, ZYPM_E_STATE},
        {"start twice", {Start, Start}, ZYPM_E_STATE},
    };
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, 10, 10);
    cairo_t* printer = cairo_create(surface);
    for (const Case& c : cases) {
        ZypmPrintJob job = nullptr;
        ASSERT_EQ(ZypmPrintJobNew(c.name, &job), ZYPM_OK);
        for (size_t i = 0; i < c.calls.size(); ++i) {
            EXPECT_EQ(Perform(job, c.calls[i], printer), i + 1 == c.calls.size() ? c.last : ZYPM_OK)
                << c.name << " call " << i;
        }
        if (c.calls.back() != End) {
            EXPECT_EQ(ZypmPrintJobFree(job), ZYPM_OK);
        }
        EXPECT_EQ(cairo_status(printer), CAIRO_STATUS_SUCCESS) << c.name;  // saves and restores balance
    }
    ZypmPrintJob job = nullptr;
    ASSERT_EQ(ZypmPrintJobNew("x", &job), ZYPM_OK);
    EXPECT_EQ(ZypmPrintJobStart(job, 0x102D, printer), ZYPM_E_ARGUMENT);
    EXPECT_EQ(ZypmPrintJobStart(job, ZYPM_PRINT_STANDARD, nullptr), ZYPM_E_ARGUMENT);
    EXPECT_EQ(ZypmPrintJobFree(job), ZYPM_OK);
    cairo_destroy(printer);
    cairo_surface_destroy(surface);
}

// Two bands of one page: each paint stays inside its band, and together they give
// the whole page, printed without the screen's grey mode.
TEST(PrintJob, BandsPaintTheirPartOfThePage) {
    std::string path = TempPath("print.tif");
    WriteTiff(
        path,
        {{.width = 4, .height = 4, .samples = 3, .photometric = 2, .pixels = std::vector<uint8_t>(48, 0)}});
    Session session;
    ASSERT_EQ(session.Add(path), ZYPM_OK);
    ASSERT_EQ(session.Show(), ZYPM_OK);
    ZypmPage page = session.Lock(0);
    ASSERT_EQ(ZypmPageAttrSet(page, ZYPM_ATTR_COLOUR_MODE, ZYPM_COLOUR_GREY), ZYPM_OK);
    ASSERT_EQ(ZypmPageAttrSet(page, ZYPM_ATTR_BRIGHTNESS, 255), ZYPM_OK);  // black prints white
    ASSERT_EQ(ZypmPageAttrSet(page, ZYPM_ATTR_IMAGE_WIDTH, 8), ZYPM_OK);
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, 8, 8);
    cairo_t* printer = cairo_create(surface);
    ZypmPrintJob job = nullptr;
    ASSERT_EQ(ZypmPrintJobNew("bands", &job), ZYPM_OK);
    ASSERT_EQ(ZypmPrintJobStart(job, ZYPM_PRINT_STANDARD, printer), ZYPM_OK);
    ASSERT_EQ(ZypmPrintJobPageStart(job, 0), ZYPM_OK);
    const ZypmRect bands[] = {{0, 0, 8, 3}, {0, 3, 8, 8}, {0, 0, 0, 0}};
    for (const ZypmRect& rect : bands) {
        ZypmBand band{rect, nullptr, 0, 0};
        ASSERT_EQ(ZypmPrintJobBandStart(job, &band), ZYPM_OK);
        EXPECT_EQ(band.paint, rect.bottom > rect.top ? 1 : 0);
        EXPECT_EQ(band.context, printer);
        EXPECT_TRUE(band.paintFlags & ZYPM_PAINT_NO_GREY);
        if (band.paint) {
            ZypmRect whole{0, 0, 8, 8};  // the plug-in paints the page; the band clips it
            ASSERT_EQ(ZypmRectPaint(page, band.context, &whole, band.paintFlags), ZYPM_OK);
            cairo_surface_flush(surface);
            auto* pixels = reinterpret_cast<uint32_t*>(cairo_image_surface_get_data(surface));
            int stride = cairo_image_surface_get_stride(surface) / 4;
            // Painted so far: rows up to the band's bottom white, the rest still black.
            EXPECT_EQ(pixels[(rect.bottom - 1) * stride] & 0xFFFFFF, 0xFFFFFFu);
            if (rect.bottom < 8) {
                EXPECT_EQ(pixels[rect.bottom * stride] & 0xFFFFFF, 0u);
            }
        }
        ASSERT_EQ(ZypmPrintJobBandEnd(job), ZYPM_OK);
    }
    ASSERT_EQ(ZypmPrintJobPageEnd(job), ZYPM_OK);
    EXPECT_EQ(ZypmPrintJobEnd(job, 0), ZYPM_OK);
    EXPECT_EQ(cairo_status(printer), CAIRO_STATUS_SUCCESS);
    cairo_destroy(printer);
    cairo_surface_destroy(surface);
    session.Unlock(page);
}

}  // namespace
}  // namespace zypm_test
