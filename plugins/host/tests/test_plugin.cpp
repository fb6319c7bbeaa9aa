// A plug-in for the host's tests: it uses every browser function and stream step and
// writes what it received into the directory named by its argument "out":
// "calls.txt" (the browser's answers), "stream-N" (each delivered document) and
// "files.txt" (the path of each file handed to StreamAsFile, one a line).
// Arguments: out, stype (1 normal, 3 as file), url (GetURL target), post (PostURL
// target), body (posted form data), leak (1: one block is never freed).
// Commands to its window: 1 GetURL, 2 GetURLNotify, 3 PostURL, 4 PostURLNotify,
// 5 message box, 6 popup menu, 7 copy to the clipboard, 8 a PostURL with a broken header,
// 9 GetURL(Notify) into another window, 10 PostURL of a file, 11 the dialog "Ask" (edit
// 100, radio buttons Small 101 and Large 102, OK 1, Cancel 2), 12 print through the print dialog. Argument
// refuse=1: every stream is refused.
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <map>
#include <new>
#include <string>

#include "qel_npapi.h"
#include "qel_win.h"

namespace {

NPNetscapeFuncs* browser = nullptr;
NPPluginFuncs* table = nullptr;
NPP current = nullptr;

struct Instance {
    std::map<std::string, std::string> args;
    WinHandle view = 0;
    int streams = 0;
    std::string normalData;
    std::string typed;
    void* leaked = nullptr;
};

Instance* Of(NPP npp) { return npp != nullptr ? static_cast<Instance*>(npp->pdata) : nullptr; }

std::string Arg(NPP npp, const char* name) {
    Instance* self = Of(npp);
    if (self == nullptr) return "";
    auto it = self->args.find(name);
    return it == self->args.end() ? "" : it->second;
}

void Status(const std::string& text) { browser->status(current, text.c_str()); }

bool HasNotify() {
    return browser->size > offsetof(NPNetscapeFuncs, geturlnotify) && (browser->version & 0xFF) >= 9 &&
           browser->geturlnotify != nullptr;
}

void WriteOut(NPP npp, const std::string& name, const std::string& data, const char* mode = "wb") {
    std::string dir = Arg(npp, "out");
    if (dir.empty()) return;
    FILE* f = std::fopen((dir + "/" + name).c_str(), mode);
    if (f == nullptr) return;
    std::fwrite(data.data(), 1, data.size(), f);
    std::fclose(f);
}

std::string ReadAll(const char* path) {
    std::string data;
    FILE* f = std::fopen(path, "rb");
    if (f == nullptr) return data;
    char buffer[4096];
    size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, f)) > 0) data.append(buffer, got);
    std::fclose(f);
    return data;
}

int marker = 0;

void Post(NPP npp, bool notify, const std::string& buffer) {
    std::string url = Arg(npp, "post");
    NPError result =
        notify && HasNotify()
            ? browser->posturlnotify(npp, url.c_str(), nullptr, static_cast<uint32_t>(buffer.size()),
                                     buffer.data(), 0, &marker)
            : browser->posturl(npp, url.c_str(), nullptr, static_cast<uint32_t>(buffer.size()), buffer.data(),
                               0);
    Status("post " + std::to_string(result));
}

const WinNamedText dialogs[] = {{"Ask",
                                 "DIALOG 0 0 120 60\n"
                                 "STYLE popup|caption\n"
                                 "CAPTION \"Ask\"\n"
                                 "CONTROL EDIT 100 5 5 100 12 tabstop \"\"\n"
                                 "CONTROL BUTTON 101 5 18 40 10 autoradiobutton|group \"Small\"\n"
                                 "CONTROL BUTTON 102 50 18 40 10 autoradiobutton \"Large\"\n"
                                 "CONTROL BUTTON 1 5 30 40 14 defpushbutton \"OK\"\n"
                                 "CONTROL BUTTON 2 50 30 40 14 pushbutton \"Cancel\"\n"}};
const WinResourceTable resources = {nullptr, 0, nullptr, 0, dialogs, 1, nullptr, 0};
WinModule* module = nullptr;
std::string answer;

intptr_t AskProc(WinHandle dialog, uint32_t message, uintptr_t wParam, intptr_t) {
    if (message == WM_INITDIALOG) return 1;
    if (message == WM_COMMAND && (WinLowWord(wParam) == IDOK || WinLowWord(wParam) == IDCANCEL)) {
        answer = WinLowWord(wParam) == IDOK ? Win_GetDlgItemText(dialog, 100) : "";
        if (WinLowWord(wParam) == IDOK && Win_IsDlgButtonChecked(dialog, 102) == BST_CHECKED)
            answer += " large";
        Win_EndDialog(dialog, WinLowWord(wParam));
        return 1;
    }
    return 0;
}

// The print dialog, then one page per page asked for; "printed FILE from-to copies".
std::string PrintPage(WinHandle window) {
    WinPrintDialog print;
    print.owner = window;
    print.flags = PD_RETURNDC;
    print.maxPage = 5;
    print.toPage = 5;
    if (!Win_PrintDialog(&print) || print.dc == nullptr) return "print cancelled";
    int from = (print.flags & PD_PAGENUMS) ? print.fromPage : 1,
        to = (print.flags & PD_PAGENUMS) ? print.toPage : 5;
    Win_StartDoc(print.dc, "test");
    for (int page = from; page <= to; ++page) {
        Win_StartPage(print.dc);
        Win_TextOut(print.dc, 10, 10, "page " + std::to_string(page));
        Win_EndPage(print.dc);
    }
    Win_EndDoc(print.dc);
    std::string file = Win_LastPrintFile(print.dc);
    Win_DeleteDC(print.dc);
    return "printed " + file + " " + std::to_string(from) + "-" + std::to_string(to) + " " +
           std::to_string(print.copies);
}

intptr_t ViewProc(WinHandle window, uint32_t message, uintptr_t wParam, intptr_t lParam) {
    NPP npp = current;
    Instance* self = Of(npp);
    if (self == nullptr) return Win_DefWindowProc(window, message, wParam, lParam);
    switch (message) {
        case WM_COMMAND: {
            std::string url = Arg(npp, "url");
            std::string body = Arg(npp, "body");
            std::string form = "Content-Type: application/x-www-form-urlencoded\nContent-Length: " +
                               std::to_string(body.size()) + "\n\n" + body;
            switch (WinLowWord(wParam)) {
                case 1: Status("get " + std::to_string(browser->geturl(npp, url.c_str(), nullptr))); break;
                case 2:
                    if (HasNotify()) {
                        Status("get " +
                               std::to_string(browser->geturlnotify(npp, url.c_str(), nullptr, &marker)));
                    } else {
                        Status("get " + std::to_string(browser->geturl(npp, url.c_str(), nullptr)));
                    }
                    break;
                case 3: Post(npp, false, form); break;
                case 4: Post(npp, true, form); break;
                case 5:
                    Status("box " + std::to_string(Win_MessageBox(window, "Save?", "Test", MB_YESNOCANCEL)));
                    break;
                case 6: {
                    WinMenu menu = Win_CreatePopupMenu();
                    Win_AppendMenu(menu, MF_STRING, 900, "Item");
                    uint32_t chosen = Win_TrackPopupMenu(menu, 0, 0, 0, window);
                    Win_DestroyMenu(menu);
                    Status("menu " + std::to_string(chosen));
                    break;
                }
                case 7:
                    Win_OpenClipboard(window);
                    Win_EmptyClipboard();
                    Win_SetClipboardText("copied text");
                    Win_CloseClipboard();
                    break;
                case 8: Post(npp, false, "Content-Type: text/plain\rX-Injected: yes\n\nbody"); break;
                case 9:
                    Status("get " +
                           std::to_string(HasNotify()
                                              ? browser->geturlnotify(npp, url.c_str(), "_blank", &marker)
                                              : browser->geturl(npp, url.c_str(), "_blank")));
                    break;
                case 10: {
                    std::string name = Arg(npp, "out") + "/calls.txt";
                    Status("post " + std::to_string(browser->posturl(npp, Arg(npp, "post").c_str(), nullptr,
                                                                     static_cast<uint32_t>(name.size()),
                                                                     name.c_str(), 1)));
                    break;
                }
                case 11: {
                    intptr_t result = Win_DialogBox(module, "Ask", window, AskProc, 0);
                    Status("dialog " + std::to_string(result) + " [" + answer + "]");
                    break;
                }
                case 12: Status(PrintPage(window)); break;
                default: Status("command " + std::to_string(WinLowWord(wParam))); break;
            }
            return 0;
        }
        case WM_LBUTTONDOWN:
            Status("down " + std::to_string(WinPointX(lParam)) + " " + std::to_string(WinPointY(lParam)));
            return 0;
        case WM_RBUTTONDOWN:
            Status("right " + std::to_string(WinPointX(lParam)) + " " + std::to_string(WinPointY(lParam)));
            return 0;
        case WM_LBUTTONDBLCLK: Status("double"); return 0;
        case WM_KEYDOWN: Status("key " + std::to_string(wParam)); return 0;
        case WM_CHAR:
            if (wParam < 0x20) return 0;  // control keys show as WM_KEYDOWN
            self->typed += static_cast<char>(wParam);
            Status("typed " + self->typed);
            return 0;
    }
    return Win_DefWindowProc(window, message, wParam, lParam);
}

// Every browser function outside requests, once; the answers go to calls.txt.
void ProbeBrowser(NPP npp) {
    std::string calls;
    calls += std::string("agent ") + browser->uagent(npp) + "\n";
    void* block = browser->memalloc(32);
    calls += std::string("memalloc ") + (block != nullptr ? "ok" : "null") + "\n";
    browser->memfree(block);
    calls += "memflush " + std::to_string(browser->memflush(1024)) + "\n";
    browser->reloadplugins(0);
    calls += std::string("javaenv ") + (browser->getJavaEnv() == nullptr ? "none" : "some") + "\n";
    calls += std::string("javapeer ") + (browser->getJavaPeer(npp) == nullptr ? "none" : "some") + "\n";
    calls += "requestread " + std::to_string(browser->requestread(nullptr, nullptr)) + "\n";
    NPStream* made = nullptr;
    char type[] = "text/plain";
    calls += "newstream " + std::to_string(browser->newstream(npp, type, "_blank", &made)) + "\n";
    calls += "write " + std::to_string(browser->write(npp, made, 0, nullptr)) + "\n";
    calls += "destroystream " + std::to_string(browser->destroystream(npp, made, NPRES_DONE)) + "\n";
    calls += "version " + std::to_string(browser->version) + " notify " + (HasNotify() ? "yes" : "no") + "\n";
    calls += "size " + std::to_string(browser->size) + "\n";
    NPP_t foreign{};
    calls += "foreign " + std::to_string(browser->geturl(&foreign, "file:/x", nullptr)) + "\n";
    calls += "emptyurl " + std::to_string(browser->geturl(npp, "", nullptr)) + "\n";
    browser->memfree(&marker);  // not the browser's block: must be refused, not freed
    WriteOut(npp, "calls.txt", calls);
}

NPError New(NPMIMEType, NPP npp, uint16_t, int16_t argc, char* argn[], char* argv[], NPSavedData*) {
    if (npp == nullptr) return NPERR_INVALID_INSTANCE_ERROR;
    void* block = browser->memalloc(sizeof(Instance));
    if (block == nullptr) return NPERR_OUT_OF_MEMORY_ERROR;
    Instance* self = new (block) Instance();
    for (int i = 0; i < argc; ++i) self->args[argn[i]] = argv[i];
    npp->pdata = self;
    current = npp;
    if (Arg(npp, "leak") == "1") self->leaked = browser->memalloc(16);
    return NPERR_NO_ERROR;
}

NPError Destroy(NPP npp, NPSavedData**) {
    Instance* self = Of(npp);
    if (self == nullptr) return NPERR_INVALID_INSTANCE_ERROR;
    if (self->view != 0) Win_DestroyWindow(self->view);
    self->~Instance();
    browser->memfree(self);
    npp->pdata = nullptr;
    current = nullptr;
    return NPERR_NO_ERROR;
}

NPError SetWindow(NPP npp, NPWindow* window) {
    Instance* self = Of(npp);
    if (self == nullptr) return NPERR_INVALID_INSTANCE_ERROR;
    WinHandle parent = static_cast<WinHandle>(reinterpret_cast<uintptr_t>(window->window));
    int width = static_cast<int>(window->width), height = static_cast<int>(window->height);
    if (self->view == 0) {
        self->view = Win_CreateWindow("QelTestPluginView", "", WS_CHILD | WS_VISIBLE, 0, 0, width, height,
                                      parent, 1, nullptr);
        if (self->view == 0) return NPERR_GENERIC_ERROR;
        ProbeBrowser(npp);
    } else {
        Win_MoveWindow(self->view, 0, 0, width, height, true);
    }
    Status("size " + std::to_string(width) + " " + std::to_string(height));
    return NPERR_NO_ERROR;
}

NPError NewStream(NPP npp, NPMIMEType type, NPStream* stream, uint8_t, uint16_t* stype) {
    Instance* self = Of(npp);
    if (self == nullptr) return NPERR_INVALID_INSTANCE_ERROR;
    self->normalData.clear();
    if (Arg(npp, "refuse") == "1") return NPERR_GENERIC_ERROR;
    *stype = Arg(npp, "stype") == "1" ? NP_NORMAL : NP_ASFILEONLY;
    Status(std::string("stream ") + type + " " + stream->url);
    return NPERR_NO_ERROR;
}

int32_t WriteReady(NPP, NPStream*) { return 1000; }

int32_t Write(NPP npp, NPStream*, int32_t offset, int32_t len, void* buffer) {
    Instance* self = Of(npp);
    if (self == nullptr || offset != static_cast<int32_t>(self->normalData.size())) return -1;
    self->normalData.append(static_cast<const char*>(buffer), static_cast<size_t>(len));
    return len;
}

void StreamAsFile(NPP npp, NPStream*, const char* fname) {
    Instance* self = Of(npp);
    if (self == nullptr || fname == nullptr) return;
    WriteOut(npp, "stream-" + std::to_string(++self->streams), ReadAll(fname));
    WriteOut(npp, "files.txt", std::string(fname) + "\n", "ab");
}

NPError DestroyStream(NPP npp, NPStream*, NPReason reason) {
    Instance* self = Of(npp);
    if (self == nullptr) return NPERR_INVALID_INSTANCE_ERROR;
    if (reason == NPRES_DONE && Arg(npp, "stype") == "1") {
        WriteOut(npp, "stream-" + std::to_string(++self->streams), self->normalData);
    }
    Status("end " + std::to_string(reason));
    return NPERR_NO_ERROR;
}

void Print(NPP, void*) {}

void UrlNotify(NPP npp, const char* url, NPReason reason, void* data) {
    if (Of(npp) == nullptr) return;
    Status("notify " + std::to_string(reason) + (data == &marker ? " marked " : " unmarked ") + url);
}

}  // namespace

extern "C" __attribute__((visibility("default"))) NPError NP_GetEntryPoints(NPPluginFuncs* funcs) {
    if (funcs == nullptr) return NPERR_INVALID_FUNCTABLE_ERROR;
    funcs->version = 9;
    funcs->newp = New;
    funcs->destroy = Destroy;
    funcs->setwindow = SetWindow;
    funcs->newstream = NewStream;
    funcs->destroystream = DestroyStream;
    funcs->asfile = StreamAsFile;
    funcs->writeready = WriteReady;
    funcs->write = Write;
    funcs->print = Print;
    funcs->event = nullptr;
    table = funcs;
    return NPERR_NO_ERROR;
}

extern "C" __attribute__((visibility("default"))) NPError NP_Initialize(NPNetscapeFuncs* funcs) {
    if (funcs == nullptr) return NPERR_INVALID_FUNCTABLE_ERROR;
    if ((funcs->version >> 8) > 0) return NPERR_INCOMPATIBLE_VERSION_ERROR;
    browser = funcs;
    if ((funcs->version & 0xFF) > 8 && table != nullptr) table->urlnotify = UrlNotify;
    module = Win_ModuleFromTable(&resources);
    WinClass view;
    view.name = "QelTestPluginView";
    view.procedure = ViewProc;
    return Win_RegisterClass(view) ? NPERR_NO_ERROR : NPERR_GENERIC_ERROR;
}

extern "C" __attribute__((visibility("default"))) NPError NP_Shutdown() {
    Win_UnregisterClass("QelTestPluginView");
    Win_FreeModule(module);
    module = nullptr;
    browser = nullptr;
    return NPERR_NO_ERROR;
}
