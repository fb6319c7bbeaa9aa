// desktop.cpp - the process-wide desktop: start, tear-down, geometry helpers,
// screenshots and the event log.
#include <algorithm>
#include <chrono>
#include <cstdio>

#include "desktop_state.h"

Desktop& TheDesktop() {
    static Desktop desktop;
    return desktop;
}

Window* FindWindow(WinHandle handle) {
    auto& windows = TheDesktop().windows;
    auto it = windows.find(handle);
    return it == windows.end() ? nullptr : it->second.get();
}

WinHandle TopLevelOf(WinHandle handle) {
    Window* window = FindWindow(handle);
    while (window != nullptr && window->parent != 0) window = FindWindow(window->parent);
    return window == nullptr ? 0 : window->handle;
}

WinRect Intersect(const WinRect& a, const WinRect& b) {
    WinRect r{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
              std::min(a.bottom, b.bottom)};
    if (r.right < r.left) r.right = r.left;
    if (r.bottom < r.top) r.bottom = r.top;
    return r;
}

WinRect Union(const WinRect& a, const WinRect& b) {
    if (IsEmpty(a)) return b;
    if (IsEmpty(b)) return a;
    return WinRect{std::min(a.left, b.left), std::min(a.top, b.top), std::max(a.right, b.right),
                   std::max(a.bottom, b.bottom)};
}

bool IsEmpty(const WinRect& rect) { return rect.right <= rect.left || rect.bottom <= rect.top; }

bool Contains(const WinRect& rect, int x, int y) {
    return x >= rect.left && x < rect.right && y >= rect.top && y < rect.bottom;
}

WinRect ClientRectOf(const Window& window) {
    int width = window.rect.Width();
    int height = window.rect.Height();
    if (window.bars[SB_VERT].shown) width -= kScrollBarSize;
    if (window.bars[SB_HORZ].shown) height -= kScrollBarSize;
    return WinRect{0, 0, std::max(width, 0), std::max(height, 0)};
}

WinPoint ClientOriginInSurface(const Window& window) {
    if (window.parent == 0) return WinPoint{0, 0};
    const Window* parent = FindWindow(window.parent);
    if (parent == nullptr) return WinPoint{0, 0};
    WinPoint origin = ClientOriginInSurface(*parent);
    return WinPoint{origin.x + window.rect.left, origin.y + window.rect.top};
}

WinRect ClientClipInSurface(const Window& window) {
    WinPoint origin = ClientOriginInSurface(window);
    WinRect client = ClientRectOf(window);
    WinRect clip{origin.x, origin.y, origin.x + client.right, origin.y + client.bottom};
    if (window.parent != 0) {
        if (const Window* parent = FindWindow(window.parent))
            clip = Intersect(clip, ClientClipInSurface(*parent));
    }
    return clip;
}

// ---------------------------------------------------------------------------
// Start and tear-down
// ---------------------------------------------------------------------------

bool Win_Initialize(WinBackend backend) {
    Desktop& desktop = TheDesktop();
    if (desktop.initialized) {
        if (desktop.kind == backend) return true;
        Win_Terminate();
    }
    desktop.backend = backend == WinBackend::X11 ? Backend_CreateX11() : Backend_CreateHeadless();
    if (!desktop.backend) return false;
    desktop.kind = backend;
    desktop.initialized = true;
    desktop.virtualTime = 0;
    desktop.realStart = static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                                  std::chrono::steady_clock::now().time_since_epoch())
                                                  .count());
    RegisterControlClasses();
    return true;
}

void Win_Terminate() {
    Desktop& desktop = TheDesktop();
    // Top-level windows go last-created first, so owned dialogs go before their owners.
    while (!desktop.topLevels.empty()) {
        WinHandle top = desktop.topLevels.back();
        if (!Win_DestroyWindow(top)) {
            desktop.topLevels.pop_back();
        }
    }
    desktop.windows.clear();
    FreeAllMenus();
    FreeAllModules();
    ResetClipboard();
    for (WinDC* dc : desktop.lentDcs) Win_DeleteDC(dc);
    desktop.lentDcs.clear();
    desktop.timers.clear();
    {
        std::lock_guard<std::mutex> lock(desktop.queueMutex);
        desktop.queue.clear();
        desktop.liveHandles.clear();
    }
    desktop.classes.clear();
    desktop.backend.reset();
    desktop.initialized = false;
    desktop.quitRequested = false;
    desktop.quitCode = 0;
    desktop.focus = 0;
    desktop.capture = 0;
    desktop.lastClickWindow = 0;
    desktop.hooks = WinHooks{};
    desktop.sink = nullptr;
    Gdi_Terminate();
}

int Win_GetSystemMetric(int index) {
    switch (index) {
        case SM_CXVSCROLL:
        case SM_CYHSCROLL: return kScrollBarSize;
        case SM_CXSCREEN: return kScreenWidth;
        case SM_CYSCREEN: return kScreenHeight;
        default: return 0;
    }
}

void Win_SetHooks(WinHooks hooks) { TheDesktop().hooks = std::move(hooks); }

const WinHooks& Desktop_Hooks() { return TheDesktop().hooks; }

// ---------------------------------------------------------------------------
// Screenshots
// ---------------------------------------------------------------------------

WinBitmap* Win_CaptureWindow(WinHandle topLevel) {
    Window* window = FindWindow(topLevel);
    if (window == nullptr || window->parent != 0 || window->surface == nullptr) return nullptr;
    return Bitmap_FromSurface(window->surface);
}

bool Win_Screenshot(WinHandle topLevel, const std::string& pngPath) {
    WinBitmap* bitmap = Win_CaptureWindow(topLevel);
    if (bitmap == nullptr) return false;
    bool written = Win_WritePng(bitmap, pngPath);
    Win_DeleteBitmap(bitmap);
    return written;
}

// ---------------------------------------------------------------------------
// The event log
// ---------------------------------------------------------------------------

void Win_SetEventSink(std::function<void(const std::string& jsonLine)> sink) {
    TheDesktop().sink = std::move(sink);
}

void LogEventFields(const char* source, const std::string& fields) {
    Desktop& desktop = TheDesktop();
    if (!desktop.sink) return;
    std::string line = "{\"source\":" + Win_JsonString(source);
    if (!fields.empty()) line += "," + fields;
    line += "}";
    desktop.sink(line);
}

void Win_LogEvent(const std::string& source, const std::string& fieldsJson) {
    LogEventFields(source.c_str(), fieldsJson);
}

uint32_t NextCodePoint(std::string_view text, size_t* offset) {
    constexpr uint32_t kReplacement = 0xFFFD;
    size_t at = *offset;
    auto lead = static_cast<unsigned char>(text[at]);
    int length = 0;
    uint32_t value = 0;
    uint32_t least = 0;
    if (lead < 0x80) {
        *offset = at + 1;
        return lead;
    } else if ((lead & 0xE0) == 0xC0) {
        length = 2, value = lead & 0x1F, least = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3, value = lead & 0x0F, least = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4, value = lead & 0x07, least = 0x10000;
    } else {
        *offset = at + 1;
        return kReplacement;
    }
    if (at + length > text.size()) {
        *offset = at + 1;
        return kReplacement;
    }
    for (int i = 1; i < length; ++i) {
        auto next = static_cast<unsigned char>(text[at + i]);
        if ((next & 0xC0) != 0x80) {
            *offset = at + 1;
            return kReplacement;
        }
        value = (value << 6) | (next & 0x3F);
    }
    if (value < least || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) {
        *offset = at + 1;
        return kReplacement;
    }
    *offset = at + length;
    return value;
}

void AppendUtf8(std::string* text, uint32_t cp) {
    if (cp < 0x80) {
        text->push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        text->push_back(static_cast<char>(0xC0 | (cp >> 6)));
        text->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        text->push_back(static_cast<char>(0xE0 | (cp >> 12)));
        text->push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        text->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        text->push_back(static_cast<char>(0xF0 | (cp >> 18)));
        text->push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        text->push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        text->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

std::string Win_JsonString(std::string_view text) {
    std::string out = "\"";
    size_t offset = 0;
    while (offset < text.size()) {
        uint32_t cp = NextCodePoint(text, &offset);
        switch (cp) {
            case '"': out += "\\\""; break;
            case '\\': out += "\\\\"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\t': out += "\\t"; break;
            case '\b': out += "\\b"; break;
            case '\f': out += "\\f"; break;
            default:
                if (cp < 0x20) {
                    char escaped[8];
                    std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(cp));
                    out += escaped;
                } else {
                    AppendUtf8(&out, cp);
                }
        }
    }
    out += "\"";
    return out;
}
