// shipped_tables_test.cpp - every generated table against glibc iconv and Python codecs.
#include <array>
#include <memory>

#include "test_support.h"

namespace qel::codepage::test {
namespace {

// A glibc converter kept open for many small conversions.
class Glibc {
public:
    Glibc(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
    ~Glibc() {
        if (ok()) iconv_close(cd_);
    }
    Glibc(const Glibc&) = delete;
    Glibc& operator=(const Glibc&) = delete;
    bool ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }
    // The whole conversion from the initial state, or nothing when glibc refuses it.
    std::optional<std::string> Run(const std::string& input) {
        iconv(cd_, nullptr, nullptr, nullptr, nullptr);
        char buffer[64];
        char* in = const_cast<char*>(input.data());
        size_t inLeft = input.size();
        char* out = buffer;
        size_t outLeft = sizeof buffer;
        if (iconv(cd_, &in, &inLeft, &out, &outLeft) == static_cast<size_t>(-1) ||
            iconv(cd_, nullptr, nullptr, &out, &outLeft) == static_cast<size_t>(-1)) {
            return std::nullopt;
        }
        return std::string(buffer, out);
    }

private:
    iconv_t cd_;
};

// An engine converter, closed at the end.
class Engine {
public:
    Engine(ArcIconvContext* context, const std::string& to, const std::string& from)
        : context_(context), converter_(ArcUCONV_Open(context, to.c_str(), from.c_str())) {}
    ~Engine() {
        if (ok()) ArcUCONV_Close(context_, converter_);
    }
    Engine(const Engine&) = delete;
    Engine& operator=(const Engine&) = delete;
    bool ok() const { return converter_ != ArcUconvFailed(); }
    std::optional<std::string> Run(const std::string& input, size_t room = 64) {
        ArcUCONV_Convert(converter_, nullptr, nullptr, nullptr, nullptr);
        Outcome outcome = EngineConvert(converter_, input, room);
        if (outcome.rc != 0) return std::nullopt;
        char tail[4];
        char* out = tail;
        size_t outLeft = sizeof tail;
        ArcUCONV_Convert(converter_, nullptr, nullptr, &out, &outLeft);
        return outcome.output + std::string(tail, out);
    }
    ArcUconv get() const { return converter_; }

private:
    ArcIconvContext* context_;
    ArcUconv converter_;
};

struct Page {
    const char* table;
    const char* glibc;
    const char* python;  // null when Python has no codec for it
};

constexpr Page kSingleBytePages[] = {
    {"KVR-037", "IBM037", "cp037"},       {"KVR-273", "IBM273", nullptr},   {"KVR-277", "IBM277", nullptr},
    {"KVR-278", "IBM278", nullptr},       {"KVR-280", "IBM280", nullptr},   {"KVR-284", "IBM284", nullptr},
    {"KVR-285", "IBM285", nullptr},       {"KVR-297", "IBM297", nullptr},   {"KVR-500", "IBM500", "cp500"},
    {"KVR-819", "ISO-8859-1", "latin-1"}, {"KVR-850", "IBM850", "cp850"},   {"KVR-871", "IBM871", nullptr},
    {"KVR-923", "ISO-8859-15", nullptr},  {"KVR-1047", "IBM1047", nullptr}, {"KVR-1140", "IBM1140", "cp1140"},
    {"KVR-1141", "IBM1141", nullptr},     {"KVR-1142", "IBM1142", nullptr}, {"KVR-1143", "IBM1143", nullptr},
    {"KVR-1144", "IBM1144", nullptr},     {"KVR-1145", "IBM1145", nullptr}, {"KVR-1146", "IBM1146", nullptr},
    {"KVR-1147", "IBM1147", nullptr},     {"KVR-1148", "IBM1148", nullptr}, {"KVR-1149", "IBM1149", nullptr},
    {"KVR-1252", "CP1252", "cp1252"},
};

std::string Unit(uint32_t unit) { return Ucs2({static_cast<uint16_t>(unit)}); }

TEST(ShippedTables, SingleByteAllBytesAndUnitsAgainstGlibcAndPython) {
    StagedContext context;
    ASSERT_EQ(context.rc(), 0);
    for (const Page& page : kSingleBytePages) {
        SCOPED_TRACE(page.table);
        Engine toUcs(context.get(), "UCS-2", page.table);
        Engine fromUcs(context.get(), std::string(page.table) + "@sub=no", "UCS-2");
        Glibc glibcTo("UCS-2LE", page.glibc);
        Glibc glibcFrom(page.glibc, "UCS-2LE");
        ASSERT_TRUE(toUcs.ok() && fromUcs.ok() && glibcTo.ok() && glibcFrom.ok());
        std::string python;
        if (page.python != nullptr) {
            python = ReadBinary(std::string(QEL_CODEPAGE_ORACLE "/") + page.python + ".bin");
            ASSERT_EQ(python.size(), 2u * (256 + 65536));
        }
        auto pythonEntry = [&](size_t index) -> std::optional<uint16_t> {
            uint16_t value = static_cast<uint16_t>(static_cast<uint8_t>(python[2 * index]) |
                                                   static_cast<uint8_t>(python[2 * index + 1]) << 8);
            if (value == 0xFFFF) return std::nullopt;
            return value;
        };
        int differences = 0;
        for (unsigned b = 0; b < 256 && differences < 5; ++b) {
            std::string byte(1, static_cast<char>(b));
            std::optional<std::string> ours = toUcs.Run(byte);
            std::optional<std::string> theirs = glibcTo.Run(byte);
            if (ours != theirs) ++differences;
            EXPECT_EQ(ours, theirs) << "byte " << b;
            if (page.python != nullptr) {
                std::optional<uint16_t> expected = pythonEntry(b);
                EXPECT_EQ(ours, expected ? std::optional(Unit(*expected)) : std::nullopt)
                    << "python, byte " << b;
            }
        }
        for (uint32_t unit = 0; unit < 0x10000 && differences < 5; ++unit) {
            std::optional<std::string> ours = fromUcs.Run(Unit(unit));
            std::optional<std::string> theirs = glibcFrom.Run(Unit(unit));
            if (ours != theirs) ++differences;
            EXPECT_EQ(ours, theirs) << "unit " << unit;
            // Python knows only the round-trip mappings; glibc adds one-way ones.
            if (page.python != nullptr) {
                if (std::optional<uint16_t> expected = pythonEntry(256 + unit)) {
                    EXPECT_EQ(ours, std::string(1, static_cast<char>(*expected))) << "python, unit " << unit;
                }
            }
        }
    }
}

struct MultiPage {
    const char* table;
    const char* glibc;
};

constexpr MultiPage kMultiBytePages[] = {
    {"KVR-930", "IBM930"}, {"KVR-933", "IBM933"},   {"KVR-935", "IBM935"}, {"KVR-937", "IBM937"},
    {"KVR-939", "IBM939"}, {"KVR-1388", "IBM1388"}, {"KVR-943", "IBM943"}, {"KVR-950", "BIG5"},
    {"KVR-954", "EUC-JP"}, {"KVR-1363", "CP949"},   {"KVR-1386", "GBK"},
};

// A text of every third unit that glibc can write in the page: thousands of
// characters, single- and double-byte mixed.
std::string SampleText(Glibc& glibcFrom) {
    std::string text;
    for (uint32_t unit = 0x20; unit < 0xFFFF; unit += 3) {
        if (unit >= 0xD800 && unit <= 0xDFFF) continue;
        if (glibcFrom.Run(Unit(unit))) text += Unit(unit);
    }
    return text;
}

// Empty when equal, else the neighbourhood of the first difference.
std::string FirstDifference(const std::string& ours, const std::string& theirs) {
    if (ours == theirs) return "";
    size_t at = 0;
    while (at < ours.size() && at < theirs.size() && ours[at] == theirs[at]) ++at;
    size_t from = at < 6 ? 0 : at - 6;
    return "at " + std::to_string(at) + ": ours " + Hex(ours.substr(from, 12)) + ", glibc " +
           Hex(theirs.substr(from, 12));
}

std::optional<std::string> GlibcWhole(const char* to, const char* from, const std::string& input) {
    std::string output;
    if (!GlibcConvert(to, from, input, &output)) return std::nullopt;
    return output;
}

TEST(ShippedTables, MultiByteSampleAgainstGlibc) {
    StagedContext context;
    ASSERT_EQ(context.rc(), 0);
    for (const MultiPage& page : kMultiBytePages) {
        SCOPED_TRACE(page.table);
        Glibc glibcFrom(page.glibc, "UCS-2LE");
        ASSERT_TRUE(glibcFrom.ok());
        const std::string text = SampleText(glibcFrom);
        EXPECT_GT(text.size() / 2, 2000u);

        std::optional<std::string> expected = GlibcWhole(page.glibc, "UCS-2LE", text);
        ASSERT_TRUE(expected);
        Engine fromUcs(context.get(), std::string(page.table) + "@sub=no", "UCS-2");
        ASSERT_TRUE(fromUcs.ok());
        std::optional<std::string> encoded = fromUcs.Run(text, expected->size() + 8);
        ASSERT_TRUE(encoded);
        EXPECT_EQ(FirstDifference(*encoded, *expected), "") << "from UCS-2";

        std::optional<std::string> back = GlibcWhole("UCS-2LE", page.glibc, *expected);
        ASSERT_TRUE(back);
        Engine toUcs(context.get(), "UCS-2", page.table);
        ASSERT_TRUE(toUcs.ok());
        std::optional<std::string> decoded = toUcs.Run(*expected, back->size() + 8);
        ASSERT_TRUE(decoded);
        EXPECT_EQ(FirstDifference(*decoded, *back), "") << "to UCS-2";
    }
}

TEST(ShippedTables, MultiByteCutAndShiftErrors) {
    StagedContext context;
    ASSERT_EQ(context.rc(), 0);
    struct Case {
        const char* name;
        const char* table;
        std::string input;
        int error;
        size_t inputLeft;
        std::string output;
    } cases[] = {
        {"mixed: cut double-byte code", "KVR-930", Bytes({0xC1, 0x0E, 0x45}), EINVAL, 1, Ucs2({'A'})},
        {"mixed: shift-out twice", "KVR-930", Bytes({0x0E, 0x0E}), EILSEQ, 1, ""},
        {"mixed: shift-in in single-byte state", "KVR-935", Bytes({0xC1, 0x0F}), EILSEQ, 1, Ucs2({'A'})},
        {"mixed: double-byte space", "KVR-939", Bytes({0x0E, 0x40, 0x40, 0x0F, 0xC1}), 0, 0,
         Ucs2({0x3000, 'A'})},
        {"shift-jis: cut lead", "KVR-943", Bytes({0x41, 0x82}), EINVAL, 1, Ucs2({'A'})},
        {"euc-jp: cut three-byte code", "KVR-954", Bytes({0x8F, 0xB0}), EINVAL, 2, ""},
        {"gbk: cut lead", "KVR-1386", Bytes({0x81}), EINVAL, 1, ""},
    };
    for (const Case& c : cases) {
        Engine toUcs(context.get(), "UCS-2", c.table);
        ASSERT_TRUE(toUcs.ok()) << c.name;
        Outcome outcome = EngineConvert(toUcs.get(), c.input);
        EXPECT_EQ(outcome.error, c.error) << c.name;
        EXPECT_EQ(outcome.inputLeft, c.inputLeft) << c.name;
        EXPECT_EQ(Hex(outcome.output), Hex(c.output)) << c.name;
    }
    for (const MultiPage& page : kMultiBytePages) {
        Engine fromUcs(context.get(), page.table, "UCS-2");
        Outcome odd = EngineConvert(fromUcs.get(), Bytes({0x41, 0x00, 0x42}));
        EXPECT_EQ(odd.error, EINVAL) << page.table;
        EXPECT_EQ(odd.inputLeft, 1u) << page.table;
    }
}

}  // namespace
}  // namespace qel::codepage::test
