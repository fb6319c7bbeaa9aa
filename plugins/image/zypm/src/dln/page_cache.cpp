// The decoded-page cache: most recently used first, oldest dropped past the budget.
// Pages in use stay alive through their shared pointers after they are dropped.
#include "internal.h"

namespace zypm {

DecodedPtr PageCache::Find(uint64_t fileId, uint32_t directory) {
    for (auto it = entries_.begin(); it != entries_.end(); ++it) {
        if (it->fileId == fileId && it->directory == directory) {
            entries_.splice(entries_.begin(), entries_, it);
            return entries_.front().page;
        }
    }
    return nullptr;
}

void PageCache::Insert(uint64_t fileId, uint32_t directory, DecodedPtr page) {
    size_t bytes = page->Bytes();
    if (bytes > budget_) return;  // would push out everything and still not fit
    entries_.push_front({fileId, directory, std::move(page)});
    bytes_ += bytes;
    while (bytes_ > budget_) {
        bytes_ -= entries_.back().page->Bytes();
        entries_.pop_back();
    }
}

void PageCache::DropFile(uint64_t fileId) {
    for (auto it = entries_.begin(); it != entries_.end();) {
        if (it->fileId == fileId) {
            bytes_ -= it->page->Bytes();
            it = entries_.erase(it);
        } else {
            ++it;
        }
    }
}

}  // namespace zypm
