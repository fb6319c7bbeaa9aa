// The view server through its C entry points on a headless desktop: opening, painting
// into bitmaps, the engine's dialogs answered by the dialog hook, find, selection,
// segments, views, clipboard, printing to PDF, extraction and hostile files.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "afp_fixture.h"
#include "knvw_engine.h"
#include "vsin_dialogs.h"

namespace fs = std::filesystem;
using knvw_test::AfpDocument;
using knvw_test::WriteTempFile;

namespace {

// Runs a program with an argument vector; its standard output.
std::string RunCapture(const std::vector<std::string>& argv) {
    int pipeFds[2];
    if (pipe(pipeFds) != 0) return {};
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(pipeFds[1], 1);
        close(pipeFds[0]);
        close(pipeFds[1]);
        std::vector<char*> args;
        for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        execvp(args[0], args.data());
        _exit(127);
    }
    close(pipeFds[1]);
    std::string out;
    char buffer[4096];
    ssize_t n;
    while ((n = read(pipeFds[0], buffer, sizeof buffer)) > 0) out.append(buffer, static_cast<std::size_t>(n));
    close(pipeFds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    return out;
}

class Engine : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(Win_Initialize(WinBackend::Headless));
        Win_SetEventSink([this](const std::string& line) { events_.push_back(line); });
        server_ = GetViewServ(0);
        ASSERT_NE(server_, 0);
        VSInit(server_, "", "woxnethp.hlp");
        dir_ = fs::path(WriteTempFile(
                            "engine-" +
                                std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()) +
                                "/x",
                            ""))
                   .parent_path();
        setenv("XDG_CONFIG_HOME", dir_.c_str(), 1);
    }
    void TearDown() override {
        DeleteViewServ(server_);
        Win_SetHooks({});
        Win_Terminate();
    }

    int32_t OpenText(const std::string& text, int cpi = 10, int lpi = 6) {
        const std::string path = (dir_ / "doc.txt").string();
        std::ofstream(path, std::ios::binary) << text;
        VSSetLineDataParms(cpi, lpi, 60);
        return VSDocStart(server_, path.c_str(), "", "", 0);
    }
    int32_t OpenAfp(const std::string& afp) {
        const std::string path = (dir_ / "doc.afp").string();
        std::ofstream(path, std::ios::binary) << afp;
        return VSDocStart(server_, path.c_str(), "", "", 0);
    }
    // Answers the next dialogs: set texts and check boxes, then click a button.
    void Answer(const std::string& dialogName, std::vector<std::pair<uint32_t, std::string>> texts,
                std::vector<uint32_t> clicks, uint32_t button = IDOK) {
        WinHooks hooks;
        hooks.dialog = [=](WinHandle dialog, const std::string& name) {
            if (name != dialogName) return false;
            for (const auto& [id, text] : texts) Win_SetDlgItemText(dialog, id, text);
            for (uint32_t id : clicks) Win_ClickButton(dialog, id);
            Win_ClickButton(dialog, button);
            return true;
        };
        Win_SetHooks(hooks);
    }
    // A window class that only does the default handling.
    static bool RegisterPlainClass(const char* name) {
        WinClass plain;
        plain.name = name;
        plain.procedure = Win_DefWindowProc;
        return Win_RegisterClass(plain);
    }
    bool Logged(const std::string& name) const {
        for (const auto& e : events_) {
            if (e.find("\"source\":\"engine\"") != std::string::npos &&
                e.find("\"name\":\"" + name + "\"") != std::string::npos)
                return true;
        }
        return false;
    }

    int32_t server_ = 0;
    fs::path dir_;
    std::vector<std::string> events_;
};

struct Bitmap {
    explicit Bitmap(int w, int h) : bitmap(Win_CreateBitmap(w, h)), dc(Win_CreateBitmapDC(bitmap)) {}
    ~Bitmap() {
        Win_DeleteDC(dc);
        Win_DeleteBitmap(bitmap);
    }
    bool Dark(int x, int y) const {
        const uint32_t p = Win_BitmapPixel(bitmap, x, y);
        return ((p >> 16) & 0xFF) < 100 && ((p >> 8) & 0xFF) < 100 && (p & 0xFF) < 100;
    }
    std::pair<int, int> DarkInOut(int left, int top, int right, int bottom) const {
        int in = 0, out = 0;
        for (int y = 0; y < Win_BitmapHeight(bitmap); ++y)
            for (int x = 0; x < Win_BitmapWidth(bitmap); ++x)
                if (Dark(x, y)) (x >= left && x < right && y >= top && y < bottom ? in : out)++;
        return {in, out};
    }
    WinBitmap* bitmap;
    WinDC* dc;
};

}  // namespace

TEST_F(Engine, OpensAndCountsPages) {
    struct Case {
        const char* name;
        bool afp;
        std::string content;
        int pages;
    };
    const std::vector<Case> cases = {
        {"line data", false, "one\ftwo\fthree", 3},
        {"line data, trailing form feed", false, "one\ftwo\f", 2},
        {"AFP", true,
         AfpDocument({{{1440, 1440, "A"}}, {{1440, 1440, "B"}}, {{1440, 1440, "C"}}, {{0, 240, "D"}}}), 4},
    };
    for (const auto& c : cases) {
        const int32_t doc = c.afp ? OpenAfp(c.content) : OpenText(c.content);
        ASSERT_NE(doc, 0) << c.name;
        EXPECT_EQ(VSGetNumPages(doc), c.pages) << c.name;
        EXPECT_EQ(VSGetCurrentPage(doc), 1) << c.name;
        int32_t handle = doc;
        VSDocEnd(server_, &handle);
        EXPECT_EQ(handle, 0);
        EXPECT_EQ(VSGetNumPages(doc), 0) << c.name;  // gone
    }
    EXPECT_EQ(VSDocStart(server_, (dir_ / "missing").c_str(), "", "", 0), 0);
    EXPECT_TRUE(Logged("VSDocStart"));
    EXPECT_TRUE(Logged("VSGetNumPages"));
}

TEST_F(Engine, LineDataParametersReachOnlyTheNextOpen) {
    // 12 characters an inch: the second character of "XX" starts at 48 + 8 = 56 px.
    const int32_t first = OpenText("AB", 12, 6);
    ASSERT_NE(first, 0);
    const std::string path = (dir_ / "second.txt").string();
    std::ofstream(path) << std::string(100, 'W');
    const int32_t second = VSDocStart(server_, path.c_str(), "", "", 0);
    ASSERT_NE(second, 0);
    // Without parameters, 10 characters an inch: the 100-character line widens the page.
    EXPECT_EQ(VSGetPageWidth(second), 720 * 2 + 100 * 144);
    EXPECT_EQ(VSGetPageWidth(first), 12240);
}

TEST_F(Engine, PaintPutsTheCharacterInItsCell) {
    const int32_t doc = OpenText("X");
    ASSERT_NE(doc, 0);
    Bitmap b(900, 1100);
    VSSetWindowSize(doc, 900, 1100);
    VSDocPaint(doc, 0, b.dc, 1, 1);
    auto [in, out] = b.DarkInOut(48, 48, 58, 64);
    EXPECT_GT(in, 0);
    EXPECT_EQ(out, 0);
    // Zoomed to 200 % (page corner in view) and turned: the cell moves with the page.
    VSSetZoom(doc, 200);
    VSSetPageXPos(doc, 0);
    VSSetPageYPos(doc, 0);
    Bitmap zoomed(900, 1100);
    VSDocPaint(doc, 0, zoomed.dc, 1, 1);
    std::tie(in, out) = zoomed.DarkInOut(96, 96, 116, 128);
    EXPECT_GT(in, 0);
    EXPECT_EQ(out, 0);
    VSSetZoom(doc, 100);
    VSSetRotation(doc, KNVW_ROTATE_90);
    Bitmap turned(1100, 900);
    VSSetWindowSize(doc, 1100, 900);
    VSDocPaint(doc, 0, turned.dc, 1, 1);
    std::tie(in, out) = turned.DarkInOut(992, 48, 1008, 58);
    EXPECT_GT(in, 0);
    EXPECT_EQ(out, 0);
}

TEST_F(Engine, ZoomRotationAndGotoDialogs) {
    const int32_t doc = OpenText("1\f2\f3\f4\f5");
    ASSERT_NE(doc, 0);
    Answer(knvw::kZoomDialog, {{knvw::kZoomCombo, "150"}}, {});
    EXPECT_EQ(VSSetZoom(doc, 0), 1);
    EXPECT_EQ(VSGetZoom(doc), 150);
    Answer(knvw::kZoomDialog, {{knvw::kZoomCombo, "40"}}, {}, IDCANCEL);
    EXPECT_EQ(VSSetZoom(doc, 0), 0);
    EXPECT_EQ(VSGetZoom(doc), 150);
    Answer(knvw::kRotationDialog, {}, {knvw::kRotate0 + 3});  // 270 degrees
    EXPECT_EQ(VSSetRotation(doc, 0), 1);
    EXPECT_EQ(VSGetRotation(doc), KNVW_ROTATE_270);
    Answer(knvw::kGotoDialog, {{knvw::kGotoPage, "4"}}, {});
    EXPECT_EQ(VSGoto(doc, "", ""), 1);
    EXPECT_EQ(VSGetCurrentPage(doc), 4);
    Answer(knvw::kGotoDialog, {{knvw::kGotoPage, "9"}}, {});
    EXPECT_EQ(VSGoto(doc, "", ""), 0);  // no such page
    EXPECT_EQ(VSGetCurrentPage(doc), 4);
    EXPECT_EQ(VSGoto(doc, "2", ""), 1);  // given directly, no dialog
    EXPECT_EQ(VSGetCurrentPage(doc), 2);
    EXPECT_EQ(VSGotoLastPage(doc), 1);
    EXPECT_EQ(VSGetCurrentPage(doc), 5);
    EXPECT_EQ(VSGotoNextPage(doc), 0);
    EXPECT_EQ(VSGotoFirstPage(doc), 1);
    EXPECT_EQ(VSGotoPrevPage(doc), 0);
}

TEST_F(Engine, FindNextAndUndo) {
    const int32_t doc = OpenText("alpha\fbeta gamma\fgamma ray\fdelta");
    ASSERT_NE(doc, 0);
    Answer(knvw::kFindDialog, {{knvw::kFindText, "GAMMA"}}, {});
    EXPECT_EQ(VSFindString(doc, "", 0, 0, 0, 0), KNVW_FIND_FOUND);
    EXPECT_EQ(VSGetCurrentPage(doc), 2);
    EXPECT_EQ(VSFindNext(doc, 0), KNVW_FIND_FOUND);
    EXPECT_EQ(VSGetCurrentPage(doc), 3);
    EXPECT_EQ(VSFindNext(doc, 0), KNVW_FIND_NOTHING);
    VSUndoFind(doc);
    EXPECT_EQ(VSFindNext(doc, 0), KNVW_FIND_NOTHING);
    // Match case from the dialog's check box: "GAMMA" is not in the text.
    Answer(knvw::kFindDialog, {{knvw::kFindText, "GAMMA"}}, {knvw::kFindCase});
    EXPECT_EQ(VSFindString(doc, "", 0, 0, 0, 0), KNVW_FIND_NOTHING);
    Answer(knvw::kFindDialog, {{knvw::kFindText, "beta"}}, {}, IDCANCEL);
    EXPECT_EQ(VSFindString(doc, "", 0, 0, 0, 0), KNVW_FIND_NOTHING);
    EXPECT_EQ(VSFindString(doc, "delta", 0, 0, 0, 0), KNVW_FIND_FOUND);  // text given: no dialog
    EXPECT_EQ(VSGetCurrentPage(doc), 4);
}

TEST_F(Engine, TextSelectionBuffer) {
    const int32_t doc = OpenText("alpha beta\ngamma");
    ASSERT_NE(doc, 0);
    VSSetWindowSize(doc, 800, 600);
    VSSetTextSelMode(doc, 1);
    EXPECT_NE(VSGetTextSelMode(doc), 0);
    // Columns 6..9 of the first line: x from 48 + 57.6 to 48 + 96, y 48..64.
    EXPECT_NE(VSTextLButtonDown(doc, WinMakeLParam(107, 56)), 0);
    VSTextMouseMove(doc, WinMakeLParam(130, 56));
    VSTextLButtonUp(doc, WinMakeLParam(143, 56));
    char* text = VSTextGetTextBuffer(doc);
    ASSERT_NE(text, nullptr);
    EXPECT_STREQ(text, "beta");
    free(text);
    VSSetWindowSize(doc, 1000, 1200);
    EXPECT_EQ(VSTextLButtonDown(doc, WinMakeLParam(990, 1190)), 0);  // beside the page: no start
    EXPECT_EQ(VSTextGetTextBuffer(doc), nullptr);
}

TEST_F(Engine, ClipAreaCopiesABitmap) {
    const int32_t doc = OpenText("XXXX");
    ASSERT_NE(doc, 0);
    VSSetWindowSize(doc, 800, 600);
    WinPoint a, b;
    VSGetClipArea(doc, &a, &b);
    EXPECT_EQ(a.x, b.x);  // none yet
    VSSetClipArea(doc, 40, 40, 140, 90);
    VSGetClipArea(doc, &a, &b);
    EXPECT_EQ(std::vector<int>({a.x, a.y, b.x, b.y}), std::vector<int>({40, 40, 140, 90}));
    ASSERT_TRUE(Win_OpenClipboard(0));
    Win_EmptyClipboard();
    Win_CloseClipboard();
    EXPECT_EQ(VSCopyBitmap(doc, a.x, a.y, b.x, b.y), 1);
    WinBitmap* copy = Win_ClipboardBitmap();
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(Win_BitmapWidth(copy), 100);
    EXPECT_EQ(Win_BitmapHeight(copy), 50);
    int dark = 0;
    for (int y = 0; y < 50; ++y)
        for (int x = 0; x < 100; ++x) dark += (Win_BitmapPixel(copy, x, y) & 0xFF) < 100;
    EXPECT_GT(dark, 0);  // the X's at 48..86 px lie inside
    Win_DeleteBitmap(copy);
    EXPECT_EQ(VSScaleClipArea(doc), 0);
    EXPECT_EQ(VSGetZoom(doc), 800);  // 100 x 50 into 800 x 600: capped at 800 %
}

TEST_F(Engine, SegmentsThroughTheCallbacks) {
    struct Calls {
        std::vector<int> pages;
        std::vector<int> found;
    };
    static Calls calls;
    calls = {};
    const auto changePage = [](void*, int32_t index) -> int32_t {
        calls.pages.push_back(index);
        return 0;
    };
    const auto hitFind = [](void*, int32_t found) -> int32_t {
        calls.found.push_back(found);
        return 1;
    };
    int instance = 0;
    // Segment 0 of 3, two pages each.
    int32_t doc = OpenText("one\ftwo");
    VSSetNSPIInfo(doc, &instance, 0, 0, 6, 0, 3, 2, 2, hitFind, changePage);
    EXPECT_EQ(VSGetNumPages(doc), 6);
    VSSetCurrentPage(doc, 5);
    EXPECT_EQ(calls.pages, std::vector<int>({4}));
    // The plug-in fetches segment 2; the page asked for is shown.
    VSDocEnd(server_, &doc);
    doc = OpenText("five\fsix");
    VSSetNSPIInfo(doc, &instance, 0, 0, 6, 2, 3, 2, 2, hitFind, changePage);
    EXPECT_EQ(VSGetCurrentPage(doc), 5);
    // A search backward that finds nothing here goes on in segment 1, where it hits.
    EXPECT_EQ(VSFindString(doc, "three", 0, 0, 1, 0), KNVW_FIND_CONTINUES);
    EXPECT_EQ(calls.pages.back(), 3);
    VSDocEnd(server_, &doc);
    doc = OpenText("three\ffour");
    VSSetNSPIInfo(doc, &instance, 0, 0, 6, 1, 3, 2, 2, hitFind, changePage);
    EXPECT_EQ(calls.found, std::vector<int>({1}));
    EXPECT_EQ(VSGetCurrentPage(doc), 3);
    // Aborted: the next segment does not go on searching.
    EXPECT_EQ(VSFindString(doc, "zzz", 0, 0, 0, 0), KNVW_FIND_CONTINUES);
    VSFindAbort(server_, 0);
    VSDocEnd(server_, &doc);
    doc = OpenText("five\fsix");
    VSSetNSPIInfo(doc, &instance, 0, 0, 6, 2, 3, 2, 2, hitFind, changePage);
    EXPECT_EQ(calls.found, std::vector<int>({1}));
}

TEST_F(Engine, SavedViews) {
    const int32_t doc = OpenText("x");
    ASSERT_NE(doc, 0);
    VSSetZoom(doc, 175);
    VSSetRotation(doc, KNVW_ROTATE_180);
    VSSetImageView(doc, KNVW_VIEW_SHADE, KNVW_SHADE_GREEN);
    Answer(knvw::kSaveViewDialog, {{knvw::kViewName, "Mine"}, {knvw::kViewDescription, "green"}}, {});
    EXPECT_EQ(VSSaveView(doc, "", "", 0), 1);
    EXPECT_TRUE(fs::exists(dir_ / "qel" / "afp-views.txt"));
    VSResetView(doc);
    EXPECT_EQ(VSGetZoom(doc), 100);
    EXPECT_EQ(VSGetView(doc, "Mine"), 1);
    EXPECT_EQ(VSGetZoom(doc), 175);
    EXPECT_EQ(VSGetRotation(doc), KNVW_ROTATE_180);
    int32_t shade = 0;
    EXPECT_EQ(VSGetImageView(doc, &shade), KNVW_VIEW_SHADE);
    EXPECT_EQ(shade, KNVW_SHADE_GREEN);
    EXPECT_EQ(VSGetView(doc, "Nobody"), 0);
    VSResetView(doc);
    Answer(knvw::kGetViewDialog, {}, {});  // the first (only) view is selected
    EXPECT_EQ(VSGetView(doc, ""), 1);
    EXPECT_EQ(VSGetZoom(doc), 175);
}

TEST_F(Engine, PrintsPagesToPdf) {
    const int32_t doc = OpenAfp(AfpDocument({{{1440, 1440, "Alpha page"}},
                                             {{1440, 1440, "Bravo page"}},
                                             {{1440, 1440, "Charlie page"}},
                                             {{1440, 1440, "Delta page"}}}));
    ASSERT_NE(doc, 0);
    struct Case {
        int what, from, to;
        int pages;
        std::vector<std::string> texts, absent;
    };
    const std::vector<Case> cases = {
        {KNVW_PRINT_RANGE, 2, 4, 3, {"Bravo page", "Charlie page", "Delta page"}, {"Alpha"}},
        {KNVW_PRINT_CURRENT, 0, 0, 1, {"Alpha page"}, {"Bravo"}},
        {KNVW_PRINT_ALL, 0, 0, 4, {"Alpha page", "Delta page"}, {}},
    };
    for (const auto& c : cases) {
        const fs::path out = dir_ / ("print-" + std::to_string(c.what));
        fs::create_directories(out);
        Win_SetPdfDirectory(out.string());
        EXPECT_EQ(VSPrint(doc, KNVW_PRINT_MODE, "", "PDF", "", nullptr, c.what, c.from, c.to, 1,
                          KNVW_PRINT_SCALE, 1, 1),
                  c.pages);
        std::string pdf;
        for (const auto& entry : fs::directory_iterator(out))
            if (entry.path().extension() == ".pdf") pdf = entry.path().string();
        // A document without a window has no title: never the name of the file it came from.
        ASSERT_EQ(pdf, (out / "AFP_document.pdf").string()) << c.what;
        const std::string info = RunCapture({"pdfinfo", pdf});
        const std::size_t at = info.find("Pages:");
        ASSERT_NE(at, std::string::npos) << info;
        EXPECT_EQ(std::atoi(info.c_str() + at + 6), c.pages) << info;
        const std::string text = RunCapture({"pdftotext", "-layout", pdf, "-"});
        for (const auto& t : c.texts) EXPECT_NE(text.find(t), std::string::npos) << t;
        for (const auto& t : c.absent) EXPECT_EQ(text.find(t), std::string::npos) << t;
    }
    EXPECT_EQ(
        VSPrint(doc, KNVW_PRINT_MODE, "", "No such printer", "", nullptr, KNVW_PRINT_ALL, 0, 0, 1, 100, 1, 1),
        0);
}

TEST_F(Engine, ExtractsPageText) {
    const int32_t doc = OpenText("first page\fsecond page\fthird page");
    ASSERT_NE(doc, 0);
    const std::string out = (dir_ / "extract.txt").string();
    EXPECT_EQ(VSExtractPages(doc, out.c_str(), 2, 3), 2);
    std::ifstream in(out, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    EXPECT_EQ(text.str(), "second page\n\fthird page\n");
}

TEST_F(Engine, HostileFilesOpenSafelyOrNotAtAll) {
    const std::string good = AfpDocument({{{1440, 1440, "One"}}, {{1440, 1440, "Two"}}});
    std::string pastEnd = good;
    pastEnd[1] = '\x7F';
    const std::vector<std::string> files = {
        good.substr(0, good.size() / 2), pastEnd,
        std::string("\x5A", 1),          std::string("\x5A\x00\x03", 3),
        std::string(5000, '\x5A'),       std::string("\x00\x01\x02\xFF", 4)};
    for (const auto& content : files) {
        const int32_t doc = OpenAfp(content);
        if (doc == 0) continue;
        EXPECT_GE(VSGetNumPages(doc), 1);
        Bitmap b(200, 200);
        VSSetWindowSize(doc, 200, 200);
        VSDocPaint(doc, 0, b.dc, 1, 1);
        VSGotoLastPage(doc);
        VSDocPaint(doc, 0, b.dc, 1, 1);
        VSFindString(doc, "One", 0, 0, 0, 0);
    }
}

// A damaged document opens with what could be read and says so once, with the byte.
TEST_F(Engine, DamagedDocumentSaysWhereOnce) {
    std::vector<std::string> boxes;
    WinHooks hooks;
    hooks.messageBox = [&](const std::string& text, const std::string&, uint32_t, int* answer) {
        boxes.push_back(text);
        *answer = IDOK;
        return true;
    };
    Win_SetHooks(hooks);
    const std::string good = AfpDocument({{{1440, 1440, "One"}}, {{1440, 1440, "Two"}}});
    const int32_t whole = OpenAfp(good);
    ASSERT_NE(whole, 0);
    EXPECT_TRUE(boxes.empty());
    const std::size_t cut = good.size() - 20;
    const int32_t doc = OpenAfp(good.substr(0, cut));
    ASSERT_NE(doc, 0);
    EXPECT_EQ(VSGetNumPages(doc), 2);
    ASSERT_EQ(boxes.size(), 1u);
    const std::size_t at = good.rfind('\x5A', cut - 1);
    EXPECT_NE(boxes[0].find("damaged at byte " + std::to_string(at) + "."), std::string::npos) << boxes[0];
    // Painting, paging and going back say nothing more.
    Bitmap b(100, 100);
    VSDocPaint(doc, 0, b.dc, 1, 1);
    VSGotoNextPage(doc);
    VSGotoPrevPage(doc);
    EXPECT_EQ(boxes.size(), 1u);
    bool logged = false;
    for (const auto& e : events_)
        logged = logged || e.find("\"damagedAt\":" + std::to_string(at)) != std::string::npos;
    EXPECT_TRUE(logged);
}

// The printed PDF is named after the document's title: the caption of the top-level
// window that holds the document's window (the browser's window).
TEST_F(Engine, PrintedPdfIsNamedAfterTheTitle) {
    ASSERT_TRUE(RegisterPlainClass("KnvwTitleView"));
    const WinHandle browser =
        Win_CreateWindow("KnvwTitleView", "Statement 03/2024", WS_VISIBLE, 0, 0, 600, 400, 0, 0, nullptr);
    const WinHandle plugin =
        Win_CreateWindow("KnvwTitleView", "", WS_VISIBLE, 0, 0, 600, 400, browser, 0, nullptr);
    const WinHandle view =
        Win_CreateWindow("KnvwTitleView", "view", WS_VISIBLE, 0, 0, 600, 400, plugin, 0, nullptr);
    ASSERT_NE(view, 0u);
    const std::string path = (dir_ / "stream-1.VOD").string();
    std::ofstream(path, std::ios::binary) << AfpDocument({{{1440, 1440, "Alpha page"}}});
    const int32_t doc = VSDocStart(server_, path.c_str(), "", "", view);
    ASSERT_NE(doc, 0);
    Win_SetPdfDirectory(dir_.string());
    ASSERT_EQ(VSPrint(doc, KNVW_PRINT_MODE, "", "PDF", "", nullptr, KNVW_PRINT_ALL, 0, 0, 1, KNVW_PRINT_SCALE,
                      1, 1),
              1);
    EXPECT_TRUE(fs::exists(dir_ / "Statement_03_2024.pdf"));
    EXPECT_FALSE(fs::exists(dir_ / "stream-1.VOD.pdf"));
    const std::string info = RunCapture({"pdfinfo", (dir_ / "Statement_03_2024.pdf").string()});
    EXPECT_NE(info.find("Statement 03/2024"), std::string::npos) << info;
}

TEST_F(Engine, TakesTheWindowSizeAndRepaintsTheSelection) {
    ASSERT_TRUE(RegisterPlainClass("KnvwTestView"));
    const WinHandle window = Win_CreateWindow("KnvwTestView", "", WS_VISIBLE, 0, 0, 600, 400, 0, 0, nullptr);
    ASSERT_NE(window, 0u);
    const std::string path = (dir_ / "window.txt").string();
    std::ofstream(path) << "alpha beta";
    const int32_t doc = VSDocStart(server_, path.c_str(), "", "", window);
    ASSERT_NE(doc, 0);
    WinRect client;
    ASSERT_TRUE(Win_GetClientRect(window, &client));
    int32_t width = 0, height = 0;
    VSGetWindowSize(doc, &width, &height);
    EXPECT_EQ(width, client.Width());
    EXPECT_EQ(height, client.Height());
    Win_PumpMessages();
    WinRect update;
    EXPECT_FALSE(Win_GetUpdateRect(window, &update));
    ASSERT_NE(VSTextLButtonDown(doc, WinMakeLParam(107, 56)), 0);
    EXPECT_TRUE(Win_GetUpdateRect(window, &update));  // the marks follow the mouse
    Win_PumpMessages();
    VSTextMouseMove(doc, WinMakeLParam(143, 56));
    EXPECT_TRUE(Win_GetUpdateRect(window, &update));
}

TEST_F(Engine, ScrollingThroughTheEntryPoints) {
    const int32_t doc = OpenText("one\ftwo");
    ASSERT_NE(doc, 0);
    VSSetWindowSize(doc, 400, 300);        // the letter page is 816 x 1056 pixels
    EXPECT_EQ(VSScrollUp(doc, VK_UP), 1);  // at the top already
    EXPECT_EQ(VSScrollDown(doc, VK_DOWN), 0);
    EXPECT_EQ(VSGetPageYPos(doc), -20);
    EXPECT_EQ(VSScrollRight(doc, SB_PAGERIGHT), 0);
    EXPECT_EQ(VSGetPageXPos(doc), -380);
    EXPECT_EQ(VSGetHScrollPos(doc), 380);
    EXPECT_EQ(VSGetVScrollRange(doc), 756);
    EXPECT_EQ(VSThumbScroll(doc, WM_VSCROLL, 0, static_cast<int32_t>(WinMakeLParam(SB_THUMBPOSITION, 700))),
              0);
    EXPECT_EQ(VSGetVScrollPos(doc), 700);
    EXPECT_EQ(VSThumbScroll(doc, WM_VSCROLL, 0, static_cast<int32_t>(WinMakeLParam(SB_THUMBTRACK, 700))), 1);
    EXPECT_EQ(VSThumbScroll(doc, WM_VSCROLL, 0, SB_BOTTOM), 0);
    EXPECT_EQ(VSGetPageYPos(doc), -756);
    // Paging on at the bottom turns to the next page's top.
    EXPECT_EQ(VSScrollDown(doc, VK_NEXT), 0);
    EXPECT_EQ(VSGetCurrentPage(doc), 2);
    EXPECT_EQ(VSGetPageYPos(doc), 0);
    EXPECT_EQ(VSScrollDown(doc, 99), 1);  // not a request it knows
}

TEST_F(Engine, PageNamesAndIndexValues) {
    const int32_t doc = OpenText("a\fb\fc");
    ASSERT_NE(doc, 0);
    const int32_t names = GetSList(8, VSGetSMapperHandle(server_));
    for (const char* name : {"Cover", "Summary", "Details"}) LISTAddEntry(names, name, KnvwListData{}, 8);
    const int32_t index = GetIndex(0);
    INDEXSetDocPgTLE(index, "Account", "4711", 1, 0, 3, "4711");
    int instance = 0;
    VSSetNSPIInfo(doc, &instance, names, index, 3, -1, 0, 0, 0, nullptr, nullptr);
    EXPECT_EQ(VSGoto(doc, "", "Summary"), 1);
    EXPECT_EQ(VSGetCurrentPage(doc), 2);
    Answer(knvw::kGotoDialog, {{knvw::kGotoName, "Cover"}, {knvw::kGotoPage, ""}}, {});
    EXPECT_EQ(VSGoto(doc, "", ""), 1);
    EXPECT_EQ(VSGetCurrentPage(doc), 1);
    EXPECT_EQ(VSFindGroup(doc, "Account", "47"), KNVW_FIND_FOUND);
    EXPECT_EQ(VSGetCurrentPage(doc), 3);
    EXPECT_EQ(VSFindGroup(doc, "Account", "9"), KNVW_FIND_NOTHING);
    DeleteSList(names);
    DeleteIndex(index);
}

TEST_F(Engine, PaintSetsTheWindowScrollBarsUnlessTheCallerDoes) {
    ASSERT_TRUE(RegisterPlainClass("KnvwScrollView"));
    const WinHandle window = Win_CreateWindow("KnvwScrollView", "", WS_VISIBLE | WS_VSCROLL | WS_HSCROLL, 0,
                                              0, 500, 400, 0, 0, nullptr);
    ASSERT_NE(window, 0u);
    const std::string path = (dir_ / "scroll.txt").string();
    std::ofstream(path) << "text";
    const int32_t doc = VSDocStart(server_, path.c_str(), "", "", window);
    ASSERT_NE(doc, 0);
    VSSetWindowSize(doc, 400, 300);
    VSScrollDown(doc, SB_PAGEDOWN);
    WinDC* dc = Win_GetDC(window);
    VSDocPaint(doc, window, dc, 1, 1);
    Win_ReleaseDC(window, dc);
    int minimum = -1, maximum = -1;
    ASSERT_TRUE(Win_GetScrollRange(window, SB_VERT, &minimum, &maximum));
    EXPECT_EQ(minimum, 0);
    EXPECT_EQ(maximum, VSGetVScrollRange(doc));
    EXPECT_EQ(Win_GetScrollPos(window, SB_VERT), VSGetVScrollPos(doc));
    EXPECT_GT(Win_GetScrollPos(window, SB_VERT), 0);
    // With the caller scrolling, a paint leaves the bars as they are.
    VSSetAppScrolling(doc, 1);
    const int before = Win_GetScrollPos(window, SB_VERT);
    VSScrollDown(doc, SB_PAGEDOWN);
    dc = Win_GetDC(window);
    VSDocPaint(doc, window, dc, 1, 1);
    Win_ReleaseDC(window, dc);
    EXPECT_EQ(Win_GetScrollPos(window, SB_VERT), before);
    EXPECT_NE(VSGetVScrollPos(doc), before);
}
