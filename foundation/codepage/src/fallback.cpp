// fallback.cpp - the built-in single-byte tables when conversion tables are missing.
//
// Characters pass through ISO 8859-1 (or code page 850 where a side is 850), so a UCS-2
// or UTF-8 side keeps every character up to U+00FF; anything beyond becomes the target's
// substitution byte.
#include "fallback.h"

#include <new>
#include <vector>

#include "arc_codepage.h"
#include "fallback_tables.h"

namespace qel::codepage {
namespace {

constexpr uint8_t kEbcdicSub = 0x3F;
constexpr uint8_t kAsciiSub = 0x1A;
constexpr int32_t kPc850 = 850;
// The EBCDIC page whose tables link ISO 8859-1 and 850 when neither side is EBCDIC.
constexpr int32_t kBridgeEbcdic = 500;

enum class Family { kUcs2, kUtf8, kEbcdic, kAscii };

Family FamilyOf(int32_t ccsid) {
    if (ArcICONV_IsUcs2Ccsid(ccsid)) return Family::kUcs2;
    if (ArcICONV_IsUtf8Ccsid(ccsid)) return Family::kUtf8;
    if (ArcICONV_IsEbcdicCcsid(ccsid)) return Family::kEbcdic;
    return Family::kAscii;
}

// The three EBCDIC bytes for '[', ']' and '@' of the pages the exchange knows.
const uint8_t* ExchangeBytes(int32_t ccsid) {
    static constexpr uint8_t k37[] = {0xBA, 0xBB, 0x7C};
    static constexpr uint8_t k277[] = {0x9E, 0x9F, 0x80};
    static constexpr uint8_t k500[] = {0x4A, 0x5A, 0x7C};
    static constexpr uint8_t k1047[] = {0xAD, 0xBD, 0x7C};
    switch (ccsid) {
        case 37: return k37;
        case 277: return k277;
        case 500: return k500;
        case 1047: return k1047;
        default: return nullptr;
    }
}

// Decodes the source into characters of U+0000..U+FFFF.
int Decode(int32_t ccsid, std::string_view input, std::vector<uint16_t>* units) {
    const auto* bytes = reinterpret_cast<const uint8_t*>(input.data());
    const size_t size = input.size();
    switch (FamilyOf(ccsid)) {
        case Family::kUcs2:
            if (size % 2 != 0) return ARC_ICONV_INVALID_INPUT;
            for (size_t i = 0; i < size; i += 2) {
                uint16_t unit;
                __builtin_memcpy(&unit, bytes + i, 2);
                units->push_back(unit);
            }
            return ARC_ICONV_OK;
        case Family::kUtf8:
            for (size_t i = 0; i < size;) {
                uint8_t lead = bytes[i];
                size_t length = lead < 0x80 ? 1 : (lead & 0xE0) == 0xC0 ? 2 : (lead & 0xF0) == 0xE0 ? 3 : 0;
                if (length == 0 || lead == 0xC0 || lead == 0xC1) return ARC_ICONV_INVALID_INPUT;
                for (size_t k = 1; k < length && i + k < size; ++k) {
                    if ((bytes[i + k] & 0xC0) != 0x80) return ARC_ICONV_INVALID_INPUT;
                }
                if (i + length > size) return ARC_ICONV_INCOMPLETE_INPUT;
                uint32_t value = length == 1   ? lead
                                 : length == 2 ? (lead & 0x1Fu) << 6 | (bytes[i + 1] & 0x3Fu)
                                               : (lead & 0x0Fu) << 12 | (bytes[i + 1] & 0x3Fu) << 6 |
                                                     (bytes[i + 2] & 0x3Fu);
                if (length == 3 && value < 0x800) return ARC_ICONV_INVALID_INPUT;
                units->push_back(static_cast<uint16_t>(value));
                i += length;
            }
            return ARC_ICONV_OK;
        case Family::kEbcdic: {
            const ByteMap& toLatin1 = FallbackTablesFor(ccsid).ebcdicToLatin1;
            for (size_t i = 0; i < size; ++i) units->push_back(toLatin1[bytes[i]]);
            return ARC_ICONV_OK;
        }
        case Family::kAscii:
            if (ccsid == kPc850) {
                const FallbackTables& bridge = FallbackTablesFor(kBridgeEbcdic);
                for (size_t i = 0; i < size; ++i) {
                    units->push_back(bridge.ebcdicToLatin1[bridge.pc850ToEbcdic[bytes[i]]]);
                }
            } else {
                for (size_t i = 0; i < size; ++i) units->push_back(bytes[i]);
            }
            return ARC_ICONV_OK;
    }
    return ARC_ICONV_OTHER;
}

void AppendUtf8(uint16_t unit, std::string* output) {
    if (unit < 0x80) {
        output->push_back(static_cast<char>(unit));
    } else if (unit < 0x800) {
        output->push_back(static_cast<char>(0xC0 | unit >> 6));
        output->push_back(static_cast<char>(0x80 | (unit & 0x3F)));
    } else {
        output->push_back(static_cast<char>(0xE0 | unit >> 12));
        output->push_back(static_cast<char>(0x80 | ((unit >> 6) & 0x3F)));
        output->push_back(static_cast<char>(0x80 | (unit & 0x3F)));
    }
}

void Encode(int32_t ccsid, const std::vector<uint16_t>& units, std::string* output) {
    switch (FamilyOf(ccsid)) {
        case Family::kUcs2:
            for (uint16_t unit : units) output->append(reinterpret_cast<const char*>(&unit), 2);
            return;
        case Family::kUtf8:
            for (uint16_t unit : units) AppendUtf8(unit, output);
            return;
        case Family::kEbcdic: {
            const ByteMap& fromLatin1 = FallbackTablesFor(ccsid).latin1ToEbcdic;
            for (uint16_t unit : units)
                output->push_back(static_cast<char>(unit <= 0xFF ? fromLatin1[unit] : kEbcdicSub));
            return;
        }
        case Family::kAscii: {
            const FallbackTables& bridge = FallbackTablesFor(kBridgeEbcdic);
            for (uint16_t unit : units) {
                uint8_t byte = kAsciiSub;
                if (unit <= 0xFF) {
                    byte = ccsid == kPc850 ? bridge.ebcdicTo850[bridge.latin1ToEbcdic[unit]]
                                           : static_cast<uint8_t>(unit);
                }
                output->push_back(static_cast<char>(byte));
            }
            return;
        }
    }
}

// Byte to byte between two single-byte pages, where a direct table exists.
bool DirectTables(int32_t source, int32_t target, std::string_view input, std::string* output) {
    const Family from = FamilyOf(source);
    const Family to = FamilyOf(target);
    const auto* bytes = reinterpret_cast<const uint8_t*>(input.data());
    if (from == Family::kEbcdic && to == Family::kEbcdic) {
        // Only '[', ']' and '@' move between the pages the exchange knows.
        const uint8_t* a = ExchangeBytes(source);
        const uint8_t* b = ExchangeBytes(target);
        output->assign(input);
        if (a == nullptr || b == nullptr) return true;
        for (char& c : *output) {
            for (int k = 0; k < 3; ++k) {
                if (static_cast<uint8_t>(c) == a[k]) {
                    c = static_cast<char>(b[k]);
                    break;
                }
            }
        }
        return true;
    }
    const ByteMap* map = nullptr;
    if (from == Family::kAscii && to == Family::kEbcdic) {
        const FallbackTables& tables = FallbackTablesFor(target);
        map = source == kPc850 ? &tables.pc850ToEbcdic : &tables.latin1ToEbcdic;
    } else if (from == Family::kEbcdic && to == Family::kAscii) {
        const FallbackTables& tables = FallbackTablesFor(source);
        map = target == kPc850 ? &tables.ebcdicTo850 : &tables.ebcdicToLatin1;
    } else if (from == Family::kAscii && to == Family::kAscii && (source == kPc850) == (target == kPc850)) {
        output->assign(input);
        return true;
    } else {
        return false;
    }
    output->resize(input.size());
    for (size_t i = 0; i < input.size(); ++i) (*output)[i] = static_cast<char>((*map)[bytes[i]]);
    return true;
}

}  // namespace

int FallbackConvert(int32_t sourceCcsid, int32_t targetCcsid, std::string_view input, std::string* output) {
    try {
        output->clear();
        if (DirectTables(sourceCcsid, targetCcsid, input, output)) return ARC_ICONV_OK;
        std::vector<uint16_t> units;
        units.reserve(input.size());
        if (int rc = Decode(sourceCcsid, input, &units); rc != ARC_ICONV_OK) return rc;
        Encode(targetCcsid, units, output);
        return ARC_ICONV_OK;
    } catch (const std::bad_alloc&) {
        return ARC_ICONV_NO_MEMORY;
    }
}

}  // namespace qel::codepage
