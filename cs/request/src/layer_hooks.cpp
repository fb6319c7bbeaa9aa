// Operations of later layers, plugged into this one at start-up.
#include "layer_hooks.h"

#include <mutex>

namespace {

std::mutex& HookMutex() {
    static std::mutex mutex;
    return mutex;
}

CsLayerHooks& Current() {
    static CsLayerHooks hooks;
    return hooks;
}

}  // namespace

void CsSetLayerHooks(CsLayerHooks hooks) {
    std::lock_guard lock(HookMutex());
    Current() = std::move(hooks);
}

namespace csreq::detail {

CsLayerHooks Hooks() {
    std::lock_guard lock(HookMutex());
    return Current();
}

}  // namespace csreq::detail
