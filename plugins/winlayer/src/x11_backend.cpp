// x11_backend.cpp - top-level surfaces shown in X windows. Each window keeps an image
// surface the layer draws into; Present and Expose copy it to the window.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>
#include <cairo-xlib.h>
#include <poll.h>

#include <map>

#include "x11_backend.h"

namespace {

struct TopWindow {
    Window window = 0;
    cairo_surface_t* image = nullptr;
    cairo_surface_t* screen = nullptr;
    bool placed = false;  // Place has positioned it at least once
    bool mapped = false;
    int x = 0, y = 0;  // where the layer last put it (or the window manager moved it)
};

int VirtualKeyOf(KeySym symbol) {
    switch (symbol) {
        case XK_BackSpace: return VK_BACK;
        case XK_Tab:
        case XK_ISO_Left_Tab: return VK_TAB;
        case XK_Return:
        case XK_KP_Enter: return VK_RETURN;
        case XK_Escape: return VK_ESCAPE;
        case XK_Prior: return VK_PRIOR;
        case XK_Next: return VK_NEXT;
        case XK_End: return VK_END;
        case XK_Home: return VK_HOME;
        case XK_Left: return VK_LEFT;
        case XK_Up: return VK_UP;
        case XK_Right: return VK_RIGHT;
        case XK_Down: return VK_DOWN;
        case XK_Delete: return VK_DELETE;
        case XK_Shift_L:
        case XK_Shift_R: return VK_SHIFT;
        case XK_Control_L:
        case XK_Control_R: return VK_CONTROL;
        default: return 0;
    }
}

uint32_t KeyFlagsOf(unsigned int state) {
    uint32_t flags = 0;
    if ((state & Button1Mask) != 0) flags |= MK_LBUTTON;
    if ((state & Button3Mask) != 0) flags |= MK_RBUTTON;
    if ((state & ShiftMask) != 0) flags |= MK_SHIFT;
    if ((state & ControlMask) != 0) flags |= MK_CONTROL;
    return flags;
}

class X11Backend : public DesktopBackend {
public:
    X11Backend(Display* display, X11InputSink sink) : display_(display), sink_(std::move(sink)) {
        deleteWindow_ = XInternAtom(display_, "WM_DELETE_WINDOW", False);
    }

    ~X11Backend() override {
        while (!windows_.empty()) DestroySurface(windows_.begin()->first);
        XCloseDisplay(display_);
    }

    cairo_surface_t* CreateSurface(WinHandle topLevel, int width, int height) override {
        if (width < 1 || height < 1) return nullptr;
        DestroySurface(topLevel);
        int screen = DefaultScreen(display_);
        TopWindow top;
        top.window = XCreateSimpleWindow(display_, RootWindow(display_, screen), 0, 0, width, height, 0,
                                         BlackPixel(display_, screen), WhitePixel(display_, screen));
        XSelectInput(display_, top.window,
                     ExposureMask | ButtonPressMask | ButtonReleaseMask | PointerMotionMask | KeyPressMask |
                         StructureNotifyMask);
        XSetWMProtocols(display_, top.window, &deleteWindow_, 1);
        // The layer decides the size; a window manager may not stretch the window.
        XSizeHints* hints = XAllocSizeHints();
        if (hints != nullptr) {
            hints->flags = PMinSize | PMaxSize;
            hints->min_width = hints->max_width = width;
            hints->min_height = hints->max_height = height;
            XSetWMNormalHints(display_, top.window, hints);
            XFree(hints);
        }
        top.screen =
            cairo_xlib_surface_create(display_, top.window, DefaultVisual(display_, screen), width, height);
        top.image = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height);
        cairo_t* cr = cairo_create(top.image);
        cairo_set_source_rgb(cr, 1, 1, 1);
        cairo_paint(cr);
        cairo_destroy(cr);
        XFlush(display_);
        windows_[topLevel] = top;
        return top.image;
    }

    void DestroySurface(WinHandle topLevel) override {
        auto found = windows_.find(topLevel);
        if (found == windows_.end()) return;
        cairo_surface_destroy(found->second.screen);
        cairo_surface_destroy(found->second.image);
        XDestroyWindow(display_, found->second.window);
        XFlush(display_);
        windows_.erase(found);
    }

    void Present(WinHandle topLevel) override {
        auto found = windows_.find(topLevel);
        if (found == windows_.end()) return;
        cairo_surface_flush(found->second.image);
        cairo_t* cr = cairo_create(found->second.screen);
        cairo_set_source_surface(cr, found->second.image, 0, 0);
        cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
        cairo_paint(cr);
        cairo_destroy(cr);
        cairo_surface_flush(found->second.screen);
        XFlush(display_);
    }

    void Place(WinHandle topLevel, const WinRect& rect, uint32_t style, bool visible) override {
        auto found = windows_.find(topLevel);
        if (found == windows_.end()) return;
        TopWindow& top = found->second;
        if (!top.placed) {
            // A popup without a caption (a menu) is placed exactly, past the window manager.
            XSetWindowAttributes attributes{};
            attributes.override_redirect =
                (style & WS_POPUP) != 0 && (style & WS_CAPTION) == 0 ? True : False;
            attributes.save_under = attributes.override_redirect;
            XChangeWindowAttributes(display_, top.window, CWOverrideRedirect | CWSaveUnder, &attributes);
            XMoveWindow(display_, top.window, rect.left, rect.top);
            top.x = rect.left, top.y = rect.top;
            top.placed = true;
        } else if (rect.left != top.x || rect.top != top.y) {
            XMoveWindow(display_, top.window, rect.left, rect.top);
            top.x = rect.left, top.y = rect.top;
        }
        if (visible && !top.mapped) {
            XMapRaised(display_, top.window);
        } else if (!visible && top.mapped) {
            XUnmapWindow(display_, top.window);
        }
        top.mapped = visible;
        XFlush(display_);
    }

    void GrabInput(WinHandle topLevel, bool grab) override {
        if (!grab) {
            if (grabbed_) {
                XUngrabPointer(display_, CurrentTime);
                XUngrabKeyboard(display_, CurrentTime);
            }
            grabbed_ = false;
            grabWanted_ = 0;
            XFlush(display_);
            return;
        }
        grabWanted_ = topLevel;
        TryGrab();
    }

    bool WaitForInput(int timeoutMs) override {
        if (grabWanted_ != 0 && !grabbed_) TryGrab();
        if (XPending(display_) == 0) {
            pollfd entry{ConnectionNumber(display_), POLLIN, 0};
            int ready = poll(&entry, 1, timeoutMs < 0 ? -1 : timeoutMs);
            if (ready > 0 && (entry.revents & (POLLERR | POLLHUP)) != 0) return false;
        }
        while (XPending(display_) > 0) {
            XEvent event;
            XNextEvent(display_, &event);
            Handle(event);
        }
        return true;
    }

    unsigned long WindowOf(WinHandle topLevel) const {
        auto found = windows_.find(topLevel);
        return found == windows_.end() ? 0 : found->second.window;
    }

private:
    // A window just mapped may not be viewable yet: the grab is tried again while waiting.
    void TryGrab() {
        auto found = windows_.find(grabWanted_);
        if (found == windows_.end()) return;
        Window window = found->second.window;
        unsigned int mask = ButtonPressMask | ButtonReleaseMask | PointerMotionMask;
        if (XGrabPointer(display_, window, True, mask, GrabModeAsync, GrabModeAsync, 0, 0, CurrentTime) !=
            GrabSuccess)
            return;
        XGrabKeyboard(display_, window, True, GrabModeAsync, GrabModeAsync, CurrentTime);
        grabbed_ = true;
        XFlush(display_);
    }

    void Moved(WinHandle topLevel, Window window) {
        auto found = windows_.find(topLevel);
        if (found == windows_.end() || !sink_.moved) return;
        int x = 0, y = 0;
        Window child = 0;
        if (!XTranslateCoordinates(display_, window, DefaultRootWindow(display_), 0, 0, &x, &y, &child))
            return;
        if (x == found->second.x && y == found->second.y) return;
        found->second.x = x, found->second.y = y;
        sink_.moved(topLevel, x, y);
    }

    WinHandle TopLevelOf(Window window) const {
        for (const auto& [handle, top] : windows_) {
            if (top.window == window) return handle;
        }
        return 0;
    }

    void Handle(XEvent& event) {
        WinHandle topLevel = TopLevelOf(event.xany.window);
        if (topLevel == 0) return;
        switch (event.type) {
            case Expose:
                if (event.xexpose.count == 0) Present(topLevel);
                return;
            case ButtonPress:
            case ButtonRelease: HandleButton(topLevel, event.xbutton); return;
            case MotionNotify: {
                // Only the latest position of a burst of moves matters.
                while (XCheckTypedWindowEvent(display_, event.xany.window, MotionNotify, &event)) {
                }
                if (sink_.mouse) {
                    sink_.mouse(topLevel, WM_MOUSEMOVE, event.xmotion.x, event.xmotion.y,
                                KeyFlagsOf(event.xmotion.state));
                }
                return;
            }
            case KeyPress: HandleKey(event.xkey); return;
            case ConfigureNotify: Moved(topLevel, event.xconfigure.window); return;
            case ClientMessage:
                if (static_cast<Atom>(event.xclient.data.l[0]) == deleteWindow_ && sink_.close)
                    sink_.close(topLevel);
                return;
            default: return;
        }
    }

    void HandleButton(WinHandle topLevel, const XButtonEvent& button) {
        if (!sink_.mouse || (button.button != Button1 && button.button != Button3)) return;
        bool left = button.button == Button1;
        bool press = button.type == ButtonPress;
        uint32_t flags = KeyFlagsOf(button.state);
        uint32_t own = left ? MK_LBUTTON : MK_RBUTTON;
        // The state is the one before the event; the flags say how it is after it.
        flags = press ? (flags | own) : (flags & ~own);
        uint32_t message =
            left ? (press ? WM_LBUTTONDOWN : WM_LBUTTONUP) : (press ? WM_RBUTTONDOWN : WM_RBUTTONUP);
        sink_.mouse(topLevel, message, button.x, button.y, flags);
    }

    void HandleKey(XKeyEvent& key) {
        char text[32];
        KeySym symbol = 0;
        int length = XLookupString(&key, text, sizeof text, &symbol, nullptr);
        int virtualKey = VirtualKeyOf(symbol);
        if (virtualKey != 0) {
            if (sink_.key) sink_.key(virtualKey);
            return;
        }
        if ((key.state & ControlMask) != 0 && symbol >= XK_a && symbol <= XK_z) {
            if (sink_.key) sink_.key(static_cast<int>('A' + (symbol - XK_a)));
            return;
        }
        if (length > 0 && static_cast<unsigned char>(text[0]) >= 0x20 && text[0] != 0x7F && sink_.text) {
            sink_.text(std::string_view(text, static_cast<size_t>(length)));
        }
    }

    Display* display_;
    X11InputSink sink_;
    Atom deleteWindow_ = 0;
    std::map<WinHandle, TopWindow> windows_;
    WinHandle grabWanted_ = 0;
    bool grabbed_ = false;
};

}  // namespace

std::unique_ptr<DesktopBackend> Backend_CreateX11WithSink(X11InputSink sink, const char* displayName) {
    Display* display = XOpenDisplay(displayName);
    if (display == nullptr) return nullptr;
    return std::make_unique<X11Backend>(display, std::move(sink));
}

unsigned long X11_WindowOf(DesktopBackend* backend, WinHandle topLevel) {
    auto x11 = dynamic_cast<X11Backend*>(backend);
    return x11 == nullptr ? 0 : x11->WindowOf(topLevel);
}

std::unique_ptr<DesktopBackend> Backend_CreateX11() {
    X11InputSink sink;
    sink.mouse = [](WinHandle topLevel, uint32_t message, int x, int y, uint32_t flags) {
        Win_InputMouse(topLevel, message, x, y, flags);
    };
    sink.key = [](int virtualKey) { Win_InputKey(virtualKey); };
    sink.text = [](std::string_view text) { Win_InputText(text); };
    sink.close = [](WinHandle topLevel) { Win_PostMessage(topLevel, WM_CLOSE, 0, 0); };
    sink.moved = [](WinHandle topLevel, int x, int y) { TopLevelMovedOnScreen(topLevel, x, y); };
    return Backend_CreateX11WithSink(std::move(sink), nullptr);
}
