// qel_sm_bulk.h - bulk retrieval: the data of many documents of a local handle in one
// run, each stored block read once however many documents share it.
//
// The documents come from the caller's item source in batches; each document's node
// entry is picked from its group's storage set, the objects are located, the documents
// ordered by object and position, and the data goes, document after document, through
// the compression pipeline to the caller's sink. Before the data of each document the
// announcer is told where it begins in the delivery. Choices: docs/bulk-retrieval.md.
//
// This part of the storage manager runs above the request layer (library qel_sm_bulk):
// it reads through the request layer's routed segment and document retrieval.
#pragma once

#include <cstddef>
#include <cstdint>

#include "qel_cs.h"
#include "qel_cswire.h"

// The most documents of one batch, unless flag word 1 of the handle has
// CS_F1_EXTERNAL (then one batch takes every document and each object run is read into
// memory once).
inline constexpr size_t SM_BULK_BATCH_MAX = 100000;
// The group's logging bit: report bulk retrievals in the run's report.
inline constexpr uint32_t SM_BULK_LOG_GROUP = 0x08;

// Every callback gets the handle's callback context as it was when SmBulkRetrieve was
// called (the caller sets it before the call; it is restored before each callback).

// The next document: CS_OK with *row set, or with *row null when the documents have
// ended; any other result stops the run with CS_CANCELLED. A null *group means the group
// of the document before. *userWord is handed back when the document is announced.
// Rows and groups stay the caller's unless the run frees them (freeRecords).
using SmBulkItemFn = int (*)(void* context, CsXdrApplGroup** group, CsXdrHitRow** row, uint32_t* userWord);
// One document, in delivery order, before the delivery that carries it: offset is where
// its data begins in that delivery's output, length its document length (0: a multi-part
// document, to the end of its object), noteByte the reference's note byte ('Y', 'N' or
// another byte when unknown). The result is not used.
using SmBulkAnnounceFn = int (*)(void* context, uint64_t offset, uint64_t length, char noteByte,
                                 uint32_t userWord);
// The compression letter of the next delivery. The result is not used.
using SmBulkLetterFn = int (*)(void* context, char letter);

struct SmBulkRequest {
    bool freeRecords = false;      // the run releases the rows (CsFreeHit) and groups (CsFreeReplyA)
    bool keepCompression = false;  // deliver as stored, else expanded ('N')
    bool readNotes = false;        // a note byte other than 'Y'/'N' is asked for (CsGetNotes)
    // The most documents of a batch; 0: SM_BULK_BATCH_MAX. With CS_F1_EXTERNAL in flag
    // word 1 a batch has no limit.
    size_t batchLimit = 0;
    // Read each object run into memory once, as CS_F1_EXTERNAL does, whatever flag word 1
    // says; batches still follow batchLimit. The server-print service sets it: a logged-on
    // handle never has CS_F1_EXTERNAL, yet a print run must read every object once.
    bool readOnce = false;
    SmBulkItemFn items = nullptr;
    SmBulkAnnounceFn announce = nullptr;
    SmBulkLetterFn letter = nullptr;  // may be null
    CsDataFn sink = nullptr;          // the delivered data; a piece is valid for the call only
    // The sink is the server-print driver's: the run keeps no report of its own (the
    // print run keeps one) and the sink gets one more call with no data after each
    // delivery of a multi-part document.
    bool printSink = false;
    // Receives the finished report of a run that kept its own, in pieces of at most 4096
    // bytes, before the report is deleted; may be null.
    CsDataFn report = nullptr;
};

// The result of a run whose first document comes without a group.
inline constexpr int SM_BULK_NO_GROUP = 8;

// Runs the bulk retrieval. CS_OK; CS_CANCELLED when the item source refused or a cancel
// is pending; SM_BULK_NO_GROUP; CS_FAILED without callbacks, for a row without an object
// reference, or a window that lies outside the data read; CS_NO_MEMORY; else the first
// failure of a storage set, node entry, locate, retrieval, pipeline or report step.
int SmBulkRetrieve(CsHandle* handle, const SmBulkRequest& request);
