// Descriptions of the search operators for the search form.
#include "qel_www.h"

std::string QelWWW_GetOperatorText(uint32_t op) {
    struct Row {
        uint32_t bit;
        int message;
    };
    static constexpr Row kRows[] = {
        {1, 321},  {2, 322},   {4, 323},   {8, 324},   {16, 325},   {32, 326},
        {64, 329}, {128, 330}, {256, 331}, {512, 332}, {1024, 327}, {2048, 328},
    };
    int index = static_cast<int>(op);
    for (const Row& row : kRows) {
        if (row.bit == op) index = row.message;
    }
    std::string text;
    int number = 0;
    QelWWW_FormatMessage(index, 0, nullptr, &text, &number);
    return text;
}
