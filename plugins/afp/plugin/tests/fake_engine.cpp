// A stand-in for the view engine's two libraries, built several ways by the tests: every
// call is recorded as "Name(arguments)" and answers a result the test sets. Compiled with
// FAKE_OMIT_FINDABORT it lacks the engine's last entry; with FAKE_VIEWSERVER=0 it makes no view server.
// Entries the plug-in never calls take no arguments: only their names matter.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#define FAKE_EXPORT extern "C" __attribute__((visibility("default")))

#ifndef FAKE_VIEWSERVER
#define FAKE_VIEWSERVER 7
#endif

// The engine's own parameter types, declared alike so that calls through the plug-in's
// typed pointers match these definitions exactly.
struct WinDC;
struct WinPrinterSettings;
struct WinPoint {
    int x = 0, y = 0;
};
struct KnvwListData {
    int32_t word1 = 0;
    int32_t word2 = 0;
};
using KnvwHitFindProc = int32_t (*)(void*, int32_t);
using KnvwChangePageProc = int32_t (*)(void*, int32_t);

namespace {

struct State {
    std::vector<std::string> calls;
    std::map<std::string, int32_t> results;
    std::string selectedText;
    bool haveText = false;
    WinPoint clip1, clip2;
};

State& S() {
    static State state;
    return state;
}

int32_t Record(const char* name, const std::string& args, int32_t fallback = 0) {
    S().calls.push_back(std::string(name) + "(" + args + ")");
    auto it = S().results.find(name);
    return it != S().results.end() ? it->second : fallback;
}

std::string Join(std::initializer_list<int64_t> values) {
    std::string text;
    for (int64_t v : values) {
        if (!text.empty()) text += ',';
        text += std::to_string(v);
    }
    return text;
}

std::string Q(const char* text) { return std::string("\"") + (text ? text : "(null)") + "\""; }

}  // namespace

// ---- control of the stand-in ----
FAKE_EXPORT void FakeEngine_Reset() { S() = State(); }
FAKE_EXPORT void FakeEngine_SetResult(const char* name, int32_t value) { S().results[name] = value; }
FAKE_EXPORT void FakeEngine_SetText(const char* text) {
    S().haveText = text != nullptr;
    S().selectedText = text ? text : "";
}
FAKE_EXPORT void FakeEngine_SetClip(int x1, int y1, int x2, int y2) {
    S().clip1 = {x1, y1};
    S().clip2 = {x2, y2};
}
FAKE_EXPORT const std::vector<std::string>* FakeEngine_Calls() { return &S().calls; }

// ---- entries the plug-in calls ----
#define UNCALLED(name) \
    FAKE_EXPORT int32_t name() { return Record(#name, ""); }
#define ENTRY(name, params, args, ...) \
    FAKE_EXPORT int32_t name params { return Record(#name, args, ##__VA_ARGS__); }

#ifdef FAKE_ENGINE
ENTRY(GetViewServ, (int32_t r), Join({r}), FAKE_VIEWSERVER)
ENTRY(DeleteViewServ, (int32_t v), Join({v}))
ENTRY(VSInit, (int32_t v, const char* ini, const char* help), Join({v}) + "," + Q(ini) + "," + Q(help))
ENTRY(VSGetSMapperHandle, (int32_t v), Join({v}), 3)
ENTRY(VSSetLineDataParms, (int32_t c, int32_t l, int32_t n), Join({c, l, n}))
ENTRY(VSDocStart, (int32_t v, const char* path, const char* formdef, const char* res, uint32_t w),
      Join({v}) + "," + Q(path) + "," + Q(formdef) + "," + Q(res) + "," + Join({w != 0}), 5)
FAKE_EXPORT int32_t VSDocEnd(int32_t v, int32_t* doc) {
    const int32_t result = Record("VSDocEnd", Join({v, doc ? *doc : -1}));
    if (doc) *doc = 0;
    return result;
}
ENTRY(VSDocPaint, (int32_t d, uint32_t w, WinDC*, int32_t a, int32_t b), Join({d, w != 0, a, b}))
ENTRY(VSSetWindowSize, (int32_t d, int32_t w, int32_t h), Join({d, w, h}))
ENTRY(VSScrollUp, (int32_t d, int32_t r), Join({d, r}), 1)
ENTRY(VSScrollDown, (int32_t d, int32_t r), Join({d, r}), 1)
ENTRY(VSScrollLeft, (int32_t d, int32_t r), Join({d, r}), 1)
ENTRY(VSScrollRight, (int32_t d, int32_t r), Join({d, r}), 1)
ENTRY(VSThumbScroll, (int32_t d, int32_t m, int32_t l, int32_t w), Join({d, m, l, w}), 1)
ENTRY(VSGetCurrentPage, (int32_t d), Join({d}), 1)
ENTRY(VSGetNumPages, (int32_t d), Join({d}), 1)
ENTRY(VSSetCurrentPage, (int32_t d, int32_t p), Join({d, p}))
ENTRY(VSGoto, (int32_t d, const char* a, const char* b), Join({d}) + "," + Q(a) + "," + Q(b))
ENTRY(VSSetZoom, (int32_t d, int32_t z), Join({d, z}))
ENTRY(VSGetZoom, (int32_t d), Join({d}), 100)
ENTRY(VSGetRotation, (int32_t d), Join({d}), 1)
ENTRY(VSSetRotation, (int32_t d, int32_t r), Join({d, r}))
ENTRY(VSSetPageXPos, (int32_t d, int32_t x), Join({d, x}))
ENTRY(VSSetPageYPos, (int32_t d, int32_t y), Join({d, y}))
ENTRY(VSGetPageXPos, (int32_t d), Join({d}))
ENTRY(VSGetPageYPos, (int32_t d), Join({d}))
ENTRY(VSSaveView, (int32_t d, const char* a, const char* b, int32_t f),
      Join({d}) + "," + Q(a) + "," + Q(b) + "," + Join({f}))
ENTRY(VSGetView, (int32_t d, const char* n), Join({d}) + "," + Q(n))
ENTRY(VSFindString, (int32_t d, const char* t, int32_t a, int32_t b, int32_t c, int32_t e),
      Join({d}) + "," + Q(t) + "," + Join({a, b, c, e}), 2)
ENTRY(VSFindNext, (int32_t d, int32_t b), Join({d, b}), 2)
ENTRY(VSUndoFind, (int32_t d), Join({d}))
#ifndef FAKE_OMIT_FINDABORT
ENTRY(VSFindAbort, (int32_t v, uint32_t w), Join({v, w != 0}))
#endif
ENTRY(VSSetCopy, (int32_t d, int32_t c), Join({d, c}))
ENTRY(VSSetTextSelMode, (int32_t d, int32_t m), Join({d, m}))
ENTRY(VSGetTextSelMode, (int32_t d), Join({d}), 1)
ENTRY(VSTextLButtonDown, (int32_t d, int32_t p), Join({d, p}), 1)
ENTRY(VSTextMouseMove, (int32_t d, int32_t p), Join({d, p}))
ENTRY(VSTextLButtonUp, (int32_t d, int32_t p), Join({d, p}))
FAKE_EXPORT char* VSTextGetTextBuffer(int32_t d) {
    Record("VSTextGetTextBuffer", Join({d}));
    return S().haveText ? strdup(S().selectedText.c_str()) : nullptr;
}
FAKE_EXPORT int32_t VSGetClipArea(int32_t d, WinPoint* a, WinPoint* b) {
    if (a) *a = S().clip1;
    if (b) *b = S().clip2;
    return Record("VSGetClipArea", Join({d}));
}
ENTRY(VSSetClipArea, (int32_t d, int32_t l, int32_t t, int32_t r, int32_t b), Join({d, l, t, r, b}))
ENTRY(VSScaleClipArea, (int32_t d), Join({d}), 1)
ENTRY(VSCopyBitmap, (int32_t d, int32_t a, int32_t b, int32_t c, int32_t e), Join({d, a, b, c, e}))
ENTRY(VSSetAutosize, (int32_t d, int32_t o), Join({d, o}))
ENTRY(VSSetPageSize, (int32_t d, int32_t w, int32_t h), Join({d, w, h}))
ENTRY(VSSetTextFidelity, (int32_t d, int32_t f), Join({d, f}))
ENTRY(VSSetImageView, (int32_t d, int32_t m, int32_t c), Join({d, m, c}))
ENTRY(VSSetNSPIInfo,
      (int32_t d, void*, int32_t sl, int32_t pi, int32_t tp, int32_t cs, int32_t sc, int32_t pps, int32_t pls,
       KnvwHitFindProc, KnvwChangePageProc),
      Join({d, sl, pi, tp, cs, sc, pps, pls}))
ENTRY(VSPrint,
      (int32_t d, int32_t m, const char* drv, const char* dev, const char* port,
       const WinPrinterSettings* settings, int32_t what, int32_t from, int32_t to, int32_t copies,
       int32_t scale, int32_t rot, int32_t shrink),
      Join({d, m}) + "," + Q(drv) + "," + Q(dev) + "," + Q(port) + "," +
          Join({settings != nullptr, what, from, to, copies, scale, rot, shrink}),
      1)

UNCALLED(VSSetUndefinedCP)
UNCALLED(VSSetAppScrolling)
UNCALLED(VSCopyText)
UNCALLED(VSFindGroup)
UNCALLED(VSExtractPages)
UNCALLED(VSGotoNextPage)
UNCALLED(VSGotoPrevPage)
UNCALLED(VSGotoFirstPage)
UNCALLED(VSGotoLastPage)
UNCALLED(VSMoveHomePage)
UNCALLED(VSMoveCenterPage)
UNCALLED(VSGetHScrollPos)
UNCALLED(VSGetHScrollRange)
UNCALLED(VSGetVScrollPos)
UNCALLED(VSGetVScrollRange)
UNCALLED(VSGetImageView)
UNCALLED(VSGetPageLength)
UNCALLED(VSGetPageWidth)
UNCALLED(VSGetNumCopies)
UNCALLED(VSGetTextFidelity)
UNCALLED(VSGetAutosize)
UNCALLED(VSGetAutoRotation)
UNCALLED(VSSetAutoRotation)
UNCALLED(VSGetWindowSize)
UNCALLED(VSResetView)
UNCALLED(VSReleaseFile)
UNCALLED(VSRestoreFile)
#endif  // FAKE_ENGINE

#ifdef FAKE_SERVICES
ENTRY(GetSList, (int32_t kind, int32_t mapper), Join({kind, mapper}), 11)
ENTRY(DeleteSList, (int32_t l), Join({l}), 1)
ENTRY(LISTAddEntry, (int32_t l, const char* n, KnvwListData, int32_t f),
      Join({l}) + "," + Q(n) + "," + Join({f}))
ENTRY(GetIndex, (int32_t m), Join({m}), 12)
ENTRY(DeleteIndex, (int32_t i), Join({i}), 1)
ENTRY(INDEXSetDocPgTLE,
      (int32_t i, const char* g, const char* v, int32_t k, int32_t r, int32_t p, const char* t),
      Join({i}) + "," + Q(g) + "," + Q(v) + "," + Join({k, r, p}) + "," + Q(t))
UNCALLED(LISTClear)
UNCALLED(LISTGet)
UNCALLED(LISTGetIndex)
UNCALLED(LISTGetIndex2)
UNCALLED(LISTGetIndexFromP)
UNCALLED(LISTGetName)
UNCALLED(LISTGetNameFromP)
UNCALLED(LISTGetNext)
UNCALLED(LISTGetNextName)
UNCALLED(LISTSearch)
UNCALLED(LISTUpdateEntry)
UNCALLED(LISTUpdateName)
UNCALLED(INDEXGetSLists)
UNCALLED(INDEXAddGroup)
UNCALLED(INDEXClear)
UNCALLED(INDEXGetAttrListPtr)
UNCALLED(INDEXGetPageIndex)
UNCALLED(INDEXGetPageValue)
UNCALLED(INDEXGrpSelect)
UNCALLED(INDEXSearchAttr)
UNCALLED(INDEXSetGrpTLE)
UNCALLED(INDEXSetGrpPage)
UNCALLED(INDEXSetGrpPgTLE)
UNCALLED(INDEXSetPageTLE)
UNCALLED(INDEXSetSelGrp)
UNCALLED(SMapperGetDllHandle)
UNCALLED(SMapperSetDllHandle)
#endif
