// afp_split.h - the AFP viewer's handling of downloaded replies, without windows:
//
//   * the line-data formatter: turns a line-data print stream (records with optional
//     carriage control) into text pages, one line feed per line and a form feed per page;
//   * the container split: writes the pieces of a gateway container (docs/container.md) to
//     files in the instance's own directory and hands page names, index entries and
//     line-data density to the view engine through a sink of callbacks;
//   * the segment table and the segment requests, which build the URL or POST body for the
//     browser and never do I/O themselves.
//
// Private to the AFP plug-in (docs/afp-viewer.md, "Container split and line data").
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace afp {

// ===========================================================================
// Line-data formatter
// ===========================================================================

inline constexpr size_t kLineDataHeaderSize = 37;  // the block of the container's line-data run
inline constexpr size_t kLineDataMaxRecord = 1000;
inline constexpr size_t kLineDataBlock = 991;  // delimited data is read in blocks of this size
inline constexpr int32_t kNoCurrentPage = 999999;

// How a conversion reads its records; filled from the 37-byte line-data header.
struct LineDataParms {
    uint8_t shiftHandling = 0;    // '2': shift-out/in dropped; else each becomes a blank
    uint8_t recordFormat = 0;     // 'F' fixed, 'V' variable, 'S' delimited; else no record
    uint32_t recordLength = 0;    // of an 'F' record
    uint8_t carriageControl = 0;  // 'A' ANSI, 'M' machine, 'N' form feeds, else none
    uint8_t trcFlag = 0;          // non-zero: one more prefix byte after the control byte
    uint32_t ccsid = 0;
    uint32_t pageHeaderRows = 0;       // kept, does not change the text
    uint32_t fieldHeaderRows = 0;      // kept, does not change the text
    std::array<char, 17> delimiter{};  // hex digit pairs, zero-terminated ("" = CR LF)
    std::FILE* input = nullptr;        // not owned; binary, positioned at its start
};

// The parameters of a 37-byte header (u32 fields big-endian) reading from `input`.
LineDataParms LineData_ParmsFromHeader(std::span<const uint8_t, kLineDataHeaderSize> header,
                                       std::FILE* input);

// Record callback: 'G' position into `result` (false when it cannot be had); 'R' reads up
// to `value` bytes into `buffer`, count into `result` (false only on a stream error, a short
// read at the end is none); 'S' moves to offset `value` (false on failure); other: true.
using LineDataRecordIo = std::function<bool(LineDataParms& parms, char op, uint64_t value, uint64_t& result,
                                            unsigned char* buffer)>;
bool LineData_FileIo(LineDataParms& parms, char op, uint64_t value, uint64_t& result, unsigned char* buffer);

// Map loader: the lines of the code-page map of `ccsid` (each at most 79 characters, at
// most 800 of them; a longer line goes on as further lines). false when there is none.
using LineDataMapLoader = std::function<bool(uint32_t ccsid, std::vector<std::string>& slots)>;
// Reads "<directory>/<ccsid>.CP" ('/' added when the directory does not end in one).
bool LineData_LoadCodePageMap(const std::string& mapDirectory, uint32_t ccsid,
                              std::vector<std::string>& slots);

// True for the EBCDIC CCSIDs (37, 273, 500, 1047, the 1140 family, the mixed ones ...).
bool IsEbcdicCcsid(uint32_t ccsid);

// One carriage-control row; a set ends with the row of control byte 0xFF, which serves
// every byte not in the set.
struct CarriageControlRow {
    uint8_t control;
    int32_t blanksBefore;
    int32_t blanksAfter;
    bool newPageBefore;
    bool newPageAfter;
    bool printed;
};
std::span<const CarriageControlRow> LineData_AnsiSet();
std::span<const CarriageControlRow> LineData_MachineSet();
std::span<const CarriageControlRow> LineData_EndOnlySet();  // 'N' and every other letter
// The row of `control` in `set` (the end row when the byte is not in it).
const CarriageControlRow& LineData_FindRow(std::span<const CarriageControlRow> set, uint8_t control);

// The built-in EBCDIC-to-ASCII translate table (target byte by source byte).
const std::array<uint8_t, 256>& LineData_EbcdicTable();

struct LineDataLine {
    std::string text;
    uint32_t lineNumber = 0;    // within the page, from 0
    int32_t recordNumber = -1;  // within the page, from 1; -1 for a blank line from spacing
    uint8_t control = 0;
};

struct LineDataDoc;  // one open document (page index, current page's lines)
struct LineDataTable;

// The state of one conversion: callbacks, open documents and translate tables. Each
// conversion has its own, so conversions on different instances never share state.
class LineDataFormatter {
public:
    LineDataFormatter();
    ~LineDataFormatter();
    LineDataFormatter(const LineDataFormatter&) = delete;
    LineDataFormatter& operator=(const LineDataFormatter&) = delete;

private:
    friend bool LineData_Init(LineDataFormatter&, LineDataRecordIo, LineDataMapLoader);
    friend void LineData_Term(LineDataFormatter&);
    friend LineDataDoc* LineData_Open(LineDataFormatter&, LineDataParms&);
    friend void LineData_Close(LineDataFormatter&, LineDataDoc*);
    bool started_ = false;
    LineDataRecordIo io_;
    LineDataMapLoader loader_;
    std::vector<std::unique_ptr<LineDataDoc>> docs_;
    std::vector<std::unique_ptr<LineDataTable>> tables_;
};

// false when a callback is missing; otherwise empty lists and true.
bool LineData_Init(LineDataFormatter& formatter, LineDataRecordIo io, LineDataMapLoader loader);
// Closes every document and frees every translate table.
void LineData_Term(LineDataFormatter& formatter);
// Reads the whole document once for its page index. Null when the formatter was not started.
// The document reads through `parms` (not owned) and is owned by the formatter.
LineDataDoc* LineData_Open(LineDataFormatter& formatter, LineDataParms& parms);
void LineData_Close(LineDataFormatter& formatter, LineDataDoc* doc);
// false when n is negative or not below the page count; else page n's lines are loaded.
bool LineData_SelectPage(LineDataDoc& doc, int32_t n);
// Line i of the current page, or none past its last line.
std::optional<std::string_view> LineData_GetLine(LineDataDoc& doc, int32_t i);
const LineDataLine* LineData_GetLineRecord(LineDataDoc& doc, int32_t i);
int32_t LineData_PageCount(const LineDataDoc& doc);
uint32_t LineData_MaxPageLines(const LineDataDoc& doc);  // largest line count of a page
uint32_t LineData_WidestLine(const LineDataDoc& doc);    // bytes after the prefix
int32_t LineData_CurrentPage(const LineDataDoc& doc);    // kNoCurrentPage when none

// Writes every page's lines to `output` (each line and a line feed, then a form feed per
// page). 1 with the largest line count of a page and the widest line; 0 when the document
// could not be opened, a page not loaded or the output not written (what was written stays).
int LineData_ConvertToText(std::FILE* input, std::FILE* output, const std::string& mapDirectory,
                           std::span<const uint8_t, kLineDataHeaderSize> header, uint32_t& lineCount,
                           uint32_t& width);

// ===========================================================================
// Container split
// ===========================================================================

inline constexpr uint32_t kPluginLevel = 2008;    // shown with a refused version
inline constexpr uint32_t kVersionLimit = 3008;   // containers of this version or more are refused
inline constexpr int kMsgCaption = 1000;          // resource strings of the messages
inline constexpr int kMsgCannotWrite = 1007;      // text: the path of the piece file
inline constexpr int kMsgDamaged = 1016;          // text: the byte offset where the container is damaged
inline constexpr int kMsgVersion = 1009;          // text: " (C-2008, S-<version>)"
inline constexpr size_t kPieceChunk = 65280;      // piece copy: read and write size
inline constexpr uint32_t kMaxSegments = 131072;  // larger segment counts are refused
inline constexpr uint64_t kDefaultPieceLimit = uint64_t{4} << 30;

// How the split talks to the view engine. Every callback may be empty (then skipped).
struct EngineSink {
    std::function<void(const std::string& name)> addPageName;
    // kind word and page number in their stored order
    std::function<void(const std::string& group, const std::string& value, uint32_t kind, uint32_t page)>
        addIndexEntry;
    std::function<void(uint32_t lines, int32_t charsPerInch, int32_t linesPerInch)> setLineDataParms;
    // a message box: resource string `stringId` followed by `text`, caption kMsgCaption
    std::function<void(int stringId, const std::string& text)> showMessage;
};

// One file name per segment of a segmented document.
class SegmentTable {
public:
    void Make(size_t count);  // count empty names (replaces any earlier table)
    bool Exists() const { return made_; }
    size_t Size() const { return names_.size(); }
    // Only into an empty slot; false when the index is out of range or the slot is taken.
    bool Set(size_t index, const std::string& name);
    // The name when its file still exists; a name whose file has gone is dropped.
    std::optional<std::string> Get(size_t index);
    void Free();

private:
    bool made_ = false;
    std::vector<std::string> names_;
};

// The engine's page unit (VSSetPageSize): twips, 1/1440 inch. The container's page size
// in inches becomes this unit in TwipsFromInches and nowhere else. The engine takes the
// size as 16-bit unsigned values, so a side above kMaxPageTwips (45.5 inches) is none.
constexpr int32_t kTwipsPerInch = 1440;
constexpr int32_t kMaxPageTwips = 65535;

// Inches as the container stores them (IEEE single, host order) in twips, rounded;
// 0 for none: not a number, negative, or above kMaxPageTwips.
int32_t TwipsFromInches(float inches);

// The instance fields the split and the segment requests read and fill.
struct SplitInstance {
    // Set by the caller: a directory of this instance only (created 0700); every piece file
    // goes there. The map directory holds the code-page maps "<ccsid>.CP".
    std::filesystem::path tempDir;
    std::string mapDirectory;
    uint64_t pieceLimit = kDefaultPieceLimit;  // largest expanded piece written

    int32_t currentSegment = 0;   // 0 full with information, -1 full without, else a segment
    int32_t previousSegment = 0;  // kept by a request, restored by a cancel
    uint8_t documentType = 0;
    uint8_t documentLetter = 'N';  // kept from the full container for segment replies
    int32_t displayMode = 1;       // '1' 2, '2' 4, '9' 3, else 1
    int32_t displayNumber = -1;    // the container's number when not 100
    int32_t pageWidth = 0;         // twips (kTwipsPerInch), 0 none
    int32_t pageHeight = 0;        // twips (kTwipsPerInch), 0 none
    std::array<uint8_t, 3> attributes{};
    std::vector<uint8_t> lineDataDescription;  // the K bytes of a line-data run
    std::string documentFile;
    std::string resourceFile;

    uint32_t totalPages = 0;
    uint32_t segmentCount = 0;
    uint32_t pagesPerSegment = 0;
    uint32_t pagesInLastSegment = 0;
    std::string segmentUrl;
    std::string segmentFormData;
    SegmentTable segments;

    std::string printFile;  // ".PRN" collecting segments for printing
    int32_t lastSegmentToFetch = -1;
    bool fetching = false;   // a print collection is under way (the only kind of fetch)
    int32_t fetchIndex = 0;  // the segment being fetched
    bool requestPending = false;
    bool confirmOff = false;  // the user switched the segment question off
};

// Splits the downloaded file: 1 done, 0 failed (a message has gone to the sink where a
// piece could not be written, a version was refused or the information was bad).
int Split(SplitInstance& instance, const std::filesystem::path& file, const EngineSink& sink);

// Writes `length` bytes (none: to the end) from `offset` of `source` to `target`, decoded
// from `letter` ('D' and 'N' copied). 0 done; 1 the source cannot be read; 2 the target
// cannot be written or would pass `limit` bytes; 3 the input is damaged (short input, data
// the codec refuses, an unknown letter): *damagedAt is the container offset where it
// stopped making sense, and `target` keeps what was decoded before it.
int CopyPiece(std::FILE* source, const std::filesystem::path& target, uint64_t offset,
              std::optional<uint64_t> length, char letter, uint64_t limit, uint64_t* damagedAt = nullptr);

// ===========================================================================
// Segment requests
// ===========================================================================

struct BrowserRequests {
    std::function<void(const std::string& url)> getUrl;
    // `body` starts with the Content-Type and Content-Length lines
    std::function<void(const std::string& url, const std::string& body)> postUrl;
};

enum class RequestResult {
    kRequested,
    kPending,  // another request is under way: nothing asked
    kRefused,  // no segments, 0 pages per segment, a number past the last, CR/LF in the URL or form
};

// The segment holding page offset `offset` (offset / pages per segment).
RequestResult RequestSegment(SplitInstance& instance, uint64_t offset, const BrowserRequests& browser);
// Asks for segment `number`: its kept file as a "file://" URL, else the gateway.
RequestResult RequestSegmentNumber(SplitInstance& instance, uint64_t number, const BrowserRequests& browser);

inline constexpr int kAnswerCancel = 2;
inline constexpr int kAnswerYes = 6;

struct SegmentHost {
    BrowserRequests browser;
    std::function<int()> confirmSegment;                          // the question; 2 cancel, 6 yes-to-all
    std::function<void(const std::string& path)> printCollected;  // print the ".PRN" file
};

enum class OpenResult {
    kPrinted,    // past lastSegmentToFetch: the collection printed, then ended as EndCollection does
    kRequested,  // asked from the kept file or the gateway
    kCancelled,  // the user cancelled: ended as EndCollection does
    kDone,       // no such segment: nothing asked (a collection under way ends as EndCollection does)
    kPending,    // another request is under way: nothing asked
    kRefused,    // the request could not be made (see RequestResult): ended as EndCollection does
};

// Ends a fetch: the segment on show before it began is current again and the print file
// is removed.
void EndCollection(SplitInstance& instance);

// Next step of a segment fetch: segment `index`.
OpenResult OpenSegment(SplitInstance& instance, int32_t index, const SegmentHost& host);

}  // namespace afp
