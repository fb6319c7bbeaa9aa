// Internal: an outside converter library, loaded by absolute path and unloaded on every path.
#pragma once

#include <memory>

#include "arc_platform.h"

namespace qelwww::detail {

struct LibraryUnloader {
    void operator()(ArcOSLibrary* library) const { ArcOS_FreeLibrary(library); }
};
using ConverterLibrary = std::unique_ptr<ArcOSLibrary, LibraryUnloader>;

// An entry point of the library as its function type; null when the library lacks it.
template <typename Function>
Function LibraryEntry(const ConverterLibrary& library, const char* name) {
    return reinterpret_cast<Function>(ArcOS_GetProcAddress(library.get(), name));
}

}  // namespace qelwww::detail
