// Fuzzes the WHERE parser, the IN-list splitter and the LIKE matcher, and
// checks the matcher against stepwise backtracking on short inputs.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "like_backtrack.h"
#include "qel_local.h"

namespace {

void ParseEverything(const char* text, const int* kinds, const char (*names)[QELSQL_NAME_SIZE],
                     std::string_view subject) {
    const char* cursor = text;
    const char* const end = text + std::strlen(text);
    while (true) {
        int connector = -1;
        auto condition = QelSql_ParseCondition(&cursor, &connector, kinds, names);
        if (cursor < text || cursor > end) std::abort();
        if (!condition) break;
        if (condition->field < -1 || condition->field >= QELSQL_MAX_FIELDS) std::abort();
        if (!condition->value1) std::abort();
        if (condition->op == QELSQL_OP_LIKE) QelLikeMatch(condition->value1->text, subject);
        if (condition->op == QELSQL_OP_IN) {
            std::vector<QelSql_Value> items;
            const int kind = condition->field >= 0 && kinds ? kinds[condition->field] : QELSQL_FIELD_TEXT;
            if (QelSql_SplitList(condition->value1->text, kind, &items) != 0) std::abort();
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 4096) return 0;
    const std::string input(reinterpret_cast<const char*>(data), size);

    static const int kinds[QELSQL_MAX_FIELDS] = {0, 1, 2, 3, 0, 1, 2, 3};
    static const char names[QELSQL_MAX_FIELDS][QELSQL_NAME_SIZE] = {"F1",   "F2",     "F3",  "F4",
                                                                    "NAME", "AMOUNT", "CNT", "SMALL"};
    // The text in a buffer of its exact size, so that a read past its end shows.
    std::vector<char> text(input.begin(), input.end());
    text.push_back('\0');
    ParseEverything(text.data(), kinds, names, input);
    ParseEverything(text.data(), kinds, nullptr, input);
    ParseEverything(text.data(), nullptr, nullptr, input);

    // Pattern and text: split at the first NUL, else in the middle.
    size_t split = input.find('\0');
    const bool atNul = split != std::string::npos;
    if (!atNul) split = input.size() / 2;
    const std::string_view pattern(input.data(), split);
    const std::string_view subject(input.data() + split + (atNul ? 1 : 0),
                                   input.size() - split - (atNul ? 1 : 0));
    std::vector<QelLike_Step> steps;
    QelLike_Compile(&steps, pattern);
    const int fast = QelLike_MatchSteps(steps, subject);
    if (fast != QelLikeMatch(pattern, subject)) std::abort();
    if (pattern.size() <= 12 && subject.size() <= 24 &&
        fast != qel::local::testing::BacktrackMatch(steps, subject)) {
        std::abort();
    }
    return 0;
}
