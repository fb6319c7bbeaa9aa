// Opens arbitrary bytes as a TIFF file and paints its first pages at a few sizes and
// turns: every failure must be a result code.
#include <cairo.h>

#include <cstdlib>
#include <string>
#include <string_view>

#include "fuzz_temp_tree.h"
#include "zypm.h"

namespace {

// The library reads files by path: one scratch file in a tree removed at exit.
const std::string& ScratchPath() {
    static const qel_fuzz::TempTree tree("zypm_fuzz");
    static const std::string path = tree.dir + "/page.tif";
    return path;
}

void PaintPage(ZypmView view, int32_t index, uint8_t choice) {
    ZypmPage page = nullptr;
    if (ZypmViewPageLock(view, index, &page) != ZYPM_OK) abort();
    ZypmSettings settings = nullptr;
    if (ZypmSettingsNew(&settings, 1) != ZYPM_OK) abort();
    int measured = ZypmPageMeasure(view, page, settings, 0, 0, nullptr);
    ZypmSettingsFree(settings);
    if (measured == ZYPM_OK) {
        ZypmPageAttrSet(page, ZYPM_ATTR_ROTATION, 1 + (choice & 3));
        ZypmPageAttrSet(page, ZYPM_ATTR_IMAGE_WIDTH, 8 + (choice >> 2));
        ZypmPageAttrSet(page, ZYPM_ATTR_COLOUR_MODE, (choice & 0x80) ? ZYPM_COLOUR_GREY : ZYPM_COLOUR_AS_IS);
        cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, 48, 48);
        cairo_t* context = cairo_create(surface);
        ZypmRect rect{0, 0, 48, 48};
        int code = ZypmRectPaint(page, context, &rect, ZYPM_PAINT_VIEW);
        if (code > 0) abort();
        cairo_destroy(context);
        cairo_surface_destroy(surface);
    }
    if (ZypmViewPageUnlock(view, page, 0) != ZYPM_OK) abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    qel_fuzz::WriteFile(ScratchPath(), std::string_view(reinterpret_cast<const char*>(data), size));

    ZypmEnv environment = nullptr;
    ZypmDoc document = nullptr;
    ZypmFile file = nullptr;
    ZypmView view = nullptr;
    if (ZypmInitialize() != ZYPM_OK || ZypmEnvNew(&environment) != ZYPM_OK ||
        ZypmDocNew(environment, &document) != ZYPM_OK || ZypmFileNew(environment, &file) != ZYPM_OK ||
        ZypmFileSet(file, ZYPM_FILE_PATH, ScratchPath().c_str()) != ZYPM_OK ||
        ZypmViewNew(environment, &view) != ZYPM_OK)
        abort();
    int added = ZypmAddFile(document, file, -1, 0, ZYPM_ADD_ALL_PAGES);
    if (added > 0) abort();
    if (ZypmViewSet(view, ZYPM_VIEW_DOCUMENT, document) != ZYPM_OK) abort();
    int pages = ZypmDocPageCount(document);
    if (pages < 0 || pages > ZYPM_MAX_PAGES || (added != ZYPM_OK && pages != 0)) abort();
    uint8_t choice = size ? data[size - 1] : 0;
    for (int32_t index = 0; index < pages && index < 3; ++index) PaintPage(view, index, choice);
    if (ZypmViewFree(view) != ZYPM_OK || ZypmDocFree(document) != ZYPM_OK ||
        ZypmEnvFree(environment) != ZYPM_OK || ZypmTerminate() != ZYPM_OK)
        abort();
    return 0;
}
