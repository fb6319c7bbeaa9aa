// ldr_lines.cpp - ranges of the lines of the loaded page, with the view's locked fields
// kept in front of the scrolled part.
#include <algorithm>

#include "ldr_internal.h"

using namespace qelldr;

namespace {

bool IsBlank(std::string_view character) { return character == " "; }

// At most width characters of the line from column on (cut to the widest line), grown to
// whole words when asked, never below floor.
ArcLdrLine Range(const ArcLdrDocument* document, const LineText& text, int32_t column, int32_t width,
                 bool wholeWords, int32_t floor) {
    const int32_t chars = text.Chars();
    width = std::min(width, std::max(document->info.widestLine - column, 0));
    int32_t first = std::min(column, chars);
    int32_t last = std::min(column + width, chars);  // one past
    if (wholeWords && last > first) {
        while (first > floor && !IsBlank(text.At(first - 1))) --first;
        while (last < chars && !IsBlank(text.At(last - 1))) ++last;
    }
    const size_t from = first < chars ? text.starts[static_cast<size_t>(first)] : text.bytes.size();
    const size_t to = last < chars ? text.starts[static_cast<size_t>(last)] : text.bytes.size();
    return ArcLdrLine{std::string_view(text.bytes).substr(from, to - from), first, last - first, 0};
}

// Line columns up to the end of the last locked field.
int32_t LockedWidth(const ArcLdrDocument* document) {
    const ArcLdrOptions& o = document->options;
    const size_t count = std::min(static_cast<size_t>(std::max(o.lockedFields, 0)), o.fieldColumns.size());
    int32_t end = 0;
    // Record column c (from 1, prefix included) is line column c - prefix - 1.
    for (size_t i = 0; i < count; ++i)
        end = std::max(end, std::max(o.fieldColumns[i][0], o.fieldColumns[i][1]) - document->prefix);
    return std::clamp(end, 0, document->info.widestLine);
}

}  // namespace

std::optional<ArcLdrLine> ArcLDR_GetLine(ArcLdrDocument* document, int32_t line, int32_t column,
                                         int32_t width, bool wholeWords) {
    if (document == nullptr || line < 0 || line >= static_cast<int32_t>(document->lines.size()))
        return std::nullopt;
    const LineText& text = document->lines[static_cast<size_t>(line)];
    column = std::max(column, 0);
    width = std::max(width, 0);
    if (width == 0) return ArcLdrLine{text.bytes, 0, text.Chars(), 0};
    const int32_t locked = LockedWidth(document);
    if (locked == 0) return Range(document, text, column, width, wholeWords, 0);

    // The locked block, padded so that the scrolled part keeps its place after it.
    std::string& out = document->lineBuffer;
    out.clear();
    const int32_t shown = std::min(width, locked);
    for (int32_t c = 0; c < shown; ++c) out.append(c < text.Chars() ? text.At(c) : std::string_view(" "));
    ArcLdrLine result{{}, std::max(column, locked), 0, shown};
    if (width > locked) {
        const ArcLdrLine rest = Range(document, text, result.column, width - locked, wholeWords, locked);
        out.append(rest.text);
        result.column = rest.column;
        result.width = rest.width;
    }
    result.text = out;
    return result;
}
