// ldr_pages.cpp - the page index of a line-data document, loading one page, and the lines
// of the loaded page.
#include <algorithm>

#include "arc_codepage.h"
#include "ldr_internal.h"

using namespace qelldr;

namespace {

// Counts of the page being indexed.
struct PageCounts {
    int32_t lines = 0;
    int32_t printed = 0;
};

void NotePage(ArcLdrDocumentInfo* info, const PageCounts& page) {
    info->maxLines = std::max(info->maxLines, page.lines);
    info->maxPrintedLines = std::max(info->maxPrintedLines, page.printed);
}

// Writes the non-blank characters of top over line, column by column.
void Overprint(LineText* line, const LineText& top) {
    LineText merged;
    const int32_t count = std::max(line->Chars(), top.Chars());
    for (int32_t i = 0; i < count; ++i) {
        const bool fromTop = i < top.Chars() && top.At(i) != " ";
        if (fromTop)
            merged.Append(top.At(i));
        else if (i < line->Chars())
            merged.Append(line->At(i));
        else
            merged.Append(" ");
    }
    *line = std::move(merged);
}

}  // namespace

namespace qelldr {

bool IndexPages(ArcLdrDocument* document, int32_t pageLimit) {
    RecordSource& source = *document->source;
    int64_t start = 0;
    if (!source.Tell(&start)) return false;
    ArcLdrDocumentInfo& info = document->info;
    const char set = document->carriage;
    const int32_t perPage = document->options.linesPerPage;
    PageCounts page;
    bool pageAfter = false;
    // Single-byte text needs no conversion to be measured.
    const bool convert =
        document->kind.kind != 'S' || !ArcICONV_IsSingleByteCcsid(document->options.dataCodePage);
    RecordInfo record;
    while (ReadLine(document, &record, convert)) {
        const CarriageRow& row = FindCarriageRow(set, document->ebcdic, record.control);
        const bool newPage = document->pageStarts.empty() || row.pageBefore || pageAfter ||
                             (perPage > 0 && page.lines >= perPage) || record.formFeed;
        if (newPage) {
            // The record that would start the page after the limit marks the end.
            if (pageLimit > 0 && static_cast<int32_t>(document->pageStarts.size()) >= pageLimit) break;
            if (!document->pageStarts.empty()) NotePage(&info, page);
            document->pageStarts.push_back(start);
            page = {};
        }
        pageAfter = row.pageAfter;
        const int32_t lines = record.noLine ? 0 : LinesOf(row);
        page.lines += lines;
        if (!record.overprint) page.printed += lines;
        start = source.Position();
    }
    if (document->pageStarts.empty()) return false;
    NotePage(&info, page);
    // A last page without lines is dropped: its start is the end of the one before.
    if (page.lines > 0) document->pageStarts.push_back(start);
    info.pageCount = static_cast<int32_t>(document->pageStarts.size()) - 1;
    return info.pageCount > 0;
}

}  // namespace qelldr

bool ArcLDR_GotoPage(ArcLdrDocument* document, int32_t page) {
    if (document == nullptr) return false;
    ArcLdrDocumentInfo& info = document->info;
    document->lines.clear();
    document->recordLines.clear();
    info.currentPage = -1;
    info.lineCount = 0;
    if (page < 0 || page >= info.pageCount) return false;
    const int64_t end = document->pageStarts[static_cast<size_t>(page) + 1];
    if (!document->source->Seek(document->pageStarts[static_cast<size_t>(page)])) return false;
    const char set = document->carriage;
    const bool separate = document->options.overstrike == 'S';
    RecordInfo record;
    while (document->source->Position() < end && ReadLine(document, &record)) {
        if (record.noLine) {
            document->recordLines.push_back(-1);
            continue;
        }
        const CarriageRow& row = FindCarriageRow(set, document->ebcdic, record.control);
        if (record.overprint && !separate && !document->lines.empty() && row.blankBefore == 0) {
            Overprint(&document->lines.back(), document->converted);
            document->recordLines.push_back(static_cast<int32_t>(document->lines.size()) - 1);
        } else {
            for (int i = 0; i < row.blankBefore; ++i) document->lines.emplace_back();
            document->recordLines.push_back(static_cast<int32_t>(document->lines.size()));
            document->lines.push_back(document->converted);
        }
        for (int i = 0; i < row.blankAfter; ++i) document->lines.emplace_back();
    }
    if (document->lines.empty() && document->recordLines.empty()) return false;
    info.currentPage = page;
    info.lineCount = static_cast<int32_t>(document->lines.size());
    return true;
}
