// Keeping the cache directory under its high mark: oldest files first, class by class.
#include "qel_www.h"

#include <algorithm>
#include <cerrno>
#include <limits>
#include <new>

#include "arc_platform.h"

namespace {

#define PURGE_TRACE(config, ...)                                    \
    do {                                                            \
        if ((config)->traceOn) QelWWW_Trace((config), __VA_ARGS__); \
    } while (0)

struct PurgeEntry {
    int64_t modified = 0;
    uint64_t size = 0;
    std::string path;
    uint32_t fileClass = QELWWW_CACHE_OTHER;
};

// size x percent / 100 without overflow, also for caches of many gigabytes.
uint64_t PercentOf(uint64_t size, uint32_t percent) {
    const uint64_t max = std::numeric_limits<uint64_t>::max();
    uint64_t whole = size / 100;
    uint64_t rest = size % 100;
    if (percent != 0 && whole > max / percent) return max;
    uint64_t result = whole * percent;
    uint64_t part = rest * percent / 100;  // rest < 100, so this cannot overflow
    return result > max - part ? max : result + part;
}

// Calls visit(path, status) for every regular file of the cache directory.
template <typename Visit>
void ForEachFile(const QelWWWConfig* config, Visit visit) {
    ArcOSFind* listing = ArcOS_FindFirst(config->cacheDir.c_str());
    if (listing == nullptr) {
        PURGE_TRACE(config, "CheckCacheSize: cannot list '%s', errno = %d", config->cacheDir.c_str(), errno);
        return;
    }
    char name[4096];
    while (ArcOS_FindNext(listing, name, sizeof name) == 0) {
        std::string path = config->cacheDir + "/" + name;
        ArcOSStat status;
        if (ArcOS_Stat64(path.c_str(), &status) != 0) {
            PURGE_TRACE(config, "CheckCacheSize: stat failed, errno = %d", errno);
            continue;
        }
        if (!status.isRegular) continue;
        if (!visit(name, std::move(path), status)) break;
    }
    ArcOS_FindClose(listing);
}

uint64_t AddSaturated(uint64_t a, uint64_t b) {
    return a > std::numeric_limits<uint64_t>::max() - b ? std::numeric_limits<uint64_t>::max() : a + b;
}

}  // namespace

uint64_t CheckCacheSize(const QelWWWConfig* config, uint64_t incoming) {
    if (config == nullptr) return 0;
    // A request killed while writing (kill -9, a web server's time-out) leaves its temporary
    // file: nothing else ever removes it, and it would count against the high mark for good.
    int leftovers = ArcOS_RemoveWriteLeftovers(config->cacheDir.c_str());
    if (leftovers > 0) PURGE_TRACE(config, "CheckCacheSize: removed %d unfinished writes", leftovers);
    uint64_t total = 0;
    ForEachFile(config, [&](const char*, std::string, const ArcOSStat& status) {
        total = AddSaturated(total, static_cast<uint64_t>(status.size));
        return true;
    });
    uint64_t high = PercentOf(config->cacheSize, config->cacheHighMark);
    uint64_t low = PercentOf(config->cacheSize, config->cacheLowMark);
    if (AddSaturated(total, incoming) <= high) return total;
    // At or below the low mark the difference means nothing; make room for the new file.
    uint64_t amount = total > low ? total - low : incoming;
    PURGE_TRACE(config, "CheckCacheSize: total %llu + incoming %llu over %llu, purging %llu",
                static_cast<unsigned long long>(total), static_cast<unsigned long long>(incoming),
                static_cast<unsigned long long>(high), static_cast<unsigned long long>(amount));
    QelWWW_PurgeCache(config, amount);
    return total;
}

int QelWWW_PurgeCache(const QelWWWConfig* config, uint64_t amount) {
    if (config == nullptr) return 0;
    int result = 0;
    std::vector<PurgeEntry> entries;
    ForEachFile(config, [&](const char* name, std::string path, const ArcOSStat& status) {
        try {
            entries.push_back(PurgeEntry{status.mtime, static_cast<uint64_t>(status.size), std::move(path),
                                         QelWWW_CacheFileClass(name)});
        } catch (const std::bad_alloc&) {
            result = 3;
            return false;
        }
        return true;
    });
    // Equal times in name order, so that one second's files go in a repeatable order.
    std::sort(entries.begin(), entries.end(), [](const PurgeEntry& a, const PurgeEntry& b) {
        return a.modified != b.modified ? a.modified < b.modified : a.path < b.path;
    });
    uint64_t freed = 0;
    for (uint32_t fileClass = QELWWW_CACHE_DOCUMENT; fileClass <= QELWWW_CACHE_STATE; ++fileClass) {
        for (const PurgeEntry& entry : entries) {
            if (freed >= amount) return result;
            if (entry.fileClass != fileClass) continue;
            if (ArcOS_Unlink(entry.path.c_str()) == 0) {
                PURGE_TRACE(config, "QelWWW_PurgeCache: removed '%s'", entry.path.c_str());
                freed = AddSaturated(freed, entry.size);
            }
        }
    }
    return result;
}
