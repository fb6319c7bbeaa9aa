// The list values of parameter text: the field list FLDnn, VIEWS and FLDDISPORD.
#include "qel_parm.h"

#include <cstdio>
#include <cstring>
#include <string>

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
    std::string section = ParmFixedSection();
    int count = 0;
    while (RawValue(text, section, FieldKey(count + 1))) ++count;
    return count;
}

int ParmGetFields(const char* text, ParmFieldDef* fields) {
    if (fields == nullptr) return 0;
    for (int i = 0; i < PARM_MAX_FIELDS; ++i) fields[i] = ParmFieldDef{};
    std::string section = ParmFixedSection();
    int count = 0;
    while (count < PARM_MAX_FIELDS) {
        auto value = RawValue(text, section, FieldKey(count + 1));
        if (!value) break;
        fields[count++] = ReadField(*value);
    }
    return count;
}

namespace {

int SetFields(ParmText* text, const ParmFieldDef* fields, int count) {
    if (text == nullptr || count < 0 || count > PARM_MAX_FIELDS || (count > 0 && fields == nullptr))
        return PARM_REFUSED;
    for (int i = 0; i < count; ++i)
        if (std::memchr(fields[i].name, ',', strnlen(fields[i].name, sizeof fields[i].name)))
            return PARM_REFUSED;
    std::string section = ParmFixedSection();
    size_t body = ParmFindSectionAt(text, section.c_str());
    if (body == PARM_NPOS) body = ParmAppendSection(text, section.c_str());
    for (int n = 1;; ++n) {
        size_t value = ParmFindKeyAt(text, body, FieldKey(n).c_str());
        if (value == PARM_NPOS) break;
        ParmDeleteKey(text, value);
    }
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
