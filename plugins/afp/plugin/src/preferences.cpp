// The viewer's profile and what its keys mean.
#include "preferences.h"

#include <filesystem>

#include "arc_platform.h"
#include "arc_profile.h"
#include "knvw_engine.h"

namespace afpview {

namespace {

constexpr size_t kValueSize = 512;
// No profile value can hold a line feed, so this marks "not in this file".
constexpr const char* kAbsent = "\n";

bool ReadFrom(const std::string& path, const char* section, const char* key, std::string* value) {
    if (path.empty()) return false;
    char buffer[kValueSize];
    ArcPROF_GetString(section, key, kAbsent, buffer, sizeof buffer, path.c_str());
    if (std::string_view(buffer) == kAbsent) return false;
    *value = buffer;
    return true;
}

}  // namespace

std::string ProfileStore::Read(const char* section, const char* key, const char* fallback) const {
    std::string value;
    if (ReadFrom(userPath_, section, key, &value) || ReadFrom(defaultsPath_, section, key, &value))
        return value;
    return fallback;
}

bool ProfileStore::Write(const char* section, const char* key, const char* value) const {
    if (userPath_.empty()) return false;
    const std::filesystem::path directory = std::filesystem::path(userPath_).parent_path();
    std::error_code error;
    if (!std::filesystem::is_directory(directory, error)) {
        std::filesystem::create_directories(directory, error);
        if (error) return false;
        std::filesystem::permissions(directory, std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::replace, error);
    }
    return ArcPROF_WriteString(section, key, value, userPath_.c_str()) == 0;
}

std::string UserProfilePath() {
    std::optional<std::string> base = ArcOS_GetEnv("XDG_CONFIG_HOME");
    if (!base || base->empty() || base->front() != '/') {
        const std::optional<std::string> home = ArcOS_GetEnv("HOME");
        if (!home || home->empty() || home->front() != '/') return {};
        base = *home + "/.config";
    }
    return *base + "/qelview/" + kProfileName;
}

PrintPreferences ReadPrintPreferences(const ProfileStore& profile) {
    PrintPreferences prefs;
    // A cut name would name another form definition: a name that does not fit is not used.
    std::string formdef = profile.Read("Preferences", "FormdefName", "");
    if (formdef.size() <= kFormdefLimit) prefs.formdef = std::move(formdef);
    // "TRUE" preselects the current page, whatever the key's name suggests.
    prefs.range = profile.Read("Settings", "PrintAllPages", "FALSE") == "TRUE" ? 30001 : 30000;
    prefs.shrinkToFit = profile.Read("Settings", "ShrinkToFitPrint", "TRUE") == "FALSE" ? 0 : 1;
    prefs.rotateToFit = profile.Read("Settings", "RotateToFitPrint", "TRUE") == "FALSE" ? 0 : 1;
    return prefs;
}

int32_t TextFidelity(const std::string& value) { return value == "FALSE" ? 2 : 4; }

int32_t ColourCode(const std::string& name) {
    if (name == "YELLOW") return KNVW_SHADE_YELLOW;
    if (name == "BLUE") return KNVW_SHADE_BLUE;
    if (name == "RED") return KNVW_SHADE_RED;
    if (name == "MAGENTA") return KNVW_SHADE_MAGENTA;
    if (name == "GREEN") return KNVW_SHADE_GREEN;
    if (name == "CYAN") return KNVW_SHADE_CYAN;
    return KNVW_SHADE_NONE;
}

int32_t ShadeCode(uint8_t letter) {
    switch (letter) {
        case 'C': return KNVW_SHADE_CYAN;
        case 'G': return KNVW_SHADE_GREEN;
        case 'L': return KNVW_SHADE_BLUE;
        case 'M': return KNVW_SHADE_MAGENTA;
        case 'R': return KNVW_SHADE_RED;
        case 'Y': return KNVW_SHADE_YELLOW;
        default: return 0;
    }
}

std::vector<ImageViewCall> ImageViewCalls(const std::string& imageView, const std::string& imageColor,
                                          uint8_t viewLetter, uint8_t shadeLetter, int32_t& flag) {
    std::vector<ImageViewCall> calls;
    flag = 1;
    if (imageView == "LIGHT") {
        calls.emplace_back(KNVW_VIEW_LIGHT, 0);
    } else if (imageView == "DRAFT") {
        calls.emplace_back(KNVW_VIEW_DRAFT, 0);
        flag = 0;
    } else {
        calls.emplace_back(KNVW_VIEW_NORMAL, 0);
    }
    // The container's letter overrides the profile.
    if (viewLetter == 'L') {
        calls.emplace_back(KNVW_VIEW_LIGHT, 0);
        flag = 1;
    } else if (viewLetter == 'N') {
        calls.emplace_back(KNVW_VIEW_DRAFT, 0);
        flag = 0;
    } else if (viewLetter != 0) {
        calls.emplace_back(KNVW_VIEW_NORMAL, 0);
        flag = 1;
    }
    calls.emplace_back(KNVW_VIEW_SHADE, KNVW_SHADE_NONE);
    if (imageView == "COLOR" && viewLetter != 'N')
        calls.emplace_back(KNVW_VIEW_SHADE, ColourCode(imageColor));
    if (const int32_t shade = ShadeCode(shadeLetter)) calls.emplace_back(KNVW_VIEW_SHADE, shade);
    return calls;
}

ImageViewToggle ToggleImageView(int32_t flag, const std::string& imageColor, uint8_t shadeLetter) {
    ImageViewToggle toggle;
    if (flag != 0) {
        toggle.flag = 0;
        toggle.calls.emplace_back(KNVW_VIEW_DRAFT, 0);
        toggle.written = "DRAFT";
        return toggle;
    }
    toggle.flag = 1;
    toggle.calls.emplace_back(KNVW_VIEW_SHADE, ColourCode(imageColor));
    toggle.written = "COLOR";
    const int32_t shade = ShadeCode(shadeLetter);
    toggle.calls.emplace_back(KNVW_VIEW_SHADE, shade != 0 ? shade : KNVW_SHADE_NONE);
    return toggle;
}

}  // namespace afpview
