// geometry.cpp - view arithmetic of the image viewer.
#include "geometry.h"

#include <algorithm>

#include "qel_win.h"
#include "zypm.h"

namespace zyp {
namespace {

// offset * 100 / maximum, 0 when either is 0.
int Percent(int offset, int maximum) {
    if (offset <= 0 || maximum <= 0) return 0;
    return static_cast<int>(static_cast<int64_t>(offset) * 100 / maximum);
}

int Rescaled(int offset, int oldMax, int newMax) {
    if (oldMax <= 0 || newMax <= 0) return 0;
    return static_cast<int>(std::clamp<int64_t>(static_cast<int64_t>(offset) * newMax / oldMax, 0, newMax));
}

int StepBack(int offset, int step) { return offset - std::min(std::max(step, 1), offset); }
int StepForward(int offset, int step, int maximum) {
    return offset + std::min(std::max(step, 1), maximum - offset);
}

}  // namespace

void ShownPageSize(const ViewGeometry& g, int* width, int* height) {
    bool turned = g.rotation == 2 || g.rotation == 4;
    *width = std::max(turned ? g.pageHeight : g.pageWidth, 1);
    *height = std::max(turned ? g.pageWidth : g.pageHeight, 1);
}

void UpdateGeometry(ViewGeometry& g) {
    g.zoom = std::clamp(g.zoom, kMinZoom, kMaxZoom);
    g.viewWidth = std::max(g.clientWidth - kScrollBarSize, 0);
    g.viewHeight = std::max(g.clientHeight - g.toolbarHeight - (g.HorizontalBar() ? kScrollBarSize : 0), 0);
    int shownWidth = 0, shownHeight = 0;
    ShownPageSize(g, &shownWidth, &shownHeight);
    // Painting takes the image size clamped to the library's limit; a tall narrow page at
    // a high zoom would otherwise also overflow here.
    auto imageSize = [](int64_t size) {
        return static_cast<int>(std::min<int64_t>(size, ZYPM_MAX_IMAGE_SIZE));
    };
    g.imageWidth = imageSize(static_cast<int64_t>(g.viewWidth) * g.zoom / 100);
    g.imageHeight = imageSize(static_cast<int64_t>(g.imageWidth) * shownHeight / shownWidth);

    int hMax = std::max(g.imageWidth - g.viewWidth, 0);
    int vMax = std::max(g.imageHeight - g.viewHeight, 0);
    if (hMax != g.hMax) g.hOffset = Rescaled(g.hOffset, g.hMax, hMax);
    if (vMax != g.vMax) g.vOffset = Rescaled(g.vOffset, g.vMax, vMax);
    g.hMax = hMax;
    g.vMax = vMax;
    g.hOffset = std::clamp(g.hOffset, 0, hMax);
    g.vOffset = std::clamp(g.vOffset, 0, vMax);
    g.pageStep = g.pages > 0 ? kScrollRange / g.pages : 0;
}

int HorizontalPosition(const ViewGeometry& g) { return Percent(g.hOffset, g.hMax) * 100; }

int VerticalPosition(const ViewGeometry& g) {
    if (g.pages <= 0) return 0;
    if (g.page >= g.LastPage() && g.vOffset >= g.vMax) return kScrollRange;
    int64_t position = static_cast<int64_t>(g.page) * kScrollRange / g.pages +
                       static_cast<int64_t>(Percent(g.vOffset, g.vMax)) * g.pageStep / 100;
    return static_cast<int>(std::clamp<int64_t>(position, 0, kScrollRange));
}

int HorizontalTarget(const ViewGeometry& g, int request, int thumb) {
    int line = g.viewWidth / 10, page = g.viewWidth / 2;
    switch (request) {
        case SB_LINELEFT: return StepBack(g.hOffset, line);
        case SB_LINERIGHT: return StepForward(g.hOffset, line, g.hMax);
        case SB_PAGELEFT: return StepBack(g.hOffset, page);
        case SB_PAGERIGHT: return StepForward(g.hOffset, page, g.hMax);
        case SB_THUMBPOSITION:
        case SB_THUMBTRACK: {
            int64_t position = std::clamp(thumb, 0, kScrollRange);
            return static_cast<int>(position * g.hMax / kScrollRange);
        }
        case SB_LEFT: return 0;
        case SB_RIGHT: return g.hMax;
        default: return g.hOffset;
    }
}

VerticalMove VerticalTarget(const ViewGeometry& g, int request, int thumb) {
    VerticalMove move;
    move.page = g.page;
    if (g.pages <= 0) return move;
    auto within = [&](int offset) {
        move.moves = offset != g.vOffset;
        move.offset = offset;
        return move;
    };
    auto toPage = [&](int page, VerticalMove::At at) {
        move.moves = true;
        move.page = page;
        move.at = at;
        return move;
    };
    int line = g.viewHeight / 10, page = g.viewHeight / 2;
    switch (request) {
        case SB_LINEUP:
        case SB_PAGEUP:
            if (g.vOffset > 0) return within(StepBack(g.vOffset, request == SB_LINEUP ? line : page));
            if (g.page > 0) return toPage(g.page - 1, VerticalMove::At::Bottom);
            return move;
        case SB_LINEDOWN:
        case SB_PAGEDOWN:
            if (g.vOffset < g.vMax) {
                return within(StepForward(g.vOffset, request == SB_LINEDOWN ? line : page, g.vMax));
            }
            if (g.page < g.LastPage()) return toPage(g.page + 1, VerticalMove::At::Top);
            return move;
        case SB_TOP: return toPage(0, VerticalMove::At::Top);
        case SB_BOTTOM: return toPage(g.LastPage(), VerticalMove::At::Bottom);
        case SB_THUMBPOSITION:
        case SB_THUMBTRACK: {
            int64_t position = std::clamp(thumb, 0, kScrollRange);
            if (position >= kScrollRange) return toPage(g.LastPage(), VerticalMove::At::Bottom);
            // The inverse of VerticalPosition: the page, then the share within it.
            int64_t scaled = position * g.pages;
            int target = static_cast<int>(std::min<int64_t>(scaled / kScrollRange, g.LastPage()));
            move.shareOf10000 = static_cast<int>(scaled % kScrollRange * 10000 / kScrollRange);
            return toPage(target, VerticalMove::At::Share);
        }
        default: return move;
    }
}

void PlaceOnPage(ViewGeometry& g, const VerticalMove& move) {
    switch (move.at) {
        case VerticalMove::At::Offset: g.vOffset = std::clamp(move.offset, 0, g.vMax); break;
        case VerticalMove::At::Top: g.vOffset = 0; break;
        case VerticalMove::At::Bottom: g.vOffset = g.vMax; break;
        case VerticalMove::At::Share:
            g.vOffset = static_cast<int>(static_cast<int64_t>(g.vMax) * move.shareOf10000 / 10000);
            break;
    }
}

int SelectionZoom(const ViewGeometry& g, int selectionWidth) {
    if (selectionWidth <= 0) return g.zoom;
    int64_t zoom = static_cast<int64_t>(g.zoom) * g.viewWidth / selectionWidth;
    return static_cast<int>(std::clamp<int64_t>(zoom, kMinZoom, kMaxZoom));
}

void ScrollToSelection(ViewGeometry& g, int oldZoom, int oldHOffset, int oldVOffset, int left, int top) {
    if (oldZoom <= 0) return;
    int64_t x = (static_cast<int64_t>(oldHOffset) + left) * g.zoom / oldZoom;
    int64_t y = (static_cast<int64_t>(oldVOffset) + top) * g.zoom / oldZoom;
    g.hOffset = static_cast<int>(std::clamp<int64_t>(x, 0, g.hMax));
    g.vOffset = static_cast<int>(std::clamp<int64_t>(y, 0, g.vMax));
}

}  // namespace zyp
