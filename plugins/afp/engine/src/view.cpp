// view.cpp - zoom, rotation and scrolling arithmetic.
#include "view.h"

#include <algorithm>
#include <cmath>

namespace knvw {
namespace {

constexpr int kVkPrior = 33, kVkNext = 34, kVkLeft = 37, kVkUp = 38, kVkRight = 39, kVkDown = 40;
constexpr int kBarMax = 30000;  // scroll-bar positions stay well inside 16 bits

enum class Step { Line, Page, None };

Step StepOf(int request) {
    const int low = request & 0xFFFF;
    switch (low) {
        case 0:
        case 1:
        case kVkUp:
        case kVkDown:
        case kVkLeft:
        case kVkRight: return Step::Line;
        case 2:
        case 3:
        case kVkPrior:
        case kVkNext: return Step::Page;
        default: return Step::None;
    }
}

}  // namespace

bool Affine::Invert(double x, double y, double* u, double* v) const {
    const double det = a * d - b * c;
    if (std::abs(det) < 1e-12) return false;
    const double px = x - e, py = y - f;
    *u = (d * px - c * py) / det;
    *v = (-b * px + a * py) / det;
    return true;
}

void View::SetPage(double width, double height, double unitsPerInch) {
    pageWidth_ = width > 0 ? width : 1;
    pageHeight_ = height > 0 ? height : 1;
    unitsPerInch_ = unitsPerInch > 0 ? unitsPerInch : 1440;
    Clamp();
}

void View::SetWindowSize(int width, int height) {
    windowWidth_ = std::max(0, width);
    windowHeight_ = std::max(0, height);
    Clamp();
}

bool View::SetZoom(int percent) {
    const int zoom = std::clamp(percent, kMinZoom, kMaxZoom);
    if (zoom == zoom_) return false;
    // Keep the window's centre on the same spot of the page.
    const double ratio = static_cast<double>(zoom) / zoom_;
    const double cx = windowWidth_ / 2.0, cy = windowHeight_ / 2.0;
    zoom_ = zoom;
    x_ = static_cast<int>(std::lround(cx - (cx - x_) * ratio));
    y_ = static_cast<int>(std::lround(cy - (cy - y_) * ratio));
    Clamp();
    return true;
}

bool View::SetRotation(int code) {
    if (code < 1 || code > 4 || code == rotation_) return false;
    rotation_ = code;
    x_ = y_ = 0;
    return true;
}

double View::Scale() const { return kScreenDpi / unitsPerInch_ * zoom_ / 100.0; }

int View::PagePixelWidth() const {
    const bool turned = rotation_ == 3 || rotation_ == 4;
    return static_cast<int>(std::lround((turned ? pageHeight_ : pageWidth_) * Scale()));
}
int View::PagePixelHeight() const {
    const bool turned = rotation_ == 3 || rotation_ == 4;
    return static_cast<int>(std::lround((turned ? pageWidth_ : pageHeight_) * Scale()));
}

Affine View::PageToWindow() const {
    const double s = Scale();
    const double w0 = pageWidth_ * s, h0 = pageHeight_ * s;
    Affine m;
    switch (rotation_) {
        case 2: m = {-s, 0, 0, -s, w0, h0}; break;
        case 3: m = {0, s, -s, 0, h0, 0}; break;
        case 4: m = {0, -s, s, 0, 0, w0}; break;
        default: m = {s, 0, 0, s, 0, 0}; break;
    }
    m.e += x_;
    m.f += y_;
    return m;
}

int View::HorizontalRoom() const { return std::max(0, PagePixelWidth() - windowWidth_); }
int View::VerticalRoom() const { return std::max(0, PagePixelHeight() - windowHeight_); }

void View::Clamp() {
    x_ = std::clamp(x_, -HorizontalRoom(), 0);
    y_ = std::clamp(y_, -VerticalRoom(), 0);
}

void View::SetXPos(int x) {
    x_ = x;
    Clamp();
}
void View::SetYPos(int y) {
    y_ = y;
    Clamp();
}

Scroll View::ScrollVertical(bool down, int request) {
    const Step step = StepOf(request);
    if (step == Step::None) return Scroll::Unchanged;
    const int amount = step == Step::Line ? kLineStep : std::max(kLineStep, windowHeight_ - kLineStep);
    const int before = y_;
    SetYPos(y_ + (down ? -amount : amount));
    if (y_ != before) return Scroll::Moved;
    // Paging on at the page's end turns the page (the caller decides whether one exists).
    if (step == Step::Page) return down ? Scroll::PastEnd : Scroll::PastStart;
    return Scroll::Unchanged;
}

Scroll View::ScrollHorizontal(bool right, int request) {
    const Step step = StepOf(request);
    if (step == Step::None) return Scroll::Unchanged;
    const int amount = step == Step::Line ? kLineStep : std::max(kLineStep, windowWidth_ - kLineStep);
    const int before = x_;
    SetXPos(x_ + (right ? -amount : amount));
    return x_ != before ? Scroll::Moved : Scroll::Unchanged;
}

int View::BarUnit(int room) { return room > kBarMax ? (room + kBarMax - 1) / kBarMax : 1; }
int View::HScrollPos() const { return -x_ / BarUnit(HorizontalRoom()); }
int View::HScrollRange() const { return HorizontalRoom() / BarUnit(HorizontalRoom()); }
int View::VScrollPos() const { return -y_ / BarUnit(VerticalRoom()); }
int View::VScrollRange() const { return VerticalRoom() / BarUnit(VerticalRoom()); }

bool View::ThumbTo(bool vertical, int barPosition) {
    const int before = vertical ? y_ : x_;
    if (vertical) {
        SetYPos(-barPosition * BarUnit(VerticalRoom()));
    } else {
        SetXPos(-barPosition * BarUnit(HorizontalRoom()));
    }
    return (vertical ? y_ : x_) != before;
}

bool View::Reveal(double u, double v, double width, double height) {
    const Affine m = PageToWindow();
    double x1, y1, x2, y2;
    m.Apply(u, v, &x1, &y1);
    m.Apply(u + width, v + height, &x2, &y2);
    const double left = std::min(x1, x2), right = std::max(x1, x2);
    const double top = std::min(y1, y2), bottom = std::max(y1, y2);
    const int bx = x_, by = y_;
    const int margin = kLineStep;
    if (left < 0) {
        SetXPos(x_ + static_cast<int>(std::ceil(-left)) + margin);
    } else if (right > windowWidth_) {
        SetXPos(x_ - static_cast<int>(std::ceil(right - windowWidth_)) - margin);
    }
    if (top < 0) {
        SetYPos(y_ + static_cast<int>(std::ceil(-top)) + margin);
    } else if (bottom > windowHeight_) {
        SetYPos(y_ - static_cast<int>(std::ceil(bottom - windowHeight_)) - margin);
    }
    return bx != x_ || by != y_;
}

}  // namespace knvw
