// The rows a search has found, one bit per row, in pages of at most 32 KiB.
#include "hit_bitmap.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <new>

namespace qel::local::detail {

namespace {

constexpr int kNoMemory = 9;
constexpr size_t kWordsPerPage = QELBM_PAGE_BYTES / sizeof(uint64_t);

// Bit n of a word is row 64w + n whatever the byte order of the machine.
uint64_t FromBytes(const uint8_t* bytes) {
    uint64_t word = 0;
    std::memcpy(&word, bytes, sizeof word);
    if constexpr (std::endian::native == std::endian::big) word = __builtin_bswap64(word);
    return word;
}

void ToBytes(uint8_t* bytes, uint64_t word) {
    if constexpr (std::endian::native == std::endian::big) word = __builtin_bswap64(word);
    std::memcpy(bytes, &word, sizeof word);
}

}  // namespace

int HitBitmap::Size(int64_t rows, size_t* bytes, size_t* pages) {
    if (rows < 0 || rows > QELBM_MAX_ROWS) return kNoMemory;
    const size_t needBytes = rows == 0 ? 4 : size_t((rows - 1) / 32) * 4 + 4;
    const size_t needPages = (needBytes + 3) / QELBM_PAGE_BYTES + 1;
    if (needPages > QELBM_MAX_PAGES) return kNoMemory;
    if (bytes != nullptr) *bytes = needBytes;
    if (pages != nullptr) *pages = needPages;
    return 0;
}

int HitBitmap::Allocate(int64_t rows) {
    Free();
    size_t bytes = 0;
    size_t pages = 0;
    if (Size(rows, &bytes, &pages) != 0) return kNoMemory;
    try {
        std::vector<std::unique_ptr<uint8_t[]>> allocated;
        allocated.reserve(pages);
        for (size_t page = 0; page < pages; ++page) {
            // Whole words, so that every word of the rows can be read and written.
            const size_t first = page * QELBM_PAGE_BYTES;
            const size_t held = first < bytes ? std::min(QELBM_PAGE_BYTES, bytes - first) : 0;
            const size_t size = held == 0 ? sizeof(uint64_t) : (held + 7) / 8 * 8;
            allocated.push_back(std::make_unique<uint8_t[]>(size));  // zeroed
        }
        pages_ = std::move(allocated);
        maybeSet_.assign(pages, 0);
    } catch (const std::bad_alloc&) {
        return kNoMemory;
    }
    rows_ = rows;
    bytes_ = bytes;
    return 0;
}

void HitBitmap::Free() {
    pages_.clear();
    maybeSet_.clear();
    rows_ = 0;
    bytes_ = 0;
}

size_t HitBitmap::Words() const { return size_t((rows_ + 63) / 64); }

uint64_t HitBitmap::Word(size_t word) const {
    return FromBytes(&pages_[word / kWordsPerPage][word % kWordsPerPage * sizeof(uint64_t)]);
}

void HitBitmap::SetWord(size_t word, uint64_t value) {
    ToBytes(&pages_[word / kWordsPerPage][word % kWordsPerPage * sizeof(uint64_t)], value);
}

uint64_t HitBitmap::LastWordMask() const {
    const int used = int(rows_ % 64);
    return used == 0 ? ~uint64_t{0} : (uint64_t{1} << used) - 1;
}

void HitBitmap::Fill(bool ones) {
    const size_t words = Words();
    for (size_t w = 0; w < words; ++w) SetWord(w, ones ? ~uint64_t{0} : 0);
    if (words > 0 && ones) SetWord(words - 1, LastWordMask());
    for (size_t page = 0; page < maybeSet_.size(); ++page) {
        maybeSet_[page] = ones && page * kWordsPerPage < words;
    }
}

int64_t HitBitmap::NextSet(int64_t from) const {
    if (from < 0) from = 0;
    if (from >= rows_) return -1;
    const size_t words = Words();
    size_t w = size_t(from / 64);
    uint64_t bits = Word(w) & (~uint64_t{0} << (from % 64));
    while (bits == 0) {
        ++w;
        if (w % kWordsPerPage == 0) {
            // A page with nothing set is passed over whole.
            while (w < words && maybeSet_[w / kWordsPerPage] == 0) w += kWordsPerPage;
        }
        if (w >= words) return -1;
        bits = Word(w);
    }
    return int64_t(w) * 64 + std::countr_zero(bits);
}

int HitBitmap::Test(int64_t bit) const {
    if (bit == -1) return 255;
    if (bit < 0 || bit >= rows_) return 0;
    return (*Byte(bit) >> (bit & 7)) & 1;
}

void HitBitmap::Set(int64_t bit) {
    if (bit < 0 || bit >= rows_) return;
    *Byte(bit) = uint8_t(*Byte(bit) | (1u << (bit & 7)));
    maybeSet_[size_t(bit >> 3) / QELBM_PAGE_BYTES] = 1;
}

void HitBitmap::Clear(int64_t bit) {
    if (bit < 0 || bit >= rows_) return;
    *Byte(bit) = uint8_t(*Byte(bit) & ~(1u << (bit & 7)));
}

int HitBitmap::Combine(const HitBitmap& other, int op) {
    if (other.rows_ != rows_ || (op != QELBM_AND && op != QELBM_OR && op != QELBM_XOR)) return -1;
    const size_t words = Words();
    for (size_t page = 0; page * kWordsPerPage < words; ++page) {
        const size_t end = std::min(words, (page + 1) * kWordsPerPage);
        uint64_t any = 0;
        for (size_t w = page * kWordsPerPage; w < end; ++w) {
            const uint64_t a = Word(w);
            const uint64_t b = other.Word(w);
            const uint64_t result = op == QELBM_AND ? (a & b) : op == QELBM_OR ? (a | b) : (a ^ b);
            SetWord(w, result);
            any |= result;
        }
        maybeSet_[page] = any != 0;
    }
    return 0;
}

void HitBitmap::Invert() {
    const size_t words = Words();
    for (size_t page = 0; page * kWordsPerPage < words; ++page) {
        const size_t end = std::min(words, (page + 1) * kWordsPerPage);
        uint64_t any = 0;
        for (size_t w = page * kWordsPerPage; w < end; ++w) {
            const uint64_t result = ~Word(w) & (w + 1 == words ? LastWordMask() : ~uint64_t{0});
            SetWord(w, result);
            any |= result;
        }
        maybeSet_[page] = any != 0;
    }
}

int64_t HitBitmap::Count() const {
    int64_t count = 0;
    const size_t words = Words();
    for (size_t w = 0; w < words; ++w) {
        if (w % kWordsPerPage == 0 && maybeSet_[w / kWordsPerPage] == 0) {
            w += kWordsPerPage - 1;
            continue;
        }
        count += std::popcount(Word(w));
    }
    return count;
}

}  // namespace qel::local::detail
