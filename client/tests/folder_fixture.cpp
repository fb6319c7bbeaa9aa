// folder_fixture.cpp - in-memory folder definitions and open folders for the tests.
#include "folder_fixture.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

namespace clienttest {
namespace {

template <typename T>
T* Calloc(size_t count) {
    if (count == 0) return nullptr;
    auto* p = static_cast<T*>(std::calloc(count, sizeof(T)));
    if (p == nullptr) throw std::bad_alloc();
    return p;
}

char* Dup(const std::string& text) {
    char* p = static_cast<char*>(std::malloc(text.size() + 1));
    if (p == nullptr) throw std::bad_alloc();
    std::memcpy(p, text.c_str(), text.size() + 1);
    return p;
}

template <size_t N>
void Copy(char (&to)[N], const std::string& from) {
    if (from.size() >= N) throw std::length_error("fixture text too long: " + from);
    std::memcpy(to, from.c_str(), from.size() + 1);
}

// A value of the field's type read from a text ("" leaves it zero or empty).
void SetValue(CsXdrValue* value, char type, const std::string& text) {
    value->type = type;
    switch (type) {
        case 'B': value->v.big = text.empty() ? 0 : std::stoll(text); break;
        case 'I': value->v.integer = text.empty() ? 0 : static_cast<int32_t>(std::stol(text)); break;
        case 'N': value->v.small = text.empty() ? 0 : static_cast<int16_t>(std::stoi(text)); break;
        case 'D': value->v.real = text.empty() ? 0.0 : std::stod(text); break;
        case 'S':
        case 'T': value->v.text = text.empty() ? nullptr : Dup(text); break;
        default: value->type = 0; break;
    }
}

void FillField(const FolderFieldSpec& from, CsXdrFolderField* to) {
    Copy(to->name, from.name);
    to->type[0] = from.type;
    to->type[1] = from.dateType;
    to->attributes[0] = from.criteriaOrder;
    to->attributes[1] = from.displayOrder;
    to->attributes[2] = from.sortOrder;
    to->flags = from.flags;
    to->display[0] = static_cast<uint16_t>(from.operators);
    to->display[1] = static_cast<uint16_t>(from.defaultOperator);
    const char valueType =
        (from.type == 'B' || from.type == 'I' || from.type == 'N' || from.type == 'D') ? from.type : 'S';
    SetValue(&to->defaults[0], valueType, from.default1);
    SetValue(&to->defaults[1], valueType, from.default2);
    CsFolderFieldUser& user = to->user;
    user.minimum = from.minimum;
    user.maximum = from.maximum;
    user.minimumReal = from.minimumReal;
    user.maximumReal = from.maximumReal;
    user.precision = from.precision;
    Copy(user.dateFormat, from.dateFormat);
    Copy(user.displayFormat, from.displayFormat);
    user.wildcard = from.wildcard;
    user.defaultUnit = 'D';
    user.ascending = from.ascending;
    user.limitsSet = 1;
    user.mapCount = from.mapCount;
}

void FillGroup(const GroupSpec& from, size_t folderFields, CsXdrApplGroup* to, CsXdrFieldMap* map) {
    to->number = from.number;
    Copy(to->name, from.name);
    to->permissions = from.permissions;
    to->storageSet = from.storageSet;
    to->segmentKind = 'M';
    to->fieldCount = static_cast<uint16_t>(from.fields.size());
    to->fields = Calloc<CsXdrFieldDef>(from.fields.size());
    for (size_t i = 0; i < from.fields.size(); ++i) {
        const GroupFieldSpec& f = from.fields[i];
        CsXdrFieldDef& d = to->fields[i];
        Copy(d.name, f.name);
        d.type = f.type;
        d.flags = f.flags;
        d.textLength = f.textLength;
        d.textCase = static_cast<uint8_t>(f.textCase);
        d.number = static_cast<uint16_t>(i);
        d.dateType = f.dateType;
        Copy(d.formats[0], f.strip);
        Copy(d.formats[1], f.leading);
        Copy(d.formats[2], f.trailing);
        d.mapCount = d.displayCount = static_cast<uint16_t>(f.values.size());
        d.mapValues = Calloc<CsXdrTextEntry>(f.values.size());
        d.displayValues = Calloc<CsXdrTextEntry>(f.values.size());
        for (size_t k = 0; k < f.values.size(); ++k) {
            d.mapValues[k].text = Dup(f.values[k].first);
            d.displayValues[k].text = Dup(f.values[k].second);
        }
    }
    to->applCount = static_cast<uint16_t>(from.applications.size());
    to->appls = Calloc<CsXdrApplEntry>(from.applications.size());
    for (size_t i = 0; i < from.applications.size(); ++i) {
        const ApplicationSpec& a = from.applications[i];
        CsXdrApplEntry& e = to->appls[i];
        Copy(e.name, a.name);
        e.number = a.number;
        e.value = Dup(a.name);
        e.flags[0] = static_cast<uint8_t>(a.dataType);
        e.parameters.text = a.parameters.empty() ? nullptr : Dup(a.parameters);
    }
    const size_t length = from.second.empty() ? folderFields : 2 * folderFields;
    map->count = static_cast<uint16_t>(length);
    map->numbers = Calloc<uint16_t>(length);
    for (size_t i = 0; i < folderFields; ++i) {
        map->numbers[i] = i < from.map.size() ? from.map[i] : FOLDER_FIELD_UNMAPPED;
        if (length > folderFields)
            map->numbers[folderFields + i] = i < from.second.size() ? from.second[i] : FOLDER_FIELD_UNMAPPED;
    }
}

// Field indexes with a non-zero order number, by that number (equal numbers in field
// order).
std::vector<int> Order(const CsXdrFolder& folder, int fieldCount, int which) {
    std::vector<int> order;
    for (int i = 0; i < fieldCount; ++i)
        if (folder.fields[i].attributes[which] != 0) order.push_back(i);
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
        return folder.fields[a].attributes[which] < folder.fields[b].attributes[which];
    });
    return order;
}

}  // namespace

CsFolderPtr MakeFolder(const FolderSpec& spec) {
    CsFolderPtr folder(Calloc<CsXdrFolder>(1));
    folder->number = spec.number;
    Copy(folder->name, spec.name);
    folder->flags = spec.flags;
    folder->hitLimit = spec.hitLimit;
    folder->fieldTotal = folder->fieldCount = static_cast<uint16_t>(spec.fields.size());
    folder->fields = Calloc<CsXdrFolderField>(spec.fields.size());
    for (size_t i = 0; i < spec.fields.size(); ++i) FillField(spec.fields[i], &folder->fields[i]);
    folder->groupCount = static_cast<uint16_t>(spec.groups.size());
    folder->groups = Calloc<CsXdrApplGroup>(spec.groups.size());
    folder->maps = Calloc<CsXdrFieldMap>(spec.groups.size());
    for (size_t i = 0; i < spec.groups.size(); ++i)
        FillGroup(spec.groups[i], spec.fields.size(), &folder->groups[i], &folder->maps[i]);
    return folder;
}

FolderSpec DocIdFolder() {
    FolderSpec spec;
    spec.fields = {{.name = "Big", .type = 'B'}, {.name = "Name", .type = 'S'}};
    GroupSpec all;
    all.number = 0x00010005;
    all.name = "ALLTYPES";
    all.fields = {{.name = "BIG", .type = 'B'},
                  {.name = "REAL", .type = 'D'},
                  {.name = "INT", .type = 'I'},
                  {.name = "SMALL", .type = 'N'},
                  {.name = "NAME", .type = 'S', .textLength = 20},
                  {.name = "CODE", .type = 'T', .textLength = 5},
                  {.name = "APPL", .type = 'S', .flags = CS_FIELD_GROUP_NAME, .textLength = 8},
                  {.name = "OTHER", .type = 'X'}};
    all.applications = {{.name = "APP1", .number = 0x00020007}, {.name = "APP2", .number = 8}};
    all.map = {0, 4};
    GroupSpec none;
    none.number = 9;
    none.name = "NOFIELDS";
    none.applications = {{.name = "LONE", .number = 3}};
    spec.groups = {all, none};
    return spec;
}

OpenFolder* OpenTestFolder(ClientSession* session, const FolderSpec& spec) {
    auto entry = std::make_unique<ClientFolderEntry>();
    entry->row.number = spec.number;
    entry->row.name = spec.name;
    entry->session = session;
    entry->definition = MakeFolder(spec);
    const CsXdrFolder& folder = *entry->definition;

    auto open = std::make_unique<OpenFolder>();
    open->entry = entry.get();
    open->definition = &folder;
    open->fieldCount = std::min<int>(folder.fieldCount, CLIENT_MAX_FIELDS);
    open->hitLimit = folder.hitLimit;
    open->criteriaOrder = Order(folder, open->fieldCount, 0);
    open->displayOrder = Order(folder, open->fieldCount, 1);
    for (int i : Order(folder, open->fieldCount, 2))
        if (folder.fields[i].type[0] != 'R')
            open->sortList.push_back({i, folder.fields[i].user.ascending == 'A'});
    open->criteria.resize(open->fieldCount);
    for (int i = 0; i < open->fieldCount; ++i) {
        const CsXdrFolderField& field = folder.fields[i];
        FolderCriterion& c = open->criteria[i];
        switch (field.type[0]) {
            case 'A': c.kind = 'A'; break;
            case 'C': c.kind = 'Z'; break;
            case 'T': c.kind = 'T'; break;
            case 'G': c.kind = 'C'; break;
            case 'R': c.kind = 'S'; break;
            default: c.kind = 'N'; break;
        }
        if (field.type[0] == 'G')
            for (uint16_t g = 0; g < folder.groupCount; ++g) c.choices.emplace_back(folder.groups[g].name);
        c.copied = (field.flags & FOLDER_FIELD_COPIED) != 0;
        c.isDate = field.type[1] != 0;
        c.isDecimal = field.type[0] == 'D';
        c.inputWidth = CLIENT_WIDTH_OPEN;
        c.displayWidth = 10;
        if (c.kind == 'S' || c.kind == 'C' || c.kind == 'Z') {
            c.operatorMask = c.defaultOperator = 0x001;
        } else {
            c.operatorMask = field.display[0];
            c.defaultOperator = field.display[1];
        }
        for (int row = 0; row < SQL_OPERATOR_COUNT; ++row)
            if (c.operatorMask & SqlOperatorTable[row].bit) ++c.operatorCount;
        c.op = c.defaultOperator;
    }
    OpenFolder* result = open.get();
    entry->open = std::move(open);
    entry->openedInSession = true;
    session->openedFolders.push_back(entry.get());
    session->folders.push_back(std::move(entry));
    return result;
}

ClientFolderEntry* AddTestFolder(ClientSession* session, const FolderSpec& spec) {
    auto entry = std::make_unique<ClientFolderEntry>();
    entry->row.number = spec.number;
    entry->row.name = spec.name;
    entry->session = session;
    entry->definition = MakeFolder(spec);
    ClientFolderEntry* result = entry.get();
    session->folders.push_back(std::move(entry));
    return result;
}

CsXdrHitRow* MakeRow(const CsXdrApplGroup& group, const std::vector<std::string>& values,
                     const char* objectName, uint32_t offset, uint32_t length) {
    CsXdrHitRow* row = nullptr;
    if (CsPackHit(&group, &row, -1, CS_PACK_FRESH) != CS_OK) throw std::runtime_error("CsPackHit");
    // Texts and the object live here until the row is regrown to hold them.
    std::vector<std::string> texts(values.begin(), values.end());
    std::string name = objectName;
    CsXdrObjectRef object{};
    object.offset = offset;
    object.length = length;
    object.compressedLength = length;
    object.compression = 'N';
    object.name = name.data();
    row->object = &object;
    row->noteFlag = 'N';
    for (size_t i = 0; i < values.size() && i < row->valueCount; ++i)
        SetValue(&row->values[i], group.fields[i].type, "");
    for (size_t i = 0; i < values.size() && i < row->valueCount; ++i) {
        CsXdrValue& v = row->values[i];
        switch (v.type) {
            case 'S':
            case 'T': v.v.text = texts[i].empty() ? nullptr : texts[i].data(); break;
            case 0: break;
            default: SetValue(&v, v.type, values[i]); break;
        }
    }
    if (CsPackHit(&group, &row, -1, CS_PACK_GROW) != CS_OK) throw std::runtime_error("CsPackHit grow");
    return row;
}

int IndexRow(ClientSession* session, const CsXdrApplGroup& group, CsXdrHitRow* row) {
    CsXdrSegment segment{};
    const int rc = CsAddIndexRow(&session->handle, &group, std::span<const CsXdrHitRow>(row, 1), "1FAA",
                                 &segment, nullptr);
    if (rc == CS_OK) std::snprintf(row->segment, sizeof row->segment, "%s", segment.name);
    return rc;
}

}  // namespace clienttest
