// table_cache.h - conversion tables loaded once per process and shared by converters.
#pragma once

#include <list>
#include <memory>
#include <mutex>
#include <string>

#include "table_file.h"

namespace qel::codepage {

struct CachedTable {
    std::string path;
    TableData data;
    int references = 0;
};

class TableCache {
public:
    // The table of that file (compared by exact path), loaded on first use.
    // Null with *error: EINVAL for a bad table, ENOMEM, or the error of reading it.
    const CachedTable* Acquire(const std::string& path, int* error);
    // Drops one reference; frees the table with the last. 0, or EBADF when unknown.
    int Release(const CachedTable* table);
    // Number of loaded tables (for tests of the cache).
    size_t Size();

private:
    std::mutex mutex_;
    std::list<std::unique_ptr<CachedTable>> tables_;
};

}  // namespace qel::codepage
