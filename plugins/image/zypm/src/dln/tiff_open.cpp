// Opening a TIFF file with the allocation cap and libtiff's messages captured.
#include <tiffio.h>

#include <cstdarg>
#include <cstdio>

#include "internal.h"

namespace zypm {

TiffFile::~TiffFile() {
    if (tiff) TIFFClose(tiff);
}

namespace {

int KeepError(TIFF*, void* user, const char* module, const char* format, va_list arguments) {
    char text[512];
    std::vsnprintf(text, sizeof text, format, arguments);
    auto* messages = static_cast<TiffMessages*>(user);
    messages->last = std::string(module ? module : "libtiff") + ": " + text;
    return 1;  // handled: nothing on stderr
}

int DropWarning(TIFF*, void*, const char*, const char*, va_list) { return 1; }

// libtiff refuses a file whose first directory offset is 0 like any broken file;
// the header tells the two apart.
bool HeaderSaysNoPages(const std::string& path) {
    FILE* stream = std::fopen(path.c_str(), "rb");
    if (!stream) return false;
    unsigned char header[16] = {};
    size_t got = std::fread(header, 1, sizeof header, stream);
    std::fclose(stream);
    if (got < 8) return false;
    bool little = header[0] == 'I' && header[1] == 'I';
    bool big = header[0] == 'M' && header[1] == 'M';
    if (!little && !big) return false;
    int magic = little ? header[2] | header[3] << 8 : header[2] << 8 | header[3];
    if (magic == 42) return (header[4] | header[5] | header[6] | header[7]) == 0;
    if (magic == 43 && got == 16) {
        unsigned any = 0;
        for (int i = 8; i < 16; ++i) any |= header[i];
        return any == 0;
    }
    return false;
}

}  // namespace

std::shared_ptr<TiffFile> OpenTiff(const std::string& path, int* code) {
    auto file = std::make_shared<TiffFile>();
    FILE* probe = std::fopen(path.c_str(), "rb");
    if (!probe) {
        *code = Fail(ZYPM_E_OPEN, "cannot open " + path);
        return nullptr;
    }
    std::fclose(probe);
    TIFFOpenOptions* options = TIFFOpenOptionsAlloc();
    if (!options) {
        *code = Fail(ZYPM_E_NO_MEMORY, "no memory for the TIFF options");
        return nullptr;
    }
    TIFFOpenOptionsSetMaxSingleMemAlloc(options, ZYPM_MAX_DECODED_BYTES);
    TIFFOpenOptionsSetErrorHandlerExtR(options, KeepError, &file->messages);
    TIFFOpenOptionsSetWarningHandlerExtR(options, DropWarning, nullptr);
    file->tiff = TIFFOpenExt(path.c_str(), "r", options);
    TIFFOpenOptionsFree(options);
    if (!file->tiff && HeaderSaysNoPages(path)) {
        *code = Fail(ZYPM_E_NO_PAGES, path + " holds no page");
        return nullptr;
    }
    if (!file->tiff) {
        *code =
            Fail(ZYPM_E_FORMAT, path + " is not a TIFF file" +
                                    (file->messages.last.empty() ? "" : " (" + file->messages.last + ")"));
        return nullptr;
    }
    return file;
}

}  // namespace zypm
