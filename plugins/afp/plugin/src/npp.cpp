// The three exported entry points and the per-instance operations the browser calls.
#include <new>

#include "controls.h"
#include "viewer.h"

#define NP_EXPORT extern "C" __attribute__((visibility("default")))

namespace afpview {

namespace {

constexpr const char* kInstanceProperty = "instance->pdata";

WoxPiInstance* Of(NPP npp) { return npp != nullptr ? static_cast<WoxPiInstance*>(npp->pdata) : nullptr; }

// The browser window's procedure while we live in it: sizes reach our windows.
intptr_t BrowserWndProc(WinHandle window, uint32_t message, uintptr_t wParam, intptr_t lParam) {
    auto* instance = reinterpret_cast<WoxPiInstance*>(Win_GetProp(window, kInstanceProperty));
    if (instance == nullptr) return 0;
    if (message == WM_SIZE) {
        WoxPiResizeWindows(instance, WinLowWord(static_cast<uintptr_t>(lParam)),
                           WinHighWord(static_cast<uintptr_t>(lParam)));
        return 0;
    }
    return Win_CallWindowProc(instance->previousProc, window, message, wParam, lParam);
}

NPError New(NPMIMEType, NPP npp, uint16_t mode, int16_t, char*[], char*[], NPSavedData*) {
    if (npp == nullptr) return NPERR_INVALID_INSTANCE_ERROR;
    void* block = BrowserAlloc(sizeof(WoxPiInstance));
    if (block == nullptr) return NPERR_OUT_OF_MEMORY_ERROR;
    auto* instance = new (block) WoxPiInstance();
    instance->mode = mode;
    instance->npp = npp;
    if (!MakeInstanceDirectory(*instance)) {
        instance->~WoxPiInstance();
        BrowserFree(block);
        return NPERR_GENERIC_ERROR;
    }
    WoxPiInitInstance(instance);
    npp->pdata = instance;
    return NPERR_NO_ERROR;
}

NPError Destroy(NPP npp, NPSavedData**) {
    WoxPiInstance* instance = Of(npp);
    if (instance == nullptr) return NPERR_INVALID_INSTANCE_ERROR;
    if (instance->attached) {
        WoxPiCloseDocument(instance);
        ReleaseDocumentData(*instance);
        for (WinHandle window : {instance->view, instance->toolbar, instance->outer}) {
            if (window != 0 && Win_IsWindow(window)) Win_DestroyWindow(window);
        }
        if (Win_IsWindow(instance->browserWindow)) {
            Win_SetWindowProc(instance->browserWindow, instance->previousProc);
            Win_RemoveProp(instance->browserWindow, kInstanceProperty);
        }
    }
    if (instance->menu != 0) Win_DestroyMenu(instance->menu);
    RemoveInstanceDirectory(*instance);
    npp->pdata = nullptr;
    instance->~WoxPiInstance();
    BrowserFree(instance);
    return NPERR_NO_ERROR;
}

NPError SetWindow(NPP npp, NPWindow* window) {
    WoxPiInstance* instance = Of(npp);
    if (instance == nullptr) return NPERR_INVALID_INSTANCE_ERROR;
    if (instance->attached) return NPERR_NO_ERROR;
    if (window == nullptr || window->window == nullptr) return NPERR_NO_ERROR;
    const auto handle = static_cast<WinHandle>(reinterpret_cast<uintptr_t>(window->window));
    if (!Win_IsWindow(handle)) return NPERR_GENERIC_ERROR;
    instance->browserWindow = handle;
    instance->previousProc = Win_SetWindowProc(handle, BrowserWndProc);
    Win_SetProp(handle, kInstanceProperty, reinterpret_cast<intptr_t>(instance));
    instance->attached = true;
    const int made = WoxPiCreateWindows(instance);
    Win_InvalidateRect(handle, nullptr, true);
    return made ? NPERR_NO_ERROR : NPERR_GENERIC_ERROR;
}

NPError NewStream(NPP npp, NPMIMEType, NPStream*, uint8_t, uint16_t* stype) {
    if (Of(npp) == nullptr) return NPERR_INVALID_INSTANCE_ERROR;
    if (stype != nullptr) *stype = NP_ASFILE;
    return NPERR_NO_ERROR;
}

NPError DestroyStream(NPP npp, NPStream*, NPReason) {
    return Of(npp) == nullptr ? NPERR_INVALID_INSTANCE_ERROR : NPERR_NO_ERROR;
}

void StreamAsFile(NPP npp, NPStream*, const char* file) {
    WoxPiInstance* instance = Of(npp);
    if (instance == nullptr) return;
    if (file == nullptr || *file == '\0') {
        ShowResourceMessage(instance->browserWindow, 1200, "");
        return;
    }
    ReceiveFile(*instance, file);
}

int32_t WriteReady(NPP, NPStream*) { return 0x0FFFFFFF; }
int32_t Write(NPP, NPStream*, int32_t, int32_t length, void*) { return length; }

void Print(NPP npp, void*) {
    WoxPiInstance* instance = Of(npp);
    if (instance == nullptr) return;
    Win_MessageBox(instance->browserWindow, ResourceText(1014), ResourceText(1011), MB_OK);
}

void UrlNotify(NPP npp, const char*, NPReason reason, void*) {
    WoxPiInstance* instance = Of(npp);
    if (instance == nullptr || reason != NPRES_USER_BREAK) return;
    afp::SplitInstance& split = instance->split;
    if (split.requestPending) split.currentSegment = split.previousSegment;
    split.requestPending = false;
    // The transfer is gone: no further segment will arrive to end a collection.
    if (split.fetching) AbandonCollection(*instance);
    if (instance->stopShown && instance->view != 0) Win_SendMessage(instance->view, WM_COMMAND, kCmdStop, 0);
    if (instance->document != 0) {
        SetNavigationInfo(*instance);
        Plugin().api.VSSetCurrentPage(instance->document, instance->currentPage);
    }
}

}  // namespace

}  // namespace afpview

using namespace afpview;

NP_EXPORT NPError NP_GetEntryPoints(NPPluginFuncs* funcs) {
    if (funcs == nullptr) return NPERR_INVALID_FUNCTABLE_ERROR;
    funcs->version = (NP_VERSION_MAJOR << 8) | NP_VERSION_MINOR;
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
    funcs->urlnotify = nullptr;
    funcs->javaClass = nullptr;
    Plugin().pluginFuncs = funcs;
    return NPERR_NO_ERROR;
}

NP_EXPORT NPError NP_Initialize(NPNetscapeFuncs* browser) {
    if (browser == nullptr) return NPERR_INVALID_FUNCTABLE_ERROR;
    Plugin().browser = browser;
    if ((browser->version >> 8) > NP_VERSION_MAJOR) return NPERR_INCOMPATIBLE_VERSION_ERROR;
    Plugin().browserMinor = browser->version & 0xFF;
    if (Plugin().browserMinor > 8 && Plugin().pluginFuncs != nullptr) {
        Plugin().pluginFuncs->urlnotify = UrlNotify;
        Plugin().pluginFuncs->javaClass = nullptr;  // no Java class
    }
    return WoxPiInitPlugin() ? NPERR_NO_ERROR : NPERR_GENERIC_ERROR;
}

NP_EXPORT NPError NP_Shutdown() {
    ShutDown();
    Plugin().browser = nullptr;
    return NPERR_NO_ERROR;
}
