// document.cpp - opening the delivered file and releasing it.
#include "document.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>

#include "plugin_state.h"
#include "view.h"

namespace zyp {
namespace {

// Runs a library call; a failure is shown with the call's name.
bool Check(const char* call, int rc) {
    if (rc == ZYPM_OK) return true;
    ShowLibraryFailure(call, rc);
    return false;
}

bool OpenDocument(PluginInstance& in, const char* fileName) {
    ZypmEnv env = State().environment;
    ZypmDoc document = nullptr;
    if (!Check("ZypmDocNew", ZypmDocNew(env, &document))) return false;
    in.document = document;
    // A file object never added stays with the environment, which frees it.
    ZypmFile file = nullptr;
    if (!Check("ZypmFileNew", ZypmFileNew(env, &file))) return false;
    if (!Check("ZypmFileSet", ZypmFileSet(file, ZYPM_FILE_PATH, fileName))) return false;
    if (!Check("ZypmAddFile", ZypmAddFile(in.document, file, -1, 0, ZYPM_ADD_ALL_PAGES))) return false;
    ZypmView view = nullptr;
    if (!Check("ZypmViewNew", ZypmViewNew(env, &view))) return false;
    in.view = view;
    return Check("ZypmViewSet", ZypmViewSet(in.view, ZYPM_VIEW_DOCUMENT, in.document));
}

// Measures each page and keeps the largest width and height.
bool MeasurePages(PluginInstance& in, int pages) {
    in.maxPageWidth = in.maxPageHeight = 1;
    for (int i = 0; i < pages; ++i) {
        ZypmPage page = nullptr;
        if (!Check("ZypmViewPageLock", ZypmViewPageLock(in.view, i, &page))) return false;
        // Only the size is wanted here; a page that cannot be decoded fails when painted,
        // and that failure is reported then.
        ZypmPageMeasure(in.view, page, in.settings, i, 0, nullptr);
        int32_t width = 0, height = 0;
        ZypmPageAttrGet(page, ZYPM_ATTR_WIDTH, &width);
        ZypmPageAttrGet(page, ZYPM_ATTR_HEIGHT, &height);
        in.maxPageWidth = std::max(in.maxPageWidth, static_cast<int>(width));
        in.maxPageHeight = std::max(in.maxPageHeight, static_cast<int>(height));
        ZypmViewPageUnlock(in.view, page, 0);
    }
    return true;
}

}  // namespace

void ReleaseDocument(PluginInstance& in) {
    // The view first: the library keeps a document while a view shows it.
    if (in.view) ZypmViewFree(in.view);
    if (in.document) ZypmDocFree(in.document);
    if (in.settings) ZypmSettingsFree(in.settings);
    in.view = nullptr;
    in.document = nullptr;
    in.settings = nullptr;
    in.geometry.pages = 0;
    in.geometry.page = 0;
    in.selectionValid = false;
    in.dragging = false;
    in.paintFailures.clear();
}

void DeleteDeliveredFile(PluginInstance& in) {
    if (!in.fileName.empty()) unlink(in.fileName.c_str());
    in.fileName.clear();
}

void OpenDeliveredFile(PluginInstance& in, const char* fileName) {
    if (!fileName || !*fileName) {
        ShowMessage(LanguageString(kStrNoFile));
        return;
    }
    ReleaseDocument(in);
    if (in.fileName != fileName) DeleteDeliveredFile(in);
    in.fileName = fileName;
    RepaintView(in);

    if (!OpenDocument(in, fileName)) return ReleaseDocument(in);
    int pages = ZypmDocPageCount(in.document);
    char text[1200];
    if (pages < 0) {
        std::snprintf(text, sizeof text, "ZypmDocPageCount %s %d.", State().caption.c_str(), pages);
        ShowMessage(text);
        return ReleaseDocument(in);
    }
    if (pages == 0) {
        std::snprintf(text, sizeof text, "No pages for %s.", fileName);
        ShowMessage(text);
        return ReleaseDocument(in);
    }
    ZypmSettings settings = nullptr;
    int rc = ZypmSettingsNew(&settings, pages);
    in.settings = rc == ZYPM_OK ? settings : nullptr;
    if (!Check("ZypmSettingsNew", rc)) return ReleaseDocument(in);
    if (!MeasurePages(in, pages)) return ReleaseDocument(in);

    const ViewPreset* preset = State().presets.FirstActive();
    ViewValues values = preset ? preset->values : ViewValues{};
    in.geometry.zoom = values.zoom;
    in.geometry.rotation = values.rotation;
    in.contrast = values.contrast;
    in.brightness = values.brightness;
    in.grey = values.grey != 0;

    in.geometry.pages = pages;
    in.geometry.hOffset = in.geometry.vOffset = 0;
    in.geometry.hMax = in.geometry.vMax = 0;
    Win_ShowScrollBar(in.browserWindow, SB_BOTH, false);
    ShowPage(in, 0);
}

}  // namespace zyp
