// Index values and texts of a description as the builder takes them: dates written as
// text, lengths counted in code page 819, numbers at the edges of their types.
#include <string>

#include "builder_fixture.h"

namespace {

using buildertest::BuilderScratch;
using buildertest::Json;

// The description with statement 0's value of a field replaced; its parsed document.
struct Parsed {
    bool ok = false;
    arcbuild::Description d;
    arcbuild::Errors errors;
};
Parsed WithValue(const BuilderScratch& scratch, const char* field, const Json& value) {
    Json description = buildertest::SmallDescription("statements.txt");
    description["documents"][0]["values"][field] = value;
    Parsed p;
    p.ok = arcbuild::ParseDescription(description.dump(), scratch.Dir(), &p.d, &p.errors);
    return p;
}

TEST(BuilderValues, DatesAsTextBecomeDayNumbersFrom1970) {
    struct Case {
        const char* text;
        int64_t days;  // -99999: refused
    };
    const Case cases[] = {
        {"1970-01-01", 1},      {"1969-12-31", -99999}, {"2024-01-01", 19724},  {"2000-02-29", 11017},
        {"2024-02-29", 19783},  {"2100-03-01", 47542},  {"1900-03-01", -99999}, {"2023-02-29", -99999},
        {"1900-02-29", -99999}, {"2024-13-01", -99999}, {"2024-1-01", -99999},  {"2024-01-01x", -99999},
        {"+024-01-01", -99999}, {" 024-01-01", -99999}, {"", -99999},
    };
    BuilderScratch scratch;
    for (const Case& c : cases) {
        const Parsed p = WithValue(scratch, "STMTDATE", c.text);
        if (c.days == -99999) {
            ASSERT_FALSE(p.ok) << c.text;
            EXPECT_EQ(p.errors.List()[0].number, arcbuild::kErrBadValue) << c.text;
            continue;
        }
        ASSERT_TRUE(p.ok) << c.text << ": " << FormatError(p.errors.List()[0]);
        EXPECT_EQ(p.d.documents[0].values[2].integer, c.days) << c.text;
        EXPECT_EQ(p.d.documents[0].segmentDate, c.days) << c.text;
    }
}

TEST(BuilderValues, NumbersAtTheEdgesOfTheirTypes) {
    struct Case {
        const char* field;
        Json value;
        bool ok;
    };
    const Case cases[] = {
        {"PAGES", 32767, true},
        {"PAGES", -32768, true},
        {"PAGES", 32768, false},
        {"PAGES", -32769, false},
        {"PAGES", 1.5, false},
        {"STMTDATE", 2147483647, true},
        {"STMTDATE", -2147483648LL, true},
        {"STMTDATE", 2147483648LL, false},
        {"AMOUNT", -0.0, true},
        {"AMOUNT", 1e308, true},
        {"AMOUNT", "1", false},
    };
    BuilderScratch scratch;
    for (const Case& c : cases) {
        const Parsed p = WithValue(scratch, c.field, c.value);
        EXPECT_EQ(p.ok, c.ok) << c.field << " " << c.value.dump();
    }
}

// A text field's length counts bytes in code page 819, not UTF-8 bytes.
TEST(BuilderValues, TextLengthsCountCodePage819Bytes) {
    BuilderScratch scratch;
    const std::string ten =
        "\u00c4\u00c4\u00c4\u00c4\u00c4\u00c4\u00c4\u00c4\u00c4\u00c4";  // 20 bytes of UTF-8
    Parsed p = WithValue(scratch, "INVNO", ten);
    ASSERT_TRUE(p.ok) << FormatError(p.errors.List()[0]);
    EXPECT_EQ(p.d.documents[0].values[0].text, std::string(10, '\xC4'));
    p = WithValue(scratch, "INVNO", ten + "A");
    ASSERT_FALSE(p.ok);
    EXPECT_EQ(p.errors.List()[0].number, arcbuild::kErrBadValue);
}

}  // namespace
