// dialog_procs.cpp - the procedures of the zoom, rotation, contrast and presets
// dialogs. Every change reaches the view at once.
#include <algorithm>
#include <string>
#include <vector>

#include "dialog_rules.h"
#include "dialogs.h"
#include "plugin_state.h"
#include "view.h"

namespace zyp {
namespace {

enum : uint32_t {
    kZoomEdit = 208,
    kZoomBar = 209,
    kRotateFirst = 300,
    kRotateLast = 303,
    kContrastEdit = 304,
    kContrastBar = 305,
    kBrightnessEdit = 306,
    kBrightnessBar = 307,
    kPresetCombo = 308,
    kPresetDelete = 309,
    kPresetSave = 310,
    kPresetApply = 311,
    kPresetDefault = 312,
};
constexpr int kZoomPageStep = 99;
constexpr int kLevelPageStep = 25;
constexpr size_t kPresetNameField = 99;

// Set while a dialog writes an edit field itself, so its EN_CHANGE is not taken
// for the user's typing.
bool writingField = false;

void WriteField(WinHandle dialog, uint32_t id, int value) {
    writingField = true;
    Win_SetDlgItemInt(dialog, id, value);
    writingField = false;
}

int ReadField(WinHandle dialog, uint32_t id) { return ParseFieldNumber(Win_GetDlgItemText(dialog, id)); }

void SetBar(WinHandle dialog, uint32_t id, int low, int high, int position) {
    WinHandle bar = Win_GetDlgItem(dialog, id);
    Win_SetScrollRange(bar, SB_CTL, low, high, false);
    Win_SetScrollPos(bar, SB_CTL, position, true);
}

int BarPosition(WinHandle dialog, uint32_t id) {
    return Win_GetScrollPos(Win_GetDlgItem(dialog, id), SB_CTL);
}

void FocusControl(WinHandle dialog, uint32_t id) { Win_SetFocus(Win_GetDlgItem(dialog, id)); }

void RangeMessage(uint32_t textId, int low, int high) {
    ShowMessage(FormatRangeMessage(LanguageString(textId), low, high));
}

void Help(WinHandle dialog, uintptr_t context) {
    Win_WinHelp(dialog, State().helpPath, HELP_CONTEXT, context);
}

// A request on a dialog's scroll bar of low..high: a step past either end beeps, any
// other move hands the bar's new value to follow.
template <typename Follow>
void ScrollBar(WinHandle dialog, uint32_t bar, uintptr_t wParam, int low, int high, int pageStep,
               Follow follow) {
    int request = WinLowWord(wParam);
    if (request == SB_ENDSCROLL) return;
    auto target =
        ScrollStepTarget(request, WinHighWord(wParam), BarPosition(dialog, bar), low, high, pageStep);
    if (!target) {
        Win_MessageBeep(MB_ICONWARNING);
    } else {
        follow(*target);
    }
}

// --- zoom -----------------------------------------------------------------

void CheckZoomRadios(WinHandle dialog, int percent) {
    int checked = RadioOfZoom(percent);
    for (int id = kZoomRadioFirst; id <= kZoomRadioLast; ++id) {
        Win_CheckDlgButton(dialog, id, id == checked ? BST_CHECKED : BST_UNCHECKED);
    }
}

// The value typed, chosen or scrolled to: radios follow it, the bar and the view
// take it clamped into range.
void FollowZoom(WinHandle dialog, PluginInstance& in, int percent, bool writeEdit) {
    if (writeEdit) WriteField(dialog, kZoomEdit, percent);
    CheckZoomRadios(dialog, percent);
    int zoom = std::clamp(percent, kMinZoom, kMaxZoom);
    Win_SetScrollPos(Win_GetDlgItem(dialog, kZoomBar), SB_CTL, zoom, true);
    SetZoom(in, zoom);
}

}  // namespace

intptr_t ZoomDialogProc(WinHandle dialog, uint32_t message, uintptr_t wParam, intptr_t lParam) {
    PluginInstance* in = DialogInstance(dialog, message, lParam);
    if (!in) return 0;
    switch (message) {
        case WM_INITDIALOG:
            WriteField(dialog, kZoomEdit, in->geometry.zoom);
            CheckZoomRadios(dialog, in->geometry.zoom);
            SetBar(dialog, kZoomBar, kMinZoom, kMaxZoom, in->geometry.zoom);
            FocusControl(dialog, kZoomEdit);
            return 0;
        case WM_COMMAND: {
            int id = WinLowWord(wParam), code = WinHighWord(wParam);
            if (id >= kZoomRadioFirst && id <= kZoomRadioLast && code == BN_CLICKED) {
                FollowZoom(dialog, *in, ZoomOfRadio(id), true);
            } else if (id == kZoomEdit && code == EN_CHANGE) {
                if (!writingField) FollowZoom(dialog, *in, ReadField(dialog, kZoomEdit), false);
            } else if (id == IDOK) {
                int zoom = ReadField(dialog, kZoomEdit);
                if (zoom < kMinZoom || zoom > kMaxZoom) {
                    RangeMessage(kStrZoomRange, kMinZoom, kMaxZoom);
                    FocusControl(dialog, kZoomEdit);
                } else {
                    SetZoom(*in, zoom);
                    Win_EndDialog(dialog, IDOK);
                }
            } else if (id == IDCANCEL) {
                Win_EndDialog(dialog, IDCANCEL);
            } else if (id == static_cast<int>(kCmdHelp)) {
                Help(dialog, kHelpZoom);
            } else {
                return 0;
            }
            return 1;
        }
        case WM_HSCROLL: {
            if (Win_GetControlId(static_cast<WinHandle>(lParam)) != kZoomBar) return 0;
            ScrollBar(dialog, kZoomBar, wParam, kMinZoom, kMaxZoom, kZoomPageStep,
                      [&](int zoom) { FollowZoom(dialog, *in, zoom, true); });
            return 1;
        }
        default: return 0;
    }
}

intptr_t RotateDialogProc(WinHandle dialog, uint32_t message, uintptr_t wParam, intptr_t lParam) {
    PluginInstance* in = DialogInstance(dialog, message, lParam);
    if (!in) return 0;
    switch (message) {
        case WM_INITDIALOG: {
            int rotation = in->geometry.rotation;
            uint32_t checked = rotation >= 1 && rotation <= 3 ? kRotateFirst + rotation - 1 : kRotateLast;
            for (uint32_t id = kRotateFirst; id <= kRotateLast; ++id) {
                Win_CheckDlgButton(dialog, id, id == checked ? BST_CHECKED : BST_UNCHECKED);
            }
            FocusControl(dialog, checked);
            return 0;
        }
        case WM_COMMAND: {
            int id = WinLowWord(wParam), code = WinHighWord(wParam);
            if (id >= static_cast<int>(kRotateFirst) && id <= static_cast<int>(kRotateLast) &&
                code == BN_CLICKED) {
                SetRotation(*in, id - static_cast<int>(kRotateFirst) + 1);
            } else if (id == IDOK || id == IDCANCEL) {
                Win_EndDialog(dialog, id);
            } else if (id == static_cast<int>(kCmdHelp)) {
                Help(dialog, kHelpRotate);
            } else {
                return 0;
            }
            return 1;
        }
        default: return 0;
    }
}

namespace {

// --- contrast and brightness ----------------------------------------------

struct Level {
    uint32_t edit, bar, rangeMessage;
    void (*apply)(PluginInstance&, int);
};
constexpr Level kContrastLevel = {kContrastEdit, kContrastBar, kStrContrastRange, SetContrast};
constexpr Level kBrightnessLevel = {kBrightnessEdit, kBrightnessBar, kStrBrightnessRange, SetBrightness};

void FollowLevel(WinHandle dialog, PluginInstance& in, const Level& level, int value, bool writeEdit) {
    if (writeEdit) WriteField(dialog, level.edit, value);
    value = std::clamp(value, 0, 255);
    Win_SetScrollPos(Win_GetDlgItem(dialog, level.bar), SB_CTL, value, true);
    level.apply(in, value);
}

bool CheckLevel(WinHandle dialog, const Level& level) {
    int value = ReadField(dialog, level.edit);
    if (value >= 0 && value <= 255) return true;
    RangeMessage(level.rangeMessage, 0, 255);
    FocusControl(dialog, level.edit);
    return false;
}

}  // namespace

intptr_t ContrastDialogProc(WinHandle dialog, uint32_t message, uintptr_t wParam, intptr_t lParam) {
    PluginInstance* in = DialogInstance(dialog, message, lParam);
    if (!in) return 0;
    switch (message) {
        case WM_INITDIALOG:
            WriteField(dialog, kContrastEdit, in->contrast);
            WriteField(dialog, kBrightnessEdit, in->brightness);
            SetBar(dialog, kContrastBar, 0, 255, in->contrast);
            SetBar(dialog, kBrightnessBar, 0, 255, in->brightness);
            FocusControl(dialog, kContrastEdit);
            return 0;
        case WM_COMMAND: {
            int id = WinLowWord(wParam), code = WinHighWord(wParam);
            if ((id == static_cast<int>(kContrastEdit) || id == static_cast<int>(kBrightnessEdit)) &&
                code == EN_CHANGE) {
                const Level& level =
                    id == static_cast<int>(kContrastEdit) ? kContrastLevel : kBrightnessLevel;
                if (!writingField) FollowLevel(dialog, *in, level, ReadField(dialog, level.edit), false);
            } else if (id == IDOK) {
                if (CheckLevel(dialog, kContrastLevel) && CheckLevel(dialog, kBrightnessLevel)) {
                    SetContrast(*in, ReadField(dialog, kContrastEdit));
                    SetBrightness(*in, ReadField(dialog, kBrightnessEdit));
                    Win_EndDialog(dialog, IDOK);
                }
            } else if (id == IDCANCEL) {
                Win_EndDialog(dialog, IDCANCEL);
            } else if (id == static_cast<int>(kCmdHelp)) {
                Help(dialog, kHelpContrast);
            } else {
                return 0;
            }
            return 1;
        }
        case WM_HSCROLL: {
            uint32_t bar = Win_GetControlId(static_cast<WinHandle>(lParam));
            if (bar != kContrastBar && bar != kBrightnessBar) return 0;
            const Level& level = bar == kContrastBar ? kContrastLevel : kBrightnessLevel;
            ScrollBar(dialog, bar, wParam, 0, 255, kLevelPageStep,
                      [&](int value) { FollowLevel(dialog, *in, level, value, true); });
            return 1;
        }
        default: return 0;
    }
}

namespace {

// --- presets --------------------------------------------------------------

void FillPresetList(WinHandle dialog, const std::string& selected) {
    WinHandle combo = Win_GetDlgItem(dialog, kPresetCombo);
    Win_ListReset(combo);
    for (const std::string& name : State().presets.ActiveNames()) Win_ListAddString(combo, name);
    int index = selected.empty() ? -1 : Win_ListFind(combo, selected);
    Win_ListSetSelection(combo, index);
    Win_SetWindowText(combo, index >= 0 ? selected : std::string());
}

std::string TypedPresetName(WinHandle dialog) {
    return Win_GetWindowText(Win_GetDlgItem(dialog, kPresetCombo)).substr(0, kPresetNameField);
}

void MakePresetDefault(WinHandle dialog, const std::string& name) {
    PresetTable& presets = State().presets;
    if (!presets.MakeDefault(name)) {
        Win_MessageBeep(MB_BEEP_DEFAULT);
        return;
    }
    FillPresetList(dialog, presets.Entries()[0].name);
}

void ApplyPreset(WinHandle dialog, PluginInstance& in, const std::string& name) {
    PresetTable& presets = State().presets;
    int index = presets.FindActive(name);
    if (index < 0) return MakePresetDefault(dialog, name);
    ApplyValues(in, presets.Entries()[static_cast<size_t>(index)].values);
}

void DeletePreset(WinHandle dialog, const std::string& name) {
    PresetTable& presets = State().presets;
    int index = presets.FindActive(name);
    if (index < 0) {
        Win_MessageBeep(MB_BEEP_DEFAULT);
        return;
    }
    presets.Remove(name);
    FillPresetList(dialog, presets.NameAfterRemoval(index));
}

void SavePreset(WinHandle dialog, PluginInstance& in, const std::string& name) {
    PresetTable& presets = State().presets;
    switch (presets.Save(name, in.Values())) {
        case PresetTable::SaveResult::Full: Win_MessageBeep(MB_BEEP_DEFAULT); return;
        case PresetTable::SaveResult::BadName: ShowMessage(LanguageString(kStrBadPresetName)); return;
        default: break;
    }
    FillPresetList(dialog, presets.Entries()[static_cast<size_t>(presets.Find(name))].name);
}

}  // namespace

intptr_t PresetsDialogProc(WinHandle dialog, uint32_t message, uintptr_t wParam, intptr_t lParam) {
    PluginInstance* in = DialogInstance(dialog, message, lParam);
    if (!in) return 0;
    switch (message) {
        case WM_INITDIALOG: {
            std::vector<std::string> names = State().presets.ActiveNames();
            FillPresetList(dialog, names.empty() ? std::string() : names.front());
            return 1;
        }
        case WM_COMMAND: {
            int id = WinLowWord(wParam), code = WinHighWord(wParam);
            switch (id) {
                case kPresetApply: ApplyPreset(dialog, *in, TypedPresetName(dialog)); return 1;
                case kPresetCombo:
                    if (code != CBN_DBLCLK) return 0;
                    ApplyPreset(dialog, *in, TypedPresetName(dialog));
                    return 1;
                case kPresetDefault: MakePresetDefault(dialog, TypedPresetName(dialog)); return 1;
                case kPresetDelete: DeletePreset(dialog, TypedPresetName(dialog)); return 1;
                case kPresetSave: SavePreset(dialog, *in, TypedPresetName(dialog)); return 1;
                case IDOK:
                case IDCANCEL: Win_EndDialog(dialog, id); return 1;
                case kCmdHelp: Help(dialog, kHelpPresets); return 1;
                default: return 0;
            }
        }
        default: return 0;
    }
}

}  // namespace zyp
