// kf_data_file.h - the data file of a keyed file set: a header record, then
// fixed-length records at whole slots.
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace qel::local::detail::kf {

// An owned file descriptor.
class Fd {
public:
    Fd() = default;
    explicit Fd(int fd) : fd_(fd) {}
    ~Fd() { Reset(); }
    Fd(Fd&& other) noexcept : fd_(other.Release()) {}
    Fd& operator=(Fd&& other) noexcept;
    int Get() const { return fd_; }
    int Release() {
        int fd = fd_;
        fd_ = -1;
        return fd;
    }
    void Reset();

private:
    int fd_ = -1;
};

// A read-only mapping of a file's first bytes.
class Mapping {
public:
    Mapping() = default;
    ~Mapping() { Reset(); }
    Mapping(Mapping&& other) noexcept : data_(other.data_), size_(other.size_) { other.data_ = nullptr; }
    Mapping& operator=(Mapping&& other) noexcept;
    // Maps size bytes of fd; false (and nothing mapped) when that fails.
    bool Map(int fd, size_t size);
    void Reset();
    const uint8_t* Data() const { return data_; }
    size_t Size() const { return data_ != nullptr ? size_ : 0; }

private:
    const uint8_t* data_ = nullptr;
    size_t size_ = 0;
};

class DataFile {
public:
    // Each returns a QELKF_ERR_* value. Building holds an exclusive flock on the
    // file until the object goes (it waits for another builder to finish).
    uint16_t Create(const std::string& path, uint32_t recordLength);
    uint16_t Open(const std::string& path, bool build);

    bool IsOpen() const { return fd_.Get() >= 0; }
    // Made by this build and not yet in a finished one.
    bool Created() const { return created_; }
    void Keep() { created_ = false; }
    const std::string& Path() const { return path_; }
    uint32_t RecordLength() const { return recordLength_; }
    // Slots the header counts: those of the last build that reached its sync.
    uint64_t HeaderCount() const { return headerCount_; }
    // Slots the file's size covers.
    uint64_t SlotsInFile() const { return slotsInFile_; }
    // Whether the file as it is now holds count slots (builds elsewhere extend it).
    bool Covers(uint64_t count) const;

    // Reads slot; slots past the end of the file read as zeros when zeroPastEnd.
    uint16_t Read(uint64_t slot, std::span<uint8_t> record, bool zeroPastEnd) const;
    uint16_t Write(uint64_t slot, std::span<const uint8_t> record);
    // Records count slots in the header, makes the file cover them and syncs it.
    uint16_t Sync(uint64_t count);
    // Syncs records written in place.
    uint16_t Flush();
    // Closes the file (and drops the lock); removes it too when remove is set.
    void Close(bool remove);

private:
    uint16_t WriteHeader(uint64_t count);

    Fd fd_;
    std::string path_;
    bool build_ = false;
    // A search reads the records the file held at its first read from a shared
    // mapping, so that a record replaced in place shows through it; later ones with pread.
    mutable Mapping map_;
    mutable bool mapTried_ = false;
    bool created_ = false;
    uint32_t recordLength_ = 0;
    uint64_t headerCount_ = 0;
    uint64_t slotsInFile_ = 0;
};

}  // namespace qel::local::detail::kf
