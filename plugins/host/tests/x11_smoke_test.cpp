// qelview on a virtual X server: a real window shows the document's plug-in, a
// screenshot of the screen shows the window's content, and closing the window
// through the window manager's delete protocol ends qelview cleanly.
// Run through run_under_xvfb.sh (skipped without Xvfb or ImageMagick).
#include <cairo.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <thread>

#include "arc_platform.h"

// Xlib's macros clash with test framework names: included last.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

extern char** environ;

namespace {

constexpr int kWidth = 320, kHeight = 240;

struct Shown {
    Window window = 0;
    int x = 0, y = 0;
};

// The viewable top-level window of the browser window's size, if any.
Shown FindBrowserWindow(Display* display) {
    Window root = DefaultRootWindow(display), parent = 0, *children = nullptr;
    unsigned int count = 0;
    Shown shown;
    if (!XQueryTree(display, root, &root, &parent, &children, &count)) return shown;
    for (unsigned int i = 0; i < count; ++i) {
        XWindowAttributes attributes;
        if (!XGetWindowAttributes(display, children[i], &attributes)) continue;
        if (attributes.map_state == IsViewable && attributes.width == kWidth &&
            attributes.height == kHeight) {
            shown.window = children[i];
            Window child = 0;
            XTranslateCoordinates(display, children[i], root, 0, 0, &shown.x, &shown.y, &child);
        }
    }
    if (children != nullptr) XFree(children);
    return shown;
}

// Pixels of the screenshot inside and outside the window that are the layer's white.
struct Counts {
    long whiteInside = 0, inside = 0, whiteOutside = 0, outside = 0;
};

bool CountScreenshot(const std::string& png, const Shown& shown, Counts* counts) {
    cairo_surface_t* image = cairo_image_surface_create_from_png(png.c_str());
    if (cairo_surface_status(image) != CAIRO_STATUS_SUCCESS) {
        cairo_surface_destroy(image);
        return false;
    }
    int width = cairo_image_surface_get_width(image), height = cairo_image_surface_get_height(image);
    int stride = cairo_image_surface_get_stride(image);
    const unsigned char* data = cairo_image_surface_get_data(image);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            uint32_t pixel = *reinterpret_cast<const uint32_t*>(data + y * stride + x * 4) & 0xFFFFFF;
            bool in = x >= shown.x && x < shown.x + kWidth && y >= shown.y && y < shown.y + kHeight;
            (in ? counts->inside : counts->outside)++;
            if (pixel == 0xFFFFFF) (in ? counts->whiteInside : counts->whiteOutside)++;
        }
    }
    cairo_surface_destroy(image);
    return true;
}

// Waits for the child's exit up to the time given; -1 when it is still running.
int WaitExit(pid_t pid, int milliseconds) {
    for (int waited = 0; waited < milliseconds; waited += 50) {
        int status = 0;
        if (waitpid(pid, &status, WNOHANG) == pid) return WIFEXITED(status) ? WEXITSTATUS(status) : 128;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return -1;
}

TEST(QelviewX11, ShowsTheDocumentAndClosesCleanly) {
    Display* display = XOpenDisplay(nullptr);
    ASSERT_NE(display, nullptr) << "no X display";
    char dirTemplate[] = "/tmp/qelview-x11-XXXXXX";
    ASSERT_NE(mkdtemp(dirTemplate), nullptr);
    std::string dir = dirTemplate;
    std::string document = dir + "/document.txt";
    std::ofstream(document) << "a small document\n";

    std::vector<std::string> args = {QELVIEW_PROGRAM,
                                     "--plugin",
                                     std::string("application/x-qel-test=") + QELVIEW_TEST_PLUGIN,
                                     "--type",
                                     "application/x-qel-test",
                                     "--size",
                                     std::to_string(kWidth) + "x" + std::to_string(kHeight),
                                     "--log",
                                     dir + "/log.json",
                                     "file://" + document};
    std::vector<char*> argv;
    for (std::string& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    pid_t pid = 0;
    ASSERT_EQ(posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), environ), 0);

    Shown shown;
    for (int i = 0; i < 200 && shown.window == 0; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        shown = FindBrowserWindow(display);
    }
    if (shown.window == 0) {
        kill(pid, SIGKILL);
        WaitExit(pid, 2000);
        FAIL() << "qelview showed no window";
    }
    // The window's content: the plug-in's white view over the whole window, where
    // the screen around it is the server's background.
    Counts counts;
    std::string shot = dir + "/screen.png";
    for (int i = 0; i < 50; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        int status = -1;
        ASSERT_EQ(ArcOS_RunProgram({"import", "-window", "root", shot}, &status), 0);
        ASSERT_EQ(status, 0);
        counts = Counts{};
        ASSERT_TRUE(CountScreenshot(shot, shown, &counts));
        if (counts.whiteInside == counts.inside) break;
    }
    EXPECT_EQ(counts.inside, static_cast<long>(kWidth) * kHeight);
    EXPECT_EQ(counts.whiteInside, counts.inside) << "the window's content is on the screen";
    EXPECT_LT(counts.whiteOutside, counts.outside / 10) << "the white is the window's, not the screen's";

    // The window manager's close: WM_PROTOCOLS / WM_DELETE_WINDOW.
    XEvent close{};
    close.xclient.type = ClientMessage;
    close.xclient.window = shown.window;
    close.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
    close.xclient.format = 32;
    close.xclient.data.l[0] = static_cast<long>(XInternAtom(display, "WM_DELETE_WINDOW", False));
    close.xclient.data.l[1] = CurrentTime;
    XSendEvent(display, shown.window, False, NoEventMask, &close);
    XFlush(display);
    int code = WaitExit(pid, 15000);
    if (code == -1) kill(pid, SIGKILL), WaitExit(pid, 2000);
    EXPECT_EQ(code, 0) << "qelview ends with status 0 when its window is closed";
    XCloseDisplay(display);

    std::ifstream log(dir + "/log.json");
    std::string all((std::istreambuf_iterator<char>(log)), std::istreambuf_iterator<char>());
    EXPECT_NE(all.find("\"name\":\"WM_CLOSE\""), std::string::npos) << all.substr(0, 2000);
    std::remove(shot.c_str());
    std::remove((dir + "/log.json").c_str());
    std::remove(document.c_str());
    rmdir(dir.c_str());
}

}  // namespace
