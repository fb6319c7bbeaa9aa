// The operator table of the search clause builder. The texts carry their blanks, so
// the builder joins them without adding any; the local WHERE parser reads this form.
#include "qel_client.h"

const SqlOperator SqlOperatorTable[SQL_OPERATOR_COUNT] = {
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

int SqlOperatorIndex(uint32_t bit) {
    for (int row = 0; row < SQL_OPERATOR_COUNT; ++row) {
        if (SqlOperatorTable[row].bit == bit) return row;
    }
    return SQL_OPERATOR_COUNT;
}
