// Values of the search clause: the operator table, keyword dates, decimal text, number
// reading and SQL literals (read back by sqlite3 as the oracle).
#include <gtest/gtest.h>

#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <limits>
#include <string>
#include <vector>

#include "arc_datetime.h"
#include "arc_platform.h"
#include "client_test_support.h"
#include "date_input.h"
#include "qel_client.h"
#include "sql_values.h"

namespace {

using qelclient::DateLetters;
using qelclient::ParseDateInputAt;

TEST(SqlOperators, TableRowsAndTheirTexts) {
    struct Row {
        uint32_t bit;
        const char* text;
        const char* opening;
        const char* separator;
        const char* closing;
    };
    const Row expected[SQL_OPERATOR_COUNT] = {
        {0x001, " = ", "", "", ""},
        {0x002, " <> ", "", "", ""},
        {0x004, " < ", "", "", ""},
        {0x008, " <= ", "", "", ""},
        {0x010, " > ", "", "", ""},
        {0x020, " >= ", "", "", ""},
        {0x400, " BETWEEN ", "", " AND ", ""},
        {0x800, " NOT BETWEEN ", "", " AND ", ""},
        {0x040, " IN ", " ( ", " , ", " ) "},
        {0x080, " NOT IN ", " ( ", " , ", " ) "},
        {0x100, " LIKE ", "", "", ""},
        {0x200, " NOT LIKE ", "", "", ""},
    };
    for (int row = 0; row < SQL_OPERATOR_COUNT; ++row) {
        SCOPED_TRACE(row);
        const SqlOperator& op = SqlOperatorTable[row];
        EXPECT_EQ(op.bit, expected[row].bit);
        EXPECT_STREQ(op.text, expected[row].text);
        EXPECT_STREQ(op.opening, expected[row].opening);
        EXPECT_STREQ(op.separator, expected[row].separator);
        EXPECT_STREQ(op.closing, expected[row].closing);
        EXPECT_EQ(SqlOperatorIndex(expected[row].bit), row);
    }
}

TEST(SqlOperators, IndexOfNoOperatorIsTheCount) {
    for (const uint32_t bit : {0x0u, 0x3u, 0x1000u, 0x401u, 0xFFFFFFFFu}) {
        EXPECT_EQ(SqlOperatorIndex(bit), SQL_OPERATOR_COUNT) << bit;
    }
}

// The day of a "%m/%d/%Y" text as a 'D' value.
ArcDateTime Day(const char* text) {
    ArcDateTime start = 0;
    EXPECT_EQ(ArcDT_ParseValue(text, "%m/%d/%Y", 'D', &start, nullptr), 0) << text;
    return start;
}

// Local noon of that day as a 'Z' moment: the clock the tests give.
ArcDateTime NoonOf(const char* text) { return ArcDT_ConvertValue(Day(text), 'D', 'Z') + 12 * 3600; }

TEST(DateInput, TodayLetterWithMoves) {
    struct Case {
        const char* input;
        const char* unit;
        const char* date;  // expected, "%m/%d/%Y"; null: not a date
    };
    const Case cases[] = {
        {"T", "D", "03/15/2026"},    {"  t  ", "D", "03/15/2026"},  {"T-7", "D", "03/08/2026"},
        {"T+1M", "D", "04/15/2026"}, {"T +1 m", "D", "04/15/2026"}, {"T + 1", "D", nullptr},
        {"T-1Y", "D", "03/15/2025"}, {"T5", "D", "03/20/2026"},     {"T+0", "D", "03/15/2026"},
        {"T2", "M", "05/15/2026"},   {"T-1", "y", "03/15/2025"},    {"T-400D", "M", "02/08/2025"},
        {"T5X", "D", nullptr},       {"T5", "X", nullptr},          {"T5", "", nullptr},
        {"T5", nullptr, nullptr},    {"T5 D X", "D", nullptr},      {"T+1MM", "D", nullptr},
        {"T-", "D", nullptr},        {"T+", "D", nullptr},          {"TD", "D", nullptr},
        {"T1.5", "D", nullptr},      {"T--1", "D", nullptr},        {"T99999999999", "D", nullptr},
        {"T-100000Y", "D", nullptr}, {"T+8000Y", "D", nullptr},     {"", "D", nullptr},
        {"   ", "D", nullptr},
    };
    const ArcDateTime now = NoonOf("03/15/2026");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.input);
        int64_t start = -5, end = -5;
        const int rc = ParseDateInputAt(c.input, c.unit, 'D', "%m/%d/%Y", DateLetters{}, now, &start, &end);
        if (!c.date) {
            EXPECT_EQ(rc, -1);
            continue;
        }
        ASSERT_EQ(rc, 0);
        EXPECT_EQ(start, Day(c.date));
        EXPECT_EQ(end, Day(c.date));
    }
}

TEST(DateInput, MonthMoveFromTheLastDayRunsOver) {
    int64_t start = 0, end = 0;
    ASSERT_EQ(
        ParseDateInputAt("T+1M", "D", 'D', "%m/%d/%Y", DateLetters{}, NoonOf("01/31/2026"), &start, &end), 0);
    EXPECT_EQ(start, Day("03/03/2026"));
}

TEST(DateInput, LettersStandForTodaysParts) {
    struct Case {
        const char* input;
        const char* format;
        const char* date;  // null: not a date
    };
    const Case cases[] = {
        {"M/D/Y", "%m/%d/%y", "03/15/2026"},
        {"d/m/y", "%d/%m/%y", "03/15/2026"},
        {"  01/01/Y", "%m/%d/%y", "01/01/2026"},
        {"12/D/2024", "%m/%d/%Y", "12/15/2024"},
        {"M/01/Y", "%m/%d/%y", "03/01/2026"},
        {"12/25/2025", "%m/%d/%Y", nullptr},  // readable, but no letter stands in it
        {"D/D/Y", "%m/%d/%y", nullptr},       // month 15: the format does not read the copy
        {"X/D/Y", "%m/%d/%y", nullptr},
    };
    const ArcDateTime now = NoonOf("03/15/2026");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.input);
        int64_t start = 0, end = 0;
        const int rc = ParseDateInputAt(c.input, "D", 'D', c.format, DateLetters{}, now, &start, &end);
        if (!c.date) {
            EXPECT_EQ(rc, -1);
            continue;
        }
        ASSERT_EQ(rc, 0);
        EXPECT_EQ(start, Day(c.date));
    }
}

TEST(DateInput, MomentFieldsGetTheRangeTheFormatCovers) {
    int64_t start = 0, end = 0;
    ASSERT_EQ(
        ParseDateInputAt("T-1", "D", 'Z', "%m/%d/%Y", DateLetters{}, NoonOf("03/15/2026"), &start, &end), 0);
    const ArcDateTime midnight = ArcDT_ConvertValue(Day("03/14/2026"), 'D', 'Z');
    EXPECT_EQ(start, midnight);
    EXPECT_EQ(end, ArcDT_ConvertValue(Day("03/15/2026"), 'D', 'Z') - 1);

    // A format down to the second keeps the moment itself.
    const ArcDateTime now = NoonOf("03/15/2026") + 17;
    ASSERT_EQ(ParseDateInputAt("T", "D", 'Z', "%m/%d/%Y %H:%M:%S", DateLetters{}, now, &start, &end), 0);
    EXPECT_EQ(start, now);
    EXPECT_EQ(end, now);
}

TEST(DateInput, OtherLettersReplaceTheDefaults) {
    DateLetters letters;
    clienttest::Put(letters.today, "H");
    clienttest::Put(letters.day, "J");
    clienttest::Put(letters.year, "A");
    const ArcDateTime now = NoonOf("03/15/2026");
    int64_t start = 0, end = 0;
    ASSERT_EQ(ParseDateInputAt("h-1", "J", 'D', "%m/%d/%Y", letters, now, &start, &end), 0);
    EXPECT_EQ(start, Day("03/14/2026"));
    ASSERT_EQ(ParseDateInputAt("H+1a", "J", 'D', "%m/%d/%Y", letters, now, &start, &end), 0);
    EXPECT_EQ(start, Day("03/15/2027"));
    ASSERT_EQ(ParseDateInputAt("M/J/A", "J", 'D', "%m/%d/%y", letters, now, &start, &end), 0);
    EXPECT_EQ(start, Day("03/15/2026"));
    EXPECT_EQ(ParseDateInputAt("T", "J", 'D', "%m/%d/%Y", letters, now, &start, &end), -1);
    EXPECT_EQ(ParseDateInputAt("H-1D", "J", 'D', "%m/%d/%Y", letters, now, &start, &end), -1);
}

TEST(DateInput, PublicCallUsesTheClockAndDefaultLetters) {
    int64_t start = 0, end = 0;
    for (int attempt = 0; attempt < 2; ++attempt) {
        const ArcDateTime before = ArcDT_Now('D');
        ASSERT_EQ(ParseDateInput("T", "D", 'D', "%m/%d/%Y", &start, &end), 0);
        if (ArcDT_Now('D') == before) break;  // else midnight passed: try again
    }
    EXPECT_EQ(start, ArcDT_Now('D'));
    EXPECT_EQ(end, start);
    EXPECT_EQ(ParseDateInput(nullptr, "D", 'D', "%m/%d/%Y", &start, &end), -1);
}

// The C library's "%.*f" in the C locale, which the test process keeps.
std::string Printf(double value, int precision) {
    const int n = std::snprintf(nullptr, 0, "%.*f", precision, value);
    std::string text(static_cast<size_t>(n) + 1, '\0');
    std::snprintf(text.data(), text.size(), "%.*f", precision, value);
    text.resize(static_cast<size_t>(n));
    return text;
}

TEST(SqlValues, FixedTextMatchesPrintf) {
    struct Case {
        double value;
        int precision;
    };
    const Case cases[] = {
        {3.14159, 2},  {3.14159, 0},   {2.5, 0},         {-0.5, 0},
        {0.125, 2},    {-1.005, 2},    {1e20, 1},        {-1.7976931348623157e308, 3},
        {4.9e-324, 8}, {1e-300, 1100}, {123456.789, 10}, {0.0, 4},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(Printf(c.value, c.precision));
        EXPECT_EQ(qelclient::FormatFixed(c.value, c.precision, '.'), Printf(c.value, c.precision));
    }
    EXPECT_EQ(qelclient::FormatFixed(1.5, -1, '.'), "1.500000");
    EXPECT_EQ(qelclient::FormatFixed(1.5, 1, ','), "1,5");
}

TEST(SqlValues, IntegersReadOnlyInPlainForm) {
    constexpr int64_t kMin = std::numeric_limits<int64_t>::min();
    constexpr int64_t kMax = std::numeric_limits<int64_t>::max();
    struct Case {
        const char* text;
        bool accepted;
        int64_t value;
    };
    const Case cases[] = {
        {"0", true, 0},
        {"5", true, 5},
        {"+5", true, 5},
        {"-0", true, 0},
        {"007", true, 7},
        {"-42", true, -42},
        {"9223372036854775807", true, kMax},
        {"-9223372036854775808", true, kMin},
        {"9223372036854775808", false, 0},
        {"-9223372036854775809", false, 0},
        {"99999999999999999999999", false, 0},
        {"", false, 0},
        {"+", false, 0},
        {"-", false, 0},
        {"inf", false, 0},
        {"nan", false, 0},
        {"0x10", false, 0},
        {"1e5", false, 0},
        {" 5", false, 0},
        {"5 ", false, 0},
        {"1.", false, 0},
        {".5", false, 0},
        {"1.0", false, 0},
        {"--5", false, 0},
        {"+-5", false, 0},
        {"5-", false, 0},
        {"1,000", false, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        int64_t value = 99;
        ASSERT_EQ(qelclient::ReadInteger(c.text, kMin, kMax, &value), c.accepted);
        EXPECT_EQ(value, c.accepted ? c.value : 99);
    }
}

TEST(SqlValues, IntegersOutsideTheFieldRangeAreRefused) {
    int64_t value = 0;
    EXPECT_TRUE(qelclient::ReadInteger("-32768", -32768, 32767, &value));
    EXPECT_EQ(value, -32768);
    EXPECT_FALSE(qelclient::ReadInteger("-32769", -32768, 32767, &value));
    EXPECT_TRUE(qelclient::ReadInteger("32767", -32768, 32767, &value));
    EXPECT_FALSE(qelclient::ReadInteger("32768", -32768, 32767, &value));
}

TEST(SqlValues, DecimalsTakeTheDecimalCharacter) {
    struct Case {
        const char* text;
        bool accepted;
        double value;
    };
    // Decimal character ',', range [-1000, 1000], two places.
    const Case cases[] = {
        {"3,14", true, 3.14},
        {"3.14", true, 3.14},
        {"+5", true, 5.0},
        {"-0", true, -0.0},
        {"-1000,00", true, -1000.0},
        {"1000", true, 1000.0},
        {"1000,01", false, 0},
        {"3,141", false, 0},
        {"1,", false, 0},
        {"1.", false, 0},
        {",5", false, 0},
        {".5", false, 0},
        {"1,2,3", false, 0},
        {"inf", false, 0},
        {"nan", false, 0},
        {"0x10", false, 0},
        {"1e2", false, 0},
        {" 5", false, 0},
        {"5 ", false, 0},
        {"", false, 0},
        {"-", false, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        double value = 99;
        ASSERT_EQ(qelclient::ReadDecimal(c.text, ',', -1000, 1000, 2, &value), c.accepted);
        EXPECT_EQ(value, c.accepted ? c.value : 99);
    }
    double value = 0;
    EXPECT_FALSE(qelclient::ReadDecimal("5,0", ',', 0, 10, 0, &value));
    EXPECT_TRUE(qelclient::ReadDecimal("5", ',', 0, 10, 0, &value));
}

// Each literal read back by sqlite3: one "type<TAB>value" line each.
std::vector<std::string> ReadBack(const std::vector<std::string>& literals) {
    std::vector<std::string> argv = {QEL_PYTHON, SQL_LITERAL_ORACLE};
    argv.insert(argv.end(), literals.begin(), literals.end());
    ArcOSPipe pipe;
    if (ArcOS_PipeOpen(argv, "r", &pipe) != 0) return {};
    std::vector<std::string> lines;
    char buffer[4096];
    while (std::fgets(buffer, sizeof buffer, pipe.stream) != nullptr) {
        std::string line(buffer);
        if (!line.empty() && line.back() == '\n') line.pop_back();
        lines.push_back(line);
    }
    EXPECT_EQ(ArcOS_PipeClose(&pipe), 0);
    return lines;
}

std::string Hex(const std::string& text) {
    static const char kDigits[] = "0123456789abcdef";
    std::string hex;
    for (const unsigned char c : text) {
        hex += kDigits[c >> 4];
        hex += kDigits[c & 15];
    }
    return hex;
}

TEST(SqlValues, QuotedTextReadsBackAsItself) {
    const std::vector<std::string> hostile = {
        "O'Brien",           "'", "''",  "' OR '1'='1", "%",           "--", ";",
        "a;DROP TABLE t;--", "",  "\\'", "line\nbreak", "caf\xc3\xa9",
    };
    EXPECT_EQ(qelclient::QuoteSqlText("O'Brien"), "'O''Brien'");
    std::vector<std::string> literals;
    for (const std::string& text : hostile) literals.push_back(qelclient::QuoteSqlText(text));
    const std::vector<std::string> lines = ReadBack(literals);
    ASSERT_EQ(lines.size(), hostile.size());
    for (size_t i = 0; i < hostile.size(); ++i) {
        EXPECT_EQ(lines[i], "text\t" + Hex(hostile[i])) << literals[i];
    }
}

TEST(SqlValues, NumbersReadBackAsNumbers) {
    const std::vector<std::string> literals = {
        qelclient::FormatInteger(std::numeric_limits<int64_t>::max()),
        qelclient::FormatInteger(std::numeric_limits<int64_t>::min() + 1),
        qelclient::FormatInteger(0),
        qelclient::FormatFixed(3.25, 2, '.'),
        qelclient::FormatFixed(-0.5, 3, '.'),
    };
    const std::vector<std::string> expected = {
        "integer\t9223372036854775807",
        "integer\t-9223372036854775807",
        "integer\t0",
        "real\t3.25",
        "real\t-0.5",
    };
    EXPECT_EQ(ReadBack(literals), expected);
}

// The library started with a comma as decimal character and other keyword letters.
class StartedValues : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(clienttest::SharedIconv(), nullptr);
        ClientInitOptions options = clienttest::GatewayOptions();
        options.decimalChar = ',';
        clienttest::Put(options.todayLetter, "h");
        ASSERT_TRUE(Client_Init(&options));
    }
    void TearDown() override { Client_Term(); }
};

TEST_F(StartedValues, FormatDecimalWritesTheDecimalCharacter) {
    struct Case {
        double value;
        int precision;
        const char* text;
        int position;
    };
    const Case cases[] = {
        {3.14159, 2, "3,14", 1},
        {-12.5, 1, "-12,5", 3},
        {1.5, -1, "1,500000", 1},
        {7.6, 0, "8", -1},
        {std::numeric_limits<double>::infinity(), 2, "inf", -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        std::string text = "old";
        EXPECT_EQ(FormatDecimal(&text, c.precision, c.value), c.position);
        EXPECT_EQ(text, c.text);
    }
}

TEST_F(StartedValues, ParseDateInputTakesTheStartupLetters) {
    int64_t start = 0, end = 0;
    EXPECT_EQ(ParseDateInput("T", "D", 'D', "%m/%d/%Y", &start, &end), -1);
    ASSERT_EQ(ParseDateInput("H+0D", "D", 'D', "%m/%d/%Y", &start, &end), 0);
    EXPECT_GT(start, 0);
}

}  // namespace
