// ArcDT_ConvertValue: between the types through broken-down fields. Going through
// text would pass dates through the two-digit year of the default formats and lose
// every date from 2070 on.
#include "datetime_detail.h"

ArcDateTime ArcDT_ConvertValue(ArcDateTime value, char fromLetter, char toLetter) {
    using namespace arc_dt_detail;
    if (!IsLetterInRange(fromLetter) || !IsLetterInRange(toLetter)) return -1;
    if (fromLetter == toLetter) return value;
    if (!IsKnownLetter(fromLetter) || !IsKnownLetter(toLetter)) return -1;
    if (fromLetter == 'Z' && toLetter == 'C') return ShiftToLocal(value).value_or(-1);
    if (fromLetter == 'C' && toLetter == 'Z') return ShiftFromLocal(value).value_or(-1);
    const std::optional<Fields> f = BreakDown(value, fromLetter);
    // A time of day has no date to give.
    if (!f || (!f->hasDate && toLetter != 'T')) return -1;
    return MakeValue(f->year, f->month, f->day, f->hour, f->minute, f->second, toLetter).value_or(-1);
}
