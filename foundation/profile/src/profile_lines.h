// profile_lines.h - the one line scanner shared by the reader and the editor, so both
// classify every line the same way (internal to the profile library).
#pragma once

#include <cstddef>
#include <string_view>

namespace arcprof::detail {

enum class LineKind { Blank, Comment, Section, Key, Other };

struct Line {
    size_t begin = 0;          // offset of the line's first character
    size_t end = 0;            // offset past its line feed (or the end of the text)
    bool hasLineFeed = false;  // false only for a last line without LF
    LineKind kind = LineKind::Other;
    std::string_view name;   // section name, or the key (text before the first '=')
    std::string_view value;  // raw text after the first '=' (key lines)
};

// Walks a text line by line; each line is judged by its first ARCPROF_MAX_LINE
// characters, and a longer line's rest belongs to the same line (it is skipped).
class LineScanner {
public:
    explicit LineScanner(std::string_view text) : text_(text) {}
    bool next(Line* line);
    size_t position() const { return pos_; }

private:
    std::string_view text_;
    size_t pos_ = 0;
};

bool IsBlankChar(char c);
std::string_view Trim(std::string_view s);
// Lookup cleaning: blanks at both ends, then one pair of matching quotes.
std::string_view CleanValue(std::string_view raw);
bool EqualsIgnoreCase(std::string_view a, std::string_view b);

}  // namespace arcprof::detail
