// table_file_test.cpp - table files that are cut, flipped or lie in their header never
// crash the loader or the converters; a bad table does not open.
#include <cstring>

#include "table_file.h"
#include "table_module.h"
#include "test_support.h"

namespace qel::codepage::test {
namespace {

namespace fmt = uconvtab;

std::string StagedTable(const char* name) { return ReadBinary(StagedLocale() + "/uconvtab/" + name); }

int Parse(const std::string& bytes, TableData* table) {
    return ParseTable({reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()}, table);
}

void Put32(std::string& bytes, size_t at, uint32_t value) {
    for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<char>(value >> (8 * i));
}

// Runs every byte, some sequences and a sweep of units through converters on the table
// in all substitution modes: under ASan any read outside the table shows up here.
void Exercise(const TableData& data) {
    CachedTable cached;
    cached.data = data;
    std::string bytes;
    for (int b = 0; b < 256; ++b) bytes += static_cast<char>(b);
    bytes += Bytes({0x0E, 0x41, 0x41, 0x0F, 0x8F, 0xA1, 0xA1, 0x81});
    std::string units;
    for (uint32_t unit = 0; unit < 0x10000; unit += 3) units += Ucs2({static_cast<uint16_t>(unit)});
    for (int sub = kSubNo; sub <= kSubBoth; ++sub) {
        Modifiers modifiers;
        modifiers.sub = sub;
        modifiers.map = sub & 1;
        for (bool toUcs : {true, false}) {
            TableConverter converter(&cached, toUcs, modifiers, {0x3F});
            const std::string& input = toUcs ? bytes : units;
            // Restart after each stop so that every part of the input is visited.
            std::string out(input.size() * 4, '\0');
            for (size_t at = 0; at < input.size();) {
                const auto* in = reinterpret_cast<const uint8_t*>(input.data() + at);
                size_t inLeft = input.size() - at;
                auto* o = reinterpret_cast<uint8_t*>(out.data());
                size_t outLeft = out.size();
                converter.Convert(&in, &inLeft, &o, &outLeft);
                size_t consumed = input.size() - at - inLeft;
                at += consumed == 0 ? 1 : consumed;
            }
        }
    }
}

TEST(TableFile, ShippedTablesParse) {
    for (const char* name : {"KVR-037", "KVR-930", "KVR-943", "KVR-954"}) {
        TableData data;
        EXPECT_EQ(Parse(StagedTable(name), &data), 0) << name;
    }
}

TEST(TableFile, HeaderLies) {
    const std::string good = StagedTable("KVR-037");
    ASSERT_GT(good.size(), fmt::kMinimumFileSize);
    struct Case {
        const char* name;
        size_t at;
        std::string bytes;
    } cases[] = {
        {"size one less", 0, ""},
        {"mark swapped", fmt::kOffMark, Bytes({0xFF, 0xFE})},
        {"version 2", fmt::kOffVersion, Bytes({2})},
        {"byte 7 not zero", fmt::kOffZero, Bytes({1})},
        {"type 0", fmt::kOffType, Bytes({0, 0})},
        {"type 5", fmt::kOffType, Bytes({5, 0})},
        {"substitution bytes without end", fmt::kOffSubBytes, std::string(fmt::kSubBytesField, 'x')},
        {"lengths of two in a single-byte table", 0, ""},
    };
    for (const Case& c : cases) {
        std::string bytes = good;
        if (std::string(c.name) == "size one less") {
            Put32(bytes, 0, static_cast<uint32_t>(bytes.size() - 1));
        } else if (std::string(c.name).starts_with("lengths")) {
            uint32_t lengths = static_cast<uint8_t>(bytes[fmt::kOffDirectory]) |
                               static_cast<uint8_t>(bytes[fmt::kOffDirectory + 1]) << 8;
            bytes[lengths + 0x81] = 2;
        } else {
            bytes.replace(c.at, c.bytes.size(), c.bytes);
        }
        TableData data;
        EXPECT_EQ(Parse(bytes, &data), EINVAL) << c.name;
    }
    TableData data;
    EXPECT_EQ(Parse(good.substr(0, fmt::kHeaderSize), &data), EINVAL);
    EXPECT_EQ(Parse("", &data), EINVAL);
}

uint32_t Get32(const std::string& bytes, size_t at) {
    uint32_t value = 0;
    for (int i = 3; i >= 0; --i) value = value << 8 | static_cast<uint8_t>(bytes[at + i]);
    return value;
}

// Every directory field set to each edge value: each is refused, except the value the
// field holds already and the offset of an empty prefix section anywhere up to the end.
TEST(TableFile, DirectoryFieldsAtTheirLimits) {
    for (const char* name : {"KVR-037", "KVR-954"}) {
        const std::string good = StagedTable(name);
        const uint32_t size = static_cast<uint32_t>(good.size());
        const bool noPrefixes = Get32(good, fmt::kOffDirectory + 4 * fmt::kDirPrefixCount) == 0;
        for (size_t field = 0; field < fmt::kDirFieldCount; ++field) {
            const uint32_t present = Get32(good, fmt::kOffDirectory + 4 * field);
            for (uint32_t value : {0u, 1u, static_cast<uint32_t>(fmt::kMinimumFileSize - 1), 0x7FFFFFFFu,
                                   0xFFFFFFFFu, size, size - 1}) {
                const bool emptyPrefixes = field == fmt::kDirPrefixes && noPrefixes &&
                                           value >= fmt::kMinimumFileSize && value <= size;
                const int expected = value == present || emptyPrefixes ? 0 : EINVAL;
                std::string bytes = good;
                Put32(bytes, fmt::kOffDirectory + 4 * field, value);
                TableData data;
                const int rc = Parse(bytes, &data);
                EXPECT_EQ(rc, expected) << name << " field " << field << " = " << value;
                if (rc == 0) Exercise(data);
            }
        }
    }
}

// Moves a section of rows to the end of the file, padded with `fill` rows up to `rows`.
std::string WithRowsAtEnd(const std::string& good, fmt::DirectoryField offsetField,
                          fmt::DirectoryField countField, size_t rowBytes, uint32_t rows,
                          const std::string& fill) {
    std::string bytes = good;
    const uint32_t offset = Get32(good, fmt::kOffDirectory + 4 * offsetField);
    const uint32_t present = Get32(good, fmt::kOffDirectory + 4 * countField);
    Put32(bytes, fmt::kOffDirectory + 4 * offsetField, static_cast<uint32_t>(bytes.size()));
    Put32(bytes, fmt::kOffDirectory + 4 * countField, rows);
    bytes += good.substr(offset, size_t{present} * rowBytes);
    for (uint32_t row = present; row < rows; ++row) bytes += fill;
    Put32(bytes, fmt::kOffFileSize, static_cast<uint32_t>(bytes.size()));
    return bytes;
}

// The counts at their largest and one above, each with a section that fits the file, and
// an empty section right after the directory.
TEST(TableFile, CountsAtTheirLimits) {
    const std::string single = StagedTable("KVR-037");
    const std::string multi = StagedTable("KVR-954");
    std::string unmappedToRow;
    for (size_t i = 0; i < fmt::kRowEntries; ++i) unmappedToRow += Bytes({0xFF, 0xFF});
    std::string unmappedFromRow;
    for (size_t i = 0; i < fmt::kRowEntries; ++i) unmappedFromRow += Bytes({0xFF, 0xFF, 0, 0});
    const uint32_t prefixAt = Get32(multi, fmt::kOffDirectory + 4 * fmt::kDirPrefixes);
    const std::string prefix = multi.substr(prefixAt, fmt::kPrefixRecordSize);
    struct Case {
        const char* name;
        std::string bytes;
        int expected;
    } cases[] = {
        {"65536 to-UCS rows",
         WithRowsAtEnd(single, fmt::kDirToRows, fmt::kDirToRowCount, 512, 0x10000, unmappedToRow), 0},
        {"65537 to-UCS rows",
         WithRowsAtEnd(single, fmt::kDirToRows, fmt::kDirToRowCount, 512, 0x10001, unmappedToRow), EINVAL},
        {"257 from-UCS rows",
         WithRowsAtEnd(multi, fmt::kDirFromRows, fmt::kDirFromRowCount, 1024, 257, unmappedFromRow), 0},
        {"258 from-UCS rows",
         WithRowsAtEnd(multi, fmt::kDirFromRows, fmt::kDirFromRowCount, 1024, 258, unmappedFromRow), EINVAL},
        {"255 prefixes", WithRowsAtEnd(multi, fmt::kDirPrefixes, fmt::kDirPrefixCount, 32, 255, prefix), 0},
        {"256 prefixes", WithRowsAtEnd(multi, fmt::kDirPrefixes, fmt::kDirPrefixCount, 32, 256, prefix),
         EINVAL},
        {"no prefixes, right after the directory", single, 0},
    };
    Put32(cases[6].bytes, fmt::kOffDirectory + 4 * fmt::kDirPrefixes,
          static_cast<uint32_t>(fmt::kMinimumFileSize));
    for (const Case& c : cases) {
        TableData data;
        EXPECT_EQ(Parse(c.bytes, &data), c.expected) << c.name;
    }
}

TEST(TableFile, TruncatedAtEveryOffset) {
    const std::string good = StagedTable("KVR-037");
    for (size_t length = 0; length < good.size(); ++length) {
        std::string cut = good.substr(0, length);
        TableData data;
        EXPECT_EQ(Parse(cut, &data), EINVAL) << "cut at " << length;
        // Also with a size field that agrees: the sections must still be checked.
        if (length >= 4) {
            Put32(cut, 0, static_cast<uint32_t>(length));
            EXPECT_EQ(Parse(cut, &data), EINVAL) << "cut at " << length << ", size fixed";
        }
    }
}

TEST(TableFile, EveryByteFlipped) {
    // Each flip either is refused or gives a table that converts safely.
    for (const char* name : {"KVR-037", "KVR-954"}) {
        const std::string good = StagedTable(name);
        const size_t step = good.size() > 20000 ? 61 : 1;
        size_t accepted = 0;
        for (size_t at = 0; at < good.size(); at += step) {
            std::string bytes = good;
            bytes[at] = static_cast<char>(bytes[at] ^ 0xFF);
            TableData data;
            if (Parse(bytes, &data) == 0) {
                ++accepted;
                if (at % (step * 7) == 0) Exercise(data);
            }
        }
        // Flipped mapping entries are still valid tables; flipped structure is not.
        EXPECT_GT(accepted, 0u) << name;
        EXPECT_LT(accepted, good.size() / step) << name;
    }
}

TEST(TableFile, BadTableFileDoesNotOpen) {
    TempDir dir;
    std::filesystem::create_directories(dir.Path() + "/uconvtab");
    WriteBinary(dir.Path() + "/qelcpcs.cfg", "37 KVR-037\n");
    std::string cut = StagedTable("KVR-037");
    cut.resize(cut.size() / 2);
    WriteBinary(dir.Path() + "/uconvtab/KVR-037", cut);
    StagedContext context(dir.Path());
    ASSERT_EQ(context.rc(), 0);
    errno = 0;
    EXPECT_EQ(ArcUCONV_Open(context.get(), "KVR-037", "UCS-2"), ArcUconvFailed());
    EXPECT_EQ(errno, EINVAL);
    ArcIconvHandle* handle = nullptr;
    EXPECT_EQ(ArcICONV_Open(context.get(), 819, 37, &handle), ARC_ICONV_NOT_SUPPORTED);
}

}  // namespace
}  // namespace qel::codepage::test
