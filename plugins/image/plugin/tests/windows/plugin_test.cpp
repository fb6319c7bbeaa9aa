// libnpkzyp32.so through its entry points, as qelview drives it: versions, the
// instance's windows, delivered files, paging, selection, copy, printing to PDF,
// presets that outlive a restart, and the failures a user sees.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <tiffio.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "../registry_dir.h"
#include "arc_install.h"
#include "arc_platform.h"
#include "qel_npapi.h"
#include "qel_win.h"

namespace {

namespace fs = std::filesystem;

// --- a browser of our own ------------------------------------------------------

int liveBlocks = 0;
std::string statusText;

void* MemAlloc(uint32_t size) {
    ++liveBlocks;
    return ::operator new(size);
}
void MemFree(void* block) {
    --liveBlocks;
    ::operator delete(block);
}
void Status(NPP, const char* text) { statusText = text ? text : ""; }

intptr_t BrowserProc(WinHandle window, uint32_t message, uintptr_t wParam, intptr_t lParam) {
    return Win_DefWindowProc(window, message, wParam, lParam);
}

NPNetscapeFuncs BrowserTable(int minor) {
    NPNetscapeFuncs table{};
    table.size = sizeof table;
    table.version = static_cast<uint16_t>(minor);
    table.status = Status;
    table.memalloc = MemAlloc;
    table.memfree = MemFree;
    return table;
}

// A grey TIFF whose pages are white with a black block in the top-left quarter.
void WriteTiff(const std::string& path, const std::vector<std::pair<int, int>>& pages) {
    TIFF* tiff = TIFFOpen(path.c_str(), "w");
    ASSERT_NE(tiff, nullptr);
    for (auto [width, height] : pages) {
        TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, width);
        TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, height);
        TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, 8);
        TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, 1);
        TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISBLACK);
        TIFFSetField(tiff, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
        TIFFSetField(tiff, TIFFTAG_COMPRESSION, COMPRESSION_LZW);
        TIFFSetField(tiff, TIFFTAG_ROWSPERSTRIP, 64);
        TIFFSetField(tiff, TIFFTAG_SUBFILETYPE, FILETYPE_PAGE);
        std::vector<uint8_t> row(static_cast<size_t>(width));
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) row[x] = x < width / 2 && y < height / 2 ? 0 : 255;
            TIFFWriteScanline(tiff, row.data(), static_cast<uint32_t>(y), 0);
        }
        TIFFWriteDirectory(tiff);
    }
    TIFFClose(tiff);
}

// Grey 8-bit pages written byte by byte, each with one strip: all of them share the
// 8 bytes at the end of the file, whatever their size says. Their tags read well.
struct RawPage {
    uint32_t width, height;
    uint16_t compression;
};
void WriteRawTiff(const std::string& path, const std::vector<RawPage>& pages) {
    std::vector<uint8_t> bytes{'I', 'I', 42, 0, 8, 0, 0, 0};
    auto put = [&bytes](uint32_t value, int size) {
        for (int i = 0; i < size; ++i) bytes.push_back(static_cast<uint8_t>(value >> (8 * i)));
    };
    constexpr uint32_t kDirectoryBytes = 2 + 9 * 12 + 4;
    const auto strip = static_cast<uint32_t>(8 + kDirectoryBytes * pages.size());
    for (size_t i = 0; i < pages.size(); ++i) {
        const RawPage& p = pages[i];
        const std::pair<uint16_t, uint32_t> entries[] = {
            {256, p.width}, {257, p.height}, {258, 8},        {259, p.compression},      {262, 1},
            {273, strip},   {277, 1},        {278, p.height}, {279, p.width * p.height},
        };
        put(9, 2);
        for (auto [tag, value] : entries) {
            put(tag, 2);
            put(4, 2);  // LONG
            put(1, 4);
            put(value, 4);
        }
        put(i + 1 < pages.size() ? static_cast<uint32_t>(8 + kDirectoryBytes * (i + 1)) : 0, 4);
    }
    for (uint8_t b = 1; b <= 8; ++b) bytes.push_back(b);
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

WinHandle ChildOfClass(WinHandle parent, const std::string& className) {
    for (WinHandle child : Win_GetChildren(parent)) {
        if (Win_GetClassName(child) == className) return child;
        if (WinHandle found = ChildOfClass(child, className)) return found;
    }
    return 0;
}

// Screenshots stay in the build tree for a look after the run.
std::string Artifact(const std::string& name) {
    std::string dir = QEL_STAGE_DIR "/tests/artifacts/image-plugin";
    fs::create_directories(dir);
    return dir + "/" + name;
}

int PdfPages(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::string pdf((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::regex page("/Type\\s*/Page[^s]");
    return static_cast<int>(
        std::distance(std::sregex_iterator(pdf.begin(), pdf.end(), page), std::sregex_iterator()));
}

class PluginTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        library_ = dlopen(QEL_STAGE_DIR "/lib/libnpkzyp32.so", RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(library_, nullptr) << dlerror();
        getEntryPoints_ = reinterpret_cast<NP_GetEntryPointsFunc>(dlsym(library_, "NP_GetEntryPoints"));
        initialize_ = reinterpret_cast<NP_InitializeFunc>(dlsym(library_, "NP_Initialize"));
        shutdown_ = reinterpret_cast<NP_ShutdownFunc>(dlsym(library_, "NP_Shutdown"));
    }

    void SetUp() override {
        ASSERT_NE(getEntryPoints_, nullptr);
        ASSERT_TRUE(Win_Initialize(WinBackend::Headless));
        work_ = (fs::path(registry_.path()) / "work").string();
        fs::create_directories(work_);
        Win_SetPdfDirectory(work_);
        WinClass browserClass;
        browserClass.name = "QelTestBrowser";
        browserClass.procedure = BrowserProc;
        ASSERT_TRUE(Win_RegisterClass(browserClass));
        WinHooks hooks;
        hooks.messageBox = [this](const std::string& text, const std::string&, uint32_t, int* answer) {
            boxes_.push_back(text);
            *answer = IDOK;
            return true;
        };
        hooks.dialog = [this](WinHandle dialog, const std::string& name) {
            if (!dialogScript_) return false;
            dialogScript_(dialog, name);
            return true;
        };
        hooks.printDialog = [this](WinPrintDialog* dialog, bool* ok) {
            printFlags_ = dialog->flags;
            dialog->printer = "PDF";
            if (printRange_.first > 0) {
                dialog->flags |= PD_PAGENUMS;
                dialog->fromPage = printRange_.first;
                dialog->toPage = printRange_.second;
            }
            *ok = true;
            return true;
        };
        Win_SetHooks(hooks);
        liveBlocks = 0;
    }

    void TearDown() override {
        if (npp_.pdata) plugin_.destroy(&npp_, nullptr);
        if (started_) shutdown_();
        Win_SetHooks({});
        Win_Terminate();
        EXPECT_EQ(liveBlocks, 0);
    }

    void Start(int minor = 9) {
        browser_ = BrowserTable(minor);
        plugin_ = {};
        plugin_.size = sizeof plugin_;
        ASSERT_EQ(getEntryPoints_(&plugin_), NPERR_NO_ERROR);
        ASSERT_EQ(initialize_(&browser_), NPERR_NO_ERROR);
        started_ = true;
    }
    void Stop() {
        if (npp_.pdata) plugin_.destroy(&npp_, nullptr);
        shutdown_();
        started_ = false;
    }

    // An instance in an 816 x 629 browser window: the view is 800 x 600 at zoom 100.
    void Embed() {
        Start();
        window_ = Win_CreateWindow("QelTestBrowser", "browser", WS_VISIBLE, 0, 0, 816, 629, 0, 0, nullptr);
        ASSERT_NE(window_, 0u);
        char mime[] = "image/tiff";
        ASSERT_EQ(plugin_.newp(mime, &npp_, NP_EMBED, 0, nullptr, nullptr, nullptr), NPERR_NO_ERROR);
        NPWindow npWindow{};
        npWindow.window = reinterpret_cast<void*>(static_cast<uintptr_t>(window_));
        npWindow.width = 816;
        npWindow.height = 629;
        ASSERT_EQ(plugin_.setwindow(&npp_, &npWindow), NPERR_NO_ERROR);
        outer_ = ChildOfClass(window_, "ZypOuterWndClass");
        view_ = ChildOfClass(window_, "ZypViewWndClass");
        ASSERT_NE(view_, 0u);
        toolbar_ = Win_GetParent(Win_GetDlgItem(Win_GetChildren(outer_).front(), 32071));
    }

    std::string Deliver(const std::string& name, const std::vector<std::pair<int, int>>& pages) {
        std::string path = work_ + "/" + name;
        WriteTiff(path, pages);
        Open(path);
        Win_PumpMessages();
        return path;
    }
    // Hands the file over as the browser does; nothing is painted yet.
    void Open(const std::string& path) {
        NPStream stream{};
        uint16_t type = 0;
        EXPECT_EQ(plugin_.newstream(&npp_, nullptr, &stream, 0, &type), NPERR_NO_ERROR);
        EXPECT_EQ(type, NP_ASFILEONLY);
        plugin_.asfile(&npp_, &stream, path.c_str());
        EXPECT_EQ(plugin_.destroystream(&npp_, &stream, NPRES_DONE), NPERR_NO_ERROR);
    }

    void Command(uint32_t id) {
        Win_SendMessage(outer_, WM_COMMAND, id, 0);
        Win_PumpMessages();
    }
    bool ButtonEnabled(uint32_t id) { return Win_IsWindowEnabled(Win_GetDlgItem(toolbar_, id)); }
    int VerticalPosition() { return Win_GetScrollPos(view_, SB_VERT); }
    // Client point of the view in the browser window.
    void Mouse(uint32_t message, int x, int y, uint32_t keys = MK_LBUTTON) {
        // Presses far apart in time: a second one on the same spot is no double click.
        if (message == WM_LBUTTONDOWN) Win_AdvanceTime(2000);
        WinRect bar;
        Win_GetWindowRect(toolbar_, &bar);
        Win_InputMouse(window_, message, x, y + bar.Height(), keys);
        Win_PumpMessages();
    }

    static inline void* library_ = nullptr;
    static inline NP_GetEntryPointsFunc getEntryPoints_ = nullptr;
    static inline NP_InitializeFunc initialize_ = nullptr;
    static inline NP_ShutdownFunc shutdown_ = nullptr;

    RegistryDir registry_;
    std::string work_;
    NPNetscapeFuncs browser_{};
    NPPluginFuncs plugin_{};
    NPP_t npp_{};
    bool started_ = false;
    WinHandle window_ = 0, outer_ = 0, toolbar_ = 0, view_ = 0;
    std::vector<std::string> boxes_;
    std::function<void(WinHandle, const std::string&)> dialogScript_;
    uint32_t printFlags_ = 0;
    std::pair<int, int> printRange_{0, 0};
};

TEST_F(PluginTest, EntryPointsAndVersions) {
    EXPECT_EQ(getEntryPoints_(nullptr), NPERR_INVALID_FUNCTABLE_ERROR);
    EXPECT_EQ(initialize_(nullptr), NPERR_INVALID_FUNCTABLE_ERROR);
    NPNetscapeFuncs tooNew = BrowserTable((1 << 8) | 0);
    EXPECT_EQ(initialize_(&tooNew), NPERR_INCOMPATIBLE_VERSION_ERROR);

    for (int minor : {8, 9}) {
        Start(minor);
        EXPECT_EQ(plugin_.version, 9);
        EXPECT_NE(plugin_.newp, nullptr);
        EXPECT_NE(plugin_.print, nullptr);
        EXPECT_EQ(plugin_.event, nullptr);
        EXPECT_EQ(plugin_.urlnotify != nullptr, minor > 8) << minor;
        Stop();
    }
}

TEST_F(PluginTest, MissingLanguageLibraryRefusesToStart) {
    ASSERT_EQ(ArcReg_SetString(ARCREG_HKLM, "Software\\Kvr\\Tidewell Image Plugin\\Install", "InstallPath",
                               work_.c_str()),
              ARCREG_OK);
    browser_ = BrowserTable(9);
    getEntryPoints_(&plugin_);
    EXPECT_EQ(initialize_(&browser_), NPERR_GENERIC_ERROR);
    ASSERT_EQ(boxes_.size(), 1u);
    EXPECT_EQ(boxes_[0], "Could not load language DLL " + work_ + "/libzaruveva.so");
    // Nothing stays registered: a second start finds the classes free.
    ArcReg_DeleteValue(ARCREG_HKLM, "Software\\Kvr\\Tidewell Image Plugin\\Install", "InstallPath");
    Start();
}

TEST_F(PluginTest, InstanceWindowsPagesAndDestruction) {
    Embed();
    EXPECT_EQ(liveBlocks, 1);
    EXPECT_NE(Win_GetProp(window_, "instance->pdata"), 0);
    EXPECT_NE(Win_GetWindowProc(window_), BrowserProc);
    std::string file = Deliver("three.tif", {{850, 1100}, {850, 1100}, {1100, 600}});

    EXPECT_TRUE(Win_IsScrollBarShown(view_, SB_VERT));
    EXPECT_FALSE(Win_IsScrollBarShown(view_, SB_HORZ));
    EXPECT_EQ(VerticalPosition(), 0);
    EXPECT_FALSE(ButtonEnabled(32074));
    EXPECT_FALSE(ButtonEnabled(32075));
    EXPECT_TRUE(ButtonEnabled(32077));
    EXPECT_FALSE(ButtonEnabled(32079));

    // The page's black quarter shows at the top left, white elsewhere.
    ASSERT_TRUE(Win_Screenshot(window_, Artifact("first-page.png")));
    WinBitmap* screen = Win_CaptureWindow(window_);
    ASSERT_NE(screen, nullptr);
    EXPECT_EQ(Win_BitmapPixel(screen, 100, 100), 0x000000u);
    EXPECT_EQ(Win_BitmapPixel(screen, 600, 400), 0xFFFFFFu);
    Win_DeleteBitmap(screen);

    Command(32077);
    EXPECT_EQ(VerticalPosition(), 3333);
    EXPECT_TRUE(ButtonEnabled(32074));
    Command(32076);
    EXPECT_FALSE(ButtonEnabled(32077));
    EXPECT_EQ(VerticalPosition(), 10000);  // a landscape page fits: its top is its bottom
    Win_SendMessage(view_, WM_KEYDOWN, VK_DOWN, 0);
    EXPECT_EQ(VerticalPosition(), 10000);
    Win_SendMessage(view_, WM_KEYDOWN, VK_UP, 0);  // back to the bottom of page 2
    EXPECT_EQ(VerticalPosition(), 6666);
    Command(32074);
    EXPECT_EQ(VerticalPosition(), 0);

    plugin_.destroy(&npp_, nullptr);
    EXPECT_FALSE(fs::exists(file));
    EXPECT_EQ(Win_GetWindowProc(window_), BrowserProc);
    EXPECT_EQ(Win_GetProp(window_, "instance->pdata"), 0);
    EXPECT_TRUE(Win_GetChildren(window_).empty());
    EXPECT_EQ(liveBlocks, 0);
}

TEST_F(PluginTest, FollowsResizesAndMovesToAnotherWindow) {
    Embed();
    Deliver("one.tif", {{850, 1100}});
    Win_MoveWindow(window_, 0, 0, 616, 429, true);
    Win_PumpMessages();
    WinRect outer, view;
    Win_GetWindowRect(outer_, &outer);
    Win_GetWindowRect(view_, &view);
    EXPECT_EQ(outer.Width(), 616);
    EXPECT_EQ(outer.Height(), 429);
    EXPECT_EQ(view.Width(), 616);
    EXPECT_EQ(view.bottom, 429);

    WinHandle other = Win_CreateWindow("QelTestBrowser", "other", WS_VISIBLE, 0, 0, 500, 400, 0, 0, nullptr);
    NPWindow npWindow{};
    npWindow.window = reinterpret_cast<void*>(static_cast<uintptr_t>(other));
    ASSERT_EQ(plugin_.setwindow(&npp_, &npWindow), NPERR_NO_ERROR);
    // The old window is left as it was before the plug-in came.
    EXPECT_TRUE(Win_GetChildren(window_).empty());
    EXPECT_EQ(Win_GetWindowProc(window_), BrowserProc);
    EXPECT_EQ(Win_GetProp(window_, "instance->pdata"), 0);
    EXPECT_NE(ChildOfClass(other, "ZypViewWndClass"), 0u);
    // A null window lets go of the new one too.
    npWindow.window = nullptr;
    ASSERT_EQ(plugin_.setwindow(&npp_, &npWindow), NPERR_NO_ERROR);
    EXPECT_TRUE(Win_GetChildren(other).empty());
    EXPECT_EQ(Win_GetWindowProc(other), BrowserProc);
}

TEST_F(PluginTest, NewFileReplacesTheOld) {
    Embed();
    std::string first = Deliver("first.tif", {{850, 1100}});
    std::string second = Deliver("second.tif", {{850, 1100}, {850, 1100}});
    EXPECT_FALSE(fs::exists(first));
    EXPECT_TRUE(fs::exists(second));
    EXPECT_TRUE(ButtonEnabled(32077));
    Command(32076);
    EXPECT_EQ(VerticalPosition(), 5000);
}

TEST_F(PluginTest, DeliveryFailuresAreShown) {
    Embed();
    plugin_.asfile(&npp_, nullptr, nullptr);
    std::string junk = work_ + "/junk.tif";
    std::ofstream(junk) << "this is no image";
    plugin_.asfile(&npp_, nullptr, junk.c_str());
    ASSERT_EQ(boxes_.size(), 2u);
    EXPECT_EQ(boxes_[0], "The image could not be received: the browser delivered no file.");
    EXPECT_EQ(boxes_[1].rfind("ZypmAddFile Tidewell Image Viewer -11", 0), 0u) << boxes_[1];
    // The instance stays without an image; paging does nothing.
    Command(32077);
    EXPECT_FALSE(ButtonEnabled(32077));
}

TEST_F(PluginTest, SelectionCopyAndDoubleClickZoom) {
    Embed();
    Deliver("one.tif", {{850, 1100}});
    Mouse(WM_LBUTTONDOWN, 100, 50);
    Mouse(WM_MOUSEMOVE, 102, 200);
    Mouse(WM_LBUTTONUP, 102, 200);  // 2 pixels wide: not kept
    EXPECT_FALSE(ButtonEnabled(32079));

    Mouse(WM_LBUTTONDOWN, 100, 50);
    Mouse(WM_MOUSEMOVE, 200, 100);
    Mouse(WM_MOUSEMOVE, 300, 150);
    Mouse(WM_LBUTTONUP, 300, 150);
    EXPECT_TRUE(ButtonEnabled(32079));
    Command(32079);
    WinBitmap* copied = Win_ClipboardBitmap();
    ASSERT_NE(copied, nullptr);
    EXPECT_EQ(Win_BitmapWidth(copied), 200);
    EXPECT_EQ(Win_BitmapHeight(copied), 100);
    EXPECT_EQ(Win_BitmapPixel(copied, 10, 10), 0x000000u);  // inside the black quarter
    Win_DeleteBitmap(copied);

    Win_Screenshot(window_, Artifact("selection.png"));
    Mouse(WM_LBUTTONDBLCLK, 150, 100);  // zoom 100 x 800 / 200
    Win_Screenshot(window_, Artifact("selection-zoomed.png"));
    EXPECT_TRUE(Win_IsScrollBarShown(view_, SB_HORZ));
    EXPECT_FALSE(ButtonEnabled(32079));
    EXPECT_EQ(Win_GetScrollPos(view_, SB_HORZ), 100 * 400 / 2400 * 100);
}

// A horizontal scroll step moves the view's pixels and paints only the strip it
// uncovered; what shows is what a full repaint at the new offset shows.
TEST_F(PluginTest, HorizontalScrollPaintsOnlyTheUncoveredStrip) {
    Embed();
    Deliver("one.tif", {{850, 1100}});
    // Zoom 800 into 350..450: the edge of the black quarter lies inside the view.
    Mouse(WM_LBUTTONDOWN, 350, 50);
    Mouse(WM_MOUSEMOVE, 450, 150);
    Mouse(WM_LBUTTONUP, 450, 150);
    Mouse(WM_LBUTTONDBLCLK, 400, 100);
    ASSERT_TRUE(Win_IsScrollBarShown(view_, SB_HORZ));
    WinRect client;
    ASSERT_TRUE(Win_GetClientRect(view_, &client));
    ASSERT_EQ(client.right, 800);
    const int line = client.right / 10, page = client.right / 2;

    auto differing = [this]() {
        WinBitmap* scrolled = Win_CaptureWindow(window_);
        Win_InvalidateRect(view_, nullptr, true);
        Win_PumpMessages();
        WinBitmap* repainted = Win_CaptureWindow(window_);
        long count = 0;
        for (int y = 0; y < Win_BitmapHeight(scrolled); ++y) {
            for (int x = 0; x < Win_BitmapWidth(scrolled); ++x)
                count += Win_BitmapPixel(scrolled, x, y) != Win_BitmapPixel(repainted, x, y);
        }
        Win_DeleteBitmap(scrolled);
        Win_DeleteBitmap(repainted);
        return count;
    };
    struct Step {
        int request;
        WinRect strip;
    };
    const Step steps[] = {
        {SB_LINERIGHT, {client.right - line, 0, client.right, client.bottom}},
        {SB_LINELEFT, {0, 0, line, client.bottom}},
        {SB_PAGERIGHT, {client.right - page, 0, client.right, client.bottom}},
        {SB_PAGELEFT, {0, 0, page, client.bottom}},
    };
    for (const Step& step : steps) {
        Win_SendMessage(view_, WM_HSCROLL, static_cast<uintptr_t>(step.request), 0);
        WinRect update;
        ASSERT_TRUE(Win_GetUpdateRect(view_, &update)) << step.request;
        EXPECT_EQ(update.left, step.strip.left) << step.request;
        EXPECT_EQ(update.right, step.strip.right) << step.request;
        EXPECT_EQ(update.top, 0);
        EXPECT_EQ(update.bottom, client.bottom);
        Win_PumpMessages();
        EXPECT_EQ(differing(), 0) << "scroll request " << step.request;
    }
    // The black quarter's edge is in the view: a scroll in the wrong direction shows.
    WinBitmap* shot = Win_CaptureWindow(window_);
    ASSERT_NE(shot, nullptr);
    std::set<uint32_t> colours;
    for (int x = 0; x < 800; x += 8) colours.insert(Win_BitmapPixel(shot, x, 200));
    Win_DeleteBitmap(shot);
    EXPECT_GT(colours.size(), 1u);

    // With a selection the whole view is painted: the selection stays where it is.
    Mouse(WM_LBUTTONDOWN, 100, 100);
    Mouse(WM_MOUSEMOVE, 200, 200);
    Mouse(WM_LBUTTONUP, 200, 200);
    ASSERT_TRUE(ButtonEnabled(32079));
    Win_SendMessage(view_, WM_HSCROLL, SB_LINERIGHT, 0);
    WinRect update;
    ASSERT_TRUE(Win_GetUpdateRect(view_, &update));
    EXPECT_EQ(update.left, 0);
    EXPECT_EQ(update.right, client.right);
    Win_PumpMessages();
    EXPECT_EQ(differing(), 0);
}

TEST_F(PluginTest, PrintsChosenPagesToPdf) {
    Embed();
    // The PDF is named after the document's title, the browser window's caption, never
    // after the file the browser delivered.
    Win_SetWindowText(window_, "Scanned invoice 4711");
    Deliver("print.tif", {{850, 1100}, {850, 1100}, {850, 1100}});
    Command(32077);
    printRange_ = {2, 3};
    plugin_.print(&npp_, nullptr);
    EXPECT_EQ(printFlags_ & PD_NOPAGENUMS, 0u);
    EXPECT_EQ(PdfPages(work_ + "/Scanned_invoice_4711.pdf"), 2);
    EXPECT_EQ(VerticalPosition(), 3333);  // the page shown before printing

    Win_SetWindowText(window_, "");  // no title: the viewer's caption
    Deliver("single.tif", {{850, 1100}});
    printRange_ = {0, 0};
    plugin_.print(&npp_, nullptr);
    EXPECT_NE(printFlags_ & PD_NOPAGENUMS, 0u);
    EXPECT_FALSE(fs::exists(work_ + "/single.tif.pdf"));
    std::vector<std::string> pdfs;
    for (const auto& entry : fs::directory_iterator(work_))
        if (entry.path().extension() == ".pdf") pdfs.push_back(entry.path().filename().string());
    ASSERT_EQ(pdfs.size(), 2u);
    const std::string untitled = pdfs[0] == "Scanned_invoice_4711.pdf" ? pdfs[1] : pdfs[0];
    EXPECT_EQ(PdfPages(work_ + "/" + untitled), 1);
    fs::copy_file(work_ + "/Scanned_invoice_4711.pdf", Artifact("pages-2-3.pdf"),
                  fs::copy_options::overwrite_existing);
    EXPECT_TRUE(boxes_.empty()) << boxes_.front();
}

// Pages whose tags read well but whose image data cannot be decoded: each is reported
// once, with the library's code and reason, when it is first painted; printing and
// copying them fail with the same report instead of giving blank output.
TEST_F(PluginTest, PageThatCannotBeDecodedIsReported) {
    Embed();
    const struct {
        RawPage page;
        const char* report;
    } kPages[] = {
        {{8, 8, 1}, "ZypmRectPaint Tidewell Image Viewer -16\n"},          // strip cut short
        {{8, 8, 12345}, "ZypmRectPaint Tidewell Image Viewer -12\n"},      // unknown compression
        {{60000, 60000, 1}, "ZypmRectPaint Tidewell Image Viewer -13\n"},  // above the decode cap
    };
    std::vector<RawPage> pages;
    for (const auto& k : kPages) pages.push_back(k.page);
    const std::string path = work_ + "/damaged.tif";
    WriteRawTiff(path, pages);
    auto lastBoxStartsWith = [this](const std::string& prefix) {
        ASSERT_FALSE(boxes_.empty());
        const std::string& box = boxes_.back();
        EXPECT_EQ(box.rfind(prefix, 0), 0u) << box;
        EXPECT_GT(box.size(), prefix.size()) << "the library's reason follows: " << box;
    };

    // A pump ends with the paints: what a paint posts arrives with the next one.
    auto settle = [] {
        Win_PumpMessages();
        Win_PumpMessages();
    };

    Open(path);
    EXPECT_TRUE(boxes_.empty()) << "opening reads tags only: " << boxes_.front();
    EXPECT_TRUE(ButtonEnabled(32077));
    for (size_t i = 0; i < std::size(kPages); ++i) {
        SCOPED_TRACE(i);
        if (i > 0) {
            Command(32077);
        } else {
            Win_PumpMessages();
        }
        EXPECT_EQ(boxes_.size(), i) << "no message box inside the paint";
        Win_PumpMessages();
        ASSERT_EQ(boxes_.size(), i + 1);
        lastBoxStartsWith(kPages[i].report);
    }
    // Repaints, scrolling and coming back to a page say nothing more.
    Command(32074);
    settle();
    Win_InvalidateRect(view_, nullptr, true);
    settle();
    Win_SendMessage(view_, WM_KEYDOWN, VK_DOWN, 0);
    settle();
    Command(32077);
    settle();
    Command(32074);
    settle();
    EXPECT_EQ(boxes_.size(), std::size(kPages));

    // Printing stops at the first page that cannot be painted; no PDF is left.
    plugin_.print(&npp_, nullptr);
    ASSERT_EQ(boxes_.size(), std::size(kPages) + 1);
    lastBoxStartsWith(kPages[0].report);
    for (const auto& entry : fs::directory_iterator(work_)) EXPECT_NE(entry.path().extension(), ".pdf");

    // A copy from the page says why nothing was copied.
    Mouse(WM_LBUTTONDOWN, 100, 50);
    Mouse(WM_MOUSEMOVE, 300, 150);
    Mouse(WM_LBUTTONUP, 300, 150);
    ASSERT_TRUE(ButtonEnabled(32079));
    Command(32079);
    EXPECT_EQ(Win_ClipboardBitmap(), nullptr);
    ASSERT_EQ(boxes_.size(), std::size(kPages) + 2);
    lastBoxStartsWith(kPages[0].report);

    // The same file delivered again is a new document: its pages are reported anew.
    Open(path);
    settle();
    ASSERT_EQ(boxes_.size(), std::size(kPages) + 3);
    lastBoxStartsWith(kPages[0].report);
}

TEST_F(PluginTest, PresetSavedInTheDialogSurvivesARestart) {
    Embed();
    Deliver("one.tif", {{850, 1100}});
    dialogScript_ = [](WinHandle dialog, const std::string& name) {
        if (name == "ZYPZOOM") {
            Win_ClickButton(dialog, 205);  // 200 %
            Win_PumpMessages();
            Win_Screenshot(dialog, Artifact("zoom-dialog.png"));
            Win_ClickButton(dialog, IDOK);
        } else if (name == "ZYPSETTINGS") {
            Win_SetWindowText(Win_GetDlgItem(dialog, 308), "Closer, please");
            Win_ClickButton(dialog, 310);
            Win_SetWindowText(Win_GetDlgItem(dialog, 308), "Closer, please");
            Win_ClickButton(dialog, 312);
            Win_PumpMessages();
            Win_Screenshot(dialog, Artifact("presets-dialog.png"));
            Win_ClickButton(dialog, IDOK);
        }
    };
    Command(32071);
    Command(32092);
    Stop();

    std::string saved;
    ASSERT_EQ(
        ArcReg_ReadString(ARCREG_HKCU, "Software\\Kvr\\Tidewell Image Plugin", "Closer, please", &saved),
        ARCREG_OK);
    EXPECT_EQ(saved, "200,1,128,128,0");

    // After a restart the preset is the first, so a new image opens at 200 %.
    Win_DestroyWindow(window_);
    npp_ = {};
    Embed();
    Deliver("again.tif", {{850, 1100}});
    EXPECT_TRUE(Win_IsScrollBarShown(view_, SB_HORZ));
    std::vector<std::string> listed;
    dialogScript_ = [&listed](WinHandle dialog, const std::string&) {
        WinHandle combo = Win_GetDlgItem(dialog, 308);
        for (int i = 0; i < Win_ListCount(combo); ++i) listed.push_back(Win_ListText(combo, i));
        Win_ClickButton(dialog, IDCANCEL);
    };
    Command(32092);
    EXPECT_EQ(listed, (std::vector<std::string>{"Closer, please", "reset"}));
}

TEST_F(PluginTest, ToolbarHintsGoToTheStatusLine) {
    Embed();
    WinRect zoom;
    Win_GetWindowRect(Win_GetDlgItem(toolbar_, 32071), &zoom);
    Win_InputMouse(window_, WM_MOUSEMOVE, zoom.left + 3, zoom.top + 3, 0);
    EXPECT_EQ(statusText, "Zoom: choose the magnification");
    Win_InputMouse(window_, WM_MOUSEMOVE, 400, 300, 0);
    EXPECT_EQ(statusText, "");
}

}  // namespace
