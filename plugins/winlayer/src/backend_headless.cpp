// backend_headless.cpp - top-level windows as image surfaces in memory; no input.
#include <cairo.h>

#include <map>

#include "desktop_internal.h"

namespace {

class HeadlessBackend : public DesktopBackend {
public:
    ~HeadlessBackend() override {
        for (auto& [window, surface] : surfaces_) cairo_surface_destroy(surface);
    }

    cairo_surface_t* CreateSurface(WinHandle topLevel, int width, int height) override {
        DestroySurface(topLevel);
        cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height);
        if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS) {
            cairo_surface_destroy(surface);
            // A window too large for memory still gets a surface to draw into.
            surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 1, 1);
        }
        // Opaque white until the window paints.
        cairo_t* cr = cairo_create(surface);
        cairo_set_source_rgb(cr, 1, 1, 1);
        cairo_paint(cr);
        cairo_destroy(cr);
        surfaces_[topLevel] = surface;
        return surface;
    }

    void DestroySurface(WinHandle topLevel) override {
        auto it = surfaces_.find(topLevel);
        if (it == surfaces_.end()) return;
        cairo_surface_destroy(it->second);
        surfaces_.erase(it);
    }

    void Present(WinHandle) override {}
    bool WaitForInput(int) override { return false; }

private:
    std::map<WinHandle, cairo_surface_t*> surfaces_;
};

}  // namespace

std::unique_ptr<DesktopBackend> Backend_CreateHeadless() { return std::make_unique<HeadlessBackend>(); }
