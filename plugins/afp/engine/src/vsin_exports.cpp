// vsin_exports.cpp - the view server's C entry points. Each one logs itself as an
// "engine" event (name, arguments, result) and works on the session of its document.
// All run on the user-interface thread; dialogs run a modal loop, so a document is
// looked up again after one.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "knvw_engine.h"
#include "painter.h"
#include "views_file.h"
#include "vsin_dialogs.h"
#include "vsin_print.h"
#include "vsin_server.h"

using knvw::Engine;
using knvw::EngineDocument;
using knvw::FindQuery;
using knvw::Session;

namespace {

// Builds the fields of one "engine" event.
class Call {
public:
    explicit Call(const char* name) { fields_ = "\"name\":" + Win_JsonString(name); }
    Call& Int(const char* key, long long value) {
        fields_ += ",\"" + std::string(key) + "\":" + std::to_string(value);
        return *this;
    }
    Call& Text(const char* key, const char* value) {
        fields_ += ",\"" + std::string(key) + "\":" + Win_JsonString(value ? value : "");
        return *this;
    }
    int32_t Result(int32_t result) {
        Int("result", result);
        Win_LogEvent("engine", fields_);
        return result;
    }

private:
    std::string fields_;
};

std::string Str(const char* text) { return text ? std::string(text) : std::string(); }

Engine& E() { return Engine::Get(); }

// Page names of the plug-in's string list (entry n names page n + 1).
std::vector<std::string> PageNames(int32_t list) {
    std::vector<std::string> names;
    char name[256];
    for (int32_t n = 0; list && names.size() < 100000; ++n) {
        if (LISTGetName(list, n, name, sizeof name) < 0) break;
        names.emplace_back(name);
    }
    return names;
}

// Asks the plug-in for the segment that holds a page (0-based index in the whole).
void AskForPage(EngineDocument& doc, int wantIndex) {
    if (doc.changePage && doc.instance) doc.changePage(doc.instance, wantIndex);
}

// Moves to a page number, asking the plug-in for another segment when needed.
bool MoveToPage(EngineDocument& doc, int number) {
    int want = -1;
    if (doc.session->SetPageNumber(number, &want)) return true;
    if (want < 0 || !doc.changePage) return false;
    if (knvw::ViewServer* server = E().Server(doc.server)) server->pendingPage[doc.instance] = want + 1;
    AskForPage(doc, want);
    return true;
}

// A search that has to go on in another segment: kept for the instance, segment asked for.
int32_t HandOn(EngineDocument& doc, const FindQuery& query, int want) {
    knvw::ViewServer* server = E().Server(doc.server);
    if (!server || !doc.changePage || !doc.instance) return KNVW_FIND_NOTHING;
    server->pendingSearch[doc.instance] = query;
    AskForPage(doc, want);
    return KNVW_FIND_CONTINUES;
}

int32_t FindResult(EngineDocument& doc, int result, int want, bool next) {
    if (result == knvw::kFindStopped) {
        const FindQuery query = *doc.session->Query();
        return HandOn(doc, query, want);
    }
    // At the end of a document that came in segments, "stopped" ends the search for
    // the plug-in (its Stop button goes).
    if (result == knvw::kFindNothing && next && doc.session->GetSegments().current >= 0)
        return KNVW_FIND_STOPPED;
    return result;
}

knvw::FindAnswer lastFind;  // the find dialog starts with the previous search

int32_t Scroll(int32_t document, bool vertical, bool forward, int32_t request) {
    EngineDocument* doc = E().Document(document);
    if (!doc) return 1;
    if (!vertical) return doc->session->ScrollHorizontal(forward, request) ? 0 : 1;
    int want = -1;
    if (doc->session->ScrollVertical(forward, request, &want)) return 0;
    if (want >= 0) MoveToPage(*doc, want + 1);
    return 1;
}

void UpdateScrollBars(EngineDocument& doc, WinHandle window) {
    if (doc.session->appScrolling || !window) return;
    const knvw::View& view = doc.session->GetView();
    Win_SetScrollRange(window, SB_HORZ, 0, view.HScrollRange(), false);
    Win_SetScrollPos(window, SB_HORZ, view.HScrollPos(), true);
    Win_SetScrollRange(window, SB_VERT, 0, view.VScrollRange(), false);
    Win_SetScrollPos(window, SB_VERT, view.VScrollPos(), true);
}

// The selection's marks follow the mouse: the document's window repaints.
void RepaintSelection(const EngineDocument& doc) {
    if (doc.window && Win_IsWindow(doc.window)) Win_InvalidateRect(doc.window, nullptr, false);
}

void ApplySavedView(Session& session, const knvw::SavedView& view) {
    session.GetView().SetZoom(view.zoom);
    session.GetView().SetRotation(view.rotation);
    session.imageMode = std::clamp(view.imageMode, 0, 3);
    session.shadeColour = std::clamp(view.shadeColour, 10, 16);
    session.GetView().SetXPos(view.x);
    session.GetView().SetYPos(view.y);
}

// The document's title is the caption of the top-level window that holds its window (the
// browser's window shows the document's title); empty when there is none.
std::string DocumentTitle(WinHandle window) {
    for (WinHandle parent = Win_GetParent(window); parent != 0; parent = Win_GetParent(parent))
        window = parent;
    return window == 0 ? std::string() : Win_GetWindowText(window);
}

}  // namespace

extern "C" {

int32_t GetViewServ(int32_t reserved) {
    return Call("GetViewServ").Int("reserved", reserved).Result(E().NewServer());
}

int32_t DeleteViewServ(int32_t viewServer) {
    const bool known = E().Server(viewServer) != nullptr;
    E().DeleteServer(viewServer);
    return Call("DeleteViewServ").Int("server", viewServer).Result(known ? 1 : 0);
}

int32_t VSInit(int32_t viewServer, const char* iniPath, const char* helpFile) {
    const bool known = E().Server(viewServer) != nullptr;
    return Call("VSInit")
        .Int("server", viewServer)
        .Text("ini", iniPath)
        .Text("help", helpFile)
        .Result(known ? 1 : 0);
}

int32_t VSGetSMapperHandle(int32_t viewServer) {
    // The server's handle serves as its string mapper.
    const bool known = E().Server(viewServer) != nullptr;
    return Call("VSGetSMapperHandle").Int("server", viewServer).Result(known ? viewServer : 0);
}

int32_t VSSetLineDataParms(int32_t charsPerInch, int32_t linesPerInch, int32_t lines) {
    if (charsPerInch > 0 && linesPerInch > 0) {
        E().pendingLineParms = knvw::LineDataParms{charsPerInch, linesPerInch, std::max(0, lines)};
    } else {
        E().pendingLineParms.reset();
    }
    return Call("VSSetLineDataParms")
        .Int("cpi", charsPerInch)
        .Int("lpi", linesPerInch)
        .Int("lines", lines)
        .Result(E().pendingLineParms ? 1 : 0);
}

int32_t VSDocStart(int32_t viewServer, const char* path, const char* formdef, const char* resourcePath,
                   WinHandle window) {
    Call call("VSDocStart");
    call.Int("server", viewServer)
        .Text("path", path)
        .Text("formdef", formdef)
        .Text("resources", resourcePath);
    // The line-data parameters belong to this open, whatever it gives.
    const std::optional<knvw::LineDataParms> parms = E().pendingLineParms;
    E().pendingLineParms.reset();
    if (!E().Server(viewServer) || !path || !*path) return call.Result(0);
    auto document = knvw::LoadDocument(path, Str(resourcePath), parms);
    if (!document) return call.Result(0);
    call.Int("pages", static_cast<long long>(document->pages.size()));
    const std::optional<std::size_t> damagedAt = document->damagedAt;
    if (damagedAt) {
        // Said once, when the document opens; its pages show what could be read.
        call.Int("damagedAt", static_cast<long long>(*damagedAt));
        Win_MessageBox(window,
                       "The document is damaged at byte " + std::to_string(*damagedAt) +
                           ". The pages show what could be read up to the damage.",
                       "AFP document", MB_OK | MB_ICONWARNING);
    }
    auto doc = std::make_unique<EngineDocument>();
    doc->server = viewServer;
    doc->window = window;
    doc->path = path;
    doc->resourcePath = Str(resourcePath);
    doc->lineParms = parms;
    doc->session = std::make_unique<Session>(std::move(*document));
    if (window) {
        WinRect client;
        if (Win_GetClientRect(window, &client))
            doc->session->GetView().SetWindowSize(client.Width(), client.Height());
    }
    return call.Result(E().AddDocument(std::move(doc)));
}

int32_t VSDocEnd(int32_t viewServer, int32_t* document) {
    const int32_t handle = document ? *document : 0;
    EngineDocument* doc = E().Document(handle);
    const bool ended = doc && doc->server == viewServer;
    if (ended) E().EndDocument(handle);
    if (document) *document = 0;
    return Call("VSDocEnd").Int("server", viewServer).Int("document", handle).Result(ended ? 1 : 0);
}

int32_t VSSetUndefinedCP(int32_t document, int32_t character) {
    Session* s = E().SessionOf(document);
    if (s && character > 0 && character < 256) s->undefinedChar = static_cast<char>(character);
    return Call("VSSetUndefinedCP").Int("document", document).Int("character", character).Result(s ? 1 : 0);
}

int32_t VSSetAppScrolling(int32_t document, int32_t on) {
    Session* s = E().SessionOf(document);
    if (s) s->appScrolling = on != 0;
    return Call("VSSetAppScrolling").Int("document", document).Int("on", on).Result(s ? 1 : 0);
}

int32_t VSReleaseFile(int32_t document) {
    // The document is held in memory: the file is not kept open, so nothing to close.
    return Call("VSReleaseFile").Int("document", document).Result(E().Document(document) ? 1 : 0);
}

int32_t VSRestoreFile(int32_t document) {
    EngineDocument* doc = E().Document(document);
    int32_t result = 0;
    if (doc) {
        // Reread the file when it is still there; page and view stay.
        if (auto fresh = knvw::LoadDocument(doc->path, doc->resourcePath, doc->lineParms)) {
            Session& old = *doc->session;
            auto session = std::make_unique<Session>(std::move(*fresh));
            session->GetView().SetWindowSize(old.GetView().WindowWidth(), old.GetView().WindowHeight());
            session->GetView().SetZoom(old.GetView().Zoom());
            session->GetView().SetRotation(old.GetView().Rotation());
            session->SetSegments(old.GetSegments());
            session->imageMode = old.imageMode;
            session->shadeColour = old.shadeColour;
            session->textFidelity = old.textFidelity;
            session->textSelection = old.textSelection;
            session->GoToIndex(old.CurrentIndex());
            doc->session = std::move(session);
            result = 1;
        }
    }
    return Call("VSRestoreFile").Int("document", document).Result(result);
}

int32_t VSDocPaint(int32_t document, WinHandle window, WinDC* dc, int32_t erase, int32_t frame) {
    EngineDocument* doc = E().Document(document);
    cairo_t* cr = dc ? Win_DCCairo(dc) : nullptr;
    if (doc && cr) {
        knvw::PaintView(cr, *doc->session);
        UpdateScrollBars(*doc, window);
    }
    return Call("VSDocPaint")
        .Int("document", document)
        .Int("window", window)
        .Int("erase", erase)
        .Int("frame", frame)
        .Int("page", doc ? doc->session->PageNumber() : 0)
        .Result(doc && cr ? 1 : 0);
}

int32_t VSSetWindowSize(int32_t document, int32_t width, int32_t height) {
    Session* s = E().SessionOf(document);
    if (s) s->GetView().SetWindowSize(width, height);
    return Call("VSSetWindowSize")
        .Int("document", document)
        .Int("width", width)
        .Int("height", height)
        .Result(s ? 1 : 0);
}

int32_t VSGetWindowSize(int32_t document, int32_t* width, int32_t* height) {
    Session* s = E().SessionOf(document);
    if (width) *width = s ? s->GetView().WindowWidth() : 0;
    if (height) *height = s ? s->GetView().WindowHeight() : 0;
    return Call("VSGetWindowSize").Int("document", document).Result(s ? 1 : 0);
}

int32_t VSGetNumPages(int32_t document) {
    Session* s = E().SessionOf(document);
    return Call("VSGetNumPages").Int("document", document).Result(s ? s->NumPages() : 0);
}

int32_t VSGetCurrentPage(int32_t document) {
    Session* s = E().SessionOf(document);
    return Call("VSGetCurrentPage").Int("document", document).Result(s ? s->PageNumber() : 0);
}

int32_t VSSetCurrentPage(int32_t document, int32_t page) {
    EngineDocument* doc = E().Document(document);
    const int before = doc ? doc->session->PageNumber() : 0;
    const bool moved = doc && MoveToPage(*doc, page) && doc->session->PageNumber() != before;
    return Call("VSSetCurrentPage").Int("document", document).Int("page", page).Result(moved ? 1 : 0);
}

int32_t VSGoto(int32_t document, const char* pageText, const char* pageName) {
    Call call("VSGoto");
    call.Int("document", document).Text("page", pageText).Text("pageName", pageName);
    EngineDocument* doc = E().Document(document);
    if (!doc) return call.Result(0);
    std::string number = Str(pageText), name = Str(pageName);
    if (number.empty() && name.empty()) {
        const auto answer = knvw::AskGoto(doc->window, doc->session->PageNumber(), doc->session->NumPages(),
                                          PageNames(doc->stringList));
        doc = E().Document(document);
        if (!answer || !doc) return call.Result(0);
        number = answer->pageText;
        name = answer->pageName;
    }
    int target = 0;
    if (!name.empty() && doc->stringList) {
        const int32_t index = LISTGetIndex(doc->stringList, name.c_str());
        if (index >= 0) target = index + 1;
    }
    if (target == 0 && !number.empty()) target = std::atoi(number.c_str());
    if (target < 1 || target > doc->session->NumPages()) {
        if (!number.empty() || !name.empty()) Win_MessageBeep(MB_BEEP_DEFAULT);
        return call.Result(0);
    }
    return call.Int("target", target).Result(MoveToPage(*doc, target) ? 1 : 0);
}

#define KNVW_PAGE_STEP(entry, expression)                                                            \
    int32_t entry(int32_t document) {                                                                \
        EngineDocument* doc = E().Document(document);                                                \
        bool moved = false;                                                                          \
        if (doc) {                                                                                   \
            const int current = doc->session->PageNumber();                                          \
            const int total = doc->session->NumPages();                                              \
            const int target = (expression);                                                         \
            moved = target != current && target >= 1 && target <= total && MoveToPage(*doc, target); \
            (void)total;                                                                             \
        }                                                                                            \
        return Call(#entry).Int("document", document).Result(moved ? 1 : 0);                         \
    }
KNVW_PAGE_STEP(VSGotoNextPage, current + 1)
KNVW_PAGE_STEP(VSGotoPrevPage, current - 1)
KNVW_PAGE_STEP(VSGotoFirstPage, 1)
KNVW_PAGE_STEP(VSGotoLastPage, total)
#undef KNVW_PAGE_STEP

int32_t VSMoveHomePage(int32_t document) {
    Session* s = E().SessionOf(document);
    if (s) {
        s->GetView().SetXPos(0);
        s->GetView().SetYPos(0);
    }
    return Call("VSMoveHomePage").Int("document", document).Result(s ? 1 : 0);
}

int32_t VSMoveCenterPage(int32_t document) {
    Session* s = E().SessionOf(document);
    if (s) {
        knvw::View& v = s->GetView();
        v.SetXPos(-(v.PagePixelWidth() - v.WindowWidth()) / 2);
        v.SetYPos(-(v.PagePixelHeight() - v.WindowHeight()) / 2);
    }
    return Call("VSMoveCenterPage").Int("document", document).Result(s ? 1 : 0);
}

int32_t VSSetZoom(int32_t document, int32_t percent) {
    Call call("VSSetZoom");
    call.Int("document", document).Int("percent", percent);
    EngineDocument* doc = E().Document(document);
    if (!doc) return call.Result(0);
    int zoom = percent;
    if (zoom == 0) {
        const auto answer = knvw::AskZoom(doc->window, doc->session->GetView().Zoom());
        doc = E().Document(document);
        if (!answer || !doc) return call.Result(0);
        zoom = *answer;
    }
    if (zoom <= 0) return call.Result(0);
    return call.Int("zoom", zoom).Result(doc->session->GetView().SetZoom(zoom) ? 1 : 0);
}

int32_t VSGetZoom(int32_t document) {
    Session* s = E().SessionOf(document);
    return Call("VSGetZoom").Int("document", document).Result(s ? s->GetView().Zoom() : 100);
}

int32_t VSSetRotation(int32_t document, int32_t code) {
    Call call("VSSetRotation");
    call.Int("document", document).Int("code", code);
    EngineDocument* doc = E().Document(document);
    if (!doc) return call.Result(0);
    int rotation = code;
    if (rotation == 0) {
        const auto answer = knvw::AskRotation(doc->window, doc->session->GetView().Rotation());
        doc = E().Document(document);
        if (!answer || !doc) return call.Result(0);
        rotation = *answer;
    }
    return call.Int("rotation", rotation).Result(doc->session->GetView().SetRotation(rotation) ? 1 : 0);
}

int32_t VSGetRotation(int32_t document) {
    Session* s = E().SessionOf(document);
    return Call("VSGetRotation").Int("document", document).Result(s ? s->GetView().Rotation() : 1);
}

int32_t VSSetAutoRotation(int32_t document, int32_t on) {
    Session* s = E().SessionOf(document);
    if (s) {
        s->autoRotation = on != 0;
        // Landscape pages are turned to stand upright when this is on.
        const bool landscape = s->PageWidthTwips() > s->PageHeightTwips();
        if (s->autoRotation && landscape && s->GetView().Rotation() == 1) s->GetView().SetRotation(3);
    }
    return Call("VSSetAutoRotation").Int("document", document).Int("on", on).Result(s ? 1 : 0);
}

int32_t VSGetAutoRotation(int32_t document) {
    Session* s = E().SessionOf(document);
    return Call("VSGetAutoRotation").Int("document", document).Result(s && s->autoRotation ? 1 : 0);
}

int32_t VSSetAutosize(int32_t document, int32_t on) {
    Session* s = E().SessionOf(document);
    if (s) s->SetAutosize(on != 0);
    return Call("VSSetAutosize").Int("document", document).Int("on", on).Result(s ? 1 : 0);
}

int32_t VSGetAutosize(int32_t document) {
    Session* s = E().SessionOf(document);
    return Call("VSGetAutosize").Int("document", document).Result(s && s->Autosize() ? 1 : 0);
}

int32_t VSSetPageSize(int32_t document, int32_t widthTwips, int32_t heightTwips) {
    Session* s = E().SessionOf(document);
    // The plug-in hands the sizes over as 16-bit values.
    if (s) s->SetPageSizeTwips(widthTwips & 0xFFFF, heightTwips & 0xFFFF);
    return Call("VSSetPageSize")
        .Int("document", document)
        .Int("width", widthTwips)
        .Int("height", heightTwips)
        .Result(s ? 1 : 0);
}

int32_t VSGetPageWidth(int32_t document) {
    Session* s = E().SessionOf(document);
    return Call("VSGetPageWidth")
        .Int("document", document)
        .Result(s ? static_cast<int32_t>(s->PageWidthTwips()) : 0);
}

int32_t VSGetPageLength(int32_t document) {
    Session* s = E().SessionOf(document);
    return Call("VSGetPageLength")
        .Int("document", document)
        .Result(s ? static_cast<int32_t>(s->PageHeightTwips()) : 0);
}

int32_t VSGetPageXPos(int32_t document) {
    Session* s = E().SessionOf(document);
    return Call("VSGetPageXPos").Int("document", document).Result(s ? s->GetView().XPos() : 0);
}

int32_t VSSetPageXPos(int32_t document, int32_t x) {
    Session* s = E().SessionOf(document);
    if (s) s->GetView().SetXPos(x);
    return Call("VSSetPageXPos").Int("document", document).Int("x", x).Result(s ? 1 : 0);
}

int32_t VSGetPageYPos(int32_t document) {
    Session* s = E().SessionOf(document);
    return Call("VSGetPageYPos").Int("document", document).Result(s ? s->GetView().YPos() : 0);
}

int32_t VSSetPageYPos(int32_t document, int32_t y) {
    Session* s = E().SessionOf(document);
    if (s) s->GetView().SetYPos(y);
    return Call("VSSetPageYPos").Int("document", document).Int("y", y).Result(s ? 1 : 0);
}

int32_t VSGetImageView(int32_t document, int32_t* shadeColour) {
    Session* s = E().SessionOf(document);
    if (shadeColour) *shadeColour = s ? s->shadeColour : 10;
    return Call("VSGetImageView").Int("document", document).Result(s ? s->imageMode : 0);
}

int32_t VSSetImageView(int32_t document, int32_t mode, int32_t colour) {
    Session* s = E().SessionOf(document);
    int32_t result = 0;
    if (s && mode >= 0 && mode <= 2) {
        s->imageMode = mode;
        if (mode != 0) s->shadeColour = 10;
        result = 1;
    } else if (s && mode == 3 && colour >= 10 && colour <= 16) {
        // A shade colour: normal view with the paper in that colour (10: none).
        s->imageMode = colour == 10 ? 0 : 3;
        s->shadeColour = colour;
        result = 1;
    }
    return Call("VSSetImageView")
        .Int("document", document)
        .Int("mode", mode)
        .Int("colour", colour)
        .Result(result);
}

int32_t VSGetTextFidelity(int32_t document) {
    Session* s = E().SessionOf(document);
    return Call("VSGetTextFidelity").Int("document", document).Result(s ? s->textFidelity : 0);
}

int32_t VSSetTextFidelity(int32_t document, int32_t fidelity) {
    Session* s = E().SessionOf(document);
    if (s) s->textFidelity = fidelity;
    return Call("VSSetTextFidelity").Int("document", document).Int("fidelity", fidelity).Result(s ? 1 : 0);
}

int32_t VSGetNumCopies(int32_t document) {
    Session* s = E().SessionOf(document);
    return Call("VSGetNumCopies").Int("document", document).Result(s ? s->copies : 0);
}

int32_t VSSetCopy(int32_t document, int32_t copies) {
    Session* s = E().SessionOf(document);
    if (s) s->copies = std::clamp(copies, 1, 999);
    return Call("VSSetCopy").Int("document", document).Int("copies", copies).Result(s ? 1 : 0);
}

int32_t VSSaveView(int32_t document, const char* name, const char* description, int32_t flags) {
    Call call("VSSaveView");
    call.Int("document", document).Text("view", name).Text("description", description).Int("flags", flags);
    EngineDocument* doc = E().Document(document);
    if (!doc) return call.Result(0);
    std::string viewName = Str(name), text = Str(description);
    if (viewName.empty()) {
        const auto answer = knvw::AskSaveView(doc->window);
        doc = E().Document(document);
        if (!answer || !doc) return call.Result(0);
        viewName = answer->name;
        text = answer->description;
    }
    const Session& s = *doc->session;
    knvw::SavedView view{viewName,    text,          s.GetView().Zoom(), s.GetView().Rotation(),
                         s.imageMode, s.shadeColour, s.GetView().XPos(), s.GetView().YPos()};
    return call.Result(knvw::StoreView(knvw::DefaultViewsPath(), view) ? 1 : 0);
}

int32_t VSGetView(int32_t document, const char* name) {
    Call call("VSGetView");
    call.Int("document", document).Text("view", name);
    EngineDocument* doc = E().Document(document);
    if (!doc) return call.Result(0);
    const std::string path = knvw::DefaultViewsPath();
    std::string viewName = Str(name);
    if (viewName.empty()) {
        std::vector<std::string> names;
        for (const auto& v : knvw::LoadViews(path)) names.push_back(v.name);
        const auto answer = knvw::AskGetView(doc->window, names);
        doc = E().Document(document);
        if (!answer || !doc) return call.Result(0);
        viewName = *answer;
    }
    const auto view = knvw::FindView(path, viewName);
    if (!view) return call.Result(0);
    ApplySavedView(*doc->session, *view);
    return call.Result(1);
}

int32_t VSResetView(int32_t document) {
    Session* s = E().SessionOf(document);
    if (s) ApplySavedView(*s, knvw::SavedView{});
    return Call("VSResetView").Int("document", document).Result(s ? 1 : 0);
}

int32_t VSScrollUp(int32_t document, int32_t request) {
    return Call("VSScrollUp")
        .Int("document", document)
        .Int("request", request)
        .Result(Scroll(document, true, false, request));
}
int32_t VSScrollDown(int32_t document, int32_t request) {
    return Call("VSScrollDown")
        .Int("document", document)
        .Int("request", request)
        .Result(Scroll(document, true, true, request));
}
int32_t VSScrollLeft(int32_t document, int32_t request) {
    return Call("VSScrollLeft")
        .Int("document", document)
        .Int("request", request)
        .Result(Scroll(document, false, false, request));
}
int32_t VSScrollRight(int32_t document, int32_t request) {
    return Call("VSScrollRight")
        .Int("document", document)
        .Int("request", request)
        .Result(Scroll(document, false, true, request));
}

int32_t VSThumbScroll(int32_t document, int32_t message, int32_t lParam, int32_t wParam) {
    Session* s = E().SessionOf(document);
    int32_t result = 1;
    if (s && (message == static_cast<int32_t>(WM_HSCROLL) || message == static_cast<int32_t>(WM_VSCROLL))) {
        const bool vertical = message == static_cast<int32_t>(WM_VSCROLL);
        const int request = WinLowWord(static_cast<uint32_t>(wParam));
        const int position = WinHighWord(static_cast<uint32_t>(wParam));
        knvw::View& v = s->GetView();
        bool moved = false;
        if (request == SB_THUMBPOSITION || request == SB_THUMBTRACK) {
            moved = v.ThumbTo(vertical, position);
        } else if (request == SB_TOP) {
            moved = v.ThumbTo(vertical, 0);
        } else if (request == SB_BOTTOM) {
            moved = v.ThumbTo(vertical, vertical ? v.VScrollRange() : v.HScrollRange());
        }
        result = moved ? 0 : 1;
    }
    return Call("VSThumbScroll")
        .Int("document", document)
        .Int("message", message)
        .Int("lParam", lParam)
        .Int("wParam", wParam)
        .Result(result);
}

int32_t VSGetHScrollPos(int32_t document) {
    Session* s = E().SessionOf(document);
    return Call("VSGetHScrollPos").Int("document", document).Result(s ? s->GetView().HScrollPos() : 0);
}
int32_t VSGetHScrollRange(int32_t document) {
    Session* s = E().SessionOf(document);
    return Call("VSGetHScrollRange").Int("document", document).Result(s ? s->GetView().HScrollRange() : 0);
}
int32_t VSGetVScrollPos(int32_t document) {
    Session* s = E().SessionOf(document);
    return Call("VSGetVScrollPos").Int("document", document).Result(s ? s->GetView().VScrollPos() : 0);
}
int32_t VSGetVScrollRange(int32_t document) {
    Session* s = E().SessionOf(document);
    return Call("VSGetVScrollRange").Int("document", document).Result(s ? s->GetView().VScrollRange() : 0);
}

int32_t VSFindString(int32_t document, const char* text, int32_t matchCase, int32_t wholeWord,
                     int32_t backward, int32_t reserved) {
    Call call("VSFindString");
    call.Int("document", document).Text("text", text).Int("matchCase", matchCase).Int("wholeWord", wholeWord);
    call.Int("backward", backward).Int("reserved", reserved);
    EngineDocument* doc = E().Document(document);
    if (!doc) return call.Result(KNVW_FIND_NOTHING);
    knvw::FindAnswer answer{Str(text), matchCase != 0, wholeWord != 0, backward != 0};
    if (answer.text.empty()) {
        const auto asked = knvw::AskFind(doc->window, lastFind);
        doc = E().Document(document);
        if (!asked || !doc) return call.Result(KNVW_FIND_NOTHING);
        answer = *asked;
    }
    lastFind = answer;
    FindQuery query;
    query.matchCase = answer.matchCase;
    query.wholeWord = answer.wholeWord;
    query.backward = answer.backward;
    if (!knvw::Utf8ToLatin1(answer.text, &query.text) || query.text.empty()) {
        return call.Text("searched", answer.text.c_str())
            .Result(KNVW_FIND_NOTHING);  // no such text in a page
    }
    call.Text("searched", answer.text.c_str());
    int want = -1;
    const int result = doc->session->Find(query, &want);
    return call.Result(FindResult(*doc, result, want, false));
}

int32_t VSFindNext(int32_t document, int32_t backward) {
    EngineDocument* doc = E().Document(document);
    int32_t result = KNVW_FIND_NOTHING;
    if (doc) {
        int want = -1;
        result = FindResult(*doc, doc->session->FindNext(backward != 0, &want), want, true);
    }
    return Call("VSFindNext").Int("document", document).Int("backward", backward).Result(result);
}

int32_t VSUndoFind(int32_t document) {
    EngineDocument* doc = E().Document(document);
    if (doc) {
        doc->session->UndoFind();
        if (knvw::ViewServer* server = E().Server(doc->server)) server->pendingSearch.erase(doc->instance);
    }
    return Call("VSUndoFind").Int("document", document).Result(doc ? 1 : 0);
}

int32_t VSFindAbort(int32_t viewServer, WinHandle window) {
    knvw::ViewServer* server = E().Server(viewServer);
    int32_t stopped = 0;
    if (server) {
        // The searches of the instances whose documents show in that window.
        for (auto& [handle, doc] : E().Documents()) {
            if (doc->server == viewServer && (window == 0 || doc->window == window)) {
                stopped += static_cast<int32_t>(server->pendingSearch.erase(doc->instance));
            }
        }
        if (window == 0) server->pendingSearch.clear();
    }
    return Call("VSFindAbort").Int("server", viewServer).Int("window", window).Result(stopped);
}

int32_t VSFindGroup(int32_t document, const char* group, const char* value) {
    EngineDocument* doc = E().Document(document);
    int32_t result = KNVW_FIND_NOTHING;
    if (doc && doc->pageIndex && value) {
        const int32_t page = INDEXSearchAttr(doc->pageIndex, group ? group : "", value, 1);
        if (page > 0 && MoveToPage(*doc, page)) result = KNVW_FIND_FOUND;
    }
    return Call("VSFindGroup")
        .Int("document", document)
        .Text("group", group)
        .Text("value", value)
        .Result(result);
}

int32_t VSSetNSPIInfo(int32_t document, void* instance, int32_t stringList, int32_t pageIndex,
                      int32_t totalPages, int32_t currentSegment, int32_t segmentCount,
                      int32_t pagesPerSegment, int32_t pagesInLastSegment, KnvwHitFindProc hitFind,
                      KnvwChangePageProc changePage) {
    Call call("VSSetNSPIInfo");
    call.Int("document", document).Int("list", stringList).Int("index", pageIndex).Int("total", totalPages);
    call.Int("segment", currentSegment).Int("segments", segmentCount).Int("perSegment", pagesPerSegment);
    call.Int("inLast", pagesInLastSegment);
    EngineDocument* doc = E().Document(document);
    if (!doc) return call.Result(0);
    doc->instance = instance;
    doc->stringList = stringList;
    doc->pageIndex = pageIndex;
    doc->changePage = changePage;
    doc->session->SetSegments(knvw::Segments{totalPages, currentSegment, segmentCount, pagesPerSegment});
    knvw::ViewServer* server = E().Server(doc->server);
    if (!server || !instance) return call.Result(1);
    // A page asked for earlier that this segment holds.
    if (auto page = server->pendingPage.find(instance); page != server->pendingPage.end()) {
        const int number = page->second;
        server->pendingPage.erase(page);
        int want = -1;
        doc->session->SetPageNumber(number, &want);
    }
    // A search that moved on to this segment.
    if (auto search = server->pendingSearch.find(instance); search != server->pendingSearch.end()) {
        const FindQuery query = search->second;
        server->pendingSearch.erase(search);
        int want = -1;
        const int result = doc->session->ContinueFind(query, &want);
        if (result == knvw::kFindStopped) {
            server->pendingSearch[instance] = query;
            AskForPage(*doc, want);
        } else if (hitFind) {
            hitFind(instance, result == knvw::kFindFound ? 1 : 0);
        }
        call.Int("search", result);
    }
    return call.Result(1);
}

int32_t VSSetTextSelMode(int32_t document, int32_t textMode) {
    Session* s = E().SessionOf(document);
    if (s) {
        s->textSelection = textMode != 0;
        s->ClearSelection();
    }
    return Call("VSSetTextSelMode").Int("document", document).Int("text", textMode).Result(s ? 1 : 0);
}

int32_t VSGetTextSelMode(int32_t document) {
    Session* s = E().SessionOf(document);
    return Call("VSGetTextSelMode").Int("document", document).Result(s && s->textSelection ? 1 : 0);
}

int32_t VSTextLButtonDown(int32_t document, int32_t position) {
    EngineDocument* doc = E().Document(document);
    const int x = WinPointX(position), y = WinPointY(position);
    const bool hadSelection = doc && doc->session->SelectedRange().second > 0;
    const bool started = doc && doc->session->textSelection && doc->session->SelectBegin(x, y);
    if (doc && (started || hadSelection)) RepaintSelection(*doc);
    return Call("VSTextLButtonDown")
        .Int("document", document)
        .Int("x", x)
        .Int("y", y)
        .Result(started ? 1 : 0);
}

int32_t VSTextMouseMove(int32_t document, int32_t position) {
    EngineDocument* doc = E().Document(document);
    const int x = WinPointX(position), y = WinPointY(position);
    if (doc && doc->session->Selecting()) {
        doc->session->SelectExtend(x, y);
        RepaintSelection(*doc);
    }
    return Call("VSTextMouseMove").Int("document", document).Int("x", x).Int("y", y).Result(doc ? 1 : 0);
}

int32_t VSTextLButtonUp(int32_t document, int32_t position) {
    EngineDocument* doc = E().Document(document);
    const int x = WinPointX(position), y = WinPointY(position);
    if (doc && doc->session->Selecting()) {
        doc->session->SelectEnd(x, y);
        RepaintSelection(*doc);
    }
    return Call("VSTextLButtonUp").Int("document", document).Int("x", x).Int("y", y).Result(doc ? 1 : 0);
}

char* VSTextGetTextBuffer(int32_t document) {
    Session* s = E().SessionOf(document);
    std::string text = s ? s->SelectedText() : std::string();
    char* buffer = nullptr;
    if (!text.empty()) {
        buffer = static_cast<char*>(std::malloc(text.size() + 1));
        if (buffer) std::memcpy(buffer, text.c_str(), text.size() + 1);
    }
    Call("VSTextGetTextBuffer")
        .Int("document", document)
        .Int("length", static_cast<long long>(text.size()))
        .Result(buffer ? 1 : 0);
    return buffer;
}

int32_t VSCopyText(int32_t document) {
    EngineDocument* doc = E().Document(document);
    bool done = false;
    if (doc && Win_OpenClipboard(doc->window)) {
        Win_EmptyClipboard();
        done = Win_SetClipboardText(doc->session->SelectedText());
        Win_CloseClipboard();
    }
    return Call("VSCopyText").Int("document", document).Result(done ? 1 : 0);
}

int32_t VSSetClipArea(int32_t document, int32_t left, int32_t top, int32_t right, int32_t bottom) {
    Session* s = E().SessionOf(document);
    if (s) s->SetClipArea(left, top, right, bottom);
    return Call("VSSetClipArea")
        .Int("document", document)
        .Int("left", left)
        .Int("top", top)
        .Int("right", right)
        .Int("bottom", bottom)
        .Result(s && s->ClipArea() ? 1 : 0);
}

int32_t VSGetClipArea(int32_t document, WinPoint* first, WinPoint* second) {
    Session* s = E().SessionOf(document);
    int x1 = 0, y1 = 0, x2 = 0, y2 = 0;
    const bool area = s && s->ClipCorners(&x1, &y1, &x2, &y2);
    if (first) *first = WinPoint{x1, y1};
    if (second) *second = WinPoint{x2, y2};
    return Call("VSGetClipArea")
        .Int("document", document)
        .Int("x1", x1)
        .Int("y1", y1)
        .Int("x2", x2)
        .Int("y2", y2)
        .Result(area ? 1 : 0);
}

int32_t VSScaleClipArea(int32_t document) {
    Session* s = E().SessionOf(document);
    return Call("VSScaleClipArea").Int("document", document).Result(s && s->ScaleClipArea() ? 0 : 1);
}

int32_t VSCopyBitmap(int32_t document, int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
    EngineDocument* doc = E().Document(document);
    const bool done = doc && knvw::CopyAreaToClipboard(*doc->session, doc->window, x1, y1, x2, y2);
    return Call("VSCopyBitmap")
        .Int("document", document)
        .Int("x1", x1)
        .Int("y1", y1)
        .Int("x2", x2)
        .Int("y2", y2)
        .Result(done ? 1 : 0);
}

int32_t VSPrint(int32_t document, int32_t mode, const char* driver, const char* device, const char* port,
                const WinPrinterSettings* settings, int32_t what, int32_t from, int32_t to, int32_t copies,
                int32_t scale, int32_t rotateToFit, int32_t shrinkToFit) {
    Call call("VSPrint");
    call.Int("document", document).Int("mode", mode).Text("driver", driver).Text("device", device);
    call.Text("port", port).Int("what", what).Int("from", from).Int("to", to).Int("copies", copies);
    call.Int("scale", scale).Int("rotateToFit", rotateToFit).Int("shrinkToFit", shrinkToFit);
    EngineDocument* doc = E().Document(document);
    if (!doc) return call.Result(0);
    Session& s = *doc->session;
    knvw::PrintJob job;
    job.device = Str(device);
    job.settings = settings;
    job.copies = copies > 0 ? copies : 1;
    job.scalePercent = scale > 0 ? scale : 100;
    job.rotateToFit = rotateToFit != 0;
    job.shrinkToFit = shrinkToFit != 0;
    job.title = DocumentTitle(doc->window);
    // Pages are this document's own (1-based); a range is cut to what it holds.
    int first = 0, last = s.PageCount() - 1;
    if (what == KNVW_PRINT_CURRENT) {
        first = last = s.CurrentIndex();
    } else if (what == KNVW_PRINT_RANGE) {
        first = std::max(1, from & 0xFFFF) - 1;
        last = std::min(s.PageCount(), to & 0xFFFF) - 1;
    } else if (what != KNVW_PRINT_ALL) {
        return call.Result(0);
    }
    for (int p = first; p <= last; ++p) job.pages.push_back(p);
    return call.Result(knvw::PrintPages(s, job));
}

int32_t VSExtractPages(int32_t document, const char* outputPath, int32_t from, int32_t to) {
    Session* s = E().SessionOf(document);
    int32_t written = 0;
    if (s && outputPath) {
        const bool all = from == 0 && to == 0;
        written = knvw::ExtractText(*s, outputPath, all ? 0 : from - 1, all ? s->PageCount() - 1 : to - 1);
    }
    return Call("VSExtractPages")
        .Int("document", document)
        .Text("path", outputPath)
        .Int("from", from)
        .Int("to", to)
        .Result(written);
}

}  // extern "C"
