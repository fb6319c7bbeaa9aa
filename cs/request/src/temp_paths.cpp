// Temporary and print directories from the environment, and the files named in them.
#include "qel_cs.h"

#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "arc_platform.h"
#include "qel_cscommon.h"

namespace {

// A directory that does not fit is refused: a cut path names another directory.
char* Deliver(char* buffer, size_t length, const std::optional<std::string>& directory) {
    if (!directory || directory->size() + 1 > length) return nullptr;
    std::memcpy(buffer, directory->c_str(), directory->size() + 1);
    return buffer;
}

}  // namespace

char* CsGetDirFromEnv(char* buffer, size_t length, int element, const char* value) {
    if (buffer == nullptr || length == 0 || element < 0) return nullptr;
    buffer[0] = '\0';
    try {
        return Deliver(buffer, length, cscommon::DirFromList(element, value));
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

char* CsGetTempDir(char* buffer, size_t length) {
    auto value = ArcOS_GetEnv("QEL_TMP");
    return CsGetDirFromEnv(buffer, length, 1, value ? value->c_str() : nullptr);
}

char* CsGetPrintDir(char* buffer, size_t length, int element) {
    auto value = ArcOS_GetEnv("QEL_PRINT_PATH");
    return CsGetDirFromEnv(buffer, length, element, value ? value->c_str() : nullptr);
}

namespace {

char* MakeFileName(char* buffer, size_t length, int print, int element, const char* first,
                   const char* second) {
    for (const char* suffix : {first, second})
        if (suffix != nullptr && std::strchr(suffix, '/') != nullptr) return nullptr;
    char directory[4096];
    size_t room = length < sizeof directory ? length : sizeof directory;
    if ((print ? CsGetPrintDir(directory, room, element) : CsGetTempDir(directory, room)) == nullptr)
        return nullptr;
    std::string name = std::string(directory) + "QEL." + std::to_string(ArcOS_GetProcessId()) + "." +
                       std::to_string(static_cast<int64_t>(ArcOS_GetThreadId()));
    if (first != nullptr) name += std::string(".") + first;
    if (second != nullptr) name += std::string(".") + second;
    if (name.size() + 1 > length) return nullptr;
    // Made here, mode 0600, by renaming a fresh file over the name: a link planted
    // under the name is replaced, never followed.
    if (ArcOS_WriteFileAtomic(name.c_str(), "", 0600) != 0) return nullptr;
    std::memcpy(buffer, name.c_str(), name.size() + 1);
    return buffer;
}

}  // namespace

char* CsMakeFileName(char* buffer, size_t length, int print, int element, const char* first,
                     const char* second) {
    if (buffer == nullptr || length == 0) return nullptr;
    buffer[0] = '\0';
    try {
        return MakeFileName(buffer, length, print, element, first, second);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

char* CsTempFileName(char* buffer, size_t length, const char* first, const char* second) {
    return CsMakeFileName(buffer, length, 0, 1, first, second);
}

char* CsPrintFileName(char* buffer, size_t length, int element, const char* first, const char* second) {
    return CsMakeFileName(buffer, length, 1, element, first, second);
}
