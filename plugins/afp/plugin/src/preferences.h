// preferences.h - the viewer's profile "VADEVIV2.INI": the defaults shipped in the
// install directory, the user's own copy in $XDG_CONFIG_HOME/qelview/ (read first,
// and the only one written), and what each key turns into at the engine.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace afpview {

inline constexpr const char* kProfileName = "VADEVIV2.INI";
inline constexpr size_t kFormdefLimit = 31;

class ProfileStore {
public:
    ProfileStore() = default;
    ProfileStore(std::string defaultsPath, std::string userPath)
        : defaultsPath_(std::move(defaultsPath)), userPath_(std::move(userPath)) {}

    // The user's value, else the installed default's, else fallback (values up to 511 bytes).
    std::string Read(const char* section, const char* key, const char* fallback) const;
    // Into the user's copy only (its directory made 0700); false when it cannot be written.
    bool Write(const char* section, const char* key, const char* value) const;

    const std::string& DefaultsPath() const { return defaultsPath_; }
    const std::string& UserPath() const { return userPath_; }

private:
    std::string defaultsPath_;
    std::string userPath_;
};

// $XDG_CONFIG_HOME/qelview/VADEVIV2.INI, else $HOME/.config/qelview/VADEVIV2.INI; empty
// when neither is an absolute path.
std::string UserProfilePath();

// Read at each instance's start.
struct PrintPreferences {
    std::string formdef;  // "" when unset or longer than kFormdefLimit
    int32_t range = 30000;
    int32_t shrinkToFit = 1;
    int32_t rotateToFit = 1;
};
PrintPreferences ReadPrintPreferences(const ProfileStore& profile);

// Text fidelity after a document opened: "FALSE" gives 2, anything else 4.
int32_t TextFidelity(const std::string& value);

// "ImageColor" names: YELLOW 16, BLUE 11, RED 12, MAGENTA 13, GREEN 14, CYAN 15, else 10.
int32_t ColourCode(const std::string& name);
// The container's shade letter: 'C' 15, 'G' 14, 'L' 11, 'M' 13, 'R' 12, 'Y' 16; else 0.
int32_t ShadeCode(uint8_t letter);

// One VSSetImageView call: mode, colour.
using ImageViewCall = std::pair<int32_t, int32_t>;

// The image view of a document from the profile's "ImageView" and "ImageColor" and the
// container's image-view and shade letters; flag becomes 1 (normal, light or colour) or
// 0 (draft).
std::vector<ImageViewCall> ImageViewCalls(const std::string& imageView, const std::string& imageColor,
                                          uint8_t viewLetter, uint8_t shadeLetter, int32_t& flag);

// The image-view command: from any non-zero flag to draft, from draft to colour. The
// calls, the new flag and the value written as "ImageView".
struct ImageViewToggle {
    std::vector<ImageViewCall> calls;
    int32_t flag = 0;
    std::string written;
};
ImageViewToggle ToggleImageView(int32_t flag, const std::string& imageColor, uint8_t shadeLetter);

}  // namespace afpview
