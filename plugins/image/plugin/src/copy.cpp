// copy.cpp - the selected area to the clipboard as a bitmap.
#include <algorithm>

#include "output.h"
#include "plugin_state.h"
#include "view.h"

namespace zyp {

bool CopySelection(PluginInstance& in) {
    if (!in.selectionValid || !in.HasImage()) {
        Win_MessageBeep(MB_BEEP_DEFAULT);
        return false;
    }
    const ViewGeometry& g = in.geometry;
    // Only the part of the selection that shows the image is copied.
    WinRect area = in.selection;
    area.left = std::max(area.left, 0);
    area.top = std::max(area.top, 0);
    area.right = std::min(area.right, std::min(g.viewWidth, g.imageWidth - g.hOffset));
    area.bottom = std::min(area.bottom, std::min(g.viewHeight, g.imageHeight - g.vOffset));
    if (area.Width() <= 0 || area.Height() <= 0) {
        Win_MessageBeep(MB_BEEP_DEFAULT);
        return false;
    }
    uint64_t bytes = static_cast<uint64_t>(area.Width()) * static_cast<uint64_t>(area.Height()) * 4;
    WinBitmap* bitmap = bytes <= kMaxCopyBytes ? Win_CreateBitmap(area.Width(), area.Height()) : nullptr;
    if (!bitmap) {
        ShowMessage(LanguageString(kStrCopyTooLarge));
        return false;
    }
    WinDC* dc = Win_CreateBitmapDC(bitmap);
    PaintResult painted{ZYPM_E_STATE, nullptr};
    if (dc) {
        WinRect whole{0, 0, area.Width(), area.Height()};
        Win_FillSolid(dc, whole, WinRgb(255, 255, 255));
        PagePaint how{g.imageWidth,         g.imageHeight, g.hOffset + area.left,
                      g.vOffset + area.top, true,          ZYPM_PAINT_VIEW};
        painted = PaintCurrentPage(in, Win_DCCairo(dc), ZypmRect{0, 0, whole.right, whole.bottom}, how);
        Win_DeleteDC(dc);
    }
    if (painted.call) ShowLibraryFailure(painted.call, painted.code);
    bool copied = false;
    if (painted.code == ZYPM_OK && Win_OpenClipboard(in.viewWindow)) {
        Win_EmptyClipboard();
        copied = Win_SetClipboardBitmap(bitmap);
        Win_CloseClipboard();
    }
    Win_DeleteBitmap(bitmap);
    return copied;
}

}  // namespace zyp
