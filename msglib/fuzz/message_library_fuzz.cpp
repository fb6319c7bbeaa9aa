// Message catalogue and message library loading: the language name of a library path,
// catalogue rows whose texts come from a library holding fuzzed texts, their formatting,
// and the lookups of the generated English library.
//
// Input: the language text up to the first line feed, then the library's texts (zero
// bytes between them); the input's bytes also pick the rows and event identifiers.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "arc_messages.h"
#include "arc_platform.h"

namespace {

using SetTextsFn = void (*)(const char*, size_t);

struct Libraries {
    ArcOSLibrary* fuzz = nullptr;
    ArcOSLibrary* english = nullptr;
    SetTextsFn setTexts = nullptr;
    Libraries() {
        // The catalogue loads the fuzz library by its path; this second load shares it.
        if (ArcMSGS_Init(QEL_FUZZ_LOCALE_DIR, "fzz") != 0) std::abort();
        fuzz = ArcOS_LoadLibrary(ArcMSGS_GetPath().c_str());
        english = ArcOS_LoadLibrary(QEL_STAGE_DIR "/locale/enu/libqellgs32.so");
        if (fuzz == nullptr || english == nullptr) std::abort();
        setTexts = reinterpret_cast<SetTextsFn>(ArcOS_GetProcAddress(fuzz, "QelLgsFuzz_SetTexts"));
        if (setTexts == nullptr) std::abort();
    }
};

Libraries& Loaded() {
    static Libraries libraries;
    return libraries;
}

uint32_t Word(std::string_view data, size_t at) {
    uint32_t value = 0;
    for (size_t i = 0; i < 4 && !data.empty(); ++i)
        value = value << 8 | static_cast<uint8_t>(data[(at + i) % data.size()]);
    return value;
}

void CheckLanguage(const std::string& language) {
    constexpr std::string_view kDir = "/fuzz/locale/";
    ArcMSGS_SetPath("/fuzz/locale", language.c_str());
    const std::string path = ArcMSGS_GetPath();
    // Whatever the name, the path stays one folder below the locale directory.
    if (path.compare(0, kDir.size(), kDir) != 0) std::abort();
    const std::string rest = path.substr(kDir.size());
    const size_t slash = rest.find('/');
    if (slash == std::string::npos || rest.substr(slash + 1) != ARC_MSG_LIBRARY_NAME) std::abort();
    for (char c : rest.substr(0, slash)) {
        if (!(c >= 'a' && c <= 'z') && !(c >= '0' && c <= '9')) std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
    const std::string_view data(reinterpret_cast<const char*>(bytes), size);
    Libraries& libraries = Loaded();
    const size_t newline = data.find('\n');
    CheckLanguage(std::string(data.substr(0, newline)));
    const std::string_view texts =
        newline == std::string_view::npos ? std::string_view() : data.substr(newline + 1);

    libraries.setTexts(texts.data(), texts.size());
    // Back to the fuzz library; the rows forget what they fetched before.
    ArcMSGS_SetPath(QEL_FUZZ_LOCALE_DIR, "fzz");

    const char* const inserts[] = {"first", "%1", "", "fourth insert", "%9$s"};
    std::vector<char> formatted(256);
    for (size_t k = 0; k < 8; ++k) {
        const int index = static_cast<int>(Word(data, 4 * k) % ARC_MSG_COUNT);
        ArcMsgRow row;
        if (ArcMSGS_GetText(index, &row) != 0 || row.text == nullptr) std::abort();
        const int written = ArcMSGS_Format(formatted.data(), formatted.size(), row.text, inserts, 5);
        if (written < 0 || std::strlen(formatted.data()) >= formatted.size()) std::abort();
        ArcMSGS_CountInserts(row.text);

        const std::string text = ArcMSGS_LoadText(libraries.fuzz, row.eventId, "fallback");
        if (!text.empty() && (text.back() == '\r' || text.back() == '\n')) std::abort();
        // The English library: a real row's identifier, and any other.
        ArcMSGS_LoadText(libraries.english, row.eventId, nullptr);
        ArcMSGS_LoadText(libraries.english, Word(data, 4 * k + 2), "none");
    }
    return 0;
}
