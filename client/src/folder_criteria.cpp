// The criteria of an open folder: which fields are offered and in what order, what
// each criterion allows and how wide its input and its hit-list column are.
#include "folder_criteria.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "arc_datetime.h"

namespace qelclient {

namespace {

constexpr uint32_t kEquals = 0x001;
constexpr int kColumnGap = 3;

size_t NameLength(const CsXdrFolderField& field) { return strnlen(field.name, sizeof field.name); }

// The fields whose order number (attribute which) is not 0, by that number; equal
// numbers keep field order.
std::vector<int> Ordered(const CsXdrFolder& definition, int count, int which) {
    std::vector<int> order;
    for (int i = 0; i < count; ++i)
        if (definition.fields[i].attributes[which] != 0) order.push_back(i);
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
        return definition.fields[a].attributes[which] < definition.fields[b].attributes[which];
    });
    return order;
}

// The fixed values of the group fields behind the field, distinct (exact comparison)
// in the order met: the stored texts, or the display texts for a field flagged to
// select the second list.
std::vector<std::string> FixedValues(const CsXdrFolder& definition, int field) {
    const bool second = (definition.fields[field].flags & FOLDER_FIELD_SECOND_LIST) != 0;
    std::vector<std::string> values;
    for (uint16_t g = 0; g < definition.groupCount; ++g) {
        const CsXdrFieldMap* map = definition.maps != nullptr ? &definition.maps[g] : nullptr;
        if (map == nullptr || field >= map->count || map->numbers == nullptr) continue;
        const uint16_t number = map->numbers[field];
        const CsXdrApplGroup& group = definition.groups[g];
        if (number == FOLDER_FIELD_UNMAPPED || number >= group.fieldCount) continue;
        const CsXdrFieldDef& def = group.fields[number];
        const uint16_t count = second ? def.displayCount : def.mapCount;
        const CsXdrTextEntry* list = second ? def.displayValues : def.mapValues;
        for (uint16_t k = 0; k < count && list != nullptr; ++k) {
            const std::string text = list[k].text != nullptr ? list[k].text : "";
            if (std::find(values.begin(), values.end(), text) == values.end()) values.push_back(text);
        }
    }
    return values;
}

char KindOf(char type, bool hasChoices) {
    switch (type) {
        case 'A': return 'A';
        case 'C': return 'Z';
        case 'T': return 'T';
        case 'G': return 'C';
        case 'R': return 'S';
        default: return hasChoices ? 'C' : 'N';
    }
}

int NumberWidth(int64_t value) {
    char text[32];
    return std::snprintf(text, sizeof text, "%" PRId64, value);
}

// Days since 1 January 1970 counted from 1 (the 'D' value) of a civil date.
int64_t DayNumber(int year, int month, int day) {
    year -= month <= 2 ? 1 : 0;
    const int64_t era = (year >= 0 ? year : year - 399) / 400;
    const int64_t yoe = year - era * 400;
    const int64_t doy = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468 + 1;
}

// The longest text the format gives for the kind over sample moments: the 22nd to the
// 28th of every month of 2000 (every month name and every day name, two-digit days),
// at 11:59:57 and 23:59:57 (both halves of the day, two-digit hours).
int DateWidth(char kind, const char* format) {
    static constexpr int kSeconds[] = {11 * 3600 + 59 * 60 + 57, 23 * 3600 + 59 * 60 + 57};
    int width = 0;
    char text[ARC_DT_TEXT_MAX];
    for (int month = 1; month <= 12; ++month) {
        for (int day = 22; day <= 28; ++day) {
            for (int seconds : kSeconds) {
                ArcDTValue value;
                value.type = kind;
                value.format = format;
                const int64_t days = DayNumber(2000, month, day);
                switch (kind) {
                    case 'D': value.value = days; break;
                    case 'T': value.value = seconds / 3; break;
                    default: value.value = (days - 1) * 86400 + seconds; break;
                }
                if (ArcDT_FormatValue(text, &value) != nullptr)
                    width = std::max(width, static_cast<int>(std::strlen(text)));
            }
        }
    }
    return width;
}

int DecimalWidth(int precision, double low, double high) {
    std::string first, second;
    FormatDecimal(&first, precision, low);
    FormatDecimal(&second, precision, high);
    return static_cast<int>(std::max(first.size(), second.size()));
}

bool IsNumberColumn(const CsXdrFolderField& field) {
    const char type = field.type[0];
    return (type == 'B' || type == 'I' || type == 'N' || type == 'D') && !IsDateField(field);
}

void Measure(const CsXdrFolderField& field, FolderCriterion* c) {
    const char type = field.type[0];
    const CsFolderFieldUser& user = field.user;
    if (c->kind == 'C') {
        size_t longest = 0;
        c->fixedLength = true;
        for (const std::string& choice : c->choices) {
            if (!c->choices.empty() && choice.size() != c->choices.front().size()) c->fixedLength = false;
            longest = std::max(longest, choice.size());
        }
        c->inputWidth = c->displayWidth = static_cast<int>(longest);
    } else if (c->kind == 'S') {
        size_t longest = 0;
        for (const ClientSegmentRow* row : c->segments)
            longest = std::max(longest, SegmentEntryText(*row, 1).size());
        c->inputWidth = c->displayWidth = static_cast<int>(longest);
    } else if (type == 'A' || type == 'C' || type == 'T' || type == 'S') {
        c->inputWidth = c->displayWidth = CLIENT_WIDTH_OPEN;
    } else if (c->isDate) {
        c->inputWidth = DateWidth(field.type[1], user.dateFormat);
        c->displayWidth = DateWidth(field.type[1], user.displayFormat);
    } else if (type == 'B' || type == 'I' || type == 'N') {
        c->inputWidth = c->displayWidth = std::max(NumberWidth(user.minimum), NumberWidth(user.maximum));
    } else if (type == 'D') {
        c->inputWidth = c->displayWidth = DecimalWidth(user.precision, user.minimumReal, user.maximumReal);
    } else {
        c->inputWidth = c->displayWidth = 0;
    }
}

}  // namespace

bool IsDateField(const CsXdrFolderField& field) {
    const char type = field.type[0];
    const char kind = field.type[1];
    return (type == 'B' || type == 'I' || type == 'N') &&
           (kind == 'C' || kind == 'D' || kind == 'T' || kind == 'Z');
}

void BuildOrders(OpenFolder* folder) {
    const CsXdrFolder& definition = *folder->definition;
    folder->criteriaOrder = Ordered(definition, folder->fieldCount, 0);
    folder->displayOrder = Ordered(definition, folder->fieldCount, 1);
    folder->sortList.clear();
    for (int i : Ordered(definition, folder->fieldCount, 2))
        if (definition.fields[i].type[0] != 'R')
            folder->sortList.push_back({i, definition.fields[i].user.ascending == 'A'});
}

void BuildCriteria(OpenFolder* folder) {
    const CsXdrFolder& definition = *folder->definition;
    folder->criteria.assign(static_cast<size_t>(folder->fieldCount), FolderCriterion{});
    for (int i = 0; i < folder->fieldCount; ++i) {
        const CsXdrFolderField& field = definition.fields[i];
        FolderCriterion& c = folder->criteria[static_cast<size_t>(i)];
        const char type = field.type[0];
        if (type == 'G') {
            for (uint16_t g = 0; g < definition.groupCount; ++g)
                c.choices.emplace_back(definition.groups[g].name,
                                       strnlen(definition.groups[g].name, sizeof definition.groups[g].name));
        } else if (type != 'A' && type != 'C' && type != 'T' && type != 'R') {
            c.choices = FixedValues(definition, i);
        }
        c.kind = KindOf(type, !c.choices.empty());
        c.copied = (field.flags & FOLDER_FIELD_COPIED) != 0;
        c.isDate = IsDateField(field);
        c.isDecimal = type == 'D';
        if (c.kind == 'S' || c.kind == 'C' || c.kind == 'Z') {
            c.operatorMask = c.defaultOperator = kEquals;
        } else {
            c.operatorMask = field.display[0];
            c.defaultOperator = field.display[1];
        }
        for (const SqlOperator& row : SqlOperatorTable)
            if (c.operatorMask & row.bit) ++c.operatorCount;
        c.op = c.defaultOperator;
    }
}

void MeasureAndLayout(OpenFolder* folder) {
    const CsXdrFolder& definition = *folder->definition;
    for (int i = 0; i < folder->fieldCount; ++i)
        Measure(definition.fields[i], &folder->criteria[static_cast<size_t>(i)]);
    const auto unmeasured = [folder](int i) {
        return folder->criteria[static_cast<size_t>(i)].displayWidth == 0;
    };
    std::erase_if(folder->criteriaOrder, unmeasured);
    std::erase_if(folder->displayOrder, unmeasured);

    int start = 0;
    for (int i : folder->displayOrder) {
        const CsXdrFolderField& field = definition.fields[i];
        FolderCriterion& c = folder->criteria[static_cast<size_t>(i)];
        const int name = static_cast<int>(NameLength(field));
        const int value = std::max(c.displayWidth, 0);  // free text starts where the column does
        const int width = std::max(name, value);
        c.columnStart = start;
        const int valueStart = value > 0 ? start + (width - value) / 2 : start;
        c.valuePosition = IsNumberColumn(field) && value > 0 ? valueStart + value - 1 : valueStart;
        start += width + kColumnGap;
    }
}

std::string SegmentEntryText(const ClientSegmentRow& row, int kind) {
    char text[ARC_DT_TEXT_MAX];
    const auto first = [&]() -> std::string {
        ArcDTValue value;
        value.value = row.segment.startDate;
        value.type = row.dateLetter;
        return ArcDT_FormatValue(text, &value) != nullptr ? std::string(text) : std::string();
    };
    const auto second = [&]() -> std::string {
        ArcDTValue value;
        value.value = ArcDT_ConvertValue(row.segment.stopDate, row.dateLetter, 'C');
        value.type = 'C';
        return value.value >= 0 && ArcDT_FormatValue(text, &value) != nullptr ? std::string(text)
                                                                              : std::string();
    };
    if (kind == 1) return first();
    if (kind == 2) return second();
    return first() + '\t' + second();
}

}  // namespace qelclient
