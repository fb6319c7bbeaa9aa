// The folder definition in the open-folder blob: folder fields with their user rows,
// application groups with their fields and applications, and the field maps.
#include "state_folder_definition.h"

#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "state_format.h"

namespace qelclient {
namespace {

// Least bytes of one entry, so that a count the payload cannot hold fails before the
// array is allocated.
constexpr size_t kMinValue = 1;
constexpr size_t kMinUser = 4 * 8 + 2 + 2 * 4 + 4;
constexpr size_t kMinFolderField = 4 + 4 + 2 + 2 + 3 * 2 + 1 + 3 * 2 + 2 * kMinValue + kMinUser;
constexpr size_t kMinFieldDef = 4 + 1 + 1 + 2 + 1 + 2 + 4 + 4 + 3 * 4 + 1;
constexpr size_t kMinApplEntry = 4 + 4 + 1 + 4 + 4 + 4 + 3 + 1;
constexpr size_t kMinGroup = 4 + 3 * 4 + 2 + 1 + 4 + 1 + 4 + 1 + 7 * 4 + 4 + 4 + 4 + 3 * 2 + 4 + 1;

template <size_t N>
std::string_view Slot(const char (&slot)[N]) {
    return std::string_view(slot, strnlen(slot, N));
}

bool IsLetter(char c) { return c >= 'A' && c <= 'Z'; }
bool OneOf(char c, std::string_view set) { return set.find(c) != std::string_view::npos; }

uint64_t Bits(double value) {
    uint64_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}

double Real(uint64_t bits) {
    double value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

char* Dup(const std::string& text) {
    auto* p = static_cast<char*>(std::malloc(text.size() + 1));
    if (p != nullptr) std::memcpy(p, text.c_str(), text.size() + 1);
    return p;
}

// An array of count zeroed entries that CsFreeFolderList releases; null for 0.
template <typename T>
T* Zeroed(BlobReader& r, size_t count) {
    if (count == 0 || !r.ok()) return nullptr;
    auto* p = static_cast<T*>(std::calloc(count, sizeof(T)));
    if (p == nullptr) r.Fail();
    return p;
}

// A pointer text: presence byte, then the text.
void WriteOptional(BlobWriter& w, const char* text) {
    w.U8(text != nullptr ? 1 : 0);
    if (text != nullptr) w.Text(text);
}

void ReadOptional(BlobReader& r, uint32_t max, char** out) {
    *out = nullptr;
    if (!r.Flag()) return;
    const std::string text = r.Text(max);
    if (!r.ok()) return;
    *out = Dup(text);
    if (*out == nullptr) r.Fail();
}

// A typed value slot: its own letter says what follows, as it says what to free.
void WriteValue(BlobWriter& w, const CsXdrValue& v) {
    w.U8(static_cast<uint8_t>(v.type));
    switch (v.type) {
        case 'B': w.I64(v.v.big); break;
        case 'D': w.U64(Bits(v.v.real)); break;
        case 'I': w.I32(v.v.integer); break;
        case 'N': w.U16(static_cast<uint16_t>(v.v.small)); break;
        case 'S':
        case 'T': WriteOptional(w, v.v.text); break;
        default: break;
    }
}

void ReadValue(BlobReader& r, CsXdrValue* v) {
    const char type = static_cast<char>(r.U8());
    if (type != 0 && !IsLetter(type)) return r.Fail();
    switch (type) {
        case 'B': v->v.big = r.I64(); break;
        case 'D': v->v.real = Real(r.U64()); break;
        case 'I': v->v.integer = r.I32(); break;
        case 'N': v->v.small = static_cast<int16_t>(r.U16()); break;
        case 'S':
        case 'T': ReadOptional(r, kValueTextMax, &v->v.text); break;
        default: break;
    }
    // The letter last: a text slot holds its pointer (or null) before it is typed.
    v->type = type;
}

void WriteUser(BlobWriter& w, const CsFolderFieldUser& u) {
    w.I64(u.minimum);
    w.I64(u.maximum);
    w.U64(Bits(u.minimumReal));
    w.U64(Bits(u.maximumReal));
    w.U16(static_cast<uint16_t>(u.precision));
    w.Text(Slot(u.dateFormat));
    w.Text(Slot(u.displayFormat));
    w.U8(static_cast<uint8_t>(u.wildcard));
    w.U8(static_cast<uint8_t>(u.defaultUnit));
    w.U8(static_cast<uint8_t>(u.ascending));
    w.U8(u.limitsSet);
    w.U8(u.mapCount);
}

void ReadUser(BlobReader& r, CsFolderFieldUser* u) {
    u->minimum = r.I64();
    u->maximum = r.I64();
    u->minimumReal = Real(r.U64());
    u->maximumReal = Real(r.U64());
    u->precision = static_cast<int16_t>(r.U16());
    r.TextInto(u->dateFormat, sizeof u->dateFormat);
    r.TextInto(u->displayFormat, sizeof u->displayFormat);
    u->wildcard = static_cast<char>(r.U8());
    u->defaultUnit = static_cast<char>(r.U8());
    u->ascending = static_cast<char>(r.U8());
    u->limitsSet = r.U8();
    u->mapCount = r.U8();
    if (!OneOf(u->wildcard, std::string_view("\0PAB", 4)) ||
        !OneOf(u->defaultUnit, std::string_view("\0DMY", 4)) || u->limitsSet > 1)
        r.Fail();
}

void WriteFolderField(BlobWriter& w, const CsXdrFolderField& f) {
    w.Text(Slot(f.name));
    w.Text(Slot(f.description));
    w.U8(static_cast<uint8_t>(f.type[0]));
    w.U8(static_cast<uint8_t>(f.type[1]));
    w.U16(f.number);
    for (uint16_t a : f.attributes) w.U16(a);
    w.U8(f.flags);
    for (uint16_t d : f.display) w.U16(d);
    for (const CsXdrValue& v : f.defaults) WriteValue(w, v);
    WriteUser(w, f.user);
}

void ReadFolderField(BlobReader& r, CsXdrFolderField* f) {
    r.TextInto(f->name, sizeof f->name);
    r.TextInto(f->description, sizeof f->description);
    f->type[0] = static_cast<char>(r.U8());
    f->type[1] = static_cast<char>(r.U8());
    if (!OneOf(f->type[0], "ABCDGINRST") || !OneOf(f->type[1], std::string_view("\0CDTZ", 5))) r.Fail();
    f->number = r.U16();
    for (uint16_t& a : f->attributes) a = r.U16();
    f->flags = r.U8();
    for (uint16_t& d : f->display) d = r.U16();
    for (CsXdrValue& v : f->defaults) ReadValue(r, &v);
    ReadUser(r, &f->user);
}

void WriteTextEntries(BlobWriter& w, const CsXdrTextEntry* entries, uint16_t count) {
    w.U32(count);
    for (uint16_t i = 0; i < count; ++i) WriteOptional(w, entries[i].text);
}

void ReadTextEntries(BlobReader& r, CsXdrTextEntry** entries, uint16_t* count) {
    const uint32_t n = r.Count(CS_XDR_ARRAY_MAX, 1);
    *entries = Zeroed<CsXdrTextEntry>(r, n);
    if (!r.ok()) return;
    *count = static_cast<uint16_t>(n);
    for (uint32_t i = 0; i < n && r.ok(); ++i) ReadOptional(r, kListTextMax, &(*entries)[i].text);
}

void WriteFieldDef(BlobWriter& w, const CsXdrFieldDef& f) {
    w.Text(Slot(f.name));
    w.U8(static_cast<uint8_t>(f.type));
    w.U8(f.flags);
    w.U16(f.textLength);
    w.U8(f.textCase);
    w.U16(f.number);
    WriteTextEntries(w, f.mapValues, f.mapCount);
    WriteTextEntries(w, f.displayValues, f.displayCount);
    for (const auto& format : f.formats) w.Text(Slot(format));
    w.U8(static_cast<uint8_t>(f.dateType));
}

void ReadFieldDef(BlobReader& r, CsXdrFieldDef* f) {
    r.TextInto(f->name, sizeof f->name);
    f->type = static_cast<char>(r.U8());
    if (!IsLetter(f->type)) r.Fail();
    f->flags = r.U8();
    f->textLength = r.U16();
    f->textCase = r.U8();
    f->number = r.U16();
    ReadTextEntries(r, &f->mapValues, &f->mapCount);
    ReadTextEntries(r, &f->displayValues, &f->displayCount);
    for (auto& format : f->formats) r.TextInto(format, sizeof format);
    f->dateType = static_cast<char>(r.U8());
    if (!OneOf(f->dateType, std::string_view("\0CDTZ", 5))) r.Fail();
}

void WriteApplEntry(BlobWriter& w, const CsXdrApplEntry& a) {
    w.Text(Slot(a.name));
    w.Text(Slot(a.description));
    WriteOptional(w, a.value);
    w.Bytes(a.flags, sizeof a.flags);
    w.U32(a.number);
    w.U32(a.options);
    for (const char* text : a.texts) WriteOptional(w, text);
    WriteOptional(w, a.parameters.text);
}

void ReadApplEntry(BlobReader& r, CsXdrApplEntry* a) {
    r.TextInto(a->name, sizeof a->name);
    r.TextInto(a->description, sizeof a->description);
    ReadOptional(r, kListTextMax, &a->value);
    r.Bytes(a->flags, sizeof a->flags);
    a->number = r.U32();
    a->options = r.U32();
    for (char*& text : a->texts) ReadOptional(r, kListTextMax, &text);
    ReadOptional(r, kListTextMax, &a->parameters.text);
}

void WriteGroup(BlobWriter& w, const CsXdrApplGroup& g) {
    w.U32(g.number);
    w.Text(Slot(g.name));
    w.Text(Slot(g.description));
    w.Text(Slot(g.prefix));
    w.U16(g.notePermissions);
    w.U8(static_cast<uint8_t>(g.segmentKind));
    w.U32(g.rowsPerSegment);
    w.U8(g.logging);
    w.U32(g.storageSet);
    w.U8(g.permissions);
    for (uint32_t word : g.words) w.U32(word);
    w.U32(g.flags);
    w.U32(g.fieldCount);
    for (uint16_t i = 0; i < g.fieldCount; ++i) WriteFieldDef(w, g.fields[i]);
    w.U32(g.applCount);
    for (uint16_t i = 0; i < g.applCount; ++i) WriteApplEntry(w, g.appls[i]);
    for (uint16_t value : g.textSearch.values) w.U16(value);
    w.Text(Slot(g.textSearch.folder));
    WriteOptional(w, g.restriction);
}

void ReadGroup(BlobReader& r, CsXdrApplGroup* g) {
    g->number = r.U32();
    r.TextInto(g->name, sizeof g->name);
    r.TextInto(g->description, sizeof g->description);
    r.TextInto(g->prefix, sizeof g->prefix);
    g->notePermissions = r.U16();
    g->segmentKind = static_cast<char>(r.U8());
    g->rowsPerSegment = r.U32();
    g->logging = r.U8();
    g->storageSet = r.U32();
    g->permissions = r.U8();
    for (uint32_t& word : g->words) word = r.U32();
    g->flags = r.U32();
    const uint32_t fields = r.Count(CS_XDR_ARRAY_MAX, kMinFieldDef);
    g->fields = Zeroed<CsXdrFieldDef>(r, fields);
    if (!r.ok()) return;
    g->fieldCount = static_cast<uint16_t>(fields);
    for (uint32_t i = 0; i < fields && r.ok(); ++i) ReadFieldDef(r, &g->fields[i]);
    const uint32_t appls = r.Count(CS_XDR_ARRAY_MAX, kMinApplEntry);
    g->appls = Zeroed<CsXdrApplEntry>(r, appls);
    if (!r.ok()) return;
    g->applCount = static_cast<uint16_t>(appls);
    for (uint32_t i = 0; i < appls && r.ok(); ++i) ReadApplEntry(r, &g->appls[i]);
    for (uint16_t& value : g->textSearch.values) value = r.U16();
    r.TextInto(g->textSearch.folder, sizeof g->textSearch.folder);
    ReadOptional(r, kRestrictionMax, &g->restriction);
}

// One map per group; every entry names a field of its group or none.
void WriteMaps(BlobWriter& w, const CsXdrFolder& f) {
    w.U8(f.maps != nullptr ? 1 : 0);
    if (f.maps == nullptr) return;
    for (uint16_t g = 0; g < f.groupCount; ++g) {
        const CsXdrFieldMap& map = f.maps[g];
        w.U32(map.count);
        for (uint16_t i = 0; i < map.count; ++i) w.U16(map.numbers[i]);
    }
}

void ReadMaps(BlobReader& r, CsXdrFolder* f) {
    if (!r.Flag()) return;
    if (f->groupCount == 0) return r.Fail();  // never written: no groups, no maps
    f->maps = Zeroed<CsXdrFieldMap>(r, f->groupCount);
    for (uint16_t g = 0; g < f->groupCount && r.ok(); ++g) {
        CsXdrFieldMap& map = f->maps[g];
        const uint32_t n = r.Count(CS_XDR_ARRAY_MAX, 2);
        map.numbers = Zeroed<uint16_t>(r, n);
        if (!r.ok()) return;
        map.count = static_cast<uint16_t>(n);
        for (uint32_t i = 0; i < n && r.ok(); ++i) {
            map.numbers[i] = r.U16();
            if (map.numbers[i] != FOLDER_FIELD_UNMAPPED && map.numbers[i] >= f->groups[g].fieldCount)
                r.Fail();
        }
    }
}

}  // namespace

void WriteFolderDefinition(BlobWriter& w, const CsXdrFolder& f) {
    w.U32(f.number);
    w.Text(Slot(f.name));
    w.Text(Slot(f.description));
    w.U8(f.type);
    w.U16(f.fieldTotal);
    w.U32(f.flags);
    w.I32(f.hitLimit);
    w.U32(f.fieldCount);
    for (uint16_t i = 0; i < f.fieldCount; ++i) WriteFolderField(w, f.fields[i]);
    w.U32(f.groupCount);
    for (uint16_t i = 0; i < f.groupCount; ++i) WriteGroup(w, f.groups[i]);
    WriteMaps(w, f);
}

CsFolderPtr ReadFolderDefinition(BlobReader& r) {
    CsFolderPtr f(Zeroed<CsXdrFolder>(r, 1));
    if (!f) return nullptr;
    f->number = r.U32();
    r.TextInto(f->name, sizeof f->name);
    r.TextInto(f->description, sizeof f->description);
    f->type = r.U8();
    f->fieldTotal = r.U16();
    f->flags = r.U32();
    f->hitLimit = r.I32();
    if (f->hitLimit < -1) r.Fail();
    // Each array is counted as soon as it exists, so that a failure part-way leaves a
    // record the free operation walks correctly.
    const uint32_t fields = r.Count(CS_XDR_ARRAY_MAX, kMinFolderField);
    f->fields = Zeroed<CsXdrFolderField>(r, fields);
    if (r.ok()) f->fieldCount = static_cast<uint16_t>(fields);
    for (uint32_t i = 0; i < fields && r.ok(); ++i) ReadFolderField(r, &f->fields[i]);
    const uint32_t groups = r.Count(CS_XDR_ARRAY_MAX, kMinGroup);
    f->groups = Zeroed<CsXdrApplGroup>(r, groups);
    if (r.ok()) f->groupCount = static_cast<uint16_t>(groups);
    for (uint32_t i = 0; i < groups && r.ok(); ++i) ReadGroup(r, &f->groups[i]);
    if (r.ok()) ReadMaps(r, f.get());
    if (!r.ok()) return nullptr;
    return f;
}

}  // namespace qelclient
