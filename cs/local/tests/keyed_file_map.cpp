// keyed_file_map.cpp - the in-memory keyed files of the tests.
#include "keyed_file_map.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "kf_layout.h"

namespace qel::local::detail {
namespace {

using Bytes = std::vector<uint8_t>;

struct DataStore {
    uint32_t recordLength = 0;
    uint64_t headerCount = 0;
    std::map<uint64_t, Bytes> records;
};

struct IndexStore {
    bool committed = false;
    uint32_t recordLength = 0;
    std::vector<uint32_t> memberKeys;
    std::vector<std::set<Bytes>> keys;
    uint64_t count = 0;
};

struct Store {
    std::mutex mutex;
    std::map<std::string, DataStore> data;
    std::map<std::string, IndexStore> indexes;
};

Store& TheStore() {
    static Store store;
    return store;
}

class MapKeyedFile final : public KeyedFile {
public:
    ~MapKeyedFile() override { Abandon(); }

    int Open(int file, const std::string& name, int mode) override {
        error_ = QELKF_ERR_NONE;
        if ((mode != QELKF_OPEN_BUILD && mode != QELKF_OPEN_SEARCH) || (mode_ != 0 && mode_ != mode) ||
            file < 0) {
            return Fail(QELKF_ERR_ARGUMENT);
        }
        std::lock_guard lock(TheStore().mutex);
        if (file == 0) {
            if (index_) return Fail(QELKF_ERR_ARGUMENT);
            auto it = TheStore().indexes.find(name);
            if (it == TheStore().indexes.end()) return Fail(QELKF_ERR_IO);
            if (!it->second.committed) return Fail(QELKF_ERR_DAMAGED);
            if (data_ && Data().recordLength != it->second.recordLength) return Fail(QELKF_ERR_DAMAGED);
            index_ = name;
            memberKeys_ = it->second.memberKeys;
            visible_ = it->second.count;
        } else {
            if (data_) return Fail(QELKF_ERR_ARGUMENT);
            auto it = TheStore().data.find(name);
            if (it == TheStore().data.end()) return Fail(QELKF_ERR_IO);
            if (index_ && Index().committed && Index().recordLength != it->second.recordLength) {
                return Fail(QELKF_ERR_DAMAGED);
            }
            data_ = name;
            dataNumber_ = file;
        }
        mode_ = mode;
        if (mode == QELKF_OPEN_BUILD && index_ && data_) StartBuild();
        return 0;
    }

    int CreateData(int file, const std::string& name, uint32_t recordLength) override {
        error_ = QELKF_ERR_NONE;
        if (file <= 0 || data_ || mode_ == QELKF_OPEN_SEARCH || !kf::ValidRecordLength(recordLength)) {
            return Fail(QELKF_ERR_ARGUMENT);
        }
        std::lock_guard lock(TheStore().mutex);
        if (index_ && Index().committed && Index().recordLength != recordLength)
            return Fail(QELKF_ERR_ARGUMENT);
        if (TheStore().data.count(name) != 0) return Fail(QELKF_ERR_IO);
        TheStore().data[name].recordLength = recordLength;
        data_ = name;
        dataNumber_ = file;
        dataCreated_ = true;
        mode_ = QELKF_OPEN_BUILD;
        if (index_) StartBuild();
        return 0;
    }

    int CreateIndex(const std::string& name, uint32_t memberKeyLength, int furtherMembers) override {
        error_ = QELKF_ERR_NONE;
        if (index_ || mode_ == QELKF_OPEN_SEARCH || !kf::ValidMemberKey(memberKeyLength) ||
            furtherMembers < 0 || furtherMembers >= QELKF_MAX_MEMBERS) {
            return Fail(QELKF_ERR_ARGUMENT);
        }
        std::lock_guard lock(TheStore().mutex);
        if (TheStore().indexes.count(name) != 0) return Fail(QELKF_ERR_IO);
        TheStore().indexes[name] = IndexStore{};
        index_ = name;
        indexCreated_ = true;
        memberKeys_.assign(size_t(furtherMembers) + 1, 0);
        memberKeys_[0] = memberKeyLength;
        visible_ = 0;
        mode_ = QELKF_OPEN_BUILD;
        if (data_) StartBuild();
        return 0;
    }

    int AddKeyMember(int member, uint32_t memberKeyLength) override {
        error_ = QELKF_ERR_NONE;
        if (!indexCreated_ || member < 1 || size_t(member) >= memberKeys_.size() ||
            memberKeys_[size_t(member)] != 0 || !kf::ValidMemberKey(memberKeyLength)) {
            return Fail(QELKF_ERR_ARGUMENT);
        }
        memberKeys_[size_t(member)] = memberKeyLength;
        return 0;
    }

    uint64_t Reserve(int file) override {
        error_ = QELKF_ERR_NONE;
        if (!building_ || replacing_ || !DataUsable(file) || !AllDeclared()) return Miss(QELKF_ERR_ARGUMENT);
        if (base_ + reserved_ >= kf::kMaxSlots) return Miss(QELKF_ERR_FULL);
        return kf::SlotPosition(recordLength_, base_ + reserved_++);
    }

    int AddKey(int member, std::span<const uint8_t> key, uint64_t position) override {
        error_ = QELKF_ERR_NONE;
        if (!building_ || member < 0 || size_t(member) >= memberKeys_.size() ||
            memberKeys_[size_t(member)] == 0 || key.size() + QELKF_SLOT_SIZE != memberKeys_[size_t(member)]) {
            return Fail(QELKF_ERR_ARGUMENT);
        }
        auto slot = OwnSlot(position);
        if (!slot) return Fail(QELKF_ERR_ARGUMENT);
        Bytes whole(key.begin(), key.end());
        whole.resize(whole.size() + QELKF_SLOT_SIZE);
        kf::PutBig(*slot, QELKF_SLOT_SIZE, whole.data() + key.size());
        pending_.emplace_back(size_t(member), std::move(whole));
        return 0;
    }

    int Write(int file, uint64_t position, std::span<const uint8_t> record) override {
        error_ = QELKF_ERR_NONE;
        if (!building_ || !DataUsable(file) || record.size() != recordLength_)
            return Fail(QELKF_ERR_ARGUMENT);
        auto slot = OwnSlot(position);
        if (!slot) return Fail(QELKF_ERR_ARGUMENT);
        std::lock_guard lock(TheStore().mutex);
        Data().records[*slot] = Bytes(record.begin(), record.end());
        return 0;
    }

    int Read(int file, uint64_t position, std::span<uint8_t> record) override {
        error_ = QELKF_ERR_NONE;
        std::lock_guard lock(TheStore().mutex);
        if (!DataUsable(file) || record.size() != Data().recordLength) return Fail(QELKF_ERR_ARGUMENT);
        uint64_t limit = building_ ? base_ + reserved_ : index_ ? visible_ : Data().headerCount;
        auto slot = kf::PositionSlot(Data().recordLength, position);
        if (!slot || *slot >= limit) return Fail(QELKF_ERR_ARGUMENT);
        auto it = Data().records.find(*slot);
        if (it == Data().records.end()) {
            std::fill(record.begin(), record.end(), uint8_t(0));
        } else {
            std::copy(it->second.begin(), it->second.end(), record.begin());
        }
        return 0;
    }

    int Replace(int file, uint64_t position, std::span<const uint8_t> record,
                std::span<const uint8_t> oldKeys, std::span<const uint8_t> newKeys) override {
        error_ = QELKF_ERR_NONE;
        if (!building_ || !DataUsable(file) || record.size() != recordLength_ || reserved_ != 0 ||
            replacing_ || !Index().committed) {
            return Fail(QELKF_ERR_ARGUMENT);
        }
        auto slot = kf::PositionSlot(recordLength_, position);
        size_t keyBytes = 0;
        for (uint32_t length : memberKeys_) keyBytes += length - QELKF_SLOT_SIZE;
        if (!slot || *slot >= base_ || oldKeys.size() != keyBytes || newKeys.size() != keyBytes) {
            return Fail(QELKF_ERR_ARGUMENT);
        }
        size_t at = 0;
        for (size_t m = 0; m < memberKeys_.size(); ++m) {
            const size_t length = memberKeys_[m] - QELKF_SLOT_SIZE;
            auto memberKey = [&](std::span<const uint8_t> keys) {
                Bytes whole(keys.begin() + long(at), keys.begin() + long(at + length));
                whole.resize(memberKeys_[m]);
                kf::PutBig(*slot, QELKF_SLOT_SIZE, whole.data() + length);
                return std::make_pair(m, std::move(whole));
            };
            removed_.push_back(memberKey(oldKeys));
            pending_.push_back(memberKey(newKeys));
            at += length;
        }
        replacing_ = true;
        replaceSlot_ = *slot;
        replacement_.assign(record.begin(), record.end());
        return 0;
    }

    uint64_t First(int member, std::span<uint8_t> key) override { return Find(member, Seek::First, {}, key); }
    uint64_t Last(int member, std::span<uint8_t> key) override { return Find(member, Seek::Last, {}, key); }
    uint64_t FirstAtLeast(int member, std::span<const uint8_t> target, std::span<uint8_t> key) override {
        return Find(member, Seek::AtLeast, target, key);
    }
    uint64_t LastAtMost(int member, std::span<const uint8_t> target, std::span<uint8_t> key) override {
        return Find(member, Seek::AtMost, target, key);
    }
    uint64_t LastBelow(int member, std::span<const uint8_t> target, std::span<uint8_t> key) override {
        return Find(member, Seek::Below, target, key);
    }
    uint64_t Next(int member, std::span<uint8_t> key) override { return Find(member, Seek::After, key, key); }
    uint64_t Previous(int member, std::span<uint8_t> key) override {
        return Find(member, Seek::Below, key, key);
    }

    int Close(int file) override {
        error_ = QELKF_ERR_NONE;
        if (file == 0 && index_) {
            if (mode_ == QELKF_OPEN_BUILD) {
                if (!AllDeclared() || (indexCreated_ && !building_)) {
                    Abandon();
                    return Fail(QELKF_ERR_ARGUMENT);
                }
                if (building_ && !CommitBuild()) {
                    Abandon();
                    return Fail(QELKF_ERR_DAMAGED);
                }
                if (dataClosed_) DropData();
            }
            DropIndex();
            if (!data_) mode_ = 0;
            return 0;
        }
        if (data_ && file == dataNumber_ && !dataClosed_) {
            if (building_) {
                dataClosed_ = true;
            } else {
                DropData();
                if (!index_) mode_ = 0;
            }
            return 0;
        }
        return Fail(QELKF_ERR_ARGUMENT);
    }

    void Abandon() override {
        std::lock_guard lock(TheStore().mutex);
        if (mode_ == QELKF_OPEN_BUILD && indexCreated_) TheStore().indexes.erase(*index_);
        if (mode_ == QELKF_OPEN_BUILD && dataCreated_) TheStore().data.erase(*data_);
        index_.reset();
        data_.reset();
        indexCreated_ = dataCreated_ = dataClosed_ = building_ = false;
        pending_.clear();
        removed_.clear();
        replacing_ = false;
        mode_ = 0;
        base_ = reserved_ = 0;
    }

    int Refresh() override {
        error_ = QELKF_ERR_NONE;
        if (!index_ || mode_ == QELKF_OPEN_BUILD) return Fail(QELKF_ERR_ARGUMENT);
        std::lock_guard lock(TheStore().mutex);
        visible_ = Index().count;
        return 0;
    }

    uint64_t RecordCount() const override {
        if (building_) return base_ + reserved_;
        if (index_) return visible_;
        std::lock_guard lock(TheStore().mutex);
        return data_ ? TheStore().data[*data_].headerCount : 0;
    }

    uint16_t LastError() const override { return error_; }

private:
    enum class Seek { First, Last, AtLeast, AtMost, Below, After };

    int Fail(uint16_t error) {
        error_ = error;
        return -1;
    }
    uint64_t Miss(uint16_t error) {
        error_ = error;
        return 0;
    }
    DataStore& Data() { return TheStore().data[*data_]; }
    IndexStore& Index() { return TheStore().indexes[*index_]; }
    bool DataUsable(int file) const { return data_ && file == dataNumber_ && !dataClosed_; }
    bool AllDeclared() const {
        return std::none_of(memberKeys_.begin(), memberKeys_.end(), [](uint32_t k) { return k == 0; });
    }
    std::optional<uint64_t> OwnSlot(uint64_t position) const {
        auto slot = kf::PositionSlot(recordLength_, position);
        if (!slot || *slot < base_ || *slot - base_ >= reserved_) return std::nullopt;
        return slot;
    }

    void StartBuild() {
        // Called with the store locked.
        recordLength_ = Data().recordLength;
        base_ = visible_ = Index().count;
        reserved_ = 0;
        pending_.clear();
        building_ = true;
    }

    // False when a replaced record's old key is not there.
    bool CommitBuild() {
        std::lock_guard lock(TheStore().mutex);
        IndexStore& index = Index();
        if (replacing_) {
            for (auto& [member, key] : removed_) {
                if (index.keys[member].count(key) == 0) return false;
            }
            for (auto& [member, key] : removed_) index.keys[member].erase(key);
            Data().records[replaceSlot_] = replacement_;
            replacing_ = false;
            removed_.clear();
        }
        if (!index.committed) {
            index.committed = true;
            index.recordLength = recordLength_;
            index.memberKeys = memberKeys_;
            index.keys.resize(memberKeys_.size());
        }
        for (auto& [member, key] : pending_) index.keys[member].insert(key);
        index.count = base_ + reserved_;
        Data().headerCount = index.count;
        base_ = visible_ = index.count;
        reserved_ = 0;
        pending_.clear();
        indexCreated_ = dataCreated_ = false;
        return true;
    }

    void DropIndex() {
        index_.reset();
        indexCreated_ = building_ = false;
        pending_.clear();
        memberKeys_.clear();
    }
    void DropData() {
        data_.reset();
        dataCreated_ = dataClosed_ = building_ = false;
    }

    uint64_t Find(int member, Seek seek, std::span<const uint8_t> target, std::span<uint8_t> key) {
        error_ = QELKF_ERR_NONE;
        if (!index_ || member < 0 || size_t(member) >= memberKeys_.size()) return Miss(QELKF_ERR_ARGUMENT);
        const size_t length = memberKeys_[size_t(member)];
        const bool targeted = seek != Seek::First && seek != Seek::Last;
        if (length == 0 || key.size() != length || (targeted && target.size() != length)) {
            return Miss(QELKF_ERR_ARGUMENT);
        }
        std::lock_guard lock(TheStore().mutex);
        IndexStore& index = Index();
        if (!index.committed) return 0;
        // Only keys of records this set's snapshot holds.
        std::vector<const Bytes*> keys;
        for (const Bytes& k : index.keys[size_t(member)]) {
            if (kf::GetBig(k.data() + length - QELKF_SLOT_SIZE, QELKF_SLOT_SIZE) < visible_)
                keys.push_back(&k);
        }
        const Bytes at(target.begin(), target.end());
        const Bytes* found = nullptr;
        auto less = [](const Bytes* a, const Bytes& b) { return *a < b; };
        auto lower = std::lower_bound(keys.begin(), keys.end(), at, less);
        switch (seek) {
            case Seek::First: found = keys.empty() ? nullptr : keys.front(); break;
            case Seek::Last: found = keys.empty() ? nullptr : keys.back(); break;
            case Seek::AtLeast: found = lower == keys.end() ? nullptr : *lower; break;
            case Seek::After: {
                auto upper = std::upper_bound(keys.begin(), keys.end(), at,
                                              [](const Bytes& a, const Bytes* b) { return a < *b; });
                found = upper == keys.end() ? nullptr : *upper;
                break;
            }
            case Seek::AtMost: {
                auto upper = std::upper_bound(keys.begin(), keys.end(), at,
                                              [](const Bytes& a, const Bytes* b) { return a < *b; });
                found = upper == keys.begin() ? nullptr : *(upper - 1);
                break;
            }
            case Seek::Below: found = lower == keys.begin() ? nullptr : *(lower - 1); break;
        }
        if (found == nullptr) return 0;
        std::copy(found->begin(), found->end(), key.begin());
        return kf::SlotPosition(index.recordLength, kf::GetBig(found->data() + length - QELKF_SLOT_SIZE, 4));
    }

    uint16_t error_ = QELKF_ERR_NONE;
    int mode_ = 0;
    std::optional<std::string> index_, data_;
    int dataNumber_ = 0;
    bool indexCreated_ = false, dataCreated_ = false, dataClosed_ = false, building_ = false;
    std::vector<uint32_t> memberKeys_;
    uint32_t recordLength_ = 0;
    uint64_t visible_ = 0, base_ = 0, reserved_ = 0;
    std::vector<std::pair<size_t, Bytes>> pending_;
    // A replacement: the keys the record loses, its slot and new record.
    std::vector<std::pair<size_t, Bytes>> removed_;
    bool replacing_ = false;
    uint64_t replaceSlot_ = 0;
    Bytes replacement_;
};

}  // namespace

std::unique_ptr<KeyedFile> NewMapKeyedFile() { return std::make_unique<MapKeyedFile>(); }

void ClearMapKeyedFiles() {
    std::lock_guard lock(TheStore().mutex);
    TheStore().data.clear();
    TheStore().indexes.clear();
}

}  // namespace qel::local::detail
