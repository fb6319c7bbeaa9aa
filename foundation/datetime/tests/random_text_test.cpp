// Random text and formats: parsing and formatting must give a result (never crash,
// hang or write past the 128-byte buffer) and keep their promises about it. Under the
// address sanitizer a write past the buffer fails the run.
#include "zone_fixture.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>

namespace {

// Characters that reach the interesting paths: digits, separators, directive letters,
// name fragments and '%'.
constexpr char kAlphabet[] =
    "0123456789012345/:/: .-%%%aAbBcCdDeEfhHIjklmMnpPrRStTUwWxXyYZ DecJanPMAM\t\n\xe4";

std::string RandomText(std::mt19937& rng, size_t maxLength) {
    std::uniform_int_distribution<size_t> length(0, maxLength);
    std::uniform_int_distribution<size_t> pick(0, sizeof kAlphabet - 2);
    std::string text(length(rng), ' ');
    for (char& c : text) c = kAlphabet[pick(rng)];
    return text;
}

TEST(RandomText, ParseKeepsItsPromises) {
    std::mt19937 rng(20051201);
    const char letters[] = "CDTZAEa";
    std::uniform_int_distribution<size_t> pickLetter(0, sizeof letters - 2);
    for (const char* zone : kZones) {
        ZoneScope tz(zone);
        for (int i = 0; i < 5000; ++i) {
            const std::string text = RandomText(rng, 24);
            const std::string format = RandomText(rng, 12);
            const char* formatArg = i % 3 == 0 ? nullptr : format.c_str();
            const char letter = letters[pickLetter(rng)];
            const Bounds b = Parse(text.c_str(), formatArg, letter);
            const std::string name = std::string(zone) + " '" + text + "' '" + format + "' " + letter;
            ASSERT_TRUE(b.rc == 0 || b.rc == -1) << name;
            if (b.rc == -1) {
                ASSERT_EQ(b.earliest, -7) << name;
                ASSERT_EQ(b.latest, -7) << name;
                continue;
            }
            ASSERT_LE(b.earliest, b.latest) << name;
            if (letter == 'D') {
                ASSERT_GE(b.earliest, 1) << name;
            }
            if (letter == 'T') {
                ASSERT_GE(b.earliest, 0) << name;
                ASSERT_LT(b.latest, 28800) << name;
            }
        }
    }
}

TEST(RandomText, FormatStaysInsideTheBuffer) {
    std::mt19937 rng(13119);
    const char letters[] = "CDTZ";
    std::uniform_int_distribution<size_t> pickLetter(0, sizeof letters - 2);
    std::uniform_int_distribution<int64_t> pickValue(-100000, 4200000000LL);
    ZoneScope tz("Europe/Berlin");
    for (int i = 0; i < 20000; ++i) {
        const std::string format = RandomText(rng, 160);
        const char letter = letters[pickLetter(rng)];
        const std::string text = Format(pickValue(rng), letter, format.c_str());
        ASSERT_LT(text.size(), ARC_DT_TEXT_MAX) << "'" << format << "' " << letter;
    }
}

// Long input must cost little: the number readers stop at their width, and
// composite directives cannot recurse.
TEST(RandomText, LongInputsEndQuickly) {
    ZoneScope tz("UTC");
    const std::string digits(100000, '7');
    std::string composites;
    for (int i = 0; i < 10000; ++i) composites += "%c%x%X%C%r";
    EXPECT_EQ(Parse(digits.c_str(), nullptr, 'Z').rc, -1);
    EXPECT_EQ(Parse(digits.c_str(), composites.c_str(), 'D').rc, -1);
    EXPECT_EQ(Format(1, 'D', composites.c_str()), "<null>");
}

}  // namespace
