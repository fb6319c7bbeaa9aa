// Reading one record of a line-data document (fixed, variable or delimited) and its
// translation into the text's code page.
#include <algorithm>

#include "arc_byteorder.h"
#include "line_data_internal.h"

namespace afp {

namespace {

constexpr uint8_t kShiftOut = 0x0E;
constexpr uint8_t kShiftIn = 0x0F;
constexpr uint8_t kFormFeed = 0x0C;
constexpr char kDoubleByteShown[] = "\x40\x40";

bool Io(LineDataDoc& doc, char op, uint64_t value, uint64_t& result, unsigned char* buffer) {
    return (*doc.io)(*doc.parms, op, value, result, buffer);
}

// Zero bytes would end the text early: they become the data's own blank.
void BlankZeros(LineDataDoc& doc, uint8_t* data, size_t length) {
    const uint8_t blank = doc.ebcdic ? 0x40 : 0x20;
    std::replace(data, data + length, uint8_t{0}, blank);
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Pairs of hex digits; a pair is read as far as its digits go ("0G" is 0). A text that
// gives no byte (empty or one character) stands for CR LF.
void ParseDelimiter(LineDataDoc& doc) {
    const auto& text = doc.parms->delimiter;
    size_t length = 0;
    while (length < 16 && text[length] != '\0') ++length;
    doc.delimiter.clear();
    for (size_t i = 0; i + 1 < length; i += 2) {
        int value = 0;
        for (size_t j = i; j < i + 2; ++j) {
            const int digit = HexDigit(text[j]);
            if (digit < 0) break;
            value = value * 16 + digit;
        }
        doc.delimiter.push_back(static_cast<uint8_t>(value));
    }
    if (doc.delimiter.empty()) doc.delimiter = {0x0D, 0x0A};
    doc.delimiterParsed = true;
}

bool ReadCounted(LineDataDoc& doc, size_t length) {
    std::vector<uint8_t> data(length);
    uint64_t got = 0;
    if (!Io(doc, 'R', length, got, data.data())) return false;
    got = std::min<uint64_t>(got, length);
    BlankZeros(doc, data.data(), static_cast<size_t>(got));
    uint64_t position = 0;
    if (!Io(doc, 'G', 0, position, nullptr)) return false;
    if (got < length) return false;  // a short record at the end is not used
    doc.record.assign(data.begin(), data.end());
    doc.position = position;
    return true;
}

bool ReadFixed(LineDataDoc& doc) {
    const uint32_t length = doc.parms->recordLength;
    // A length of 0 would read nothing forever.
    if (length == 0 || length > kLineDataMaxRecord) return false;
    return ReadCounted(doc, length);
}

bool ReadVariable(LineDataDoc& doc) {
    uint8_t head[2];
    uint64_t got = 0;
    if (!Io(doc, 'R', 2, got, head) || got < 2) return false;
    const size_t length = QelGetBE16(head);
    if (length > kLineDataMaxRecord) return false;
    return ReadCounted(doc, length);
}

// Appends up to `want` bytes of input to the block; false on a read error.
bool FillBlock(LineDataDoc& doc, size_t want) {
    const size_t old = doc.block.size();
    doc.block.resize(old + want);
    uint64_t got = 0;
    if (!Io(doc, 'R', want, got, doc.block.data() + old)) {
        doc.block.resize(old);
        return false;
    }
    got = std::min<uint64_t>(got, want);
    doc.block.resize(old + static_cast<size_t>(got));
    BlankZeros(doc, doc.block.data() + old, static_cast<size_t>(got));
    if (got < want) doc.endMarked = true;
    return true;
}

size_t FindDelimiter(const LineDataDoc& doc, size_t from) {
    auto it = std::search(doc.block.begin() + static_cast<std::ptrdiff_t>(from), doc.block.end(),
                          doc.delimiter.begin(), doc.delimiter.end());
    return static_cast<size_t>(it - doc.block.begin());
}

bool ReadDelimited(LineDataDoc& doc) {
    if (!doc.delimiterParsed) ParseDelimiter(doc);
    if (doc.reload) {
        doc.block.clear();
        doc.endMarked = false;
        doc.cursor = 0;
        doc.reload = false;
        if (!FillBlock(doc, kLineDataBlock)) return false;
    }
    if (doc.endMarked && doc.cursor >= doc.block.size()) return false;
    size_t found = FindDelimiter(doc, doc.cursor);
    if (found == doc.block.size()) {
        doc.block.erase(doc.block.begin(), doc.block.begin() + static_cast<std::ptrdiff_t>(doc.cursor));
        doc.cursor = 0;
        if (!doc.endMarked && !FillBlock(doc, kLineDataBlock - doc.block.size())) return false;
        // Input that ends right after a delimiter holds no further record.
        if (doc.endMarked && doc.block.empty()) return false;
        found = FindDelimiter(doc, 0);
    }
    const bool delimited = found < doc.block.size();
    const size_t length = found - doc.cursor;
    doc.record.assign(doc.block.begin() + static_cast<std::ptrdiff_t>(doc.cursor),
                      doc.block.begin() + static_cast<std::ptrdiff_t>(found));
    const size_t advance = length + (delimited ? doc.delimiter.size() : 0);
    doc.cursor += advance;
    doc.position += advance;
    return true;
}

void Translate(LineDataDoc& doc) {
    std::string& record = doc.record;
    if (record.empty() || record[0] == '\0' || doc.table == nullptr) return;
    const uint8_t letter = doc.parms->carriageControl;
    // A machine control byte is looked up as stored; an ANSI one after translation.
    const size_t start = letter == 'M' ? std::min(doc.prefix, record.size()) : 0;
    const auto& target = doc.table->target;
    const bool dropShift = doc.parms->shiftHandling == '2';
    std::string out = record.substr(0, start);
    out.reserve(record.size() + 1);
    bool doubleByte = doc.kind == 'D';
    for (size_t i = start; i < record.size();) {
        const auto b = static_cast<uint8_t>(record[i]);
        if (doc.kind == 'C' && (doubleByte ? b == kShiftIn : b == kShiftOut)) {
            doubleByte = !doubleByte;
            if (!dropShift) out += ' ';
            ++i;
        } else if (doubleByte) {
            // A record ending inside a character still shows a whole one.
            out += kDoubleByteShown;
            i += 2;
        } else {
            out += static_cast<char>(letter == 'N' && b == kFormFeed ? b : target[b]);
            ++i;
        }
    }
    record = std::move(out);
}

}  // namespace

bool ReadRecord(LineDataDoc& doc) {
    bool read = false;
    switch (doc.parms->recordFormat) {
        case 'F': read = ReadFixed(doc); break;
        case 'V': read = ReadVariable(doc); break;
        case 'S': read = ReadDelimited(doc); break;
        default: return false;
    }
    if (!read) return false;
    Translate(doc);
    return true;
}

void SeekRecords(LineDataDoc& doc, uint64_t position) {
    uint64_t ignored = 0;
    (void)Io(doc, 'S', position, ignored, nullptr);
    doc.position = position;
    doc.reload = true;
}

}  // namespace afp
