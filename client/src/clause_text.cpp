// The search of one application group: the WHERE text, the segment block, the
// application-group values and the text-search list (docs/where-builder.md).
#include <algorithm>
#include <cstring>
#include <limits>
#include <string>
#include <string_view>

#include "arc_platform.h"
#include "sql_values.h"
#include "where_builder.h"

namespace qelclient {
namespace {

constexpr int kRowEqual = 0;
constexpr int kRowNotEqual = 1;
constexpr int kRowLess = 2;
constexpr int kRowLessEqual = 3;
constexpr int kRowGreater = 4;
constexpr int kRowGreaterEqual = 5;
constexpr int kRowBetween = 6;
constexpr int kRowNotBetween = 7;
constexpr int kRowLike = 10;
constexpr int kRowNotLike = 11;

constexpr uint8_t kAlwaysJoined = 0x02 | 0x04;  // folder field flags of an always-joined condition
constexpr uint8_t kSegmentDate = 0x04;          // group field flag

bool IsDateField(const CsXdrFolderField& field) {
    const char type = field.type[0];
    const char kind = field.type[1];
    return (type == 'B' || type == 'I' || type == 'N') &&
           (kind == 'D' || kind == 'T' || kind == 'C' || kind == 'Z');
}

size_t CharLength(const char* p) { return static_cast<size_t>(ArcOS_CharNext(p) - p); }

// True when the character at p is in the set (characters matched whole).
bool InSet(const char* p, size_t length, const char* set) {
    if (set == nullptr || *set == '\0') return false;
    char c[3] = {p[0], length > 1 ? p[1] : '\0', '\0'};
    return Session_FindChar(c, set) != nullptr;
}

int64_t TypeMax(char type) {
    switch (type) {
        case 'N': return std::numeric_limits<int16_t>::max();
        case 'I': return std::numeric_limits<int32_t>::max();
        default: return std::numeric_limits<int64_t>::max();
    }
}

std::string Single(const char* name, int row, const std::vector<std::string>& texts) {
    const SqlOperator& op = SqlOperatorTable[row];
    std::string out = name;
    out += op.text;
    out += op.opening;
    for (size_t i = 0; i < texts.size(); ++i) {
        if (i > 0) out += op.separator;
        out += texts[i];
    }
    out += op.closing;
    return out;
}

class GroupBuilder {
public:
    GroupBuilder(const OpenFolder& folder, const WherePlan& plan, int group, bool matchAny, GroupQuery* out,
                 WhereError* error)
        : def_(*folder.definition),
          plan_(plan),
          group_(group),
          record_(folder.definition->groups[group]),
          matchAny_(matchAny),
          out_(out),
          error_(error) {}

    int Run() {
        *out_ = GroupQuery{};
        out_->groupNameField = GroupNameField(record_);
        for (const CheckedCriterion& c : plan_.criteria)
            if (int rc = Add(c); rc != 0) return rc;
        Finish();
        return 0;
    }

private:
    int Add(const CheckedCriterion& c) {
        const CsXdrFolderField& f = def_.fields[c.field];
        const char type = f.type[0];
        if (type == 'G') return 0;
        const FieldMapping mapping = MappingOf(def_, group_, c.field);
        if (type == 'R') {
            // A segment table belongs to one group; the others are searched whole.
            if (c.segment == nullptr || c.segment->groupNumber != record_.number) return 0;
            out_->segmentName = c.segment->segment.name;
            Narrow(c.segment->segment.startDate, c.segment->segment.stopDate);
            return 0;
        }
        if (type == 'A') {
            out_->values.emplace_back(2, c.values.front().text);
            return 0;
        }
        if (type == 'C') {
            out_->values.emplace_back(1, FormatInteger(c.values.front().integer));
            return 0;
        }
        if (type == 'T') {
            const uint16_t index =
                mapping.count > 0 ? static_cast<uint16_t>(mapping.first) : FOLDER_FIELD_UNMAPPED;
            out_->textSearch.emplace_back(index, c.values.front().text);
            return 0;
        }
        if (mapping.count == 0) return 0;
        const CsXdrFieldDef& first = record_.fields[mapping.first];
        const char* secondName = mapping.second >= 0 ? record_.fields[mapping.second].name : "";
        int row = c.row;
        ConditionValues values;
        if (IsDateField(f))
            row = DateValues(c, &values);
        else if (c.choice)
            row = ChoiceValues(c, f, first, &values);
        else
            PlainValues(c, f, first, &values);
        const std::string text = ConditionText(mapping, first.name, secondName, row, values);

        if ((first.flags & kSegmentDate) && !slotTaken_) {
            slotTaken_ = true;
            slot_ = text;
            SegmentRange(c, f, first, row);
        } else {
            if ((first.flags & kSegmentDate)) SegmentRange(c, f, first, row);
            const bool always = matchAny_ && (f.flags & kAlwaysJoined) == kAlwaysJoined;
            std::string& clause = always ? always_ : main_;
            bool& has = always ? alwaysHas_ : mainHas_;
            clause += has ? (always || !matchAny_ ? " AND " : " OR ") : " ( ";
            clause += text;
            has = true;
        }
        if (Length() > kWhereClauseMax) {
            error_->code = 40;
            error_->inserts = {c.values.empty() ? std::string() : c.values.front().text, std::string(f.name),
                               static_cast<int64_t>(kWhereClauseMax)};
            error_->position[0] = c.position;
            error_->position[1] = 0;
            return 40;
        }
        return 0;
    }

    // Dates are written as the 64-bit start and end of the range each value covers.
    static int DateValues(const CheckedCriterion& c, ConditionValues* out) {
        const CheckedValue& a = c.values.front();
        const CheckedValue& b = c.values.back();
        out->lower = FormatInteger(a.start);
        out->upper = FormatInteger(b.end);
        switch (c.row) {
            case kRowEqual:
            case kRowBetween: out->texts = {out->lower, out->upper}; return kRowBetween;
            case kRowNotEqual:
            case kRowNotBetween: out->texts = {out->lower, out->upper}; return kRowNotBetween;
            case kRowLess:
            case kRowGreaterEqual: out->texts = {out->lower}; return c.row;
            default: out->texts = {FormatInteger(a.end)}; return c.row;
        }
    }

    std::string ValueText(const CheckedValue& v, const CsXdrFolderField& f, const CsXdrFieldDef& groupField,
                          int row) const {
        switch (f.type[0]) {
            case 'B':
            case 'I':
            case 'N': return FormatInteger(v.integer);
            case 'D': return FormatFixed(v.real, f.user.precision, '.');
            default: break;
        }
        std::string text = PrepareText(groupField, v.text);
        if (row == kRowLike || row == kRowNotLike) text = LikePattern(text, f.user.wildcard);
        return QuoteSqlText(text);
    }

    void PlainValues(const CheckedCriterion& c, const CsXdrFolderField& f, const CsXdrFieldDef& groupField,
                     ConditionValues* out) const {
        for (const CheckedValue& v : c.values) out->texts.push_back(ValueText(v, f, groupField, c.row));
        out->lower = out->texts.front();
        out->upper = out->texts.back();
    }

    // A choice is written as the value the group stores for it.
    static int ChoiceValues(const CheckedCriterion& c, const CsXdrFolderField& f,
                            const CsXdrFieldDef& groupField, ConditionValues* out) {
        const std::string& shown = c.values.front().text;
        std::string stored = shown;
        for (uint16_t k = 0; k < groupField.mapCount; ++k) {
            const char* display = k < groupField.displayCount ? groupField.displayValues[k].text : nullptr;
            if (display == nullptr) display = groupField.mapValues[k].text;
            if (display != nullptr && shown == display && groupField.mapValues[k].text != nullptr) {
                stored = groupField.mapValues[k].text;
                break;
            }
        }
        int row = c.row;
        int64_t integer = 0;
        double real = 0.0;
        const char type = f.type[0];
        if ((type == 'B' || type == 'I' || type == 'N') &&
            ReadInteger(stored, std::numeric_limits<int64_t>::min(), std::numeric_limits<int64_t>::max(),
                        &integer)) {
            out->texts = {FormatInteger(integer)};
        } else if (type == 'D' && ReadDecimal(stored, '.', -std::numeric_limits<double>::max(),
                                              std::numeric_limits<double>::max(), 64, &real)) {
            out->texts = {FormatFixed(real, f.user.precision, '.')};
        } else {
            if (stored.find('%') != std::string::npos) row = kRowLike;
            out->texts = {QuoteSqlText(stored)};
        }
        out->lower = out->upper = out->texts.front();
        return row;
    }

    void Narrow(int64_t start, int64_t end) {
        if (!out_->hasRange) {
            out_->hasRange = true;
            out_->rangeStart = start;
            out_->rangeEnd = end;
            return;
        }
        out_->rangeStart = std::max(out_->rangeStart, start);
        out_->rangeEnd = std::min(out_->rangeEnd, end);
    }

    // The dates a condition on the segment date field can meet; none for a negation.
    void SegmentRange(const CheckedCriterion& c, const CsXdrFolderField& f, const CsXdrFieldDef& groupField,
                      int row) {
        const char type = f.type[0];
        if (type != 'B' && type != 'I' && type != 'N') return;
        const bool date = IsDateField(f);
        const int64_t firstStart = date ? c.values.front().start : c.values.front().integer;
        const int64_t firstEnd = date ? c.values.front().end : c.values.front().integer;
        const int64_t lastEnd = date ? c.values.back().end : c.values.back().integer;
        const int64_t top = TypeMax(groupField.type);
        switch (row) {
            case kRowEqual: Narrow(firstStart, firstEnd); break;
            case kRowBetween: Narrow(firstStart, lastEnd); break;
            case kRowLess:
                Narrow(-1, firstStart == std::numeric_limits<int64_t>::min() ? firstStart : firstStart - 1);
                break;
            case kRowLessEqual: Narrow(-1, firstEnd); break;
            case kRowGreater:
                Narrow(firstEnd == std::numeric_limits<int64_t>::max() ? firstEnd : firstEnd + 1, top);
                break;
            case kRowGreaterEqual: Narrow(firstStart, top); break;
            default: break;
        }
    }

    size_t SlotWidth() const { return std::max(kWhereSlotWidth, slot_.size()); }

    // The clause's length once finished.
    size_t Length() const {
        size_t length = 6 + SlotWidth() + kWhereSlotJoin;
        if (mainHas_) length += main_.size() + 3;
        if (alwaysHas_) length += always_.size() + 3 + 5;
        return length;
    }

    void Finish() {
        std::string slot = slot_;
        slot.resize(SlotWidth(), ' ');
        std::string& where = out_->where;
        if (!mainHas_ && !alwaysHas_) {
            if (slotTaken_) where = "WHERE " + slot;
            return;
        }
        where = "WHERE " + slot + (slotTaken_ ? " AND " : "     ");
        if (mainHas_) {
            where += main_;
            where += " ) ";
            if (alwaysHas_) where += " AND ";
        }
        if (alwaysHas_) {
            where += always_;
            where += " ) ";
        }
    }

    const CsXdrFolder& def_;
    const WherePlan& plan_;
    int group_;
    const CsXdrApplGroup& record_;
    bool matchAny_;
    GroupQuery* out_;
    WhereError* error_;
    std::string main_, always_, slot_;
    bool mainHas_ = false, alwaysHas_ = false, slotTaken_ = false;
};

}  // namespace

bool GroupQuery::HasAnything() const {
    return !where.empty() || hasRange || !segmentName.empty() || !values.empty() || !textSearch.empty();
}

int GroupNameField(const CsXdrApplGroup& group) {
    for (uint16_t i = 0; i < group.fieldCount; ++i)
        if (group.fields[i].flags & CS_FIELD_GROUP_NAME) return i;
    return -1;
}

std::string ConditionText(const FieldMapping& mapping, const char* firstName, const char* secondName, int row,
                          const ConditionValues& values) {
    if (mapping.count <= 1) return Single(firstName, row, values.texts);
    const SqlOperator& op = SqlOperatorTable[row];
    std::string out = " ( ";
    if (mapping.count == 2) {
        // A pair of begin and end fields: the value's range meets the pair's.
        out += firstName;
        out += " <= ";
        out += values.upper;
        out += " AND ";
        out += secondName;
        out += " >= ";
        out += op.opening;
        out += values.lower;
        out += op.closing;
    } else {
        out += Single(firstName, row, values.texts);
        out += " OR ";
        out += Single(secondName, row, values.texts);
    }
    out += " ) ";
    return out;
}

std::string PrepareText(const CsXdrFieldDef& field, std::string_view value) {
    const std::string input(value);
    std::string cased;
    cased.reserve(input.size());
    for (const char* p = input.c_str(); *p;) {
        const size_t length = CharLength(p);
        if (length == 1) {
            const int c = static_cast<unsigned char>(*p);
            if (field.textCase == 'L')
                cased += static_cast<char>(ArcOS_CharLower(c));
            else if (field.textCase == 'U')
                cased += static_cast<char>(ArcOS_CharUpper(c));
            else
                cased += *p;
        } else {
            cased.append(p, length);
        }
        p += length;
    }
    // The strip set, then the leading set at the front, then the trailing set at the end.
    std::vector<std::string> chars;
    for (const char* p = cased.c_str(); *p;) {
        const size_t length = CharLength(p);
        if (!InSet(p, length, field.formats[0])) chars.emplace_back(p, length);
        p += length;
    }
    size_t begin = 0;
    while (begin < chars.size() && InSet(chars[begin].c_str(), chars[begin].size(), field.formats[1]))
        ++begin;
    size_t end = chars.size();
    while (end > begin && InSet(chars[end - 1].c_str(), chars[end - 1].size(), field.formats[2])) --end;
    std::string out;
    for (size_t i = begin; i < end; ++i) out += chars[i];
    return out;
}

std::string LikePattern(std::string_view value, char wildcard) {
    const bool front = (wildcard == 'P' || wildcard == 'B') && (value.empty() || value.front() != '%');
    const bool back = (wildcard == 'A' || wildcard == 'B') && (value.empty() || value.back() != '%');
    const size_t added = (front ? 1 : 0) + (back && !(front && value.empty()) ? 1 : 0);
    std::string body(value);
    if (body.size() + added > kWhereValueMax) {
        // Cut on a character boundary so no double-byte character is split.
        const size_t room = kWhereValueMax - added;
        size_t keep = 0;
        for (const char* p = body.c_str(); *p;) {
            const size_t length = CharLength(p);
            if (keep + length > room) break;
            keep += length;
            p += length;
        }
        body.resize(keep);
    }
    std::string out;
    if (front) out += '%';
    out += body;
    if (back && !(front && body.empty())) out += '%';
    return out;
}

int BuildGroupQuery(const OpenFolder& folder, const WherePlan& plan, int group, bool matchAny,
                    GroupQuery* out, WhereError* error) {
    if (folder.definition == nullptr || group < 0 || group >= folder.definition->groupCount) {
        *out = GroupQuery{};
        return 0;
    }
    GroupBuilder builder(folder, plan, group, matchAny, out, error);
    return builder.Run();
}

}  // namespace qelclient
