// ArcDT_ParseValue: text to the earliest and latest value it can mean.
#include "datetime_detail.h"

#include "arc_platform.h"

#include <iterator>
#include <string>
#include <string_view>
#include <vector>

namespace arc_dt_detail {
namespace {

constexpr int kMaxDepth = 4;
constexpr int kUnknown = -1;

enum class Meridiem { None, Am, Pm };

struct Parsed {
    int year = kUnknown;
    int month = kUnknown;
    int day = kUnknown;
    int hour = kUnknown;
    int minute = kUnknown;
    int second = kUnknown;
    int yearDay = kUnknown;
    Meridiem meridiem = Meridiem::None;
};

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

class Matcher {
public:
    Matcher(std::string_view text, const ArcDTNames& names) : text_(text), names_(names) {}

    // Matches the whole text against the format.
    bool MatchAll(std::string_view format) { return Match(format, 0, false) && pos_ == text_.size(); }

    const Parsed& Result() const { return parsed_; }

private:
    // With slashes, ':' and '/' in the format stand for each other: %R and %r were
    // written with '/' by parsing and with ':' by formatting, and both texts occur.
    bool Match(std::string_view format, int depth, bool slashes) {
        if (depth > kMaxDepth) return false;
        for (size_t i = 0; i < format.size(); ++i) {
            if (format[i] != '%' || i + 1 == format.size()) {
                if (!Literal(format[i], slashes)) return false;
                continue;
            }
            if (!Directive(format[++i], depth)) return false;
        }
        return true;
    }

    bool Literal(char expected, bool slashes) {
        if (pos_ >= text_.size()) return false;
        const char got = text_[pos_];
        const bool separator = expected == ':' || expected == '/';
        if (got != expected && !(slashes && separator && (got == ':' || got == '/'))) return false;
        ++pos_;
        return true;
    }

    // Reads 1..maxDigits digits as a number within low..high.
    bool Number(int maxDigits, int low, int high, int* field) {
        int value = 0;
        int count = 0;
        while (count < maxDigits && pos_ < text_.size() && IsDigit(text_[pos_])) {
            value = value * 10 + (text_[pos_++] - '0');
            ++count;
        }
        if (count == 0 || value < low || value > high) return false;
        *field = value;
        return true;
    }

    // The first name, full names before abbreviations, whose whole text begins the
    // rest of the input, ignoring case.
    bool MonthName() {
        for (const auto* table : {names_.monthNames, names_.monthAbbrevs}) {
            for (int m = 0; m < 12; ++m) {
                const std::string name = SlotText(table[m], ARC_DT_NAME_MAX);
                if (!name.empty() && StartsWithIgnoringCase(name)) {
                    pos_ += name.size();
                    parsed_.month = m + 1;
                    return true;
                }
            }
        }
        return false;
    }

    bool StartsWithIgnoringCase(const std::string& word) const {
        if (text_.size() - pos_ < word.size()) return false;
        const std::string head(text_.substr(pos_, word.size()));
        return ArcOS_StrICmp(head.c_str(), word.c_str()) == 0;
    }

    bool Word(const std::string& word) {
        if (word.empty() || !StartsWithIgnoringCase(word)) return false;
        pos_ += word.size();
        return true;
    }

    bool MeridiemWord() {
        if (Word(SlotText(names_.am, sizeof names_.am))) {
            parsed_.meridiem = Meridiem::Am;
        } else if (Word(SlotText(names_.pm, sizeof names_.pm))) {
            parsed_.meridiem = Meridiem::Pm;
        } else {
            return false;
        }
        return true;
    }

    bool Directive(char c, int depth) {
        Parsed& p = parsed_;
        switch (c) {
            case 'B':
            case 'b':
            case 'h': return MonthName();
            case 'd':
            case 'e': return Number(2, 1, 31, &p.day);
            case 'f':
            case 'm': return Number(2, 1, 12, &p.month);
            case 'H':
            case 'k': return Number(2, 0, 23, &p.hour);
            case 'I':
            case 'l': return Number(2, 1, 12, &p.hour);
            case 'M': return Number(2, 0, 59, &p.minute);
            case 'S': return Number(2, 0, 59, &p.second);
            case 'j': return Number(3, 1, 366, &p.yearDay);
            case 'p': return MeridiemWord();
            case 'y':
                // Two digits that would lie before 1970 lie in 2000-2069.
                if (!Number(2, 0, 99, &p.year)) return false;
                p.year += p.year < 70 ? 2000 : 1900;
                return true;
            case 'Y': return Number(4, kMinYear, kMaxYear, &p.year);
            case 'c': return Match(DefaultFormatOf(names_, 'Z'), depth + 1, false);
            case 'C': return Match("%a %b %e %H:%M:%S %Y", depth + 1, false);
            case 'D': return Match("%m/%d/%y", depth + 1, false);
            case 'T': return Match("%H:%M:%S", depth + 1, false);
            case 'x': return Match(DefaultFormatOf(names_, 'D'), depth + 1, false);
            case 'X': return Match(DefaultFormatOf(names_, 'T'), depth + 1, false);
            case 'R': return Match("%H:%M", depth + 1, true);
            case 'r': return Match("%I:%M:%S %p", depth + 1, true);
            case 'n': return Literal('\n', false);
            case 't': return Literal('\t', false);
            // Day names and week numbers cannot be checked against a date that is
            // not yet known; zone names are not read.
            case 'a':
            case 'A':
            case 'U':
            case 'w':
            case 'W':
            case 'Z': return false;
            default: return Literal(c, false);
        }
    }

    std::string_view text_;
    size_t pos_ = 0;
    const ArcDTNames& names_;
    Parsed parsed_;
};

// The formats tried in order: the given one (or the default), then the fallbacks.
// The type's own default date or time format is tried whenever it has not been tried
// yet, so a date alone also reads as a moment when no format is given.
std::vector<std::string> Candidates(const char* format, char letter, const ArcDTNames& names) {
    const bool given = format != nullptr && format[0] != '\0';
    std::vector<std::string> list{given ? std::string(format) : DefaultFormatOf(names, letter)};
    if (letter == 'T') {
        list.insert(list.end(), {"%H", "%H:%M"});
        if (given) list.push_back(DefaultFormatOf(names, 'T'));
        return list;
    }
    list.insert(list.end(), {"%y", "%Y", "%m/%y", "%m/%Y"});
    const std::string date = DefaultFormatOf(names, 'D');
    if (given || letter != 'D') list.push_back(date);
    if (letter == 'C' || letter == 'Z') {
        list.push_back(date + " %H");
        list.push_back(date + " %H:%M");
    }
    return list;
}

// 12 AM is midnight and 12 PM noon; a 24-hour reading above 12 takes no AM/PM word.
bool ApplyMeridiem(Parsed& p) {
    if (p.meridiem == Meridiem::None) return true;
    if (p.hour == kUnknown || p.hour > 12) return false;
    if (p.meridiem == Meridiem::Am) {
        if (p.hour == 12) p.hour = 0;
    } else if (p.hour < 12) {
        p.hour += 12;
    }
    return true;
}

// A day of the year fills an unknown month and day, or must agree with known ones.
bool ApplyYearDay(Parsed& p) {
    if (p.yearDay == kUnknown) return true;
    if (p.year == kUnknown) return false;
    const int length = IsLeapYear(p.year) ? 366 : 365;
    if (p.yearDay > length) return false;
    const CivilDate date = CivilFromDays(DaysFromCivil(p.year, 1, 1) + p.yearDay - 1);
    if ((p.month != kUnknown && p.month != date.month) || (p.day != kUnknown && p.day != date.day))
        return false;
    p.month = date.month;
    p.day = date.day;
    return true;
}

// A field may be known only when every larger one is.
bool FieldsInOrder(const Parsed& p, char letter) {
    const int chain[] = {p.year, p.month, p.day, p.hour, p.minute, p.second};
    const size_t first = letter == 'T' ? 3 : 0;
    if (chain[first] == kUnknown) return false;
    for (size_t i = first + 1; i < std::size(chain); ++i) {
        if (chain[i] != kUnknown && chain[i - 1] == kUnknown) return false;
    }
    return true;
}

std::optional<ArcDateTime> Bound(const Parsed& p, char letter, bool latest) {
    const auto pick = [&](int field, int smallest, int largest) {
        return field != kUnknown ? field : (latest ? largest : smallest);
    };
    const int year = p.year;
    const int month = pick(p.month, 1, 12);
    const int day = letter == 'T' ? 1 : pick(p.day, 1, MonthLength(year, month));
    return MakeValue(year, month, day, pick(p.hour, 0, 23), pick(p.minute, 0, 59), pick(p.second, 0, 59),
                     letter);
}

}  // namespace
}  // namespace arc_dt_detail

int ArcDT_ParseValue(const char* text, const char* format, char letter, ArcDateTime* earliest,
                     ArcDateTime* latest) {
    using namespace arc_dt_detail;
    if (text == nullptr || !IsKnownLetter(letter)) return -1;
    const ArcDTNames names = CurrentNames();
    for (const std::string& candidate : Candidates(format, letter, names)) {
        Matcher matcher(text, names);
        if (!matcher.MatchAll(candidate)) continue;
        Parsed parsed = matcher.Result();
        if (!ApplyMeridiem(parsed) || !ApplyYearDay(parsed) || !FieldsInOrder(parsed, letter)) return -1;
        const std::optional<ArcDateTime> low = Bound(parsed, letter, false);
        const std::optional<ArcDateTime> high = Bound(parsed, letter, true);
        if (!low || !high) return -1;
        if (earliest != nullptr) *earliest = *low;
        if (latest != nullptr) *latest = *high;
        return 0;
    }
    return -1;
}
