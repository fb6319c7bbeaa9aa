// Library start and end, environments.
#include <algorithm>
#include <new>

#include "internal.h"

namespace {

std::mutex startLock;
int starts = 0;
std::vector<ZypmEnv> liveEnvironments;

}  // namespace

namespace zypm {

bool Initialised() {
    std::lock_guard guard(startLock);
    return starts > 0;
}

}  // namespace zypm

extern "C" {

int ZypmInitialize(void) {
    zypm::ClearMessage();
    std::lock_guard guard(startLock);
    ++starts;
    return ZYPM_OK;
}

int ZypmTerminate(void) {
    std::lock_guard guard(startLock);
    if (starts == 0) return zypm::Fail(ZYPM_E_STATE, "the library was not initialised");
    if (--starts == 0) {
        // Whatever the caller left open goes now; its handles are invalid afterwards.
        for (ZypmEnv environment : liveEnvironments) delete environment;
        liveEnvironments.clear();
    }
    return ZYPM_OK;
}

int ZypmEnvNew(ZypmEnv* environment) {
    if (!environment) return zypm::Fail(ZYPM_E_ARGUMENT, "no place for the environment");
    *environment = nullptr;
    std::lock_guard guard(startLock);
    if (starts == 0) return zypm::Fail(ZYPM_E_STATE, "ZypmInitialize was not called");
    auto* made = new (std::nothrow) ZypmEnvObject;
    if (!made) return zypm::Fail(ZYPM_E_NO_MEMORY, "no memory for the environment");
    liveEnvironments.push_back(made);
    *environment = made;
    return ZYPM_OK;
}

int ZypmEnvFree(ZypmEnv environment) {
    if (!environment) return zypm::Fail(ZYPM_E_ARGUMENT, "no environment");
    std::lock_guard guard(startLock);
    auto it = std::find(liveEnvironments.begin(), liveEnvironments.end(), environment);
    if (it == liveEnvironments.end()) return zypm::Fail(ZYPM_E_ARGUMENT, "not an open environment");
    if (environment->documents > 0 || environment->views > 0)
        return zypm::Fail(ZYPM_E_LOCKED, "documents or views of the environment are still open");
    liveEnvironments.erase(it);
    delete environment;
    return ZYPM_OK;
}

}  // extern "C"
