// doc_search_text.cpp - the hand-over of search hits, and the text search of a local
// search in batches per storage node.
#include "doc_search_text.h"

#include <cstdlib>
#include <cstring>
#include <new>

#include "qel_sm.h"

namespace csdoc {

namespace {

// The application entry's byte that says whether its documents take part in text search.
constexpr size_t kTextSearchByte = 1;
// Every place an object may be.
constexpr uint8_t kEveryPlace = SM_LOC_CACHE | SM_LOC_PRIMARY | SM_LOC_SECONDARY | SM_LOC_EXIT;

int Nodes(CsStorageSet* set, const CsXdrHitRow& hit, CsStorageNode** primary, CsStorageNode** secondary) {
    *primary = *secondary = nullptr;
    if (set == nullptr) return CS_OK;
    const CsXdrObjectRef* object = hit.object;
    return CsPickStorageNode(set, object != nullptr ? object->primaryNode : 0,
                             object != nullptr ? object->secondaryNode : 0, 0, primary, secondary);
}

// One batch as the item source and answer callback of CsProcessHits see it.
struct Feed {
    const CsXdrApplGroup* group;
    std::vector<CsXdrHitRow*>* hits;
    std::vector<bool> found;
    size_t next = 0;

    static int Items(void* context, CsXdrApplGroup** group, CsXdrApplEntry** appl, CsXdrHitRow** hit,
                     uint32_t* word) {
        auto* feed = static_cast<Feed*>(context);
        *hit = nullptr;
        if (feed->next >= feed->hits->size()) return 0;
        CsXdrHitRow* row = (*feed->hits)[feed->next];
        *group = const_cast<CsXdrApplGroup*>(feed->group);
        *appl = const_cast<CsXdrApplEntry*>(ApplicationOfHit(*feed->group, *row));
        *hit = row;
        *word = static_cast<uint32_t>(feed->next++);
        return 0;
    }
    // The answer's text is the word of the hit it found.
    static int Answer(void* context, void* entry) {
        auto* feed = static_cast<Feed*>(context);
        const auto* item = static_cast<const CsXdrValueItem*>(entry);
        if (item != nullptr && item->text != nullptr) {
            char* end = nullptr;
            const unsigned long word = std::strtoul(item->text, &end, 10);
            if (end != item->text && *end == '\0' && word < feed->found.size()) feed->found[word] = true;
        }
        return 1;
    }
};

}  // namespace

void DeliverHit(void* context, CsSearchHitFn callback, CsXdrHitRow* hit, int extra) {
    if (callback == nullptr || callback(context, hit) != 0) CsFreePackedHit(hit, extra);
}

const CsXdrApplEntry* ApplicationOfHit(const CsXdrApplGroup& group, const CsXdrHitRow& hit) {
    if (group.applCount == 0 || group.appls == nullptr) return nullptr;
    for (uint16_t f = 0; f < group.fieldCount && group.fields != nullptr; ++f) {
        if (!(group.fields[f].flags & CS_FIELD_TEXT_SEARCH)) continue;
        if (f >= hit.valueCount || hit.values == nullptr || group.fields[f].type != 'S') break;
        const char* name = hit.values[f].v.text;
        for (uint16_t a = 0; name != nullptr && a < group.applCount; ++a)
            if (std::strcmp(group.appls[a].name, name) == 0) return &group.appls[a];
        break;
    }
    return &group.appls[0];
}

int QueryHitObject(CsHandle* handle, const CsXdrApplGroup& group, CsStorageSet* set, CsXdrHitRow* hit) {
    const CsXdrApplEntry* appl = ApplicationOfHit(group, *hit);
    if (appl != nullptr && appl->flags[kTextSearchByte] == 'N') return CS_OK;
    if (hit->object == nullptr) return CS_FAILED;
    CsStorageNode* primary = nullptr;
    CsStorageNode* secondary = nullptr;
    int rc = Nodes(set, *hit, &primary, &secondary);
    if (rc != CS_OK) return rc;
    uint8_t answer = 0;
    rc = CsQueryDocObjectRouted(handle, &group, primary, secondary, kEveryPlace, hit, "", 0, 0, &answer,
                                nullptr);
    if (rc == CS_OK) hit->object->location = answer;
    return rc;
}

TextSearchBatches::TextSearchBatches(CsHandle* handle, const CsXdrApplGroup* group,
                                     const CsXdrValueItem* values, CsStorageSet* set, size_t batchSize,
                                     void* context, CsSearchHitFn callback, int extra)
    : handle_(handle),
      group_(group),
      values_(values),
      set_(set),
      batchSize_(batchSize != 0 ? batchSize : 1),
      context_(context),
      callback_(callback),
      extra_(extra) {}

TextSearchBatches::~TextSearchBatches() {
    for (auto& [node, hits] : batches_)
        for (CsXdrHitRow* hit : hits) CsFreePackedHit(hit, extra_);
}

int TextSearchBatches::Add(CsXdrHitRow* hit) {
    const uint16_t node = hit->object != nullptr ? hit->object->primaryNode : 0;
    std::vector<CsXdrHitRow*>& batch = batches_[node];
    try {
        batch.push_back(hit);
    } catch (const std::bad_alloc&) {
        CsFreePackedHit(hit, extra_);
        return CS_NO_MEMORY;
    }
    return batch.size() >= batchSize_ ? Run(node) : CS_OK;
}

int TextSearchBatches::Finish() {
    for (auto& [node, hits] : batches_) {
        if (hits.empty()) continue;
        const int rc = Run(node);
        if (rc != CS_OK) return rc;
    }
    return CS_OK;
}

int TextSearchBatches::Run(uint16_t node) {
    std::vector<CsXdrHitRow*> hits;
    hits.swap(batches_[node]);
    Feed feed{group_, &hits, std::vector<bool>(hits.size(), false)};
    CsStorageNode* primary = nullptr;
    CsStorageNode* secondary = nullptr;
    int rc = Nodes(set_, *hits.front(), &primary, &secondary);
    uint8_t flags = primary != nullptr ? CS_ROUTE_FIRST : 0;
    CsHandle* target = rc == CS_OK ? CsRouteHandle(handle_, primary, secondary, &flags) : nullptr;
    if (target == nullptr && rc == CS_OK) rc = CS_FAILED;
    if (rc == CS_OK) {
        // The batch is the item source and the answer's receiver for the run. The batch
        // bit of flag word 1 is the search's: the run under it must not take it for its own.
        void* saved = target->callbackContext;
        const uint32_t batchBit = target->def.flags1 & kBatchedTextSearch;
        target->callbackContext = &feed;
        target->def.flags1 &= ~kBatchedTextSearch;
        rc = CsProcessHits(target, const_cast<CsXdrValueItem*>(values_), &Feed::Items, &Feed::Answer);
        target->def.flags1 |= batchBit;
        target->callbackContext = saved;
    }
    for (size_t i = 0; i < hits.size(); ++i) {
        if (rc == CS_OK && feed.found[i])
            DeliverHit(context_, callback_, hits[i], extra_);
        else
            CsFreePackedHit(hits[i], extra_);
    }
    return rc;
}

}  // namespace csdoc
