// npp.cpp - the instance handlers the browser calls, and the exported entry points.
#include <cstring>
#include <new>

#include "document.h"
#include "plugin_state.h"
#include "plugin_windows.h"
#include "view.h"

namespace zyp {
namespace {

constexpr int32_t kWriteReady = 0x0FFFFFFF;

PluginInstance* InstanceOf(NPP npp) { return npp ? static_cast<PluginInstance*>(npp->pdata) : nullptr; }

NPError NPP_New(NPMIMEType, NPP npp, uint16_t mode, int16_t, char*[], char*[], NPSavedData*) {
    if (!npp) return NPERR_INVALID_INSTANCE_ERROR;
    // The record lives in the browser's memory, so the browser sees it when it counts.
    void* memory = BrowserAlloc(sizeof(PluginInstance));
    if (!memory) return NPERR_OUT_OF_MEMORY_ERROR;
    std::memset(memory, 0, sizeof(PluginInstance));
    auto* in = new (memory) PluginInstance;
    in->npp = npp;
    in->mode = mode;
    npp->pdata = in;
    return NPERR_NO_ERROR;
}

NPError NPP_Destroy(NPP npp, NPSavedData**) {
    PluginInstance* in = InstanceOf(npp);
    if (!in) return NPERR_INVALID_INSTANCE_ERROR;
    DeleteDeliveredFile(*in);
    DetachWindows(*in);
    ReleaseDocument(*in);
    in->~PluginInstance();
    BrowserFree(in);
    npp->pdata = nullptr;
    return NPERR_NO_ERROR;
}

NPError NPP_SetWindow(NPP npp, NPWindow* window) {
    PluginInstance* in = InstanceOf(npp);
    if (!in) return NPERR_INVALID_INSTANCE_ERROR;
    auto browser = window ? static_cast<WinHandle>(reinterpret_cast<uintptr_t>(window->window)) : 0;
    if (!browser) {
        DetachWindows(*in);
        return NPERR_NO_ERROR;
    }
    if (browser == in->browserWindow && in->outerWindow) {
        LayoutWindows(*in);
        return NPERR_NO_ERROR;
    }
    if (!Win_IsWindow(browser) || !AttachWindows(*in, browser)) {
        DetachWindows(*in);
        return NPERR_GENERIC_ERROR;
    }
    if (in->HasImage()) ShowPage(*in, in->geometry.page);
    return NPERR_NO_ERROR;
}

NPError NPP_NewStream(NPP npp, NPMIMEType, NPStream*, uint8_t, uint16_t* stype) {
    if (!InstanceOf(npp)) return NPERR_INVALID_INSTANCE_ERROR;
    if (stype) *stype = NP_ASFILEONLY;
    return NPERR_NO_ERROR;
}

NPError NPP_DestroyStream(NPP npp, NPStream*, NPReason) {
    return InstanceOf(npp) ? NPERR_NO_ERROR : NPERR_INVALID_INSTANCE_ERROR;
}

void NPP_StreamAsFile(NPP npp, NPStream*, const char* fileName) {
    PluginInstance* in = InstanceOf(npp);
    if (in) OpenDeliveredFile(*in, fileName);
}

int32_t NPP_WriteReady(NPP, NPStream*) { return kWriteReady; }
int32_t NPP_Write(NPP, NPStream*, int32_t, int32_t len, void*) { return len; }

void NPP_Print(NPP npp, void*) {
    PluginInstance* in = InstanceOf(npp);
    if (in && in->viewWindow) Win_SendMessage(in->viewWindow, WM_COMMAND, kCmdPrint, 0);
}

void NPP_URLNotify(NPP, const char*, NPReason, void*) {}

}  // namespace
}  // namespace zyp

extern "C" {

__attribute__((visibility("default"))) NPError NP_GetEntryPoints(NPPluginFuncs* table) {
    if (!table) return NPERR_INVALID_FUNCTABLE_ERROR;
    table->version = (NP_VERSION_MAJOR << 8) | NP_VERSION_MINOR;
    table->newp = zyp::NPP_New;
    table->destroy = zyp::NPP_Destroy;
    table->setwindow = zyp::NPP_SetWindow;
    table->newstream = zyp::NPP_NewStream;
    table->destroystream = zyp::NPP_DestroyStream;
    table->asfile = zyp::NPP_StreamAsFile;
    table->writeready = zyp::NPP_WriteReady;
    table->write = zyp::NPP_Write;
    table->print = zyp::NPP_Print;
    table->event = nullptr;
    zyp::State().pluginTable = table;
    return NPERR_NO_ERROR;
}

__attribute__((visibility("default"))) NPError NP_Initialize(NPNetscapeFuncs* browser) {
    if (!browser) return NPERR_INVALID_FUNCTABLE_ERROR;
    if ((browser->version >> 8) > NP_VERSION_MAJOR) return NPERR_INCOMPATIBLE_VERSION_ERROR;
    zyp::PluginState& state = zyp::State();
    state.browser = browser;
    if ((browser->version & 0xFF) > 8 && state.pluginTable) {
        state.pluginTable->urlnotify = zyp::NPP_URLNotify;
        state.pluginTable->javaClass = nullptr;
    }
    NPError rc = zyp::PluginInitialize();
    if (rc != NPERR_NO_ERROR) state.browser = nullptr;
    return rc;
}

__attribute__((visibility("default"))) NPError NP_Shutdown(void) {
    zyp::PluginShutdown();
    zyp::State().browser = nullptr;
    return NPERR_NO_ERROR;
}

}  // extern "C"
