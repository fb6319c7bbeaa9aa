// picture.cpp - bitmaps from the picture text of resource tables.
//
//   <width> <height> <colours>
//   <char> #RRGGBB          (one line per colour)
//   <row of width chars>    (height lines)
//
// Lines end in "\n" (a "\r" before it is dropped); empty lines may follow the rows.
#include <array>
#include <charconv>
#include <memory>
#include <vector>

#include "gdi_internal.h"

namespace {

std::vector<std::string_view> SplitLines(std::string_view text) {
    std::vector<std::string_view> lines;
    while (!text.empty()) {
        size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        lines.push_back(line);
        if (end == std::string_view::npos) break;
        text.remove_prefix(end + 1);
    }
    return lines;
}

bool ParseNumber(std::string_view* rest, int* value) {
    while (!rest->empty() && rest->front() == ' ') rest->remove_prefix(1);
    const char* begin = rest->data();
    const char* end = begin + rest->size();
    auto [next, error] = std::from_chars(begin, end, *value);
    if (error != std::errc() || next == begin) return false;
    rest->remove_prefix(static_cast<size_t>(next - begin));
    return true;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

std::string LineError(size_t index, const std::string& what) {
    return "picture line " + std::to_string(index + 1) + ": " + what;
}

}  // namespace

WinBitmap* Bitmap_FromPicture(std::string_view text, std::string* error) {
    std::string ignored;
    std::string& message = error != nullptr ? *error : ignored;
    std::vector<std::string_view> lines = SplitLines(text);
    if (lines.empty()) {
        message = "picture is empty";
        return nullptr;
    }
    std::string_view header = lines[0];
    int width = 0, height = 0, colours = 0;
    if (!ParseNumber(&header, &width) || !ParseNumber(&header, &height) || !ParseNumber(&header, &colours) ||
        !header.empty()) {
        message = LineError(0, "expected \"<width> <height> <colours>\"");
        return nullptr;
    }
    if (colours < 1 || colours > 256) {
        message = LineError(0, "colour count must be 1 to 256");
        return nullptr;
    }
    std::string refused =
        LineError(0, "size " + std::to_string(width) + " x " + std::to_string(height) + " refused");
    if (!Bitmap_SizeAllowed(width, height)) {
        message = refused;
        return nullptr;
    }
    // The rows must all be there before the pixels are allocated.
    size_t needed = 1 + static_cast<size_t>(colours) + static_cast<size_t>(height);
    if (lines.size() < needed) {
        message = "picture has " + std::to_string(lines.size()) + " lines, needs " + std::to_string(needed);
        return nullptr;
    }
    std::unique_ptr<WinBitmap> bitmap(Bitmap_Create(width, height));
    if (!bitmap) {
        message = refused;
        return nullptr;
    }
    std::array<int64_t, 256> palette;
    palette.fill(-1);
    for (int i = 0; i < colours; ++i) {
        size_t index = 1 + static_cast<size_t>(i);
        std::string_view line = lines[index];
        if (line.size() != 9 || line[1] != ' ' || line[2] != '#' || line[0] == ' ') {
            message = LineError(index, "expected \"<char> #RRGGBB\"");
            return nullptr;
        }
        uint32_t rgb = 0;
        for (size_t k = 3; k < 9; ++k) {
            int digit = HexDigit(line[k]);
            if (digit < 0) {
                message = LineError(index, "bad colour digit");
                return nullptr;
            }
            rgb = (rgb << 4) | static_cast<uint32_t>(digit);
        }
        auto key = static_cast<unsigned char>(line[0]);
        if (palette[key] >= 0) {
            message = LineError(index, std::string("colour '") + line[0] + "' defined twice");
            return nullptr;
        }
        palette[key] = rgb;
    }
    cairo_surface_flush(bitmap->surface);
    unsigned char* data = cairo_image_surface_get_data(bitmap->surface);
    int stride = cairo_image_surface_get_stride(bitmap->surface);
    for (int y = 0; y < height; ++y) {
        size_t index = 1 + static_cast<size_t>(colours) + static_cast<size_t>(y);
        std::string_view row = lines[index];
        if (row.size() != static_cast<size_t>(width)) {
            message = LineError(index, "row has " + std::to_string(row.size()) + " characters, needs " +
                                           std::to_string(width));
            return nullptr;
        }
        auto* pixels = reinterpret_cast<uint32_t*>(data + static_cast<size_t>(y) * stride);
        for (int x = 0; x < width; ++x) {
            int64_t rgb = palette[static_cast<unsigned char>(row[x])];
            if (rgb < 0) {
                message = LineError(index, std::string("unknown colour '") + row[x] + "'");
                return nullptr;
            }
            pixels[x] = 0xFF000000u | static_cast<uint32_t>(rgb);
        }
    }
    for (size_t index = 1 + static_cast<size_t>(colours) + static_cast<size_t>(height); index < lines.size();
         ++index) {
        if (!lines[index].empty()) {
            message = LineError(index, "text after the last row");
            return nullptr;
        }
    }
    cairo_surface_mark_dirty(bitmap->surface);
    message.clear();
    return bitmap.release();
}
