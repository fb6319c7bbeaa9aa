// kf_lmdb_env.h - the LMDB environments of index files, one per file per process.
//
// LMDB forbids opening one environment twice in a process, and changes its map size
// only while no transaction of the process is active. Every set that uses an index
// file shares one LmdbEnv; each holds its read transaction through a ReadHolder so
// that a writer (or a map grown by another process) can take those transactions
// back between calls. The sets' snapshots do not depend on those transactions: a
// search sees only slots below its record count, and builds only append.
#pragma once

#include <lmdb.h>
#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace qel::local::detail::kf {

// What the meta database holds besides the record count; fixed once created.
struct IndexMeta {
    uint32_t recordLength = 0;
    std::vector<uint32_t> memberKeys;  // whole member key lengths
};

// One member's keys added by a build: whole member keys, sorted, back to back.
struct PendingKeys {
    uint32_t length = 0;
    std::vector<uint8_t> bytes;
    size_t Count() const { return length == 0 ? 0 : bytes.size() / length; }
};

class ReadHolder {
public:
    // Ends the holder's read transaction and its cursors.
    virtual void DropTxn() = 0;

protected:
    ~ReadHolder() = default;
};

class LmdbEnv {
public:
    LmdbEnv(MDB_env* env, pid_t owner) : env_(env), owner_(owner) {}
    ~LmdbEnv();
    LmdbEnv(const LmdbEnv&) = delete;
    LmdbEnv& operator=(const LmdbEnv&) = delete;

    // Held around every transaction on this environment.
    std::mutex mutex;

    MDB_env* Env() const { return env_; }
    bool HasMeta() const { return hasMeta_; }
    const IndexMeta& Meta() const { return meta_; }
    MDB_dbi MemberDbi(size_t member) const { return memberDbi_[member]; }

    void AddHolder(ReadHolder* holder);
    void RemoveHolder(ReadHolder* holder);

    // A transaction, after adopting a map grown by another process. An MDB_ code.
    int BeginTxn(unsigned flags, MDB_txn** txn);
    // The committed record count as txn sees it (a QELKF_ERR_ value).
    uint16_t ReadCount(MDB_txn* txn, uint64_t* count) const;
    // Reads the meta database and opens the member databases (a QELKF_ERR_ value).
    uint16_t Load();
    // Adds keys and sets the record count to newCount in one write transaction,
    // provided the count is still expectedCount; creates the databases from meta
    // when the file has none yet. Grows the map as needed.
    uint16_t Commit(const IndexMeta& meta, std::span<const PendingKeys> keys, uint64_t expectedCount,
                    uint64_t newCount);

    // The record replaced in place whose replacement has not committed: its slot and
    // the record as it was (none when no replacement is under way).
    uint16_t ReadJournal(MDB_txn* txn, std::optional<uint64_t>* slot, std::vector<uint8_t>* record) const;
    // Keeps the record at slot as it was before it is written over, provided the
    // record count is still expectedCount.
    uint16_t PutJournal(uint64_t expectedCount, uint64_t slot, std::span<const uint8_t> record);
    // Moves the replaced record's keys (removed: keys that must be there) and drops
    // its journal, in one write transaction.
    uint16_t SwapKeys(uint64_t expectedCount, uint64_t slot, std::span<const PendingKeys> removed,
                      std::span<const PendingKeys> added);
    // Drops the journal once the record is back as it was.
    uint16_t DropJournal();

private:
    void DropAll();
    uint16_t GrowTo(uint64_t bytes);
    // One write transaction running body (an MDB_ code), committed when it succeeds;
    // the map grown for addedBytes first and again on MDB_MAP_FULL.
    uint16_t Write(uint64_t addedBytes, const std::function<int(MDB_txn*)>& body);
    int WriteBuild(MDB_txn* txn, const IndexMeta& meta, std::span<const PendingKeys> keys,
                   uint64_t expectedCount, uint64_t newCount, std::vector<MDB_dbi>* dbis, MDB_dbi* metaDbi);
    // MDB_SUCCESS when the committed count is expectedCount.
    int CheckCount(MDB_txn* txn, uint64_t expectedCount) const;

    MDB_env* env_;
    pid_t owner_;
    bool hasMeta_ = false;
    IndexMeta meta_;
    MDB_dbi metaDbi_ = 0;
    std::vector<MDB_dbi> memberDbi_;
    std::vector<ReadHolder*> holders_;
};

// The shared environment of the index file at path; released when the last
// reference goes. create: the file must not exist and is made here.
uint16_t AcquireEnv(const std::string& path, bool create, std::shared_ptr<LmdbEnv>* env);
void ReleaseEnv(std::shared_ptr<LmdbEnv>* env);

}  // namespace qel::local::detail::kf
