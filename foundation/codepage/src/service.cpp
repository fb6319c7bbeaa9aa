// service.cpp - converters by CCSID: start-up, opening (direct or chained), converting.
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <string>

#include "arc_codepage.h"
#include "arc_platform.h"
#include "ccsid_names.h"
#include "context.h"
#include "fallback.h"
#ifdef QEL_HAVE_INSTALL
#include "arc_install.h"
#endif

namespace {

using qel::codepage::FallbackConvert;

constexpr size_t kMaxLocalePath = 260;
constexpr int32_t kUcs2 = 13488;
constexpr int32_t kUtf8 = 1208;

// One conversion step; a null engine converter makes it a fallback step.
struct Step {
    int32_t source = 0;
    int32_t target = 0;
    ArcUconv converter = nullptr;
    ArcIconvContext* context = nullptr;
};
using StepPtr = std::unique_ptr<Step>;  // null: the bytes are copied

int CloseStep(StepPtr& step) {
    int rc = ARC_ICONV_OK;
    if (step && step->converter != nullptr && ArcUCONV_Close(step->context, step->converter) != 0) {
        rc = ARC_ICONV_OTHER;
    }
    step.reset();
    return rc;
}

bool SameEncoding(int32_t a, int32_t b) {
    return a == b || (ArcICONV_IsUcs2Ccsid(a) && ArcICONV_IsUcs2Ccsid(b));
}

int MapOpenError(int error) {
    switch (error) {
        case ENOMEM: return ARC_ICONV_NO_MEMORY;
        case EINVAL: return ARC_ICONV_NOT_SUPPORTED;
        case ENFILE:
        case EMFILE: return ARC_ICONV_TOO_MANY_OPEN;
        default: return ARC_ICONV_OTHER;
    }
}

int MapConvertError(int error) {
    switch (error) {
        case E2BIG: return ARC_ICONV_OUTPUT_TOO_SMALL;
        case EINVAL: return ARC_ICONV_INCOMPLETE_INPUT;
        case EILSEQ: return ARC_ICONV_INVALID_INPUT;
        case ENOMEM: return ARC_ICONV_NO_MEMORY;
        default: return ARC_ICONV_OTHER;
    }
}

int OpenStep(ArcIconvContext* context, int32_t source, int32_t target, StepPtr* step) {
    step->reset();
    if (SameEncoding(source, target)) return ARC_ICONV_OK;
    StepPtr made(new (std::nothrow) Step{source, target, nullptr, context});
    if (!made) return ARC_ICONV_NO_MEMORY;
    char sourceName[ARC_ICONV_NAME_MAX + 1];
    char targetName[ARC_ICONV_NAME_MAX + 1];
    if (int rc = ArcICONV_CcsidToName(context, source, sourceName); rc != ARC_ICONV_OK) return rc;
    if (int rc = ArcICONV_CcsidToName(context, target, targetName); rc != ARC_ICONV_OK) return rc;
    errno = 0;
    ArcUconv converter = ArcUCONV_Open(context, targetName, sourceName);
    if (converter == ArcUconvFailed()) {
        int rc = MapOpenError(errno);
        if (context->ignoreErrors == 0) return rc;
        converter = nullptr;  // carry on with the built-in tables
    }
    made->converter = converter;
    *step = std::move(made);
    return ARC_ICONV_OK;
}

// Converts with one step into the caller's buffer.
int ConvertStep(const StepPtr& step, const char* input, size_t inputLength, char* output,
                size_t* outputLength) {
    if (inputLength == 0) {
        *outputLength = 0;
        return ARC_ICONV_OK;
    }
    const size_t room = *outputLength;
    if (room == 0) return ARC_ICONV_OUTPUT_TOO_SMALL;  // the engine would count instead
    if (!step || step->converter == nullptr) {
        std::string converted;
        int rc = ARC_ICONV_OK;
        if (!step) {
            converted.assign(input, inputLength);
        } else if (rc = FallbackConvert(step->source, step->target, {input, inputLength}, &converted);
                   rc != 0) {
            *outputLength = 0;
            return rc;
        }
        size_t written = converted.size() <= room ? converted.size() : room;
        std::memcpy(output, converted.data(), written);
        *outputLength = written;
        return written == converted.size() ? ARC_ICONV_OK : ARC_ICONV_OUTPUT_TOO_SMALL;
    }
    // Every call is a whole text: start in the initial shift state, end with shift-in.
    ArcUCONV_Convert(step->converter, nullptr, nullptr, nullptr, nullptr);
    const char* in = input;
    size_t inLeft = inputLength;
    char* out = output;
    size_t outLeft = room;
    errno = 0;
    long rc = ArcUCONV_Convert(step->converter, &in, &inLeft, &out, &outLeft);
    if (rc != -1) rc = ArcUCONV_Convert(step->converter, nullptr, nullptr, &out, &outLeft);
    const int error = errno;
    *outputLength = room - outLeft;
    return rc == -1 ? MapConvertError(error) : ARC_ICONV_OK;
}

size_t FirstGuess(const StepPtr& step, size_t inputLength) {
    if (!step) return inputLength;
    const int32_t target = step->target;
    if (ArcICONV_IsUcs2Ccsid(target) || ArcICONV_IsUtf8Ccsid(target)) {
        return inputLength > SIZE_MAX / 2 ? SIZE_MAX : inputLength * 2;
    }
    if (ArcICONV_IsUcs2Ccsid(step->source) && !ArcICONV_IsMultiByteCcsid(target)) return inputLength / 2;
    return inputLength;
}

// Converts with one step into a buffer of its own, growing it until the output fits.
int ConvertStepAlloc(const StepPtr& step, const char* input, size_t inputLength, char** output,
                     size_t* outputLength) {
    *output = nullptr;
    *outputLength = 0;
    size_t size = FirstGuess(step, inputLength);
    const size_t growth = inputLength + (inputLength & 1);
    while (true) {
        char* buffer = static_cast<char*>(std::malloc(size == 0 ? 1 : size));
        if (buffer == nullptr) return ARC_ICONV_NO_MEMORY;
        size_t written = size;
        int rc = ConvertStep(step, input, inputLength, buffer, &written);
        if (rc == ARC_ICONV_OUTPUT_TOO_SMALL) {
            std::free(buffer);
            if (growth == 0 || size > SIZE_MAX - growth) return ARC_ICONV_NO_MEMORY;
            size += growth;
            continue;
        }
        if (rc != ARC_ICONV_OK) {
            std::free(buffer);
            return rc;
        }
        if (written > 0 && written < size) {
            if (char* smaller = static_cast<char*>(std::realloc(buffer, written))) buffer = smaller;
        }
        *output = buffer;
        *outputLength = written;
        return ARC_ICONV_OK;
    }
}

std::string LocalePathFrom(const char* argument) {
    std::string path;
    if (argument != nullptr) {
        path = argument;
    } else if (std::optional<std::string> value = ArcOS_GetEnv("QKLOCPATH"); value && !value->empty()) {
        path = *value;
    } else {
#ifdef QEL_HAVE_INSTALL
        char buffer[kMaxLocalePath + 1] = {};
        QelInst_LocaleDir(buffer, sizeof buffer);
        path = buffer;
#endif
    }
    if (path.size() > kMaxLocalePath) path.resize(kMaxLocalePath);
    return path.substr(0, path.find(';'));
}

int IgnoreErrorsFlag() {
    std::optional<std::string> value = ArcOS_GetEnv("QEL_IGN_ICONV_ERR");
    if (!value || value->empty()) return 0;
    return static_cast<int>(std::strtol(value->c_str(), nullptr, 10));
}

}  // namespace

struct ArcIconvHandle {
    int32_t source = 0;
    int32_t target = 0;
    char sourceName[ARC_ICONV_NAME_MAX + 3] = {};
    char targetName[ARC_ICONV_NAME_MAX + 3] = {};
    bool singleStep = true;
    StepPtr step1;
    StepPtr step2;
};

int ArcICONV_Startup(ArcIconvContext** context, const char* localePath) {
    if (context == nullptr) return ARC_ICONV_OTHER;
    *context = nullptr;
    try {
        auto made = std::make_unique<ArcIconvContext>();
        made->ignoreErrors = IgnoreErrorsFlag();
        made->localePath = LocalePathFrom(localePath);
        if (int rc = qel::codepage::LoadCcsidNames(made->localePath, &made->names); rc != ARC_ICONV_OK)
            return rc;
        *context = made.release();
        return ARC_ICONV_OK;
    } catch (const std::bad_alloc&) {
        return ARC_ICONV_NO_MEMORY;
    }
}

int ArcICONV_Shutdown(ArcIconvContext* context) {
    delete context;
    return ARC_ICONV_OK;
}

int ArcICONV_Open(ArcIconvContext* context, int32_t sourceCcsid, int32_t targetCcsid,
                  ArcIconvHandle** handle) {
    if (handle == nullptr) return ARC_ICONV_OTHER;
    *handle = nullptr;
    if (context == nullptr) return ARC_ICONV_OTHER;
    std::unique_ptr<ArcIconvHandle> made(new (std::nothrow) ArcIconvHandle);
    if (!made) return ARC_ICONV_NO_MEMORY;
    made->source = sourceCcsid;
    made->target = targetCcsid;
    if (int rc = ArcICONV_CcsidToName(context, sourceCcsid, made->sourceName); rc != ARC_ICONV_OK) return rc;
    if (int rc = ArcICONV_CcsidToName(context, targetCcsid, made->targetName); rc != ARC_ICONV_OK) return rc;

    int direct = OpenStep(context, sourceCcsid, targetCcsid, &made->step1);
    if (direct == ARC_ICONV_OK) {
        *handle = made.release();
        return ARC_ICONV_OK;
    }
    int32_t middle = kUcs2;
    if (ArcICONV_IsUcs2Ccsid(sourceCcsid) || ArcICONV_IsUcs2Ccsid(targetCcsid)) {
        // UCS-2 to or from UTF-8 is the engine's own; its failure is final.
        if (ArcICONV_IsUtf8Ccsid(sourceCcsid) || ArcICONV_IsUtf8Ccsid(targetCcsid)) return direct;
        middle = kUtf8;
    }
    made->singleStep = false;
    if (int rc = OpenStep(context, sourceCcsid, middle, &made->step1); rc != ARC_ICONV_OK) return rc;
    if (int rc = OpenStep(context, middle, targetCcsid, &made->step2); rc != ARC_ICONV_OK) {
        CloseStep(made->step1);
        return rc;
    }
    *handle = made.release();
    return ARC_ICONV_OK;
}

int ArcICONV_Close(ArcIconvHandle* handle) {
    if (handle == nullptr) return ARC_ICONV_OK;
    int first = CloseStep(handle->step1);
    int second = CloseStep(handle->step2);
    delete handle;
    return first != ARC_ICONV_OK ? first : second;
}

int ArcICONV_Convert(ArcIconvHandle* handle, const char* input, size_t inputLength, char* output,
                     size_t* outputLength) {
    if (handle == nullptr || outputLength == nullptr || (input == nullptr && inputLength != 0) ||
        (output == nullptr && *outputLength != 0)) {
        return ARC_ICONV_OTHER;
    }
    if (handle->singleStep) return ConvertStep(handle->step1, input, inputLength, output, outputLength);
    char* middle = nullptr;
    size_t middleLength = 0;
    int rc = ConvertStepAlloc(handle->step1, input, inputLength, &middle, &middleLength);
    if (rc != ARC_ICONV_OK) {
        *outputLength = 0;
        return rc;
    }
    rc = ConvertStep(handle->step2, middle, middleLength, output, outputLength);
    std::free(middle);
    return rc;
}

int ArcICONV_ConvertAlloc(ArcIconvHandle* handle, const char* input, size_t inputLength, char** output,
                          size_t* outputLength) {
    if (handle == nullptr || output == nullptr || outputLength == nullptr ||
        (input == nullptr && inputLength != 0)) {
        return ARC_ICONV_OTHER;
    }
    if (handle->singleStep) return ConvertStepAlloc(handle->step1, input, inputLength, output, outputLength);
    char* middle = nullptr;
    size_t middleLength = 0;
    int rc = ConvertStepAlloc(handle->step1, input, inputLength, &middle, &middleLength);
    if (rc != ARC_ICONV_OK) {
        *output = nullptr;
        *outputLength = 0;
        return rc;
    }
    rc = ConvertStepAlloc(handle->step2, middle, middleLength, output, outputLength);
    std::free(middle);
    return rc;
}
