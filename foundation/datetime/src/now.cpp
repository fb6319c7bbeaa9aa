// ArcDT_Now: the current time in each type.
#include "datetime_detail.h"

#include "arc_platform.h"

#include <ctime>

ArcDateTime ArcDT_Now(char letter) {
    using namespace arc_dt_detail;
    if (!IsLetterInRange(letter)) return -1;
    if (!IsKnownLetter(letter)) return 0;
    const int64_t now = ArcOS_TimeNow();
    if (letter == 'Z') return now;
    if (letter == 'C') return ShiftToLocal(now).value_or(-1);
    struct tm local {};
    if (ArcOS_LocalTime(now, &local) != 0) return -1;
    return MakeValue(static_cast<int64_t>(local.tm_year) + 1900, local.tm_mon + 1, local.tm_mday,
                     local.tm_hour, local.tm_min, local.tm_sec, letter)
        .value_or(-1);
}
