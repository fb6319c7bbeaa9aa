// server_print_state.h - the records of a print or text-search run and the callbacks the
// bulk retrieval drives.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "qel_smprint.h"

namespace qelsm::detail {

struct SmPrintJob;

// One document of the run.
struct SmPrintEntry {
    bool writer = false;  // its data goes straight into the job file
    bool buffered = false;
    std::string buffer;  // data that arrived before the entry's turn
    std::shared_ptr<const SmPrintDoc> doc;
    std::string table;       // page-table bytes of a multi-part document
    bool tableHeld = false;  // the table came whole
    bool complete = false;   // all of its data arrived
    SmPrintJob* job = nullptr;
};

// One print job (one job file).
struct SmPrintJob {
    std::shared_ptr<const SmPrintGroup> group;
    std::shared_ptr<const SmPrintAppl> appl;
    uint32_t resourceId = 0;
    std::string copies;
    std::string file;  // made exclusively at creation; empty once deleted
    int state = 0;     // 1 multi-part parts pending, 0, -1 done with by the search
    uint32_t word = 0;
    int firstEntry = 0;
    int entryCount = 0;
    int completed = 0;
    bool writeError = false;
    bool ready = false;
    int submitted = 0;  // 1 started, -1 its start failed
};

// The data expected for one entry, in the order the bulk retrieval announced it.
struct SmPrintOrder {
    int entry = 0;
    uint64_t expected = 0;  // 0: length unknown
    uint64_t received = 0;
    bool done = false;
    bool known = false;  // a length was announced
};

struct SmPrintContext {
    CsHandle* handle = nullptr;
    int status = 0;  // 0, an errno, or CS_NO_MEMORY (12)
    int nextEntry = 0;
    std::vector<SmPrintEntry> entries;
    std::vector<std::unique_ptr<SmPrintJob>> jobs;  // in creation order
    const SmPrintJob* lastJob = nullptr;
    std::vector<SmPrintOrder> orders;
    size_t readPosition = 0;
};

// The bulk retrieval's callbacks over the context.
bool SmPrintNextItem(SmPrintContext* context, const SmPrintGroup** group, const SmPrintDoc** doc, int* entry);
void SmPrintExpectObject(SmPrintContext* context, uint64_t expected, int entry);
int SmPrintDataCallback(SmPrintContext* context, const unsigned char* data, size_t length);

// File helpers of the run. Each failure issues its message (94 open, 99 write, 98 read,
// 101 close) with the name and errno and answers the errno.
// Appends to an existing file (never created, never through a link).
int SmPrintAppend(CsHandle* handle, const std::string& name, const unsigned char* data, size_t length);
// Creates the file exclusively (0600, no link followed) with the text; an existing
// name is never overwritten.
int SmPrintWriteNew(CsHandle* handle, const std::string& name, std::string_view text);
// Reads a whole file.
int SmPrintReadAll(CsHandle* handle, const std::string& name, std::string* out);
// Issues a file message: row, name, errno, then the source name and line.
void SmPrintFileMessage(CsHandle* handle, int row, const std::string& name, int error, int line);

inline constexpr int kMsgPrintOpen = 94;
inline constexpr int kMsgPrintRead = 98;
inline constexpr int kMsgPrintWrite = 99;
inline constexpr int kMsgPrintClose = 101;
inline constexpr int kMsgPrintFork = 119;
inline constexpr int kMsgPrintPermission = 152;
inline constexpr int kMsgPrintSystem = 154;
inline constexpr int kMsgBulkPrint = 73;
inline constexpr int kMsgBulkTextSearch = 188;

}  // namespace qelsm::detail
