// Status records: request-layer results and local conditions to severity and code.
#include <gtest/gtest.h>

#include <string>

#include "client_test_support.h"

namespace {

using clienttest::ClientTest;

class StatusTest : public ClientTest {};

TEST_F(StatusTest, ResultsMapToSeverityAndCode) {
    struct Case {
        int result, operation, severity, code;
    };
    const Case cases[] = {
        {0, 1, 0, 0},
        {17, 1, 0, 0},
        {121, 3, 0, 0},
        {1, 1, 2, 0},
        {2, 1, 9, 4},
        {3, 1, 9, 34},
        {4, 1, 9, 5},
        {5, 1, 9, 7},
        {11, 3, 9, 7},
        {7, 1, 9, 33},
        {9, 1, 9, 1},
        {10, 8, 4, 49},
        {10, 9, 9, 50},
        {12, 1, 3, 0},
        {13, 1, 6, 35},
        {14, 1, 9, 36},
        {15, 1, 7, 6},
        {16, 1, 9, 2},
        // a negative result is no request-layer success
        {-1, 3, 9, 10},
    };
    ClientSession* s = LogOn();
    ASSERT_NE(s, nullptr);
    for (const Case& c : cases) {
        ClientStatus st;
        Session_MakeStatus(&st, s, c.result, c.operation);
        EXPECT_EQ(st.severity, c.severity) << "result " << c.result << " op " << c.operation;
        EXPECT_EQ(st.code, c.code) << "result " << c.result << " op " << c.operation;
        EXPECT_EQ(st.inserts, s->status.inserts);
        EXPECT_EQ(st.reserved, 0);
    }
}

TEST_F(StatusTest, FailuresMapByOperation) {
    struct Case {
        int operation, code;
    };
    const Case cases[] = {
        {0, 0},   {1, 8},   {2, 9},   {3, 10},  {7, 10},  {8, 13},  {9, 14},  {10, 15}, {11, 16}, {12, 1},
        {13, 17}, {14, 22}, {15, 23}, {16, 24}, {17, 24}, {18, 11}, {19, 12}, {20, 18}, {21, 19}, {22, 88},
        {23, 89}, {24, 20}, {25, 90}, {26, 91}, {27, 21}, {30, 21}, {31, 25}, {32, 26}, {33, 86}, {35, 86},
        {36, 27}, {37, 85}, {42, 85}, {43, 87}, {49, 87}, {50, 9},  {400, 9}, {-5, 9},
    };
    ClientSession* s = LogOn();
    ASSERT_NE(s, nullptr);
    for (const Case& c : cases) {
        for (int result : {6, 8}) {
            ClientStatus st;
            Session_MakeStatus(&st, s, result, c.operation);
            EXPECT_EQ(st.severity, 9) << "op " << c.operation << " result " << result;
            EXPECT_EQ(st.code, c.code) << "op " << c.operation << " result " << result;
        }
    }
}

TEST_F(StatusTest, TransportFailuresCarryTheServerText) {
    ClientSession* s = LogOn();
    ASSERT_NE(s, nullptr);
    for (int result : {2, 4}) {
        CsSetText(s->handle.serverMessage, CS_SERVER_MESSAGE_SIZE, "connection refused");
        ClientStatus st;
        Session_MakeStatus(&st, s, result, 3);
        ASSERT_EQ(st.inserts[0].kind, CLIENT_INSERT_TEXT) << result;
        EXPECT_STREQ(static_cast<const char*>(st.inserts[0].value), "connection refused");
        EXPECT_STREQ(st.serverMessage, "connection refused");
    }
    // Without a server text the status says so with a null pointer, not an empty text.
    s->handle.serverMessage[0] = '\0';
    ClientStatus st;
    Session_MakeStatus(&st, s, 2, 3);
    EXPECT_EQ(st.serverMessage, nullptr);
    EXPECT_STREQ(static_cast<const char*>(st.inserts[0].value), "");
    // A later status does not keep the earlier one's inserts.
    Session_MakeStatus(&st, s, 13, 3);
    EXPECT_EQ(st.inserts[0].value, nullptr);
}

TEST_F(StatusTest, LocalConditions) {
    struct Case {
        int kind, severity, code;
    };
    const Case cases[] = {{3, 9, 4}, {4, 7, 6}, {5, 9, 1}, {6, 6, 35}, {7, 2, 0}, {0, 9, 75}, {99, 9, 75}};
    ClientSession* s = LogOn();
    ASSERT_NE(s, nullptr);
    for (const Case& c : cases) {
        ClientStatus st;
        Session_MakeLocalStatus(&st, s, c.kind, "disk full");
        EXPECT_EQ(st.severity, c.severity) << "kind " << c.kind;
        EXPECT_EQ(st.code, c.code) << "kind " << c.kind;
        EXPECT_EQ(st.serverMessage, nullptr) << "kind " << c.kind;
        if (c.kind == 3) {
            EXPECT_STREQ(static_cast<const char*>(st.inserts[0].value), "disk full");
        } else {
            EXPECT_EQ(st.inserts[0].value, nullptr) << "kind " << c.kind;
        }
    }
}

TEST_F(StatusTest, WithoutSessionTheThreadAreaIsUsed) {
    ClientStatus st;
    Session_MakeLocalStatus(&st, nullptr, 3, "no session");
    EXPECT_EQ(st.severity, 9);
    ASSERT_NE(st.inserts, nullptr);
    EXPECT_STREQ(static_cast<const char*>(st.inserts[0].value), "no session");
    Session_MakeStatus(&st, nullptr, 15, 1);
    EXPECT_EQ(st.severity, 7);
    EXPECT_EQ(st.serverMessage, nullptr);
}

}  // namespace
