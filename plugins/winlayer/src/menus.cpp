// menus.cpp - popup menus: items, check and enable state (tracking: menu_popup.cpp).
#include "desktop_state.h"

namespace {

constexpr uint32_t kNoItem = 0xFFFFFFFFu;
constexpr uint32_t kStateFlags = MF_GRAYED | MF_DISABLED | MF_CHECKED;

}  // namespace

std::vector<MenuItem>* MenuItems(WinMenu menu) {
    auto& menus = TheDesktop().menus;
    auto it = menus.find(menu);
    return it == menus.end() ? nullptr : &it->second;
}

MenuItem* FindMenuItem(WinMenu menu, uint32_t id, int depth) {
    std::vector<MenuItem>* items = MenuItems(menu);
    if (items == nullptr || depth > 32) return nullptr;
    for (MenuItem& item : *items) {
        if (item.flags & MF_POPUP) {
            if (MenuItem* found = FindMenuItem(item.submenu, id, depth + 1)) return found;
        } else if (!(item.flags & MF_SEPARATOR) && item.id == id) {
            return &item;
        }
    }
    return nullptr;
}

WinMenu Win_CreatePopupMenu() {
    Desktop& desktop = TheDesktop();
    WinMenu menu = desktop.nextMenu++;
    desktop.menus[menu];
    return menu;
}

bool Win_AppendMenu(WinMenu menu, uint32_t flags, uintptr_t idOrSubmenu, const std::string& text) {
    std::vector<MenuItem>* items = MenuItems(menu);
    if (items == nullptr) return false;
    MenuItem item;
    item.flags = flags;
    item.text = text;
    if (flags & MF_POPUP) {
        auto submenu = static_cast<WinMenu>(idOrSubmenu);
        if (submenu == menu || MenuItems(submenu) == nullptr) return false;
        item.submenu = submenu;
    } else {
        item.id = static_cast<uint32_t>(idOrSubmenu);
    }
    MenuItems(menu)->push_back(std::move(item));
    return true;
}

WinMenu Win_GetSubMenu(WinMenu menu, int position) {
    std::vector<MenuItem>* items = MenuItems(menu);
    if (items == nullptr || position < 0 || static_cast<size_t>(position) >= items->size()) return 0;
    return (*items)[static_cast<size_t>(position)].submenu;
}

int Win_GetMenuItemCount(WinMenu menu) {
    std::vector<MenuItem>* items = MenuItems(menu);
    return items == nullptr ? -1 : static_cast<int>(items->size());
}

uint32_t Win_CheckMenuItem(WinMenu menu, uint32_t id, uint32_t flags) {
    MenuItem* item = FindMenuItem(menu, id);
    if (item == nullptr) return kNoItem;
    uint32_t old = item->flags & MF_CHECKED;
    item->flags = (item->flags & ~MF_CHECKED) | (flags & MF_CHECKED);
    return old;
}

uint32_t Win_EnableMenuItem(WinMenu menu, uint32_t id, uint32_t flags) {
    MenuItem* item = FindMenuItem(menu, id);
    if (item == nullptr) return kNoItem;
    uint32_t old = item->flags & (MF_GRAYED | MF_DISABLED);
    item->flags = (item->flags & ~(MF_GRAYED | MF_DISABLED)) | (flags & (MF_GRAYED | MF_DISABLED));
    return old;
}

uint32_t Win_GetMenuState(WinMenu menu, uint32_t id) {
    MenuItem* item = FindMenuItem(menu, id);
    return item == nullptr ? kNoItem : item->flags & kStateFlags;
}

std::string Win_GetMenuText(WinMenu menu, uint32_t id) {
    MenuItem* item = FindMenuItem(menu, id);
    return item == nullptr ? std::string() : item->text;
}

namespace {

void DestroyMenuTree(WinMenu menu, int depth) {
    auto& menus = TheDesktop().menus;
    auto it = menus.find(menu);
    if (it == menus.end() || depth > 32) return;
    std::vector<MenuItem> items = std::move(it->second);
    menus.erase(it);
    for (const MenuItem& item : items) {
        if (item.flags & MF_POPUP) DestroyMenuTree(item.submenu, depth + 1);
    }
}

}  // namespace

bool Win_DestroyMenu(WinMenu menu) {
    if (MenuItems(menu) == nullptr) return false;
    DestroyMenuTree(menu, 0);
    return true;
}

void FreeAllMenus() { TheDesktop().menus.clear(); }
