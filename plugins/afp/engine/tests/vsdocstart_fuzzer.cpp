// Fuzz target through the entry points: any bytes as a document file opened with
// VSDocStart (as line data after VSSetLineDataParms when the first byte is odd), then
// painted, searched, paged and painted again on a headless desktop.
#include <fontconfig/fontconfig.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <string>

#include <cairo.h>

#include "knvw_engine.h"

namespace {

int32_t server = 0;
std::string path;

void Finish() {
    DeleteViewServ(server);
    Win_Terminate();
    cairo_debug_reset_static_data();
    FcFini();
    unlink(path.c_str());
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    Win_Initialize(WinBackend::Headless);
    Win_SetEventSink([](const std::string&) {});
    server = GetViewServ(0);
    path = "/tmp/knvw-fuzz-" + std::to_string(getpid());
    std::atexit(Finish);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    if (size > 0 && (data[0] & 1)) VSSetLineDataParms(data[0] % 30, size > 1 ? data[1] % 20 : 6, 60);
    int32_t doc = VSDocStart(server, path.c_str(), "", "", 0);
    if (doc == 0) return 0;
    WinBitmap* bitmap = Win_CreateBitmap(96, 96);
    WinDC* dc = Win_CreateBitmapDC(bitmap);
    VSSetWindowSize(doc, 96, 96);
    VSDocPaint(doc, 0, dc, 1, 1);
    VSFindString(doc, "A", 0, 0, 0, 0);
    VSGotoLastPage(doc);
    VSSetRotation(doc, KNVW_ROTATE_90);
    VSSetZoom(doc, 25);
    VSDocPaint(doc, 0, dc, 1, 1);
    VSTextLButtonDown(doc, WinMakeLParam(5, 5));
    VSTextLButtonUp(doc, WinMakeLParam(90, 90));
    std::free(VSTextGetTextBuffer(doc));
    Win_DeleteDC(dc);
    Win_DeleteBitmap(bitmap);
    VSDocEnd(server, &doc);
    return 0;
}
