"""The inactivity time-out worked out with datetime: one line per case,
'name last now perLogon timeOut expected', times as UTC seconds.

The rule: with a per-logon time-out L that is not 0 the limit is L, with L 0 it is
TIME_OUT S; L negative, or L 0 with S not positive, means no check (0). The logon
times out (15) when the real time since the last activity exceeds the limit, or when
"now" lies before the last activity. Wall clocks of a zone are only a way to write the
moments down: a daylight-saving change must not count."""
from datetime import datetime, timedelta, timezone
from zoneinfo import ZoneInfo

UTC = timezone.utc
BERLIN = ZoneInfo("Europe/Berlin")
NEW_YORK = ZoneInfo("America/New_York")


def z(moment):
    return int(moment.timestamp())


def expected(last, now, per_logon, time_out):
    if per_logon < 0 or (per_logon == 0 and time_out <= 0):
        return 0
    if now < last:
        return 15
    limit = per_logon if per_logon != 0 else time_out
    return 15 if (now - last) > limit else 0


base = datetime(2024, 5, 14, 9, 30, tzinfo=UTC)
cases = [
    ("system limit, one second before", base, base + timedelta(seconds=599), 0, 600),
    ("system limit, exactly reached", base, base + timedelta(seconds=600), 0, 600),
    ("system limit, one second past", base, base + timedelta(seconds=601), 0, 600),
    ("per-logon limit wins, past", base, base + timedelta(seconds=301), 300, 600),
    ("per-logon limit wins, reached", base, base + timedelta(seconds=300), 300, 600),
    ("per-logon limit above the system one", base, base + timedelta(seconds=900), 1200, 600),
    ("negative per-logon: no check", base, base + timedelta(days=3), -1, 60),
    ("both zero: no check", base, base + timedelta(days=3), 0, 0),
    ("negative system limit: no check", base, base + timedelta(days=3), 0, -5),
    ("clock set back", base, base - timedelta(seconds=10), 0, 600),
    ("year later", base, base + timedelta(days=365), 0, 86400),
    # Spring forward in Berlin: the wall clock jumps 01:59 -> 03:01, two real minutes.
    ("spring forward",
     datetime(2024, 3, 31, 1, 59, tzinfo=BERLIN), datetime(2024, 3, 31, 3, 1, tzinfo=BERLIN), 0, 600),
    # Fall back in Berlin: 02:30 summer time, then 02:20 winter time, 50 real minutes.
    ("fall back",
     datetime(2024, 10, 27, 2, 30, fold=0, tzinfo=BERLIN),
     datetime(2024, 10, 27, 2, 20, fold=1, tzinfo=BERLIN), 0, 3600),
    ("fall back, limit passed",
     datetime(2024, 10, 27, 2, 30, fold=0, tzinfo=BERLIN),
     datetime(2024, 10, 27, 2, 20, fold=1, tzinfo=BERLIN), 0, 1800),
    # New York springs forward at 02:00: 01:50 -> 03:10 is twenty real minutes.
    ("spring forward in New York",
     datetime(2024, 3, 10, 1, 50, tzinfo=NEW_YORK), datetime(2024, 3, 10, 3, 10, tzinfo=NEW_YORK), 1500, 0),
]

for name, last, now, per_logon, time_out in cases:
    l, n = z(last), z(now)
    print(f"{name.replace(' ', '_')} {l} {n} {per_logon} {time_out} {expected(l, n, per_logon, time_out)}")
