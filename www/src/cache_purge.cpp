// Keeping the cache directory under its high mark: oldest files first, class by class.
#include "qel_www.h"

#include <algorithm>
#include <cerrno>
#include <cinttypes>
#include <cstdio>
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

// The running figure is the first bytes of the lock file, read and written only while its
// byte lock is held: "size " + 20 digits + " " + 8 hex digits of a check over what goes
// before it + "\n". Anything else (a new lock file, a torn or damaged record, the mark of a
// change under way) is no figure, and the next change counts the directory again.
constexpr size_t kFigureLength = 5 + 20 + 1 + 8 + 1;
constexpr size_t kCheckedLength = 5 + 20;

uint32_t FigureCheck(const char* text, size_t length) {
    uint32_t hash = 2166136261u;  // FNV-1a
    for (size_t i = 0; i < length; ++i) hash = (hash ^ static_cast<unsigned char>(text[i])) * 16777619u;
    return hash;
}

std::string FigureRecord(uint64_t total) {
    char record[kFigureLength + 1];
    std::snprintf(record, sizeof record, "size %020" PRIu64, total);
    std::snprintf(record + kCheckedLength, sizeof record - kCheckedLength, " %08" PRIx32 "\n",
                  FigureCheck(record, kCheckedLength));
    return std::string(record, kFigureLength);
}

bool WriteFigureRecord(const QelWWWConfig* config, std::FILE* lock, const std::string& record) {
    if (std::fseek(lock, 0, SEEK_SET) == 0 &&
        std::fwrite(record.data(), 1, record.size(), lock) == record.size() && std::fflush(lock) == 0)
        return true;
    PURGE_TRACE(config, "cache size figure not written, errno = %d", errno);
    std::clearerr(lock);
    return false;
}

std::optional<uint64_t> ReadFigure(std::FILE* lock) {
    char record[kFigureLength];
    if (std::fseek(lock, 0, SEEK_SET) != 0 || std::fread(record, 1, sizeof record, lock) != sizeof record) {
        std::clearerr(lock);
        return std::nullopt;
    }
    if (std::string_view(record, 5) != "size " || record[kCheckedLength] != ' ' ||
        record[kFigureLength - 1] != '\n')
        return std::nullopt;
    uint64_t total = 0;
    for (size_t i = 5; i < kCheckedLength; ++i) {
        unsigned digit = static_cast<unsigned char>(record[i]) - '0';
        if (digit > 9 || total > (std::numeric_limits<uint64_t>::max() - digit) / 10) return std::nullopt;
        total = total * 10 + digit;
    }
    if (FigureRecord(total) != std::string_view(record, sizeof record)) return std::nullopt;
    return total;
}

// Calls visit(path, status) for every regular file of the cache directory but the lock
// file, whose record is the cache's own bookkeeping.
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
        if (!status.isRegular || path == config->lockFilePath) continue;
        if (!visit(name, std::move(path), status)) break;
    }
    ArcOS_FindClose(listing);
}

uint64_t AddSaturated(uint64_t a, uint64_t b) {
    return a > std::numeric_limits<uint64_t>::max() - b ? std::numeric_limits<uint64_t>::max() : a + b;
}

// The total counted file by file, after removing what killed writers left: a request killed
// while writing (kill -9, a web server's time-out) leaves its temporary file, nothing else
// ever removes it, and it would count against the high mark for good.
uint64_t ScanTotal(const QelWWWConfig* config) {
    int leftovers = ArcOS_RemoveWriteLeftovers(config->cacheDir.c_str());
    if (leftovers > 0) PURGE_TRACE(config, "CheckCacheSize: removed %d unfinished writes", leftovers);
    uint64_t total = 0;
    ForEachFile(config, [&](const char*, std::string, const ArcOSStat& status) {
        total = AddSaturated(total, static_cast<uint64_t>(status.size));
        return true;
    });
    return total;
}

}  // namespace

uint64_t CheckCacheSize(const QelWWWConfig* config, uint64_t incoming) {
    if (config == nullptr) return 0;
    uint64_t total = ScanTotal(config);
    uint64_t high = PercentOf(config->cacheSize, config->cacheHighMark);
    uint64_t low = PercentOf(config->cacheSize, config->cacheLowMark);
    if (AddSaturated(total, incoming) <= high) return total;
    // At or below the low mark the difference means nothing; make room for the new file.
    uint64_t amount = total > low ? total - low : incoming;
    PURGE_TRACE(config, "CheckCacheSize: total %llu + incoming %llu over %llu, purging %llu",
                static_cast<unsigned long long>(total), static_cast<unsigned long long>(incoming),
                static_cast<unsigned long long>(high), static_cast<unsigned long long>(amount));
    uint64_t freed = 0;
    QelWWW_PurgeCache(config, amount, &freed);
    return total - std::min(total, freed);
}

uint64_t QelWWW_BeginCacheChange(const QelWWWConfig* config, QelWWWSession* session, uint64_t incoming,
                                 bool purge) {
    if (config == nullptr || session == nullptr || !session->cacheLock) return 0;
    std::FILE* lock = session->cacheLock.get();
    std::optional<uint64_t> figure = ReadFigure(lock);
    uint64_t high = PercentOf(config->cacheSize, config->cacheHighMark);
    uint64_t total = 0;
    if (figure && (!purge || AddSaturated(*figure, incoming) <= high)) {
        total = *figure;
    } else if (purge) {
        // Missing, or over the high mark by the figure: the directory itself decides.
        total = CheckCacheSize(config, incoming);
    } else {
        total = ScanTotal(config);
    }
    // A process killed before its QelWWW_EndCacheChange leaves this mark, not a wrong figure.
    WriteFigureRecord(config, lock, std::string(kFigureLength - 1, '-') + "\n");
    return total;
}

void QelWWW_EndCacheChange(const QelWWWConfig* config, QelWWWSession* session, uint64_t total) {
    if (config == nullptr || session == nullptr || !session->cacheLock) return;
    WriteFigureRecord(config, session->cacheLock.get(), FigureRecord(total));
}

std::optional<uint64_t> QelWWW_CacheSizeFigure(const QelWWWConfig* config, QelWWWSession* session) {
    if (config == nullptr || session == nullptr) return std::nullopt;
    QelWWW_LockCacheMutex(config);
    std::optional<uint64_t> figure;
    if (QelWWW_LockCacheFile(config, session)) {
        figure = ReadFigure(session->cacheLock.get());
        QelWWW_UnlockCacheFile(config, session);
    }
    QelWWW_UnlockCacheMutex(config);
    return figure;
}

int QelWWW_PurgeCache(const QelWWWConfig* config, uint64_t amount, uint64_t* freedOut) {
    if (freedOut != nullptr) *freedOut = 0;
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
            if (freed >= amount) break;
            if (entry.fileClass != fileClass) continue;
            if (ArcOS_Unlink(entry.path.c_str()) == 0) {
                PURGE_TRACE(config, "QelWWW_PurgeCache: removed '%s'", entry.path.c_str());
                freed = AddSaturated(freed, entry.size);
            }
        }
    }
    if (freedOut != nullptr) *freedOut = freed;
    return result;
}
