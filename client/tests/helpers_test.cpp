// The yield callback (per thread) and the character helpers of the search builder.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "qel_client.h"

namespace {

std::atomic<int> callsA{0}, callsB{0};
void YieldA() { ++callsA; }
void YieldB() { ++callsB; }

TEST(YieldCallback, CallsTheFunctionOfTheWaitingThreadOnly) {
    callsA = 0;
    callsB = 0;
    EXPECT_EQ(CsYieldControlCallback(), 0);  // none set: nothing to call
    Client_SetYieldFunction(YieldA);
    Client_SetCallbackWord(11);
    std::thread other([] {
        EXPECT_EQ(Client_GetCallbackWord(), 0u);
        EXPECT_EQ(CsYieldControlCallback(), 0);  // this thread set none
        Client_SetYieldFunction(YieldB);
        Client_SetCallbackWord(22);
        EXPECT_EQ(CsYieldControlCallback(), 0);
        EXPECT_EQ(Client_GetCallbackWord(), 22u);
    });
    other.join();
    EXPECT_EQ(CsYieldControlCallback(), 0);
    EXPECT_EQ(callsA, 1);
    EXPECT_EQ(callsB, 1);
    EXPECT_EQ(Client_GetCallbackWord(), 11u);
    Client_SetYieldFunction(nullptr);
    EXPECT_EQ(CsYieldControlCallback(), 0);
    EXPECT_EQ(callsA, 1);
}

TEST(CharHelpers, MatchLetterUpperCasesSingleBytes) {
    struct Case {
        const char* input;
        const char* letter;
        bool match;
        int advance;
    };
    const Case cases[] = {
        {"d+1", "D", true, 1}, {"D", "D", true, 1}, {"m", "D", false, 0},
        {"", "D", false, 0},   {"t", "T", true, 1}, {"1", "1", true, 1},
    };
    for (const Case& c : cases) {
        const char* next = nullptr;
        EXPECT_EQ(Session_MatchLetter(c.input, c.letter, &next), c.match) << c.input;
        if (c.match) {
            EXPECT_EQ(next, c.input + c.advance) << c.input;
        }
    }
    EXPECT_FALSE(Session_MatchLetter(nullptr, "D", nullptr));
}

TEST(CharHelpers, FindChar) {
    const char* text = "a,b;c";
    EXPECT_EQ(Session_FindChar(",", text), text + 1);
    EXPECT_EQ(Session_FindChar(";", text), text + 3);
    EXPECT_EQ(Session_FindChar("x", text), nullptr);
    EXPECT_EQ(Session_FindChar("", text), nullptr);
    EXPECT_EQ(Session_FindChar(",", nullptr), nullptr);
}

}  // namespace
