// kf_lmdb_replace.cpp - replacing one record of a finished build in place, and its keys.
//
// The record as it was goes into the meta database first (the journal); then the new
// record is written over it and synced; then one write transaction moves the keys and
// drops the journal. Until that commits, searches read the old record from the journal,
// and whoever builds next puts it back in the data file: a failure or a crash at any
// step leaves the old record and keys.
#include <lmdb.h>

#include <algorithm>

#include "kf_layout.h"
#include "kf_lmdb_set.h"

namespace qel::local::detail::kf {
namespace {

constexpr const char kJournalKey[] = "replaced record";
constexpr size_t kJournalSlotBytes = 8;

MDB_val JournalKey() { return MDB_val{sizeof kJournalKey - 1, const_cast<char*>(kJournalKey)}; }

}  // namespace

uint16_t LmdbEnv::ReadJournal(MDB_txn* txn, std::optional<uint64_t>* slot,
                              std::vector<uint8_t>* record) const {
    slot->reset();
    record->clear();
    if (!hasMeta_) return QELKF_ERR_NONE;
    MDB_val k = JournalKey(), v{};
    const int rc = mdb_get(txn, metaDbi_, &k, &v);
    if (rc == MDB_NOTFOUND) return QELKF_ERR_NONE;
    if (rc != MDB_SUCCESS) return QELKF_ERR_IO;
    if (v.mv_size != kJournalSlotBytes + meta_.recordLength) return QELKF_ERR_DAMAGED;
    const auto* bytes = static_cast<const uint8_t*>(v.mv_data);
    const uint64_t at = GetBig(bytes, kJournalSlotBytes);
    if (at >= kMaxSlots) return QELKF_ERR_DAMAGED;
    *slot = at;
    record->assign(bytes + kJournalSlotBytes, bytes + v.mv_size);
    return QELKF_ERR_NONE;
}

uint16_t LmdbEnv::PutJournal(uint64_t expectedCount, uint64_t slot, std::span<const uint8_t> record) {
    std::vector<uint8_t> value(kJournalSlotBytes + record.size());
    PutBig(slot, kJournalSlotBytes, value.data());
    std::copy(record.begin(), record.end(), value.begin() + long(kJournalSlotBytes));
    return Write(value.size() * 2, [&](MDB_txn* txn) {
        if (int rc = CheckCount(txn, expectedCount); rc != MDB_SUCCESS) return rc;
        MDB_val k = JournalKey(), v{value.size(), value.data()};
        // One replacement at a time: an earlier one is put back before a build starts.
        const int rc = mdb_put(txn, metaDbi_, &k, &v, MDB_NOOVERWRITE);
        return rc == MDB_KEYEXIST ? MDB_CORRUPTED : rc;
    });
}

uint16_t LmdbEnv::SwapKeys(uint64_t expectedCount, uint64_t slot, std::span<const PendingKeys> removed,
                           std::span<const PendingKeys> added) {
    uint64_t bytes = 0;
    for (const PendingKeys& keys : added) bytes += uint64_t(keys.Count()) * (keys.length + 16) * 3;
    return Write(bytes, [&](MDB_txn* txn) {
        if (int rc = CheckCount(txn, expectedCount); rc != MDB_SUCCESS) return rc;
        std::optional<uint64_t> journaled;
        std::vector<uint8_t> record;
        if (ReadJournal(txn, &journaled, &record) != QELKF_ERR_NONE || journaled != slot)
            return MDB_CORRUPTED;
        for (size_t member = 0; member < removed.size() && member < memberDbi_.size(); ++member) {
            const PendingKeys& keys = removed[member];
            for (size_t i = 0; i < keys.Count(); ++i) {
                MDB_val k{keys.length, const_cast<uint8_t*>(keys.bytes.data() + i * keys.length)};
                // A key the record does not have: the caller's old values are not the record's.
                const int rc = mdb_del(txn, memberDbi_[member], &k, nullptr);
                if (rc != MDB_SUCCESS) return rc == MDB_NOTFOUND ? MDB_CORRUPTED : rc;
            }
        }
        MDB_val empty{0, nullptr};
        for (size_t member = 0; member < added.size() && member < memberDbi_.size(); ++member) {
            const PendingKeys& keys = added[member];
            for (size_t i = 0; i < keys.Count(); ++i) {
                MDB_val k{keys.length, const_cast<uint8_t*>(keys.bytes.data() + i * keys.length)};
                if (int rc = mdb_put(txn, memberDbi_[member], &k, &empty, 0); rc != MDB_SUCCESS) return rc;
            }
        }
        MDB_val k = JournalKey();
        return mdb_del(txn, metaDbi_, &k, nullptr);
    });
}

uint16_t LmdbEnv::DropJournal() {
    return Write(0, [&](MDB_txn* txn) {
        MDB_val k = JournalKey();
        const int rc = mdb_del(txn, metaDbi_, &k, nullptr);
        return rc == MDB_NOTFOUND ? MDB_SUCCESS : rc;
    });
}

int LmdbSet::Replace(int file, uint64_t position, std::span<const uint8_t> record,
                     std::span<const uint8_t> oldKeys, std::span<const uint8_t> newKeys) {
    error_ = QELKF_ERR_NONE;
    if (!DataUsable(file) || !buildReady_ || !env_->HasMeta() || reserved_ != 0 || replaceSlot_ ||
        record.size() != data_.RecordLength()) {
        return Fail(QELKF_ERR_ARGUMENT);
    }
    const auto slot = PositionSlot(data_.RecordLength(), position);
    size_t keyBytes = 0;
    for (uint32_t length : meta_.memberKeys) keyBytes += length - QELKF_SLOT_SIZE;
    if (!slot || *slot >= base_ || oldKeys.size() != keyBytes || newKeys.size() != keyBytes) {
        return Fail(QELKF_ERR_ARGUMENT);
    }
    std::vector<uint8_t> old(record.size());
    if (uint16_t err = data_.Read(*slot, old, false); err != QELKF_ERR_NONE) return Fail(err);

    uint8_t slotBytes[QELKF_SLOT_SIZE];
    PutBig(*slot, QELKF_SLOT_SIZE, slotBytes);
    removed_.assign(meta_.memberKeys.size(), PendingKeys{});
    size_t at = 0;
    for (size_t m = 0; m < meta_.memberKeys.size(); ++m) {
        const size_t length = meta_.memberKeys[m] - QELKF_SLOT_SIZE;
        auto memberKey = [&](std::span<const uint8_t> keys, PendingKeys* out) {
            out->length = meta_.memberKeys[m];
            out->bytes.assign(keys.begin() + long(at), keys.begin() + long(at + length));
            out->bytes.insert(out->bytes.end(), slotBytes, slotBytes + QELKF_SLOT_SIZE);
        };
        memberKey(oldKeys, &removed_[m]);
        memberKey(newKeys, &pending_[m]);
        at += length;
    }
    uint16_t err = QELKF_ERR_NONE;
    {
        std::lock_guard lock(env_->mutex);
        err = env_->PutJournal(base_, *slot, old);
    }
    if (err != QELKF_ERR_NONE) {
        removed_.clear();
        for (PendingKeys& keys : pending_) keys.bytes.clear();
        return Fail(err);
    }
    replaceSlot_ = slot;
    replaced_ = std::move(old);
    if (err = data_.Write(*slot, record); err != QELKF_ERR_NONE) {
        UndoReplace();
        return Fail(err);
    }
    return 0;
}

uint16_t LmdbSet::CommitReplace() {
    // The new record reaches the disk before its keys.
    if (uint16_t err = data_.Flush(); err != QELKF_ERR_NONE) return err;
    uint16_t err = QELKF_ERR_NONE;
    {
        std::lock_guard lock(env_->mutex);
        err = env_->SwapKeys(base_, *replaceSlot_, removed_, pending_);
    }
    if (err != QELKF_ERR_NONE) return err;
    replaceSlot_.reset();
    replaced_.clear();
    removed_.clear();
    return QELKF_ERR_NONE;
}

void LmdbSet::UndoReplace() {
    if (!replaceSlot_) return;
    // When this fails the journal stays, searches read the old record from it and the
    // next build puts it back.
    if (data_.Write(*replaceSlot_, replaced_) == QELKF_ERR_NONE && data_.Flush() == QELKF_ERR_NONE) {
        std::lock_guard lock(env_->mutex);
        env_->DropJournal();
    }
    replaceSlot_.reset();
    replaced_.clear();
    removed_.clear();
}

uint16_t LmdbSet::Recover(uint64_t count) {
    if (!journalSlot_) return QELKF_ERR_NONE;
    if (*journalSlot_ >= count) return QELKF_ERR_DAMAGED;
    if (uint16_t err = data_.Write(*journalSlot_, journalRecord_); err != QELKF_ERR_NONE) return err;
    if (uint16_t err = data_.Flush(); err != QELKF_ERR_NONE) return err;
    uint16_t err = QELKF_ERR_NONE;
    {
        std::lock_guard lock(env_->mutex);
        err = env_->DropJournal();
    }
    if (err == QELKF_ERR_NONE) {
        journalSlot_.reset();
        journalRecord_.clear();
    }
    return err;
}

}  // namespace qel::local::detail::kf
