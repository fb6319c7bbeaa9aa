// fallback_tables_test.cpp - the built-in tables against glibc's code pages.
#include <map>

#include "fallback_tables.h"
#include "test_support.h"

namespace qel::codepage::test {
namespace {

// glibc's byte -> unit of a single-byte page (-1 when undefined).
std::array<int, 256> Decode(const char* page) {
    std::array<int, 256> units;
    for (int b = 0; b < 256; ++b) {
        std::string out;
        units[b] =
            GlibcConvert("UCS-2LE", page, std::string(1, static_cast<char>(b)), &out) && out.size() == 2
                ? static_cast<uint8_t>(out[0]) | static_cast<uint8_t>(out[1]) << 8
                : -1;
    }
    return units;
}

TEST(FallbackTables, AgreeWithGlibcAndAreInverses) {
    const std::array<int, 256> pc850 = Decode("IBM850");
    const struct {
        int32_t ccsid;
        const char* glibc;
    } pages[] = {{37, "IBM037"}, {277, "IBM277"}, {500, "IBM500"}};
    for (const auto& page : pages) {
        SCOPED_TRACE(page.ccsid);
        const FallbackTables& tables = FallbackTablesFor(page.ccsid);
        const std::array<int, 256> ebcdic = Decode(page.glibc);
        std::map<int, int> byUnit;  // unit -> EBCDIC byte
        for (int b = 0; b < 256; ++b) byUnit[ebcdic[b]] = b;
        const std::map<int, int> forced = {{0x1A, 0x1C}, {0x1C, 0x07}, {0x7F, 0x3F}};
        for (int b = 0; b < 256; ++b) {
            // ISO 8859-1 is unit = byte; glibc's page is the oracle.
            EXPECT_EQ(ebcdic[tables.latin1ToEbcdic[b]], b) << "latin-1 byte " << b;
            EXPECT_EQ(tables.latin1ToEbcdic[tables.ebcdicToLatin1[b]], b) << "ebcdic byte " << b;
            EXPECT_EQ(tables.pc850ToEbcdic[tables.ebcdicTo850[b]], b) << "ebcdic byte " << b;
            if (auto it = forced.find(b); it != forced.end()) {
                EXPECT_EQ(tables.pc850ToEbcdic[b], it->second) << "850 control " << b;
            } else if (auto shared = byUnit.find(pc850[b]); shared != byUnit.end()) {
                EXPECT_EQ(tables.pc850ToEbcdic[b], shared->second) << "850 byte " << b;
            }
        }
    }
    // Any other EBCDIC page uses the tables of 500.
    EXPECT_EQ(&FallbackTablesFor(1047).latin1ToEbcdic, &FallbackTablesFor(500).latin1ToEbcdic);
}

}  // namespace
}  // namespace qel::codepage::test
