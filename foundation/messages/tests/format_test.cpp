// Insert substitution and counting, checked against hand-made cases and against glibc's
// positional printf for texts whose inserts are all "%n$s".
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "arc_messages.h"

namespace {

std::string Format(const char* text, const std::vector<const char*>& args, size_t size = 4096) {
    std::vector<char> buffer(size + 1, '#');
    int written = ArcMSGS_Format(buffer.data(), size, text, args.data(), static_cast<int>(args.size()));
    std::string result(buffer.data());
    EXPECT_EQ(static_cast<size_t>(written), result.size()) << text;
    return result;
}

TEST(MessageFormat, SubstitutesInsertsAndKeepsEverythingElse) {
    struct Case {
        const char* name;
        const char* text;
        std::vector<const char*> args;
        const char* expected;
    };
    const Case cases[] = {
        {"in order", "%1$s and %2$s", {"A", "B"}, "A and B"},
        {"second first", "%2$s before %1$s", {"A", "B"}, "B before A"},
        {"repeated insert", "%1$s-%1$s", {"x"}, "x-x"},
        {"short form", "rc=%1, errno=%2", {"6", "13"}, "rc=6, errno=13"},
        {"any letter after $", "%1$d|%2$x", {"A", "B"}, "A|B"},
        {"digit zero takes the first", "%0$s", {"A", "B"}, "A"},
        {"text ending in percent", "100%", {}, "100%"},
        {"stray percent", "50% off %s", {"A"}, "50% off %s"},
        {"double percent stays double", "%%1$s", {"A"}, "%A"},
        {"trailing %1$ is text", "value %1$", {"A"}, "value %1$"},
        {"insert beyond the arguments", "[%3$s]", {"A", "B"}, "[]"},
        {"null argument", "[%1$s][%2$s]", {nullptr, "B"}, "[][B]"},
        {"percent in an insert is literal", "<%1$s>", {"%2$s %d %n"}, "<%2$s %d %n>"},
        {"empty text", "", {"A"}, ""},
        {"no inserts", "Logoff", {"A"}, "Logoff"},
        {"more than nine inserts",
         "%1%2%3%4%5%6%7%8%9%1%2%3",
         {"a", "b", "c", "d", "e", "f", "g", "h", "i"},
         "abcdefghiabc"},
        {"strftime text", "%X %p %Z %A %B %d, %Y", {"A"}, "%X %p %Z %A %B %d, %Y"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Format(c.text, c.args), c.expected) << c.name;
    }
}

TEST(MessageFormat, NullTextAndNullArgumentArray) {
    char buffer[8] = "zzzzzzz";
    EXPECT_EQ(ArcMSGS_Format(buffer, sizeof buffer, nullptr, nullptr, 0), 0);
    EXPECT_STREQ(buffer, "");
    EXPECT_EQ(ArcMSGS_Format(buffer, sizeof buffer, "a%1$sb", nullptr, 5), 2);
    EXPECT_STREQ(buffer, "ab");
}

TEST(MessageFormat, TruncatesToTheTargetSize) {
    const char* args[] = {"World"};
    struct Case {
        size_t size;
        const char* expected;
    };
    const Case cases[] = {
        {1, ""}, {2, "H"}, {7, "Hello "}, {9, "Hello Wo"}, {12, "Hello World"}, {64, "Hello World"}};
    for (const Case& c : cases) {
        std::vector<char> buffer(c.size + 4, '#');
        int written = ArcMSGS_Format(buffer.data(), c.size, "Hello %1$s", args, 1);
        EXPECT_STREQ(buffer.data(), c.expected) << "size " << c.size;
        EXPECT_EQ(written, static_cast<int>(std::strlen(c.expected))) << "size " << c.size;
        EXPECT_EQ(buffer[c.size], '#') << "wrote past size " << c.size;
    }
    char untouched = '#';
    EXPECT_EQ(ArcMSGS_Format(&untouched, 0, "Hello", nullptr, 0), 0);
    EXPECT_EQ(untouched, '#');
}

TEST(MessageFormat, WritesToAStreamWhenOneIsGiven) {
    FILE* stream = std::tmpfile();
    ASSERT_NE(stream, nullptr);
    const char* args[] = {"x.tbl", "2"};
    char target[4] = "abc";
    int written = ArcMSGS_FormatString(stream, target, sizeof target,
                                       "Unable to open file >%1$s<.  errno=%2$s", args, 2);
    const std::string expected = "Unable to open file >x.tbl<.  errno=2";
    EXPECT_EQ(written, static_cast<int>(expected.size()));
    EXPECT_STREQ(target, "abc") << "the target is left alone when a stream is given";
    std::rewind(stream);
    char read[128] = {};
    size_t got = std::fread(read, 1, sizeof read - 1, stream);
    std::fclose(stream);
    EXPECT_EQ(std::string(read, got), expected);
}

TEST(MessageFormat, HostileInsertsNeverOverflow) {
    const std::string big(8192, 'x');
    const std::string percents(8192, '%');
    std::vector<const char*> args(9, big.c_str());
    args[4] = percents.c_str();
    const char* text = "%1$s%2$s%3$s%4$s%5$s%6$s%7$s%8$s%9$s%1$s%2$s";

    std::vector<char> buffer(8192);
    int written = ArcMSGS_Format(buffer.data(), buffer.size(), text, args.data(), 9);
    EXPECT_EQ(written, 8191);
    EXPECT_EQ(std::strlen(buffer.data()), 8191u);

    FILE* stream = std::tmpfile();
    ASSERT_NE(stream, nullptr);
    written = ArcMSGS_FormatString(stream, nullptr, 0, text, args.data(), 9);
    long size = std::ftell(stream);
    std::fclose(stream);
    EXPECT_EQ(written, 11 * 8192);
    EXPECT_EQ(size, 11 * 8192);
}

TEST(MessageFormat, CountsInserts) {
    struct Case {
        const char* text;
        int expected;
    };
    const Case cases[] = {
        {nullptr, 0},
        {"", 0},
        {"Logoff", 0},
        {"Login: %1$s", 1},
        {"%2$s - %1$s", 2},
        {"%1%2", 2},
        {"100%", 0},
        {"%1$s%", 1},
        {"%%1", 1},
        {"%X %p %Z %A %B %d, %Y", 0},
        {"%1%2%3%4%5%6%7%8%9%1%2", 11},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ArcMSGS_CountInserts(c.text), c.expected) << (c.text ? c.text : "(null)");
    }
}

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
#pragma GCC diagnostic ignored "-Wformat-security"
std::string Glibc(const std::string& format, const std::vector<const char*>& a) {
    char buffer[1024];
    std::snprintf(buffer, sizeof buffer, format.c_str(), a[0], a[1], a[2], a[3], a[4], a[5], a[6], a[7],
                  a[8]);
    return buffer;
}
#pragma GCC diagnostic pop

TEST(MessageFormat, AgreesWithGlibcPositionalPrintf) {
    const std::vector<const char*> args = {"one", "%2$s", "", "fo ur", "5", "%", "seven", "ei%ght", "9"};
    const char* words[] = {"Name(", ") ", "Agid", "-", " ", ">", "<.  errno=", "", "x"};
    unsigned seed = 12345;
    auto next = [&seed](unsigned bound) {
        seed = seed * 1103515245u + 12345u;
        return (seed >> 16) % bound;
    };
    for (int round = 0; round < 400; ++round) {
        // glibc needs every position from 1 to the highest one used; order and repeats are free.
        int highest = 1 + static_cast<int>(next(9));
        std::vector<int> order;
        for (int i = 1; i <= highest; ++i) order.push_back(i);
        for (int extra = static_cast<int>(next(4)); extra > 0; --extra)
            order.push_back(1 + static_cast<int>(next(highest)));
        for (size_t i = order.size(); i > 1; --i)
            std::swap(order[i - 1], order[next(static_cast<unsigned>(i))]);
        std::string text = words[next(9)];
        for (int position : order) {
            text += "%" + std::to_string(position) + "$s";
            text += words[next(9)];
        }
        EXPECT_EQ(Format(text.c_str(), args), Glibc(text, args)) << text;
    }
}

}  // namespace
