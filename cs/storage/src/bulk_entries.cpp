// bulk_entries.cpp - gathering a batch's documents and ordering them.
#include "bulk_entries.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace qelsm::bulk {

bool Entry::AtExit() const {
    return std::all_of(std::begin(info), std::end(info), [](uint32_t w) { return w == kExitWord; });
}

bool Entry::MultiPart() const { return CsHasDollar(Ref().name) != 0; }

namespace {

// The listed node of the group's number, or a new one at the head of the list.
GroupNode* FindOrAdd(const SmBulkRequest& request, GroupList* groups, CsXdrApplGroup* group) {
    for (GroupNode& node : *groups) {
        if (node.group->number != group->number) continue;
        if (node.group != group && request.freeRecords) CsFreeReplyA(group);
        return &node;
    }
    groups->push_front(GroupNode{group, nullptr});
    return &groups->front();
}

}  // namespace

int Gather(const SmBulkRequest& request, void* context, size_t limit, GroupList* groups,
           std::vector<Entry>* entries, GatherState* state) {
    try {
        while (limit == 0 || entries->size() < limit) {
            CsXdrApplGroup* group = nullptr;
            CsXdrHitRow* row = nullptr;
            uint32_t word = 0;
            if (request.items(context, &group, &row, &word) != CS_OK) return CS_CANCELLED;
            if (row == nullptr) {
                state->ended = true;
                return CS_OK;
            }
            if (group != nullptr) {
                state->last = FindOrAdd(request, groups, group);
            } else if (state->last == nullptr) {
                return SM_BULK_NO_GROUP;
            }
            if (row->object == nullptr) {
                // Without a reference there is nothing to read or to release it with later.
                if (request.freeRecords) CsFreeHit(state->last->group, row);
                return CS_FAILED;
            }
            Entry entry;
            entry.userWord = word;
            entry.row = row;
            entry.group = state->last;
            entry.docLength = entry.MultiPart() ? 0 : row->object->length;
            // Room for the next 500 documents at a time, as the batch grows.
            if (entries->size() == entries->capacity()) entries->reserve(entries->size() + 500);
            entries->push_back(entry);
        }
        return CS_OK;
    } catch (const std::bad_alloc&) {
        return CS_NO_MEMORY;
    }
}

namespace {

template <typename T>
int Order(T a, T b) {
    return a < b ? -1 : (b < a ? 1 : 0);
}

int CompareNames(const char* a, const char* b) {
    if (a == nullptr || b == nullptr) return Order(a != nullptr, b != nullptr);
    const int order = std::strcmp(a, b);
    return order < 0 ? -1 : (order > 0 ? 1 : 0);
}

}  // namespace

int SmBulkCompareNode(const Entry& a, const Entry& b) {
    if (a.node == nullptr || b.node == nullptr) return Order(a.node != nullptr, b.node != nullptr);
    return Order(static_cast<int16_t>(a.node->number), static_cast<int16_t>(b.node->number));
}

int SmBulkCompareObject(const Entry& a, const Entry& b) {
    for (size_t i = 0; i < 5; ++i)
        if (const int order = Order(a.info[i], b.info[i])) return order;
    if (const int order =
            Order(static_cast<int32_t>(a.group->group->number), static_cast<int32_t>(b.group->group->number)))
        return order;
    if (const int order = CompareNames(a.Ref().name, b.Ref().name)) return order;
    const CsXdrObjectRef& x = a.Ref();
    const CsXdrObjectRef& y = b.Ref();
    if (const int order = Order(x.compressedOffset, y.compressedOffset)) return order;
    if (const int order = Order(x.compressedLength, y.compressedLength)) return order;
    if (const int order = Order(x.offset, y.offset)) return order;
    return Order(a.docLength, b.docLength);
}

// Stable sorts: documents with equal keys keep the order the item source gave them in.
void SortByNode(std::span<Entry> entries) {
    std::stable_sort(entries.begin(), entries.end(),
                     [](const Entry& a, const Entry& b) { return SmBulkCompareNode(a, b) < 0; });
}

void SortByObject(std::span<Entry> entries) {
    std::stable_sort(entries.begin(), entries.end(),
                     [](const Entry& a, const Entry& b) { return SmBulkCompareObject(a, b) < 0; });
}

}  // namespace qelsm::bulk
