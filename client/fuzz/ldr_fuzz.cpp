// Fuzzes the line-data reader over any bytes in any record format, carriage control and
// code page.
//
// Byte 0: bits 0-1 format (F, V, delimited by LF, delimited by the text "0D0A"), bits 2-3
// carriage control (none, ANSI, machine, ANSI), bit 4 TRC, bit 5 overprints merged, bit 6
// the code-page service converts, bit 7 shift kind '2'. Byte 1: the CCSID (of a list).
// Byte 2: lines per page, and the fixed record length. Byte 3: the page limit (0..7).
// The rest is the document. Every page loads, twice the same; its lines are well formed
// (characters within the bytes, never wider than the widest line) and no more than the
// most lines of a page; ranges of a line stay within it.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "arc_codepage.h"
#include "arc_ldr.h"

namespace {

void Check(bool holds) {
    if (!holds) std::abort();
}

struct Input {
    const uint8_t* data;
    size_t size;
    int64_t position = 0;
};

bool Read(void* user, char operation, int64_t count, int64_t* countOut, unsigned char* buffer) {
    auto* in = static_cast<Input*>(user);
    const int64_t size = static_cast<int64_t>(in->size);
    if (operation == ARC_LDR_TELL) {
        *countOut = in->position;
        return true;
    }
    if (operation == ARC_LDR_SEEK) {
        if (count < 0 || count > size) return false;
        in->position = count;
        return true;
    }
    Check(count > 0 && count <= ARC_LDR_MAX_RECORD + 16);  // never more than a record at once
    const int64_t n = std::min(count, size - in->position);
    for (int64_t i = 0; i < n; ++i) buffer[i] = in->data[in->position + i];
    in->position += n;
    *countOut = n;
    return true;
}

ArcIconvContext* Iconv() {
    static ArcIconvContext* context = [] {
        ArcIconvContext* c = nullptr;
        return ArcICONV_Startup(&c, QEL_STAGE_DIR "/locale") == ARC_ICONV_OK ? c : nullptr;
    }();
    return context;
}

std::vector<std::string> Lines(ArcLdrDocument* document, int32_t widest) {
    std::vector<std::string> lines;
    for (int32_t i = 0;; ++i) {
        const auto line = ArcLDR_GetLine(document, i, 0, 0, false);
        if (!line) break;
        Check(line->column == 0 && line->width >= 0 && line->width <= widest);
        for (int32_t column : {-1, 0, 3, line->width / 2, line->width, widest + 1}) {
            for (bool words : {false, true}) {
                const auto range = ArcLDR_GetLine(document, i, column, 5, words);
                Check(range.has_value() && range->column >= 0 && range->width >= 0);
                Check(range->column + range->width <= line->width);
                Check(range->text.size() <= line->text.size());
            }
        }
        lines.emplace_back(line->text);
    }
    return lines;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const int32_t kCcsids[] = {819, 37, 500, 930, 939, 300, 850, 1208, 933, 4711};
    if (size < 4) return 0;
    const uint8_t flags = data[0];
    ArcLdrOptions o;
    o.recordFormat = "FVSS"[flags & 3];
    if ((flags & 3) == 3) o.recordDelimiter = "0D0A";
    o.carriageControl = "NAMA"[(flags >> 2) & 3];
    o.trc = (flags & 0x10) != 0;
    o.overstrike = (flags & 0x20) != 0 ? 'M' : 'S';
    o.shiftKind = (flags & 0x80) != 0 ? '2' : '1';
    o.dataCodePage = kCcsids[data[1] % (sizeof kCcsids / sizeof kCcsids[0])];
    o.linesPerPage = data[2] % 70;
    o.recordLength = data[2] * 4 + 1;
    const int32_t limit = data[3] % 8;
    Input in{data + 4, size - 4};
    o.user = &in;

    static const std::vector<uint16_t> codes = [] {
        std::vector<uint16_t> c(3000);
        for (size_t i = 0; i < c.size(); ++i) c[i] = static_cast<uint16_t>(0x8140 + i);
        return c;
    }();
    ArcLdrCallbacks callbacks;
    callbacks.read = Read;
    callbacks.table = [](int32_t, std::string*, int32_t*) { return false; };
    callbacks.error = [](void*, int) {};
    ArcLdrReaderPtr reader;
    Check(ArcLDR_Create(&reader, callbacks, ArcLdrDbcsTable{codes, (flags & 1) != 0 ? 16 : 0}, 1208,
                        (flags & 0x40) != 0, Iconv()));
    ArcLdrDocument* document = ArcLDR_OpenDocument(reader.get(), o, limit);
    if (document == nullptr) return 0;
    const ArcLdrDocumentInfo info = ArcLDR_GetInfo(document);
    Check(info.pageCount >= 1);
    Check(limit == 0 || info.pageCount <= limit);
    for (int32_t page = 0; page < info.pageCount && page < 64; ++page) {
        Check(ArcLDR_GotoPage(document, page));
        const ArcLdrDocumentInfo now = ArcLDR_GetInfo(document);
        const auto lines = Lines(document, now.widestLine);
        Check(static_cast<int32_t>(lines.size()) == now.lineCount && now.lineCount <= info.maxLines);
        Check(ArcLDR_GotoPage(document, page));
        Check(Lines(document, now.widestLine) == lines);
    }
    Check(!ArcLDR_GotoPage(document, info.pageCount));
    return 0;
}
