// bulk_log.h - the bulk retrieval log (BULKLOG): a plain-text report of the documents a
// bulk run or a server-print run processed, written to a private temporary file in
// UTF-8 and handed back to the caller piece by piece. Layout in docs/bulk-log.md.
#pragma once

#include <array>
#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>

#include "qel_cshandle.h"
#include "qel_smprint.h"

struct ArcIconvHandle;
struct CsHandle;
struct CsXdrApplGroup;
struct CsXdrHitRow;

// Steps of the log file (SmBulkLogStep).
enum SmBulkLogStepKind : int {
    SM_BULKLOG_START = 0,   // clear, make the temporary file name, open the converter
    SM_BULKLOG_OPEN = 1,    // create the file
    SM_BULKLOG_READ = 2,    // read the next piece into the read buffer
    SM_BULKLOG_WRITE = 3,   // format, convert and write (SmBulkLogPrintf)
    SM_BULKLOG_REWIND = 4,  // flush and go back to the start
    SM_BULKLOG_CLOSE = 5,   // close the file
    SM_BULKLOG_REMOVE = 6,  // close the converter, delete the file, forget its name
};

inline constexpr size_t SM_BULKLOG_PIECE = 4096;  // bytes handed back per read
inline constexpr int SM_BULKLOG_PAGE_LINES = 60;  // report lines per page

struct SmBulkLogFileCloser {
    void operator()(std::FILE* file) const;
};
struct SmBulkLogConverterCloser {
    void operator()(ArcIconvHandle* converter) const;
};

// One log per bulk run. The handle is set by the caller before step 0 and kept by it.
// Destroying the record closes the file and removes it when steps 5 and 6 did not run.
struct SmBulkLog {
    CsHandle* handle = nullptr;
    int status = 0;         // 0 or a CsReturnCode; sticky: once set every step returns it
    bool atEnd = false;     // a read found the end of the file
    std::string fileName;   // empty: none
    bool ownsFile = false;  // step 1 created the file under fileName (only then is it removed)
    std::unique_ptr<std::FILE, SmBulkLogFileCloser> file;
    std::array<unsigned char, SM_BULKLOG_PIECE> buffer{};
    size_t count = 0;         // bytes of buffer from the last read
    bool formatting = false;  // the formatting text is in use (steps 0 to 6)
    std::string text;         // the formatted text of step 3 (grows as needed)
    std::unique_ptr<ArcIconvHandle, SmBulkLogConverterCloser> converter;  // to 1208; none: unconverted
    long lines = 0;                                                       // report lines written
    long disabledGroups = 0;          // lines of groups with logging disabled
    const void* lastGroup = nullptr;  // group record of the previous line; none at a page start

    SmBulkLog() = default;
    explicit SmBulkLog(CsHandle* owner) : handle(owner) {}
    SmBulkLog(const SmBulkLog&) = delete;
    SmBulkLog& operator=(const SmBulkLog&) = delete;
    ~SmBulkLog();
};

// Runs one step (SmBulkLogStepKind) and returns the record's status. A non-zero status
// skips every step but 0. Step 3 without text does nothing: use SmBulkLogPrintf.
int SmBulkLogStep(SmBulkLog* log, int step);
// Step 3: formats by printf rules, converts to UTF-8 and appends to the file.
int SmBulkLogPrintf(SmBulkLog* log, const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 2, 3)))
#endif
    ;
int SmBulkLogVPrintf(SmBulkLog* log, const char* format, va_list args);
// One report line: the page header every 60 lines, the group columns when the group
// changes, then "--LOGGING DISABLED--" without a hit, else the marked field values and
// the object handle (after "--NOT PROCESSED-- " when not processed). Returns the status.
int SmBulkLogLine(SmBulkLog* log, const CsXdrApplGroup* group, const CsXdrHitRow* hit, bool processed);
// The data supplier for the finished log (after step 4): clears the outputs; unless the
// status is set or the end was reached, reads the next piece (step 2) and returns it,
// an empty piece at the end of the file. Always 0.
int SmBulkLogRead(SmBulkLog* log, const unsigned char** data, size_t* length);
// Issues a run's timing message `row` with the finished log (after step 4) as its data,
// the handle's callback context pointing to the log during the call; then hands the log
// from its start to `report` (may be empty) in pieces. The message's result is not the
// run's: its documents are out already. Returns the status.
int SmBulkLogIssue(SmBulkLog* log, int row, const CsMessageArgs& args,
                   const std::function<void(const unsigned char* data, size_t length)>& report);
// The same line for a print or text-search run's records: the values of the fields
// marked `logged`, then the object handle (the annotation flags as the note byte).
int SmBulkLogPrintLine(SmBulkLog* log, const SmPrintGroup& group, const SmPrintDoc* doc, bool processed);
