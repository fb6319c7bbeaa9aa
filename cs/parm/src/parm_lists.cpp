// The list values of parameter text: the field list FLDnn, VIEWS and FLDDISPORD.
#include "qel_parm.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "parm_values.h"

using namespace qelparm::detail;

namespace {

std::string FieldKey(int n) {
    char key[16];
    std::snprintf(key, sizeof key, "FLD%02d", n);
    return key;
}

void CopyCut(char* field, size_t size, std::string_view value) {
    size_t n = value.size() < size - 1 ? value.size() : size - 1;
    std::memcpy(field, value.data(), n);
    field[n] = '\0';
}

// "a,b,name,text": b is a when there is no ','; missing parts stay empty.
ParmFieldDef ReadField(std::string_view value) {
    ParmFieldDef field;
    size_t c1 = value.find(',');
    field.first = ParseInt(value.substr(0, c1));
    if (c1 == std::string_view::npos) {
        field.second = field.first;
        return field;
    }
    std::string_view rest = value.substr(c1 + 1);
    size_t c2 = rest.find(',');
    field.second = ParseInt(rest.substr(0, c2));
    if (c2 == std::string_view::npos) return field;
    rest = rest.substr(c2 + 1);
    size_t c3 = rest.find(',');
    CopyCut(field.name, sizeof field.name, rest.substr(0, c3));
    if (c3 != std::string_view::npos) CopyCut(field.text, sizeof field.text, rest.substr(c3 + 1));
    return field;
}

// The n of a line "FLDnn=" whose key FieldKey(n) writes (at least two digits, no other
// leading zero); 0 for any other line. *value gets the value's start.
size_t FieldKeyNumber(const char* line, const char** value) {
    if (std::strncmp(line, "FLD", 3) != 0) return 0;
    const char* digits = line + 3;
    size_t length = 0;
    size_t n = 0;
    for (; digits[length] >= '0' && digits[length] <= '9'; ++length) {
        // No text holds enough lines to reach a key of 20 digits: it ends no run.
        if (length == 19) return 0;
        n = n * 10 + size_t(digits[length] - '0');
    }
    if (digits[length] != '=' || length < 2 || (length > 2 && digits[0] == '0')) return 0;
    *value = digits + length + 1;
    return n;
}

// Calls fn(n, line, value) for each field key line of the first @_FIXED_@ section, in
// text order, up to the next line that starts with the open delimiter: one pass over the
// lines a lookup by key would visit.
template <typename Fn>
void ForEachFieldKey(const char* text, Fn&& fn) {
    const std::string section = ParmFixedSection();
    const char* line = ParmFindSection(text, section.c_str());
    if (line == nullptr) return;
    const char open = ParmOpenDelimiter();
    while (*line != '\0' && *line != open) {
        const char* value = nullptr;
        size_t n = FieldKeyNumber(line, &value);
        if (n != 0) fn(n, line, value);
        const char* end = ParmLineEnd(line);
        line = *end != '\0' ? end + 1 : end;
    }
}

// How many keys FLD01, FLD02, ... are among the numbers, counting from 1 until the
// first missing one. A run cannot be longer than the list.
size_t ConsecutiveKeys(const std::vector<size_t>& numbers) {
    std::vector<bool> present(numbers.size());
    for (size_t n : numbers)
        if (n <= numbers.size()) present[n - 1] = true;
    size_t count = 0;
    while (count < present.size() && present[count]) ++count;
    return count;
}

// The ','-separated parts of a value; empty parts are skipped.
template <typename Fn>
void ForEachPart(std::string_view value, Fn&& fn) {
    while (!value.empty()) {
        size_t comma = value.find(',');
        std::string_view part = value.substr(0, comma);
        if (!part.empty() && !fn(part)) return;
        if (comma == std::string_view::npos) return;
        value.remove_prefix(comma + 1);
    }
}

}  // namespace

int ParmCountFields(const char* text) {
    return OrOnNoMemory(0, [&] {
        std::vector<size_t> numbers;
        ForEachFieldKey(text, [&](size_t n, const char*, const char*) { numbers.push_back(n); });
        return static_cast<int>(ConsecutiveKeys(numbers));
    });
}

int ParmGetFields(const char* text, ParmFieldDef* fields) {
    if (fields == nullptr) return 0;
    for (int i = 0; i < PARM_MAX_FIELDS; ++i) fields[i] = ParmFieldDef{};
    // The first line of each key counts, as a lookup by key finds it.
    std::array<const char*, PARM_MAX_FIELDS> values{};
    ForEachFieldKey(text, [&](size_t n, const char*, const char* value) {
        if (n <= values.size() && values[n - 1] == nullptr) values[n - 1] = value;
    });
    int count = 0;
    for (; count < PARM_MAX_FIELDS && values[count] != nullptr; ++count) {
        const char* value = values[count];
        fields[count] = ReadField(std::string_view(value, size_t(ParmLineEnd(value) - value)));
    }
    return count;
}

namespace {

// Deletes the first line of each of the keys FLD01 .. FLDk that ParmCountFields counts,
// as deleting them one by one would, in one pass over the text.
void DeleteFieldKeys(ParmText* text) {
    const char* base = text->c_str();
    std::vector<size_t> numbers;
    std::vector<size_t> starts;
    ForEachFieldKey(base, [&](size_t n, const char* line, const char*) {
        numbers.push_back(n);
        starts.push_back(size_t(line - base));
    });
    const size_t count = ConsecutiveKeys(numbers);
    if (count == 0) return;
    std::vector<size_t> first(count, PARM_NPOS);
    for (size_t i = 0; i < numbers.size(); ++i)
        if (numbers[i] <= count && first[numbers[i] - 1] == PARM_NPOS) first[numbers[i] - 1] = starts[i];
    std::sort(first.begin(), first.end());
    std::string kept;
    kept.reserve(text->text.size());
    size_t from = 0;
    for (size_t start : first) {
        kept.append(text->text, from, start - from);
        size_t lf = text->text.find('\n', start);
        from = lf == std::string::npos ? text->text.size() : lf + 1;
    }
    kept.append(text->text, from, std::string::npos);
    text->text.swap(kept);
}

int SetFields(ParmText* text, const ParmFieldDef* fields, int count) {
    if (text == nullptr || count < 0 || count > PARM_MAX_FIELDS || (count > 0 && fields == nullptr))
        return PARM_REFUSED;
    for (int i = 0; i < count; ++i)
        if (std::memchr(fields[i].name, ',', strnlen(fields[i].name, sizeof fields[i].name)))
            return PARM_REFUSED;
    std::string section = ParmFixedSection();
    size_t body = ParmFindSectionAt(text, section.c_str());
    if (body == PARM_NPOS) body = ParmAppendSection(text, section.c_str());
    DeleteFieldKeys(text);
    // Each entry goes first, so the section lists the highest number first.
    for (int n = 1; n <= count; ++n) {
        const ParmFieldDef& f = fields[n - 1];
        std::string value = std::to_string(f.first) + ',' + std::to_string(f.second) + ',' +
                            std::string(f.name, strnlen(f.name, sizeof f.name)) + ',' +
                            std::string(f.text, strnlen(f.text, sizeof f.text));
        ParmInsertKey(text, body, FieldKey(n).c_str(), value.c_str());
    }
    return PARM_OK;
}

}  // namespace

int ParmSetFields(ParmText* text, const ParmFieldDef* fields, int count) {
    return OrOnNoMemory(PARM_REFUSED, [&] { return SetFields(text, fields, count); });
}

int ParmCountViews(const char* text) {
    auto value = RawValue(text, ParmFixedSection(), "VIEWS");
    if (!value) return 0;
    int count = 0;
    ForEachPart(*value, [&](std::string_view) { return ++count < PARM_MAX_VIEWS; });
    return count;
}

std::unique_ptr<ParmViewList> ParmGetViews(const char* text) {
    auto value = RawValue(text, ParmFixedSection(), "VIEWS");
    if (!value) return nullptr;
    return OrOnNoMemory(std::unique_ptr<ParmViewList>(), [&] {
        auto views = std::make_unique<ParmViewList>();
        ForEachPart(*value, [&](std::string_view part) {
            std::string plain;
            ParmEscapeViewName(std::string(part.substr(0, 30)).c_str(), 0, &plain);
            CopyCut(views->names[views->count], sizeof views->names[0], plain);
            return ++views->count < PARM_MAX_VIEWS;
        });
        return views;
    });
}

int ParmGetFldDispOrd(const char* text, const char* view, int* order) {
    if (order == nullptr || view == nullptr) return -1;
    std::string section;
    ParmEscapeViewName(view, 1, &section);
    auto value = RawValue(text, section, "FLDDISPORD");
    if (!value) return -1;
    int count = 0;
    ForEachPart(*value, [&](std::string_view part) {
        order[count] = ParseInt(part);
        return ++count < PARM_MAX_FIELDS;
    });
    order[count] = -1;
    return count;
}
