// presets.h - the named display presets of the image viewer, kept in the registry.
//
// HKCU "Software\Kvr\Tidewell Image Plugin" (read fall-back: the same key in HKLM):
// value "Settings" lists the names, each followed by ','; a ',' inside a name is
// stored as byte 0xFF. Each preset is a value named by the preset:
// "zoom,rotation,contrast,brightness,grey".
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace zyp {

struct ViewValues {
    int zoom = 100;
    int rotation = 1;  // 1-4: 0, 90, 180, 270 degrees
    int contrast = 128;
    int brightness = 128;
    int grey = 0;
    bool operator==(const ViewValues&) const = default;
};

struct ViewPreset {
    bool deleted = false;
    std::string name;
    ViewValues values;
};

inline constexpr const char* kPresetKey = "Software\\Kvr\\Tidewell Image Plugin";
inline constexpr const char* kPresetListValue = "Settings";
inline constexpr std::size_t kMaxPresets = 100;
inline constexpr std::size_t kMaxPresetName = 51;

// Why a name cannot be saved.
enum class NameCheck { Ok, Empty, TooLong, Reserved, NotStorable };
NameCheck CheckPresetName(std::string_view name);

// "zoom,rotation,contrast,brightness,grey"; missing or unreadable parts read as 0,
// then every value is brought into its range (zoom 10..1000, rotation 1..4 else 1,
// contrast and brightness 0..255, grey 0 or 1).
ViewValues ParsePresetValue(std::string_view text);
std::string FormatPresetValue(const ViewValues& values);

// The "Settings" list: names split at ',', 0xFF turned back into ','.
std::vector<std::string> SplitPresetList(std::string_view list);
std::string JoinPresetList(const std::vector<std::string>& names);

class PresetTable {
public:
    enum class LoadSource { User, Machine, Default };
    enum class SaveResult { Updated, Added, Revived, Full, BadName };

    // Reads the table from the registry (first 100 names; names that cannot be
    // presets are skipped). When the user's hive cannot be read, the table comes
    // from the fall-backs but is never written back, so the user's list survives.
    LoadSource Load();
    // Writes every preset and the list to HKCU (deleted ones lose their value).
    // false when the table was loaded from an unreadable user hive (nothing
    // written) or a write failed.
    bool Store() const;
    bool Storable() const { return storable_; }

    const std::vector<ViewPreset>& Entries() const { return entries_; }
    std::size_t Size() const { return entries_.size(); }
    // Index of the preset named name (case ignored, deleted ones too); -1 none.
    int Find(std::string_view name) const;
    // As Find, but -1 for a deleted preset.
    int FindActive(std::string_view name) const;
    // Names of the presets not deleted, in table order.
    std::vector<std::string> ActiveNames() const;
    // The first preset not deleted; null when none.
    const ViewPreset* FirstActive() const;

    // Saves values under name: an existing name (also a deleted one, which comes
    // back) is updated; a new one is appended unless the table is full.
    SaveResult Save(std::string_view name, const ViewValues& values);
    // Marks the preset deleted; false when no active preset has that name.
    bool Remove(std::string_view name);
    // Swaps the named active preset with the first entry; false when there is none.
    bool MakeDefault(std::string_view name);
    // The name to select after index was deleted: the nearest active preset before
    // it, else the first active one, else "".
    std::string NameAfterRemoval(int index) const;

    void Clear() { entries_.clear(); }
    // For tests and the loader: appends without checks beyond the table's size.
    bool Append(ViewPreset preset);

private:
    bool LoadFromHive(int hive, bool* readError);

    std::vector<ViewPreset> entries_;
    bool storable_ = true;
};

}  // namespace zyp
