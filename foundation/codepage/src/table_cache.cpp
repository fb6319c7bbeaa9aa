// table_cache.cpp - the reference-counted list of loaded tables.
#include "table_cache.h"

#include <cerrno>
#include <new>

#include "arc_platform.h"

namespace qel::codepage {

const CachedTable* TableCache::Acquire(const std::string& path, int* error) {
    // Held for the whole load, so two threads never read the same table twice.
    std::lock_guard<std::mutex> lock(mutex_);
    for (const auto& table : tables_) {
        if (table->path == path) {
            ++table->references;
            return table.get();
        }
    }
    ArcOSStat status;
    if (ArcOS_Stat64(path.c_str(), &status) != 0) {
        *error = errno != 0 ? errno : EINVAL;
        return nullptr;
    }
    if (!status.isRegular || status.size < 0 || static_cast<uint64_t>(status.size) > kMaxTableFileSize) {
        *error = EINVAL;
        return nullptr;
    }
    try {
        std::string bytes;
        int rc = ArcOS_ReadFile(path.c_str(), &bytes);
        if (rc != 0) {
            *error = rc;
            return nullptr;
        }
        auto table = std::make_unique<CachedTable>();
        rc = ParseTable({reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()}, &table->data);
        if (rc != 0) {
            *error = rc;
            return nullptr;
        }
        table->path = path;
        table->references = 1;
        // Second place keeps the most used first table at the head.
        auto where = tables_.empty() ? tables_.end() : std::next(tables_.begin());
        return tables_.insert(where, std::move(table))->get();
    } catch (const std::bad_alloc&) {
        *error = ENOMEM;
        return nullptr;
    }
}

int TableCache::Release(const CachedTable* table) {
    std::lock_guard<std::mutex> lock(mutex_);
    for (auto it = tables_.begin(); it != tables_.end(); ++it) {
        if (it->get() == table) {
            if (--(*it)->references == 0) tables_.erase(it);
            return 0;
        }
    }
    return EBADF;
}

size_t TableCache::Size() {
    std::lock_guard<std::mutex> lock(mutex_);
    return tables_.size();
}

}  // namespace qel::codepage
