// text_layout.h - the text of a page in reading order: lines top to bottom, runs left to
// right, with each character's cell, for find, selection and text extraction.
#pragma once

#include <string>
#include <vector>

#include "document.h"

namespace knvw {

struct Cell {
    double x = 0, y = 0, width = 0, height = 0;  // page units, top-left corner
};

// The characters of a page taken into its text; the rest are drawn but not searched.
constexpr std::size_t kMaxPageChars = 1000000;

class PageText {
public:
    explicit PageText(const Page& page);

    // Latin-1 text: lines separated by '\n', runs of a line apart by a blank when there
    // is room between them.
    const std::string& Text() const { return text_; }
    // The cell of each character of Text(); separators have an empty cell (width 0).
    const std::vector<Cell>& Cells() const { return cells_; }
    // The character nearest to a page point (on its line, or the nearest line); -1 when
    // the page has no text. after: the point lies in the right half of the cell.
    int CharAt(double x, double y, bool* after = nullptr) const;

private:
    std::string text_;
    std::vector<Cell> cells_;
};

// Latin-1 to UTF-8.
std::string Latin1ToUtf8(const std::string& text);
// UTF-8 to Latin-1; false when a character lies outside Latin-1 or the text is not UTF-8.
bool Utf8ToLatin1(const std::string& text, std::string* out);

}  // namespace knvw
