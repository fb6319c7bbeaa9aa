// Shared libraries are loaded by absolute path only: a name that the loader would
// search for (or resolve against the current directory) could load a stranger's code.
#include "arc_platform.h"

#include <dlfcn.h>

#include <string>

struct ArcOSLibrary {
    void* handle = nullptr;
};

namespace {
thread_local std::string lastError;
}

ArcOSLibrary* ArcOS_LoadLibrary(const char* file) {
    if (file == nullptr || file[0] != '/') {
        lastError = std::string("not an absolute library path: ") + (file ? file : "(null)");
        return nullptr;
    }
    // Lazy binding: a CGI run calls a handful of a library's imports, and binding the
    // rest at every start costs more than the program's own work.
    void* handle = dlopen(file, RTLD_LAZY | RTLD_LOCAL);
    if (handle == nullptr) {
        const char* why = dlerror();
        lastError = why ? why : "cannot load library";
        return nullptr;
    }
    lastError.clear();
    return new ArcOSLibrary{handle};
}

void* ArcOS_GetProcAddress(ArcOSLibrary* box, const char* name) {
    if (box == nullptr || name == nullptr) return nullptr;
    return dlsym(box->handle, name);
}

void ArcOS_FreeLibrary(ArcOSLibrary* box) {
    if (box == nullptr) return;
    dlclose(box->handle);
    delete box;
}

std::string ArcOS_LibraryError() { return lastError; }
