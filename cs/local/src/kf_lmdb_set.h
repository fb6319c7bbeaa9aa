// kf_lmdb_set.h - one set of keyed files on LMDB: an index file and a data file.
#pragma once

#include <array>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "keyed_file.h"
#include "kf_data_file.h"
#include "kf_lmdb_env.h"

namespace qel::local::detail::kf {

class LmdbSet final : public KeyedFile, private ReadHolder {
public:
    LmdbSet() = default;
    ~LmdbSet() override;
    LmdbSet(const LmdbSet&) = delete;
    LmdbSet& operator=(const LmdbSet&) = delete;

    int Open(int file, const std::string& name, int mode) override;
    int CreateData(int file, const std::string& name, uint32_t recordLength) override;
    int CreateIndex(const std::string& name, uint32_t memberKeyLength, int furtherMembers) override;
    int AddKeyMember(int member, uint32_t memberKeyLength) override;
    uint64_t Reserve(int file) override;
    int AddKey(int member, std::span<const uint8_t> key, uint64_t position) override;
    int Write(int file, uint64_t position, std::span<const uint8_t> record) override;
    int Read(int file, uint64_t position, std::span<uint8_t> record) override;
    int Replace(int file, uint64_t position, std::span<const uint8_t> record,
                std::span<const uint8_t> oldKeys, std::span<const uint8_t> newKeys) override;
    uint64_t First(int member, std::span<uint8_t> key) override;
    uint64_t Last(int member, std::span<uint8_t> key) override;
    uint64_t FirstAtLeast(int member, std::span<const uint8_t> target, std::span<uint8_t> key) override;
    uint64_t LastAtMost(int member, std::span<const uint8_t> target, std::span<uint8_t> key) override;
    uint64_t LastBelow(int member, std::span<const uint8_t> target, std::span<uint8_t> key) override;
    uint64_t Next(int member, std::span<uint8_t> key) override;
    uint64_t Previous(int member, std::span<uint8_t> key) override;
    int Close(int file) override;
    void Abandon() override;
    int Refresh() override;
    uint64_t RecordCount() const override;
    uint16_t LastError() const override { return error_; }

private:
    enum class Seek { First, Last, AtLeast, AtMost, Below, Next, Previous };

    void DropTxn() override;
    int Fail(uint16_t error);
    uint64_t Miss(uint16_t error);
    bool Building() const { return mode_ == QELKF_OPEN_BUILD; }
    bool IndexOpen() const { return env_ != nullptr; }
    bool DataUsable(int file) const { return dataNumber_ > 0 && file == dataNumber_ && !dataClosed_; }
    bool AllDeclared() const;
    bool ModeFits(int mode) const;
    uint16_t LatestCount(uint64_t* count);
    uint16_t StartBuild();
    uint16_t Commit();
    uint16_t CommitReplace();
    // Puts the replaced record back and drops its journal.
    void UndoReplace();
    // Puts back the record of a replacement that never committed (count: the records).
    uint16_t Recover(uint64_t count);
    uint64_t Lookup(int member, Seek seek, std::span<const uint8_t> target, std::span<uint8_t> key);
    void ReleaseIndex(bool remove);
    void ReleaseData(bool remove);
    void ResetIfClosed();

    uint16_t error_ = QELKF_ERR_NONE;
    int mode_ = 0;

    // The index file.
    std::shared_ptr<LmdbEnv> env_;
    std::string indexPath_;
    bool indexCreated_ = false;  // made by this build and not committed yet
    IndexMeta meta_;
    std::vector<bool> declared_;
    uint64_t visible_ = 0;  // slots whose keys lookups see
    MDB_txn* txn_ = nullptr;
    std::array<MDB_cursor*, QELKF_MAX_MEMBERS> cursors_{};
    std::array<bool, QELKF_MAX_MEMBERS> standing_{};  // the cursor is on the key last handed out
    // A replacement under way as the read transaction saw it: the record as it was.
    std::optional<uint64_t> journalSlot_;
    std::vector<uint8_t> journalRecord_;

    // The data file; a builder's closed data file stays open for its lock until the index commits.
    DataFile data_;
    int dataNumber_ = 0;
    bool dataClosed_ = false;

    // The running build.
    bool buildReady_ = false;
    uint64_t base_ = 0;
    uint64_t reserved_ = 0;
    std::vector<PendingKeys> pending_;
    // This build's replacement: the slot, its record as it was, the keys it loses
    // (those it gains are in pending_).
    std::optional<uint64_t> replaceSlot_;
    std::vector<uint8_t> replaced_;
    std::vector<PendingKeys> removed_;
};

}  // namespace qel::local::detail::kf
