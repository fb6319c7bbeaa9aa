// doc_search_text.h - what a search hands its caller, and the text search of a local
// search: hits gathered per storage node and searched in batches.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <vector>

#include "qel_cs.h"
#include "qel_cswire.h"

namespace csdoc {

// Flag word 1: a text search of a search runs over batches of kTextSearchBatch hits
// instead of one by one.
inline constexpr uint32_t kBatchedTextSearch = CS_F1_EXTERNAL;
inline constexpr size_t kTextSearchBatch = 100;

// Hands a packed hit to the caller's callback (context: the caller's), which keeps it
// (answer 0) or lets it go (non-zero: freed here). No callback: the hit is freed.
void DeliverHit(void* context, CsSearchHitFn callback, CsXdrHitRow* hit, int extra);

// The application a hit of the group belongs to: with several, the one named by the hit's
// value of the text-search field (the first field flagged CS_FIELD_TEXT_SEARCH); else,
// or when none is named, the first. None for a group without applications.
const CsXdrApplEntry* ApplicationOfHit(const CsXdrApplGroup& group, const CsXdrHitRow& hit);

// The stored-object query of a hit on the nodes of the group's storage set (none: the
// handle's own places): the hit's location byte becomes the answer (1 cache, 2 a node, 4
// the storage exit). Skipped for an application whose text-search byte is 'N'.
int QueryHitObject(CsHandle* handle, const CsXdrApplGroup& group, CsStorageSet* set, CsXdrHitRow* hit);

// The text search of a local search: hits are collected in one batch per storage node;
// a full batch runs through CsProcessHits on the handle that serves the node, with the
// search's text-search values, and only the hits it finds go to the caller.
class TextSearchBatches {
public:
    TextSearchBatches(CsHandle* handle, const CsXdrApplGroup* group, const CsXdrValueItem* values,
                      CsStorageSet* set, size_t batchSize, void* context, CsSearchHitFn callback, int extra);
    ~TextSearchBatches();
    TextSearchBatches(const TextSearchBatches&) = delete;
    TextSearchBatches& operator=(const TextSearchBatches&) = delete;

    // Takes the packed hit. CS_OK, or the failure of the batch it filled.
    int Add(CsXdrHitRow* hit);
    // Runs every batch left. CS_OK or the first failure.
    int Finish();

private:
    int Run(uint16_t node);

    CsHandle* handle_;
    const CsXdrApplGroup* group_;
    const CsXdrValueItem* values_;
    CsStorageSet* set_;
    size_t batchSize_;
    void* context_;
    CsSearchHitFn callback_;
    int extra_;
    std::map<uint16_t, std::vector<CsXdrHitRow*>> batches_;
};

}  // namespace csdoc
