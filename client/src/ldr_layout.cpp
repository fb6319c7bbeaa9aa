// ldr_layout.cpp - the layout keys of an application's parameter text, turned from record
// numbers and record columns into line numbers and line columns on page 1.
#include <algorithm>

#include "ldr_internal.h"
#include "qel_parm.h"

namespace {

// The line (from 0) made from record n (from 1) of the loaded page; none for record 0, a
// record past the page, or a record that makes no line.
std::optional<int32_t> LineOfRecord(const ArcLdrDocument* document, int32_t n) {
    if (n <= 0 || static_cast<size_t>(n) > document->recordLines.size()) return std::nullopt;
    const int32_t line = document->recordLines[static_cast<size_t>(n) - 1];
    if (line < 0) return std::nullopt;
    return line;
}

void ShiftFieldColumns(ParmText* text, int32_t shift) {
    ParmFieldDef fields[PARM_MAX_FIELDS];
    const int count = ParmGetFields(text->c_str(), fields);
    if (count <= 0) return;
    for (int i = 0; i < count; ++i) {
        fields[i].first = std::max(fields[i].first - shift, 0);
        fields[i].second = std::max(fields[i].second - shift, 0);
    }
    ParmSetFields(text, fields, count);
}

// Writes the line-based keys into text; page 1 is loaded.
void WriteLayout(const ArcLdrDocument* document, ParmText* text) {
    const ArcLdrOptions& o = document->options;
    int32_t pageHeader = 0;
    if (auto line = LineOfRecord(document, o.pageHeaderRows)) {
        pageHeader = *line + 1;
        ParmSetPageHdrRows(text, pageHeader);
    }
    if (o.fieldHeaderRows > 0)
        if (auto line = LineOfRecord(document, o.pageHeaderRows + o.fieldHeaderRows))
            ParmSetFldHdrRows(text, *line - pageHeader + 1);
    if (auto line = LineOfRecord(document, o.valueRow)) ParmSetValRow(text, *line + 1);
    // Record columns count from 1 over the prefix; line columns from 0 after it.
    const int32_t shift = document->prefix + 1;
    if (o.valueColumn > 0) ParmSetValCol(text, std::max(o.valueColumn - shift, 0));
    ShiftFieldColumns(text, shift);
}

}  // namespace

bool ArcLDR_SaveFixedLayout(ArcLdrDocument* document) {
    if (document == nullptr) return false;
    const int32_t previous = document->info.currentPage;
    bool written = false;
    if (ArcLDR_GotoPage(document, 0)) {
        ParmText text{document->options.parmText};
        WriteLayout(document, &text);
        written = text.text.size() < ARC_LDR_LAYOUT_TEXT_MAX;
        if (written) document->layoutText = std::move(text.text);
    }
    if (previous != 0) ArcLDR_GotoPage(document, previous);
    return written;
}
