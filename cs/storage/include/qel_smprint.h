// qel_smprint.h - server printing and the text-search run on the local archive.
//
// One driver serves both runs: it takes documents from the caller's item source, groups
// them into jobs (one file per job in the print directories, in turn), has the bulk
// retrieval deliver every document's data into its job file in document order, and then
// either starts the print script once per job (a print run) or hands each job file to the
// document-search exit (a text-search run). Layouts and decisions: docs/server-print.md.
//
// The storage manager cannot link the request layer: what the run needs of it (the bulk
// retrieval, resources, the user exits, the page tables, the cancel poll) is lent in
// SmPrintServices. An empty service answers CS_FAILED when it is needed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "qel_cshandle.h"

// Permission bit of SmPrintGroup::permissions: the group's documents may be printed.
inline constexpr uint8_t SM_PERMIT_PRINT = 0x10;
// Logging bits of SmPrintGroup::logging (one 32-bit word for all of a group's bits).
inline constexpr uint32_t SM_LOG_PRINT_REPORT = 0x04;  // print and text-search runs report each document
inline constexpr uint32_t SM_LOG_BULK_REPORT = 0x08;   // the bulk retrieval reports each document

// A field of an application group: its name and type letter ('B' 'D' 'I' 'N' 'S' ...).
struct SmPrintField {
    std::string name;
    char type = 'S';
    bool logged = false;  // its value goes into the run's report
};
// An application group as the run needs it. native: the caller's own record, handed back
// to the services.
struct SmPrintGroup {
    uint32_t number = 0;
    std::string name;
    uint8_t permissions = 0;  // SM_PERMIT_PRINT
    uint32_t logging = 0;     // SM_LOG_*
    std::vector<SmPrintField> fields;
    const void* native = nullptr;
};
// An application of a group: its name, its stored data type letter ('A' text lines,
// 'R' with resources, ...) and its SRVR_NORLA parameter (none: absent).
struct SmPrintAppl {
    std::string name;
    char dataType = 'A';
    std::optional<std::string> norla;
    const void* native = nullptr;
};
// Where a document lives (the object record of its index row).
struct SmPrintObject {
    std::string name;  // a '$' in it: a multi-part document with page tables
    uint32_t offset = 0;
    uint32_t length = 0;
    uint32_t compressedOffset = 0;
    uint32_t compressedLength = 0;
    uint8_t annotations = 0;
    char compression = 0;
    uint32_t resourceId = 0;  // 0: none
    uint16_t primaryNode = 0;
    uint16_t secondaryNode = 0;
};
// A field value of an index row, by the field's type: integers, reals, texts or none.
using SmPrintValue = std::variant<std::monostate, int64_t, double, std::string>;
// An index row: one value per field of its group, in field order, and its object.
struct SmPrintDoc {
    std::vector<SmPrintValue> values;
    SmPrintObject object;
    const void* native = nullptr;
};

// One document from the item source. A document without group takes the previous
// document's group; without application the previous one's (a print run's joining rule
// reads "came without application", see docs/server-print.md). doc null: no more.
struct SmPrintItem {
    std::shared_ptr<const SmPrintGroup> group;
    std::shared_ptr<const SmPrintAppl> appl;
    std::shared_ptr<const SmPrintDoc> doc;
    uint32_t word = 0;  // a text-search run's item word, handed back with the answer
};
// 0 with the next item (doc null at the end); anything else stops the run (CS_CANCELLED).
using SmPrintItemFn = std::function<int(SmPrintItem* item)>;
// A text-search answer: the job's item word and the exit's answer.
using SmPrintAnswerFn = std::function<void(uint32_t word, int32_t answer)>;

// A server printer: its name and type letter ('F' fax, 'I', any other: plain).
struct SmPrinter {
    std::string name;
    char type = 'P';
};
// The print options (keys such as "Copies", "PAGE_RANGE_BGN_1", "SSubject").
using SmPrintOptions = std::map<std::string, std::string>;

// What the bulk retrieval asks of its caller while it runs.
struct SmBulkFeed {
    // The next document: *entry always set; false past the last. *group is set when the
    // document's job differs from the one handed out before (else null).
    std::function<bool(const SmPrintGroup** group, const SmPrintDoc** doc, int* entry)> next;
    // Announces the data of `entry` before it is delivered; expected 0: length unknown.
    std::function<void(uint64_t expected, int entry)> expect;
    // The data, in the order announced; an empty piece ends an object. Always 1.
    std::function<int(const unsigned char* data, size_t length)> data;
};

using SmPrintSink = std::function<void(const unsigned char* data, size_t length)>;

struct SmPrintServices {
    // Runs the bulk retrieval over the feed. CS_OK or its failure.
    std::function<int(CsHandle*, SmBulkFeed&)> bulkRetrieve;
    // Delivers the resource object of the document (its object's resource id) to sink.
    std::function<int(CsHandle*, const SmPrintGroup&, const SmPrintDoc&, const SmPrintSink& sink)> resources;
    // The document-search exit on a job file: CS_OK with *answer, or its failure.
    std::function<int(CsHandle*, const SmPrintGroup&, const SmPrintAppl&, const std::string& jobFile,
                      int32_t* answer)>
        searchExit;
    // The document-extract exit: writes the pages of `pages` of jobFile into outFile.
    std::function<int(CsHandle*, const SmPrintGroup&, const SmPrintAppl&, const std::string& pages,
                      const std::string& jobFile, const std::string& outFile)>
        extractExit;
    // The parts of a multi-part document from its page-table bytes: objects 2..T (the
    // first object is the document's own). CS_OK, or CS_FAILED for a damaged table.
    std::function<int(const SmPrintObject& first, std::string_view table, std::vector<SmPrintObject>* parts)>
        expandParts;
    // Non-zero when the run is to stop (cancelled).
    std::function<int(CsHandle*)> pollCancel;
};

// The outside programs of a print run: the print script (program-file entry 7) and the
// PostScript program (entry 6). Empty: the install's entries.
struct SmPrintPrograms {
    std::string printScript;
    std::string postScript;
};

struct SmPrintRunArgs {
    // A print run: the printer (none: no control texts, printer argument empty), its
    // options (none: empty), the notes text and the item source.
    const SmPrinter* printer = nullptr;
    const SmPrintOptions* options = nullptr;
    const char* notes = nullptr;
    SmPrintItemFn printItems;
    // A text-search run: its item source and answer callback.
    SmPrintItemFn searchItems;
    SmPrintAnswerFn answer;
    SmPrintServices services;
    SmPrintPrograms programs;
    // Receives the run's report (the BULKLOG) after the timing message, in pieces of at
    // most 4096 bytes, before the report is deleted; may be empty.
    std::function<void(const unsigned char* data, size_t length)> report;
};

// The run. CS_OK; CS_CANCELLED (the item source or the cancel poll stopped it); CS_FAILED
// (a document without group or application, a file that cannot be made, opened, written
// or closed, a script that cannot start, a failed conversion); CS_NO_MEMORY;
// CS_NOT_AUTHORISED without SM_PERMIT_PRINT (message 152); or a service's failure.
int SmServerPrintRun(CsHandle* handle, const SmPrintRunArgs& args);
// A print run.
int SmServerPrint(CsHandle* handle, const SmPrinter* printer, const SmPrintOptions* options,
                  const char* notes, SmPrintItemFn items, SmPrintServices services,
                  SmPrintPrograms programs = {});
// A text-search run.
int SmTextSearchRun(CsHandle* handle, SmPrintItemFn items, SmPrintAnswerFn answer, SmPrintServices services);

// The receiver text of a printer: one "<value>\n" per key of its type (an absent value
// gives an empty line); empty for other types or no printer.
std::string SmPrintReceiverText(const SmPrinter* printer, const SmPrintOptions* options);
// "1-3,7-9" of the options' page ranges, up to the first range with begin or end 0.
std::string SmPrintPageRanges(const SmPrintOptions* options);
// The copies text: "Copies" of the options when 1..99, else "1".
std::string SmPrintCopies(const SmPrintOptions* options);
