// bulk_entries.h - the documents of a bulk batch: gathering them from the item source
// with their groups, and the two orders they are sorted in.
#pragma once

#include <cstddef>
#include <cstdint>
#include <list>
#include <span>
#include <vector>

#include "qel_sm_bulk.h"

namespace qelsm::bulk {

// A group of the run, with its storage set once it is opened (none for set number 0).
struct GroupNode {
    CsXdrApplGroup* group = nullptr;
    CsStorageSet* set = nullptr;  // borrowed from the run's storage-set cache
};
// Every group the run has seen, newest first; nodes keep their addresses.
using GroupList = std::list<GroupNode>;

// The info words of a document that the storage exit holds.
inline constexpr uint32_t kExitWord = 0xFFFFFFFF;

// One document of the batch.
struct Entry {
    uint32_t userWord = 0;
    uint32_t info[5] = {};   // 0: cache or not located; node: volume, 0...; exit: all kExitWord
    uint32_t docLength = 0;  // 0 for a multi-part document (a '$' in the object name)
    CsXdrHitRow* row = nullptr;
    GroupNode* group = nullptr;
    CsStorageNode* node = nullptr;    // the node entry of the object's primary node
    CsStorageNode* second = nullptr;  // and of its secondary node

    const CsXdrObjectRef& Ref() const { return *row->object; }
    bool AtExit() const;
    bool MultiPart() const;
};

// Where gathering stands between batches.
struct GatherState {
    GroupNode* last = nullptr;  // the group of the document before, across batches
    bool ended = false;         // the item source has no more documents
};

// Asks the item source for documents until it ends or the batch holds `limit` entries
// (0: no limit), appending to *entries. A document's group is found in the list by
// number (a record other than the listed one is released with freeRecords) or added at
// its head. CS_OK; CS_CANCELLED when the source refused; SM_BULK_NO_GROUP for a first
// document without a group; CS_FAILED for a row without an object reference (the row is
// released with freeRecords); CS_NO_MEMORY.
int Gather(const SmBulkRequest& request, void* context, size_t limit, GroupList* groups,
           std::vector<Entry>* entries, GatherState* state);

// Documents without a node entry first, then by the node entries' numbers (signed 16-bit).
int SmBulkCompareNode(const Entry& a, const Entry& b);
// By the info words, group number, object name (case-sensitive), compressed offset,
// compressed length, offset and document length: the documents of one object stand in
// the order of their data.
int SmBulkCompareObject(const Entry& a, const Entry& b);
void SortByNode(std::span<Entry> entries);
void SortByObject(std::span<Entry> entries);

}  // namespace qelsm::bulk
