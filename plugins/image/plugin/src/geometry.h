// geometry.h - the view window's arithmetic: image size from zoom and rotation,
// offsets within the current page, the scroll bars over all pages, selection zoom.
// Pure functions on a plain record so they are tested without windows.
#pragma once

#include <cstdint>

namespace zyp {

inline constexpr int kScrollRange = 10000;
inline constexpr int kMinZoom = 10;
inline constexpr int kMaxZoom = 1000;
inline constexpr int kScrollBarSize = 16;

struct ViewGeometry {
    // Set from outside.
    int clientWidth = 0, clientHeight = 0;  // the browser window's client area
    int toolbarHeight = 0;
    int pageWidth = 1, pageHeight = 1;  // current page in its own pixels
    int zoom = 100;                     // percent; 100 fits the page width into the view
    int rotation = 1;                   // 1-4: 0, 90, 180, 270 degrees
    int pages = 0, page = 0;

    // Derived by UpdateGeometry.
    int viewWidth = 0, viewHeight = 0;
    int imageWidth = 0, imageHeight = 0;
    int hOffset = 0, hMax = 0;
    int vOffset = 0, vMax = 0;
    int pageStep = 0;  // share of the vertical range per page

    int LastPage() const { return pages > 0 ? pages - 1 : 0; }
    bool HorizontalBar() const { return zoom > 100; }
};

// View size, image size and offset maxima; an offset keeps its share of a changed maximum.
void UpdateGeometry(ViewGeometry& g);
// Scroll positions in 0..kScrollRange.
int HorizontalPosition(const ViewGeometry& g);
int VerticalPosition(const ViewGeometry& g);

// The horizontal offset a scroll request leads to.
int HorizontalTarget(const ViewGeometry& g, int request, int thumb);

// Where a vertical scroll request leads: the same page at a new offset, or another
// page at its top, its bottom or at a share of its height.
struct VerticalMove {
    enum class At { Offset, Top, Bottom, Share };
    bool moves = false;
    int page = 0;
    At at = At::Offset;
    int offset = 0;        // At::Offset
    int shareOf10000 = 0;  // At::Share: offset = vMax * share / 10000
};
VerticalMove VerticalTarget(const ViewGeometry& g, int request, int thumb);
// Places the vertical offset of a move that changed the page (after the new page's
// size is in g and UpdateGeometry ran).
void PlaceOnPage(ViewGeometry& g, const VerticalMove& move);

// The zoom that fits a selection selectionWidth view pixels wide into the view,
// clamped to kMinZoom..kMaxZoom.
int SelectionZoom(const ViewGeometry& g, int selectionWidth);
// After zooming from oldZoom, puts the image point under the selection's corner
// (view coordinates at the old zoom) at the view's top-left, within the maxima.
void ScrollToSelection(ViewGeometry& g, int oldZoom, int oldHOffset, int oldVOffset, int left, int top);

// "Rotated" page size: width and height as shown for the rotation.
void ShownPageSize(const ViewGeometry& g, int* width, int* height);

}  // namespace zyp
