// Broken and hostile files: each gives its error code and a message, never a crash
// or an allocation beyond the caps.
#include <cairo.h>
#include <gtest/gtest.h>

#include <functional>

#include "tiff_builder.h"

namespace zypm_test {
namespace {

std::vector<uint8_t> OnePage(std::vector<Entry> entries) {
    RawTiff tiff;
    tiff.SetFirst(tiff.Directory(entries));
    return tiff.bytes;
}

// An 8 x 8 grey page whose strip ends the file 8 bytes into the 64 it claims.
std::vector<uint8_t> TruncatedStrip() {
    RawTiff tiff;
    uint32_t stripAt = 8 + 2 + 12 * 9 + 4;  // right behind the one directory
    tiff.SetFirst(tiff.Directory(GreyEntries(8, 8, stripAt, 64)));
    EXPECT_EQ(tiff.Data({1, 2, 3, 4, 5, 6, 7, 8}), stripAt);
    return tiff.bytes;
}

std::vector<uint8_t> ManyPages(int count, uint32_t stripOffset) {
    RawTiff tiff;
    uint32_t strip = stripOffset ? stripOffset : tiff.Data({0x80});
    uint32_t previous = 0;
    for (int i = 0; i < count; ++i) {
        uint32_t directory = tiff.Directory(GreyEntries(1, 1, strip, 1));
        if (i == 0)
            tiff.SetFirst(directory);
        else
            tiff.Link(previous, directory);
        previous = directory;
    }
    return tiff.bytes;
}

std::vector<uint8_t> Looping() {
    RawTiff tiff;
    uint32_t strip = tiff.Data({1, 2, 3, 4});
    uint32_t first = tiff.Directory(GreyEntries(2, 2, strip, 4));
    uint32_t second = tiff.Directory(GreyEntries(2, 2, strip, 4));
    tiff.SetFirst(first);
    tiff.Link(first, second);
    tiff.Link(second, first);
    return tiff.bytes;
}

std::vector<uint8_t> WithEntry(std::vector<Entry> entries, uint16_t tag, uint32_t value) {
    for (Entry& entry : entries)
        if (entry.tag == tag) entry.value = value;
    return OnePage(entries);
}

struct Case {
    const char* name;
    std::function<std::vector<uint8_t>()> bytes;
    int add;    // ZypmAddFile's result
    int paint;  // ZypmPageMeasure's and ZypmRectPaint's result on page 1 when the add succeeds
};

const Case kCases[] = {
    {"empty file", [] { return std::vector<uint8_t>{}; }, ZYPM_E_FORMAT, 0},
    {"not a TIFF", [] { return std::vector<uint8_t>{'G', 'I', 'F', '8', '9', 'a', 0, 0, 0, 0}; },
     ZYPM_E_FORMAT, 0},
    {"no directory", [] { return RawTiff().bytes; }, ZYPM_E_NO_PAGES, 0},
    {"directory beyond the end", [] { return std::vector<uint8_t>{'I', 'I', 42, 0, 0, 0, 1, 0}; },
     ZYPM_E_FORMAT, 0},
    {"directory count larger than the file",
     [] {
         auto bytes = OnePage(GreyEntries(1, 1, 0, 1));
         bytes[8] = 0xFF, bytes[9] = 0xFF;
         return bytes;
     },
     ZYPM_E_FORMAT, 0},
    {"width 0", [] { return WithEntry(GreyEntries(1, 1, 0, 1), 256, 0); }, ZYPM_E_FORMAT, 0},
    {"100000 pixels wide", [] { return WithEntry(GreyEntries(1, 1, 0, 1), 256, 100000); }, ZYPM_E_TOO_LARGE,
     0},
    {"60000 x 60000, above the decode cap",
     [] { return OnePage(GreyEntries(60000, 60000, 8, 60000 * 60000u)); }, ZYPM_OK, ZYPM_E_TOO_LARGE},
    {"directories in a loop", Looping, ZYPM_E_FORMAT, 0},
    {"10000 pages", [] { return ManyPages(10000, 0); }, ZYPM_E_TOO_MANY_PAGES, 0},
    {"strip cut short by the end of the file", TruncatedStrip, ZYPM_OK, ZYPM_E_DECODE},
    {"strip beyond the end", [] { return WithEntry(GreyEntries(8, 8, 0, 64), 273, 0x7FFFFFF0); }, ZYPM_OK,
     ZYPM_E_DECODE},
    {"unknown compression", [] { return WithEntry(GreyEntries(2, 2, 0, 4), 259, 12345); }, ZYPM_OK,
     ZYPM_E_UNSUPPORTED},
};

TEST(HostileFile, EachGivesItsCode) {
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        std::string path = TempPath("hostile.tif");
        WriteBytes(path, c.bytes());
        Session session;
        ASSERT_EQ(session.Add(path), c.add) << ZypmLastMessage();
        if (c.add != ZYPM_OK) {
            EXPECT_STRNE(ZypmLastMessage(), "");
            EXPECT_EQ(ZypmDocPageCount(session.document), 0);
            continue;
        }
        ASSERT_EQ(session.Show(), ZYPM_OK);
        ZypmPage page = session.Lock(0);
        ZypmSettings settings = nullptr;
        ASSERT_EQ(ZypmSettingsNew(&settings, 1), ZYPM_OK);
        int measured = ZypmPageMeasure(session.view, page, settings, 0, 0, nullptr);
        // Measuring looks at tags only: a damaged strip shows first when painting.
        EXPECT_EQ(measured, c.paint == ZYPM_E_DECODE ? ZYPM_OK : c.paint);
        cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, 16, 16);
        cairo_t* context = cairo_create(surface);
        ZypmRect rect{0, 0, 16, 16};
        EXPECT_EQ(ZypmRectPaint(page, context, &rect, ZYPM_PAINT_VIEW), c.paint);
        EXPECT_STRNE(ZypmLastMessage(), "");
        cairo_destroy(context);
        cairo_surface_destroy(surface);
        ZypmSettingsFree(settings);
        session.Unlock(page);
    }
}

// A thousand pages whose image data lies nowhere: opening reads tags only.
TEST(HostileFile, OpeningDecodesNothing) {
    std::string path = TempPath("thousand.tif");
    WriteBytes(path, ManyPages(1000, 0x7FFFFFF0));
    Session session;
    ASSERT_EQ(session.Add(path), ZYPM_OK) << ZypmLastMessage();
    EXPECT_EQ(ZypmDocPageCount(session.document), 1000);
    ASSERT_EQ(session.Show(), ZYPM_OK);
    ZypmPage page = session.Lock(999);
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, 4, 4);
    cairo_t* context = cairo_create(surface);
    ZypmRect rect{0, 0, 4, 4};
    EXPECT_EQ(ZypmRectPaint(page, context, &rect, 0), ZYPM_E_DECODE);
    cairo_destroy(context);
    cairo_surface_destroy(surface);
    session.Unlock(page);
}

}  // namespace
}  // namespace zypm_test
