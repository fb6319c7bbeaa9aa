// ArcDT_FormatValue: strftime-like formatting with the names block's words.
#include "datetime_detail.h"

#include <cstring>
#include <string_view>

namespace arc_dt_detail {
namespace {

// Composite directives expand to formats; a names block whose default format names
// itself (%c inside the date-and-time format) must not recurse for ever.
constexpr int kMaxDepth = 4;

class Formatter {
public:
    Formatter(const Fields& fields, const ArcDTNames& names) : f_(fields), names_(names) {}

    bool Emit(std::string_view format, int depth) {
        if (depth > kMaxDepth) return false;
        for (size_t i = 0; i < format.size(); ++i) {
            if (out_.size() >= ARC_DT_TEXT_MAX) return false;
            if (format[i] != '%' || i + 1 == format.size()) {
                out_ += format[i];
                continue;
            }
            if (!Directive(format[++i], depth)) return false;
        }
        return out_.size() < ARC_DT_TEXT_MAX;
    }

    const std::string& Text() const { return out_; }

private:
    // Appends a number of at most width digits (zero-padded when pad); wider or
    // negative numbers fail.
    bool Number(int64_t value, int width, bool pad) {
        char digits[24];
        int count = 0;
        if (value < 0) return false;
        do {
            digits[count++] = static_cast<char>('0' + value % 10);
            value /= 10;
        } while (value != 0 && count < 20);
        if (count > width) return false;
        if (pad) out_.append(static_cast<size_t>(width - count), '0');
        while (count > 0) out_ += digits[--count];
        return true;
    }

    bool Name(const char (*table)[ARC_DT_NAME_MAX], int count, int index) {
        if (index < 0 || index >= count) return false;
        out_ += SlotText(table[index], ARC_DT_NAME_MAX);
        return true;
    }

    bool Directive(char c, int depth) {
        const bool date = f_.hasDate;
        const int twelve = f_.hour % 12 == 0 ? 12 : f_.hour % 12;
        switch (c) {
            case 'a': return date && Name(names_.dayAbbrevs, 7, f_.weekday);
            case 'A': return date && Name(names_.dayNames, 7, f_.weekday);
            case 'b':
            case 'h': return date && Name(names_.monthAbbrevs, 12, f_.month - 1);
            case 'B': return date && Name(names_.monthNames, 12, f_.month - 1);
            case 'c': return Emit(DefaultFormatOf(names_, 'Z'), depth + 1);
            case 'C': return Emit("%a %b %e %H:%M:%S %Y", depth + 1);
            case 'd': return date && Number(f_.day, 2, true);
            case 'D': return Emit("%m/%d/%y", depth + 1);
            case 'e': return date && Number(f_.day, 2, false);
            case 'f': return date && Number(f_.month, 2, false);
            case 'H': return Number(f_.hour, 2, true);
            case 'k': return Number(f_.hour, 2, false);
            case 'I': return Number(twelve, 2, true);
            case 'l': return Number(twelve, 2, false);
            case 'j': return date && Number(f_.yearDay, 3, true);
            case 'm': return date && Number(f_.month, 2, true);
            case 'M': return Number(f_.minute, 2, true);
            case 'n': out_ += '\n'; return true;
            case 't': out_ += '\t'; return true;
            case 'p':
                out_ += f_.hour >= 12 ? SlotText(names_.pm, sizeof names_.pm)
                                      : SlotText(names_.am, sizeof names_.am);
                return true;
            case 'r': return Emit("%I:%M:%S %p", depth + 1);
            case 'R': return Emit("%H:%M", depth + 1);
            case 'S': return Number(f_.second, 2, true);
            case 'T': return Emit("%H:%M:%S", depth + 1);
            case 'U': return date && Number((f_.yearDay - 1 - f_.weekday + 7) / 7, 2, true);
            case 'w': return date && Number(f_.weekday, 1, false);
            case 'W': return date && Number((f_.yearDay - 1 - (f_.weekday + 6) % 7 + 7) / 7, 2, true);
            case 'x': return Emit(DefaultFormatOf(names_, 'D'), depth + 1);
            case 'X': return Emit(DefaultFormatOf(names_, 'T'), depth + 1);
            // Two digits name a year only inside 1970-2069, the window parsing reads
            // them back into; any other year would come back as a different one.
            case 'y': return date && f_.year >= 1970 && f_.year <= 2069 && Number(f_.year % 100, 2, true);
            case 'Y': return date && Number(f_.year, 4, true);
            case 'Z': out_ += ZoneName(names_); return true;
            default: out_ += c; return true;
        }
    }

    const Fields& f_;
    const ArcDTNames& names_;
    std::string out_;
};

}  // namespace
}  // namespace arc_dt_detail

char* ArcDT_FormatValue(char* buffer, const ArcDTValue* value) {
    using namespace arc_dt_detail;
    if (buffer == nullptr || value == nullptr || !IsKnownLetter(value->type)) return nullptr;
    const std::optional<Fields> fields = BreakDown(value->value, value->type);
    if (!fields) return nullptr;
    const ArcDTNames names = CurrentNames();
    const std::string format = value->format != nullptr && value->format[0] != '\0'
                                   ? std::string(value->format)
                                   : DefaultFormatOf(names, value->type);
    Formatter formatter(*fields, names);
    if (!formatter.Emit(format, 0)) return nullptr;
    const std::string& text = formatter.Text();
    std::memcpy(buffer, text.c_str(), text.size() + 1);
    return buffer;
}
