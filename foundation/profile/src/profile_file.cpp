// profile_file.cpp - profile files: loading, saving and the file forms of lookup and
// edit. Files are always read and written by our own code; QELPROF_NATIVE_CALL has no
// counterpart here and is ignored.
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <string>

#include "arc_platform.h"
#include "arc_profile.h"

namespace {

// Profiles are ordinary configuration text, readable as a text editor leaves them.
constexpr unsigned kProfileMode = 0644;

char* CopyToMalloc(const std::string& content) {
    // The image ends at the first zero byte, as a C text does.
    const size_t length = std::strlen(content.c_str());
    char* text = static_cast<char*>(std::malloc(length + 1));
    if (text != nullptr) {
        std::memcpy(text, content.c_str(), length);
        text[length] = '\0';
    }
    return text;
}

struct ImageDeleter {
    void operator()(char* text) const { std::free(text); }
};

}  // namespace

int ArcPROF_LoadFile(const char* path, char** text) {
    if (text == nullptr) {
        return 1;
    }
    *text = nullptr;
    if (path == nullptr) {
        return ENOENT;
    }
    std::string content;
    try {
        const int rc = ArcOS_ReadFile(path, &content);
        if (rc == ENOENT) {
            return 0;
        }
        if (rc != 0) {
            return rc;
        }
    } catch (const std::bad_alloc&) {
        return 1;
    }
    *text = CopyToMalloc(content);
    return *text == nullptr ? 1 : 0;
}

int ArcPROF_SaveFile(const char* path, const char* text) {
    if (path == nullptr) {
        return ENOENT;
    }
    return ArcOS_WriteFileAtomic(path, text ? text : "", kProfileMode);
}

size_t ArcPROF_GetString(const char* section, const char* key, const char* defaultValue, char* buffer,
                         size_t size, const char* path) {
    char* raw = nullptr;
    // Missing or unreadable: the lookup on an empty text hands back the default.
    if (ArcPROF_LoadFile(path, &raw) != 0) {
        raw = nullptr;
    }
    std::unique_ptr<char, ImageDeleter> image(raw);
    return ArcPROF_GetFromImage(section, key, defaultValue, buffer, size, image.get());
}

int ArcPROF_WriteString(const char* section, const char* key, const char* value, const char* path) {
    char* raw = nullptr;
    const int rc = ArcPROF_LoadFile(path, &raw);
    if (rc != 0) {
        return rc;
    }
    std::unique_ptr<char, ImageDeleter> image(raw);
    const std::string before = image ? image.get() : "";
    char* edited = image.release();
    const int editRc = ArcPROF_SetInImage(section, key, value, &edited);
    image.reset(edited);
    if (editRc != 0) {
        return editRc;
    }
    if (before == (image ? image.get() : "")) {
        return 0;
    }
    return ArcPROF_SaveFile(path, image.get());
}
