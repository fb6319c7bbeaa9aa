#include <string_view>

#include "qel_local.h"

QelSql_Condition::~QelSql_Condition() = default;

int QelSql_OperatorCode(const char* word) {
    if (word == nullptr) return QELSQL_OP_OTHER;
    struct Entry {
        std::string_view word;
        int code;
    };
    static constexpr Entry kOperators[] = {
        {"=", QELSQL_OP_EQ},
        {"<>", QELSQL_OP_NE},
        {"NOT", QELSQL_OP_NOT},
        {"LIKE", QELSQL_OP_LIKE},
        {"BETWEEN", QELSQL_OP_BETWEEN},
        {"<", QELSQL_OP_LT},
        {"<=", QELSQL_OP_LE},
        {">", QELSQL_OP_GT},
        {">=", QELSQL_OP_GE},
        {"IN", QELSQL_OP_IN},
    };
    const std::string_view text(word);
    for (const Entry& entry : kOperators) {
        if (entry.word == text) return entry.code;
    }
    return QELSQL_OP_OTHER;
}
