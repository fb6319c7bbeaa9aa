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
    const zypm::PageInfo& info = entry.info;
    switch (attribute) {
        case ZYPM_ATTR_WIDTH: *value = static_cast<int32_t>(info.shownWidth); break;
        case ZYPM_ATTR_HEIGHT: *value = static_cast<int32_t>(info.shownHeight); break;
        case ZYPM_ATTR_PIXEL_WIDTH: *value = static_cast<int32_t>(info.width); break;
        case ZYPM_ATTR_PIXEL_HEIGHT: *value = static_cast<int32_t>(info.height); break;
        case ZYPM_ATTR_BITS_PER_SAMPLE: *value = info.bitsPerSample; break;
        case ZYPM_ATTR_SAMPLES_PER_PIXEL: *value = info.samplesPerPixel; break;
        case ZYPM_ATTR_X_DPI: *value = info.xDpi; break;
        case ZYPM_ATTR_Y_DPI: *value = info.yDpi; break;
        case ZYPM_ATTR_COLOUR_KIND: *value = info.kind; break;
        default: return zypm::Fail(ZYPM_E_ARGUMENT, "not a settings attribute");
    }
    return ZYPM_OK;
}

}  // extern "C"
