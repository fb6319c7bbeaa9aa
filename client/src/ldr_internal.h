// ldr_internal.h - the pieces of the line-data reader: carriage control, records,
// conversion, page index. Tests include it to reach each piece on its own.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "arc_ldr.h"

struct ArcIconvHandle;

namespace qelldr {

// ---------------------------------------------------------------------------
// Carriage control (ldr_carriage.cpp)
// ---------------------------------------------------------------------------

struct CarriageRow {
    uint8_t control;
    uint8_t blankBefore;
    uint8_t blankAfter;
    bool pageBefore;
    bool pageAfter;
    bool print;
};

// The row of a control byte: set 'A' ANSI (its characters in EBCDIC for EBCDIC data),
// 'M' machine, else none. A byte not in its set, and every byte without a set, takes the
// end row (no spacing, printed).
const CarriageRow& FindCarriageRow(char set, bool ebcdic, uint8_t control);
// '+' in ANSI, 0x01 in machine control.
bool IsOverprint(char set, bool ebcdic, uint8_t control);
// A machine 0x8B record of one byte: a skip to a new page that makes no line.
inline bool MakesNoLine(char set, std::span<const unsigned char> record) {
    return set == 'M' && record.size() == 1 && record[0] == 0x8B;
}
// Lines a record takes on its page.
inline int32_t LinesOf(const CarriageRow& row) { return 1 + row.blankBefore + row.blankAfter; }

// ---------------------------------------------------------------------------
// Records (ldr_records.cpp)
// ---------------------------------------------------------------------------

// The delimiter bytes of a RECDELIM text: none gives LF, "" CR LF. A text of odd length,
// not hex, or longer than 16 characters gives LF and *fellBack true.
std::vector<unsigned char> ParseDelimiter(const std::optional<std::string>& text, bool* fellBack);

// Reads the records of one document through the caller's callback, keeping the position
// itself: the callback is asked for it once per seek.
class RecordSource {
public:
    RecordSource(const ArcLdrCallbacks* callbacks, void* user, char format, int32_t recordLength,
                 std::vector<unsigned char> delimiter);
    // Moves to a position ('S'); false when the callback refuses.
    bool Seek(int64_t position);
    // The callback's current position ('G'); false when it refuses.
    bool Tell(int64_t* position);
    // The next record's bytes (zero bytes not yet replaced); false at the end.
    bool Next(std::vector<unsigned char>* record);
    // The position after the last record read.
    int64_t Position() const { return position_; }

private:
    size_t ReadSome(unsigned char* buffer, size_t count);
    bool NextFixed(std::vector<unsigned char>* record);
    bool NextVariable(std::vector<unsigned char>* record);
    bool NextDelimited(std::vector<unsigned char>* record);
    bool Fill(size_t wanted);

    const ArcLdrCallbacks* callbacks_;
    void* user_;
    char format_;
    int32_t recordLength_;
    std::vector<unsigned char> delimiter_;
    int64_t position_ = 0;
    bool ended_ = false;
    std::vector<unsigned char> pending_;  // delimited: bytes read past position_
    size_t pendingStart_ = 0;
    // Bytes taken from the callback in blocks, so that short records cost no call each;
    // block_[blockPos_..] come next. fileAt_ is the callback's position after the block,
    // known once a Seek or Tell has set it: a seek into the block then needs no call.
    std::vector<unsigned char> block_;
    size_t blockPos_ = 0;
    int64_t fileAt_ = 0;
    bool fileAtKnown_ = false;
};

// ---------------------------------------------------------------------------
// Translation tables (ldr_tables.cpp)
// ---------------------------------------------------------------------------

struct TranslationTable {
    int32_t ccsid = 0;
    std::array<unsigned char, 256> target{};
};

// A configured table from its text: 256 blanks, filled from lines of 80 bytes.
TranslationTable ParseTranslationTable(int32_t ccsid, std::string_view text, int32_t lineCount);
// The built-in EBCDIC (code page 37) to ISO 8859-1 table, and the identity.
TranslationTable EbcdicTable(int32_t ccsid);
TranslationTable IdentityTable(int32_t ccsid);

// The character kind of a CCSID and, for a mixed one, the single-byte part it is read with.
struct CcsidKind {
    char kind = 'S';
    int32_t singleByte = 0;  // the CCSID the translation table is looked up for
};
CcsidKind KindOfCcsid(int32_t ccsid);

// ---------------------------------------------------------------------------
// Conversion (ldr_convert.cpp)
// ---------------------------------------------------------------------------

// A converted line: its bytes and the byte offset of each character.
struct LineText {
    std::string bytes;
    std::vector<uint32_t> starts;
    int32_t Chars() const { return static_cast<int32_t>(starts.size()); }
    void Clear() {
        bytes.clear();
        starts.clear();
    }
    void Append(std::string_view text);    // one character
    std::string_view At(int32_t i) const;  // character i
};

// The double-byte pair v through the caller's table: two bytes, high first, or "@@".
std::array<char, 2> ConvertPair(std::span<const uint16_t> codes, int32_t mode, uint16_t v);

struct ConverterSetup {
    char kind = 'S';
    char shiftKind = 'N';
    bool ebcdic = false;
    bool carriageControl = false;  // form feeds stay; without it they are dropped
    int32_t outputCcsid = 1208;
};

// Converts record texts (prefix already taken off) into lines. Holds the service's
// converter or a translation table, never both in use at once.
class LineConverter {
public:
    LineConverter(ConverterSetup setup, ArcIconvHandle* handle, const TranslationTable* table,
                  std::span<const uint16_t> codes, int32_t mode);
    ~LineConverter();
    LineConverter(const LineConverter&) = delete;
    LineConverter& operator=(const LineConverter&) = delete;

    // Converts data; a failure of the service is reported through report and the record
    // is converted through fallback (loaded on first use) instead.
    void Convert(std::span<const unsigned char> data, LineText* line, const std::function<void(int)>& report,
                 const std::function<const TranslationTable*()>& fallback);
    bool UsesService() const { return handle_ != nullptr; }

private:
    bool ConvertService(std::span<const unsigned char> data, LineText* line, int* result);
    bool ConvertRun(std::span<const unsigned char> run, bool doubleByte, LineText* line, int* result);
    void ConvertTable(std::span<const unsigned char> data, const TranslationTable& table, LineText* line);
    void AppendOutput(const char* bytes, size_t count, LineText* line) const;

    ConverterSetup setup_;
    ArcIconvHandle* handle_;
    const TranslationTable* table_;
    std::span<const uint16_t> codes_;
    int32_t mode_;
    std::vector<unsigned char> input_;
    std::vector<char> output_;
};

}  // namespace qelldr

// ---------------------------------------------------------------------------
// Reader and document records (ldr_reader.cpp, ldr_pages.cpp)
// ---------------------------------------------------------------------------

struct ArcLdrReader {
    ArcLdrCallbacks callbacks;
    std::vector<uint16_t> dbcsCodes;
    int32_t dbcsMode = 0;
    int32_t outputCcsid = 1208;
    bool convert = false;
    ArcIconvContext* context = nullptr;

    std::mutex documentsLock;
    std::vector<std::unique_ptr<ArcLdrDocument>> documents;  // in order of opening
    std::mutex tablesLock;
    std::vector<std::unique_ptr<qelldr::TranslationTable>> tables;  // stable addresses

    ~ArcLdrReader();
};

struct ArcLdrDocument {
    ArcLdrReader* reader = nullptr;
    ArcLdrOptions options;
    char carriage = 0;  // 'A', 'M' or 0
    int32_t prefix = 0;
    qelldr::CcsidKind kind;
    bool ebcdic = false;
    std::unique_ptr<qelldr::RecordSource> source;
    std::unique_ptr<qelldr::LineConverter> converter;
    const qelldr::TranslationTable* table = nullptr;

    std::vector<int64_t> pageStarts;  // one per page, then the end position
    ArcLdrDocumentInfo info;

    std::vector<qelldr::LineText> lines;  // the current page
    std::vector<int32_t> recordLines;     // the current page: each record's line, -1 none
    std::string lineBuffer;               // a composed range handed out by ArcLDR_GetLine
    std::optional<std::string> layoutText;

    std::vector<unsigned char> record;  // the record being read
    qelldr::LineText converted;         // its converted text
};

namespace qelldr {

// What one record is on its page.
struct RecordInfo {
    uint8_t control = 0;     // 0 without carriage control
    bool formFeed = false;   // without carriage control: the text began with a form feed
    bool noLine = false;     // a machine skip that makes no line
    bool overprint = false;  // merged into the line before it unless the view keeps it apart
};
// Reads the next record and converts its text (without the prefix) into
// document->converted; without convert, only the widest line is kept up to date, which
// needs single-byte text. false at the end of the document.
bool ReadLine(ArcLdrDocument* document, RecordInfo* info, bool convert = true);
// Builds the page index; false when the document has no readable record.
bool IndexPages(ArcLdrDocument* document, int32_t pageLimit);
// The translation table of the document's single-byte CCSID (reader's list, the
// callback, the built-in tables).
const TranslationTable* TableFor(ArcLdrReader* reader, int32_t ccsid, bool ebcdic);

}  // namespace qelldr
