// Fuzz target: any bytes as a document (AFP or line-data text, as the engine decides),
// then layout, find, selection and a paint of the first pages.
#include <cairo.h>
#include <fontconfig/fontconfig.h>

#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "painter.h"

namespace {

// cairo and fontconfig keep caches for the process; freed at exit for the leak checker.
void FreeFontCaches() {
    cairo_debug_reset_static_data();
    FcFini();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    std::atexit(FreeFontCaches);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    if (bytes.empty()) return 0;
    std::vector<knvw::Overlay> overlays;
    knvw::Document document = static_cast<unsigned char>(bytes[0]) == 0x5A
                                  ? knvw::ReadAfp(bytes, overlays)
                                  : knvw::ReadLineData(bytes, knvw::LineDataParms{});
    if (document.pages.empty()) return 0;
    knvw::Session session(std::move(document));
    session.GetView().SetWindowSize(64, 64);
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, 64, 64);
    cairo_t* cr = cairo_create(surface);
    for (int page = 0; page < std::min(session.PageCount(), 3); ++page) {
        session.GoToIndex(page);
        session.GetView().SetZoom(page == 1 ? 10 : 100);
        knvw::PaintView(cr, session);
        session.SelectBegin(10, 10);
        session.SelectEnd(60, 60);
        (void)session.SelectedText();
    }
    knvw::FindQuery query;
    query.text = "A";
    session.Find(query, nullptr);
    session.FindNext(false, nullptr);
    cairo_destroy(cr);
    cairo_surface_destroy(surface);
    return 0;
}
