// presets.cpp - loading, editing and storing the display presets.
#include "presets.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

#include "arc_install.h"
#include "geometry.h"

namespace zyp {
namespace {

constexpr char kCommaEscape = '\xFF';

bool SameName(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\v' || c == '\f'; }

// The leading decimal number of text (optional sign), as atoi reads it but
// saturating instead of overflowing; 0 when there is none.
int LeadingNumber(std::string_view text) {
    size_t at = 0;
    while (at < text.size() && IsBlank(text[at])) ++at;
    bool negative = false;
    if (at < text.size() && (text[at] == '-' || text[at] == '+')) negative = text[at++] == '-';
    long long value = 0;
    for (; at < text.size() && text[at] >= '0' && text[at] <= '9'; ++at) {
        value = std::min(value * 10 + (text[at] - '0'), 1000000000LL);
    }
    return static_cast<int>(negative ? -value : value);
}

ViewValues Sanitised(ViewValues v) {
    v.zoom = std::clamp(v.zoom, kMinZoom, kMaxZoom);
    if (v.rotation < 1 || v.rotation > 4) v.rotation = 1;
    v.contrast = std::clamp(v.contrast, 0, 255);
    v.brightness = std::clamp(v.brightness, 0, 255);
    v.grey = v.grey != 0 ? 1 : 0;
    return v;
}

}  // namespace

NameCheck CheckPresetName(std::string_view name) {
    if (name.empty()) return NameCheck::Empty;
    if (name.size() > kMaxPresetName) return NameCheck::TooLong;
    if (SameName(name, kPresetListValue)) return NameCheck::Reserved;
    // The stored list writes ',' as 0xFF, and a NUL would end the name early.
    if (name.find(kCommaEscape) != std::string_view::npos || name.find('\0') != std::string_view::npos)
        return NameCheck::NotStorable;
    // The registry keeps value names on profile lines: names it refuses could not be read back.
    if (!ArcReg_ValidName(std::string(name).c_str())) return NameCheck::NotStorable;
    return NameCheck::Ok;
}

ViewValues ParsePresetValue(std::string_view text) {
    int parts[5] = {0, 0, 0, 0, 0};
    size_t at = 0;
    for (int i = 0; i < 5; ++i) {
        if (i > 0) {
            size_t comma = text.find(',', at);
            if (comma == std::string_view::npos) break;
            at = comma + 1;
        }
        parts[i] = LeadingNumber(text.substr(at));
    }
    return Sanitised({parts[0], parts[1], parts[2], parts[3], parts[4]});
}

std::string FormatPresetValue(const ViewValues& v) {
    char text[80];
    std::snprintf(text, sizeof text, "%d,%d,%d,%d,%d", v.zoom, v.rotation, v.contrast, v.brightness, v.grey);
    return text;
}

std::vector<std::string> SplitPresetList(std::string_view list) {
    std::vector<std::string> names;
    std::string current;
    for (char c : list) {
        if (c == ',') {
            names.push_back(std::move(current));
            current.clear();
        } else {
            current.push_back(c == kCommaEscape ? ',' : c);
        }
    }
    // A list written by hand may lack the last ','.
    if (!current.empty()) names.push_back(std::move(current));
    return names;
}

std::string JoinPresetList(const std::vector<std::string>& names) {
    std::string list;
    for (const std::string& name : names) {
        for (char c : name) list.push_back(c == ',' ? kCommaEscape : c);
        list.push_back(',');
    }
    return list;
}

bool PresetTable::Append(ViewPreset preset) {
    if (entries_.size() >= kMaxPresets) return false;
    entries_.push_back(std::move(preset));
    return true;
}

bool PresetTable::LoadFromHive(int hive, bool* readError) {
    std::string list;
    int rc = ArcReg_ReadString(hive, kPresetKey, kPresetListValue, &list);
    if (rc != ARCREG_OK) {
        *readError = rc != ARCREG_NOT_FOUND;
        return false;
    }
    if (list.empty()) return false;
    entries_.clear();
    for (std::string& name : SplitPresetList(list)) {
        if (entries_.size() >= kMaxPresets) break;
        if (CheckPresetName(name) != NameCheck::Ok || Find(name) >= 0) continue;
        ViewPreset preset;
        preset.name = std::move(name);
        std::string value;
        rc = ArcReg_ReadString(hive, kPresetKey, preset.name.c_str(), &value);
        if (rc == ARCREG_OK) {
            preset.values = ParsePresetValue(value);
        } else if (rc != ARCREG_NOT_FOUND) {
            *readError = true;
        }
        entries_.push_back(std::move(preset));
    }
    return !entries_.empty();
}

PresetTable::LoadSource PresetTable::Load() {
    entries_.clear();
    storable_ = true;
    bool userError = false;
    if (LoadFromHive(ARCREG_HKCU, &userError) && !userError) return LoadSource::User;
    if (userError) {
        // Whatever we show now, the user's own list must not be overwritten by it.
        storable_ = false;
        entries_.clear();
    }
    bool machineError = false;
    if (LoadFromHive(ARCREG_HKLM, &machineError)) return LoadSource::Machine;
    entries_.clear();
    entries_.push_back({false, "reset", ViewValues{}});
    return LoadSource::Default;
}

bool PresetTable::Store() const {
    if (!storable_) return false;
    bool ok = true;
    std::vector<std::string> names;
    for (const ViewPreset& preset : entries_) {
        if (preset.deleted) {
            int rc = ArcReg_DeleteValue(ARCREG_HKCU, kPresetKey, preset.name.c_str());
            ok = ok && (rc == ARCREG_OK || rc == ARCREG_NOT_FOUND);
            continue;
        }
        std::string value = FormatPresetValue(preset.values);
        ok = ArcReg_SetString(ARCREG_HKCU, kPresetKey, preset.name.c_str(), value.c_str()) == ARCREG_OK && ok;
        names.push_back(preset.name);
    }
    std::string list = JoinPresetList(names);
    return ArcReg_SetString(ARCREG_HKCU, kPresetKey, kPresetListValue, list.c_str()) == ARCREG_OK && ok;
}

int PresetTable::Find(std::string_view name) const {
    for (size_t i = 0; i < entries_.size(); ++i) {
        if (SameName(entries_[i].name, name)) return static_cast<int>(i);
    }
    return -1;
}

std::vector<std::string> PresetTable::ActiveNames() const {
    std::vector<std::string> names;
    for (const ViewPreset& preset : entries_) {
        if (!preset.deleted) names.push_back(preset.name);
    }
    return names;
}

const ViewPreset* PresetTable::FirstActive() const {
    for (const ViewPreset& preset : entries_) {
        if (!preset.deleted) return &preset;
    }
    return nullptr;
}

PresetTable::SaveResult PresetTable::Save(std::string_view name, const ViewValues& values) {
    if (CheckPresetName(name) != NameCheck::Ok) return SaveResult::BadName;
    int found = Find(name);
    if (found >= 0) {
        ViewPreset& preset = entries_[static_cast<size_t>(found)];
        bool revived = preset.deleted;
        preset.deleted = false;
        preset.values = Sanitised(values);
        return revived ? SaveResult::Revived : SaveResult::Updated;
    }
    if (!Append({false, std::string(name), Sanitised(values)})) return SaveResult::Full;
    return SaveResult::Added;
}

int PresetTable::FindActive(std::string_view name) const {
    int found = Find(name);
    return found >= 0 && !entries_[static_cast<size_t>(found)].deleted ? found : -1;
}

bool PresetTable::Remove(std::string_view name) {
    int found = FindActive(name);
    if (found < 0) return false;
    entries_[static_cast<size_t>(found)].deleted = true;
    return true;
}

bool PresetTable::MakeDefault(std::string_view name) {
    int found = FindActive(name);
    if (found < 0) return false;
    if (found > 0) std::swap(entries_[0], entries_[static_cast<size_t>(found)]);
    return true;
}

std::string PresetTable::NameAfterRemoval(int index) const {
    for (int i = std::min(index, static_cast<int>(entries_.size())) - 1; i >= 0; --i) {
        if (!entries_[static_cast<size_t>(i)].deleted) return entries_[static_cast<size_t>(i)].name;
    }
    const ViewPreset* first = FirstActive();
    return first ? first->name : std::string();
}

}  // namespace zyp
