// arc_byteorder.h - big-endian (network order) numbers at any byte address.
//
// Every multi-byte number in a wire frame, a marshalled record or the document
// container is stored big-endian, whatever the host. These routines read and write
// such numbers at unaligned addresses (memcpy, then a byte swap on little-endian
// hosts), so callers may point them anywhere inside a byte buffer.
//
// Put routines take the value first and the destination second; get routines take
// the source and return the value. The caller guarantees that the bytes exist.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>

namespace qel_byteorder_detail {

template <typename T>
inline T ToBig(T value) {
    if constexpr (std::endian::native == std::endian::big) {
        return value;
    } else if constexpr (sizeof(T) == 2) {
        return static_cast<T>(__builtin_bswap16(value));
    } else if constexpr (sizeof(T) == 4) {
        return static_cast<T>(__builtin_bswap32(value));
    } else {
        return static_cast<T>(__builtin_bswap64(value));
    }
}

template <typename T>
inline T Load(const void* source) {
    T raw;
    std::memcpy(&raw, source, sizeof raw);
    return ToBig(raw);
}

template <typename T>
inline void Store(T value, void* destination) {
    const T raw = ToBig(value);
    std::memcpy(destination, &raw, sizeof raw);
}

}  // namespace qel_byteorder_detail

// The 16-bit value stored big-endian at source.
inline uint16_t QelGetBE16(const void* source) { return qel_byteorder_detail::Load<uint16_t>(source); }
// The 32-bit value stored big-endian at source.
inline uint32_t QelGetBE32(const void* source) { return qel_byteorder_detail::Load<uint32_t>(source); }
// The 64-bit value stored as two big-endian words at source, high word first
// (which is the same as one big-endian 64-bit number).
inline uint64_t QelGetBE64(const void* source) { return qel_byteorder_detail::Load<uint64_t>(source); }
// The IEEE double whose bits are stored as QelGetBE64 reads them.
inline double QelGetBEDouble(const void* source) { return std::bit_cast<double>(QelGetBE64(source)); }

// Stores value big-endian in the 2, 4 or 8 bytes at destination.
inline void QelPutBE16(uint16_t value, void* destination) { qel_byteorder_detail::Store(value, destination); }
inline void QelPutBE32(uint32_t value, void* destination) { qel_byteorder_detail::Store(value, destination); }
// Stores a 64-bit value as two big-endian words, high word first. For a double pass
// its bits: QelPutBE64(std::bit_cast<uint64_t>(d), destination).
inline void QelPutBE64(uint64_t value, void* destination) { qel_byteorder_detail::Store(value, destination); }
// Stores the 4 bytes of an IEEE single big-endian.
inline void QelPutBEFloat(float value, void* destination) {
    qel_byteorder_detail::Store(std::bit_cast<uint32_t>(value), destination);
}

// The older names: plain forwards to the width-named routines.
inline uint16_t QelGetShort(const void* source) { return QelGetBE16(source); }
inline uint32_t QelGetLong(const void* source) { return QelGetBE32(source); }
inline void QelPutShort(uint16_t value, void* destination) { QelPutBE16(value, destination); }
inline void QelPutLong(uint32_t value, void* destination) { QelPutBE32(value, destination); }
