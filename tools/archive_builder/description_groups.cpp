// description_groups.cpp - application groups (fields, applications, objects,
// permissions) and folders (fields, their maps and user rows, permissions).
#include <algorithm>
#include <cctype>
#include <set>

#include "description_parser.h"

namespace arcbuild {
namespace {

constexpr int32_t kMaxId = 0x7FFFFFFF;
constexpr int32_t kSegmentDateMask = 0x04;
constexpr size_t kFolderUserTextMax = 254;

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

bool KeyName(const std::string& key) {
    if (key.empty() || !std::isupper(static_cast<unsigned char>(key[0]))) return false;
    for (char c : key)
        if (!std::isupper(static_cast<unsigned char>(c)) && !std::isdigit(static_cast<unsigned char>(c)) &&
            c != '_')
            return false;
    return true;
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
                 "annotation_type", "fields", "applications", "permissions", "objects"});
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
        a.OnlyThese({"appid", "name", "description", "doc_type", "compression"});
        const auto appid = a.Integer("appid", 1, kMaxId, std::nullopt);
        const auto name = a.Text("name", 60, kTextNoComma | kTextNonEmpty, std::nullopt);
        const auto description = a.Text("description", 120, kTextPlain, std::string());
        const auto docType = a.Integer("doc_type", 0, 65535, 1);
        const auto letter = a.Letter("compression", "NO", 'O');
        if (!appid || !name || !description || !docType || !letter) continue;
        for (const AppGroupDef& other : d_->appGroups)
            for (const AppDef& app : other.apps)
                if (app.appid == *appid)
                    errors_->Add(kErrDuplicate, a.At("appid"), "application number given twice");
        for (const AppDef& app : group->apps)
            if (app.appid == *appid)
                errors_->Add(kErrDuplicate, a.At("appid"), "application number given twice");
        group->apps.push_back(
            {static_cast<int32_t>(*appid), *name, *description, static_cast<int32_t>(*docType), *letter});
    }
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

void DescriptionParser::ReadFolders(const Json& list, const std::string& path) {
    for (size_t i = 0; i < list.size(); ++i) {
        Members m(list[i], Index(path, i), errors_);
        if (m.IsObject()) ReadFolder(m);
    }
}

void DescriptionParser::ReadFolder(const Members& m) {
    m.OnlyThese(
        {"fid", "name", "description", "annotation_search", "application_groups", "fields", "permissions"});
    FolderDef folder;
    const auto fid = m.Integer("fid", 1, kMaxId, std::nullopt);
    const auto name = m.Text("name", 59, kTextNoComma | kTextNonEmpty, std::nullopt);
    const auto description = m.Text("description", 120, kTextPlain, std::string());
    const auto annSearch = m.Integer("annotation_search", 0, 1, 0);
    if (!fid || !name || !description || !annSearch) return;
    for (const FolderDef& other : d_->folders) {
        if (other.fid == *fid) errors_->Add(kErrDuplicate, m.At("fid"), "folder number given twice");
        if (Upper(other.name) == Upper(*name))
            errors_->Add(kErrDuplicate, m.At("name"), "folder name given twice");
    }
    folder.fid = static_cast<int32_t>(*fid);
    folder.name = *name;
    folder.description = *description;
    folder.annSearch = static_cast<int32_t>(*annSearch);
    const Json* groups = m.Array("application_groups", true);
    for (size_t i = 0; groups && i < groups->size(); ++i) {
        const std::string where = Index(m.At("application_groups"), i);
        const auto group = CheckText((*groups)[i], where, 60, kTextNonEmpty, errors_);
        if (!group) continue;
        const auto index = GroupIndex(*group);
        if (!index)
            errors_->Add(kErrUnknownName, where, "no application group " + *group + " is described");
        else if (std::find(folder.groups.begin(), folder.groups.end(), d_->appGroups[*index].agid) !=
                 folder.groups.end())
            errors_->Add(kErrDuplicate, where, "group listed twice");
        else
            folder.groups.push_back(d_->appGroups[*index].agid);
    }
    const Json* fields = m.Array("fields", true);
    for (size_t i = 0; fields && i < fields->size(); ++i) {
        Members f((*fields)[i], Index(m.At("fields"), i), errors_);
        if (f.IsObject()) ReadFolderField(f, &folder);
    }
    ReadPerms(m.Array("permissions", false), m.At("permissions"), true, &folder.perms);
    d_->folders.push_back(std::move(folder));
}

void DescriptionParser::ReadFolderField(const Members& f, FolderDef* folder) {
    f.OnlyThese({"name", "description", "type", "qual", "map_type", "maps", "users"});
    FolderFieldDef field;
    const auto name = f.Text("name", 60, kTextNonEmpty, std::nullopt);
    const auto description = f.Text("description", 120, kTextPlain, std::string());
    const auto type = f.Letter("type", "BDINS", std::nullopt);
    const auto qual = f.Integer("qual", 0, 65535, 0);
    const auto mapType = f.Integer("map_type", 0, 65535, 1);
    if (!name || !description || !type || !qual || !mapType) return;
    field.name = *name;
    field.description = *description;
    field.type = *type;
    field.qual = static_cast<int32_t>(*qual);
    field.mapType = static_cast<int32_t>(*mapType);
    // Maps: by the group's field of the same name unless the description names one.
    for (int32_t agid : folder->groups)
        for (const AppGroupDef& g : d_->appGroups)
            for (size_t n = 0; g.agid == agid && n < g.fields.size(); ++n)
                if (Upper(g.fields[n].name) == Upper(*name)) field.maps[agid] = static_cast<int32_t>(n);
    if (const Json* maps = f.Find("maps")) {
        Members mm(*maps, f.At("maps"), errors_);
        for (const auto& item : ObjectOrEmpty(*maps).items()) {
            const std::string where = mm.At(item.key());
            const auto index = GroupIndex(item.key());
            const auto target = CheckText(item.value(), where, 18, kTextNonEmpty, errors_);
            if (!target) continue;
            if (!index || std::find(folder->groups.begin(), folder->groups.end(),
                                    d_->appGroups[*index].agid) == folder->groups.end()) {
                errors_->Add(kErrUnknownName, where, "names no application group of this folder");
                continue;
            }
            const AppGroupDef& g = d_->appGroups[*index];
            bool found = false;
            for (size_t n = 0; n < g.fields.size() && !found; ++n)
                if (Upper(g.fields[n].name) == Upper(*target)) {
                    field.maps[g.agid] = static_cast<int32_t>(n);
                    found = true;
                }
            if (!found) errors_->Add(kErrUnknownName, where, "group " + g.name + " has no field " + *target);
        }
    }
    if (const Json* users = f.Find("users")) ReadFieldUsers(*users, f.At("users"), &field);
    folder->fields.push_back(std::move(field));
}

// "*" first, then each named user's keys over it.
void DescriptionParser::ReadFieldUsers(const Json& users, const std::string& where, FolderFieldDef* field) {
    Members m(users, where, errors_);
    for (int pass = 0; pass < 2; ++pass) {
        for (const auto& item : ObjectOrEmpty(users).items()) {
            const bool everyone = item.key() == "*";
            if (everyone != (pass == 0)) continue;
            std::vector<int32_t> uids;
            if (everyone) {
                for (const UserDef& u : d_->users) uids.push_back(u.uid);
            } else if (auto it = userIds_.find(Upper(item.key())); it != userIds_.end()) {
                uids.push_back(it->second);
            } else {
                errors_->Add(kErrUnknownName, m.At(item.key()), "no user " + item.key() + " is described");
                continue;
            }
            const RowKeys given = FieldUserKeys(item.value(), m.At(item.key()));
            for (int32_t uid : uids) {
                RowKeys& row = field->users[uid];
                for (const auto& kv : given) {
                    auto same =
                        std::find_if(row.begin(), row.end(), [&](auto& e) { return e.first == kv.first; });
                    if (same != row.end())
                        same->second = kv.second;
                    else
                        row.push_back(kv);
                }
            }
        }
    }
}

// Keys in capitals, written through: whole numbers as decimal text, texts as given.
RowKeys DescriptionParser::FieldUserKeys(const Json& keys, const std::string& where) {
    RowKeys given;
    Members m(keys, where, errors_);
    for (const auto& key : ObjectOrEmpty(keys).items()) {
        const std::string at = m.At(key.key());
        if (!KeyName(key.key())) {
            errors_->Add(kErrUnknownMember, at, "a key of the folder field user row is written in capitals");
            continue;
        }
        std::optional<std::string> value;
        if (!key.value().is_number())
            value = CheckText(key.value(), at, kFolderUserTextMax, kTextPlain, errors_);
        else if (const auto n = CheckInteger(key.value(), at, INT32_MIN, UINT32_MAX, errors_))
            value = std::to_string(*n);
        if (value) given.emplace_back(key.key(), *value);
    }
    return given;
}

}  // namespace arcbuild
