// The process environment is shared by every thread; reads and writes through the
// platform layer take one lock so that a reader never sees a half-changed table.
#include "arc_platform.h"
#include "env_lock.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

std::mutex& arcEnvironmentMutex() {
    static std::mutex m;
    return m;
}

int ArcOS_PutEnv(const char* entry) {
    if (entry == nullptr) return EINVAL;
    const char* eq = std::strchr(entry, '=');
    if (eq == nullptr || eq == entry) return EINVAL;
    std::string name(entry, eq);
    std::lock_guard lock(arcEnvironmentMutex());
    // "NAME=" removes the variable, as the callers' platform did.
    int rc = eq[1] == '\0' ? unsetenv(name.c_str()) : setenv(name.c_str(), eq + 1, 1);
    return rc == 0 ? 0 : errno;
}

std::optional<std::string> ArcOS_GetEnv(const char* name) {
    if (name == nullptr) return std::nullopt;
    std::lock_guard lock(arcEnvironmentMutex());
    const char* value = std::getenv(name);
    if (value == nullptr) return std::nullopt;
    return std::string(value);
}
