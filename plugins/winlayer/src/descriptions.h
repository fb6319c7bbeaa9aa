// descriptions.h - the dialog and menu description languages (docs/window-layer.md).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

struct ControlDescription {
    std::string className;  // upper case: BUTTON, EDIT, ...
    uint32_t id = 0;
    int x = 0, y = 0, width = 0, height = 0;  // dialog units
    uint32_t style = 0;                       // WS_CHILD, WS_VISIBLE and the words given
    std::string text;
};

struct DialogDescription {
    int x = 0, y = 0, width = 0, height = 0;  // dialog units
    uint32_t style = 0;
    std::string caption;
    std::vector<ControlDescription> controls;
};

struct MenuDescriptionItem {
    enum class Kind { Item, Separator, Popup } kind = Kind::Item;
    std::string text;
    uint32_t id = 0;
    uint32_t flags = 0;                      // MF_CHECKED, MF_GRAYED, MF_DISABLED
    std::vector<MenuDescriptionItem> items;  // of a popup
};

// false with "line N: what is wrong" in error.
bool ParseDialogDescription(std::string_view text, DialogDescription* dialog, std::string* error);
// The top level of the menu: its items (usually popups).
bool ParseMenuDescription(std::string_view text, std::vector<MenuDescriptionItem>* menu, std::string* error);

// Dialog units to pixels.
inline int DialogUnitsX(int units) { return units * 3 / 2; }
inline int DialogUnitsY(int units) { return units * 13 / 8; }
