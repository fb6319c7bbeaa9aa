// The commands of the toolbar and the popup menu, and the engine's two callbacks.
#include <cstdlib>
#include <mutex>

#include "controls.h"
#include "viewer.h"

namespace afpview {

namespace {

intptr_t Focus(WoxPiInstance& instance, WinHandle window, uintptr_t wParam, intptr_t lParam) {
    Win_SetFocus(instance.view);
    return Win_DefWindowProc(window, WM_COMMAND, wParam, lParam);
}

bool HasDocumentInformation(const WoxPiInstance& instance) { return instance.split.currentSegment != -1; }

void Find(WoxPiInstance& instance) {
    const EngineApi& api = Plugin().api;
    const int32_t doc = instance.document;
    if (!HasDocumentInformation(instance)) {
        const int32_t r = static_cast<int16_t>(api.VSFindString(doc, "", 0, 0, 0, 0));
        if (r == KNVW_FIND_NOTHING || r == KNVW_FIND_STOPPED) return;
        if (r == KNVW_FIND_FOUND) {
            instance.found = true;
        } else {
            instance.found = false;
            api.VSUndoFind(doc);
            WoxPiUpdateControls(&instance);
        }
        Repaint(instance);
        return;
    }
    // A search through the whole document may go on in other segments: Stop stays shown
    // until the engine reports the end.
    ShowStop(instance, true);
    const int32_t r = static_cast<int16_t>(api.VSFindString(doc, "", 0, 0, 0, 0));
    if (r == KNVW_FIND_STOPPED || r == KNVW_FIND_NOTHING) {
        ShowStop(instance, false);
    } else {
        if (r == KNVW_FIND_FOUND) instance.found = true;
        Repaint(instance);
    }
    WoxPiUpdateControls(&instance);
}

void FindNext(WoxPiInstance& instance) {
    if (!instance.found) return;
    const EngineApi& api = Plugin().api;
    const int32_t doc = instance.document;
    if (!HasDocumentInformation(instance)) {
        if (static_cast<int16_t>(api.VSFindNext(doc, 0)) == KNVW_FIND_FOUND) {
            instance.found = true;
        } else {
            instance.found = false;
            api.VSUndoFind(doc);
            WoxPiUpdateControls(&instance);
        }
        Repaint(instance);
        return;
    }
    ShowStop(instance, true);
    const int32_t r = static_cast<int16_t>(api.VSFindNext(doc, 0));
    if (r == KNVW_FIND_FOUND) {
        Repaint(instance);
    } else if (r == KNVW_FIND_STOPPED) {
        ShowStop(instance, false);
    }
}

void Copy(WoxPiInstance& instance) {
    const EngineApi& api = Plugin().api;
    const int32_t doc = instance.document;
    if (instance.selectionMode == 0) {
        // The clipboard gets the whole selected text, however long.
        std::string text;
        if (char* selected = api.VSTextGetTextBuffer(doc)) {
            text = selected;
            std::free(selected);
        }
        if (Win_OpenClipboard(instance.view)) {
            Win_EmptyClipboard();
            Win_SetClipboardText(std::move(text));
            Win_CloseClipboard();
        }
        Win_InvalidateRect(instance.view, nullptr, true);
        return;
    }
    WinPoint first, second;
    api.VSGetClipArea(doc, &first, &second);
    if (first.x == second.x) {
        Win_MessageBeep(MB_BEEP_DEFAULT);
        return;
    }
    api.VSCopyBitmap(doc, first.x, first.y, second.x, second.y);
    Repaint(instance);
}

void SetSelectionMode(WoxPiInstance& instance, int32_t mode) {
    Plugin().api.VSSetTextSelMode(instance.document, mode == 0 ? 1 : 0);
    instance.selectionMode = mode;
    if (instance.popup != 0) {
        Win_CheckMenuItem(instance.popup, kCmdBitmapSelect, mode != 0 ? MF_CHECKED : MF_UNCHECKED);
        Win_CheckMenuItem(instance.popup, kCmdTextSelect, mode == 0 ? MF_CHECKED : MF_UNCHECKED);
    }
    if (instance.toolbar != 0) {
        for (uint32_t id : {kCmdBitmapSelect, kCmdTextSelect}) {
            if (WinHandle button = Win_GetDlgItem(instance.toolbar, id))
                Win_InvalidateRect(button, nullptr, true);
        }
    }
}

void Stop(WoxPiInstance& instance, WinHandle window) {
    ShowStop(instance, false);
    if (instance.split.fetching) {
        // Honoured before the next segment is asked for.
        instance.stopRequested = true;
        return;
    }
    Win_PostMessage(window, kMsgSearchDone, 0, 0);
    Plugin().api.VSFindAbort(Plugin().viewServer, window);
    Plugin().api.VSSetCopy(instance.document, 1);
}

}  // namespace

intptr_t ViewCommand(WoxPiInstance& instance, WinHandle window, uint32_t id, uintptr_t wParam,
                     intptr_t lParam) {
    const EngineApi& api = Plugin().api;
    const int32_t doc = instance.document;
    // Without a document only the commands that need none act.
    if (doc == 0 && id != kCmdAbout && id != kCmdHelp && id != kCmdStop)
        return Focus(instance, window, wParam, lParam);
    switch (id) {
        case kCmdZoom:
            if (api.VSSetZoom(doc, 0) != 1) return Focus(instance, window, wParam, lParam);
            if (static_cast<int16_t>(api.VSGetZoom(doc)) <= 100) {
                api.VSSetPageXPos(doc, 0);
                api.VSSetPageYPos(doc, 0);
            }
            Repaint(instance);
            break;
        case kCmdRotate:
            if (api.VSSetRotation(doc, 0) != 1) return Focus(instance, window, wParam, lParam);
            Repaint(instance);
            break;
        case kCmdReset:
            api.VSSetZoom(doc, 100);
            api.VSSetPageXPos(doc, 0);
            api.VSSetPageYPos(doc, 0);
            Repaint(instance);
            break;
        case kCmdImageView:
            WoxPiToggleImageView(&instance);
            Repaint(instance);
            break;
        case kCmdSaveView: api.VSSaveView(doc, "", "", 0); return Focus(instance, window, wParam, lParam);
        case kCmdGetView:
            if (api.VSGetView(doc, "") != 1) return Focus(instance, window, wParam, lParam);
            WoxPiApplyImageView(&instance);
            Repaint(instance);
            break;
        case kCmdGoto:
            if (api.VSGoto(doc, "", "") != 1) return Focus(instance, window, wParam, lParam);
            Repaint(instance);
            break;
        case kCmdFind: Find(instance); return Focus(instance, window, wParam, lParam);
        case kCmdFindNext: FindNext(instance); break;
        case kCmdFirst:
        case kCmdPrevious:
        case kCmdNext:
        case kCmdLast: {
            const int32_t current = api.VSGetCurrentPage(doc);
            const int32_t page = id == kCmdFirst      ? 1
                                 : id == kCmdPrevious ? current - 1
                                 : id == kCmdNext     ? current + 1
                                                      : api.VSGetNumPages(doc);
            api.VSSetCurrentPage(doc, page);
            Repaint(instance);
            return Focus(instance, window, wParam, lParam);
        }
        case kCmdPrint: WoxPiPrintDocument(&instance); break;
        case kCmdHelp: Win_WinHelp(window, "woxnethp.hlp", HELP_CONTEXT, 8); break;
        case kCmdStop: Stop(instance, window); break;
        case kCmdBitmapSelect: SetSelectionMode(instance, 1); return 0;
        case kCmdTextSelect: SetSelectionMode(instance, 0); return 0;
        case kCmdCopy: Copy(instance); return 0;
        case kCmdAbout: ShowAbout(instance, window); break;
        default: return Focus(instance, window, wParam, lParam);
    }
    return Win_DefWindowProc(window, WM_COMMAND, wParam, lParam);
}

}  // namespace afpview

using namespace afpview;

extern "C" int32_t WoxPiHitFind(void* data, int32_t found) {
    auto* instance = static_cast<WoxPiInstance*>(data);
    if (instance == nullptr) return 1;
    instance->found = found != 0;
    if (instance->view != 0) Win_PostMessage(instance->view, kMsgSearchDone, 0, 0);
    WoxPiUpdateControls(instance);
    return 1;
}

extern "C" int32_t WoxPiChangePage(void* data, int32_t pageIndex) {
    auto* instance = static_cast<WoxPiInstance*>(data);
    if (instance != nullptr && instance->view != 0)
        Win_PostMessage(instance->view, kMsgChangePage, static_cast<uintptr_t>(pageIndex), 0);
    return 0;
}
