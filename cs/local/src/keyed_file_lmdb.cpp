// keyed_file_lmdb.cpp - opening, building and closing a set of keyed files on LMDB.
#include <lmdb.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <numeric>

#include "keyed_file.h"
#include "kf_layout.h"
#include "kf_lmdb_set.h"

namespace qel::local::detail {

using kf::LmdbSet;

int QelKf_Start(int files, int members, int depth) {
    // Environments open with their first set; only the limits are checked here.
    if (files < 1 || members < 1 || depth < 1) return -1;
    int major = 0, minor = 0, patch = 0;
    mdb_version(&major, &minor, &patch);
    return major == MDB_VERSION_MAJOR && minor == MDB_VERSION_MINOR ? 0 : -1;
}

int QelKf_Stop() { return 0; }

std::unique_ptr<KeyedFile> QelKf_NewLmdb() { return std::make_unique<LmdbSet>(); }

namespace kf {

LmdbSet::~LmdbSet() {
    // Destroying a set without closing it adds nothing of its build.
    Abandon();
}

int LmdbSet::Fail(uint16_t error) {
    error_ = error;
    return -1;
}

uint64_t LmdbSet::Miss(uint16_t error) {
    error_ = error;
    return 0;
}

bool LmdbSet::AllDeclared() const {
    return std::all_of(declared_.begin(), declared_.end(), [](bool d) { return d; });
}

bool LmdbSet::ModeFits(int mode) const {
    if (mode != QELKF_OPEN_BUILD && mode != QELKF_OPEN_SEARCH) return false;
    return mode_ == 0 || mode_ == mode;
}

void LmdbSet::DropTxn() {
    for (size_t i = 0; i < cursors_.size(); ++i) {
        if (cursors_[i] != nullptr) mdb_cursor_close(cursors_[i]);
        cursors_[i] = nullptr;
        standing_[i] = false;
    }
    if (txn_ != nullptr) mdb_txn_abort(txn_);
    txn_ = nullptr;
}

uint16_t LmdbSet::LatestCount(uint64_t* count) {
    std::lock_guard lock(env_->mutex);
    DropTxn();
    if (env_->BeginTxn(MDB_RDONLY, &txn_) != MDB_SUCCESS) {
        txn_ = nullptr;
        return QELKF_ERR_IO;
    }
    if (uint16_t err = env_->ReadCount(txn_, count); err != QELKF_ERR_NONE) return err;
    return env_->ReadJournal(txn_, &journalSlot_, &journalRecord_);
}

void LmdbSet::ReleaseIndex(bool remove) {
    if (!env_) return;
    {
        std::lock_guard lock(env_->mutex);
        DropTxn();
        env_->RemoveHolder(this);
    }
    ReleaseEnv(&env_);
    if (remove) {
        ::unlink(indexPath_.c_str());
        ::unlink((indexPath_ + "-lock").c_str());
    }
    indexPath_.clear();
    indexCreated_ = false;
    meta_ = IndexMeta{};
    declared_.clear();
    visible_ = 0;
    buildReady_ = false;
    pending_.clear();
    journalSlot_.reset();
    journalRecord_.clear();
}

void LmdbSet::ReleaseData(bool remove) {
    data_.Close(remove);
    dataNumber_ = 0;
    dataClosed_ = false;
    buildReady_ = false;
}

void LmdbSet::ResetIfClosed() {
    if (!IndexOpen() && dataNumber_ == 0) {
        mode_ = 0;
        base_ = reserved_ = 0;
    }
}

uint16_t LmdbSet::StartBuild() {
    // Both files are open for building and the data file's lock is held: the count
    // cannot move until this build ends.
    uint64_t count = 0;
    if (uint16_t err = LatestCount(&count); err != QELKF_ERR_NONE) return err;
    if (env_->HasMeta()) {
        if (data_.RecordLength() != meta_.recordLength) return QELKF_ERR_DAMAGED;
    } else {
        meta_.recordLength = data_.RecordLength();
    }
    if (data_.HeaderCount() < count || data_.SlotsInFile() < count) return QELKF_ERR_DAMAGED;
    if (uint16_t err = Recover(count); err != QELKF_ERR_NONE) return err;
    base_ = visible_ = count;
    reserved_ = 0;
    pending_.assign(meta_.memberKeys.size(), PendingKeys{});
    for (size_t i = 0; i < pending_.size(); ++i) pending_[i].length = meta_.memberKeys[i];
    buildReady_ = true;
    return QELKF_ERR_NONE;
}

int LmdbSet::Open(int file, const std::string& name, int mode) {
    error_ = QELKF_ERR_NONE;
    if (!ModeFits(mode) || file < 0) return Fail(QELKF_ERR_ARGUMENT);
    const bool build = mode == QELKF_OPEN_BUILD;
    if (file == 0) {
        if (IndexOpen()) return Fail(QELKF_ERR_ARGUMENT);
        if (uint16_t err = AcquireEnv(name, false, &env_); err != QELKF_ERR_NONE) return Fail(err);
        indexPath_ = name;
        if (!env_->HasMeta()) {
            ReleaseIndex(false);
            return Fail(QELKF_ERR_DAMAGED);  // a creation that never finished
        }
        {
            std::lock_guard lock(env_->mutex);
            env_->AddHolder(this);
            meta_ = env_->Meta();
        }
        declared_.assign(meta_.memberKeys.size(), true);
        uint64_t count = 0;
        if (uint16_t err = LatestCount(&count); err != QELKF_ERR_NONE) {
            ReleaseIndex(false);
            return Fail(err);
        }
        visible_ = count;
        if (dataNumber_ > 0 && data_.RecordLength() != meta_.recordLength) {
            ReleaseIndex(false);
            return Fail(QELKF_ERR_DAMAGED);
        }
    } else {
        if (dataNumber_ > 0) return Fail(QELKF_ERR_ARGUMENT);
        if (uint16_t err = data_.Open(name, build); err != QELKF_ERR_NONE) {
            data_.Close(false);
            return Fail(err);
        }
        if (IndexOpen() && env_->HasMeta() && data_.RecordLength() != meta_.recordLength) {
            data_.Close(false);
            return Fail(QELKF_ERR_DAMAGED);
        }
        dataNumber_ = file;
    }
    // A search needs the records its snapshot holds.
    if (!build && IndexOpen() && dataNumber_ > 0 && !data_.Covers(visible_)) {
        if (file == 0) {
            ReleaseIndex(false);
        } else {
            ReleaseData(false);
        }
        return Fail(QELKF_ERR_DAMAGED);
    }
    mode_ = mode;
    if (build && IndexOpen() && dataNumber_ > 0) {
        if (uint16_t err = StartBuild(); err != QELKF_ERR_NONE) {
            if (file == 0) {
                ReleaseIndex(false);
            } else {
                ReleaseData(false);
            }
            ResetIfClosed();
            return Fail(err);
        }
    }
    return 0;
}

int LmdbSet::CreateData(int file, const std::string& name, uint32_t recordLength) {
    error_ = QELKF_ERR_NONE;
    if (file <= 0 || dataNumber_ > 0 || !ModeFits(QELKF_OPEN_BUILD)) return Fail(QELKF_ERR_ARGUMENT);
    if (!ValidRecordLength(recordLength)) return Fail(QELKF_ERR_ARGUMENT);
    if (IndexOpen() && env_->HasMeta() && recordLength != meta_.recordLength) return Fail(QELKF_ERR_ARGUMENT);
    if (uint16_t err = data_.Create(name, recordLength); err != QELKF_ERR_NONE) {
        data_.Close(false);
        return Fail(err);
    }
    dataNumber_ = file;
    mode_ = QELKF_OPEN_BUILD;
    if (IndexOpen()) {
        if (uint16_t err = StartBuild(); err != QELKF_ERR_NONE) {
            ReleaseData(true);
            return Fail(err);
        }
    }
    return 0;
}

int LmdbSet::CreateIndex(const std::string& name, uint32_t memberKeyLength, int furtherMembers) {
    error_ = QELKF_ERR_NONE;
    if (IndexOpen() || !ModeFits(QELKF_OPEN_BUILD) || !ValidMemberKey(memberKeyLength) ||
        furtherMembers < 0 || furtherMembers >= QELKF_MAX_MEMBERS) {
        return Fail(QELKF_ERR_ARGUMENT);
    }
    if (uint16_t err = AcquireEnv(name, true, &env_); err != QELKF_ERR_NONE) {
        ReleaseEnv(&env_);
        return Fail(err);
    }
    indexPath_ = name;
    if (env_->HasMeta()) {  // the name was taken between our create and open
        ReleaseIndex(false);
        return Fail(QELKF_ERR_IO);
    }
    {
        std::lock_guard lock(env_->mutex);
        env_->AddHolder(this);
    }
    indexCreated_ = true;
    meta_.memberKeys.assign(size_t(furtherMembers) + 1, 0);
    meta_.memberKeys[0] = memberKeyLength;
    declared_.assign(meta_.memberKeys.size(), false);
    declared_[0] = true;
    visible_ = 0;
    mode_ = QELKF_OPEN_BUILD;
    if (dataNumber_ > 0) {
        if (uint16_t err = StartBuild(); err != QELKF_ERR_NONE) {
            ReleaseIndex(true);
            ResetIfClosed();
            return Fail(err);
        }
    }
    return 0;
}

int LmdbSet::AddKeyMember(int member, uint32_t memberKeyLength) {
    error_ = QELKF_ERR_NONE;
    if (!indexCreated_ || member < 1 || size_t(member) >= declared_.size() || declared_[size_t(member)] ||
        !ValidMemberKey(memberKeyLength)) {
        return Fail(QELKF_ERR_ARGUMENT);
    }
    meta_.memberKeys[size_t(member)] = memberKeyLength;
    declared_[size_t(member)] = true;
    if (buildReady_) pending_[size_t(member)].length = memberKeyLength;
    return 0;
}

uint64_t LmdbSet::Reserve(int file) {
    error_ = QELKF_ERR_NONE;
    if (!DataUsable(file) || !buildReady_ || !AllDeclared() || replaceSlot_) return Miss(QELKF_ERR_ARGUMENT);
    uint64_t slot = base_ + reserved_;
    if (slot >= kMaxSlots) return Miss(QELKF_ERR_FULL);
    ++reserved_;
    return SlotPosition(data_.RecordLength(), slot);
}

int LmdbSet::AddKey(int member, std::span<const uint8_t> key, uint64_t position) {
    error_ = QELKF_ERR_NONE;
    if (!buildReady_ || member < 0 || size_t(member) >= pending_.size() || !declared_[size_t(member)]) {
        return Fail(QELKF_ERR_ARGUMENT);
    }
    PendingKeys& pending = pending_[size_t(member)];
    auto slot = PositionSlot(data_.RecordLength(), position);
    if (key.size() + QELKF_SLOT_SIZE != pending.length || !slot || *slot < base_ ||
        *slot - base_ >= reserved_) {
        return Fail(QELKF_ERR_ARGUMENT);
    }
    pending.bytes.insert(pending.bytes.end(), key.begin(), key.end());
    uint8_t slotBytes[QELKF_SLOT_SIZE];
    PutBig(*slot, QELKF_SLOT_SIZE, slotBytes);
    pending.bytes.insert(pending.bytes.end(), slotBytes, slotBytes + QELKF_SLOT_SIZE);
    return 0;
}

int LmdbSet::Write(int file, uint64_t position, std::span<const uint8_t> record) {
    error_ = QELKF_ERR_NONE;
    if (!DataUsable(file) || !buildReady_ || record.size() != data_.RecordLength()) {
        return Fail(QELKF_ERR_ARGUMENT);
    }
    // Only slots of this build: earlier records stay as searches see them.
    auto slot = PositionSlot(data_.RecordLength(), position);
    if (!slot || *slot < base_ || *slot - base_ >= reserved_) return Fail(QELKF_ERR_ARGUMENT);
    uint16_t err = data_.Write(*slot, record);
    return err == QELKF_ERR_NONE ? 0 : Fail(err);
}

int LmdbSet::Read(int file, uint64_t position, std::span<uint8_t> record) {
    error_ = QELKF_ERR_NONE;
    if (!DataUsable(file) || record.size() != data_.RecordLength()) return Fail(QELKF_ERR_ARGUMENT);
    uint64_t limit = buildReady_ ? base_ + reserved_ : IndexOpen() ? visible_ : data_.HeaderCount();
    auto slot = PositionSlot(data_.RecordLength(), position);
    if (!slot || *slot >= limit) return Fail(QELKF_ERR_ARGUMENT);
    if (journalSlot_ == *slot) {  // being replaced: as it was until the keys move
        std::memcpy(record.data(), journalRecord_.data(), record.size());
        return 0;
    }
    uint16_t err = data_.Read(*slot, record, buildReady_ && *slot >= base_);
    return err == QELKF_ERR_NONE ? 0 : Fail(err);
}

uint16_t LmdbSet::Commit() {
    if (replaceSlot_) return CommitReplace();
    const uint64_t count = base_ + reserved_;
    // Records reach the disk before any key that points at them.
    if (uint16_t err = data_.Sync(count); err != QELKF_ERR_NONE) return err;
    for (PendingKeys& pending : pending_) {
        // Sorted keys go in with fewer page splits.
        const size_t n = pending.Count(), length = pending.length;
        std::vector<size_t> order(n);
        std::iota(order.begin(), order.end(), size_t(0));
        const uint8_t* bytes = pending.bytes.data();
        std::sort(order.begin(), order.end(), [&](size_t a, size_t b) {
            return std::memcmp(bytes + a * length, bytes + b * length, length) < 0;
        });
        std::vector<uint8_t> sorted(pending.bytes.size());
        for (size_t i = 0; i < n; ++i)
            std::memcpy(sorted.data() + i * length, bytes + order[i] * length, length);
        pending.bytes = std::move(sorted);
    }
    uint16_t err = QELKF_ERR_NONE;
    {
        std::lock_guard lock(env_->mutex);
        err = env_->Commit(meta_, pending_, base_, count);
    }
    if (err != QELKF_ERR_NONE) {
        data_.Sync(base_);  // the header back to the committed count; the slots are reused
        return err;
    }
    base_ = visible_ = count;
    reserved_ = 0;
    indexCreated_ = false;
    data_.Keep();
    return QELKF_ERR_NONE;
}

int LmdbSet::Close(int file) {
    error_ = QELKF_ERR_NONE;
    if (file == 0 && IndexOpen()) {
        if (Building()) {
            if (!AllDeclared() || (indexCreated_ && !buildReady_)) {
                Abandon();  // a new index needs every member and its data file's record length
                return Fail(QELKF_ERR_ARGUMENT);
            }
            if (buildReady_) {
                if (uint16_t err = Commit(); err != QELKF_ERR_NONE) {
                    Abandon();
                    return Fail(err);
                }
            }
            if (dataClosed_) ReleaseData(false);
        }
        ReleaseIndex(false);
        ResetIfClosed();
        return 0;
    }
    if (DataUsable(file)) {
        if (buildReady_) {
            dataClosed_ = true;  // keeps the lock until the index commits
        } else {
            ReleaseData(false);
            ResetIfClosed();
        }
        return 0;
    }
    return Fail(QELKF_ERR_ARGUMENT);
}

void LmdbSet::Abandon() {
    const bool building = Building();
    if (building) UndoReplace();
    ReleaseIndex(building && indexCreated_);
    ReleaseData(building && data_.Created());
    mode_ = 0;
    base_ = reserved_ = 0;
}

int LmdbSet::Refresh() {
    error_ = QELKF_ERR_NONE;
    if (!IndexOpen() || Building()) return Fail(QELKF_ERR_ARGUMENT);
    uint64_t count = 0;
    if (uint16_t err = LatestCount(&count); err != QELKF_ERR_NONE) return Fail(err);
    if (dataNumber_ > 0 && !dataClosed_ && !data_.Covers(count)) return Fail(QELKF_ERR_DAMAGED);
    visible_ = count;
    return 0;
}

uint64_t LmdbSet::RecordCount() const {
    if (buildReady_) return base_ + reserved_;
    if (IndexOpen()) return visible_;
    return dataNumber_ > 0 ? data_.HeaderCount() : 0;
}

}  // namespace kf
}  // namespace qel::local::detail
