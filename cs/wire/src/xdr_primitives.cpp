// xdr_primitives.cpp - scalars, opaque bytes, arrays and optional objects in the three
// operations of a marshalling stream.
#include "qel_cswire.h"
#include "xdr_detail.h"

#include "arc_byteorder.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <memory>
#include <vector>

namespace qel_cswire::detail {

bool GetRaw(QelXdr* xdr, void* bytes, uint32_t count) {
    if (count == 0) return true;
    if (xdr->getBytes == nullptr || !xdr->getBytes(xdr, bytes, count)) return false;
    xdr->position += count;
    return true;
}

bool PutRaw(QelXdr* xdr, const void* bytes, uint32_t count) {
    if (count == 0) return true;
    if (xdr->putBytes == nullptr || !xdr->putBytes(xdr, bytes, count)) return false;
    xdr->position += count;
    return true;
}

bool Charge(QelXdr* xdr, uint64_t bytes, bool ownAllocation) {
    const uint64_t limit = xdr->decodeLimit != 0 ? xdr->decodeLimit : CS_XDR_DECODE_LIMIT;
    const uint64_t cost = bytes + (ownAllocation ? CS_XDR_ALLOCATION_COST : 0);
    if (xdr->allocated > limit || cost > limit - xdr->allocated) {
        xdr->overLimit = 1;
        return false;
    }
    xdr->allocated += cost;
    return true;
}

void* ChargedCalloc(QelXdr* xdr, size_t count, size_t size) {
    if (size != 0 && count > SIZE_MAX / size) return nullptr;
    if (!Charge(xdr, uint64_t{count} * size)) return nullptr;
    return std::calloc(count, size);
}

bool Padding(QelXdr* xdr, uint32_t count) {
    static const unsigned char kZeros[4] = {};
    const uint32_t pad = (4 - count % 4) % 4;
    if (pad == 0) return true;
    if (Encoding(xdr)) return PutRaw(xdr, kZeros, pad);
    unsigned char skipped[4];
    return GetRaw(xdr, skipped, pad);
}

}  // namespace qel_cswire::detail

using namespace qel_cswire::detail;

namespace {

bool Word(QelXdr* xdr, uint32_t* value) {
    unsigned char raw[4];
    if (Encoding(xdr)) {
        QelPutBE32(*value, raw);
        return PutRaw(xdr, raw, 4);
    }
    if (Decoding(xdr)) {
        if (!GetRaw(xdr, raw, 4)) return false;
        *value = QelGetBE32(raw);
    }
    return true;
}

bool DoubleWord(QelXdr* xdr, uint64_t* value) {
    unsigned char raw[8];
    if (Encoding(xdr)) {
        QelPutBE64(*value, raw);
        return PutRaw(xdr, raw, 8);
    }
    if (Decoding(xdr)) {
        if (!GetRaw(xdr, raw, 8)) return false;
        *value = QelGetBE64(raw);
    }
    return true;
}

template <typename T>
bool SignedWord(QelXdr* xdr, T* value) {
    uint32_t word = static_cast<uint32_t>(static_cast<int32_t>(*value));
    if (!Word(xdr, &word)) return false;
    if (Decoding(xdr)) *value = static_cast<T>(static_cast<int32_t>(word));
    return true;
}

template <typename T>
bool UnsignedWord(QelXdr* xdr, T* value) {
    uint32_t word = *value;
    if (!Word(xdr, &word)) return false;
    if (Decoding(xdr)) *value = static_cast<T>(word);
    return true;
}

// Room for decoded elements or bytes grows with what actually arrives, so a count or
// length that lies costs no more memory than the bytes behind it.
constexpr size_t kFirstGrowth = 64 * 1024;

struct FreeDeleter {
    void operator()(void* p) const { std::free(p); }
};

}  // namespace

uint32_t CsXdrFeatures(uint32_t flags1, uint32_t flags2) {
    uint32_t features = 0;
    if (flags1 & 0x00100000u) features |= CS_FEATURE_RESERVED_WORD;
    if (flags1 & 0x40000000u) features |= CS_FEATURE_TEXTS;
    if (flags2 & 0x001u) features |= CS_FEATURE_LEVEL_22014;
    if (flags2 & 0x040u) features |= CS_FEATURE_LONG64;
    if (flags2 & 0x100u) features |= CS_FEATURE_SESSION;
    return features;
}

bool QelXdr_Long(QelXdr* xdr, int32_t* value) { return SignedWord(xdr, value); }
bool QelXdr_Int(QelXdr* xdr, int32_t* value) { return SignedWord(xdr, value); }
bool QelXdr_Enum(QelXdr* xdr, int32_t* value) { return SignedWord(xdr, value); }
bool QelXdr_Short(QelXdr* xdr, int16_t* value) { return SignedWord(xdr, value); }
bool QelXdr_ULong(QelXdr* xdr, uint32_t* value) { return Word(xdr, value); }
bool QelXdr_UInt(QelXdr* xdr, uint32_t* value) { return Word(xdr, value); }
bool QelXdr_UShort(QelXdr* xdr, uint16_t* value) { return UnsignedWord(xdr, value); }

bool QelXdr_Byte(QelXdr* xdr, uint8_t* value) {
    unsigned char raw[4] = {*value, 0, 0, 0};
    if (Encoding(xdr)) return PutRaw(xdr, raw, 4);
    if (Decoding(xdr)) {
        if (!GetRaw(xdr, raw, 4)) return false;
        *value = raw[0];
    }
    return true;
}

bool QelXdr_Char(QelXdr* xdr, char* value) {
    uint8_t byte = static_cast<uint8_t>(*value);
    if (!QelXdr_Byte(xdr, &byte)) return false;
    if (Decoding(xdr)) *value = static_cast<char>(byte);
    return true;
}

bool QelXdr_Hyper(QelXdr* xdr, int64_t* value) {
    uint64_t raw = static_cast<uint64_t>(*value);
    if (!DoubleWord(xdr, &raw)) return false;
    if (Decoding(xdr)) *value = static_cast<int64_t>(raw);
    return true;
}

bool QelXdr_UHyper(QelXdr* xdr, uint64_t* value) { return DoubleWord(xdr, value); }

bool QelXdr_LongValue(QelXdr* xdr, int64_t* value) {
    if (xdr->features & CS_FEATURE_LONG64) return QelXdr_Hyper(xdr, value);
    if (Encoding(xdr) && (*value < INT32_MIN || *value > INT32_MAX)) return false;
    int32_t word = static_cast<int32_t>(*value);
    if (!QelXdr_Int(xdr, &word)) return false;
    if (Decoding(xdr)) *value = word;
    return true;
}

bool QelXdr_Double(QelXdr* xdr, double* value) {
    uint64_t raw = std::bit_cast<uint64_t>(*value);
    if (!DoubleWord(xdr, &raw)) return false;
    if (Decoding(xdr)) *value = std::bit_cast<double>(raw);
    return true;
}

bool QelXdr_Opaque(QelXdr* xdr, void* bytes, uint32_t count) {
    if (count == 0 || Freeing(xdr)) return true;
    if (Encoding(xdr)) {
        if (!PutRaw(xdr, bytes, count)) return false;
    } else if (!GetRaw(xdr, bytes, count)) {
        return false;
    }
    return Padding(xdr, count);
}

bool QelXdr_Bytes(QelXdr* xdr, char** bytes, uint32_t* length, uint32_t maximum) {
    if (Freeing(xdr)) {
        Release(bytes);
        *length = 0;
        return true;
    }
    if (Encoding(xdr)) {
        if (*length > 0 && *bytes == nullptr) return false;
        return QelXdr_UInt(xdr, length) && QelXdr_Opaque(xdr, *bytes, *length);
    }
    uint32_t wireLength = 0;
    if (!QelXdr_UInt(xdr, &wireLength) || wireLength > maximum) return false;
    if (wireLength == 0) {
        *length = 0;
        return true;
    }
    if (*bytes != nullptr) {
        if (!QelXdr_Opaque(xdr, *bytes, wireLength)) return false;
        *length = wireLength;
        return true;
    }
    std::unique_ptr<char, FreeDeleter> buffer;
    size_t capacity = 0;
    size_t filled = 0;
    while (filled < wireLength) {
        if (filled == capacity) {
            const size_t wanted = std::min<size_t>(wireLength, capacity == 0 ? kFirstGrowth : capacity * 2);
            if (!Charge(xdr, wanted - capacity, capacity == 0)) return false;
            capacity = wanted;
            char* grown = static_cast<char*>(std::realloc(buffer.get(), capacity));
            if (grown == nullptr) return false;
            (void)buffer.release();
            buffer.reset(grown);
        }
        const auto step = static_cast<uint32_t>(capacity - filled);
        if (!GetRaw(xdr, buffer.get() + filled, step)) return false;
        filled += step;
    }
    if (!Padding(xdr, wireLength)) return false;
    *bytes = buffer.release();
    *length = wireLength;
    return true;
}

bool QelXdr_Array(QelXdr* xdr, void** array, uint16_t* count, uint32_t maximum, uint32_t elementSize,
                  QelXdrProc proc, long argument) {
    if (elementSize == 0 || proc == nullptr) return false;
    auto element = [&](size_t i) { return static_cast<char*>(*array) + i * elementSize; };
    if (Freeing(xdr)) {
        if (*array != nullptr) {
            for (size_t i = 0; i < *count; ++i) proc(xdr, element(i), argument);
            Release(reinterpret_cast<char**>(array));
        }
        *count = 0;
        return true;
    }
    uint32_t wireCount = *count;
    if (Encoding(xdr)) {
        if (wireCount > maximum || (wireCount > 0 && *array == nullptr)) return false;
        if (!QelXdr_UInt(xdr, &wireCount)) return false;
        for (size_t i = 0; i < wireCount; ++i)
            if (!proc(xdr, element(i), argument)) return false;
        return true;
    }
    // Checked as the 32-bit word, before it is narrowed to the 16-bit count.
    if (!QelXdr_UInt(xdr, &wireCount) || wireCount > maximum || wireCount > UINT16_MAX) return false;
    if (*array != nullptr) {
        *count = static_cast<uint16_t>(wireCount);
        for (size_t i = 0; i < wireCount; ++i)
            if (!proc(xdr, element(i), argument)) return false;
        return true;
    }
    *count = 0;
    size_t capacity = 0;
    for (size_t i = 0; i < wireCount; ++i) {
        if (i == capacity) {
            const size_t wanted = std::min<size_t>(wireCount, capacity == 0 ? 16 : capacity * 2);
            if (!Charge(xdr, uint64_t{wanted - capacity} * elementSize, capacity == 0)) return false;
            void* grown = std::realloc(*array, wanted * elementSize);
            if (grown == nullptr) return false;
            std::memset(static_cast<char*>(grown) + capacity * elementSize, 0,
                        (wanted - capacity) * elementSize);
            *array = grown;
            capacity = wanted;
            // Every allocated element is zeroed and counted, so a failure frees cleanly.
            *count = static_cast<uint16_t>(capacity);
        }
        if (!proc(xdr, element(i), argument)) return false;
    }
    *count = static_cast<uint16_t>(wireCount);
    return true;
}

bool QelXdr_Pointer(QelXdr* xdr, void** pointer, uint32_t size, QelXdrProc proc) {
    if (Freeing(xdr)) return QelXdr_Reference(xdr, pointer, size, proc);
    uint32_t absent = *pointer == nullptr ? 1 : 0;
    if (!QelXdr_UInt(xdr, &absent)) return false;
    if (absent > 1) return false;
    if (absent == 1) {
        if (Decoding(xdr)) *pointer = nullptr;
        return true;
    }
    return QelXdr_Reference(xdr, pointer, size, proc);
}

bool QelXdr_Reference(QelXdr* xdr, void** pointer, uint32_t size, QelXdrProc proc) {
    if (Freeing(xdr)) {
        if (*pointer != nullptr) {
            proc(xdr, *pointer, -1);
            Release(reinterpret_cast<char**>(pointer));
        }
        return true;
    }
    if (*pointer == nullptr) {
        if (Encoding(xdr)) {
            std::vector<unsigned char> zeroed(size);
            return proc(xdr, zeroed.data(), -1);
        }
        *pointer = ChargedCalloc(xdr, 1, size);
        if (*pointer == nullptr) return false;
    }
    return proc(xdr, *pointer, -1);
}

bool QelXdr_Void(QelXdr*, void*, long) { return true; }

void QelXdr_Free(QelXdrProc proc, void* object) {
    if (proc == nullptr || object == nullptr) return;
    QelXdr xdr{};
    xdr.op = QELXDR_FREE;
    proc(&xdr, object, 0);
}
