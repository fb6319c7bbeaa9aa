// The process-wide catalogue: library path, the loaded language library and the row texts.
#include <array>
#include <cctype>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "arc_install.h"
#include "arc_messages.h"
#include "arc_platform.h"
#include "catalogue_table.h"

using arc_messages_detail::BuiltInText;
using arc_messages_detail::kCatalogue;
using arc_messages_detail::kCatalogueRows;

namespace {

static_assert(kCatalogueRows == ARC_MSG_COUNT);

// Longest directory taken from a caller; a longer one is refused rather than cut, since a cut
// path could name another directory.
constexpr size_t kMaxDirectory = 4095;

// Texts per row. Constant-initialised in zeroed memory, so a CGI run that never reads a row
// pays nothing for them: no constructor fills the arrays and their pages stay untouched.
struct RowTexts {
    // Texts taken from the library (or fallbacks made) for rows that show no built-in text.
    std::array<const char*, kCatalogueRows> fetched{};
    std::array<const char*, kCatalogueRows> fallbacks{};
    bool anyFetched = false;  // some entry of `fetched` is set
};

constinit RowTexts gRowTexts;

struct Catalogue {
    std::mutex mutex;  // exists from the start: GetText may run before or without a load
    bool configured = false;
    bool pathUsable = false;
    bool builtInTexts = true;  // English: a row with a built-in text shows it
    std::string path;
    ArcOSLibrary* library = nullptr;
    RowTexts& rows = gRowTexts;  // guarded by `mutex` like the rest
    // Every text handed out of `rows`. Each string has its own allocation, so pointers
    // stay valid for the life of the process.
    std::vector<std::unique_ptr<std::string>> kept;

    // The row's text as the path last set it: built-in, fetched, or none yet.
    const char* Text(int index) const {
        const char* builtIn = builtInTexts ? BuiltInText(kCatalogue[index]) : nullptr;
        return builtIn != nullptr ? builtIn : rows.fetched[index];
    }
    // Forgets fetched texts, so every row without a built-in text is read again.
    void ForgetFetched() {
        if (rows.anyFetched) rows.fetched.fill(nullptr);
        rows.anyFetched = false;
    }
    const char* Keep(std::string text) {
        kept.push_back(std::make_unique<std::string>(std::move(text)));
        return kept.back()->c_str();
    }
};

Catalogue& State() {
    static Catalogue catalogue;
    return catalogue;
}

std::string LocaleDirectory() {
    char buffer[4096];
    size_t length = QelInst_LocaleDir(buffer, sizeof buffer);
    if (length == 0 || length >= sizeof buffer) return {};
    return std::string(buffer, length);
}

// Language: "enu" for none, else its first three characters in lower case. Only letters and
// digits make a language, so the name can never climb out of the locale directory.
bool NormaliseLanguage(const char* language, std::string* out) {
    if (language == nullptr || *language == '\0') {
        *out = "enu";
        return true;
    }
    out->clear();
    for (const char* p = language; *p != '\0' && out->size() < 3; ++p) {
        unsigned char c = static_cast<unsigned char>(*p);
        if (!std::isalnum(c) || c >= 0x80) return false;
        out->push_back(static_cast<char>(std::tolower(c)));
    }
    return true;
}

void SetPathLocked(Catalogue& state, const char* directory, const char* language) {
    std::string dir = directory != nullptr && *directory != '\0' ? std::string(directory) : LocaleDirectory();
    std::string lang;
    bool languageUsable = NormaliseLanguage(language, &lang);
    state.configured = true;
    // Libraries load by absolute path only, never from the current directory.
    state.pathUsable = languageUsable && !dir.empty() && dir[0] == '/' && dir.size() <= kMaxDirectory;
    if (!dir.empty() && dir.back() != '/') dir.push_back('/');
    state.path = dir + lang + "/" + ARC_MSG_LIBRARY_NAME;

    state.builtInTexts = languageUsable && lang == "enu";
    state.ForgetFetched();
}

// Loads the library of the configured path (the default path when none was configured).
int LoadLocked(Catalogue& state) {
    if (state.library != nullptr) return 0;
    if (!state.configured) SetPathLocked(state, nullptr, nullptr);
    if (!state.pathUsable) return 1;
    state.library = ArcOS_LoadLibrary(state.path.c_str());
    return state.library != nullptr ? 0 : 1;
}

}  // namespace

int ArcMSGS_Init(const char* directory, const char* language) {
    Catalogue& state = State();
    std::lock_guard<std::mutex> lock(state.mutex);
    if (state.library != nullptr) return 0;
    SetPathLocked(state, directory, language);
    return LoadLocked(state);
}

void ArcMSGS_SetPath(const char* directory, const char* language) {
    Catalogue& state = State();
    std::lock_guard<std::mutex> lock(state.mutex);
    SetPathLocked(state, directory, language);
}

std::string ArcMSGS_GetPath() {
    Catalogue& state = State();
    std::lock_guard<std::mutex> lock(state.mutex);
    return state.path;
}

int ArcMSGS_GetText(int index, ArcMsgRow* row) {
    if (index < 0 || index >= kCatalogueRows || row == nullptr) return 1;
    const auto& fixed = kCatalogue[index];
    Catalogue& state = State();
    std::lock_guard<std::mutex> lock(state.mutex);
    const char* text = state.Text(index);
    if (text == nullptr) {
        // The user sees the external number, never the event identifier with its type bits.
        std::string fallback = "Unable to find message number (" + std::to_string(fixed.number) + ")";
        if (LoadLocked(state) == 0) {
            text = state.Keep(ArcMSGS_LoadText(state.library, fixed.eventId, fallback.c_str()));
            state.rows.fetched[index] = text;
            state.rows.anyFetched = true;
        } else {
            // Not kept as the row's text: a later successful load still fills it.
            if (state.rows.fallbacks[index] == nullptr)
                state.rows.fallbacks[index] = state.Keep(std::move(fallback));
            text = state.rows.fallbacks[index];
        }
    }
    row->number = fixed.number;
    row->eventId = fixed.eventId;
    row->severity = static_cast<unsigned char>(fixed.severity);
    row->category = fixed.category;
    row->destinations = fixed.destinations;
    row->text = text;
    return 0;
}

void ArcMSGS_Reset() {
    Catalogue& state = State();
    std::lock_guard<std::mutex> lock(state.mutex);
    ArcOS_FreeLibrary(state.library);
    state.library = nullptr;
    state.configured = false;
    state.pathUsable = false;
    state.path.clear();
    state.builtInTexts = true;
    state.ForgetFetched();
    state.rows.fallbacks.fill(nullptr);
}
