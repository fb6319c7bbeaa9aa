// fallback_tables.h - the built-in single-byte tables used when no converter opens
// and QEL_IGN_ICONV_ERR asks to carry on regardless.
#pragma once

#include <array>
#include <cstdint>

namespace qel::codepage {

using ByteMap = std::array<uint8_t, 256>;

// The four directions for one EBCDIC code page; indexed by the input byte.
struct FallbackTables {
    const ByteMap& latin1ToEbcdic;
    const ByteMap& ebcdicToLatin1;
    const ByteMap& pc850ToEbcdic;
    const ByteMap& ebcdicTo850;
};

// Tables of 37, of 277, or of 500 for any other EBCDIC CCSID.
const FallbackTables& FallbackTablesFor(int32_t ebcdicCcsid);

}  // namespace qel::codepage
