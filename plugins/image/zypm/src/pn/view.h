// view.h - views and their pages inside libzypmpn.so.
#pragma once

#include <cairo.h>

#include <map>
#include <memory>

#include "../internal.h"

namespace zypm {

// Display attributes of one page of a view.
struct DisplayAttributes {
    int32_t rotation = 1;
    int32_t xOffset = 0, yOffset = 0;
    int32_t contrast = 128, brightness = 128;
    int32_t imageWidth = 0, imageHeight = 0;
    int32_t colourMode = ZYPM_COLOUR_AS_IS;
};

// What a prepared surface was made from; equal keys give equal pixels.
struct SurfaceKey {
    uint64_t fileId = 0;
    uint32_t directory = 0;
    int32_t rotation = 1;
    bool adjust = false;
    int32_t contrast = 128, brightness = 128, colourMode = ZYPM_COLOUR_AS_IS;
    uint32_t reduceX = 1, reduceY = 1;  // the surface averages boxes of this many page pixels
    bool operator==(const SurfaceKey&) const = default;
};

// The last page a view painted, adjusted, rotated and perhaps reduced, ready for cairo
// to scale.
class PreparedSurface {
public:
    PreparedSurface() = default;
    PreparedSurface(const PreparedSurface&) = delete;
    PreparedSurface& operator=(const PreparedSurface&) = delete;
    ~PreparedSurface() { Reset(); }
    // The surface for the key, made from `page` when the key changed; null with *code set.
    cairo_surface_t* Get(const SurfaceKey& key, const DecodedPage& page, int* code);
    void Reset();

private:
    SurfaceKey key_;
    cairo_surface_t* surface_ = nullptr;
};

}  // namespace zypm

struct ZypmPageObject {
    ZypmView view = nullptr;
    int32_t index = 0;
    int locks = 0;
    zypm::DisplayAttributes display;
};

struct ZypmViewObject {
    ZypmEnv environment = nullptr;
    ZypmDoc document = nullptr;
    std::map<int32_t, std::unique_ptr<ZypmPageObject>> pages;  // pages locked at least once
    zypm::PreparedSurface prepared;
};

namespace zypm {

// The document page behind a locked page handle; null (with a message) when the
// handle is not locked or its view shows no document any more.
const ZypmDocPage* DocPageOf(ZypmPage page, int* code);

}  // namespace zypm
