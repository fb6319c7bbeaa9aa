// view.h - how the current page lies in the window: zoom, rotation, page offset, scroll
// bars. Pure arithmetic; painting and input use its transform.
#pragma once

#include "document.h"

namespace knvw {

constexpr double kScreenDpi = 96;
constexpr int kMinZoom = 5, kMaxZoom = 800;
constexpr int kLineStep = 20;  // pixels per line scroll

// Page units to window pixels: x' = a*u + c*v + e, y' = b*u + d*v + f.
struct Affine {
    double a = 1, b = 0, c = 0, d = 1, e = 0, f = 0;
    void Apply(double u, double v, double* x, double* y) const {
        *x = a * u + c * v + e;
        *y = b * u + d * v + f;
    }
    // false when the transform cannot be inverted.
    bool Invert(double x, double y, double* u, double* v) const;
};

// The result of a scroll request.
enum class Scroll { Moved, Unchanged, PastEnd, PastStart };

class View {
public:
    // Page size in page units and its resolution; changes keep the offset in range.
    void SetPage(double width, double height, double unitsPerInch);
    void SetWindowSize(int width, int height);
    int WindowWidth() const { return windowWidth_; }
    int WindowHeight() const { return windowHeight_; }

    bool SetZoom(int percent);  // clamped to kMinZoom..kMaxZoom; true when it changed
    int Zoom() const { return zoom_; }
    // 1 = 0, 2 = 180, 3 = 90, 4 = 270 degrees clockwise; false for other codes or no change.
    bool SetRotation(int code);
    int Rotation() const { return rotation_; }

    // The page's size on screen (after rotation), pixels.
    int PagePixelWidth() const;
    int PagePixelHeight() const;
    // The page's top-left corner in the window (0 or negative when scrolled).
    int XPos() const { return x_; }
    int YPos() const { return y_; }
    void SetXPos(int x);
    void SetYPos(int y);
    Affine PageToWindow() const;
    double Scale() const;  // pixels per page unit

    // request: a key (VK_PRIOR 33, VK_NEXT 34, VK_LEFT..VK_DOWN 37..40) or a scroll-bar
    // word (low word SB_LINE* 0/1, SB_PAGE* 2/3).
    Scroll ScrollVertical(bool down, int request);
    Scroll ScrollHorizontal(bool right, int request);
    // Scroll-bar positions in bar units (pixels, or coarser when the range is large).
    int HScrollPos() const;
    int HScrollRange() const;
    int VScrollPos() const;
    int VScrollRange() const;
    bool ThumbTo(bool vertical, int barPosition);  // true when the view moved
    // Brings a page-unit rectangle into view (scrolls as little as needed).
    bool Reveal(double u, double v, double width, double height);

private:
    int HorizontalRoom() const;  // pixels the page can move
    int VerticalRoom() const;
    static int BarUnit(int room);
    void Clamp();

    double pageWidth_ = 12240, pageHeight_ = 15840, unitsPerInch_ = 1440;
    int windowWidth_ = 0, windowHeight_ = 0;
    int zoom_ = 100, rotation_ = 1;
    int x_ = 0, y_ = 0;
};

}  // namespace knvw
