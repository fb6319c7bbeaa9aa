// kf_lmdb_env.cpp - the process-wide registry of index environments, their meta
// database and the single write transaction of a build.
#include "kf_lmdb_env.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <functional>
#include <map>
#include <utility>

#include "keyed_file.h"
#include "kf_data_file.h"
#include "kf_layout.h"
#include "kf_lmdb_check.h"

namespace qel::local::detail::kf {
namespace {

constexpr mode_t kFileMode = 0644;
constexpr uint64_t kMapStep = uint64_t(1) << 20;
// Beyond this a build fails rather than map more.
constexpr uint64_t kMapLimit = uint64_t(1) << 42;

constexpr const char kMetaDb[] = "meta";
constexpr const char kVersionKey[] = "version";
constexpr const char kRecordLengthKey[] = "record length";
constexpr const char kMemberKeysKey[] = "member key lengths";
constexpr const char kCountKey[] = "record count";

uint64_t RoundUp(uint64_t bytes) { return (bytes + kMapStep - 1) / kMapStep * kMapStep; }

MDB_val Val(const void* data, size_t size) { return MDB_val{size, const_cast<void*>(data)}; }
MDB_val Text(const char* text) { return Val(text, std::char_traits<char>::length(text)); }

bool GetNumber(MDB_txn* txn, MDB_dbi dbi, const char* key, size_t size, uint64_t* value) {
    MDB_val k = Text(key), v{};
    if (mdb_get(txn, dbi, &k, &v) != MDB_SUCCESS || v.mv_size != size) return false;
    *value = GetBig(static_cast<const uint8_t*>(v.mv_data), size);
    return true;
}

// Failures of a file that exists and opens: not an index file of ours.
uint16_t OpenError(int rc) {
    switch (rc) {
        case EACCES:
        case EPERM:
        case EROFS:
        case EIO:
        case ENOSPC:
        case EAGAIN:
        case ENOMEM:
        case MDB_READERS_FULL: return QELKF_ERR_IO;
        default: return QELKF_ERR_DAMAGED;
    }
}

// Runs a check of an index file again when it finds damage: a meta page being
// rewritten by another process's commit can read torn once.
template <typename Check>
uint16_t Checked(Check check) {
    uint16_t err = check();
    for (int attempt = 0; attempt < 2 && err == QELKF_ERR_DAMAGED; ++attempt) {
        ::usleep(1000);
        err = check();
    }
    return err;
}

struct Registry {
    std::mutex mutex;
    pid_t pid = 0;
    struct Entry {
        std::shared_ptr<LmdbEnv> env;
        int references = 0;
    };
    std::map<std::pair<dev_t, ino_t>, Entry> entries;
};

// Never destroyed: sets still open in other statics (the local server's cached
// indexes) release their environments during exit, in no fixed order.
Registry& TheRegistry() {
    static Registry* registry = new Registry;
    return *registry;
}

// Opens the environment; the caller checks that it is the file it stat'ed.
uint16_t OpenEnv(const std::string& path, uint64_t fileSize, const struct stat& expected,
                 std::shared_ptr<LmdbEnv>* out) {
    // LMDB trusts the page size and sizes of its meta pages.
    if (fileSize > 0) {
        if (uint16_t err = Checked([&]() -> uint16_t { return CheckIndexHeader(path.c_str()); });
            err != QELKF_ERR_NONE) {
            return err;
        }
    }
    MDB_env* raw = nullptr;
    if (mdb_env_create(&raw) != MDB_SUCCESS) return QELKF_ERR_IO;
    auto env = std::make_shared<LmdbEnv>(raw, ::getpid());
    // Members and the meta database; a map a little above the file, grown on demand.
    if (mdb_env_set_maxdbs(raw, QELKF_MAX_MEMBERS + 1) != MDB_SUCCESS ||
        mdb_env_set_mapsize(raw, RoundUp(std::max<uint64_t>(fileSize + fileSize / 4, kMapStep))) !=
            MDB_SUCCESS) {
        return QELKF_ERR_IO;
    }
    int rc = mdb_env_open(raw, path.c_str(), MDB_NOSUBDIR | MDB_NOTLS | MDB_NORDAHEAD, kFileMode);
    if (rc != MDB_SUCCESS) return OpenError(rc);
    int fd = -1;
    struct stat st {};
    if (mdb_env_get_fd(raw, &fd) != MDB_SUCCESS || ::fstat(fd, &st) != 0) return QELKF_ERR_IO;
    if (st.st_dev != expected.st_dev || st.st_ino != expected.st_ino) return QELKF_ERR_IO;  // replaced
    // A file shorter than its pages would fault on access.
    MDB_envinfo info{};
    MDB_stat stat{};
    if (mdb_env_info(raw, &info) != MDB_SUCCESS || mdb_env_stat(raw, &stat) != MDB_SUCCESS) {
        return QELKF_ERR_DAMAGED;
    }
    if (uint64_t(st.st_size) / stat.ms_psize < uint64_t(info.me_last_pgno) + 1) return QELKF_ERR_DAMAGED;
    int dead = 0;
    mdb_reader_check(raw, &dead);
    if (uint16_t err = env->Load(); err != QELKF_ERR_NONE) return err;
    *out = std::move(env);
    return QELKF_ERR_NONE;
}

}  // namespace

LmdbEnv::~LmdbEnv() {
    // A child of fork() must not close its parent's environment: that would clear
    // the parent's reader slots.
    if (env_ != nullptr && owner_ == ::getpid()) mdb_env_close(env_);
}

void LmdbEnv::AddHolder(ReadHolder* holder) {
    if (std::find(holders_.begin(), holders_.end(), holder) == holders_.end()) holders_.push_back(holder);
}

void LmdbEnv::RemoveHolder(ReadHolder* holder) { std::erase(holders_, holder); }

void LmdbEnv::DropAll() {
    for (ReadHolder* holder : holders_) holder->DropTxn();
}

int LmdbEnv::BeginTxn(unsigned flags, MDB_txn** txn) {
    for (int attempt = 0;; ++attempt) {
        int rc = mdb_txn_begin(env_, nullptr, flags, txn);
        if (attempt >= 3) return rc;
        if (rc == MDB_MAP_RESIZED) {
            DropAll();
            if (mdb_env_set_mapsize(env_, 0) != MDB_SUCCESS) return rc;
        } else if (rc == MDB_READERS_FULL) {
            int dead = 0;
            mdb_reader_check(env_, &dead);
        } else {
            return rc;
        }
    }
}

uint16_t LmdbEnv::ReadCount(MDB_txn* txn, uint64_t* count) const {
    *count = 0;
    if (!hasMeta_) return QELKF_ERR_NONE;
    if (!GetNumber(txn, metaDbi_, kCountKey, 8, count) || *count > kMaxSlots) return QELKF_ERR_DAMAGED;
    return QELKF_ERR_NONE;
}

uint16_t LmdbEnv::Load() {
    MDB_txn* txn = nullptr;
    uint16_t checked = Checked([&]() -> uint16_t {
        if (BeginTxn(MDB_RDONLY, &txn) != MDB_SUCCESS) return QELKF_ERR_IO;
        uint16_t err = CheckIndexPages(env_, txn);
        if (err != QELKF_ERR_NONE) mdb_txn_abort(txn);
        return err;
    });
    if (checked != QELKF_ERR_NONE) return checked;
    MDB_dbi metaDbi = 0;
    int rc = mdb_dbi_open(txn, kMetaDb, 0, &metaDbi);
    if (rc == MDB_NOTFOUND) {
        mdb_txn_abort(txn);
        return QELKF_ERR_NONE;  // created, never committed
    }
    auto fail = [&](uint16_t err) {
        mdb_txn_abort(txn);
        return err;
    };
    if (rc != MDB_SUCCESS) return fail(OpenError(rc));
    IndexMeta meta;
    uint64_t version = 0, recordLength = 0, count = 0;
    if (!GetNumber(txn, metaDbi, kVersionKey, 4, &version) || version != kIndexVersion ||
        !GetNumber(txn, metaDbi, kRecordLengthKey, 4, &recordLength) || !ValidRecordLength(recordLength) ||
        !GetNumber(txn, metaDbi, kCountKey, 8, &count) || count > kMaxSlots) {
        return fail(QELKF_ERR_DAMAGED);
    }
    meta.recordLength = uint32_t(recordLength);
    MDB_val k = Text(kMemberKeysKey), v{};
    if (mdb_get(txn, metaDbi, &k, &v) != MDB_SUCCESS || v.mv_size == 0 || v.mv_size % 2 != 0 ||
        v.mv_size / 2 > size_t(QELKF_MAX_MEMBERS)) {
        return fail(QELKF_ERR_DAMAGED);
    }
    for (size_t i = 0; i < v.mv_size / 2; ++i) {
        uint64_t length = GetBig(static_cast<const uint8_t*>(v.mv_data) + 2 * i, 2);
        if (!ValidMemberKey(length)) return fail(QELKF_ERR_DAMAGED);
        meta.memberKeys.push_back(uint32_t(length));
    }
    std::vector<MDB_dbi> dbis(meta.memberKeys.size());
    for (size_t i = 0; i < dbis.size(); ++i) {
        rc = mdb_dbi_open(txn, std::to_string(i).c_str(), 0, &dbis[i]);
        if (rc != MDB_SUCCESS) return fail(OpenError(rc == MDB_NOTFOUND ? MDB_INVALID : rc));
        unsigned flags = 0;
        if (mdb_dbi_flags(txn, dbis[i], &flags) != MDB_SUCCESS || flags != 0) return fail(QELKF_ERR_DAMAGED);
    }
    // Committing the read transaction keeps the database handles for the others.
    if (mdb_txn_commit(txn) != MDB_SUCCESS) return QELKF_ERR_IO;
    hasMeta_ = true;
    meta_ = std::move(meta);
    metaDbi_ = metaDbi;
    memberDbi_ = std::move(dbis);
    return QELKF_ERR_NONE;
}

uint16_t LmdbEnv::GrowTo(uint64_t bytes) {
    if (bytes > kMapLimit) return QELKF_ERR_IO;
    DropAll();
    return mdb_env_set_mapsize(env_, RoundUp(bytes)) == MDB_SUCCESS ? QELKF_ERR_NONE : QELKF_ERR_IO;
}

int LmdbEnv::WriteBuild(MDB_txn* txn, const IndexMeta& meta, std::span<const PendingKeys> keys,
                        uint64_t expectedCount, uint64_t newCount, std::vector<MDB_dbi>* dbis,
                        MDB_dbi* metaDbi) {
    int rc = MDB_SUCCESS;
    const unsigned create = hasMeta_ ? 0 : MDB_CREATE;
    if ((rc = mdb_dbi_open(txn, kMetaDb, create, metaDbi)) != MDB_SUCCESS) return rc;
    dbis->resize(meta.memberKeys.size());
    for (size_t i = 0; i < dbis->size(); ++i) {
        if ((rc = mdb_dbi_open(txn, std::to_string(i).c_str(), create, &(*dbis)[i])) != MDB_SUCCESS)
            return rc;
    }
    uint64_t count = 0;
    if (hasMeta_ && (!GetNumber(txn, *metaDbi, kCountKey, 8, &count) || count != expectedCount)) {
        return MDB_CORRUPTED;  // another writer went past the lock
    }
    for (size_t member = 0; member < keys.size() && member < dbis->size(); ++member) {
        const PendingKeys& pending = keys[member];
        MDB_val empty{0, nullptr};
        for (size_t i = 0; i < pending.Count(); ++i) {
            MDB_val k = Val(pending.bytes.data() + i * pending.length, pending.length);
            if ((rc = mdb_put(txn, (*dbis)[member], &k, &empty, 0)) != MDB_SUCCESS) return rc;
        }
    }
    uint8_t number[8];
    auto put = [&](const char* key, uint64_t value, size_t size) {
        PutBig(value, size, number);
        MDB_val k = Text(key), v = Val(number, size);
        return mdb_put(txn, *metaDbi, &k, &v, 0);
    };
    std::vector<uint8_t> lengths;
    for (uint32_t length : meta.memberKeys) {
        lengths.push_back(uint8_t(length >> 8));
        lengths.push_back(uint8_t(length));
    }
    MDB_val lk = Text(kMemberKeysKey), lv = Val(lengths.data(), lengths.size());
    if ((rc = put(kVersionKey, kIndexVersion, 4)) != MDB_SUCCESS ||
        (rc = put(kRecordLengthKey, meta.recordLength, 4)) != MDB_SUCCESS ||
        (rc = mdb_put(txn, *metaDbi, &lk, &lv, 0)) != MDB_SUCCESS ||
        (rc = put(kCountKey, newCount, 8)) != 0) {
        return rc;
    }
    return MDB_SUCCESS;
}

int LmdbEnv::CheckCount(MDB_txn* txn, uint64_t expectedCount) const {
    uint64_t count = 0;
    return GetNumber(txn, metaDbi_, kCountKey, 8, &count) && count == expectedCount ? MDB_SUCCESS
                                                                                    : MDB_CORRUPTED;
}

uint16_t LmdbEnv::Write(uint64_t addedBytes, const std::function<int(MDB_txn*)>& body) {
    DropAll();
    int dead = 0;
    mdb_reader_check(env_, &dead);
    MDB_envinfo info{};
    MDB_stat stat{};
    if (mdb_env_info(env_, &info) != MDB_SUCCESS || mdb_env_stat(env_, &stat) != MDB_SUCCESS) {
        return QELKF_ERR_IO;
    }
    // The pages added, those of the tree paths each database copies: a generous
    // guess; MDB_MAP_FULL grows it further.
    uint64_t need = (uint64_t(info.me_last_pgno) + 1) * stat.ms_psize + addedBytes +
                    uint64_t(memberDbi_.size() + QELKF_MAX_MEMBERS + 2) * 8 * stat.ms_psize;
    uint64_t mapSize = info.me_mapsize;
    if (need > mapSize) {
        mapSize = need + need / 4;
        if (uint16_t err = GrowTo(mapSize); err != QELKF_ERR_NONE) return err;
    }
    for (;;) {
        MDB_txn* txn = nullptr;
        int rc = BeginTxn(0, &txn);
        if (rc == MDB_SUCCESS) {
            rc = body(txn);
            if (rc == MDB_SUCCESS) {
                rc = mdb_txn_commit(txn);
            } else {
                mdb_txn_abort(txn);
            }
        }
        if (rc == MDB_SUCCESS) return QELKF_ERR_NONE;
        if (rc != MDB_MAP_FULL) return rc == MDB_CORRUPTED ? QELKF_ERR_DAMAGED : QELKF_ERR_IO;
        if (mdb_env_info(env_, &info) != MDB_SUCCESS) return QELKF_ERR_IO;
        mapSize = std::max<uint64_t>(mapSize, info.me_mapsize) * 2;
        if (uint16_t err = GrowTo(mapSize); err != QELKF_ERR_NONE) return err;
    }
}

uint16_t LmdbEnv::Commit(const IndexMeta& meta, std::span<const PendingKeys> keys, uint64_t expectedCount,
                         uint64_t newCount) {
    // Leaf nodes of the new keys, pages split half full.
    uint64_t added = 0;
    for (const PendingKeys& pending : keys) added += uint64_t(pending.Count()) * (pending.length + 16) * 3;
    std::vector<MDB_dbi> dbis;
    MDB_dbi metaDbi = 0;
    uint16_t err = Write(added, [&](MDB_txn* txn) {
        return WriteBuild(txn, meta, keys, expectedCount, newCount, &dbis, &metaDbi);
    });
    if (err == QELKF_ERR_NONE && !hasMeta_) {
        hasMeta_ = true;
        meta_ = meta;
        metaDbi_ = metaDbi;
        memberDbi_ = std::move(dbis);
    }
    return err;
}

uint16_t AcquireEnv(const std::string& path, bool create, std::shared_ptr<LmdbEnv>* env) {
    if (path.empty()) return QELKF_ERR_ARGUMENT;
    if (create) {
        Fd fd(::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, kFileMode));
        if (fd.Get() < 0 || ::fchmod(fd.Get(), kFileMode) != 0) return QELKF_ERR_IO;
    }
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return QELKF_ERR_IO;
    if (!S_ISREG(st.st_mode)) return QELKF_ERR_DAMAGED;
    // An empty file would be taken for a new environment and written to.
    if (!create && st.st_size == 0) return QELKF_ERR_DAMAGED;

    Registry& registry = TheRegistry();
    std::lock_guard lock(registry.mutex);
    if (registry.pid != ::getpid()) {
        registry.entries.clear();  // a forked child: the parent's environments are not ours
        registry.pid = ::getpid();
    }
    auto key = std::make_pair(st.st_dev, st.st_ino);
    if (auto it = registry.entries.find(key); it != registry.entries.end()) {
        ++it->second.references;
        *env = it->second.env;
        return QELKF_ERR_NONE;
    }
    std::shared_ptr<LmdbEnv> opened;
    if (uint16_t err = OpenEnv(path, uint64_t(st.st_size), st, &opened); err != QELKF_ERR_NONE) {
        if (create) {  // leave no half-made file behind
            ::unlink(path.c_str());
            ::unlink((path + "-lock").c_str());
        }
        return err;
    }
    if (create) ::chmod((path + "-lock").c_str(), kFileMode);
    registry.entries[key] = Registry::Entry{opened, 1};
    *env = std::move(opened);
    return QELKF_ERR_NONE;
}

void ReleaseEnv(std::shared_ptr<LmdbEnv>* env) {
    if (!*env) return;
    Registry& registry = TheRegistry();
    std::lock_guard lock(registry.mutex);
    for (auto it = registry.entries.begin(); it != registry.entries.end(); ++it) {
        if (it->second.env == *env) {
            if (--it->second.references == 0) registry.entries.erase(it);
            break;
        }
    }
    env->reset();
}

}  // namespace qel::local::detail::kf
