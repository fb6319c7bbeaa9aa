// Client results and catalogue messages as error replies, and whole buffers through the
// compression pipeline (zlib as the outside judge of 'O').
#include "www_test_support.h"

#include <zlib.h>

#include <climits>
#include <functional>
#include <random>
#include <variant>

#include "arc_messages.h"
#include "qel_client.h"

namespace {

using wwwtest::ConfigFromIni;
using wwwtest::NewSession;

TEST(StatusMessage, CodeTable) {
    struct Case {
        int code, message;
    };
    const Case cases[] = {
        {1, 403},  {7, 409},  {8, 483},  {9, 410},       {10, 411}, {18, 419}, {19, 396},
        {20, 396}, {21, 420}, {28, 427}, {29, 428},      {30, 480}, {31, 429}, {32, 430},
        {33, 481}, {34, 482}, {35, 431}, {49, 445},      {50, 484}, {51, 446}, {84, 479},
        {85, 396}, {0, 396},  {-1, 396}, {INT_MAX, 396},
    };
    for (const Case& c : cases) EXPECT_EQ(QelWWW_StatusMessage(c.code), c.message) << "code " << c.code;
}

TEST(FormatMessage, InsertTypes) {
    const int i = -42;
    const unsigned u = 4000000000u;
    const short h = -7;
    const unsigned short hu = 65535;
    const long l = -1234567890L;
    const unsigned long lu = 3000000000UL;
    const double d = 2.71828;
    const int64_t big = -9000000000000000000LL;
    const char c = 'Q';
    struct Case {
        const char* name;
        QelWWWInsert insert;
        const char* expected;
    };
    const Case cases[] = {
        {"text", {"a<b>", QELWWW_INSERT_TEXT}, "a<b>"},
        {"null text", {nullptr, QELWWW_INSERT_TEXT}, ""},
        {"character", {&c, QELWWW_INSERT_CHAR}, "Q"},
        {"int", {&i, QELWWW_INSERT_INT}, "-42"},
        {"unsigned", {&u, QELWWW_INSERT_UINT}, "4000000000"},
        {"short", {&h, QELWWW_INSERT_SHORT}, "-7"},
        {"unsigned short", {&hu, QELWWW_INSERT_USHORT}, "65535"},
        {"long", {&l, QELWWW_INSERT_LONG}, "-1234567890"},
        {"unsigned long", {&lu, QELWWW_INSERT_ULONG}, "3000000000"},
        {"double with precision", {&d, QELWWW_INSERT_DOUBLE, 0, 2}, "2.72"},
        {"the number itself", {nullptr, QELWWW_INSERT_NUMBER, -5}, "-5"},
        {"another message's text", {nullptr, QELWWW_INSERT_MESSAGE, 506}, "Open"},
        {"a message index outside the catalogue", {nullptr, QELWWW_INSERT_MESSAGE, 99999}, ""},
        {"64-bit", {&big, QELWWW_INSERT_INT64}, "-9000000000000000000"},
        {"unknown type", {&i, 99}, ""},
    };
    for (const Case& k : cases) {
        std::string text;
        int number = 0;
        EXPECT_EQ(QelWWW_FormatMessage(QELWWW_MSG_FILE_OPEN, 1, &k.insert, &text, &number), 0) << k.name;
        EXPECT_EQ(text, std::string("Unable to open the file: ") + k.expected) << k.name;
        EXPECT_EQ(number, 598) << k.name;
    }
}

TEST(FormatMessage, InsertCounts) {
    const QelWWWInsert two[] = {{"qelwww", QELWWW_INSERT_TEXT}, {nullptr, QELWWW_INSERT_NUMBER, 17}};
    struct Case {
        int index, count;
        const char* text;
        int number, result;
    };
    const Case cases[] = {
        {QELWWW_MSG_NO_MEMORY, 2, "Unable to allocate enough memory.  File=qelwww, Line=17", 580, 0},
        {QELWWW_MSG_NO_MEMORY, 1, "Unable to allocate enough memory.  File=qelwww, Line=", 580, 0},
        {QELWWW_MSG_LOGGED_OFF, 2, "User logged off!", 2240, 0},
        {ARC_MSG_COUNT, 2, "", 0, 1},
        {-1, 0, "", 0, 1},
    };
    for (const Case& c : cases) {
        std::string text = "stale";
        int number = -1;
        EXPECT_EQ(QelWWW_FormatMessage(c.index, c.count, two, &text, &number), c.result) << c.index;
        EXPECT_EQ(text, c.text) << c.index;
        EXPECT_EQ(number, c.number) << c.index;
    }
}

TEST(GetMessageText, CutToTheBuffer) {
    char buffer[8];
    int number = 0;
    EXPECT_EQ(QelWWW_GetMessageText(QELWWW_MSG_SELECT_FOLDER, buffer, sizeof buffer, &number), 7u);
    EXPECT_STREQ(buffer, "Select ");
    EXPECT_EQ(number, 2231);
    EXPECT_EQ(QelWWW_GetMessageText(QELWWW_MSG_OPEN_BUTTON, buffer, sizeof buffer, &number), 4u);
    EXPECT_STREQ(buffer, "Open");
    EXPECT_EQ(QelWWW_GetMessageText(100000, buffer, sizeof buffer, &number), 0u);
    EXPECT_STREQ(buffer, "");
    EXPECT_EQ(number, 0);
}

class Replies : public ::testing::Test {
protected:
    std::string Plain(const std::function<void(QelWWWSession*)>& write) {
        auto session = NewSession(&config_);
        session->noHtml = 1;
        write(session.get());
        return session->response->GetBody();
    }
    QelWWWConfig config_ = ConfigFromIni("");
};

TEST_F(Replies, ReportMessage) {
    const QelWWWInsert own{"Nothing <here>", QELWWW_INSERT_TEXT};
    EXPECT_EQ(Plain([&](QelWWWSession* s) { QelWWW_ReportMessage(&config_, s, false, 0, 1, &own); }),
              "[ERROR]\nID=0\nMSG=Nothing <here>\n");
    const QelWWWInsert server{"_server", QELWWW_INSERT_TEXT};
    EXPECT_EQ(Plain([&](QelWWWSession* s) {
                  QelWWW_ReportMessage(&config_, s, true, QELWWW_MSG_MISSING_ARG, 1, &server);
              }),
              "[ERROR]\nID=2171\nMSG=The argument '_server' was not specified\n");
    auto html = NewSession(&config_);
    QelWWW_ReportMessage(&config_, html.get(), false, 0, 1, &own);
    EXPECT_NE(html->response->GetBody().find("<h4>Nothing &lt;here&gt;</h4>"), std::string::npos);
}

TEST_F(Replies, ReportStatus) {
    const uint16_t minimum = 6;
    const int32_t count = 12;
    ClientInsert inserts[CLIENT_MAX_INSERTS] = {};
    struct Case {
        const char* name;
        ClientStatus status;
        ClientInsert first;
        const char* expected;
    };
    const Case cases[] = {
        {"server text wins", {9, 4, inserts, 0, "Host is down"}, {}, "[ERROR]\nID=0\nMSG=Host is down\n"},
        {"refused logon",
         {6, 28, inserts, 0, nullptr},
         {},
         "[ERROR]\nID=1799\nMSG=The user id or password is not valid\n"},
        {"empty server text",
         {6, 28, inserts, 0, ""},
         {},
         "[ERROR]\nID=1799\nMSG=The user id or password is not valid\n"},
        {"system parameter insert",
         {6, 29, inserts, 0, nullptr},
         {&minimum, 0, CLIENT_INSERT_PARM16},
         "[ERROR]\nID=1805\nMSG=The new password is too short.  The minimum length is 6\n"},
        {"plain number insert",
         {6, 29, inserts, 0, nullptr},
         {nullptr, 8, CLIENT_INSERT_NUMBER},
         "[ERROR]\nID=1805\nMSG=The new password is too short.  The minimum length is 8\n"},
        {"32-bit insert",
         {6, 29, inserts, 0, nullptr},
         {&count, 0, CLIENT_INSERT_INT32},
         "[ERROR]\nID=1805\nMSG=The new password is too short.  The minimum length is 12\n"},
        {"text insert",
         {9, 4, inserts, 0, nullptr},
         {"no route", 0, CLIENT_INSERT_TEXT},
         "[ERROR]\nID=1678\nMSG=Unable to communicate with the server: no route\n"},
        {"code without a message",
         {9, 19, inserts, 0, nullptr},
         {},
         "[ERROR]\nID=1619\nMSG=*** LOGIC ERROR: An unknown message id was returned by the Common Server\n"},
        {"code 0 writes nothing", {0, 0, inserts, 0, nullptr}, {}, ""},
        {"no insert list",
         {9, 4, nullptr, 0, nullptr},
         {},
         "[ERROR]\nID=1678\nMSG=Unable to communicate with the server: \n"},
    };
    for (const Case& c : cases) {
        inserts[0] = c.first;
        EXPECT_EQ(Plain([&](QelWWWSession* s) { QelWWW_ReportStatus(&config_, s, &c.status); }), c.expected)
            << c.name;
    }
}

// Every status the client layer gives names what it refused: each insert it carries
// shows up in the text, in the order the client layer gives them.
TEST_F(Replies, ClientRefusalsShowTheirInserts) {
    using Insert = std::variant<const char*, int64_t>;
    struct Case {
        int code;
        std::vector<Insert> inserts;
        const char* expected;
    };
    const Case cases[] = {
        {14, {}, "The server failed while reading the resources of the document"},
        {39, {"Account"}, "A value is required for the field 'Account'"},
        {40,
         {"abcde", "Customer", int64_t{4}},
         "The value 'abcde' for the field 'Customer' is longer than 4 characters"},
        {41, {"Account"}, "Both values must be specified for the field 'Account'"},
        {42,
         {"abc", "Account", int64_t{-2147483648LL}, int64_t{2147483647}},
         "The value 'abc' for the field 'Account' is not a whole number between -2147483648 and 2147483647"},
        {43,
         {"1,000.00", "Balance", "-1000000.00", "1000000.00", int64_t{2}},
         "The value '1,000.00' for the field 'Balance' is not a number between -1000000.00 and 1000000.00 "
         "with at most 2 decimal places"},
        {44,
         {"June", "Date", "01/01/1970", "12/31/2099"},
         "The date 'June' for the field 'Date' is not valid or does not lie between 01/01/1970 and "
         "12/31/2099"},
        {45,
         {"9", "1", "Account"},
         "The first value '9' for the field 'Account' is greater than the second value '1'"},
        {46,
         {"Payroll", "Group"},
         "No application group of the folder holds the value 'Payroll' of the field 'Group'"},
        {47, {"L", "Customer"}, "The latest value 'L' cannot be searched for in the field 'Customer'"},
        {78, {"Date"}, "The search operator is not allowed for the field 'Date'"},
        {79, {"Red", "Colour"}, "The value 'Red' is not one of the choices of the field 'Colour'"},
    };
    for (const Case& c : cases) {
        ClientInsert inserts[CLIENT_MAX_INSERTS] = {};
        for (size_t i = 0; i < c.inserts.size(); ++i) {
            if (const auto* text = std::get_if<const char*>(&c.inserts[i]))
                inserts[i] = ClientInsert{*text, 0, CLIENT_INSERT_TEXT};
            else
                inserts[i] = ClientInsert{nullptr, std::get<int64_t>(c.inserts[i]), CLIENT_INSERT_NUMBER};
        }
        const ClientStatus status{c.code == 14 ? 9 : 5, c.code, inserts, 0, nullptr};
        const std::string body = Plain([&](QelWWWSession* s) { QelWWW_ReportStatus(&config_, s, &status); });
        int number = 0;
        char text[512];
        QelWWW_GetMessageText(QelWWW_StatusMessage(c.code), text, sizeof text, &number);
        EXPECT_EQ(body, "[ERROR]\nID=" + std::to_string(number) + "\nMSG=" + c.expected + "\n")
            << "code " << c.code;
        // As many inserts in the text as the status carries.
        EXPECT_EQ(static_cast<size_t>(ArcMSGS_CountInserts(text)), c.inserts.size()) << "code " << c.code;
    }
}

TEST_F(Replies, UnreachableServerIsNamed) {
    ClientInsert inserts[CLIENT_MAX_INSERTS] = {};
    const ClientStatus noText{9, 4, inserts, 0, nullptr};
    const ClientStatus noList{9, 4, nullptr, 0, nullptr};
    struct Case {
        const char* name;
        const ClientStatus* status;
        ClientInsert first;
        const char* expected;
    } cases[] = {
        {"empty text insert",
         &noText,
         {"", 0, CLIENT_INSERT_TEXT},
         "[ERROR]\nID=1678\nMSG=Unable to communicate with the server: NOSUCH\n"},
        {"null text insert",
         &noText,
         {nullptr, 0, CLIENT_INSERT_TEXT},
         "[ERROR]\nID=1678\nMSG=Unable to communicate with the server: NOSUCH\n"},
        {"no insert list",
         &noList,
         {},
         "[ERROR]\nID=1678\nMSG=Unable to communicate with the server: NOSUCH\n"},
        {"the status's own text stays",
         &noText,
         {"no route", 0, CLIENT_INSERT_TEXT},
         "[ERROR]\nID=1678\nMSG=Unable to communicate with the server: no route\n"},
    };
    for (const Case& c : cases) {
        inserts[0] = c.first;
        EXPECT_EQ(Plain([&](QelWWWSession* s) {
                      s->serverName = "NOSUCH";
                      QelWWW_ReportStatus(&config_, s, c.status);
                  }),
                  c.expected)
            << c.name;
    }
}

std::vector<unsigned char> Pattern(size_t size) {
    std::vector<unsigned char> data(size);
    std::mt19937 random(static_cast<unsigned>(size));
    // Compressible: runs of a few letters with some noise.
    for (size_t i = 0; i < size; ++i)
        data[i] = static_cast<unsigned char>(i % 97 < 60 ? 'a' + i % 5 : random() & 0xFF);
    return data;
}

TEST(CompressBuffer, RoundTripsWithZlibAsJudge) {
    for (size_t size : {size_t{0}, size_t{1}, size_t{199}, size_t{65535}, size_t{65536}, size_t{300001}}) {
        SCOPED_TRACE(size);
        const std::vector<unsigned char> data = Pattern(size);
        std::vector<unsigned char> packed, back;
        ASSERT_EQ(QelWWW_CompressBuffer(data.data(), data.size(), 'N', 'O', &packed), 1);
        // zlib itself reads what we wrote.
        std::vector<unsigned char> oracle(size + 1);
        uLongf length = static_cast<uLongf>(oracle.size());
        ASSERT_EQ(uncompress(oracle.data(), &length, packed.data(), static_cast<uLong>(packed.size())), Z_OK);
        oracle.resize(length);
        EXPECT_EQ(oracle, data);
        ASSERT_EQ(QelWWW_CompressBuffer(packed.data(), packed.size(), 'O', 'N', &back), 1);
        EXPECT_EQ(back, data);
        if (size >= 65535) {
            EXPECT_LT(packed.size(), size);
        }
    }
}

TEST(CompressBuffer, OtherLetters) {
    const std::vector<unsigned char> data = Pattern(140000);
    for (char letter : {'L', '3', '4', '5', 'Z'}) {
        std::vector<unsigned char> packed, back, recompressed;
        ASSERT_EQ(QelWWW_CompressBuffer(data.data(), data.size(), 'N', letter, &packed), 1) << letter;
        ASSERT_EQ(QelWWW_CompressBuffer(packed.data(), packed.size(), letter, 'N', &back), 1) << letter;
        EXPECT_EQ(back, data) << letter;
        // From one compression straight into another.
        ASSERT_EQ(QelWWW_CompressBuffer(packed.data(), packed.size(), letter, 'O', &recompressed), 1)
            << letter;
        ASSERT_EQ(QelWWW_CompressBuffer(recompressed.data(), recompressed.size(), 'O', 'N', &back), 1)
            << letter;
        EXPECT_EQ(back, data) << letter;
    }
    std::vector<unsigned char> copy;
    ASSERT_EQ(QelWWW_CompressBuffer(data.data(), data.size(), 'N', 'N', &copy), 1);
    EXPECT_EQ(copy, data);
}

TEST(CompressBuffer, BadInputGivesNothing) {
    const std::vector<unsigned char> data = Pattern(5000);
    std::vector<unsigned char> packed, out = {1, 2, 3};
    ASSERT_EQ(QelWWW_CompressBuffer(data.data(), data.size(), 'N', 'O', &packed), 1);
    struct Case {
        const char* name;
        std::vector<unsigned char> input;
        char expand, compress;
    };
    std::vector<unsigned char> flipped = packed;
    flipped[flipped.size() / 2] ^= 0xFF;
    const Case cases[] = {
        {"truncated zlib stream",
         std::vector<unsigned char>(packed.begin(), packed.begin() + packed.size() / 2), 'O', 'N'},
        {"damaged zlib stream", flipped, 'O', 'N'},
        {"plain text read as LZW", data, 'Z', 'N'},
        {"unknown expand letter", data, 'Q', 'N'},
        {"unknown compress letter", data, 'N', 'Q'},
    };
    for (const Case& c : cases) {
        out = {1, 2, 3};
        EXPECT_EQ(QelWWW_CompressBuffer(c.input.data(), c.input.size(), c.expand, c.compress, &out), 0)
            << c.name;
        EXPECT_TRUE(out.empty()) << c.name;
    }
    EXPECT_EQ(QelWWW_CompressBuffer(nullptr, 10, 'N', 'O', &out), 0);
    EXPECT_EQ(QelWWW_CompressBuffer(data.data(), data.size(), 'N', 'O', nullptr), 0);
}

}  // namespace
