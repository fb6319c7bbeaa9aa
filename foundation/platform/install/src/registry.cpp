// registry.cpp - ArcReg: registry keys and values kept as one profile file per hive.
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

#include "arc_install.h"
#include "arc_platform.h"
#include "arc_profile.h"
#include "install_detail.h"

namespace {

// Hive files hold server definitions, possibly with passwords.
constexpr unsigned kHiveMode = 0600;
constexpr unsigned kHiveDirMode = 0755;

std::recursive_mutex& HiveMutex() {
    static std::recursive_mutex mutex;
    return mutex;
}

struct Freer {
    void operator()(char* text) const { std::free(text); }
};
using ImagePtr = std::unique_ptr<char, Freer>;

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\v' || c == '\f'; }
bool HasLineBreak(std::string_view s) { return s.find_first_of("\r\n") != std::string_view::npos; }

bool ValidKeyPath(const char* keyPath) {
    if (keyPath == nullptr || *keyPath == '\0') {
        return false;
    }
    const std::string_view k = keyPath;
    return !HasLineBreak(k) && k.find(']') == std::string_view::npos;
}

bool ValidName(const char* name) {
    if (name == nullptr || *name == '\0') {
        return false;
    }
    const std::string_view n = name;
    return !HasLineBreak(n) && n.find('=') == std::string_view::npos && n[0] != ';' && n[0] != '[' &&
           !IsBlank(n.front()) && !IsBlank(n.back());
}

// Data stored so that the reader's trimming and quote removal give it back unchanged.
std::string Encode(std::string_view data) {
    const bool blankEnds = !data.empty() && (IsBlank(data.front()) || IsBlank(data.back()));
    const bool quotePair =
        data.size() >= 2 && (data.front() == '"' || data.front() == '\'') && data.back() == data.front();
    return (blankEnds || quotePair) ? "\"" + std::string(data) + "\"" : std::string(data);
}

// Loads a hive (missing file = empty hive). ARCREG_OK or ARCREG_IO_ERROR.
int LoadHive(int hive, std::string* path, ImagePtr* image) {
    *path = ArcReg_HivePath(hive);
    if (path->empty()) {
        return ARCREG_INVALID;
    }
    char* raw = nullptr;
    if (ArcPROF_LoadFile(path->c_str(), &raw) != 0) {
        return ARCREG_IO_ERROR;
    }
    image->reset(raw);
    return ARCREG_OK;
}

int SaveHive(const std::string& path, const ImagePtr& image) {
    const size_t slash = path.rfind('/');
    if (slash != std::string::npos && slash > 0) {
        ArcOS_MakeDirectory(path.substr(0, slash).c_str(), kHiveDirMode);
    }
    const char* text = image ? image.get() : "";
    return ArcOS_WriteFileAtomic(path.c_str(), text, kHiveMode) == 0 ? ARCREG_OK : ARCREG_IO_ERROR;
}

bool KeyPresent(const char* keyPath, const char* text) {
    char found[2];
    ArcPROF_GetFromImage(keyPath, nullptr, "0", found, sizeof found, text);
    return found[0] == '1';
}

// Applies one profile edit to a hive under the hive lock and writes it back.
int EditHive(int hive, const char* keyPath, const char* name, const char* value) {
    std::lock_guard lock(HiveMutex());
    std::string path;
    ImagePtr image;
    int rc = LoadHive(hive, &path, &image);
    if (rc != ARCREG_OK) {
        return rc;
    }
    char* raw = image.release();
    rc = ArcPROF_SetInImage(keyPath, name, value, &raw);
    image.reset(raw);
    if (rc != 0) {
        return name != nullptr && value == nullptr ? ARCREG_NOT_FOUND : ARCREG_INVALID;
    }
    return SaveHive(path, image);
}

}  // namespace

std::string ArcReg_HivePath(int hive) {
    const char* file = hive == ARCREG_HKLM ? "HKLM.ini" : hive == ARCREG_HKCU ? "HKCU.ini" : nullptr;
    if (file == nullptr) {
        return {};
    }
    std::optional<std::string> dir = ArcOS_GetEnv("QEL_REGISTRY_DIR");
    if (!dir || dir->empty()) {
        const std::optional<std::string> base = qelinst::detail::BaseDir();
        if (!base) {
            return {};
        }
        dir = *base + "etc/registry/";
    }
    if (dir->back() != '/') {
        dir->push_back('/');
    }
    return *dir + file;
}

int ArcReg_KeyExists(int hive, const char* keyPath) {
    if (!ValidKeyPath(keyPath)) {
        return 0;
    }
    std::lock_guard lock(HiveMutex());
    std::string path;
    ImagePtr image;
    if (LoadHive(hive, &path, &image) != ARCREG_OK) {
        return 0;
    }
    return KeyPresent(keyPath, image.get()) ? 1 : 0;
}

int ArcReg_CreateKey(int hive, const char* keyPath) {
    if (!ValidKeyPath(keyPath)) {
        return ARCREG_INVALID;
    }
    std::lock_guard lock(HiveMutex());
    std::string path;
    ImagePtr image;
    int rc = LoadHive(hive, &path, &image);
    if (rc != ARCREG_OK || KeyPresent(keyPath, image.get())) {
        return rc;
    }
    // The profile editor creates sections only with a first key: append the header.
    std::string text = image ? image.get() : "";
    if (!text.empty() && text.back() != '\n') {
        text.push_back('\n');
    }
    text += "[" + std::string(keyPath) + "]\n\n";
    ImagePtr grown(static_cast<char*>(std::malloc(text.size() + 1)));
    if (!grown) {
        return ARCREG_IO_ERROR;
    }
    text.copy(grown.get(), text.size());
    grown.get()[text.size()] = '\0';
    return SaveHive(path, grown);
}

int ArcReg_DeleteKey(int hive, const char* keyPath) {
    if (!ValidKeyPath(keyPath)) {
        return ARCREG_INVALID;
    }
    std::lock_guard lock(HiveMutex());
    std::string path;
    ImagePtr image;
    const int rc = LoadHive(hive, &path, &image);
    if (rc != ARCREG_OK) {
        return rc;
    }
    return KeyPresent(keyPath, image.get()) ? EditHive(hive, keyPath, nullptr, nullptr) : ARCREG_NOT_FOUND;
}

int ArcReg_EnumValues(int hive, const char* keyPath, std::vector<ArcRegValue>* values) {
    if (values != nullptr) {
        values->clear();
    }
    if (!ValidKeyPath(keyPath)) {
        return ARCREG_INVALID;
    }
    std::vector<ArcPROFEntry> entries;
    {
        std::lock_guard lock(HiveMutex());
        std::string path;
        ImagePtr image;
        const int rc = LoadHive(hive, &path, &image);
        if (rc != ARCREG_OK) {
            return rc;
        }
        if (ArcPROF_ListSection(keyPath, image.get(), &entries) != 0) {
            return ARCREG_NOT_FOUND;
        }
    }
    if (values == nullptr) {
        return ARCREG_OK;
    }
    for (ArcPROFEntry& entry : entries) {
        bool repeated = false;
        for (const ArcRegValue& seen : *values) {
            repeated = repeated || ArcOS_StrICmp(seen.name.c_str(), entry.key.c_str()) == 0;
        }
        if (!repeated) {
            values->push_back({std::move(entry.key), std::move(entry.value)});
        }
    }
    return ARCREG_OK;
}

bool ArcReg_ValidName(const char* name) { return ValidName(name); }

int ArcReg_ReadString(int hive, const char* keyPath, const char* name, std::string* data) {
    if (!ValidName(name)) {
        return ARCREG_INVALID;
    }
    std::vector<ArcRegValue> values;
    const int rc = ArcReg_EnumValues(hive, keyPath, &values);
    if (rc != ARCREG_OK) {
        return rc;
    }
    for (const ArcRegValue& value : values) {
        if (ArcOS_StrICmp(value.name.c_str(), name) == 0) {
            if (data != nullptr) {
                *data = value.data;
            }
            return ARCREG_OK;
        }
    }
    return ARCREG_NOT_FOUND;
}

int ArcReg_ReadNumber(int hive, const char* keyPath, const char* name, int64_t* number) {
    std::string text;
    const int rc = ArcReg_ReadString(hive, keyPath, name, &text);
    if (rc != ARCREG_OK) {
        return rc;
    }
    // The whole text: an optional '-' and up to 19 digits, range-checked in 64 bits.
    const bool negative = !text.empty() && text[0] == '-';
    const std::string_view digits = std::string_view(text).substr(negative ? 1 : 0);
    if (digits.empty() || digits.size() > 19) {
        return ARCREG_NOT_NUMBER;
    }
    uint64_t magnitude = 0;
    for (char c : digits) {
        if (c < '0' || c > '9') {
            return ARCREG_NOT_NUMBER;
        }
        magnitude = magnitude * 10 + static_cast<uint64_t>(c - '0');
    }
    const uint64_t limit = negative ? uint64_t{1} << 63 : (uint64_t{1} << 63) - 1;
    if (magnitude > limit) {
        return ARCREG_NOT_NUMBER;
    }
    if (number != nullptr) {
        *number = negative ? static_cast<int64_t>(0 - magnitude) : static_cast<int64_t>(magnitude);
    }
    return ARCREG_OK;
}

int ArcReg_SetString(int hive, const char* keyPath, const char* name, const char* data) {
    if (!ValidKeyPath(keyPath) || !ValidName(name) || data == nullptr || HasLineBreak(data)) {
        return ARCREG_INVALID;
    }
    const std::string stored = Encode(data);
    // A longer line would read back cut.
    if (std::string_view(name).size() + 1 + stored.size() > ARCPROF_MAX_LINE) {
        return ARCREG_INVALID;
    }
    return EditHive(hive, keyPath, name, stored.c_str());
}

int ArcReg_SetNumber(int hive, const char* keyPath, const char* name, int64_t number) {
    return ArcReg_SetString(hive, keyPath, name, std::to_string(number).c_str());
}

int ArcReg_DeleteValue(int hive, const char* keyPath, const char* name) {
    if (!ValidKeyPath(keyPath) || !ValidName(name)) {
        return ARCREG_INVALID;
    }
    std::lock_guard lock(HiveMutex());
    const int rc = ArcReg_ReadString(hive, keyPath, name, nullptr);
    return rc == ARCREG_OK ? EditHive(hive, keyPath, name, nullptr) : rc;
}
