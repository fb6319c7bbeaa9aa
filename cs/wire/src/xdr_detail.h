// xdr_detail.h - helpers shared by the codec's sources; no other component includes it.
#pragma once

#include "qel_cswire.h"

#include <cstdlib>

namespace qel_cswire::detail {

inline bool Encoding(const QelXdr* xdr) { return xdr->op == QELXDR_ENCODE; }
inline bool Decoding(const QelXdr* xdr) { return xdr->op == QELXDR_DECODE; }
inline bool Freeing(const QelXdr* xdr) { return xdr->op == QELXDR_FREE; }

// Moves bytes through the stream's movers and counts them in xdr->position.
bool GetRaw(QelXdr* xdr, void* bytes, uint32_t count);
bool PutRaw(QelXdr* xdr, const void* bytes, uint32_t count);
// Reads and drops the zero bytes that pad count bytes to a multiple of 4 (or writes them).
bool Padding(QelXdr* xdr, uint32_t count);

// Counts bytes that decoding is about to allocate for the message: false (overLimit set)
// when they would take it past the stream's decodeLimit. An allocation of its own
// (not the growth of one) adds CS_XDR_ALLOCATION_COST.
bool Charge(QelXdr* xdr, uint64_t bytes, bool ownAllocation = true);
// calloc of count * size bytes, charged first; null when refused or out of memory.
void* ChargedCalloc(QelXdr* xdr, size_t count, size_t size);
// Starts the counts of a new message (decodeLimit stays).
inline void StartMessageCounts(QelXdr* xdr) {
    xdr->position = 0;
    xdr->allocated = 0;
    xdr->overLimit = 0;
}

// Frees *pointer (malloc'd) and clears it.
template <typename T>
void Release(T** pointer) {
    std::free(*pointer);
    *pointer = nullptr;
}

// Runs a text procedure with the stream in another fix-up mode.
class TextModeScope {
public:
    TextModeScope(QelXdr* xdr, int mode) : xdr_(xdr), saved_(xdr->textMode) { xdr->textMode = mode; }
    ~TextModeScope() { xdr_->textMode = saved_; }
    TextModeScope(const TextModeScope&) = delete;
    TextModeScope& operator=(const TextModeScope&) = delete;

private:
    QelXdr* xdr_;
    int saved_;
};

// Sets the application-group context around the hit rows of a body.
class GroupScope {
public:
    GroupScope(QelXdr* xdr, const CsXdrApplGroup* group) : xdr_(xdr), saved_(xdr->group) {
        xdr->group = group;
    }
    ~GroupScope() { xdr_->group = saved_; }
    GroupScope(const GroupScope&) = delete;
    GroupScope& operator=(const GroupScope&) = delete;

private:
    QelXdr* xdr_;
    const CsXdrApplGroup* saved_;
};

// Typed wrappers around the generic procedures.
template <typename T>
bool Optional(QelXdr* xdr, T** pointer, QelXdrProc proc) {
    return QelXdr_Pointer(xdr, reinterpret_cast<void**>(pointer), sizeof(T), proc);
}
template <typename T>
bool Required(QelXdr* xdr, T** pointer, QelXdrProc proc) {
    return QelXdr_Reference(xdr, reinterpret_cast<void**>(pointer), sizeof(T), proc);
}
template <typename T>
bool ArrayOf(QelXdr* xdr, T** array, uint16_t* count, QelXdrProc proc, long argument = 0,
             uint32_t maximum = CS_XDR_ARRAY_MAX) {
    return QelXdr_Array(xdr, reinterpret_cast<void**>(array), count, maximum, sizeof(T), proc, argument);
}
template <size_t N>
bool Field(QelXdr* xdr, char (&field)[N]) {
    return QelXdr_WrapString(xdr, field, static_cast<uint32_t>(N));
}

}  // namespace qel_cswire::detail
