// kf_lmdb_lookup.cpp - key lookups of an LMDB keyed file set. A cursor per member
// stays on the key last handed out, so that walks step instead of seeking.
#include <lmdb.h>

#include <cstring>

#include "kf_layout.h"
#include "kf_lmdb_set.h"

namespace qel::local::detail::kf {
namespace {

int Compare(const MDB_val& a, std::span<const uint8_t> b) {
    return std::memcmp(a.mv_data, b.data(), b.size());
}

}  // namespace

uint64_t LmdbSet::First(int member, std::span<uint8_t> key) { return Lookup(member, Seek::First, {}, key); }
uint64_t LmdbSet::Last(int member, std::span<uint8_t> key) { return Lookup(member, Seek::Last, {}, key); }
uint64_t LmdbSet::FirstAtLeast(int member, std::span<const uint8_t> target, std::span<uint8_t> key) {
    return Lookup(member, Seek::AtLeast, target, key);
}
uint64_t LmdbSet::LastAtMost(int member, std::span<const uint8_t> target, std::span<uint8_t> key) {
    return Lookup(member, Seek::AtMost, target, key);
}
uint64_t LmdbSet::LastBelow(int member, std::span<const uint8_t> target, std::span<uint8_t> key) {
    return Lookup(member, Seek::Below, target, key);
}
uint64_t LmdbSet::Next(int member, std::span<uint8_t> key) { return Lookup(member, Seek::Next, key, key); }
uint64_t LmdbSet::Previous(int member, std::span<uint8_t> key) {
    return Lookup(member, Seek::Previous, key, key);
}

uint64_t LmdbSet::Lookup(int member, Seek seek, std::span<const uint8_t> target, std::span<uint8_t> key) {
    error_ = QELKF_ERR_NONE;
    if (!IndexOpen() || member < 0 || size_t(member) >= meta_.memberKeys.size())
        return Miss(QELKF_ERR_ARGUMENT);
    const size_t m = size_t(member);
    const size_t length = meta_.memberKeys[m];
    const bool targeted = seek != Seek::First && seek != Seek::Last;
    if (length == 0 || key.size() != length || (targeted && target.size() != length)) {
        return Miss(QELKF_ERR_ARGUMENT);
    }
    // A new index has no keys before its first build finishes.
    if (!env_->HasMeta() || m >= env_->Meta().memberKeys.size()) return 0;

    std::lock_guard lock(env_->mutex);
    if (txn_ == nullptr) {
        if (env_->BeginTxn(MDB_RDONLY, &txn_) != MDB_SUCCESS) {
            txn_ = nullptr;
            return Miss(QELKF_ERR_IO);
        }
    }
    MDB_cursor*& cursor = cursors_[m];
    if (cursor == nullptr && mdb_cursor_open(txn_, env_->MemberDbi(m), &cursor) != MDB_SUCCESS) {
        cursor = nullptr;
        return Miss(QELKF_ERR_IO);
    }
    // Next and Previous read the key before it is overwritten.
    uint8_t from[kMaxMemberKey];
    if (targeted) std::memcpy(from, target.data(), length);
    const std::span<const uint8_t> at(from, targeted ? length : 0);

    MDB_val k{}, v{};
    auto get = [&](MDB_cursor_op op) { return mdb_cursor_get(cursor, &k, &v, op); };
    bool forward = true;
    int rc = MDB_SUCCESS;
    switch (seek) {
        case Seek::First: rc = get(MDB_FIRST); break;
        case Seek::Last:
            rc = get(MDB_LAST);
            forward = false;
            break;
        case Seek::AtLeast:
            k = MDB_val{length, from};
            rc = get(MDB_SET_RANGE);
            break;
        case Seek::Next:
        case Seek::Previous: {
            forward = seek == Seek::Next;
            const MDB_cursor_op step = forward ? MDB_NEXT : MDB_PREV;
            if (standing_[m] && get(MDB_GET_CURRENT) == MDB_SUCCESS && k.mv_size == length &&
                Compare(k, at) == 0) {
                rc = get(step);
                break;
            }
            k = MDB_val{length, from};
            rc = get(MDB_SET_RANGE);
            if (forward) {
                if (rc == MDB_SUCCESS && k.mv_size == length && Compare(k, at) == 0) rc = get(MDB_NEXT);
            } else {
                rc = rc == MDB_SUCCESS ? get(MDB_PREV) : rc == MDB_NOTFOUND ? get(MDB_LAST) : rc;
            }
            break;
        }
        case Seek::AtMost:
        case Seek::Below:
            forward = false;
            k = MDB_val{length, from};
            rc = get(MDB_SET_RANGE);
            if (rc == MDB_SUCCESS) {
                const bool equal = k.mv_size == length && Compare(k, at) == 0;
                if (!(equal && seek == Seek::AtMost)) rc = get(MDB_PREV);
            } else if (rc == MDB_NOTFOUND) {
                rc = get(MDB_LAST);
            }
            break;
    }
    // Keys of builds finished after this set's snapshot are passed over.
    uint64_t slot = 0;
    while (rc == MDB_SUCCESS) {
        if (k.mv_size != length) {
            standing_[m] = false;
            return Miss(QELKF_ERR_DAMAGED);
        }
        slot = GetBig(static_cast<const uint8_t*>(k.mv_data) + length - QELKF_SLOT_SIZE, QELKF_SLOT_SIZE);
        if (slot < visible_) break;
        rc = get(forward ? MDB_NEXT : MDB_PREV);
    }
    standing_[m] = rc == MDB_SUCCESS;
    if (rc == MDB_NOTFOUND) return 0;
    if (rc != MDB_SUCCESS) {
        return Miss(rc == MDB_CORRUPTED || rc == MDB_PAGE_NOTFOUND ? QELKF_ERR_DAMAGED : QELKF_ERR_IO);
    }
    std::memcpy(key.data(), k.mv_data, length);
    return SlotPosition(meta_.recordLength, slot);
}

}  // namespace qel::local::detail::kf
