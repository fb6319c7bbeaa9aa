// 'C' values: UTC seconds moved by the zone's offset in whole hours. Whole hours,
// truncated toward zero, so the shift of a moment never depends on its minute
// (a +5:30 zone shifts by 5 hours at every minute of the day).
#include "datetime_detail.h"

#include "arc_platform.h"

namespace arc_dt_detail {
namespace {

int64_t WholeHourOffset(int64_t utcSeconds) {
    return static_cast<int64_t>(ArcOS_UtcOffset(utcSeconds)) / 3600 * 3600;
}

}  // namespace

std::optional<ArcDateTime> ShiftToLocal(ArcDateTime utcSeconds) {
    if (utcSeconds <= 0) return utcSeconds;
    int64_t shifted = 0;
    if (__builtin_add_overflow(utcSeconds, WholeHourOffset(utcSeconds), &shifted)) return std::nullopt;
    return shifted;
}

std::optional<ArcDateTime> ShiftFromLocal(ArcDateTime shifted) {
    if (shifted <= 0) return shifted;
    // The offset belongs to the unshifted moment: guess it from the shifted number,
    // then correct once when the guess lands on the other side of a zone change.
    int64_t guess = 0;
    if (__builtin_sub_overflow(shifted, WholeHourOffset(shifted), &guess)) return std::nullopt;
    int64_t utc = 0;
    if (__builtin_sub_overflow(shifted, WholeHourOffset(guess), &utc)) return std::nullopt;
    return utc;
}

}  // namespace arc_dt_detail
