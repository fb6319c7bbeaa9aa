// zypm_render: the image library as a command, for the oracle script.
//   zypm_render info FILE
//       "pages N", then "PIXEL_WIDTH PIXEL_HEIGHT WIDTH HEIGHT" for every page (the pixels
//       as stored, then the size the page is shown at)
//   zypm_render render FILE PAGE ZOOM ROTATION OUT.png [CONTRAST BRIGHTNESS COLOURMODE]
//       the page at ZOOM percent and ROTATION (1-4) painted into a PNG of exactly the
//       displayed image's size
// Exit 0, or 2 with "code message" on stderr when a call fails.
#include <cairo.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "zypm.h"

namespace {

int Failed(const char* call, int code) {
    std::fprintf(stderr, "%s %d %s\n", call, code, ZypmLastMessage());
    return 2;
}

struct Session {
    ZypmEnv environment = nullptr;
    ZypmDoc document = nullptr;
    ZypmView view = nullptr;
    ~Session() {
        if (view) ZypmViewFree(view);
        if (document) ZypmDocFree(document);
        if (environment) ZypmEnvFree(environment);
        ZypmTerminate();
    }
    int Open(const char* path) {
        ZypmFile file = nullptr;
        int code;
        if ((code = ZypmInitialize()) != 0) return Failed("ZypmInitialize", code);
        if ((code = ZypmEnvNew(&environment)) != 0) return Failed("ZypmEnvNew", code);
        if ((code = ZypmDocNew(environment, &document)) != 0) return Failed("ZypmDocNew", code);
        if ((code = ZypmFileNew(environment, &file)) != 0) return Failed("ZypmFileNew", code);
        if ((code = ZypmFileSet(file, ZYPM_FILE_PATH, path)) != 0) return Failed("ZypmFileSet", code);
        if ((code = ZypmAddFile(document, file, -1, 0, ZYPM_ADD_ALL_PAGES)) != 0)
            return Failed("ZypmAddFile", code);
        if ((code = ZypmViewNew(environment, &view)) != 0) return Failed("ZypmViewNew", code);
        if ((code = ZypmViewSet(view, ZYPM_VIEW_DOCUMENT, document)) != 0) return Failed("ZypmViewSet", code);
        return 0;
    }
};

int Info(const char* path) {
    Session session;
    if (int failed = session.Open(path)) return failed;
    int pages = ZypmDocPageCount(session.document);
    if (pages < 0) return Failed("ZypmDocPageCount", pages);
    std::printf("pages %d\n", pages);
    for (int index = 0; index < pages; ++index) {
        ZypmPage page = nullptr;
        int32_t pixelWidth = 0, pixelHeight = 0, width = 0, height = 0;
        if (int code = ZypmViewPageLock(session.view, index, &page)) return Failed("ZypmViewPageLock", code);
        ZypmPageAttrGet(page, ZYPM_ATTR_PIXEL_WIDTH, &pixelWidth);
        ZypmPageAttrGet(page, ZYPM_ATTR_PIXEL_HEIGHT, &pixelHeight);
        ZypmPageAttrGet(page, ZYPM_ATTR_WIDTH, &width);
        ZypmPageAttrGet(page, ZYPM_ATTR_HEIGHT, &height);
        ZypmViewPageUnlock(session.view, page, 0);
        std::printf("%d %d %d %d\n", pixelWidth, pixelHeight, width, height);
    }
    return 0;
}

int Render(int argc, char** argv) {
    Session session;
    if (int failed = session.Open(argv[2])) return failed;
    int index = std::atoi(argv[3]), zoom = std::atoi(argv[4]), rotation = std::atoi(argv[5]);
    ZypmPage page = nullptr;
    if (int code = ZypmViewPageLock(session.view, index, &page)) return Failed("ZypmViewPageLock", code);
    int32_t width = 0, height = 0;
    ZypmPageAttrGet(page, ZYPM_ATTR_WIDTH, &width);
    ZypmPageAttrGet(page, ZYPM_ATTR_HEIGHT, &height);
    if (rotation == 2 || rotation == 4) std::swap(width, height);
    int imageWidth = static_cast<int>(std::lround(width * zoom / 100.0));
    int imageHeight = static_cast<int>(std::lround(height * zoom / 100.0));
    struct Setting {
        uint32_t attribute;
        int32_t value;
    } settings[] = {{ZYPM_ATTR_ROTATION, rotation},
                    {ZYPM_ATTR_IMAGE_WIDTH, imageWidth},
                    {ZYPM_ATTR_IMAGE_HEIGHT, imageHeight},
                    {ZYPM_ATTR_CONTRAST, argc > 7 ? std::atoi(argv[7]) : 128},
                    {ZYPM_ATTR_BRIGHTNESS, argc > 8 ? std::atoi(argv[8]) : 128},
                    {ZYPM_ATTR_COLOUR_MODE, argc > 9 ? std::atoi(argv[9]) : ZYPM_COLOUR_AS_IS}};
    for (const Setting& setting : settings)
        if (int code = ZypmPageAttrSet(page, setting.attribute, setting.value))
            return Failed("ZypmPageAttrSet", code);
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, imageWidth, imageHeight);
    cairo_t* context = cairo_create(surface);
    ZypmRect rect{0, 0, imageWidth, imageHeight};
    int code = ZypmRectPaint(page, context, &rect, ZYPM_PAINT_VIEW);
    cairo_destroy(context);
    if (code == 0 && cairo_surface_write_to_png(surface, argv[6]) != CAIRO_STATUS_SUCCESS) code = -100;
    cairo_surface_destroy(surface);
    ZypmViewPageUnlock(session.view, page, 0);
    return code ? Failed("ZypmRectPaint", code) : 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::string(argv[1]) == "info") return Info(argv[2]);
    if (argc >= 7 && std::string(argv[1]) == "render") return Render(argc, argv);
    std::fprintf(stderr,
                 "usage: zypm_render info FILE | render FILE PAGE ZOOM ROTATION OUT.png [C B MODE]\n");
    return 1;
}
