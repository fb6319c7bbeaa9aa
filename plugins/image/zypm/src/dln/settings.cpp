// Display-settings objects: one slot a page, filled when the page is measured.
#include <new>

#include "internal.h"

extern "C" {

int ZypmSettingsNew(ZypmSettings* settings, int32_t slots) {
    if (!settings) return zypm::Fail(ZYPM_E_ARGUMENT, "no place for the settings");
    *settings = nullptr;
    if (slots < 1 || slots > ZYPM_MAX_PAGES)
        return zypm::Fail(ZYPM_E_RANGE, "settings need 1 to " + std::to_string(ZYPM_MAX_PAGES) + " slots");
    auto* made = new (std::nothrow) ZypmSettingsObject;
    if (!made) return zypm::Fail(ZYPM_E_NO_MEMORY, "no memory for the settings");
    try {
        made->slots.resize(static_cast<size_t>(slots));
    } catch (const std::bad_alloc&) {
        delete made;
        return zypm::Fail(ZYPM_E_NO_MEMORY, "no memory for the settings");
    }
    *settings = made;
    return ZYPM_OK;
}

int ZypmSettingsFree(ZypmSettings settings) {
    if (!settings) return zypm::Fail(ZYPM_E_ARGUMENT, "no settings");
    delete settings;
    return ZYPM_OK;
}

int ZypmSettingsAttrGet(ZypmSettings settings, int32_t slot, uint32_t attribute, int32_t* value) {
    if (!settings || !value) return zypm::Fail(ZYPM_E_ARGUMENT, "no settings or no place for the value");
    if (slot < 0 || static_cast<size_t>(slot) >= settings->slots.size())
        return zypm::Fail(ZYPM_E_RANGE, "no settings slot " + std::to_string(slot));
    const auto& entry = settings->slots[static_cast<size_t>(slot)];
    if (!entry.measured)
        return zypm::Fail(ZYPM_E_STATE, "slot " + std::to_string(slot) + " was not measured");
    // A slot keeps what sizes and shows the page; compression and photometric are the
    // page's own.
    if (attribute == ZYPM_ATTR_COMPRESSION || attribute == ZYPM_ATTR_PHOTOMETRIC ||
        !zypm::TagAttribute(entry.info, attribute, value))
        return zypm::Fail(ZYPM_E_ARGUMENT, "not a settings attribute");
    return ZYPM_OK;
}

}  // extern "C"
