// kf_data_file.cpp - header checks, record reads and writes, the builder's lock.
#include "kf_data_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "keyed_file.h"
#include "kf_layout.h"

namespace qel::local::detail::kf {
namespace {

// The archive's table files are written with this mode.
constexpr mode_t kFileMode = 0644;

bool ReadAll(int fd, uint8_t* out, size_t size, uint64_t offset, size_t* got) {
    *got = 0;
    while (*got < size) {
        ssize_t n = ::pread(fd, out + *got, size - *got, off_t(offset + *got));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return false;
        if (n == 0) break;
        *got += size_t(n);
    }
    return true;
}

bool WriteAll(int fd, const uint8_t* in, size_t size, uint64_t offset) {
    size_t done = 0;
    while (done < size) {
        ssize_t n = ::pwrite(fd, in + done, size - done, off_t(offset + done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += size_t(n);
    }
    return true;
}

bool LockExclusive(int fd) {
    while (::flock(fd, LOCK_EX) != 0) {
        if (errno != EINTR) return false;
    }
    return true;
}

}  // namespace

Fd& Fd::operator=(Fd&& other) noexcept {
    if (this != &other) {
        Reset();
        fd_ = other.Release();
    }
    return *this;
}

void Fd::Reset() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

uint16_t DataFile::Create(const std::string& path, uint32_t recordLength) {
    if (!ValidRecordLength(recordLength) || path.empty()) return QELKF_ERR_ARGUMENT;
    Fd fd(::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, kFileMode));
    if (fd.Get() < 0) return QELKF_ERR_IO;
    path_ = path;
    created_ = true;
    build_ = true;
    map_.Reset();
    mapTried_ = false;
    recordLength_ = recordLength;
    if (::fchmod(fd.Get(), kFileMode) != 0 || !LockExclusive(fd.Get())) {
        ::unlink(path.c_str());
        return QELKF_ERR_IO;
    }
    fd_ = std::move(fd);
    if (uint16_t err = WriteHeader(0); err != QELKF_ERR_NONE) {
        Close(true);
        return err;
    }
    headerCount_ = 0;
    slotsInFile_ = 0;
    return QELKF_ERR_NONE;
}

uint16_t DataFile::Open(const std::string& path, bool build) {
    if (path.empty()) return QELKF_ERR_ARGUMENT;
    Fd fd(::open(path.c_str(), (build ? O_RDWR : O_RDONLY) | O_CLOEXEC));
    if (fd.Get() < 0) return QELKF_ERR_IO;
    if (build && !LockExclusive(fd.Get())) return QELKF_ERR_IO;
    // Read the header only under the lock: a builder rewrites it.
    struct stat st {};
    if (::fstat(fd.Get(), &st) != 0) return QELKF_ERR_IO;
    if (!S_ISREG(st.st_mode)) return QELKF_ERR_DAMAGED;
    uint8_t header[kDataHeaderBytes];
    size_t got = 0;
    if (!ReadAll(fd.Get(), header, sizeof header, 0, &got)) return QELKF_ERR_IO;
    if (got != sizeof header || std::memcmp(header, kDataMagic, sizeof kDataMagic) != 0) {
        return QELKF_ERR_DAMAGED;
    }
    uint64_t version = GetBig(header + 8, 4);
    uint64_t recordLength = GetBig(header + 12, 4);
    uint64_t count = GetBig(header + 16, 8);
    if (version != kDataVersion || !ValidRecordLength(recordLength) || count > kMaxSlots) {
        return QELKF_ERR_DAMAGED;
    }
    uint64_t size = uint64_t(st.st_size);
    uint64_t first = FirstSlot(uint32_t(recordLength));
    uint64_t slots = size / recordLength;
    slots = slots > first ? slots - first : 0;
    if (slots < count) return QELKF_ERR_DAMAGED;  // truncated
    path_ = path;
    created_ = false;
    build_ = build;
    map_.Reset();
    mapTried_ = false;
    recordLength_ = uint32_t(recordLength);
    headerCount_ = count;
    slotsInFile_ = slots;
    fd_ = std::move(fd);
    return QELKF_ERR_NONE;
}

bool DataFile::Covers(uint64_t count) const {
    struct stat st {};
    if (!IsOpen() || count > kMaxSlots || ::fstat(fd_.Get(), &st) != 0) return false;
    return uint64_t(st.st_size) >= SlotPosition(recordLength_, count);
}

Mapping& Mapping::operator=(Mapping&& other) noexcept {
    if (this != &other) {
        Reset();
        data_ = other.data_;
        size_ = other.size_;
        other.data_ = nullptr;
    }
    return *this;
}

bool Mapping::Map(int fd, size_t size) {
    Reset();
    if (size == 0) return false;
    void* p = ::mmap(nullptr, size, PROT_READ, MAP_SHARED, fd, 0);
    if (p == MAP_FAILED) return false;
    data_ = static_cast<const uint8_t*>(p);
    size_ = size;
    return true;
}

void Mapping::Reset() {
    if (data_ != nullptr) ::munmap(const_cast<uint8_t*>(data_), size_);
    data_ = nullptr;
}

uint16_t DataFile::Read(uint64_t slot, std::span<uint8_t> record, bool zeroPastEnd) const {
    if (!IsOpen() || record.size() != recordLength_ || slot >= kMaxSlots) return QELKF_ERR_ARGUMENT;
    if (!build_) {
        if (!mapTried_) {
            mapTried_ = true;
            struct stat st {};
            if (::fstat(fd_.Get(), &st) == 0 && st.st_size > 0) map_.Map(fd_.Get(), size_t(st.st_size));
        }
        const uint64_t position = SlotPosition(recordLength_, slot);
        if (position <= map_.Size() && record.size() <= map_.Size() - position) {
            std::memcpy(record.data(), map_.Data() + position, record.size());
            return QELKF_ERR_NONE;
        }
    }
    size_t got = 0;
    if (!ReadAll(fd_.Get(), record.data(), record.size(), SlotPosition(recordLength_, slot), &got)) {
        return QELKF_ERR_IO;
    }
    if (got == record.size()) return QELKF_ERR_NONE;
    if (!zeroPastEnd) return QELKF_ERR_DAMAGED;  // shrunk under us
    std::memset(record.data() + got, 0, record.size() - got);
    return QELKF_ERR_NONE;
}

uint16_t DataFile::Write(uint64_t slot, std::span<const uint8_t> record) {
    if (!IsOpen() || record.size() != recordLength_ || slot >= kMaxSlots) return QELKF_ERR_ARGUMENT;
    if (!WriteAll(fd_.Get(), record.data(), record.size(), SlotPosition(recordLength_, slot))) {
        return QELKF_ERR_IO;
    }
    if (slot >= slotsInFile_) slotsInFile_ = slot + 1;
    return QELKF_ERR_NONE;
}

uint16_t DataFile::WriteHeader(uint64_t count) {
    // The header takes whole slots, zero padded.
    std::string header(FirstSlot(recordLength_) * recordLength_, '\0');
    auto* bytes = reinterpret_cast<uint8_t*>(header.data());
    std::memcpy(bytes, kDataMagic, sizeof kDataMagic);
    PutBig(kDataVersion, 4, bytes + 8);
    PutBig(recordLength_, 4, bytes + 12);
    PutBig(count, 8, bytes + 16);
    if (!WriteAll(fd_.Get(), bytes, header.size(), 0)) return QELKF_ERR_IO;
    return QELKF_ERR_NONE;
}

uint16_t DataFile::Sync(uint64_t count) {
    if (!IsOpen() || count > kMaxSlots) return QELKF_ERR_ARGUMENT;
    // Reserved slots never written still belong to the file: they read as zeros.
    if (count > slotsInFile_) {
        if (::ftruncate(fd_.Get(), off_t(SlotPosition(recordLength_, count))) != 0) return QELKF_ERR_IO;
        slotsInFile_ = count;
    }
    if (uint16_t err = WriteHeader(count); err != QELKF_ERR_NONE) return err;
    if (::fdatasync(fd_.Get()) != 0) return QELKF_ERR_IO;
    headerCount_ = count;
    return QELKF_ERR_NONE;
}

uint16_t DataFile::Flush() {
    if (!IsOpen()) return QELKF_ERR_ARGUMENT;
    return ::fdatasync(fd_.Get()) == 0 ? QELKF_ERR_NONE : QELKF_ERR_IO;
}

void DataFile::Close(bool remove) {
    // Unlink before closing: the lock keeps another builder out until the name is gone.
    if (remove && IsOpen()) ::unlink(path_.c_str());
    map_.Reset();
    mapTried_ = false;
    fd_.Reset();
}

}  // namespace qel::local::detail::kf
