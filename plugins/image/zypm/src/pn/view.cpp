// Views: the document they show, page locks and page attributes.
#include <new>

#include "view.h"

namespace zypm {

const ZypmDocPage* DocPageOf(ZypmPage page, int* code) {
    if (!page) {
        *code = Fail(ZYPM_E_ARGUMENT, "no page");
        return nullptr;
    }
    if (page->locks == 0) {
        *code = Fail(ZYPM_E_STATE, "the page is not locked");
        return nullptr;
    }
    ZypmDoc document = page->view->document;
    if (!document || page->index >= static_cast<int32_t>(document->pages.size())) {
        *code = Fail(ZYPM_E_STATE, "the view no longer shows the page");
        return nullptr;
    }
    *code = ZYPM_OK;
    return &document->pages[static_cast<size_t>(page->index)];
}

}  // namespace zypm

namespace {

bool InRange(int32_t value, int32_t low, int32_t high) { return value >= low && value <= high; }

// The display attribute's field and its allowed range; null for other attributes.
int32_t* DisplayField(zypm::DisplayAttributes& display, uint32_t attribute, int32_t* low, int32_t* high) {
    *low = 0;
    *high = ZYPM_MAX_IMAGE_SIZE;
    switch (attribute) {
        case ZYPM_ATTR_ROTATION: *low = 1, *high = 4; return &display.rotation;
        case ZYPM_ATTR_X_OFFSET: return &display.xOffset;
        case ZYPM_ATTR_Y_OFFSET: return &display.yOffset;
        case ZYPM_ATTR_IMAGE_WIDTH: return &display.imageWidth;
        case ZYPM_ATTR_IMAGE_HEIGHT: return &display.imageHeight;
        case ZYPM_ATTR_CONTRAST: *high = 255; return &display.contrast;
        case ZYPM_ATTR_BRIGHTNESS: *high = 255; return &display.brightness;
        case ZYPM_ATTR_COLOUR_MODE:
            *low = ZYPM_COLOUR_AS_IS, *high = ZYPM_COLOUR_GREY;
            return &display.colourMode;
        default: return nullptr;
    }
}

}  // namespace

extern "C" {

int ZypmViewNew(ZypmEnv environment, ZypmView* view) {
    if (!environment || !view) return zypm::Fail(ZYPM_E_ARGUMENT, "no environment or no place for the view");
    *view = nullptr;
    auto* made = new (std::nothrow) ZypmViewObject;
    if (!made) return zypm::Fail(ZYPM_E_NO_MEMORY, "no memory for the view");
    made->environment = environment;
    std::lock_guard guard(environment->lock);
    ++environment->views;
    *view = made;
    return ZYPM_OK;
}

int ZypmViewSet(ZypmView view, uint32_t attribute, const void* value) {
    if (!view) return zypm::Fail(ZYPM_E_ARGUMENT, "no view");
    if (attribute != ZYPM_VIEW_DOCUMENT) return zypm::Fail(ZYPM_E_ARGUMENT, "unknown view attribute");
    auto document = static_cast<ZypmDoc>(const_cast<void*>(value));
    if (document && document->environment != view->environment)
        return zypm::Fail(ZYPM_E_ARGUMENT, "the document belongs to another environment");
    for (const auto& [index, page] : view->pages)
        if (page->locks > 0) return zypm::Fail(ZYPM_E_LOCKED, "a page of the view is locked");
    if (view->document) --view->document->viewers;
    view->pages.clear();
    view->prepared.Reset();
    view->document = document;
    if (document) ++document->viewers;
    return ZYPM_OK;
}

int ZypmViewFree(ZypmView view) {
    if (!view) return zypm::Fail(ZYPM_E_ARGUMENT, "no view");
    if (view->document) --view->document->viewers;
    {
        std::lock_guard guard(view->environment->lock);
        --view->environment->views;
    }
    delete view;
    return ZYPM_OK;
}

int ZypmViewPageLock(ZypmView view, int32_t index, ZypmPage* page) {
    if (!view || !page) return zypm::Fail(ZYPM_E_ARGUMENT, "no view or no place for the page");
    *page = nullptr;
    if (!view->document) return zypm::Fail(ZYPM_E_STATE, "the view shows no document");
    if (index < 0 || index >= static_cast<int32_t>(view->document->pages.size()))
        return zypm::Fail(ZYPM_E_RANGE, "no page " + std::to_string(index));
    auto& slot = view->pages[index];
    if (!slot) {
        slot.reset(new (std::nothrow) ZypmPageObject);
        if (!slot) {
            view->pages.erase(index);
            return zypm::Fail(ZYPM_E_NO_MEMORY, "no memory for the page");
        }
        slot->view = view;
        slot->index = index;
    }
    ++slot->locks;
    *page = slot.get();
    return ZYPM_OK;
}

int ZypmViewPageUnlock(ZypmView view, ZypmPage page, int32_t reserved) {
    if (!view || !page || reserved != 0)
        return zypm::Fail(ZYPM_E_ARGUMENT, "no view, no page or a reserved value");
    if (page->view != view) return zypm::Fail(ZYPM_E_ARGUMENT, "the page belongs to another view");
    if (page->locks == 0) return zypm::Fail(ZYPM_E_STATE, "the page is not locked");
    --page->locks;
    return ZYPM_OK;
}

int ZypmPageAttrGet(ZypmPage page, uint32_t attribute, int32_t* value) {
    int code = ZYPM_OK;
    const ZypmDocPage* docPage = zypm::DocPageOf(page, &code);
    if (!docPage) return code;
    if (!value) return zypm::Fail(ZYPM_E_ARGUMENT, "no place for the value");
    if (zypm::TagAttribute(docPage->info, attribute, value)) return ZYPM_OK;
    int32_t low, high;
    if (int32_t* field = DisplayField(page->display, attribute, &low, &high)) {
        *value = *field;
        return ZYPM_OK;
    }
    return zypm::Fail(ZYPM_E_ARGUMENT, "unknown page attribute " + std::to_string(attribute));
}

int ZypmPageAttrSet(ZypmPage page, uint32_t attribute, int32_t value) {
    int code = ZYPM_OK;
    if (!zypm::DocPageOf(page, &code)) return code;
    int32_t low, high;
    int32_t* field = DisplayField(page->display, attribute, &low, &high);
    if (!field)
        return zypm::Fail(ZYPM_E_ARGUMENT, "attribute " + std::to_string(attribute) + " cannot be set");
    if (!InRange(value, low, high) ||
        (attribute == ZYPM_ATTR_COLOUR_MODE && value != ZYPM_COLOUR_AS_IS && value != ZYPM_COLOUR_GREY))
        return zypm::Fail(ZYPM_E_ARGUMENT, "value " + std::to_string(value) + " out of range for attribute " +
                                               std::to_string(attribute));
    *field = value;
    return ZYPM_OK;
}

int ZypmPageMeasure(ZypmView view, ZypmPage page, ZypmSettings settings, int32_t slot, uint32_t flags,
                    void* reserved) {
    if (!view || !settings || flags != 0 || reserved)
        return zypm::Fail(ZYPM_E_ARGUMENT, "no view, no settings or reserved values set");
    int code = ZYPM_OK;
    const ZypmDocPage* docPage = zypm::DocPageOf(page, &code);
    if (!docPage) return code;
    if (page->view != view) return zypm::Fail(ZYPM_E_ARGUMENT, "the page belongs to another view");
    if (slot < 0 || static_cast<size_t>(slot) >= settings->slots.size())
        return zypm::Fail(ZYPM_E_RANGE, "no settings slot " + std::to_string(slot));
    auto& entry = settings->slots[static_cast<size_t>(slot)];
    entry.measured = true;
    entry.info = docPage->info;
    return zypm::CheckDecodable(docPage->info);
}

}  // extern "C"
