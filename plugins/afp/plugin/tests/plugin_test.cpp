// The plug-in library as the browser loads it, over the window layer, with a stand-in
// engine built in several ways: start-up and binding, control greying, printing of
// segmented documents, Stop during a print collection, copying text.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "qel_npapi.h"
#include "qel_win.h"

namespace {

namespace fs = std::filesystem;

constexpr const char* kPluginPath = QEL_STAGE_DIR "/lib/libnpkafp32.so";
constexpr const char* kResourcePath = QEL_STAGE_DIR "/lib/libnpkres32.so";

// ---- the browser's side ----

struct Browser {
    std::vector<std::string> requests;  // "GET url" / "POST url body"
    std::string status;
    NPNetscapeFuncs table{};
};
Browser* gBrowser = nullptr;

NPError GetUrl(NPP, const char* url, const char*) {
    gBrowser->requests.push_back(std::string("GET ") + url);
    return NPERR_NO_ERROR;
}
NPError GetUrlNotify(NPP, const char* url, const char*, void*) {
    gBrowser->requests.push_back(std::string("GET ") + url);
    return NPERR_NO_ERROR;
}
NPError PostUrl(NPP, const char* url, const char*, uint32_t len, const char* buf, uint8_t) {
    gBrowser->requests.push_back(std::string("POST ") + url + " " + std::string(buf, len));
    return NPERR_NO_ERROR;
}
NPError PostUrlNotify(NPP npp, const char* url, const char* w, uint32_t len, const char* buf, uint8_t f,
                      void*) {
    return PostUrl(npp, url, w, len, buf, f);
}
void Status(NPP, const char* text) { gBrowser->status = text; }
void* Alloc(uint32_t size) { return std::malloc(size); }
void Free(void* block) { std::free(block); }

intptr_t BrowserWindowProc(WinHandle w, uint32_t m, uintptr_t wp, intptr_t lp) {
    return Win_DefWindowProc(w, m, wp, lp);
}

// ---- big-endian container pieces ----

void U32(std::string& out, uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8) out += static_cast<char>((v >> shift) & 0xFF);
}

std::string Lead(int32_t segment) {
    std::string out = "VOD#";
    U32(out, 2000);
    U32(out, static_cast<uint32_t>(segment));
    return out;
}

// A full container of an AFP document in segments: the information names the segment URL.
std::string SegmentedContainer(uint32_t total, uint32_t segments, uint32_t perSegment, const std::string& url,
                               const std::string& document, char orientation = '0', uint32_t zoom = 100) {
    std::string info;
    U32(info, total);
    info += '\0';
    U32(info, 0);
    U32(info, segments);
    U32(info, perSegment);
    U32(info, total - perSegment * (segments - 1));
    U32(info, static_cast<uint32_t>(url.size() + 1));
    U32(info, 1);
    info += url + '\0' + '\0';
    std::string out = Lead(0);
    out += "NNN";
    U32(out, static_cast<uint32_t>(info.size()));
    U32(out, 0);
    out += 'A';
    out += orientation;
    U32(out, zoom);
    U32(out, 0);
    U32(out, 0);
    out += "MBW";
    return out + info + document;
}

const std::string kAfpPage = std::string("\x5A\x00\x10\xD3\xA8\xAF", 6) + std::string(11, '\0');

struct FakeEngine {
    void* handle = nullptr;
    // The plug-in's dlopen of the same file then finds this instance.
    void Attach(const fs::path& path) {
        handle = fs::exists(path) ? dlopen(path.c_str(), RTLD_NOW) : nullptr;
    }
    template <typename F>
    F Get(const char* name) const {
        return handle ? reinterpret_cast<F>(dlsym(handle, name)) : nullptr;
    }
    void Set(const char* name, int32_t value) const {
        Get<void (*)(const char*, int32_t)>("FakeEngine_SetResult")(name, value);
    }
    void SetText(const char* text) const { Get<void (*)(const char*)>("FakeEngine_SetText")(text); }
    std::vector<std::string> Calls() const {
        return *Get<const std::vector<std::string>* (*)()>("FakeEngine_Calls")();
    }
    std::vector<std::string> CallsOf(const std::string& name) const {
        std::vector<std::string> found;
        for (const std::string& call : Calls()) {
            if (call.rfind(name + "(", 0) == 0) found.push_back(call);
        }
        return found;
    }
};

class PluginTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { ASSERT_TRUE(Win_Initialize(WinBackend::Headless)); }
    static void TearDownTestSuite() { Win_Terminate(); }

    void SetUp() override {
        static const fs::path base = fs::temp_directory_path();  // before TMPDIR points into a test
        root_ = base / ("afp-plugin-" + std::to_string(::getpid()) + "-" +
                        ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(root_);
        fs::create_directories(root_ / "install");
        fs::create_directories(root_ / "reg");
        fs::create_directories(root_ / "tmp");
        std::ofstream(root_ / "reg" / "HKLM.ini")
            << "[Software\\Kvr\\Tidewell AFP Plugin\\Install]\nInstallPath=" << (root_ / "install").string()
            << "\n";
        ::setenv("QEL_REGISTRY_DIR", (root_ / "reg").c_str(), 1);
        ::setenv("XDG_CONFIG_HOME", (root_ / "config").c_str(), 1);
        ::setenv("TMPDIR", (root_ / "tmp").c_str(), 1);
        browser_.table.size = sizeof(NPNetscapeFuncs);
        browser_.table.version = 9;
        browser_.table.geturl = GetUrl;
        browser_.table.geturlnotify = GetUrlNotify;
        browser_.table.posturl = PostUrl;
        browser_.table.posturlnotify = PostUrlNotify;
        browser_.table.status = Status;
        browser_.table.memalloc = Alloc;
        browser_.table.memfree = Free;
        gBrowser = &browser_;
        boxes_.clear();
        dialogs_.clear();
        answerDialog_ = nullptr;
        npp_ = NPP_t{};
        funcs_ = NPPluginFuncs{};
        initialized_ = false;
        window_ = view_ = toolbar_ = 0;
        hooks_ = WinHooks{};
        hooks_.messageBox = [this](const std::string& text, const std::string& caption, uint32_t,
                                   int* answer) {
            boxes_.push_back(caption + "|" + text);
            *answer = IDOK;
            return true;
        };
        hooks_.dialog = [this](WinHandle dialog, const std::string& name) {
            dialogs_.push_back(name);
            if (answerDialog_) return answerDialog_(dialog, name);
            Win_EndDialog(dialog, name == "ConfirmSeg" ? IDOK : IDCANCEL);
            return true;
        };
        Win_SetHooks(hooks_);
    }

    void TearDown() override {
        if (npp_.pdata != nullptr) funcs_.destroy(&npp_, nullptr);
        if (initialized_) shutdown_();
        if (window_ != 0) Win_DestroyWindow(window_);
        Win_SetHooks(WinHooks{});
        if (plugin_ != nullptr) dlclose(plugin_);
        plugin_ = nullptr;
        if (engine_.handle != nullptr) dlclose(engine_.handle);
        engine_.handle = nullptr;
        gBrowser = nullptr;
        fs::remove_all(root_);
    }

    // The install directory's libraries: the stand-ins by variant, "" for none.
    void Install(bool resources, const std::string& services, const std::string& engine) {
        if (resources) fs::create_symlink(kResourcePath, root_ / "install" / "libnpkres32.so");
        if (!services.empty())
            fs::create_symlink(fs::path(AFP_FAKES_DIR) / services, root_ / "install" / "libknvwser.so");
        if (!engine.empty())
            fs::create_symlink(fs::path(AFP_FAKES_DIR) / engine, root_ / "install" / "libknvwvsin.so");
    }

    NPError Initialize() {
        plugin_ = dlopen(kPluginPath, RTLD_NOW | RTLD_LOCAL);
        EXPECT_NE(plugin_, nullptr) << dlerror();
        auto entry = reinterpret_cast<NP_GetEntryPointsFunc>(dlsym(plugin_, "NP_GetEntryPoints"));
        auto init = reinterpret_cast<NP_InitializeFunc>(dlsym(plugin_, "NP_Initialize"));
        shutdown_ = reinterpret_cast<NP_ShutdownFunc>(dlsym(plugin_, "NP_Shutdown"));
        funcs_.size = sizeof funcs_;
        EXPECT_EQ(entry(&funcs_), NPERR_NO_ERROR);
        initialized_ = true;
        // The stand-in may still be loaded from an earlier test (the same file): start it afresh.
        engine_.Attach(root_ / "install" / "libknvwvsin.so");
        if (auto reset = engine_.Get<void (*)()>("FakeEngine_Reset")) reset();
        const NPError result = init(&browser_.table);
        return result;
    }

    // A ready plug-in with one instance in a browser window (800 x 600 unless given); with
    // fakes false nothing is installed and the registry names no directory.
    void OpenInstance(bool fakes = true, int width = 800, int height = 600) {
        if (fakes) {
            Install(true, "libfake_knvwser.so", "libfake_knvwvsin.so");
        } else {
            std::ofstream(root_ / "reg" / "HKLM.ini", std::ios::trunc) << "";
        }
        ASSERT_EQ(Initialize(), NPERR_NO_ERROR);
        WinClass browserClass;
        browserClass.name = "TestBrowserWindow";
        browserClass.procedure = BrowserWindowProc;
        Win_RegisterClass(browserClass);
        window_ =
            Win_CreateWindow("TestBrowserWindow", "browser", WS_VISIBLE, 0, 0, width, height, 0, 0, nullptr);
        ASSERT_NE(window_, 0u);
        char type[] = "application/afp";
        ASSERT_EQ(funcs_.newp(type, &npp_, NP_EMBED, 0, nullptr, nullptr, nullptr), NPERR_NO_ERROR);
        NPWindow npWindow{};
        npWindow.window = reinterpret_cast<void*>(static_cast<uintptr_t>(window_));
        npWindow.width = static_cast<uint32_t>(width);
        npWindow.height = static_cast<uint32_t>(height);
        ASSERT_EQ(funcs_.setwindow(&npp_, &npWindow), NPERR_NO_ERROR);
        for (WinHandle outer : Win_GetChildren(window_)) {
            for (WinHandle child : Win_GetChildren(outer)) {
                if (Win_GetClassName(child) == "WOXViewWndClass")
                    view_ = child;
                else
                    toolbar_ = child;
            }
        }
        ASSERT_NE(view_, 0u);
        ASSERT_NE(toolbar_, 0u);
    }

    // Hands a file with these bytes over as the browser does, then lets it paint.
    void Deliver(const std::string& bytes, const std::string& name = "reply.afp") {
        const fs::path file = root_ / name;
        std::ofstream(file, std::ios::binary) << bytes;
        NPStream stream{};
        uint16_t stype = NP_NORMAL;
        ASSERT_EQ(funcs_.newstream(&npp_, nullptr, &stream, 0, &stype), NPERR_NO_ERROR);
        ASSERT_EQ(stype, NP_ASFILE);
        funcs_.asfile(&npp_, &stream, file.c_str());
        Win_PumpMessages();
    }

    void Command(uint32_t id) {
        Win_SendMessage(view_, WM_COMMAND, id, 0);
        Win_PumpMessages();
    }

    bool Shown(uint32_t id) { return Win_IsWindowVisible(Win_GetDlgItem(toolbar_, id)); }

    std::vector<fs::path> InstanceFiles(const std::string& extension) {
        std::vector<fs::path> found;
        for (const auto& entry : fs::recursive_directory_iterator(root_ / "tmp")) {
            if (entry.path().extension() == extension) found.push_back(entry.path());
        }
        return found;
    }

    fs::path root_;
    Browser browser_;
    WinHooks hooks_;
    std::vector<std::string> boxes_, dialogs_;
    std::function<bool(WinHandle, const std::string&)> answerDialog_;
    void* plugin_ = nullptr;
    NP_ShutdownFunc shutdown_ = nullptr;
    bool initialized_ = false;
    NPPluginFuncs funcs_{};
    NPP_t npp_{};
    WinHandle window_ = 0, view_ = 0, toolbar_ = 0;
    FakeEngine engine_;
};

std::string ResourceString(uint32_t id) {
    WinModule* module = Win_LoadModule(kResourcePath);
    std::string text = Win_LoadStringText(module, id);
    Win_FreeModule(module);
    return text;
}

TEST_F(PluginTest, StartUpBindsAllOrNothing) {
    struct Case {
        const char* name;
        bool resources;
        const char* services;
        const char* engine;
        NPError result;
        std::vector<std::string> boxes;  // caption|text
    };
    const std::string caption = ResourceString(1000);
    const Case cases[] = {
        {"everything there", true, "libfake_knvwser.so", "libfake_knvwvsin.so", NPERR_NO_ERROR, {}},
        {"no resource library",
         false,
         "libfake_knvwser.so",
         "libfake_knvwvsin.so",
         NPERR_NO_ERROR,
         {"|libnpkres32.so"}},
        {"no services library",
         true,
         "",
         "libfake_knvwvsin.so",
         NPERR_GENERIC_ERROR,
         {caption + "|" + ResourceString(1002) + "libknvwser.so"}},
        {"no engine library",
         true,
         "libfake_knvwser.so",
         "",
         NPERR_GENERIC_ERROR,
         {caption + "|" + ResourceString(1002) + "libknvwvsin.so"}},
        {"a name missing",
         true,
         "libfake_knvwser.so",
         "libfake_knvwvsin_missing.so",
         NPERR_GENERIC_ERROR,
         {caption + "|" + ResourceString(1003) + "libknvwvsin.so"}},
        // Without texts the failure cannot be told: only the resource library's own box.
        {"a name missing, no resources",
         false,
         "libfake_knvwser.so",
         "libfake_knvwvsin_missing.so",
         NPERR_GENERIC_ERROR,
         {"|libnpkres32.so"}},
        {"no view server",
         true,
         "libfake_knvwser.so",
         "libfake_knvwvsin_noserver.so",
         NPERR_GENERIC_ERROR,
         {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TearDown();
        SetUp();
        Install(c.resources, c.services, c.engine);
        EXPECT_EQ(Initialize(), c.result);
        EXPECT_EQ(boxes_, c.boxes);
    }
}

// A field of the document: 0x5A, length, type, flags, sequence, data.
std::string Field(uint32_t type, const std::string& data = std::string(8, '\x40')) {
    const size_t length = 8 + data.size();
    std::string out = {'\x5A', static_cast<char>(length >> 8), static_cast<char>(length & 0xFF)};
    out += static_cast<char>(type >> 16);
    out += static_cast<char>((type >> 8) & 0xFF);
    out += static_cast<char>(type & 0xFF);
    return out + std::string(3, '\0') + data;
}

TEST_F(PluginTest, RealEngineFromTheInstallTreesLib) {
    // No registry value and no paths profile: the plug-in's own directory, where the build
    // puts the engine's two libraries beside it. Binding is all or nothing, so an instance
    // means all 109 names were found.
    std::vector<std::string> events;
    Win_SetEventSink([&events](const std::string& line) { events.push_back(line); });
    // Larger than a letter page at 96 pixels an inch: the engine hides the scroll bars.
    OpenInstance(false, 1000, 1200);
    ASSERT_TRUE(boxes_.empty()) << boxes_[0];
    const std::string page = Field(0xD3A8AF) + Field(0xD3A9AF);
    Deliver(Field(0xD3A8A8) + page + page + page + Field(0xD3A9A8));
    Win_SetEventSink(nullptr);
    // The real engine read the document: three pages, the first shown.
    EXPECT_EQ(browser_.status, ResourceString(1004) + "1" + ResourceString(1005) + "3");
    const auto started = std::find_if(events.begin(), events.end(), [](const std::string& line) {
        return line.find("\"source\":\"engine\"") != std::string::npos &&
               line.find("\"name\":\"VSDocStart\"") != std::string::npos;
    });
    ASSERT_NE(started, events.end());
    EXPECT_EQ(started->find("\"result\":0}"), std::string::npos) << *started;
    // The window shows the page on the desk: the scroll bars that went during the paint
    // did not leave the view erased.
    WinBitmap* shot = Win_CaptureWindow(window_);
    ASSERT_NE(shot, nullptr);
    const uint32_t desk = Win_BitmapPixel(shot, 900, 600), paper = Win_BitmapPixel(shot, 400, 600);
    Win_DeleteBitmap(shot);
    EXPECT_NE(desk, 0xFFFFFFu);
    EXPECT_EQ(paper, 0xFFFFFFu);
    Command(32087);  // last page
    EXPECT_EQ(browser_.status, ResourceString(1004) + "3" + ResourceString(1005) + "3");
}

TEST_F(PluginTest, EntryPointsAndBrowserVersions) {
    Install(true, "libfake_knvwser.so", "libfake_knvwvsin.so");
    plugin_ = dlopen(kPluginPath, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(plugin_, nullptr);
    auto entry = reinterpret_cast<NP_GetEntryPointsFunc>(dlsym(plugin_, "NP_GetEntryPoints"));
    auto init = reinterpret_cast<NP_InitializeFunc>(dlsym(plugin_, "NP_Initialize"));
    shutdown_ = reinterpret_cast<NP_ShutdownFunc>(dlsym(plugin_, "NP_Shutdown"));
    EXPECT_EQ(entry(nullptr), NPERR_INVALID_FUNCTABLE_ERROR);
    EXPECT_EQ(init(nullptr), NPERR_INVALID_FUNCTABLE_ERROR);
    ASSERT_EQ(entry(&funcs_), NPERR_NO_ERROR);
    EXPECT_EQ(funcs_.version, 9);
    EXPECT_EQ(funcs_.event, nullptr);
    browser_.table.version = 0x0100;
    EXPECT_EQ(init(&browser_.table), NPERR_INCOMPATIBLE_VERSION_ERROR);
    browser_.table.version = 8;
    EXPECT_EQ(init(&browser_.table), NPERR_NO_ERROR);
    initialized_ = true;
    EXPECT_EQ(funcs_.urlnotify, nullptr);  // a 0.8 browser gets no URL-notify operation
    shutdown_();
    browser_.table.version = 9;
    EXPECT_EQ(init(&browser_.table), NPERR_NO_ERROR);
    EXPECT_NE(funcs_.urlnotify, nullptr);
    EXPECT_EQ(funcs_.newp(nullptr, nullptr, NP_EMBED, 0, nullptr, nullptr, nullptr),
              NPERR_INVALID_INSTANCE_ERROR);
    EXPECT_EQ(funcs_.destroy(nullptr, nullptr), NPERR_INVALID_INSTANCE_ERROR);
    // An instance that never got a window is freed without touching one.
    char type[] = "application/afp";
    ASSERT_EQ(funcs_.newp(type, &npp_, NP_EMBED, 0, nullptr, nullptr, nullptr), NPERR_NO_ERROR);
    EXPECT_EQ(funcs_.destroy(&npp_, nullptr), NPERR_NO_ERROR);
    EXPECT_EQ(npp_.pdata, nullptr);
    EXPECT_TRUE(fs::is_empty(root_ / "tmp"));  // its directory went with it
}

TEST_F(PluginTest, PlainDocumentOpensWithPreferencesAndTheAboutBoxOnce) {
    OpenInstance();
    Deliver(kAfpPage);
    const std::vector<std::string> starts = engine_.CallsOf("VSDocStart");
    ASSERT_EQ(starts.size(), 1u);
    EXPECT_NE(starts[0].find(".VOD\""), std::string::npos);
    EXPECT_EQ(engine_.CallsOf("VSSetTextFidelity"), (std::vector<std::string>{"VSSetTextFidelity(5,4)"}));
    EXPECT_TRUE(engine_.CallsOf("VSSetNSPIInfo").empty());  // no document information
    EXPECT_EQ(dialogs_, (std::vector<std::string>{"PIDABOUT"}));
    std::ifstream profile(root_ / "config" / "qelview" / "VADEVIV2.INI");
    const std::string text((std::istreambuf_iterator<char>(profile)), {});
    EXPECT_NE(text.find("LOGO=TRUE"), std::string::npos);
    // Kept for a look at the toolbar: greyed twins for a one-page document.
    EXPECT_TRUE(Win_Screenshot(window_, QEL_STAGE_DIR "/tests/afp-plugin-window.png"));
    Deliver(kAfpPage, "second.afp");
    EXPECT_EQ(dialogs_.size(), 1u);  // not shown again
    EXPECT_EQ(engine_.CallsOf("VSDocEnd").size(), 1u);
}

TEST_F(PluginTest, ControlGreyingTable) {
    OpenInstance();
    struct Case {
        int current, total;
        bool back, forward;
    };
    const Case cases[] = {{1, 1, false, false}, {1, 5, false, true}, {5, 5, true, false}, {3, 5, true, true}};
    Deliver(kAfpPage);
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.current) + "/" + std::to_string(c.total));
        engine_.Set("VSGetCurrentPage", c.current);
        engine_.Set("VSGetNumPages", c.total);
        Win_InvalidateRect(view_, nullptr, false);
        Win_PumpMessages();
        for (uint32_t live : {32081u, 32083u}) {
            EXPECT_EQ(Shown(live), c.back) << live;
            EXPECT_EQ(Shown(live + 1), !c.back) << live + 1;
        }
        for (uint32_t live : {32085u, 32087u}) {
            EXPECT_EQ(Shown(live), c.forward) << live;
            EXPECT_EQ(Shown(live + 1), !c.forward) << live + 1;
        }
        EXPECT_EQ(browser_.status, ResourceString(1004) + std::to_string(c.current) + ResourceString(1005) +
                                       std::to_string(c.total));
        // The popup menu greys the same items.
        uint32_t states[2] = {};
        hooks_.popupMenu = [&states](WinMenu menu, uint32_t* chosen) {
            states[0] = Win_GetMenuState(menu, 32081);
            states[1] = Win_GetMenuState(menu, 32085);
            *chosen = 0;
            return true;
        };
        Win_SetHooks(hooks_);
        Win_SendMessage(view_, WM_RBUTTONDOWN, 0, WinMakeLParam(50, 50));
        EXPECT_EQ((states[0] & MF_GRAYED) == 0, c.back);
        EXPECT_EQ((states[1] & MF_GRAYED) == 0, c.forward);
    }
}

TEST_F(PluginTest, FindNextFollowsTheLastFind) {
    OpenInstance();
    Deliver(kAfpPage);
    EXPECT_FALSE(Shown(32079));
    engine_.Set("VSFindString", 100);
    Command(32078);
    EXPECT_TRUE(Shown(32079));
    EXPECT_FALSE(Shown(32080));
    engine_.Set("VSFindNext", 2);
    Command(32079);
    EXPECT_FALSE(Shown(32079));
    EXPECT_TRUE(Shown(32080));
    EXPECT_EQ(engine_.CallsOf("VSUndoFind").size(), 1u);
}

// The page-range choice of the print dialog as a user makes it.
std::function<bool(WinHandle, const std::string&)> PrintAnswer(uint32_t range, const char* first = "",
                                                               const char* last = "") {
    return [=](WinHandle dialog, const std::string& name) {
        if (name != "P16Print") {
            Win_EndDialog(dialog, IDOK);
            return true;
        }
        Win_ClickButton(dialog, range);
        Win_SetDlgItemText(dialog, 30003, first);
        Win_SetDlgItemText(dialog, 30005, last);
        Win_ClickButton(dialog, IDOK);
        return true;
    };
}

class SegmentedTest : public PluginTest {
protected:
    void Load() {
        OpenInstance();
        engine_.Set("VSGetNumPages", 40);
        Deliver(SegmentedContainer(40, 4, 10, "http://gw/seg?n=", kAfpPage));
        browser_.requests.clear();
    }
};

TEST_F(SegmentedTest, RangeInAnotherSegmentFetchesOnlyThatSegmentAndPrintsItsPages) {
    Load();
    answerDialog_ = PrintAnswer(30002, "12", "15");
    Command(32089);
    ASSERT_EQ(browser_.requests, (std::vector<std::string>{"GET http://gw/seg?n=1"}));
    EXPECT_TRUE(engine_.CallsOf("VSPrint").empty());
    Deliver(Lead(1) + kAfpPage, "seg1.afp");
    EXPECT_EQ(browser_.requests.size(), 1u);  // nothing beyond segment 1
    const std::vector<std::string> prints = engine_.CallsOf("VSPrint");
    ASSERT_EQ(prints.size(), 1u);
    EXPECT_NE(prints[0].find(",103,2,5,1,100,1,1)"), std::string::npos) << prints[0];
    EXPECT_NE(engine_.CallsOf("VSDocStart").back().find(".PRN\""), std::string::npos);
    EXPECT_TRUE(InstanceFiles(".PRN").empty());
    // Segment 0 is still the one loaded: a range inside it prints at once.
    answerDialog_ = PrintAnswer(30002, "2", "5");
    Command(32089);
    EXPECT_EQ(browser_.requests.size(), 1u);
    ASSERT_EQ(engine_.CallsOf("VSPrint").size(), 2u);
    EXPECT_NE(engine_.CallsOf("VSPrint")[1].find(",103,2,5,1,100,1,1)"), std::string::npos);
}

TEST_F(SegmentedTest, CurrentPagePrintsTheLoadedPage) {
    Load();
    answerDialog_ = PrintAnswer(30001);
    Command(32089);
    EXPECT_TRUE(browser_.requests.empty());
    const std::vector<std::string> prints = engine_.CallsOf("VSPrint");
    ASSERT_EQ(prints.size(), 1u);
    EXPECT_NE(prints[0].find(",102,0,0,"), std::string::npos) << prints[0];
}

// Stop pressed while a segment is under way, or a segment that does not split: the
// collection ends before the next segment, and nothing of it is printed or left behind.
TEST_F(SegmentedTest, CollectionEndsOnStopOrABadSegment) {
    struct Case {
        const char* name;
        bool stop;
        std::string reply;
        const char* askedAgain;  // how segment 1 is asked for afterwards
    };
    std::string refused = Lead(1) + kAfpPage;
    refused.replace(4, 4, std::string("\x00\x00\x0B\xC0", 4));  // version 3008
    const Case cases[] = {
        {"stop", true, Lead(1) + kAfpPage, "GET file://"},  // the good reply is kept
        // A bad reply is not kept as the segment: the gateway is asked again.
        {"too short", false, "VOD", "GET http://gw/seg?n=1"},
        {"empty", false, "", "GET http://gw/seg?n=1"},
        {"refused version", false, refused, "GET http://gw/seg?n=1"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TearDown();
        SetUp();
        Load();
        answerDialog_ = PrintAnswer(30002, "15", "35");
        Command(32089);
        ASSERT_EQ(browser_.requests, (std::vector<std::string>{"GET http://gw/seg?n=1"}));
        EXPECT_TRUE(Shown(32091));
        if (c.stop) Command(32091);
        Deliver(c.reply, "seg1.afp");
        EXPECT_EQ(browser_.requests.size(), 1u);  // segment 2 is not asked for
        EXPECT_TRUE(engine_.CallsOf("VSPrint").empty());
        EXPECT_TRUE(InstanceFiles(".PRN").empty());
        EXPECT_FALSE(Shown(32091));
        // A later print is neither refused nor mixed with the ended collection.
        answerDialog_ = PrintAnswer(30001);
        Command(32089);
        EXPECT_EQ(engine_.CallsOf("VSPrint").size(), 1u);
        answerDialog_ = PrintAnswer(30002, "15", "15");
        Command(32089);
        ASSERT_EQ(browser_.requests.size(), 2u);
        EXPECT_TRUE(browser_.requests.back().starts_with(c.askedAgain)) << browser_.requests.back();
    }
}

TEST_F(SegmentedTest, UserBreakDuringACollectionEndsIt) {
    Load();
    answerDialog_ = PrintAnswer(30002, "15", "35");
    Command(32089);
    ASSERT_EQ(browser_.requests.size(), 1u);
    funcs_.urlnotify(&npp_, "http://gw/seg?n=1", NPRES_USER_BREAK, nullptr);
    Win_PumpMessages();
    EXPECT_FALSE(Shown(32091));
    EXPECT_TRUE(InstanceFiles(".PRN").empty());
    answerDialog_ = PrintAnswer(30001);
    Command(32089);  // not refused as a collection still running
    EXPECT_EQ(engine_.CallsOf("VSPrint").size(), 1u);
}

TEST_F(PluginTest, ContainerOrientationAndZoomApplyToTheDocument) {
    struct Case {
        char orientation;
        uint32_t zoom;
        const char* rotation;
        std::vector<std::string> zooms;
    };
    const Case cases[] = {
        {'9', 150, "VSSetRotation(5,3)", {"VSSetZoom(5,150)"}},
        {'1', 100, "VSSetRotation(5,2)", {}},
        {'2', 100, "VSSetRotation(5,4)", {}},
        {'x', 100, "VSSetRotation(5,1)", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(1, c.orientation));
        TearDown();
        SetUp();
        OpenInstance();
        Deliver(SegmentedContainer(3, 1, 3, "", kAfpPage, c.orientation, c.zoom));
        EXPECT_EQ(engine_.CallsOf("VSSetRotation"), std::vector<std::string>{c.rotation});
        EXPECT_EQ(engine_.CallsOf("VSSetZoom"), c.zooms);
    }
}

TEST_F(SegmentedTest, InvalidRangeKeepsTheDialogOpen) {
    Load();
    int tries = 0;
    answerDialog_ = [&tries](WinHandle dialog, const std::string& name) {
        if (name != "P16Print") return false;
        ++tries;
        Win_ClickButton(dialog, 30002);
        Win_SetDlgItemText(dialog, 30003, "15");
        Win_SetDlgItemText(dialog, 30005, "12");  // before the first page
        Win_ClickButton(dialog, IDOK);
        if (Win_IsWindow(dialog)) Win_ClickButton(dialog, IDCANCEL);
        return true;
    };
    Command(32089);
    EXPECT_EQ(tries, 1);
    ASSERT_EQ(boxes_.size(), 1u);
    EXPECT_EQ(boxes_[0], ResourceString(1011) + "|" + ResourceString(1012));
    EXPECT_TRUE(engine_.CallsOf("VSPrint").empty());
}

TEST_F(PluginTest, CopiedTextIsNotCutAndNoTextIsEmpty) {
    OpenInstance();
    Deliver(kAfpPage);
    const std::string longText(70000, 'w');
    engine_.SetText(longText.c_str());
    Command(32094);
    EXPECT_EQ(Win_ClipboardText(), longText);
    engine_.SetText(nullptr);
    Command(32094);
    EXPECT_EQ(Win_ClipboardText(), "");
}

TEST_F(PluginTest, TextSelectionGoesOnThroughTheEnginesRepaints) {
    OpenInstance();
    Deliver(kAfpPage);
    engine_.Set("VSGetTextSelMode", 1);
    Win_SendMessage(view_, WM_LBUTTONDOWN, MK_LBUTTON, WinMakeLParam(10, 10));
    // The engine invalidates the window so its marks follow the mouse.
    Win_InvalidateRect(view_, nullptr, false);
    Win_PumpMessages();
    Win_SendMessage(view_, WM_MOUSEMOVE, MK_LBUTTON, WinMakeLParam(60, 10));
    Win_SendMessage(view_, WM_LBUTTONUP, 0, WinMakeLParam(80, 10));
    EXPECT_EQ(engine_.CallsOf("VSTextMouseMove").size(), 1u);
    EXPECT_EQ(engine_.CallsOf("VSTextLButtonUp").size(), 1u);
}

TEST_F(PluginTest, BitmapSelectionSetsAClipAreaOnlyWhenLargeEnough) {
    OpenInstance();
    Deliver(kAfpPage);
    engine_.Set("VSGetTextSelMode", 0);
    Command(32092);
    struct Case {
        int x1, y1, x2, y2;
        bool set;
    };
    const Case cases[] = {
        {10, 10, 30, 30, true}, {10, 10, 20, 40, false}, {40, 40, 10, 10, false}, {5, 5, 16, 16, true}};
    size_t expected = 0;
    for (const Case& c : cases) {
        Win_SendMessage(view_, WM_LBUTTONDOWN, MK_LBUTTON, WinMakeLParam(c.x1, c.y1));
        Win_SendMessage(view_, WM_MOUSEMOVE, MK_LBUTTON, WinMakeLParam(c.x2, c.y2));
        Win_SendMessage(view_, WM_LBUTTONUP, 0, WinMakeLParam(c.x2, c.y2));
        if (c.set) ++expected;
        EXPECT_EQ(engine_.CallsOf("VSSetClipArea").size(), expected)
            << c.x1 << "," << c.y1 << "-" << c.x2 << "," << c.y2;
    }
}

}  // namespace
