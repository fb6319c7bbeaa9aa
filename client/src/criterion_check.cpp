// The checks of a search's criteria: which are in use, their operators, and their values
// read by the field's data type within the field's limits.
#include <algorithm>
#include <cstring>
#include <limits>
#include <string>
#include <string_view>

#include "arc_datetime.h"
#include "library_state.h"
#include "sql_values.h"
#include "where_builder.h"

namespace qelclient {
namespace {

constexpr uint32_t kOpEqual = 0x001;
constexpr uint32_t kOpBetween = 0x400;
constexpr uint32_t kOpNotBetween = 0x800;
constexpr uint32_t kOpIn = 0x040;
constexpr uint32_t kOpNotIn = 0x080;
constexpr uint32_t kOpLike = 0x100;
constexpr uint32_t kOpNotLike = 0x200;

bool IsDateField(const CsXdrFolderField& field) {
    const char type = field.type[0];
    const char kind = field.type[1];
    return (type == 'B' || type == 'I' || type == 'N') &&
           (kind == 'D' || kind == 'T' || kind == 'C' || kind == 'Z');
}

bool IsNumberType(char type) { return type == 'B' || type == 'I' || type == 'N' || type == 'D'; }

std::string Trim(std::string_view text) {
    const size_t first = text.find_first_not_of(' ');
    if (first == std::string_view::npos) return {};
    const size_t last = text.find_last_not_of(' ');
    return std::string(text.substr(first, last - first + 1));
}

// The words of an IN value: runs of non-blank characters.
std::vector<std::string> Words(std::string_view text) {
    std::vector<std::string> words;
    size_t at = 0;
    while (at < text.size()) {
        const size_t start = text.find_first_not_of(' ', at);
        if (start == std::string_view::npos) break;
        size_t stop = text.find(' ', start);
        if (stop == std::string_view::npos) stop = text.size();
        words.emplace_back(text.substr(start, stop - start));
        at = stop;
    }
    return words;
}

bool EqualNoCase(std::string_view a, const char* b) {
    const size_t length = std::strlen(b);
    if (a.size() != length) return false;
    for (size_t i = 0; i < length; ++i) {
        const auto x = static_cast<unsigned char>(a[i]);
        const auto y = static_cast<unsigned char>(b[i]);
        if (std::toupper(x) != std::toupper(y)) return false;
    }
    return true;
}

// The colour number of a letter of the note-colour table; 0 for any other.
int64_t ColourNumber(std::string_view value) {
    static constexpr char kLetters[] = "WBRLGYMC0";
    if (value.empty()) return 0;
    const char letter = static_cast<char>(std::toupper(static_cast<unsigned char>(value[0])));
    const char* at = std::strchr(kLetters, letter);
    return (at != nullptr && letter != '\0') ? (at - kLetters) + 1 : 0;
}

// A date limit as the field writes it; its number when the format cannot.
std::string FormatLimit(const CsXdrFolderField& field, int64_t limit) {
    ArcDTValue value;
    value.value = limit;
    value.format = field.user.dateFormat;
    value.type = field.type[1];
    char text[ARC_DT_TEXT_MAX];
    if (ArcDT_FormatValue(text, &value) != nullptr) return text;
    return FormatInteger(limit);
}

struct TypeRange {
    int64_t min;
    int64_t max;
};

// The values a date kind holds: from 1 January 1970 to the end of 9999 (a day of the
// time kind from midnight on). A field without limits is refused with these, so that
// the message shows dates in the field's format instead of the integer type's range.
TypeRange DateKindRange(char kind) {
    TypeRange range{0, 28799};
    if (kind == 'T') return range;
    ArcDateTime ignored = 0;
    if (ArcDT_ParseValue("01/01/1970", "%m/%d/%Y", kind, &range.min, &ignored) != 0 ||
        ArcDT_ParseValue("12/31/9999", "%m/%d/%Y", kind, &ignored, &range.max) != 0)
        return {std::numeric_limits<int64_t>::min(), std::numeric_limits<int64_t>::max()};
    return range;
}

TypeRange IntegerRange(const CsXdrFolderField& field) {
    TypeRange range{std::numeric_limits<int64_t>::min(), std::numeric_limits<int64_t>::max()};
    if (field.type[0] == 'I')
        range = {std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()};
    if (field.type[0] == 'N')
        range = {std::numeric_limits<int16_t>::min(), std::numeric_limits<int16_t>::max()};
    if (field.user.limitsSet) {
        range.min = std::max(range.min, field.user.minimum);
        range.max = std::min(range.max, field.user.maximum);
    }
    return range;
}

class Checker {
public:
    Checker(const OpenFolder& folder, const WhereOptions& options, WherePlan* plan, WhereError* error)
        : folder_(folder), def_(*folder.definition), options_(options), plan_(plan), error_(error) {}

    int Run() {
        plan_->criteria.clear();
        plan_->maxField = -1;
        plan_->searchGroup.assign(def_.groupCount, true);
        const int count = static_cast<int>(folder_.criteriaOrder.size());
        for (int position = 0; position < count; ++position) {
            const int field = folder_.criteriaOrder[position];
            if (field < 0 || field >= folder_.fieldCount || field >= def_.fieldCount ||
                static_cast<size_t>(field) >= folder_.criteria.size())
                continue;
            if (int rc = Check(position, field); rc != 0) return rc;
        }
        return 0;
    }

private:
    int Fail(int code, int position, int second, std::vector<WhereInsert> inserts) {
        error_->code = code;
        error_->inserts = std::move(inserts);
        error_->position[0] = position;
        error_->position[1] = second;
        return code;
    }

    bool MappedInto(int group, int field) const { return MappingOf(def_, group, field).count > 0; }

    bool PairMappedAnywhere(int field) const {
        for (int g = 0; g < def_.groupCount; ++g)
            if (MappingOf(def_, g, field).count > 1) return true;
        return false;
    }

    int Check(int position, int field) {
        const CsXdrFolderField& f = def_.fields[field];
        const FolderCriterion& c = folder_.criteria[field];
        const char type = f.type[0];
        const std::string name = f.name;
        const bool between = c.op == kOpBetween || c.op == kOpNotBetween;
        const bool list = c.op == kOpIn || c.op == kOpNotIn;
        std::string value1 = c.value1;
        std::string value2 = c.value2;
        if (IsNumberType(type)) {
            value1 = Trim(value1);
            value2 = Trim(value2);
        }

        bool inUse;
        if (c.kind == 'S')
            inUse = c.segmentChoice >= 0;
        else if (between)
            inUse = !value1.empty() || !value2.empty();
        else if (list)
            inUse = !Words(value1).empty();
        else
            inUse = !value1.empty();
        if (!inUse) {
            if (f.flags & FOLDER_FIELD_REQUIRED) return Fail(39, position, 0, {name});
            return 0;
        }

        const int row = SqlOperatorIndex(c.op);
        if (row == SQL_OPERATOR_COUNT || (c.op & c.operatorMask) == 0) return Fail(78, position, 0, {name});
        const bool like = c.op == kOpLike || c.op == kOpNotLike;
        if ((list || like) && (IsDateField(f) || PairMappedAnywhere(field)))
            return Fail(78, position, 0, {name});

        CheckedCriterion checked;
        checked.field = field;
        checked.position = position;
        checked.row = row;

        if (c.kind == 'S') {
            if (static_cast<size_t>(c.segmentChoice) >= c.segments.size() ||
                c.segments[c.segmentChoice] == nullptr)
                return Fail(79, position, 0, {std::string(), name});
            checked.segment = c.segments[c.segmentChoice];
            plan_->criteria.push_back(std::move(checked));
            return 0;
        }

        if (between) {
            if (value1.empty()) return Fail(41, position, 0, {name});
            if (value2.empty()) return Fail(41, position, 1, {name});
        }

        if (c.kind != 'C' && EqualNoCase(value1, options_.latestLetter) && !between && !list)
            return Latest(position, field, value1);

        if (c.kind == 'C') return Choice(position, field, value1, std::move(checked));

        std::vector<std::string> texts;
        if (list)
            texts = Words(value1);
        else
            texts.push_back(value1);
        if (between) texts.push_back(value2);
        for (size_t i = 0; i < texts.size(); ++i) {
            CheckedValue value;
            const int second = (between && i == 1) ? 1 : 0;
            if (int rc = Convert(position, second, f, c, texts[i], &value); rc != 0) return rc;
            checked.values.push_back(std::move(value));
        }
        if (between && Greater(f, checked.values[0], checked.values[1]))
            return Fail(45, position, 1, {value1, value2, name});
        plan_->criteria.push_back(std::move(checked));
        return 0;
    }

    // The latest-value keyword: the field becomes the search's maximum field.
    int Latest(int position, int field, const std::string& value) {
        const CsXdrFolderField& f = def_.fields[field];
        const FolderCriterion& c = folder_.criteria[field];
        bool everyGroup = def_.groupCount > 0;
        for (int g = 0; g < def_.groupCount; ++g) everyGroup = everyGroup && MappedInto(g, field);
        if (c.op != kOpEqual || f.flags != 0 || !everyGroup || plan_->maxField >= 0)
            return Fail(47, position, 0, {value, std::string(f.name)});
        plan_->maxField = field;
        return 0;
    }

    int Choice(int position, int field, const std::string& value, CheckedCriterion checked) {
        const CsXdrFolderField& f = def_.fields[field];
        const FolderCriterion& c = folder_.criteria[field];
        const std::string name = f.name;
        if (std::find(c.choices.begin(), c.choices.end(), value) == c.choices.end())
            return Fail(79, position, 0, {value, name});
        for (int g = 0; g < def_.groupCount; ++g) {
            if (f.type[0] == 'G') {
                if (value != def_.groups[g].name) plan_->searchGroup[g] = false;
                continue;
            }
            if (!ListsValue(g, field, value)) plan_->searchGroup[g] = false;
        }
        if (std::none_of(plan_->searchGroup.begin(), plan_->searchGroup.end(), [](bool b) { return b; }))
            return Fail(46, position, 0, {value, name});
        if (f.type[0] != 'G') {
            CheckedValue v;
            v.text = value;
            checked.values.push_back(std::move(v));
            checked.choice = true;
            plan_->criteria.push_back(std::move(checked));
        }
        return 0;
    }

    bool ListsValue(int group, int field, const std::string& value) const {
        const FieldMapping mapping = MappingOf(def_, group, field);
        if (mapping.count == 0) return false;
        const CsXdrFieldDef& gf = def_.groups[group].fields[mapping.first];
        for (uint16_t k = 0; k < gf.mapCount; ++k) {
            const char* shown = k < gf.displayCount ? gf.displayValues[k].text : gf.mapValues[k].text;
            if (shown != nullptr && value == shown) return true;
        }
        return false;
    }

    int Convert(int position, int second, const CsXdrFolderField& f, const FolderCriterion& c,
                const std::string& text, CheckedValue* out) {
        const std::string name = f.name;
        out->text = text;
        if (text.size() > kWhereValueMax)
            return Fail(40, position, second, {text, name, static_cast<int64_t>(kWhereValueMax)});
        if (c.inputWidth > 0 && text.size() > static_cast<size_t>(c.inputWidth))
            return Fail(40, position, second, {text, name, static_cast<int64_t>(c.inputWidth)});
        const char type = f.type[0];
        if (IsDateField(f)) {
            int64_t start = 0, end = 0;
            const char unit[2] = {f.user.defaultUnit != 0 ? f.user.defaultUnit : 'D', '\0'};
            bool read = ArcDT_ParseValue(text.c_str(), f.user.dateFormat, f.type[1], &start, &end) == 0 ||
                        ParseDateInput(text.c_str(), unit, f.type[1], f.user.dateFormat, &start, &end) == 0;
            TypeRange range = IntegerRange(f);
            const TypeRange dates = DateKindRange(f.type[1]);
            range.min = std::max(range.min, dates.min);
            range.max = std::min(range.max, dates.max);
            if (!read || start < range.min || end > range.max)
                return Fail(44, position, second,
                            {text, name, FormatLimit(f, range.min), FormatLimit(f, range.max)});
            out->start = start;
            out->end = end;
            return 0;
        }
        switch (type) {
            case 'B':
            case 'I':
            case 'N': {
                const TypeRange range = IntegerRange(f);
                if (!ReadInteger(text, range.min, range.max, &out->integer))
                    return Fail(42, position, second, {text, name, range.min, range.max});
                return 0;
            }
            case 'D':
                if (!ReadDecimal(text, options_.decimalChar, f.user.minimumReal, f.user.maximumReal,
                                 f.user.precision, &out->real))
                    return Fail(43, position, second,
                                {text, name, FormatFixed(f.user.minimumReal, f.user.precision, '.'),
                                 FormatFixed(f.user.maximumReal, f.user.precision, '.'),
                                 static_cast<int64_t>(f.user.precision)});
                return 0;
            case 'C': out->integer = ColourNumber(text); return 0;
            default: return 0;
        }
    }

    static bool Greater(const CsXdrFolderField& f, const CheckedValue& a, const CheckedValue& b) {
        if (IsDateField(f)) return a.start > b.start;
        switch (f.type[0]) {
            case 'B':
            case 'I':
            case 'N': return a.integer > b.integer;
            case 'D': return a.real > b.real;
            case 'S': return a.text > b.text;
            default: return false;
        }
    }

    const OpenFolder& folder_;
    const CsXdrFolder& def_;
    const WhereOptions& options_;
    WherePlan* plan_;
    WhereError* error_;
};

}  // namespace

WhereOptions StartupWhereOptions() {
    const LibraryOptions& o = Library().options;
    WhereOptions options;
    if (o.decimalChar != '\0') options.decimalChar = o.decimalChar;
    if (o.latestLetter[0] != '\0')
        std::memcpy(options.latestLetter, o.latestLetter, sizeof options.latestLetter);
    options.latestLetter[CLIENT_LETTER_SIZE - 1] = '\0';
    return options;
}

FieldMapping MappingOf(const CsXdrFolder& folder, int group, int field) {
    FieldMapping mapping;
    if (group < 0 || group >= folder.groupCount || folder.maps == nullptr || field < 0) return mapping;
    const CsXdrFieldMap& map = folder.maps[group];
    if (static_cast<size_t>(field) >= map.count || map.numbers == nullptr) return mapping;
    const uint16_t number = map.numbers[field];
    if (number == FOLDER_FIELD_UNMAPPED || number >= folder.groups[group].fieldCount) return mapping;
    mapping.count = 1;
    mapping.first = number;
    // A field mapped onto two group fields finds the second in the map's second half.
    const uint8_t count =
        static_cast<size_t>(field) < folder.fieldCount ? folder.fields[field].user.mapCount : 1;
    if (count > 1 && map.count >= 2 * static_cast<size_t>(folder.fieldCount)) {
        const uint16_t second = map.numbers[folder.fieldCount + field];
        if (second != FOLDER_FIELD_UNMAPPED && second < folder.groups[group].fieldCount) {
            mapping.count = count;
            mapping.second = second;
        }
    }
    return mapping;
}

int CheckCriteria(const OpenFolder& folder, const WhereOptions& options, WherePlan* plan, WhereError* error) {
    if (folder.definition == nullptr) return 0;
    Checker checker(folder, options, plan, error);
    return checker.Run();
}

}  // namespace qelclient
