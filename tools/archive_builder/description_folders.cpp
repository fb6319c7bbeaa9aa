// description_folders.cpp - folders: their groups, fields with maps and user rows, and
// permissions.
#include <algorithm>
#include <cctype>
#include <climits>

#include "description_parser.h"

namespace arcbuild {
namespace {

constexpr int32_t kMaxId = 0x7FFFFFFF;
constexpr size_t kFolderUserTextMax = 254;

std::string Index(const std::string& path, size_t i) { return path + "[" + std::to_string(i) + "]"; }

bool KeyName(const std::string& key) {
    if (key.empty() || !std::isupper(static_cast<unsigned char>(key[0]))) return false;
    for (char c : key)
        if (!std::isupper(static_cast<unsigned char>(c)) && !std::isdigit(static_cast<unsigned char>(c)) &&
            c != '_')
            return false;
    return true;
}

}  // namespace

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
