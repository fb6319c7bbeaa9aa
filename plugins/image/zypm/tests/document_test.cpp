// Documents, files and views: page counts, insertion, ownership and the order rules.
#include <cairo.h>
#include <gtest/gtest.h>
#include <tiffio.h>

#include <cstdio>

#include "tiff_builder.h"

namespace zypm_test {
namespace {

std::string ThreePages() {
    std::string path = TempPath("three.tif");
    WriteTiff(path, {{.width = 10, .height = 20}, {.width = 30, .height = 40}, {.width = 50, .height = 60}});
    return path;
}

int32_t WidthOf(Session& session, int32_t index) {
    ZypmPage page = session.Lock(index);
    int32_t width = -1;
    EXPECT_EQ(ZypmPageAttrGet(page, ZYPM_ATTR_WIDTH, &width), ZYPM_OK);
    session.Unlock(page);
    return width;
}

TEST(Document, PagesOfEveryFileInInsertOrder) {
    std::string one = TempPath("one.tif");
    WriteTiff(one, {{.width = 7, .height = 7}});
    Session session;
    EXPECT_EQ(ZypmDocPageCount(session.document), 0);
    ASSERT_EQ(session.Add(ThreePages()), ZYPM_OK);
    ASSERT_EQ(session.Add(one, 1), ZYPM_OK);  // before the second page
    ASSERT_EQ(ZypmDocPageCount(session.document), 4);
    ASSERT_EQ(session.Show(), ZYPM_OK);
    const int32_t widths[] = {10, 7, 30, 50};
    for (int32_t index = 0; index < 4; ++index) EXPECT_EQ(WidthOf(session, index), widths[index]) << index;
    ZypmPage page = nullptr;
    EXPECT_EQ(ZypmViewPageLock(session.view, 4, &page), ZYPM_E_RANGE);
    EXPECT_EQ(ZypmViewPageLock(session.view, -1, &page), ZYPM_E_RANGE);
}

TEST(Document, AddFileRefusals) {
    std::string good = ThreePages();
    Session session;
    ZypmFile file = nullptr;
    ASSERT_EQ(ZypmFileNew(session.environment, &file), ZYPM_OK);
    EXPECT_EQ(ZypmAddFile(session.document, file, -1, 0, ZYPM_ADD_ALL_PAGES), ZYPM_E_STATE);  // no path
    EXPECT_EQ(ZypmFileSet(file, 0x1009, good.c_str()), ZYPM_E_ARGUMENT);
    EXPECT_EQ(ZypmFileSet(file, ZYPM_FILE_PATH, ""), ZYPM_E_ARGUMENT);
    ASSERT_EQ(ZypmFileSet(file, ZYPM_FILE_PATH, good.c_str()), ZYPM_OK);
    EXPECT_EQ(ZypmAddFile(session.document, file, -1, 0, 0x7001), ZYPM_E_ARGUMENT);
    EXPECT_EQ(ZypmAddFile(session.document, file, -1, 1, ZYPM_ADD_ALL_PAGES), ZYPM_E_ARGUMENT);
    EXPECT_EQ(ZypmAddFile(session.document, file, 1, 0, ZYPM_ADD_ALL_PAGES), ZYPM_E_RANGE);  // empty document
    EXPECT_EQ(ZypmAddFile(session.document, file, -2, 0, ZYPM_ADD_ALL_PAGES), ZYPM_E_RANGE);
    ASSERT_EQ(ZypmAddFile(session.document, file, -1, 0, ZYPM_ADD_ALL_PAGES), ZYPM_OK);
    EXPECT_EQ(ZypmAddFile(session.document, file, -1, 0, ZYPM_ADD_ALL_PAGES), ZYPM_E_STATE);  // twice
    EXPECT_EQ(ZypmFileSet(file, ZYPM_FILE_PATH, good.c_str()), ZYPM_E_STATE);
    EXPECT_EQ(ZypmDocPageCount(session.document), 3);
    EXPECT_EQ(session.Add(TempPath("missing.tif")), ZYPM_E_OPEN);
    EXPECT_NE(std::string(ZypmLastMessage()).find("missing.tif"), std::string::npos);
}

TEST(Document, DeletedFileStaysReadable) {
    std::string path = TempPath("deleted.tif");
    WriteTiff(path, {{.width = 4, .height = 4, .pixels = std::vector<uint8_t>(16, 200)}});
    Session session;
    ASSERT_EQ(session.Add(path), ZYPM_OK);
    std::remove(path.c_str());
    ASSERT_EQ(session.Show(), ZYPM_OK);
    ZypmPage page = session.Lock(0);
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, 4, 4);
    cairo_t* context = cairo_create(surface);
    ZypmRect rect{0, 0, 4, 4};
    EXPECT_EQ(ZypmRectPaint(page, context, &rect, 0), ZYPM_OK) << ZypmLastMessage();
    cairo_surface_flush(surface);
    EXPECT_EQ(reinterpret_cast<uint32_t*>(cairo_image_surface_get_data(surface))[5] & 0xFFFFFF, 0xC8C8C8u);
    cairo_destroy(context);
    cairo_surface_destroy(surface);
    session.Unlock(page);
}

TEST(Document, FreeingInTheWrongOrderIsRefused) {
    std::string path = ThreePages();
    Session session;
    ASSERT_EQ(session.Add(path), ZYPM_OK);
    ASSERT_EQ(session.Show(), ZYPM_OK);
    EXPECT_EQ(ZypmDocFree(session.document), ZYPM_E_LOCKED);
    EXPECT_EQ(ZypmEnvFree(session.environment), ZYPM_E_LOCKED);
    EXPECT_EQ(session.Add(path), ZYPM_E_LOCKED);  // pages of a shown document stay put
    ZypmPage page = session.Lock(1);
    EXPECT_EQ(ZypmViewSet(session.view, ZYPM_VIEW_DOCUMENT, nullptr), ZYPM_E_LOCKED);
    EXPECT_EQ(ZypmViewPageUnlock(session.view, page, 1), ZYPM_E_ARGUMENT);
    session.Unlock(page);
    EXPECT_EQ(ZypmViewPageUnlock(session.view, page, 0), ZYPM_E_STATE);
    int32_t value = 0;
    EXPECT_EQ(ZypmPageAttrGet(page, ZYPM_ATTR_WIDTH, &value), ZYPM_E_STATE);  // unlocked handle
    EXPECT_EQ(ZypmViewSet(session.view, ZYPM_VIEW_DOCUMENT, nullptr), ZYPM_OK);
    EXPECT_EQ(ZypmViewPageLock(session.view, 0, &page), ZYPM_E_STATE);  // no document shown
}

TEST(Library, CallsBeforeInitialiseAndNullHandles) {
    ZypmEnv environment = nullptr;
    EXPECT_EQ(ZypmEnvNew(&environment), ZYPM_E_STATE);
    EXPECT_EQ(ZypmTerminate(), ZYPM_E_STATE);
    EXPECT_EQ(ZypmDocPageCount(nullptr), ZYPM_E_ARGUMENT);
    EXPECT_EQ(ZypmDocFree(nullptr), ZYPM_E_ARGUMENT);
    EXPECT_EQ(ZypmViewFree(nullptr), ZYPM_E_ARGUMENT);
    EXPECT_EQ(ZypmSettingsFree(nullptr), ZYPM_E_ARGUMENT);
    EXPECT_EQ(ZypmPageAttrSet(nullptr, ZYPM_ATTR_ROTATION, 1), ZYPM_E_ARGUMENT);
    EXPECT_EQ(ZypmRectPaint(nullptr, nullptr, nullptr, 0), ZYPM_E_ARGUMENT);
    EXPECT_STRNE(ZypmLastMessage(), "");
}

TEST(Library, SettingsSlots) {
    ZypmSettings settings = nullptr;
    EXPECT_EQ(ZypmSettingsNew(&settings, 0), ZYPM_E_RANGE);
    EXPECT_EQ(ZypmSettingsNew(&settings, ZYPM_MAX_PAGES + 1), ZYPM_E_RANGE);
    ASSERT_EQ(ZypmSettingsNew(&settings, 2), ZYPM_OK);
    int32_t value = 0;
    EXPECT_EQ(ZypmSettingsAttrGet(settings, 0, ZYPM_ATTR_WIDTH, &value), ZYPM_E_STATE);  // not measured
    EXPECT_EQ(ZypmSettingsAttrGet(settings, 2, ZYPM_ATTR_WIDTH, &value), ZYPM_E_RANGE);
    EXPECT_EQ(ZypmSettingsFree(settings), ZYPM_OK);
}

}  // namespace
}  // namespace zypm_test
