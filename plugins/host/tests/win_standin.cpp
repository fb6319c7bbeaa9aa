// A test-only stand-in for the few window-layer calls the host and the test plug-in
// make: a window tree with procedures, a posted-message queue, virtual time, the
// hooks and the event sink. Linked into the host's tests until the window layer
// library is part of the build; it draws nothing.
#include <algorithm>
#include <cstdio>
#include <deque>
#include <map>
#include <mutex>

#include "qel_win.h"

namespace {

struct Window {
    std::string className;
    WinProc procedure = nullptr;
    WinHandle parent = 0;
    uint32_t style = 0;
    uint32_t id = 0;
    WinRect rect;
    std::map<std::string, intptr_t> props;
};

struct Posted {
    WinHandle window;
    uint32_t message;
    uintptr_t wParam;
    intptr_t lParam;
};

struct Desktop {
    std::map<std::string, WinClass> classes;
    std::map<WinHandle, Window> windows;
    WinHandle nextHandle = 1;
    WinHandle focus = 0;
    std::function<void(const std::string&)> sink;
    WinHooks hooks;
    std::string clipboard;
    std::string pdfDirectory;
    uint64_t ticks = 0;
    bool quit = false;
};

Desktop desk;
std::mutex queueMutex;
std::deque<Posted> queue;

Window* Find(WinHandle handle) {
    auto it = desk.windows.find(handle);
    return it == desk.windows.end() ? nullptr : &it->second;
}

std::string Escape(std::string_view text) {
    std::string out = "\"";
    for (unsigned char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20) {
            char buffer[8];
            std::snprintf(buffer, sizeof buffer, "\\u%04x", c);
            out += buffer;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + "\"";
}

void LogMessage(WinHandle window, uint32_t message) {
    if (message == WM_MOUSEMOVE || message == WM_SETCURSOR || message == WM_PAINT) return;
    Win_LogEvent("window",
                 "\"message\":" + std::to_string(message) + ",\"window\":" + std::to_string(window));
}

}  // namespace

std::string Win_JsonString(std::string_view text) { return Escape(text); }

void Win_SetEventSink(std::function<void(const std::string&)> sink) { desk.sink = std::move(sink); }

void Win_LogEvent(const std::string& source, const std::string& fieldsJson) {
    if (!desk.sink) return;
    desk.sink("{\"source\":" + Escape(source) + (fieldsJson.empty() ? "" : ",") + fieldsJson + "}");
}

bool Win_Initialize(WinBackend backend) { return backend == WinBackend::Headless; }

void Win_Terminate() {
    std::vector<WinHandle> tops;
    for (const auto& [handle, window] : desk.windows) {
        if (window.parent == 0) tops.push_back(handle);
    }
    for (WinHandle handle : tops) Win_DestroyWindow(handle);
    {
        std::lock_guard<std::mutex> lock(queueMutex);
        queue.clear();
    }
    auto sink = desk.sink;
    desk = Desktop();
    desk.sink = sink;
}

WinBackend Win_CurrentBackend() { return WinBackend::Headless; }

bool Win_RegisterClass(const WinClass& windowClass) {
    if (windowClass.name.empty() || windowClass.procedure == nullptr ||
        desk.classes.count(windowClass.name)) {
        return false;
    }
    desk.classes[windowClass.name] = windowClass;
    return true;
}

bool Win_UnregisterClass(const std::string& name) { return desk.classes.erase(name) > 0; }

WinHandle Win_CreateWindow(const std::string& className, const std::string&, uint32_t style, int x, int y,
                           int width, int height, WinHandle parent, uint32_t id, void* createParam) {
    auto cls = desk.classes.find(className);
    if (cls == desk.classes.end() || (parent != 0 && Find(parent) == nullptr)) return 0;
    WinHandle handle = desk.nextHandle++;
    Window& window = desk.windows[handle];
    window.className = className;
    window.procedure = cls->second.procedure;
    window.parent = parent;
    window.style = style;
    window.id = id;
    window.rect = {x, y, x + width, y + height};
    if (Win_SendMessage(handle, WM_CREATE, 0, reinterpret_cast<intptr_t>(createParam)) == -1) {
        desk.windows.erase(handle);
        return 0;
    }
    if (style & WS_VISIBLE) Win_SendMessage(handle, WM_SIZE, 0, WinMakeLParam(width, height));
    return handle;
}

bool Win_DestroyWindow(WinHandle handle) {
    if (Find(handle) == nullptr) return false;
    for (WinHandle child : Win_GetChildren(handle)) Win_DestroyWindow(child);
    Win_SendMessage(handle, WM_DESTROY, 0, 0);
    desk.windows.erase(handle);
    if (desk.focus == handle) desk.focus = 0;
    return true;
}

bool Win_IsWindow(WinHandle handle) { return Find(handle) != nullptr; }

std::vector<WinHandle> Win_GetChildren(WinHandle handle) {
    std::vector<WinHandle> children;
    for (const auto& [child, window] : desk.windows) {
        if (window.parent == handle && handle != 0) children.push_back(child);
    }
    return children;
}

bool Win_MoveWindow(WinHandle handle, int x, int y, int width, int height, bool) {
    Window* window = Find(handle);
    if (window == nullptr) return false;
    bool resized = window->rect.Width() != width || window->rect.Height() != height;
    window->rect = {x, y, x + width, y + height};
    if (resized) Win_SendMessage(handle, WM_SIZE, 0, WinMakeLParam(width, height));
    return true;
}

bool Win_GetClientRect(WinHandle handle, WinRect* rect) {
    Window* window = Find(handle);
    if (window == nullptr) return false;
    *rect = {0, 0, window->rect.Width(), window->rect.Height()};
    return true;
}

WinProc Win_SetWindowProc(WinHandle handle, WinProc procedure) {
    Window* window = Find(handle);
    if (window == nullptr) return nullptr;
    WinProc previous = window->procedure;
    window->procedure = procedure;
    return previous;
}

intptr_t Win_CallWindowProc(WinProc procedure, WinHandle window, uint32_t message, uintptr_t wParam,
                            intptr_t lParam) {
    return procedure != nullptr ? procedure(window, message, wParam, lParam) : 0;
}

bool Win_SetProp(WinHandle handle, const std::string& name, intptr_t value) {
    Window* window = Find(handle);
    if (window == nullptr) return false;
    window->props[name] = value;
    return true;
}

intptr_t Win_GetProp(WinHandle handle, const std::string& name) {
    Window* window = Find(handle);
    if (window == nullptr) return 0;
    auto it = window->props.find(name);
    return it == window->props.end() ? 0 : it->second;
}

intptr_t Win_DefWindowProc(WinHandle window, uint32_t message, uintptr_t, intptr_t) {
    if (message == WM_CLOSE) Win_DestroyWindow(window);
    return 0;
}

intptr_t Win_SendMessage(WinHandle handle, uint32_t message, uintptr_t wParam, intptr_t lParam) {
    Window* window = Find(handle);
    if (window == nullptr) return 0;
    LogMessage(handle, message);
    return window->procedure(handle, message, wParam, lParam);
}

bool Win_PostMessage(WinHandle window, uint32_t message, uintptr_t wParam, intptr_t lParam) {
    std::lock_guard<std::mutex> lock(queueMutex);
    queue.push_back({window, message, wParam, lParam});
    return true;
}

int Win_PumpMessages() {
    int count = 0;
    while (true) {
        Posted posted;
        {
            std::lock_guard<std::mutex> lock(queueMutex);
            if (queue.empty()) return count;
            posted = queue.front();
            queue.pop_front();
        }
        Win_SendMessage(posted.window, posted.message, posted.wParam, posted.lParam);
        ++count;
    }
}

int Win_RunLoop() { return Win_PumpMessages(); }
void Win_Quit(int) { desk.quit = true; }

void Win_AdvanceTime(unsigned milliseconds) { desk.ticks += milliseconds; }
uint64_t Win_TickCount() { return desk.ticks; }

WinHandle Win_WindowFromPoint(WinHandle topLevel, int x, int y) {
    WinHandle found = topLevel;
    for (bool deeper = true; deeper;) {
        deeper = false;
        for (WinHandle child : Win_GetChildren(found)) {
            const WinRect& r = Find(child)->rect;
            if (x >= r.left && x < r.right && y >= r.top && y < r.bottom) {
                x -= r.left;
                y -= r.top;
                found = child;
                deeper = true;
                break;
            }
        }
    }
    return found;
}

void Win_InputMouse(WinHandle topLevel, uint32_t message, int x, int y, uint32_t keyFlags) {
    WinHandle target = Win_WindowFromPoint(topLevel, x, y);
    if (message == WM_LBUTTONDOWN || message == WM_RBUTTONDOWN) desk.focus = target;
    Win_SendMessage(target, message, keyFlags, WinMakeLParam(x, y));
}

void Win_InputKey(int virtualKey) {
    if (desk.focus != 0) Win_SendMessage(desk.focus, WM_KEYDOWN, static_cast<uintptr_t>(virtualKey), 0);
}

void Win_InputText(std::string_view text) {
    for (char c : text) {
        if (desk.focus != 0) Win_SendMessage(desk.focus, WM_CHAR, static_cast<unsigned char>(c), 0);
    }
}

void Win_SetHooks(WinHooks hooks) { desk.hooks = std::move(hooks); }

int Win_MessageBox(WinHandle, const std::string& text, const std::string& caption, uint32_t flags) {
    int answer = IDCANCEL;
    if (desk.hooks.messageBox && desk.hooks.messageBox(text, caption, flags, &answer)) return answer;
    return (flags & 0xF) == MB_OK ? IDOK : IDCANCEL;
}

uint32_t Win_TrackPopupMenu(WinMenu, uint32_t, int, int, WinHandle owner) {
    uint32_t chosen = 0;
    if (!desk.hooks.popupMenu || !desk.hooks.popupMenu(0, &chosen)) return 0;
    if (chosen != 0) Win_SendMessage(owner, WM_COMMAND, chosen, 0);
    return chosen;
}

bool Win_EndDialog(WinHandle, intptr_t) { return false; }
bool Win_SetDlgItemText(WinHandle, uint32_t, std::string_view) { return false; }
bool Win_ClickButton(WinHandle, uint32_t) { return false; }
void Win_SetPdfDirectory(const std::string& directory) { desk.pdfDirectory = directory; }
WinDC* Win_CreatePrinterDC(const std::string&, const WinPrinterSettings*) { return nullptr; }
bool Win_Screenshot(WinHandle, const std::string&) { return false; }

bool Win_SetClipboardText(std::string text) {
    desk.clipboard = std::move(text);
    return true;
}
std::string Win_ClipboardText() { return desk.clipboard; }
