// gdi_objects.cpp - pens, brushes and fonts behind WinGdi handles, stock objects
// and system colours.
#include <map>
#include <mutex>

#include "gdi_internal.h"

namespace {

// Stock objects keep fixed handles below the first created one and are never deleted.
constexpr WinGdi kStockBase = 1;
constexpr int kStockFont = 13;  // the base font of dialogs, 6 x 13 cells
constexpr WinGdi kFirstCreated = 64;

struct Store {
    std::mutex lock;
    std::map<WinGdi, GdiObject> objects;
    WinGdi next = kFirstCreated;
};
Store& TheStore() {
    static Store store;
    return store;
}

std::optional<GdiObject> StockObject(int index) {
    GdiObject object;
    switch (index) {
        case WHITE_BRUSH:
            object.kind = GdiKind::Brush;
            object.brush.color = WinRgb(255, 255, 255);
            return object;
        case BLACK_BRUSH: object.kind = GdiKind::Brush; return object;
        case NULL_BRUSH:
            object.kind = GdiKind::Brush;
            object.brush.null = true;
            return object;
        case WHITE_PEN: object.pen.color = WinRgb(255, 255, 255); return object;
        case BLACK_PEN: return object;
        case NULL_PEN: object.pen.style = PS_NULL; return object;
        case kStockFont:
            object.kind = GdiKind::Font;
            object.font.family = "sans-serif";
            return object;
        default: return std::nullopt;
    }
}

WinGdi Add(const GdiObject& object) {
    Store& store = TheStore();
    std::lock_guard guard(store.lock);
    if (store.next == 0) return 0;  // every handle used once; no reuse of stale ones
    WinGdi handle = store.next++;
    store.objects.emplace(handle, object);
    return handle;
}

}  // namespace

std::optional<GdiObject> Gdi_Lookup(WinGdi handle) {
    if (handle == 0) return std::nullopt;
    if (handle < kFirstCreated) return StockObject(static_cast<int>(handle - kStockBase));
    Store& store = TheStore();
    std::lock_guard guard(store.lock);
    auto found = store.objects.find(handle);
    if (found == store.objects.end()) return std::nullopt;
    return found->second;
}

WinGdi Gdi_DefaultPen() { return kStockBase + BLACK_PEN; }
WinGdi Gdi_DefaultBrush() { return kStockBase + WHITE_BRUSH; }
WinGdi Gdi_DefaultFont() { return kStockBase + kStockFont; }

void Gdi_Terminate() {
    Store& store = TheStore();
    std::lock_guard guard(store.lock);
    store.objects.clear();
}

WinGdi Win_GetStockObject(int index) {
    if (!StockObject(index)) return 0;
    return kStockBase + static_cast<WinGdi>(index);
}

WinGdi Win_CreatePen(int style, int width, WinColor color) {
    if (style != PS_SOLID && style != PS_DASH && style != PS_DOT && style != PS_NULL) return 0;
    GdiObject object;
    object.pen.style = style;
    object.pen.width = width < 1 ? 1 : width;  // width 0 means one pixel, as for cosmetic pens
    object.pen.color = color & 0xFFFFFF;
    return Add(object);
}

WinGdi Win_CreateSolidBrush(WinColor color) {
    GdiObject object;
    object.kind = GdiKind::Brush;
    object.brush.color = color & 0xFFFFFF;
    return Add(object);
}

WinGdi Win_CreateFont(const std::string& face, int height, bool bold, bool italic) {
    GdiObject object;
    object.kind = GdiKind::Font;
    if (face.empty()) {
        object.font.family = "sans-serif";
    } else if (face == "monospace" || face == "Courier" || face == "Courier New") {
        object.font.family = "monospace";
    } else {
        object.font.family = face;  // fontconfig falls back to sans when it does not know it
    }
    if (height < 0) height = -height;
    object.font.height = height == 0 ? 13 : height;
    object.font.bold = bold;
    object.font.italic = italic;
    return Add(object);
}

bool Win_DeleteObject(WinGdi object) {
    if (object == 0) return false;
    if (object < kFirstCreated) return Gdi_Lookup(object).has_value();  // stock: kept
    Store& store = TheStore();
    std::lock_guard guard(store.lock);
    return store.objects.erase(object) == 1;
}

WinColor Win_GetSysColor(int index) {
    switch (index) {
        case COLOR_WINDOW: return WinRgb(255, 255, 255);
        case COLOR_WINDOWFRAME: return WinRgb(100, 100, 100);
        case COLOR_WINDOWTEXT: return WinRgb(0, 0, 0);
        case COLOR_BTNFACE: return WinRgb(240, 240, 240);
        case COLOR_BTNSHADOW: return WinRgb(160, 160, 160);
        case COLOR_GRAYTEXT: return WinRgb(109, 109, 109);
        case COLOR_BTNTEXT: return WinRgb(0, 0, 0);
        case COLOR_BTNHIGHLIGHT: return WinRgb(255, 255, 255);
        default: return 0;
    }
}

void Gdi_SetColor(cairo_t* cr, WinColor color) {
    cairo_set_source_rgb(cr, (color & 0xFF) / 255.0, ((color >> 8) & 0xFF) / 255.0,
                         ((color >> 16) & 0xFF) / 255.0);
}
