#include "browser_funcs.h"

#include <cstddef>

#include "event_log.h"
#include "viewer_host.h"

namespace {

constexpr NPError kBadInstance = NPERR_INVALID_INSTANCE_ERROR;
constexpr NPError kGeneric = NPERR_GENERIC_ERROR;
constexpr NPError kInvalidParam = NPERR_INVALID_PARAM;

void LogCall(const char* call, const JsonFields& fields) { LogNamedEvent("browser", "call", call, fields); }

ViewerHost* HostFor(NPP instance) {
    ViewerHost* host = ViewerHost::Current();
    return (host != nullptr && host->OwnInstance(instance)) ? host : nullptr;
}

NPError GetUrl(NPP instance, const char* url, const char* window) {
    ViewerHost* host = HostFor(instance);
    NPError result = host ? host->GetUrl(instance, url, window, false, nullptr) : kBadInstance;
    LogCall("NPN_GetURL", JsonFields().Add("url", url).Add("window", window).Add("result", result));
    return result;
}

NPError GetUrlNotify(NPP instance, const char* url, const char* window, void* notifyData) {
    ViewerHost* host = HostFor(instance);
    NPError result = host ? host->GetUrl(instance, url, window, true, notifyData) : kBadInstance;
    LogCall("NPN_GetURLNotify", JsonFields().Add("url", url).Add("window", window).Add("result", result));
    return result;
}

NPError PostUrl(NPP instance, const char* url, const char* window, uint32_t len, const char* buf,
                uint8_t file) {
    ViewerHost* host = HostFor(instance);
    NPError result =
        host ? host->PostUrl(instance, url, window, len, buf, file, false, nullptr) : kBadInstance;
    LogCall("NPN_PostURL",
            JsonFields().Add("url", url).Add("window", window).Add("length", len).Add("result", result));
    return result;
}

NPError PostUrlNotify(NPP instance, const char* url, const char* window, uint32_t len, const char* buf,
                      uint8_t file, void* notifyData) {
    ViewerHost* host = HostFor(instance);
    NPError result =
        host ? host->PostUrl(instance, url, window, len, buf, file, true, notifyData) : kBadInstance;
    LogCall("NPN_PostURLNotify",
            JsonFields().Add("url", url).Add("window", window).Add("length", len).Add("result", result));
    return result;
}

// Streams are the browser's to give: byte ranges and streams made by the plug-in are refused.
NPError RequestRead(NPStream*, NPByteRange*) {
    LogCall("NPN_RequestRead", JsonFields().Add("result", NPERR_STREAM_NOT_SEEKABLE));
    return NPERR_STREAM_NOT_SEEKABLE;
}

NPError NewStream(NPP instance, NPMIMEType type, const char* window, NPStream** stream) {
    if (stream != nullptr) *stream = nullptr;
    NPError result = HostFor(instance) ? kGeneric : kBadInstance;
    LogCall("NPN_NewStream", JsonFields().Add("type", type).Add("window", window).Add("result", result));
    return result;
}

int32_t Write(NPP, NPStream*, int32_t len, void*) {
    LogCall("NPN_Write", JsonFields().Add("length", len).Add("result", -1));
    return -1;
}

NPError DestroyStream(NPP instance, NPStream*, NPReason reason) {
    NPError result = HostFor(instance) ? kInvalidParam : kBadInstance;
    LogCall("NPN_DestroyStream", JsonFields().Add("reason", reason).Add("result", result));
    return result;
}

void Status(NPP instance, const char* message) {
    ViewerHost* host = HostFor(instance);
    LogCall("NPN_Status", JsonFields().Add("text", message).Add("known", host != nullptr ? 1 : 0));
    if (host != nullptr) host->Status(instance, message);
}

const char* UserAgent(NPP) {
    ViewerHost* host = ViewerHost::Current();
    const char* agent = host != nullptr ? host->UserAgent() : "qelview";
    LogCall("NPN_UserAgent", JsonFields().Add("result", agent));
    return agent;
}

void* MemAlloc(uint32_t size) {
    ViewerHost* host = ViewerHost::Current();
    void* block = host != nullptr ? host->MemAlloc(size) : nullptr;
    LogCall("NPN_MemAlloc", JsonFields().Add("size", size).Add("ok", block != nullptr ? 1 : 0));
    return block;
}

void MemFree(void* block) {
    LogCall("NPN_MemFree", JsonFields());
    ViewerHost* host = ViewerHost::Current();
    if (host != nullptr) host->MemFree(block);
}

uint32_t MemFlush(uint32_t size) {
    LogCall("NPN_MemFlush", JsonFields().Add("size", size).Add("result", 0));
    return 0;
}

void ReloadPlugins(uint8_t reloadPages) {
    LogCall("NPN_ReloadPlugins", JsonFields().Add("reloadPages", reloadPages));
}

void* GetJavaEnv() {
    LogCall("NPN_GetJavaEnv", JsonFields());
    return nullptr;
}

void* GetJavaPeer(NPP) {
    LogCall("NPN_GetJavaPeer", JsonFields());
    return nullptr;
}

}  // namespace

void FillBrowserFuncs(NPNetscapeFuncs* funcs, int minor) {
    *funcs = NPNetscapeFuncs();
    funcs->version = static_cast<uint16_t>((NP_VERSION_MAJOR << 8) | minor);
    funcs->geturl = GetUrl;
    funcs->posturl = PostUrl;
    funcs->requestread = RequestRead;
    funcs->newstream = NewStream;
    funcs->write = Write;
    funcs->destroystream = DestroyStream;
    funcs->status = Status;
    funcs->uagent = UserAgent;
    funcs->memalloc = MemAlloc;
    funcs->memfree = MemFree;
    funcs->memflush = MemFlush;
    funcs->reloadplugins = ReloadPlugins;
    funcs->getJavaEnv = GetJavaEnv;
    funcs->getJavaPeer = GetJavaPeer;
    if (minor >= 9) {
        funcs->geturlnotify = GetUrlNotify;
        funcs->posturlnotify = PostUrlNotify;
        funcs->size = sizeof(NPNetscapeFuncs);
    } else {
        funcs->size = offsetof(NPNetscapeFuncs, geturlnotify);
    }
}
