// Thin wrappers over the browser's functions.
#include "viewer.h"

namespace afpview {

namespace {

bool HasNotify() { return Plugin().browser != nullptr && Plugin().browserMinor >= 9; }

}  // namespace

NPError BrowserGetUrl(WoxPiInstance& instance, const std::string& url) {
    NPNetscapeFuncs* b = Plugin().browser;
    if (b == nullptr || b->geturl == nullptr) return NPERR_GENERIC_ERROR;
    return b->geturl(instance.npp, url.c_str(), nullptr);
}

NPError BrowserPostUrl(WoxPiInstance& instance, const std::string& url, const std::string& body) {
    NPNetscapeFuncs* b = Plugin().browser;
    if (b == nullptr || b->posturl == nullptr) return NPERR_GENERIC_ERROR;
    return b->posturl(instance.npp, url.c_str(), nullptr, static_cast<uint32_t>(body.size()), body.data(), 0);
}

NPError BrowserGetUrlNotify(WoxPiInstance& instance, const std::string& url) {
    if (!HasNotify() || Plugin().browser->geturlnotify == nullptr) return NPERR_INCOMPATIBLE_VERSION_ERROR;
    return Plugin().browser->geturlnotify(instance.npp, url.c_str(), nullptr, nullptr);
}

NPError BrowserPostUrlNotify(WoxPiInstance& instance, const std::string& url, const std::string& body) {
    if (!HasNotify() || Plugin().browser->posturlnotify == nullptr) return NPERR_INCOMPATIBLE_VERSION_ERROR;
    return Plugin().browser->posturlnotify(instance.npp, url.c_str(), nullptr,
                                           static_cast<uint32_t>(body.size()), body.data(), 0, nullptr);
}

void BrowserStatus(WoxPiInstance& instance, const std::string& text) {
    NPNetscapeFuncs* b = Plugin().browser;
    if (b != nullptr && b->status != nullptr && instance.npp != nullptr)
        b->status(instance.npp, text.c_str());
}

void* BrowserAlloc(uint32_t size) {
    NPNetscapeFuncs* b = Plugin().browser;
    if (b == nullptr || b->memalloc == nullptr) return nullptr;
    return b->memalloc(size);
}

void BrowserFree(void* block) {
    NPNetscapeFuncs* b = Plugin().browser;
    if (b != nullptr && b->memfree != nullptr && block != nullptr) b->memfree(block);
}

}  // namespace afpview
