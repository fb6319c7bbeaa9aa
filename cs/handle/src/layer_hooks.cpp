// Operations of the layers above, plugged into this one at start-up.
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

CsDispatcherRoads& CurrentRoads() {
    static CsDispatcherRoads roads;
    return roads;
}

}  // namespace

void CsSetIssueHooks(CsLayerHooks hooks) {
    std::lock_guard lock(HookMutex());
    Current() = std::move(hooks);
}

void CsSetDispatcherRoads(CsDispatcherRoads roads) {
    std::lock_guard lock(HookMutex());
    CurrentRoads() = roads;
}

namespace cshandle::detail {

CsLayerHooks Hooks() {
    std::lock_guard lock(HookMutex());
    return Current();
}

CsDispatcherRoads Roads() {
    std::lock_guard lock(HookMutex());
    return CurrentRoads();
}

}  // namespace cshandle::detail
