// kf_lmdb_check.cpp - walks the pages of an LMDB file (format version 1) with pread.
#include "kf_lmdb_check.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "keyed_file.h"
#include "kf_data_file.h"

namespace qel::local::detail::kf {
namespace {

// The on-disk layout of LMDB 0.9 on a 64-bit host (native byte order).
constexpr size_t kPageHeader = 16;  // pgno 8, pad 2, flags 2, lower 2, upper 2 (or pages 4)
constexpr size_t kNodeHeader = 8;   // lo 2, hi 2, flags 2, ksize 2
constexpr size_t kMetaAt = kPageHeader;
constexpr size_t kDbSize = 48;  // pad 4, flags 2, depth 2, branch, leaf, overflow, entries, root
constexpr uint32_t kMagic = 0xBEEFC0DE;
constexpr uint32_t kDataVersion = 1;
constexpr uint16_t kBranch = 0x01, kLeaf = 0x02, kOverflow = 0x04;
constexpr uint16_t kBigData = 0x01, kSubData = 0x02;
constexpr uint64_t kNoPage = ~uint64_t(0);
constexpr int kMaxDepth = 32;

template <typename T>
T At(const std::vector<uint8_t>& bytes, size_t offset) {
    T value;
    std::memcpy(&value, bytes.data() + offset, sizeof value);
    return value;
}

struct Db {
    uint16_t flags = 0;
    uint16_t depth = 0;
    uint64_t root = kNoPage;
};

Db DbAt(const std::vector<uint8_t>& bytes, size_t offset) {
    return Db{At<uint16_t>(bytes, offset + 4), At<uint16_t>(bytes, offset + 6),
              At<uint64_t>(bytes, offset + 40)};
}

enum class Kind { Free, Main, Member };

class Checker {
public:
    Checker(int fd, size_t pageSize, uint64_t lastPage)
        : fd_(fd), pageSize_(pageSize), lastPage_(lastPage), seen_(lastPage + 1, false) {}

    uint16_t Tree(const Db& db, Kind kind) {
        if (db.root == kNoPage) return db.depth == 0 ? QELKF_ERR_NONE : QELKF_ERR_DAMAGED;
        // The free list has integer keys; the main database and ours use no key or
        // duplicate flags (the rest are LMDB's own).
        const uint16_t keyFlags =
            MDB_REVERSEKEY | MDB_DUPSORT | MDB_INTEGERKEY | MDB_DUPFIXED | MDB_INTEGERDUP | MDB_REVERSEDUP;
        const uint16_t expected = kind == Kind::Free ? MDB_INTEGERKEY : 0;
        if ((db.flags & keyFlags) != expected || db.depth == 0 || db.depth > kMaxDepth)
            return QELKF_ERR_DAMAGED;
        return Page(db.root, db.depth, kind);
    }

private:
    uint16_t Read(uint64_t page, std::vector<uint8_t>* bytes) {
        bytes->assign(pageSize_, 0);
        size_t done = 0;
        while (done < pageSize_) {
            ssize_t n = ::pread(fd_, bytes->data() + done, pageSize_ - done, off_t(page * pageSize_ + done));
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) return QELKF_ERR_IO;
            if (n == 0) return QELKF_ERR_DAMAGED;
            done += size_t(n);
        }
        return At<uint64_t>(*bytes, 0) == page ? QELKF_ERR_NONE : QELKF_ERR_DAMAGED;
    }

    bool Claim(uint64_t page) {
        if (page < 2 || page > lastPage_ || seen_[page]) return false;  // pages 0, 1: meta
        seen_[page] = true;
        return true;
    }

    // levels: the levels from this page down to the leaves, 1 for a leaf.
    uint16_t Page(uint64_t number, int levels, Kind kind) {
        if (!Claim(number)) return QELKF_ERR_DAMAGED;
        std::vector<uint8_t> page;
        if (uint16_t err = Read(number, &page); err != QELKF_ERR_NONE) return err;
        const uint16_t flags = At<uint16_t>(page, 10), lower = At<uint16_t>(page, 12),
                       upper = At<uint16_t>(page, 14);
        const bool branch = flags == kBranch, leaf = flags == kLeaf;
        if ((branch ? levels < 2 : !leaf || levels != 1) || lower < kPageHeader || lower % 2 != 0 ||
            lower > upper || upper > pageSize_) {
            return QELKF_ERR_DAMAGED;
        }
        const size_t count = (lower - kPageHeader) / 2;
        if (branch && count == 0) return QELKF_ERR_DAMAGED;
        for (size_t i = 0; i < count; ++i) {
            const size_t node = At<uint16_t>(page, kPageHeader + 2 * i);
            if (node < upper || node + kNodeHeader > pageSize_) return QELKF_ERR_DAMAGED;
            const uint64_t lo = At<uint16_t>(page, node), hi = At<uint16_t>(page, node + 2);
            const uint16_t nodeFlags = At<uint16_t>(page, node + 4);
            const size_t keyEnd = node + kNodeHeader + At<uint16_t>(page, node + 6);
            if (keyEnd > pageSize_) return QELKF_ERR_DAMAGED;
            if (branch) {
                const uint64_t child = lo | (hi << 16) | (uint64_t(nodeFlags) << 32);
                if (uint16_t err = Page(child, levels - 1, kind); err != QELKF_ERR_NONE) return err;
                continue;
            }
            const uint64_t size = lo | (hi << 16);
            if (uint16_t err = LeafData(page, keyEnd, size, nodeFlags, kind); err != QELKF_ERR_NONE)
                return err;
        }
        return QELKF_ERR_NONE;
    }

    uint16_t LeafData(const std::vector<uint8_t>& page, size_t at, uint64_t size, uint16_t flags, Kind kind) {
        std::vector<uint8_t> data;
        if (flags == kBigData) {
            if (at + 8 > pageSize_) return QELKF_ERR_DAMAGED;
            uint64_t first = At<uint64_t>(page, at);
            if (!Claim(first)) return QELKF_ERR_DAMAGED;
            std::vector<uint8_t> head;
            if (uint16_t err = Read(first, &head); err != QELKF_ERR_NONE) return err;
            const uint64_t pages = At<uint32_t>(head, 12);
            if (At<uint16_t>(head, 10) != kOverflow || pages == 0 || pages > lastPage_ - first + 1 ||
                size > pages * pageSize_ - kPageHeader) {
                return QELKF_ERR_DAMAGED;
            }
            for (uint64_t p = first + 1; p < first + pages; ++p) {
                if (!Claim(p)) return QELKF_ERR_DAMAGED;
            }
            if (kind != Kind::Free) return QELKF_ERR_NONE;
            // A free-list entry that big: read it whole to check its page numbers.
            data.resize(size);
            size_t done = 0;
            while (done < size) {
                ssize_t n = ::pread(fd_, data.data() + done, size - done,
                                    off_t(first * pageSize_ + kPageHeader + done));
                if (n < 0 && errno == EINTR) continue;
                if (n <= 0) return QELKF_ERR_DAMAGED;
                done += size_t(n);
            }
        } else if (flags == 0 || (flags == kSubData && kind == Kind::Main)) {
            if (size > pageSize_ || at + size > pageSize_) return QELKF_ERR_DAMAGED;
            data.assign(page.begin() + long(at), page.begin() + long(at + size));
        } else {
            return QELKF_ERR_DAMAGED;  // no duplicate data in our files
        }
        if (kind == Kind::Free) {
            // An ID list: a count, then that many page numbers.
            if (data.size() < 8 || data.size() % 8 != 0 || At<uint64_t>(data, 0) != data.size() / 8 - 1) {
                return QELKF_ERR_DAMAGED;
            }
            for (size_t i = 8; i < data.size(); i += 8) {
                uint64_t page = At<uint64_t>(data, i);
                if (page < 2 || page > lastPage_) return QELKF_ERR_DAMAGED;
            }
        }
        if (flags == kSubData) {
            if (data.size() != kDbSize) return QELKF_ERR_DAMAGED;
            return Tree(DbAt(data, 0), Kind::Member);
        }
        return QELKF_ERR_NONE;
    }

    int fd_;
    size_t pageSize_;
    uint64_t lastPage_;
    std::vector<bool> seen_;
};

}  // namespace

uint16_t CheckIndexHeader(const char* path) {
    Fd fd(::open(path, O_RDONLY | O_CLOEXEC));
    struct stat st {};
    if (fd.Get() < 0 || ::fstat(fd.Get(), &st) != 0) return QELKF_ERR_IO;
    const uint64_t fileSize = uint64_t(st.st_size);
    uint64_t pageSize = 0;
    for (uint64_t metaPage : {0, 1}) {
        // Page 0 names the page size, and so where page 1 is.
        std::vector<uint8_t> meta(kMetaAt + 136);
        if (::pread(fd.Get(), meta.data(), meta.size(), off_t(metaPage * pageSize)) != ssize_t(meta.size())) {
            return QELKF_ERR_DAMAGED;
        }
        const uint64_t psize = At<uint32_t>(meta, kMetaAt + 24);
        if (metaPage == 0) pageSize = psize;
        const uint64_t lastPage = At<uint64_t>(meta, kMetaAt + 120),
                       mapSize = At<uint64_t>(meta, kMetaAt + 16);
        const Db free = DbAt(meta, kMetaAt + 24), main = DbAt(meta, kMetaAt + 24 + kDbSize);
        if (At<uint64_t>(meta, 0) != metaPage || At<uint32_t>(meta, kMetaAt) != kMagic ||
            At<uint32_t>(meta, kMetaAt + 4) != kDataVersion || At<uint64_t>(meta, kMetaAt + 8) != 0 ||
            psize != pageSize || psize < 512 || psize > 65536 || (psize & (psize - 1)) != 0 || lastPage < 1 ||
            lastPage >= fileSize / psize || mapSize > (uint64_t(1) << 44) || free.depth > kMaxDepth ||
            main.depth > kMaxDepth || (free.root != kNoPage && free.root > lastPage) ||
            (main.root != kNoPage && main.root > lastPage)) {
            return QELKF_ERR_DAMAGED;
        }
    }
    return QELKF_ERR_NONE;
}

uint16_t CheckIndexPages(MDB_env* env, MDB_txn* txn) {
    static_assert(sizeof(size_t) == 8, "the page layout checked is that of 64-bit hosts");
    int fd = -1;
    MDB_stat stat{};
    if (mdb_env_get_fd(env, &fd) != MDB_SUCCESS || mdb_env_stat(env, &stat) != MDB_SUCCESS)
        return QELKF_ERR_IO;
    const size_t pageSize = stat.ms_psize;
    if (pageSize < 512 || pageSize > 65536) return QELKF_ERR_DAMAGED;
    const uint64_t txnid = mdb_txn_id(txn);
    // The meta page of the snapshot; the other one may be rewritten meanwhile.
    for (uint64_t metaPage : {0, 1}) {
        std::vector<uint8_t> meta(pageSize);
        if (::pread(fd, meta.data(), pageSize, off_t(metaPage * pageSize)) != ssize_t(pageSize)) {
            return QELKF_ERR_DAMAGED;
        }
        if (At<uint32_t>(meta, kMetaAt) != kMagic || At<uint32_t>(meta, kMetaAt + 4) != kDataVersion ||
            At<uint64_t>(meta, kMetaAt + 128) != txnid) {
            continue;
        }
        const uint64_t lastPage = At<uint64_t>(meta, kMetaAt + 120);
        struct stat st {};
        if (::fstat(fd, &st) != 0) return QELKF_ERR_IO;
        if (lastPage < 1 || uint64_t(st.st_size) / pageSize < lastPage + 1) return QELKF_ERR_DAMAGED;
        Checker checker(fd, pageSize, lastPage);
        if (uint16_t err = checker.Tree(DbAt(meta, kMetaAt + 24), Kind::Free); err != QELKF_ERR_NONE)
            return err;
        return checker.Tree(DbAt(meta, kMetaAt + 24 + kDbSize), Kind::Main);
    }
    return QELKF_ERR_DAMAGED;
}

}  // namespace qel::local::detail::kf
