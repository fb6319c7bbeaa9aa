// resources.cpp - resource modules: loading, strings, bitmaps, menus and dialog
// descriptions.
#include <algorithm>
#include <cstring>

#include "arc_platform.h"
#include "descriptions.h"
#include "desktop_state.h"

namespace {

void LogResourceError(const char* kind, const std::string& name, const std::string& error) {
    LogEventFields("resource", "\"kind\":\"" + std::string(kind) + "\",\"name\":" + Win_JsonString(name) +
                                   ",\"error\":" + Win_JsonString(error));
}

const char* FindNamed(const WinNamedText* entries, size_t count, const std::string& name) {
    if (entries == nullptr) return nullptr;
    for (size_t i = 0; i < count; ++i) {
        if (entries[i].name != nullptr && entries[i].text != nullptr && name == entries[i].name)
            return entries[i].text;
    }
    return nullptr;
}

WinMenu BuildMenu(const std::vector<MenuDescriptionItem>& items) {
    WinMenu menu = Win_CreatePopupMenu();
    for (const MenuDescriptionItem& item : items) {
        switch (item.kind) {
            case MenuDescriptionItem::Kind::Separator: Win_AppendMenu(menu, MF_SEPARATOR, 0, ""); break;
            case MenuDescriptionItem::Kind::Item: Win_AppendMenu(menu, item.flags, item.id, item.text); break;
            case MenuDescriptionItem::Kind::Popup:
                Win_AppendMenu(menu, MF_POPUP, BuildMenu(item.items), item.text);
                break;
        }
    }
    return menu;
}

}  // namespace

WinModule* Win_LoadModule(const std::string& absolutePath) {
    if (absolutePath.empty() || absolutePath[0] != '/') return nullptr;
    ArcOSLibrary* library = ArcOS_LoadLibrary(absolutePath.c_str());
    if (library == nullptr) {
        LogResourceError("module", absolutePath, ArcOS_LibraryError());
        return nullptr;
    }
    using TableFunction = const WinResourceTable* (*)();
    auto function = reinterpret_cast<TableFunction>(ArcOS_GetProcAddress(library, "QelWin_Resources"));
    const WinResourceTable* table = function == nullptr ? nullptr : function();
    if (table == nullptr) {
        LogResourceError("module", absolutePath, "no QelWin_Resources table");
        ArcOS_FreeLibrary(library);
        return nullptr;
    }
    auto* module = new WinModule{library, table};
    TheDesktop().modules.insert(module);
    return module;
}

WinModule* Win_ModuleFromTable(const WinResourceTable* table) {
    if (table == nullptr) return nullptr;
    auto* module = new WinModule{nullptr, table};
    TheDesktop().modules.insert(module);
    return module;
}

void Win_FreeModule(WinModule* module) {
    if (module == nullptr || TheDesktop().modules.erase(module) == 0) return;
    if (module->library != nullptr) ArcOS_FreeLibrary(module->library);
    delete module;
}

void FreeAllModules() {
    auto modules = TheDesktop().modules;
    for (WinModule* module : modules) Win_FreeModule(module);
}

std::string Win_LoadStringText(const WinModule* module, uint32_t id) {
    if (module == nullptr || module->table->strings == nullptr) return std::string();
    const WinResourceTable& table = *module->table;
    for (size_t i = 0; i < table.stringCount; ++i) {
        if (table.strings[i].id == id && table.strings[i].text != nullptr) return table.strings[i].text;
    }
    return std::string();
}

int Win_LoadString(const WinModule* module, uint32_t id, char* buffer, int size) {
    if (buffer == nullptr || size <= 0) return 0;
    std::string text = Win_LoadStringText(module, id);
    size_t length = std::min(text.size(), static_cast<size_t>(size - 1));
    // Never cut a character in two.
    while (length > 0 && length < text.size() && (static_cast<unsigned char>(text[length]) & 0xC0) == 0x80)
        --length;
    std::memcpy(buffer, text.data(), length);
    buffer[length] = '\0';
    return static_cast<int>(length);
}

WinBitmap* Win_LoadBitmap(const WinModule* module, const std::string& name) {
    if (module == nullptr) return nullptr;
    const char* text = FindNamed(module->table->bitmaps, module->table->bitmapCount, name);
    if (text == nullptr) return nullptr;
    std::string error;
    WinBitmap* bitmap = Bitmap_FromPicture(text, &error);
    if (bitmap == nullptr) LogResourceError("bitmap", name, error);
    return bitmap;
}

WinMenu Win_LoadMenu(const WinModule* module, const std::string& name) {
    if (module == nullptr) return 0;
    const char* text = FindNamed(module->table->menus, module->table->menuCount, name);
    if (text == nullptr) return 0;
    std::vector<MenuDescriptionItem> items;
    std::string error;
    if (!ParseMenuDescription(text, &items, &error)) {
        LogResourceError("menu", name, error);
        return 0;
    }
    return BuildMenu(items);
}

bool Win_HasDialog(const WinModule* module, const std::string& name) {
    return module != nullptr &&
           FindNamed(module->table->dialogs, module->table->dialogCount, name) != nullptr;
}

bool LoadDialogDescription(const WinModule* module, const std::string& name, DialogDescription* dialog) {
    if (module == nullptr) return false;
    const char* text = FindNamed(module->table->dialogs, module->table->dialogCount, name);
    if (text == nullptr) return false;
    std::string error;
    if (!ParseDialogDescription(text, dialog, &error)) {
        LogResourceError("dialog", name, error);
        return false;
    }
    return true;
}
