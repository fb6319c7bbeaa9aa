// The X11 back-end under a virtual X server: a top-level surface shown in a real
// window, input turned into layer messages, no back-end without a display.
// Run through run_under_xvfb.sh; skipped (77) without a display.
#include <cairo.h>
#include <gtest/gtest.h>

#include <tuple>

#include "arc_platform.h"
#include "gdi_test_util.h"
#include "x11_backend.h"

// Xlib's macros (None, Bool, Status) clash with test framework names: included last.
#include <X11/Xlib.h>
#include <X11/keysym.h>

namespace {

struct Recorded {
    std::vector<std::tuple<WinHandle, uint32_t, int, int, uint32_t>> mouse;
    std::vector<int> keys;
    std::string text;
};

X11InputSink SinkInto(Recorded* recorded) {
    X11InputSink sink;
    sink.mouse = [recorded](WinHandle top, uint32_t message, int x, int y, uint32_t flags) {
        recorded->mouse.emplace_back(top, message, x, y, flags);
    };
    sink.key = [recorded](int key) { recorded->keys.push_back(key); };
    sink.text = [recorded](std::string_view text) { recorded->text += text; };
    return sink;
}

TEST(X11Backend, NoDisplayNoBackend) {
    Recorded recorded;
    EXPECT_EQ(Backend_CreateX11WithSink(SinkInto(&recorded), ":4095"), nullptr);
}

TEST(X11Backend, WindowShowsTheSurface) {
    Recorded recorded;
    std::unique_ptr<DesktopBackend> backend = Backend_CreateX11WithSink(SinkInto(&recorded), nullptr);
    ASSERT_TRUE(backend);
    cairo_surface_t* surface = backend->CreateSurface(7, 160, 120);
    ASSERT_NE(surface, nullptr);
    EXPECT_EQ(backend->CreateSurface(8, 0, 10), nullptr);
    backend->Place(7, WinRect{0, 0, 160, 120}, WS_POPUP | WS_CAPTION, true);
    DcPtr dc(Dc_CreateForSurface(surface, 0, 0, WinRect{0, 0, 160, 120}));
    Win_FillSolid(dc.get(), WinRect{0, 0, 160, 120}, WinRgb(255, 0, 0));
    Win_FillSolid(dc.get(), WinRect{40, 30, 120, 90}, WinRgb(0, 0, 255));
    backend->Present(7);
    // Let the server map and expose the window, then copy the surface again.
    for (int i = 0; i < 10; ++i) backend->WaitForInput(50);
    backend->Present(7);
    backend->WaitForInput(100);

    TempDir dir;
    std::string shot = dir.path() + "/root.png";
    int status = -1;
    ASSERT_EQ(ArcOS_RunProgram({"import", "-window", "root", shot}, &status), 0);
    ASSERT_EQ(status, 0);
    cairo_surface_t* image = cairo_image_surface_create_from_png(shot.c_str());
    BitmapPtr screen(Bitmap_FromSurface(image));
    cairo_surface_destroy(image);
    ASSERT_TRUE(screen);
    int red = 0, blue = 0;
    for (int y = 0; y < Win_BitmapHeight(screen.get()); ++y) {
        for (int x = 0; x < Win_BitmapWidth(screen.get()); ++x) {
            uint32_t pixel = Win_BitmapPixel(screen.get(), x, y);
            red += pixel == 0xFF0000;
            blue += pixel == 0x0000FF;
        }
    }
    EXPECT_EQ(blue, 80 * 60);
    EXPECT_EQ(red, 160 * 120 - 80 * 60);
    backend->DestroySurface(7);
}

TEST(X11Backend, InputBecomesMessages) {
    Recorded recorded;
    std::unique_ptr<DesktopBackend> backend = Backend_CreateX11WithSink(SinkInto(&recorded), nullptr);
    ASSERT_TRUE(backend);
    ASSERT_NE(backend->CreateSurface(3, 100, 80), nullptr);
    Window window = X11_WindowOf(backend.get(), 3);
    ASSERT_NE(window, 0u);
    EXPECT_EQ(X11_WindowOf(backend.get(), 4), 0u);

    // A second connection plays the user.
    Display* user = XOpenDisplay(nullptr);
    ASSERT_NE(user, nullptr);
    auto send = [&](XEvent event, long mask) {
        event.xany.window = window;
        event.xany.display = user;
        XSendEvent(user, window, False, mask, &event);
        XFlush(user);
    };
    XEvent press{};
    press.type = ButtonPress;
    press.xbutton.button = Button1;
    press.xbutton.x = 12;
    press.xbutton.y = 34;
    press.xbutton.state = ShiftMask;
    send(press, ButtonPressMask);
    XEvent release = press;
    release.type = ButtonRelease;
    release.xbutton.state = Button1Mask;
    send(release, ButtonReleaseMask);
    XEvent right = press;
    right.xbutton.button = Button3;
    right.xbutton.state = 0;
    send(right, ButtonPressMask);
    XEvent motion{};
    motion.type = MotionNotify;
    motion.xmotion.x = 50;
    motion.xmotion.y = 60;
    motion.xmotion.state = Button1Mask | ControlMask;
    send(motion, PointerMotionMask);
    struct Key {
        KeySym symbol;
        unsigned state;
    } keys[] = {{XK_Return, 0}, {XK_Next, 0}, {XK_a, 0}, {XK_b, ShiftMask}, {XK_c, ControlMask}};
    for (const Key& k : keys) {
        XEvent key{};
        key.type = KeyPress;
        key.xkey.keycode = XKeysymToKeycode(user, k.symbol);
        key.xkey.state = k.state;
        send(key, KeyPressMask);
    }
    for (int i = 0; i < 20 && recorded.keys.size() + recorded.text.size() < 5; ++i) backend->WaitForInput(50);
    XCloseDisplay(user);

    using Event = std::tuple<WinHandle, uint32_t, int, int, uint32_t>;
    std::vector<Event> expected = {
        {3, WM_LBUTTONDOWN, 12, 34, MK_LBUTTON | MK_SHIFT},
        {3, WM_LBUTTONUP, 12, 34, 0},
        {3, WM_RBUTTONDOWN, 12, 34, MK_RBUTTON},
        {3, WM_MOUSEMOVE, 50, 60, MK_LBUTTON | MK_CONTROL},
    };
    EXPECT_EQ(recorded.mouse, expected);
    EXPECT_EQ(recorded.keys, (std::vector<int>{VK_RETURN, VK_NEXT, 'C'}));
    EXPECT_EQ(recorded.text, "aB");
}

}  // namespace
