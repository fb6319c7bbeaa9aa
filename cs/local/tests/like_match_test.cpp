#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "like_backtrack.h"
#include "qel_local.h"

namespace {

using qel::local::testing::BacktrackMatch;

std::string Describe(const std::vector<QelLike_Step>& steps) {
    std::string out;
    for (const QelLike_Step& step : steps) {
        if (!out.empty()) out += ' ';
        switch (step.kind) {
            case QELLIKE_LITERAL: out += std::string("L") + step.literal; break;
            case QELLIKE_SINGLE: out += "S" + std::to_string(step.count); break;
            case QELLIKE_ANY: out += "R"; break;
            case QELLIKE_END: out += "E"; break;
            default: out += "?"; break;
        }
    }
    return out;
}

TEST(LikeMatch, EdgeCases) {
    struct Case {
        const char* pattern;
        const char* text;
        int expected;
    };
    const Case cases[] = {
        {"A%", "ABC", 1},
        {"A%", "A", 1},
        {"A%", "BA", 0},
        {"%Z", "XYZ", 1},
        {"%Z", "XYZA", 0},
        {"A_C", "ABC", 1},
        {"A_C", "AC", 1},
        {"A_C", "ABBC", 0},
        {"A__", "A", 1},
        {"A__", "AB", 1},
        {"A__", "ABC", 1},
        {"A__", "ABCD", 0},
        {"", "", 1},
        {"", "A", 0},
        {"%", "", 1},
        {"_", "", 1},
        {"a%", "ABC", 0},
        {"A*", "ABC", 1},
        {"A?C", "AC", 1},
        {"A?C", "AXC", 1},
        {"A%B", "AXBXB", 1},
        {"A%B", "AXBXC", 0},
        {"%B%B", "BB", 1},
        {"%B%B", "B", 0},
        {"%AB", "AAB", 1},
        {"_A", "BA", 1},
        {"_A", "A", 1},
        {"_A", "BBA", 0},
        {"A%", "A%", 1},
        {"100%", "1000", 1},
        {"O'B%", "O'Brien", 1},
        // Runs searched in turn: the last run stands at the end and does not take
        // characters an earlier run used.
        {"%ab%ab", "abab", 1},
        {"%ab%ab", "ab", 0},
        {"%a%e%i%", "xaxexix", 1},
        {"%a%e%i%", "ieae", 0},
        {"%%", "x", 1},
        {"%a%a", "a", 0},
        // A span with a few singles inside any-runs: each run of n singles takes 0 to n.
        {"%a__c%", "xabbcx", 1},
        {"%a__c%", "xabbbcx", 0},
        {"%a_c%", "ac", 1},
        {"%a_b_c%", "aXbc", 1},
        {"%a_b_c%", "aXXbc", 0},
        {"%a_%", "a", 1},
        {"%_a%", "a", 1},
        {"%a_c%", "aac", 1},
        {"%a_c%", "abb", 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(QelLikeMatch(c.pattern, c.text), c.expected)
            << "pattern '" << c.pattern << "' text '" << c.text << "'";
    }
}

TEST(LikeMatch, EquivalentPatterns) {
    struct Case {
        const char* pattern;
        const char* same_as;
    };
    const Case cases[] = {
        {"%%B", "%B"}, {"A_%", "A%"}, {"A%_", "A%"}, {"*?*B", "%B"}, {"__%", "%"}, {"?", "_"},
    };
    const char* texts[] = {"", "A", "B", "AB", "BA", "ABB", "AAB", "ABA", "BBB", "AXYZB"};
    for (const Case& c : cases) {
        for (const char* text : texts) {
            EXPECT_EQ(QelLikeMatch(c.pattern, text), QelLikeMatch(c.same_as, text))
                << c.pattern << " vs " << c.same_as << " on '" << text << "'";
        }
    }
}

TEST(LikeCompile, Steps) {
    struct Case {
        const char* pattern;
        const char* steps;
    };
    const Case cases[] = {
        {"", "E"},
        {"%", "R E"},
        {"%%_?*", "R E"},
        {"__", "S2 E"},
        {"?_?", "S3 E"},
        {"__%", "R E"},
        {"_?*_a", "R La E"},
        {"A_%", "LA R E"},
        {"a__b", "La S2 Lb E"},
        {"%a_", "R La S1 E"},
        {"a_b_%c", "La S1 Lb R Lc E"},
    };
    for (const Case& c : cases) {
        std::vector<QelLike_Step> steps;
        QelLike_Compile(&steps, c.pattern);
        EXPECT_EQ(Describe(steps), c.steps) << "pattern '" << c.pattern << "'";
    }
}

TEST(LikeCompile, TableGrowsWithThePattern) {
    std::string pattern;
    for (int i = 0; i < 400; ++i) pattern += (i % 2 == 0) ? "x" : "_";
    std::vector<QelLike_Step> steps;
    QelLike_Compile(&steps, pattern);
    ASSERT_EQ(steps.size(), 401u);
    EXPECT_EQ(steps.back().kind, QELLIKE_END);

    std::string text;
    for (int i = 0; i < 200; ++i) text += "xy";
    EXPECT_EQ(QelLikeMatch(pattern, text), 1);
    text.back() = 'x';  // the last "_" may also take nothing, the literal must not differ
    EXPECT_EQ(QelLikeMatch(pattern, text), 1);
    text += "zz";
    EXPECT_EQ(QelLikeMatch(pattern, text), 0);
}

// Every short pattern against every short text: the position-set matcher and
// the stepwise backtracking give the same answer.
TEST(LikeMatch, AgreesWithStepwiseBacktracking) {
    std::vector<std::string> patterns{""};
    std::vector<std::string> layer{""};
    const std::string wide = "ab%_*?";
    const std::string narrow = "ab%_";
    for (int length = 1; length <= 5; ++length) {
        const std::string& alphabet = length <= 4 ? wide : narrow;
        std::vector<std::string> grown;
        for (const std::string& p : layer) {
            for (char c : alphabet) grown.push_back(p + c);
        }
        // Past length 4 only the narrow alphabet grows further.
        if (length == 4) {
            std::vector<std::string> keep;
            for (const std::string& p : grown) {
                if (p.find_first_of("*?") == std::string::npos) keep.push_back(p);
            }
            patterns.insert(patterns.end(), grown.begin(), grown.end());
            layer = keep;
            continue;
        }
        patterns.insert(patterns.end(), grown.begin(), grown.end());
        layer = grown;
    }
    std::vector<std::string> texts{""};
    for (size_t i = 0; i < texts.size() && texts.size() < 127; ++i) {
        if (texts[i].size() < 6) {
            texts.push_back(texts[i] + 'a');
            texts.push_back(texts[i] + 'b');
        }
    }
    ASSERT_EQ(texts.size(), 127u);
    int failures = 0;
    std::vector<QelLike_Step> steps;
    for (const std::string& pattern : patterns) {
        QelLike_Compile(&steps, pattern);
        for (const std::string& text : texts) {
            const int fast = QelLike_MatchSteps(steps, text);
            const int slow = BacktrackMatch(steps, text);
            if (fast != slow && ++failures <= 10) {
                ADD_FAILURE() << "pattern '" << pattern << "' text '" << text << "': " << fast << " vs "
                              << slow;
            }
        }
    }
    EXPECT_EQ(failures, 0);
}

// Patterns that keep a backtracking matcher busy for ages; the test's time-out
// catches a matcher that goes super-linear.
TEST(LikeMatch, HostilePatternsOnLongTexts) {
    const std::string as(10000, 'a');
    auto repeat = [](const std::string& piece, int times) {
        std::string out;
        for (int i = 0; i < times; ++i) out += piece;
        return out;
    };
    struct Case {
        const char* name;
        std::string pattern;
        std::string text;
        int expected;
    };
    const Case cases[] = {
        {"alternating %_", repeat("%_", 20), as, 1},
        {"alternating _%", repeat("_%", 20), as, 1},
        {"any-runs, no final b", repeat("%a", 20) + "%b", as, 0},
        {"any-runs, final b", repeat("%a", 20) + "%b", as + "b", 1},
        {"single runs, no final b", repeat("a__", 30) + "b", as, 0},
        {"single runs, final b", repeat("a__", 30) + "b", std::string(60, 'a') + "b", 1},
        {"long single run", "a" + std::string(10001, '_'), as, 1},
        {"mixed", repeat("%a_a", 15) + "c", as + "b", 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(QelLikeMatch(c.pattern, c.text), c.expected) << c.name;
    }
}

TEST(LikeMatch, NullArgumentsDoNotMatch) {
    EXPECT_EQ(QelLikeMatch(static_cast<const char*>(nullptr), "a"), 0);
    EXPECT_EQ(QelLikeMatch("a", static_cast<const char*>(nullptr)), 0);
}

}  // namespace
