// bulk_deliver.h - the delivery of a sorted bulk batch: object runs, the deliveries that
// merge adjacent documents, the span of a run read once into memory, and the windows
// served from it.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "bulk_entries.h"

namespace qelsm::bulk {

// The stored block a document is read from: [offset, offset + length) of its object as
// stored, length 0 to the end. A multi-part document is read from the start of its object
// to its end, as a single retrieval reads it.
struct Block {
    uint64_t offset = 0;
    uint64_t length = 0;
};
Block BlockOf(const Entry& entry);

// One delivery: the documents [first, first + count) of a run, out of one range of their
// object: stored [block.offset, +block.length), expanded, then the window [window,
// window + windowLength) of the expanded data (windowLength 0: to the end).
struct Delivery {
    size_t first = 0;
    size_t count = 0;
    char letter = 'N';  // how the range is stored
    Block block;
    uint64_t window = 0;
    uint64_t windowLength = 0;
    std::vector<uint64_t> offsets;  // where each document begins in the delivery's output
};

// Splits a run into deliveries. A document joins the delivery before it when it has the
// same letter, is not the same document as the one before, and its data follows on
// directly: in the same stored block, or (for the uncompressed letters 'N' and 'D') in
// the next block when the window so far reaches the end of the range and the document
// is its whole block. A multi-part document is never merged.
std::vector<Delivery> PlanDeliveries(std::span<const Entry> run);

// The end of the object run that begins at `begin`: with `inMemory` the following
// documents of the same group and object name (storage-exit documents stand alone),
// else the document alone.
size_t RunEnd(std::span<const Entry> entries, size_t begin, bool inMemory);

// The stored span a run reads into memory: from its first block's offset to the end of
// the furthest block (length 0: to the end of the object).
Block SpanOf(std::span<const Entry> run);

// SmBulkCollect: gathers a run's span as the segment retrieval hands it over.
struct SmBulkCollector {
    int status = CS_OK;  // CS_NO_MEMORY once memory ran out
    uint64_t start = 0;  // the span's offset in the object
    std::string data;
};
int SmBulkCollect(void* collector, int64_t position, char letter, const char* data, uint32_t length);

// The window of a block in the collected span: [offset - start, + length) (length 0: the
// rest). CS_OK; CS_FAILED when the block does not lie within what was collected.
int SmBulkServeWindow(const SmBulkCollector& collector, Block block, std::string_view* window);

// What the delivery of a batch needs from its run.
struct DeliverRun {
    CsHandle* handle = nullptr;
    const SmBulkRequest* request = nullptr;
    void* context = nullptr;        // the caller's callback context
    CsHandle* secondary = nullptr;  // for the notes
    bool inMemory = false;          // read each run's span once (flag word 1 has CS_F1_EXTERNAL)
    // With the run's own report: one line for a delivered document of a logged group.
    std::function<int(const Entry&)> reportLine;
};

// Delivers a sorted batch. CS_OK, or the first failure (CS_CANCELLED for a pending cancel).
int DeliverBatch(DeliverRun& run, std::span<Entry> entries);

}  // namespace qelsm::bulk
