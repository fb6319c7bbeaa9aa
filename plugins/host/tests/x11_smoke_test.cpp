// qelview on a virtual X server: a real window shows the document's plug-in (the
// test plug-in, and the image viewer on a TIFF), a screenshot of the screen shows
// the window's content, and closing the window through the window manager's delete
// protocol ends qelview cleanly. Run through run_under_xvfb.sh (skipped without Xvfb
// or ImageMagick).
#include <cairo.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <tiffio.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
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

// Waits for the child's exit up to the time given; -1 when it is still running.
int WaitExit(pid_t pid, int milliseconds) {
    for (int waited = 0; waited < milliseconds; waited += 50) {
        int status = 0;
        if (waitpid(pid, &status, WNOHANG) == pid) return WIFEXITED(status) ? WEXITSTATUS(status) : 128;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return -1;
}

// The screenshot's pixels (0x00RRGGBB), row by row.
struct Screen {
    int width = 0, height = 0;
    std::vector<uint32_t> pixels;
    // A pixel of the shown window (window coordinates); magenta off the screen.
    uint32_t At(const Shown& shown, int x, int y) const {
        x += shown.x, y += shown.y;
        if (x < 0 || y < 0 || x >= width || y >= height) return 0xFF00FF;
        return pixels[static_cast<size_t>(y) * width + x];
    }
};

// Pixels of the screenshot inside and outside the window that are the layer's white.
struct Counts {
    long whiteInside = 0, inside = 0, whiteOutside = 0, outside = 0;
};

Counts CountWhite(const Screen& screen, const Shown& shown) {
    Counts counts;
    for (int y = 0; y < screen.height; ++y) {
        for (int x = 0; x < screen.width; ++x) {
            bool in = x >= shown.x && x < shown.x + kWidth && y >= shown.y && y < shown.y + kHeight;
            (in ? counts.inside : counts.outside)++;
            if (screen.pixels[static_cast<size_t>(y) * screen.width + x] == 0xFFFFFF)
                (in ? counts.whiteInside : counts.whiteOutside)++;
        }
    }
    return counts;
}

bool TakeScreenshot(const std::string& png, Screen* screen) {
    int status = -1;
    if (ArcOS_RunProgram({"import", "-window", "root", png}, &status) != 0 || status != 0) return false;
    cairo_surface_t* image = cairo_image_surface_create_from_png(png.c_str());
    bool ok = cairo_surface_status(image) == CAIRO_STATUS_SUCCESS;
    if (ok) {
        screen->width = cairo_image_surface_get_width(image);
        screen->height = cairo_image_surface_get_height(image);
        int stride = cairo_image_surface_get_stride(image);
        const unsigned char* data = cairo_image_surface_get_data(image);
        screen->pixels.resize(static_cast<size_t>(screen->width) * screen->height);
        for (int y = 0; y < screen->height; ++y) {
            for (int x = 0; x < screen->width; ++x) {
                screen->pixels[static_cast<size_t>(y) * screen->width + x] =
                    *reinterpret_cast<const uint32_t*>(data + y * stride + x * 4) & 0xFFFFFF;
            }
        }
    }
    cairo_surface_destroy(image);
    std::remove(png.c_str());
    return ok;
}

// One qelview run on a virtual X server: started with the arguments (and the
// environment plus extra), its window found, screenshots until ready() accepts one,
// then closed by the window manager's protocol. The run's exit status and log.
struct X11Run {
    int exitCode = -1;
    bool shown = false, ready = false;
    std::string log;
};

X11Run RunUntilClosed(const std::string& dir, std::vector<std::string> args, const std::string& extraEnv,
                      const std::function<bool(const Screen&, const Shown&)>& ready) {
    X11Run run;
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr) {
        ADD_FAILURE() << "no X display";
        return run;
    }
    std::vector<char*> argv;
    for (std::string& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    std::vector<std::string> envText;
    std::string extraName = extraEnv.substr(0, extraEnv.find('=') + 1);
    for (char** e = environ; *e != nullptr; ++e) {
        if (extraName.empty() || std::string_view(*e).substr(0, extraName.size()) != extraName)
            envText.emplace_back(*e);
    }
    if (!extraEnv.empty()) envText.push_back(extraEnv);
    std::vector<char*> envp;
    for (std::string& e : envText) envp.push_back(e.data());
    envp.push_back(nullptr);
    pid_t pid = 0;
    if (posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), envp.data()) != 0) {
        ADD_FAILURE() << "cannot start " << args[0];
        XCloseDisplay(display);
        return run;
    }

    Shown shown;
    for (int i = 0; i < 200 && shown.window == 0; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        shown = FindBrowserWindow(display);
    }
    run.shown = shown.window != 0;
    if (run.shown) {
        // The window's content reaches the screen a little after the window does.
        for (int i = 0; i < 50 && !run.ready; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            Screen screen;
            if (!TakeScreenshot(dir + "/screen.png", &screen)) {
                ADD_FAILURE() << "import could not take a screenshot";
                break;
            }
            run.ready = ready(screen, shown);
        }
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
        run.exitCode = WaitExit(pid, 15000);
    }
    if (run.exitCode == -1) kill(pid, SIGKILL), WaitExit(pid, 2000);
    XCloseDisplay(display);
    std::ifstream log(dir + "/log.json");
    run.log.assign(std::istreambuf_iterator<char>(log), std::istreambuf_iterator<char>());
    return run;
}

std::string MakeDir() {
    char dirTemplate[] = "/tmp/qelview-x11-XXXXXX";
    return mkdtemp(dirTemplate) != nullptr ? std::string(dirTemplate) : std::string();
}

TEST(QelviewX11, ShowsTheDocumentAndClosesCleanly) {
    std::string dir = MakeDir();
    ASSERT_FALSE(dir.empty());
    std::string document = dir + "/document.txt";
    std::ofstream(document) << "a small document\n";

    // The test plug-in's white view over the whole window, where the screen around it
    // is the server's background.
    Counts counts;
    X11Run run = RunUntilClosed(
        dir,
        {QELVIEW_PROGRAM, "--plugin", std::string("application/x-qel-test=") + QELVIEW_TEST_PLUGIN, "--type",
         "application/x-qel-test", "--size", std::to_string(kWidth) + "x" + std::to_string(kHeight), "--log",
         dir + "/log.json", "file://" + document},
        "", [&counts](const Screen& screen, const Shown& shown) {
            counts = CountWhite(screen, shown);
            return counts.whiteInside == counts.inside;
        });
    ASSERT_TRUE(run.shown) << "qelview showed no window";
    EXPECT_EQ(counts.inside, static_cast<long>(kWidth) * kHeight);
    EXPECT_EQ(counts.whiteInside, counts.inside) << "the window's content is on the screen";
    EXPECT_LT(counts.whiteOutside, counts.outside / 10) << "the white is the window's, not the screen's";
    EXPECT_EQ(run.exitCode, 0) << "qelview ends with status 0 when its window is closed";
    EXPECT_NE(run.log.find("\"name\":\"WM_CLOSE\""), std::string::npos) << run.log.substr(0, 2000);
    std::filesystem::remove_all(dir);
}

// A grey page 608 x 400, white with its top-left quarter black: at zoom 100 the page's
// width fills the 304-pixel view, so the quarter lands as a 152 x 100 black block
// at the view's top-left, below the toolbar.
constexpr int kPageWidth = 608, kPageHeight = 400, kViewWidth = kWidth - 16;
constexpr int kBlockWidth = kViewWidth / 2, kBlockHeight = kPageHeight * kViewWidth / kPageWidth / 2;

bool WriteQuarterTiff(const std::string& path) {
    TIFF* tiff = TIFFOpen(path.c_str(), "w");
    if (tiff == nullptr) return false;
    TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, kPageWidth);
    TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, kPageHeight);
    TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, 8);
    TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, 1);
    TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISBLACK);
    TIFFSetField(tiff, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(tiff, TIFFTAG_ROWSPERSTRIP, 16);
    std::vector<uint8_t> row(kPageWidth);
    bool ok = true;
    for (int y = 0; y < kPageHeight && ok; ++y) {
        for (int x = 0; x < kPageWidth; ++x) row[x] = x < kPageWidth / 2 && y < kPageHeight / 2 ? 0 : 255;
        ok = TIFFWriteScanline(tiff, row.data(), static_cast<uint32_t>(y), 0) == 1;
    }
    TIFFClose(tiff);
    return ok;
}

bool Dark(uint32_t rgb) { return (rgb >> 16 & 0xFF) < 64 && (rgb >> 8 & 0xFF) < 64 && (rgb & 0xFF) < 64; }

// What a screenshot shows of the page in the window.
struct PageSeen {
    int top = -1;            // where the dark run of a column inside the block starts: the view's top
    int rows = 0;            // its length
    int darkAcross = 0;      // dark pixels across the block's middle row, from the left
    bool rightWhite = true;  // the page's right half, beside the block, is white
    long toolbarDrawn = 0;   // pixels above the view that are not white
    bool Complete() const { return top >= 0 && rows >= kBlockHeight - 2 && darkAcross >= kBlockWidth - 2; }
};

PageSeen Look(const Screen& screen, const Shown& shown) {
    PageSeen seen;
    // The longest dark run of the column: the toolbar's pictures above are dark too.
    for (int y = 0, run = 0; y <= kHeight; ++y) {
        if (y < kHeight && Dark(screen.At(shown, kBlockWidth / 4, y))) {
            ++run;
        } else {
            if (run > seen.rows) seen.rows = run, seen.top = y - run;
            run = 0;
        }
    }
    if (seen.top < 0) return seen;
    int middle = seen.top + seen.rows / 2;
    while (seen.darkAcross < kViewWidth && Dark(screen.At(shown, seen.darkAcross, middle))) ++seen.darkAcross;
    for (int y = seen.top; y < seen.top + seen.rows; ++y) {
        for (int x = kBlockWidth + 2; x < kViewWidth; ++x)
            seen.rightWhite &= screen.At(shown, x, y) == 0xFFFFFF;
    }
    for (int y = 0; y < seen.top; ++y) {
        for (int x = 0; x < kWidth; ++x) seen.toolbarDrawn += screen.At(shown, x, y) != 0xFFFFFF;
    }
    return seen;
}

TEST(QelviewX11, ImageViewerShowsTheTiffPageAndClosesCleanly) {
    std::string dir = MakeDir();
    ASSERT_FALSE(dir.empty());
    std::string document = dir + "/page.tif";
    ASSERT_TRUE(WriteQuarterTiff(document));
    // The viewer keeps its presets in a registry of its own for the run.
    std::string registry = dir + "/registry";
    ASSERT_EQ(mkdir(registry.c_str(), 0700), 0);

    PageSeen seen;
    X11Run run =
        RunUntilClosed(dir,
                       {QELVIEW_PROGRAM, "--plugin", std::string("image/tiff=") + QELVIEW_IMAGE_PLUGIN,
                        "--size", std::to_string(kWidth) + "x" + std::to_string(kHeight), "--log",
                        dir + "/log.json", "file://" + document},
                       "QEL_REGISTRY_DIR=" + registry, [&seen](const Screen& screen, const Shown& shown) {
                           seen = Look(screen, shown);
                           return seen.Complete();
                       });
    ASSERT_TRUE(run.shown) << "qelview showed no window";
    EXPECT_TRUE(seen.Complete()) << "dark from row " << seen.top << ": " << seen.rows << " rows, "
                                 << seen.darkAcross << " pixels across";
    // The toolbar (18 dialog units: 29 pixels) lies above the view.
    EXPECT_EQ(seen.top, 29);
    EXPECT_GT(seen.toolbarDrawn, 29L * kWidth / 10) << "the toolbar's buttons are drawn";
    EXPECT_NEAR(seen.rows, kBlockHeight, 2) << "the black quarter is half the page's shown height";
    EXPECT_NEAR(seen.darkAcross, kBlockWidth, 2) << "the black quarter is half the view's width";
    EXPECT_TRUE(seen.rightWhite) << "the page's right half is white";
    EXPECT_EQ(run.exitCode, 0) << "qelview ends with status 0 when its window is closed";
    EXPECT_NE(run.log.find("\"name\":\"WM_CLOSE\""), std::string::npos) << run.log.substr(0, 2000);
    EXPECT_NE(run.log.find("\"source\":\"image\""), std::string::npos) << "the viewer logged its view";
    std::filesystem::remove_all(dir);
}

}  // namespace
