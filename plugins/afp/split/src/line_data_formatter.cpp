// The line-data formatter's documents: opening (translate table, page index), loading a
// page's lines and finding a line.
#include <algorithm>

#include "line_data_internal.h"

namespace afp {

namespace {

constexpr uint8_t kFormFeed = 0x0C;
constexpr uint8_t kSkipToNewPage = 0x8B;

// A one-byte machine record 0x8B only starts a page; it holds no line.
bool IsBarePageSkip(const LineDataDoc& doc) {
    return doc.parms->carriageControl == 'M' && doc.record.size() == 1 &&
           static_cast<uint8_t>(doc.record[0]) == kSkipToNewPage;
}

uint8_t ControlByte(const LineDataDoc& doc) {
    return doc.record.empty() ? 0 : static_cast<uint8_t>(doc.record[0]);
}

const LineDataTable* FindOrMakeTable(std::vector<std::unique_ptr<LineDataTable>>& tables,
                                     const LineDataMapLoader& loader, uint32_t ccsid, bool ebcdic) {
    if (ccsid >= 0x80000000u) return nullptr;  // bytes pass untranslated
    for (const auto& table : tables) {
        if (table->ccsid == ccsid) return table.get();
    }
    auto table = std::make_unique<LineDataTable>();
    table->ccsid = ccsid;
    std::vector<std::string> slots;
    if (loader(ccsid, slots)) {
        FillTableFromMap(slots, table->target);
    } else if (ebcdic) {
        table->target = LineData_EbcdicTable();
    } else {
        for (size_t b = 0; b < 256; ++b) table->target[b] = static_cast<uint8_t>(b);
    }
    tables.push_back(std::move(table));
    return tables.back().get();
}

// Reads every record once: the page starts, the largest line count and the widest line.
void IndexPages(LineDataDoc& doc) {
    const uint8_t letter = doc.parms->carriageControl;
    std::vector<uint64_t> starts;
    uint64_t lines = 0;
    uint64_t maxLines = 0;
    uint64_t afterLast = 0;
    bool newPageAfter = false;
    while (ReadRecord(doc)) {
        const size_t chars = doc.record.size();
        if (chars > doc.prefix)
            doc.widest = std::max<uint32_t>(doc.widest, static_cast<uint32_t>(chars - doc.prefix));
        const CarriageControlRow& row = LineData_FindRow(doc.set, ControlByte(doc));
        const bool formFeed =
            letter == 'N' && chars > doc.prefix && static_cast<uint8_t>(doc.record[doc.prefix]) == kFormFeed;
        if (starts.empty() || row.newPageBefore || newPageAfter || formFeed) {
            if (!starts.empty()) maxLines = std::max(maxLines, lines);
            starts.push_back(afterLast);
            lines = 0;
        }
        if (!IsBarePageSkip(doc)) lines += static_cast<uint64_t>(row.blanksBefore + row.blanksAfter + 1);
        newPageAfter = row.newPageAfter;
        afterLast = doc.position;
    }
    if (!starts.empty()) {
        if (lines == 0)
            starts.pop_back();
        else
            maxLines = std::max(maxLines, lines);
    }
    doc.maxLines = static_cast<uint32_t>(std::min<uint64_t>(maxLines, UINT32_MAX));
    doc.pageIndex = std::move(starts);
    doc.pageIndex.push_back(afterLast);
}

void AddLine(LineDataDoc& doc, std::string text, int32_t recordNumber, uint8_t control) {
    LineDataLine line;
    line.text = std::move(text);
    line.lineNumber = static_cast<uint32_t>(doc.lines.size());
    line.recordNumber = recordNumber;
    line.control = control;
    doc.lines.push_back(std::move(line));
}

void LoadPage(LineDataDoc& doc, int32_t n) {
    doc.lines.clear();
    const uint64_t end = doc.pageIndex[static_cast<size_t>(n) + 1];
    SeekRecords(doc, doc.pageIndex[static_cast<size_t>(n)]);
    int32_t recordNumber = 1;
    while (ReadRecord(doc)) {
        if (!IsBarePageSkip(doc)) {
            const uint8_t control = ControlByte(doc);
            const CarriageControlRow& row = LineData_FindRow(doc.set, control);
            for (int32_t i = 0; i < row.blanksBefore; ++i) AddLine(doc, {}, -1, control);
            std::string text;
            if (row.printed && doc.record.size() > doc.prefix) {
                text = doc.record.substr(doc.prefix);
                if (doc.parms->carriageControl == 'N' && static_cast<uint8_t>(text[0]) == kFormFeed)
                    text.erase(0, 1);
            }
            AddLine(doc, std::move(text), recordNumber, control);
            for (int32_t i = 0; i < row.blanksAfter; ++i) AddLine(doc, {}, -1, control);
            ++recordNumber;
        }
        // Past the next page's start also ends the page: delimited blocks read from another
        // start may cut an over-long record elsewhere.
        if (doc.position >= end) break;
    }
    doc.currentPage = n;
}

}  // namespace

LineDataFormatter::LineDataFormatter() = default;
LineDataFormatter::~LineDataFormatter() = default;

bool LineData_Init(LineDataFormatter& formatter, LineDataRecordIo io, LineDataMapLoader loader) {
    if (!io || !loader) return false;
    formatter.io_ = std::move(io);
    formatter.loader_ = std::move(loader);
    formatter.docs_.clear();
    formatter.tables_.clear();
    formatter.started_ = true;
    return true;
}

void LineData_Term(LineDataFormatter& formatter) {
    formatter.docs_.clear();
    formatter.tables_.clear();
    formatter.started_ = false;
}

LineDataDoc* LineData_Open(LineDataFormatter& formatter, LineDataParms& parms) {
    if (!formatter.started_) return nullptr;
    auto doc = std::make_unique<LineDataDoc>();
    doc->parms = &parms;
    doc->io = &formatter.io_;
    switch (parms.carriageControl) {
        case 'A':
            doc->set = LineData_AnsiSet();
            doc->prefix = 1;
            break;
        case 'M':
            doc->set = LineData_MachineSet();
            doc->prefix = 1;
            break;
        default:
            doc->set = LineData_EndOnlySet();
            doc->prefix = 0;
            break;
    }
    if (parms.trcFlag != 0) ++doc->prefix;

    const uint32_t ccsid = parms.ccsid;
    doc->ebcdic = IsEbcdicCcsid(ccsid);
    if (const MixedCcsid* mixed = FindMixedCcsid(ccsid)) {
        doc->kind = 'C';
        parms.ccsid = mixed->singleByte;  // the single-byte part names the table
    } else {
        doc->kind = IsDoubleBytePart(ccsid) ? 'D' : 'S';
    }
    doc->table = FindOrMakeTable(formatter.tables_, formatter.loader_, parms.ccsid, doc->ebcdic);
    IndexPages(*doc);
    parms.ccsid = ccsid;
    formatter.docs_.push_back(std::move(doc));
    return formatter.docs_.back().get();
}

void LineData_Close(LineDataFormatter& formatter, LineDataDoc* doc) {
    auto& docs = formatter.docs_;
    docs.erase(std::remove_if(docs.begin(), docs.end(), [doc](const auto& d) { return d.get() == doc; }),
               docs.end());
}

bool LineData_SelectPage(LineDataDoc& doc, int32_t n) {
    if (n < 0 || n >= LineData_PageCount(doc)) return false;
    if (n != doc.currentPage) LoadPage(doc, n);
    return true;
}

const LineDataLine* LineData_GetLineRecord(LineDataDoc& doc, int32_t i) {
    if (i < 0 || static_cast<size_t>(i) >= doc.lines.size()) return nullptr;
    return &doc.lines[static_cast<size_t>(i)];
}

std::optional<std::string_view> LineData_GetLine(LineDataDoc& doc, int32_t i) {
    const LineDataLine* line = LineData_GetLineRecord(doc, i);
    if (line == nullptr) return std::nullopt;
    return std::string_view(line->text);
}

int32_t LineData_PageCount(const LineDataDoc& doc) { return static_cast<int32_t>(doc.pageIndex.size() - 1); }
uint32_t LineData_MaxPageLines(const LineDataDoc& doc) { return doc.maxLines; }
uint32_t LineData_WidestLine(const LineDataDoc& doc) { return doc.widest; }
int32_t LineData_CurrentPage(const LineDataDoc& doc) { return doc.currentPage; }

}  // namespace afp
