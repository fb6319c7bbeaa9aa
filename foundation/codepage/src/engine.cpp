// engine.cpp - ArcUCONV_Open/Convert/Close: choosing the module, checking handles.
#include <strings.h>
#include <cerrno>

#include "context.h"
#include "converter.h"

namespace qel::codepage {

bool IsUcs2Name(const char* name) { return strcasecmp(name, "UCS-2") == 0 || strcasecmp(name, "UCS2") == 0; }

bool IsUtf8Name(const char* name) { return strcasecmp(name, "UTF-8") == 0 || strcasecmp(name, "UTF8") == 0; }

namespace {

bool BadHandle(ArcUconv converter) {
    return converter == nullptr || converter == ArcUconvFailed() || converter->mark != kModuleMark ||
           converter->version != kModuleVersion;
}

}  // namespace
}  // namespace qel::codepage

using namespace qel::codepage;

ArcUconv ArcUCONV_Open(ArcIconvContext* context, const char* targetName, const char* sourceName) {
    if (context == nullptr || targetName == nullptr || sourceName == nullptr) {
        errno = EINVAL;
        return ArcUconvFailed();
    }
    // A UCS-2 side is the empty name; two named sides make a pair.
    const char* target = IsUcs2Name(targetName) ? "" : targetName;
    const char* source = IsUcs2Name(sourceName) ? "" : sourceName;
    int error = EINVAL;
    ConverterPtr converter;
    if (*target != '\0' && *source != '\0') {
        converter = OpenPairModule(context, target, source, &error);
    } else if (IsUtf8Name(targetName) || IsUtf8Name(sourceName)) {
        converter = OpenUtf8Module(*source != '\0', &error);
    } else if (*target != '\0' || *source != '\0') {
        converter = OpenTableModule(context, *source != '\0' ? source : target, *source != '\0', &error);
    }
    if (!converter) {
        errno = error;
        return ArcUconvFailed();
    }
    return converter.release();
}

long ArcUCONV_Convert(ArcUconv converter, const char** input, size_t* inputLeft, char** output,
                      size_t* outputLeft) {
    if (BadHandle(converter)) {
        errno = EBADF;
        return -1;
    }
    long rc;
    converter->error = 0;
    if (input == nullptr || *input == nullptr) {
        if (output == nullptr || *output == nullptr || outputLeft == nullptr) {
            converter->Reset();
            return 0;
        }
        rc = converter->Flush(reinterpret_cast<uint8_t**>(output), outputLeft);
    } else {
        if (inputLeft == nullptr || output == nullptr || outputLeft == nullptr ||
            (*output == nullptr && *outputLeft != 0)) {
            errno = EINVAL;
            return -1;
        }
        rc = converter->Convert(reinterpret_cast<const uint8_t**>(input), inputLeft,
                                reinterpret_cast<uint8_t**>(output), outputLeft);
    }
    if (rc == kConvertFailed) errno = converter->error;
    return rc;
}

int ArcUCONV_Close(ArcIconvContext* context, ArcUconv converter) {
    if (BadHandle(converter) || context == nullptr) {
        errno = EBADF;
        return -1;
    }
    int rc = converter->Close(context);
    delete converter;
    if (rc != 0) {
        errno = rc;
        return -1;
    }
    return 0;
}
