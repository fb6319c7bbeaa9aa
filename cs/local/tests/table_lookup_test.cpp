// TableFile::Get reads each section once; every lookup must still give what the profile
// reader gives for the whole text (first section of a name, first key, case ignored).
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "arc_profile.h"
#include "table_file.h"

namespace {

using qel::local::detail::TableFile;

const char* kText =
    "; comment\n"
    "[100]\n"
    "NAME=\"INVOICES\"\n"
    "name=\"second of the name\"\n"
    "EMPTY=\n"
    "LOAD_ID=7\n"
    "\n"
    "[Other]\n"
    "KEEP=\"me\"\n"
    "[100]\n"
    "NAME=\"second section of the name\"\n"
    "EXTRA=1\n"
    "[EmptySection]\n"
    "[Last]\n"
    "KEY = spaced value \n";

// What the profile reader finds, told apart from a missing key by two defaults.
std::optional<std::string> Reader(const char* section, const char* key) {
    char buffer[ARCPROF_MAX_LINE + 2];
    size_t n = ArcPROF_GetFromImage(section, key, "\x01", buffer, sizeof buffer, kText);
    std::string value(buffer, n);
    if (value == "\x01") {
        n = ArcPROF_GetFromImage(section, key, "\x02", buffer, sizeof buffer, kText);
        if (std::string(buffer, n) == "\x02") return std::nullopt;
    }
    return value;
}

TEST(TableLookupTest, EveryLookupGivesWhatTheProfileReaderGives) {
    const char* const kLookups[][2] = {
        {"100", "NAME"}, {"100", "name"},   {"100", "EMPTY"},    {"100", "LOAD_ID"}, {"100", "EXTRA"},
        {"100", "KEEP"}, {"OTHER", "keep"}, {"other", "KEEP"},   {"Other", "NAME"},  {"EmptySection", "X"},
        {"Last", "KEY"}, {"LAST", "key"},   {"missing", "NAME"}, {"10", "NAME"},     {"1000", "NAME"},
        {"", "NAME"},    {"100", ""},       {"100", "NAM"},      {"100", "NAMEX"},   {"Last", "KEY "},
    };
    TableFile table;
    ASSERT_EQ(table.LoadText(kText), CS_OK);
    // Twice over: the second pass reads the sections remembered by the first.
    for (int pass = 0; pass < 2; ++pass) {
        for (const auto& lookup : kLookups) {
            EXPECT_EQ(table.Get(lookup[0], lookup[1]), Reader(lookup[0], lookup[1]))
                << "[" << lookup[0] << "] " << lookup[1] << " pass " << pass;
        }
    }
    EXPECT_EQ(table.Get("100", "NAME"), std::optional<std::string>("INVOICES"));
    EXPECT_EQ(table.Get("100", "EXTRA"), std::nullopt) << "only the first section of a name counts";
}

TEST(TableLookupTest, LoadingAnotherTextForgetsTheSections) {
    TableFile table;
    ASSERT_EQ(table.LoadText("[A]\nK=1\n"), CS_OK);
    EXPECT_EQ(table.Get("A", "K"), std::optional<std::string>("1"));
    ASSERT_EQ(table.LoadText("[A]\nK=2\n[B]\nK=3\n"), CS_OK);
    EXPECT_EQ(table.Get("A", "K"), std::optional<std::string>("2"));
    EXPECT_EQ(table.Get("B", "K"), std::optional<std::string>("3"));
}

}  // namespace
