// text_layout.cpp - reading order of a page's runs.
#include "text_layout.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace knvw {
namespace {

constexpr double kAscent = 0.8;  // part of a cell above the baseline

}  // namespace

PageText::PageText(const Page& page) {
    std::vector<const TextRun*> runs;
    runs.reserve(page.runs.size());
    for (const auto& run : page.runs) runs.push_back(&run);
    std::stable_sort(runs.begin(), runs.end(), [](const TextRun* a, const TextRun* b) {
        return a->baseline != b->baseline ? a->baseline < b->baseline : a->x < b->x;
    });
    // Runs whose baselines lie within a quarter cell of the line's first run share a line.
    std::size_t i = 0;
    bool firstLine = true;
    while (i < runs.size()) {
        std::size_t j = i + 1;
        const double tolerance = runs[i]->cellHeight / 4;
        while (j < runs.size() && runs[j]->baseline - runs[i]->baseline <= tolerance) ++j;
        std::vector<const TextRun*> line(runs.begin() + static_cast<std::ptrdiff_t>(i),
                                         runs.begin() + static_cast<std::ptrdiff_t>(j));
        std::stable_sort(line.begin(), line.end(),
                         [](const TextRun* a, const TextRun* b) { return a->x < b->x; });
        if (!firstLine) {
            text_.push_back('\n');
            cells_.push_back(Cell{});
        }
        firstLine = false;
        double end = -std::numeric_limits<double>::infinity();
        for (const TextRun* run : line) {
            if (end != -std::numeric_limits<double>::infinity() && run->x - end >= run->cellWidth / 2) {
                text_.push_back(' ');
                cells_.push_back(Cell{});
            }
            const double top = run->baseline - run->cellHeight * kAscent;
            const std::size_t room = kMaxPageChars > text_.size() ? kMaxPageChars - text_.size() : 0;
            for (std::size_t n = 0; n < std::min(run->text.size(), room); ++n) {
                text_.push_back(run->text[n]);
                cells_.push_back(Cell{run->x + run->cellWidth * static_cast<double>(n), top, run->cellWidth,
                                      run->cellHeight});
            }
            end = std::max(end, run->x + run->cellWidth * static_cast<double>(run->text.size()));
        }
        i = j;
    }
}

int PageText::CharAt(double x, double y, bool* after) const {
    // The line whose cells are vertically nearest, then the nearest cell on it.
    int best = -1;
    double bestLine = std::numeric_limits<double>::infinity();
    double bestAcross = std::numeric_limits<double>::infinity();
    for (std::size_t n = 0; n < cells_.size(); ++n) {
        const Cell& c = cells_[n];
        if (c.width <= 0) continue;
        const double down = y < c.y ? c.y - y : (y > c.y + c.height ? y - (c.y + c.height) : 0);
        const double across = x < c.x ? c.x - x : (x > c.x + c.width ? x - (c.x + c.width) : 0);
        if (down < bestLine - 1e-9 || (std::abs(down - bestLine) <= 1e-9 && across < bestAcross)) {
            bestLine = down;
            bestAcross = across;
            best = static_cast<int>(n);
        }
    }
    if (best >= 0 && after) {
        const Cell& c = cells_[static_cast<std::size_t>(best)];
        *after = x > c.x + c.width / 2;
    }
    return best;
}

std::string Latin1ToUtf8(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x80) {
            out.push_back(c);
        } else {
            out.push_back(static_cast<char>(0xC0 | (byte >> 6)));
            out.push_back(static_cast<char>(0x80 | (byte & 0x3F)));
        }
    }
    return out;
}

bool Utf8ToLatin1(const std::string& text, std::string* out) {
    out->clear();
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if (byte < 0x80) {
            out->push_back(static_cast<char>(byte));
        } else if ((byte == 0xC2 || byte == 0xC3) && i + 1 < text.size() &&
                   (static_cast<unsigned char>(text[i + 1]) & 0xC0) == 0x80) {
            out->push_back(
                static_cast<char>(((byte & 0x03) << 6) | (static_cast<unsigned char>(text[i + 1]) & 0x3F)));
            ++i;
        } else {
            return false;
        }
    }
    return true;
}

}  // namespace knvw
