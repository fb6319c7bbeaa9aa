// description_groups.cpp - application groups: fields, applications, objects and
// permission rows (of groups and folders).
#include <algorithm>
#include <cctype>
#include <set>
#include <string_view>

#include "description_parser.h"

namespace arcbuild {
namespace {

constexpr int32_t kMaxId = 0x7FFFFFFF;
constexpr int32_t kSegmentDateMask = 0x04;

std::string Index(const std::string& path, size_t i) { return path + "[" + std::to_string(i) + "]"; }

// A name that becomes a file name or a store folder: no '/', no ".." and no leading dot.
bool PlainFileName(const std::string& name) {
    return name.find('/') == std::string::npos && name.find("..") == std::string::npos && name[0] != '.';
}

// Load names "<n>FAA" that a later store would make again must be passed over.
int32_t NextLoadId(const std::vector<ObjectDef>& objects) {
    int64_t next = 1;
    for (const ObjectDef& o : objects) {
        const size_t digits = o.name.find_first_not_of("0123456789");
        if (digits == 0 || digits == std::string::npos || o.name.substr(digits) != "FAA" || digits > 6)
            continue;
        next = std::max(next, static_cast<int64_t>(std::stoll(o.name.substr(0, digits))) + 1);
    }
    return static_cast<int32_t>(std::min<int64_t>(next, 999999));
}

}  // namespace

std::optional<size_t> DescriptionParser::GroupIndex(const std::string& name) const {
    for (size_t i = 0; i < d_->appGroups.size(); ++i)
        if (Upper(d_->appGroups[i].name) == Upper(name)) return i;
    return std::nullopt;
}

void DescriptionParser::ReadAppGroups(const Json& list, const std::string& path) {
    for (size_t i = 0; i < list.size(); ++i) {
        Members m(list[i], Index(path, i), errors_);
        if (m.IsObject()) ReadAppGroup(m);
    }
}

void DescriptionParser::ReadAppGroup(const Members& m) {
    m.OnlyThese({"agid", "name", "description", "storage_id", "segment_rows", "cache_days", "log",
                 "annotation_type", "fields", "applications", "permissions", "objects", "resources"});
    AppGroupDef group;
    const auto agid = m.Integer("agid", 1, kMaxId, std::nullopt);
    const auto name = m.Text("name", 60, kTextNoComma | kTextNoBracket | kTextNonEmpty, std::nullopt);
    const auto description = m.Text("description", 120, kTextPlain, std::string());
    const auto storage = m.Text("storage_id", 8, kTextNoComma | kTextNoBracket | kTextNonEmpty, std::nullopt);
    const auto rows = m.Integer("segment_rows", 1, QELIDX_MAX_ROWS, 10000);
    const auto cache = m.Integer("cache_days", -1, 65535, -1);
    const auto log = m.Integer("log", 0, 0xFFFFFFFFll, 0);
    const auto ann = m.Integer("annotation_type", 0, 65535, 0);
    if (!agid || !name || !description || !storage || !rows || !cache || !log || !ann) return;
    if (!PlainFileName(*name))
        errors_->Add(kErrBadText, m.At("name"), "names the group's segment file: no '/' or '..'");
    for (char c : *storage)
        if (!std::isalnum(static_cast<unsigned char>(c)))
            return errors_->Add(kErrBadText, m.At("storage_id"), "may hold letters and digits only");
    for (const AppGroupDef& other : d_->appGroups) {
        if (other.agid == *agid) errors_->Add(kErrDuplicate, m.At("agid"), "group number given twice");
        if (Upper(other.name) == Upper(*name))
            errors_->Add(kErrDuplicate, m.At("name"), "group name given twice");
        if (Upper(other.storageId) == Upper(*storage))
            errors_->Add(kErrDuplicate, m.At("storage_id"), "storage id given twice");
    }
    group.agid = static_cast<int32_t>(*agid);
    group.name = *name;
    group.description = *description;
    group.storageId = *storage;
    group.segmentRows = static_cast<int32_t>(*rows);
    group.cacheDays = static_cast<int32_t>(*cache);
    group.log = static_cast<int32_t>(*log);
    group.annType = static_cast<int32_t>(*ann);
    ReadFields(m, &group);
    ReadApps(m, &group);
    ReadObjects(m, &group);
    ReadResources(m, &group);
    ReadPerms(m.Array("permissions", false), m.At("permissions"), false, &group.perms);
    group.loadId = NextLoadId(group.objects);
    d_->appGroups.push_back(std::move(group));
}

void DescriptionParser::ReadFields(const Members& m, AppGroupDef* group) {
    const Json* list = m.Array("fields", true);
    if (list == nullptr) return;
    if (list->empty() || list->size() > size_t(QELIDX_MAX_FIELDS))
        errors_->Add(kErrOutOfRange, m.At("fields"), "must hold 1 to 32 fields");
    int dates = 0;
    for (size_t i = 0; i < list->size(); ++i) {
        Members f((*list)[i], Index(m.At("fields"), i), errors_);
        if (!f.IsObject()) continue;
        f.OnlyThese({"name", "type", "length", "mask", "qual", "case", "string_type"});
        FieldDef field;
        const auto name = f.Text("name", 18, kTextNoComma | kTextNoBracket | kTextNonEmpty, std::nullopt);
        // B, D, I, N and S are stored; other letters take no room in a segment's rows.
        const auto type = f.Letter("type", "ABCDEFGHIJKLMNOPQRSTUVWXYZ", std::nullopt);
        const auto mask = f.Integer("mask", 0, 65535, 0);
        const auto qual = f.Integer("qual", 0, 65535, 0);
        const auto letterCase = f.Letter("case", "UL", '\0');
        const auto stringType = f.Letter("string_type", "FV", '\0');
        const bool text = type && *type == 'S';
        const auto length =
            f.Integer("length", text ? 1 : 0, 32767, text ? std::nullopt : std::optional<int64_t>(0));
        if (!name || !type || !mask || !qual || !letterCase || !stringType || !length) continue;
        if (*mask & kSegmentDateMask) {
            if (++dates > 1) errors_->Add(kErrDuplicate, f.At("mask"), "a group has one segment date field");
            if (*type != 'B' && *type != 'I' && *type != 'N')
                errors_->Add(kErrOutOfRange, f.At("mask"), "the segment date field must be B, I or N");
        }
        for (const FieldDef& other : group->fields)
            if (Upper(other.name) == Upper(*name))
                errors_->Add(kErrDuplicate, f.At("name"), "field name given twice");
        field.name = *name;
        field.type = *type;
        field.length = static_cast<int32_t>(*length);
        field.mask = static_cast<int32_t>(*mask);
        field.qual = static_cast<int32_t>(*qual);
        field.stringCase = *letterCase;
        field.stringType = *stringType;
        group->fields.push_back(field);
    }
}

void DescriptionParser::ReadApps(const Members& m, AppGroupDef* group) {
    const Json* list = m.Array("applications", true);
    if (list == nullptr) return;
    if (list->empty()) errors_->Add(kErrMissing, m.At("applications"), "a group needs an application");
    for (size_t i = 0; i < list->size(); ++i) {
        Members a((*list)[i], Index(m.At("applications"), i), errors_);
        if (!a.IsObject()) continue;
        a.OnlyThese({"appid", "name", "description", "doc_type", "data_type", "compression", "parameters"});
        const auto appid = a.Integer("appid", 1, kMaxId, std::nullopt);
        const auto name = a.Text("name", 60, kTextNoComma | kTextNonEmpty, std::nullopt);
        const auto description = a.Text("description", 120, kTextPlain, std::string());
        const auto docType = a.Integer("doc_type", 0, 65535, 1);
        const auto letter = a.Letter("compression", "NO", 'O');
        // The data type letter is the readable form of DOC_TYPE: one or the other.
        const auto dataType = a.Letter("data_type", kDataTypeLetters, '\0');
        const auto parameters = ReadParameterText(a);
        if (!appid || !name || !description || !docType || !letter || !dataType || !parameters) continue;
        int64_t type = *docType;
        if (*dataType != '\0') {
            if (a.Find("doc_type") != nullptr) {
                errors_->Add(kErrDuplicate, a.At("data_type"), "give doc_type or data_type, not both");
                continue;
            }
            type = std::string_view(kDataTypeLetters).find(*dataType) + 1;
        }
        for (const AppGroupDef& other : d_->appGroups)
            for (const AppDef& app : other.apps)
                if (app.appid == *appid)
                    errors_->Add(kErrDuplicate, a.At("appid"), "application number given twice");
        for (const AppDef& app : group->apps)
            if (app.appid == *appid)
                errors_->Add(kErrDuplicate, a.At("appid"), "application number given twice");
        group->apps.push_back({static_cast<int32_t>(*appid), *name, *description, static_cast<int32_t>(type),
                               *letter, *parameters});
    }
}

// The application's parameter text, one line per element (e.g. "[@_FIXED_@]", "CC=A"):
// written as its view file, which the local server hands out as the application's text.
std::optional<std::string> DescriptionParser::ReadParameterText(const Members& a) {
    const Json* lines = a.Array("parameters", false);
    if (lines == nullptr) return std::nullopt;
    if (lines->size() > kMaxParameterLines) {
        errors_->Add(kErrOutOfRange, a.At("parameters"),
                     "holds at most " + std::to_string(kMaxParameterLines) + " lines");
        return std::nullopt;
    }
    std::string text;
    bool ok = true;
    for (size_t i = 0; i < lines->size(); ++i) {
        const auto line = CheckText((*lines)[i], Index(a.At("parameters"), i), 254, kTextPlain, errors_);
        if (!line) {
            ok = false;
            continue;
        }
        text += *line + "\n";
    }
    return ok ? std::optional<std::string>(text) : std::nullopt;
}

void DescriptionParser::ReadObjects(const Members& m, AppGroupDef* group) {
    const Json* list = m.Array("objects", false);
    if (list == nullptr) return;
    std::set<std::string> names;
    for (size_t i = 0; i < list->size(); ++i) {
        Members o((*list)[i], Index(m.At("objects"), i), errors_);
        if (!o.IsObject()) continue;
        o.OnlyThese({"name", "compression"});
        const auto name = o.Text("name", QELIDX_OBJECT_NAME_SIZE, kTextNonEmpty, std::nullopt);
        const auto letter = o.Letter("compression", "NO", 'N');
        if (!name || !letter) continue;
        // Names ending in a digit are resource objects; '$' is read specially.
        if (!PlainFileName(*name) || std::isdigit(static_cast<unsigned char>(name->back())) ||
            name->find('$') != std::string::npos || name->find(' ') != std::string::npos) {
            errors_->Add(kErrBadText, o.At("name"),
                         "a document object's name: no '/', '..', '$' or blank, no digit last");
            continue;
        }
        if (!names.insert(*name).second)
            errors_->Add(kErrDuplicate, o.At("name"), "object " + *name + " given twice");
        group->objects.push_back({*name, *letter});
    }
}

void DescriptionParser::ReadResources(const Members& m, AppGroupDef* group) {
    const Json* list = m.Array("resources", false);
    if (list == nullptr) return;
    std::set<int64_t> ids;
    for (size_t i = 0; i < list->size(); ++i) {
        Members r((*list)[i], Index(m.At("resources"), i), errors_);
        if (!r.IsObject()) continue;
        r.OnlyThese({"id", "file", "offset", "length", "compression"});
        // The client asks for a resource's storage nodes with a 16-bit node number.
        const auto id = r.Integer("id", 1, 65535, std::nullopt);
        const auto letter = r.Letter("compression", "NO", 'N');
        const auto range = ReadRange(r);
        if (!id || !letter || !range) continue;
        if (!ids.insert(*id).second) {
            errors_->Add(kErrDuplicate, r.At("id"), "resource " + std::to_string(*id) + " given twice");
            continue;
        }
        group->resources.push_back({static_cast<int32_t>(*id), *range, *letter});
    }
}

void DescriptionParser::ReadPerms(const Json* list, const std::string& path, bool folder,
                                  std::vector<PermDef>* perms) {
    if (list == nullptr) return;
    std::set<int32_t> seen;
    for (size_t i = 0; i < list->size(); ++i) {
        Members p((*list)[i], Index(path, i), errors_);
        if (!p.IsObject()) continue;
        PermDef perm;
        std::optional<int32_t> who;
        if (const Json* name = p.Find("who"))
            who = Who(*name, p.At("who"));
        else
            errors_->Add(kErrMissing, p.At("who"), "is required");
        if (folder) {
            p.OnlyThese({"who", "permissions", "hits"});
            const auto bits = p.Integer("permissions", 0, 65535, std::nullopt);
            const auto hits = p.Integer("hits", -1, kMaxId, -1);
            if (!who || !bits || !hits) continue;
            perm.keys = {{"PERMS", std::to_string(*bits)}, {"HITS", std::to_string(*hits)}};
        } else {
            p.OnlyThese({"who", "documents", "annotations", "restrict"});
            const auto docs = p.Integer("documents", 0, 65535, std::nullopt);
            const auto notes = p.Integer("annotations", -1, 65535, -1);
            const auto restrict = p.Text("restrict", 32700, kTextPlain, std::string());
            if (!who || !docs || !notes || !restrict) continue;
            perm.keys = {{"ID_PERMS", "1"},
                         {"DOC_PERMS", std::to_string(*docs)},
                         {"ANN_PERMS", std::to_string(*notes)}};
            if (!restrict->empty()) perm.keys.emplace_back("Q_RESTRICT", * restrict);
        }
        if (!seen.insert(*who).second)
            errors_->Add(kErrDuplicate, p.At("who"), "has a permission row already");
        perm.id = *who;
        perms->push_back(std::move(perm));
    }
}

}  // namespace arcbuild
