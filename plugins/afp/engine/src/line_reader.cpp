// line_reader.cpp - line-data text (the formatter's output) as pages of monospace lines.
#include <algorithm>

#include "document.h"

namespace knvw {
namespace {

constexpr double kTwipsPerInch = 1440;
constexpr double kMarginInches = 0.5;
constexpr std::size_t kTabWidth = 8;

// Tabs to spaces, other controls to blanks; the text stays Latin-1.
std::string CleanLine(std::string_view line) {
    std::string out;
    out.reserve(line.size());
    for (char c : line) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte == '\t') {
            out.append(kTabWidth - out.size() % kTabWidth, ' ');
        } else if (byte < 0x20 || byte == 0x7F) {
            out.push_back(' ');
        } else {
            out.push_back(c);
        }
    }
    while (!out.empty() && out.back() == ' ') out.pop_back();
    return out;
}

}  // namespace

Document ReadLineData(std::string_view data, const LineDataParms& parms) {
    Document document;
    document.kind = Document::Kind::LineData;
    const int cpi = std::clamp(parms.charsPerInch, 1, 60);
    const int lpi = std::clamp(parms.linesPerInch, 1, 30);
    const double cellWidth = kTwipsPerInch / cpi;
    const double lineHeight = kTwipsPerInch / lpi;
    const double margin = kMarginInches * kTwipsPerInch;
    const std::size_t linesPerPage =
        parms.linesPerPage > 0 ? static_cast<std::size_t>(parms.linesPerPage) : 0;

    // Only lines with text are kept; a page holds at most what fits the largest page.
    struct PageLines {
        std::size_t count = 0;
        std::vector<std::pair<std::size_t, std::string>> lines;
    };
    const auto fitting = static_cast<std::size_t>((kMaxPageInches - 2 * kMarginInches) * lpi);
    const std::size_t pageLimit = linesPerPage ? std::min(linesPerPage, fitting) : fitting;
    const auto maxColumns = static_cast<std::size_t>((kMaxPageInches - 2 * kMarginInches) * cpi);
    std::vector<PageLines> pages(1);
    auto newPage = [&] {
        if (pages.size() >= kMaxPages) {
            document.truncated = true;
            return false;
        }
        pages.emplace_back();
        return true;
    };
    std::size_t start = 0;
    while (start <= data.size()) {
        std::size_t end = start;
        while (end < data.size() && data[end] != '\n' && data[end] != '\f') ++end;
        std::string_view line = data.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        const bool atEnd = end >= data.size();
        // Nothing between a line's end and a form feed is no line: the formatter ends every
        // line with a line feed and every page with a form feed after it.
        const bool beforeFormFeed = !atEnd && data[end] == '\f';
        if (!(line.empty() && (atEnd || beforeFormFeed))) {
            if (pages.back().count >= pageLimit && !newPage()) break;
            // Characters beyond the largest page are never shown: cut there.
            std::string text = CleanLine(line.substr(0, maxColumns));
            if (text.size() > maxColumns) text.resize(maxColumns);
            if (!text.empty()) pages.back().lines.emplace_back(pages.back().count, std::move(text));
            ++pages.back().count;
        }
        if (atEnd) break;
        if (data[end] == '\f' && !newPage()) break;
        start = end + 1;
    }
    // A form feed at the very end closes the last page rather than opening an empty one.
    if (!document.truncated && pages.size() > 1 && pages.back().count == 0 && data.back() == '\f')
        pages.pop_back();

    std::size_t widest = 0, tallest = 0;
    for (const auto& page : pages) {
        tallest = std::max(tallest, page.count);
        for (const auto& line : page.lines) widest = std::max(widest, line.second.size());
    }
    // Letter size unless the text needs more room: no line is cut.
    const double width = std::clamp(std::max(8.5 * kTwipsPerInch, 2 * margin + widest * cellWidth),
                                    kMinPageInches * kTwipsPerInch, kMaxPageInches * kTwipsPerInch);
    const double height = std::clamp(std::max(11.0 * kTwipsPerInch, 2 * margin + tallest * lineHeight),
                                     kMinPageInches * kTwipsPerInch, kMaxPageInches * kTwipsPerInch);
    document.pages.reserve(pages.size());
    for (auto& lines : pages) {
        Page page;
        page.width = width;
        page.height = height;
        page.unitsPerInch = kTwipsPerInch;
        for (auto& [n, text] : lines.lines) {
            TextRun run;
            run.x = margin;
            run.baseline = margin + n * lineHeight + lineHeight * 0.8;
            run.cellWidth = cellWidth;
            run.cellHeight = lineHeight;
            run.text = std::move(text);
            page.runs.push_back(std::move(run));
        }
        document.pages.push_back(std::move(page));
    }
    return document;
}

}  // namespace knvw
