// The matcher against the first position-set matcher (like_reach.h) on random
// patterns and texts: every entry point gives its answers, on texts that fit
// one word of positions, several, and more than the stack holds, and on
// patterns long enough to leave the stack.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "like_reach.h"
#include "qel_local.h"

namespace {

using qel::local::testing::ReachMatch;

std::string Random(std::mt19937& rng, std::string_view alphabet, size_t longest) {
    std::string out(std::uniform_int_distribution<size_t>(0, longest)(rng), ' ');
    for (char& c : out) c = alphabet[std::uniform_int_distribution<size_t>(0, alphabet.size() - 1)(rng)];
    return out;
}

// A pattern cut from the text with wildcards dropped in, so that many match.
std::string PatternFrom(std::mt19937& rng, const std::string& text, size_t longest) {
    const size_t from = std::uniform_int_distribution<size_t>(0, text.size())(rng);
    std::string pattern = text.substr(from, std::uniform_int_distribution<size_t>(0, longest)(rng));
    const int wildcards = std::uniform_int_distribution<int>(0, 6)(rng);
    for (int i = 0; i < wildcards; ++i) {
        const size_t at = std::uniform_int_distribution<size_t>(0, pattern.size())(rng);
        const size_t drop = std::min(pattern.size() - at, std::uniform_int_distribution<size_t>(0, 4)(rng));
        const std::string wild = std::uniform_int_distribution<int>(0, 3)(rng) == 0
                                     ? std::string(std::uniform_int_distribution<size_t>(1, 3)(rng), '_')
                                     : std::string(1, "%_*?"[std::uniform_int_distribution<int>(0, 3)(rng)]);
        pattern.replace(at, drop, wild);
    }
    if (std::uniform_int_distribution<int>(0, 1)(rng) == 0) pattern.insert(0, "%");
    return pattern;
}

struct Counts {
    int cases = 0;
    int matches = 0;
    int failures = 0;
};

void Check(const std::string& pattern, const std::string& text, Counts& counts) {
    std::vector<QelLike_Step> steps;
    QelLike_Compile(&steps, pattern);
    const int expected = ReachMatch(steps, text);
    const QelLikePattern compiled(pattern);
    // The C-string form reads up to the first NUL: it sees the whole texts only without one.
    const bool noNul = pattern.find('\0') == std::string::npos && text.find('\0') == std::string::npos;
    const int answers[] = {QelLikeMatch(pattern, text), compiled.Match(text), QelLike_MatchSteps(steps, text),
                           noNul ? QelLikeMatch(pattern.c_str(), text.c_str()) : expected};
    const char* names[] = {"QelLikeMatch", "QelLikePattern", "QelLike_MatchSteps", "QelLikeMatch(char*)"};
    ++counts.cases;
    counts.matches += expected;
    for (int i = 0; i < 4; ++i) {
        if (answers[i] != expected && ++counts.failures <= 10) {
            ADD_FAILURE() << names[i] << " pattern '" << pattern << "' text of " << text.size() << " '"
                          << text.substr(0, 80) << "': " << answers[i] << " vs " << expected;
        }
    }
}

TEST(LikeEquivalence, RandomPatternsAndTexts) {
    struct Range {
        const char* name;
        size_t longestText;
        size_t longestPattern;
        int cases;
    };
    // 63 characters fill one word of positions; past 4,095 the bit set leaves the stack.
    const Range ranges[] = {
        {"short", 12, 10, 150000},
        {"one word", 63, 24, 40000},
        {"several words", 400, 40, 5000},
        {"past the stack", 9000, 80, 60},
    };
    std::mt19937 rng(20240611);
    for (const Range& range : ranges) {
        Counts counts;
        for (int n = 0; n < range.cases; ++n) {
            const std::string_view alphabet = n % 20 == 0 ? std::string_view("ab\0\xff%_", 6) : "abc";
            const std::string text = Random(rng, n % 3 == 0 ? "ab" : alphabet, range.longestText);
            const std::string pattern = n % 4 == 0 ? Random(rng, "ab%_*?", range.longestPattern)
                                                   : PatternFrom(rng, text, range.longestPattern);
            Check(pattern, text, counts);
        }
        EXPECT_EQ(counts.failures, 0) << range.name;
        // Both answers turn up often enough to mean something.
        EXPECT_GT(counts.matches, counts.cases / 10) << range.name;
        EXPECT_LT(counts.matches, counts.cases * 9 / 10) << range.name;
    }
}

// Runs of singles and literals at each end and around the word boundaries.
TEST(LikeEquivalence, SinglesAcrossWordBoundaries) {
    Counts counts;
    for (size_t length : {62, 63, 64, 65, 127, 128, 129, 4094, 4095, 4096, 4097}) {
        const std::string as(length, 'a');
        for (const std::string& pattern :
             {std::string("a") + std::string(length, '_'), std::string(length - 1, '_') + "a",
              std::string("%a__a"), std::string("_a%a_"),
              std::string(length / 2, '_') + "a" + std::string(length / 2, '_'),
              "a%" + std::string(60, '_') + "b", std::string(70, '_') + "a" + std::string(70, '_') + "%"}) {
            Check(pattern, as, counts);
            Check(pattern, as + "b", counts);
            Check(pattern, "b" + as, counts);
        }
    }
    EXPECT_EQ(counts.failures, 0);
    EXPECT_GT(counts.matches, 0);
}

// Tables not made by the compiler: repeated wildcards, an unknown kind, no end step.
TEST(LikeEquivalence, HandMadeSteps) {
    const std::vector<std::vector<QelLike_Step>> tables = {
        {{QELLIKE_ANY, 0, 0}, {QELLIKE_ANY, 0, 0}, {QELLIKE_LITERAL, 'b', 0}, {QELLIKE_END, 0, 0}},
        {{QELLIKE_SINGLE, 0, 1}, {QELLIKE_SINGLE, 0, 2}, {QELLIKE_LITERAL, 'a', 0}, {QELLIKE_END, 0, 0}},
        {{QELLIKE_SINGLE, 0, 2}, {QELLIKE_ANY, 0, 0}, {QELLIKE_SINGLE, 0, 1}, {QELLIKE_END, 0, 0}},
        {{QELLIKE_LITERAL, '%', 0}, {QELLIKE_SINGLE, 0, 0}, {QELLIKE_LITERAL, '_', 0}},
        {{QELLIKE_LITERAL, 'a', 0}, {9, 0, 0}, {QELLIKE_END, 0, 0}},
        {{QELLIKE_LITERAL, 'a', 0}, {QELLIKE_END, 0, 0}, {QELLIKE_LITERAL, 'b', 0}},
        {},
    };
    const char* texts[] = {"", "a", "b", "ab", "ba", "aab", "bab", "%_", "%x_", "abab", "aaaa"};
    int failures = 0;
    for (size_t t = 0; t < tables.size(); ++t) {
        for (const char* text : texts) {
            const int expected = ReachMatch(tables[t], text);
            if (QelLike_MatchSteps(tables[t], text) != expected && ++failures <= 10) {
                ADD_FAILURE() << "table " << t << " text '" << text << "': expected " << expected;
            }
        }
    }
    EXPECT_EQ(failures, 0);
}

}  // namespace
