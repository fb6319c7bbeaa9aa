// arc_ldr.h - the line-data reader: print records (fixed, variable or delimited, with or
// without ANSI or machine carriage control) cut into pages of text lines (docs/line-data.md).
//
// The caller owns the bytes and hands them out through a read callback; the reader keeps
// an index of page starts and one page of lines in memory, whatever the document's size.
// Texts are converted from the document's CCSID (single-byte, double-byte or mixed EBCDIC
// with shift-out/shift-in) through the code-page service, or through a translation table.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

struct ArcIconvContext;  // arc_codepage.h
struct OpenDocument;     // qel_client.h

struct ArcLdrReader;
struct ArcLdrDocument;

// Operations of the read callback.
inline constexpr char ARC_LDR_READ = 'R';  // up to count bytes into buffer; *countOut the number read
inline constexpr char ARC_LDR_TELL = 'G';  // *countOut the current position
inline constexpr char ARC_LDR_SEEK = 'S';  // move to position count

// Largest data bytes of an 'F' or 'V' record, and the read block of delimited records.
inline constexpr int32_t ARC_LDR_MAX_RECORD = 1000;
inline constexpr int32_t ARC_LDR_DELIMITED_BLOCK = 991;
// Largest parameter text the layout keys are written into (with its terminating zero).
inline constexpr size_t ARC_LDR_LAYOUT_TEXT_MAX = 32700;

// The callbacks. user is the document's ArcLdrOptions::user. A false result of read ends
// the document; table answers a translation table's text (lines of 80 bytes) and its line
// count, false when none is configured; error receives a code-page service result
// (ARC_ICONV_*), also ARC_ICONV_INVALID_INPUT for a record delimiter that does not read.
struct ArcLdrCallbacks {
    std::function<bool(void* user, char operation, int64_t count, int64_t* countOut, unsigned char* buffer)>
        read;
    std::function<bool(int32_t ccsid, std::string* table, int32_t* lineCount)> table;
    std::function<void(void* user, int result)> error;
};

// The caller's double-byte table: 16-bit output codes (high byte written first). Mode 16
// selects the split index rule (docs/line-data.md).
struct ArcLdrDbcsTable {
    std::span<const uint16_t> codes;  // at most 65535 entries are used
    int32_t mode = 0;
};

// What a document is read with; ArcLDR_OptionsFrom fills it from an open document.
struct ArcLdrOptions {
    char recordFormat = 'V';                     // 'F', 'V', 'S' (delimited)
    int32_t recordLength = 0;                    // 'F': bytes per record, prefix included
    std::optional<std::string> recordDelimiter;  // hex pairs; none: "0A"; "": "0D0A"
    char carriageControl = 'N';                  // 'A' ANSI, 'M' machine, else none
    bool trc = false;                            // a table reference character follows the control byte
    int32_t dataCodePage = 850;
    int32_t linesPerPage = 0;  // 0: pages only by carriage control or form feed
    char shiftKind = 'N';      // '2': shift-out/shift-in take no column
    char overstrike = 'S';     // 'S': an overprinting record is a line of its own; else merged
    // Record-based layout values and the parameter text they are written into.
    int32_t pageHeaderRows = 0;
    int32_t fieldHeaderRows = 0;
    int32_t valueRow = 0;
    int32_t valueColumn = 0;
    std::string parmText;
    // The view's locked fields: the first lockedFields layout fields stay in view when a
    // line is scrolled. fieldColumns: each layout field's first and last record column
    // (from 1, prefix included), as the FLDnn keys give them.
    int32_t lockedFields = 0;
    std::vector<std::array<int32_t, 2>> fieldColumns;
    void* user = nullptr;  // handed to the read and error callbacks
};

// Sizes found while indexing the document.
struct ArcLdrDocumentInfo {
    int32_t pageCount = 0;
    int32_t maxLines = 0;         // most lines of a page, blank lines included
    int32_t maxPrintedLines = 0;  // the same without overprinting records
    int32_t widestRecord = 0;     // bytes
    int32_t widestLine = 0;       // characters
    int32_t currentPage = -1;     // -1 before the first ArcLDR_GotoPage
    int32_t lineCount = 0;        // lines of the current page
    char charKind = 'S';          // 'C' mixed, 'D' double-byte, 'S' single-byte
    bool converted = false;       // texts go through the code-page service
};

// A range of a line: its text in the output CCSID and where it lies, in characters.
struct ArcLdrLine {
    std::string_view text;  // valid until the document's next call
    int32_t column = 0;     // where the range (after any locked block) starts
    int32_t width = 0;      // its characters
    int32_t locked = 0;     // characters of the locked block before it
};

struct ArcLdrReaderDeleter {
    void operator()(ArcLdrReader* reader) const;
};
using ArcLdrReaderPtr = std::unique_ptr<ArcLdrReader, ArcLdrReaderDeleter>;

// Makes a reader. The double-byte table is copied. false (and *reader empty) when a
// callback is missing or reader is null.
bool ArcLDR_Create(ArcLdrReaderPtr* reader, ArcLdrCallbacks callbacks, ArcLdrDbcsTable dbcs,
                   int32_t outputCcsid, bool convert, ArcIconvContext* context);
// Frees the tables and closes every open document; the same as resetting the pointer.
void ArcLDR_Destroy(ArcLdrReaderPtr* reader);
// Opens a document and indexes its pages (at most pageLimit when positive). Owned by the
// reader; null when the document has no readable record.
ArcLdrDocument* ArcLDR_OpenDocument(ArcLdrReader* reader, const ArcLdrOptions& options, int32_t pageLimit);
// Unlinks and frees the document; null is accepted.
void ArcLDR_CloseDocument(ArcLdrDocument* document);
// Open documents of the reader.
size_t ArcLDR_DocumentCount(ArcLdrReader* reader);

ArcLdrDocumentInfo ArcLDR_GetInfo(const ArcLdrDocument* document);
// Makes page n (from 0) current. false for n outside the pages or when the page cannot
// be read (the current page is then none).
bool ArcLDR_GotoPage(ArcLdrDocument* document, int32_t page);
// Line i of the current page; none past its last line. width > 0 takes at most width
// characters from column on (cut to the widest line); else the whole line. Negative
// columns and widths count as 0. wholeWords widens the range to whole words. With locked
// fields and a width, the line's columns up to the end of the last locked field come
// first (blank-padded), then the rest of the width from the column on, never from before
// that block's end.
std::optional<ArcLdrLine> ArcLDR_GetLine(ArcLdrDocument* document, int32_t line, int32_t column,
                                         int32_t width, bool wholeWords);
// Turns the record-based layout values into line-based ones on page 1 and writes them into
// a copy of the options' parameter text, which replaces the document's layout text. false
// when page 1 cannot be read or the text would exceed ARC_LDR_LAYOUT_TEXT_MAX (the previous
// text is kept).
bool ArcLDR_SaveFixedLayout(ArcLdrDocument* document);
// The layout text written last, or none.
const std::optional<std::string>& ArcLDR_LayoutText(const ArcLdrDocument* document);

// The reader's options from an open document's parameters, its view and its
// application's parameter text.
ArcLdrOptions ArcLDR_OptionsFrom(const OpenDocument& document);
