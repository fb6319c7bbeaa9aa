// description_people.cpp - the description's top level, system parameters, users and groups.
#include <cctype>
#include <fstream>
#include <sstream>

#include "arc_platform.h"
#include "description_parser.h"

namespace arcbuild {
namespace {

constexpr int32_t kMaxId = 0x7FFFFFFF;
constexpr size_t kMaxListed = 2048;  // elements a table list holds
constexpr size_t kUserNameMax = 20;
constexpr size_t kGroupNameMax = 19;
constexpr size_t kPasswordMax = 20;

struct InfoKey {
    const char* name;
    size_t maxBytes;
};
constexpr InfoKey kUserInfo[] = {
    {"DESCRIPTION", 120}, {"ACCT_INFO", 60}, {"NAME", 60},      {"COMPANY", 60}, {"TITLE", 60},
    {"ADDR1", 60},        {"ADDR2", 60},     {"ADDR3", 60},     {"ADDR4", 60},   {"DEPT", 60},
    {"BUILDING", 60},     {"ROOM", 60},      {"COVERPAGE", 60}, {"PHONE", 32},   {"FAX", 32},
};

struct SystemKey {
    const char* name;
    int64_t low, high, fallback;
};
constexpr SystemKey kSystemKeys[] = {
    {"PASSWD_EXP", -1, 65535, -1},  {"TIME_OUT", 0, kMaxId, 0},   {"SYSLOG_MASK", 0, kMaxId, 0},
    {"EXITLOG_MASK", 0, kMaxId, 0}, {"PASSWD_MIN_LEN", 0, 20, 0}, {"SYS_MASK", 0, 65535, 2},
};

bool AllDigits(const std::string& text) {
    for (char c : text)
        if (!std::isdigit(static_cast<unsigned char>(c))) return false;
    return !text.empty();
}

// The logon compares passwords of at most 20 characters in code page 819.
std::optional<std::string> Password(const Members& m) {
    const Json* value = m.Find("password");
    if (value == nullptr) return std::string();
    if (!value->is_string()) {
        m.errors()->Add(kErrWrongType, m.At("password"), "must be a text");
        return std::nullopt;
    }
    std::optional<std::string> text = ToLatin1(value->get<std::string>());
    if (!text) {
        m.errors()->Add(kErrPassword, m.At("password"), "holds a character outside code page 819");
        return std::nullopt;
    }
    if (text->size() > kPasswordMax || text->find('\0') != std::string::npos) {
        m.errors()->Add(kErrPassword, m.At("password"), "the logon takes at most 20 characters and no NUL");
        return std::nullopt;
    }
    return text;
}

}  // namespace

std::string Upper(std::string text) {
    for (char& c : text)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return text;
}

void DescriptionParser::Parse(const Json& root) {
    Members top(root, "description", errors_);
    if (!top.IsObject()) return;
    top.OnlyThese({"volume", "system", "users", "groups", "application_groups", "folders", "documents"});
    if (auto label = top.Text("volume", 20, kTextNonEmpty, d_->volumeLabel)) d_->volumeLabel = *label;
    ReadSystem(top);
    const Json* groups = top.Array("groups", false);
    const Json* users = top.Array("users", true);
    if (groups) ReadGroups(*groups, "groups");
    if (users) ReadUsers(*users, "users");
    ResolveOwners();
    if (const Json* list = top.Array("application_groups", true)) ReadAppGroups(*list, "application_groups");
    if (const Json* list = top.Array("folders", true)) ReadFolders(*list, "folders");
    if (const Json* list = top.Array("documents", false)) ReadDocuments(*list, "documents");
}

void DescriptionParser::ReadSystem(const Members& top) {
    static const Json kNone = Json::object();
    const Json* given = top.Find("system");
    Members m(given ? *given : kNone, "system", errors_);
    m.OnlyThese({"PASSWD_EXP", "TIME_OUT", "SYSLOG_MASK", "EXITLOG_MASK", "PASSWD_MIN_LEN", "SYS_MASK"});
    d_->system = {{"CODEPAGE", "819"}};
    for (const SystemKey& key : kSystemKeys) {
        const std::optional<int64_t> value = m.Integer(key.name, key.low, key.high, key.fallback);
        if (!value) continue;
        d_->system.emplace_back(key.name, std::to_string(*value));
        if (std::string(key.name) == "SYS_MASK") d_->sysMask = static_cast<int32_t>(*value);
    }
}

void DescriptionParser::ReadGroups(const Json& list, const std::string& path) {
    if (list.size() > kMaxListed) errors_->Add(kErrOutOfRange, path, "holds more than 2048 groups");
    for (size_t i = 0; i < list.size(); ++i) {
        Members m(list[i], path + "[" + std::to_string(i) + "]", errors_);
        if (!m.IsObject()) continue;
        m.OnlyThese({"gid", "name", "description", "owner"});
        GroupDef group;
        const auto gid = m.Integer("gid", 1, kMaxId, std::nullopt);
        const auto name =
            m.Text("name", kGroupNameMax, kTextNoComma | kTextNoBracket | kTextNonEmpty, std::nullopt);
        const auto description = m.Text("description", 120, kTextPlain, std::string());
        if (!gid || !name || !description) continue;
        group.gid = static_cast<int32_t>(*gid);
        group.name = *name;
        group.description = *description;
        if (!ids_.emplace(*gid, m.At("gid")).second)
            errors_->Add(kErrDuplicate, m.At("gid"),
                         "number " + std::to_string(*gid) + " is taken by " + ids_[*gid]);
        if (!groupIds_.emplace(Upper(*name), group.gid).second)
            errors_->Add(kErrDuplicate, m.At("name"), "group " + *name + " is described twice");
        if (const Json* owner = m.Find("owner")) owners_.push_back({d_->groups.size(), owner, m.At("owner")});
        d_->groups.push_back(group);
    }
}

void DescriptionParser::ReadUsers(const Json& list, const std::string& path) {
    if (list.size() > kMaxListed) errors_->Add(kErrOutOfRange, path, "holds more than 2048 users");
    for (size_t i = 0; i < list.size(); ++i) {
        Members m(list[i], path + "[" + std::to_string(i) + "]", errors_);
        if (m.IsObject()) ReadUser(m);
    }
}

void DescriptionParser::ReadUser(const Members& m) {
    m.OnlyThese({"name", "uid", "password", "admin", "timeout", "groups", "info"});
    UserDef user;
    const auto name =
        m.Text("name", kUserNameMax, kTextNoComma | kTextNoBracket | kTextNonEmpty, std::nullopt);
    const auto uid = m.Integer("uid", 1, kMaxId, std::nullopt);
    const auto admin = m.Integer("admin", 0, 65535, 0);
    const auto timeout = m.Integer("timeout", 0, INT64_MAX, 0);
    const auto password = Password(m);
    if (!name || !uid) return;
    // The user table's sections are the user names and the gids, and its list section.
    if (AllDigits(*name) || Upper(*name) == "USERS") {
        errors_->Add(kErrBadText, m.At("name"), "a user name may not be a number or USERS");
        return;
    }
    if (!ids_.emplace(*uid, m.At("uid")).second)
        errors_->Add(kErrDuplicate, m.At("uid"),
                     "number " + std::to_string(*uid) + " is taken by " + ids_[*uid]);
    if (!userIds_.emplace(Upper(*name), static_cast<int32_t>(*uid)).second)
        errors_->Add(kErrDuplicate, m.At("name"), "user " + *name + " is described twice");
    if (groupIds_.count(Upper(*name)))
        errors_->Add(kErrDuplicate, m.At("name"),
                     *name + " names a group too, so permissions could not tell them apart");
    // Registered despite its other faults, so that references to it are not reported too.
    if (!admin || !timeout || !password) return;
    user.name = *name;
    user.uid = static_cast<int32_t>(*uid);
    user.admin = static_cast<int32_t>(*admin);
    user.timeout = *timeout;
    if (!password->empty()) {
        // Without 0x02 the logon upper-cases the password it is given before checking.
        const std::string key = (d_->sysMask & 0x02) ? *password : Upper(*password);
        if (ArcOS_CryptSha512(key.c_str(), nullptr, &user.passwordHash) != 0 || user.passwordHash.empty())
            errors_->Add(kErrPassword, m.At("password"), "could not be hashed");
    }
    const Json* groups = m.Array("groups", false);
    for (size_t g = 0; groups && g < groups->size(); ++g) {
        const std::string where = m.At("groups") + "[" + std::to_string(g) + "]";
        const auto group = CheckText((*groups)[g], where, kGroupNameMax, kTextPlain, errors_);
        if (!group) continue;
        const auto it = groupIds_.find(Upper(*group));
        if (it == groupIds_.end())
            errors_->Add(kErrUnknownName, where, "no group " + *group + " is described");
        else
            user.groups.push_back(it->second);
    }
    if (const Json* info = m.Find("info")) {
        Members keys(*info, m.At("info"), errors_);
        for (const InfoKey& key : kUserInfo)
            if (auto text = keys.Text(key.name, key.maxBytes, kTextPlain, std::string());
                text && !text->empty())
                user.info.emplace_back(key.name, *text);
        for (const auto& item : ObjectOrEmpty(*info).items()) {
            bool known = false;
            for (const InfoKey& key : kUserInfo) known = known || item.key() == key.name;
            if (!known)
                errors_->Add(kErrUnknownMember, keys.At(item.key()), "is not a column of the user table");
        }
    }
    d_->users.push_back(user);
}

void DescriptionParser::ResolveOwners() {
    for (const Owner& owner : owners_)
        if (const auto who = Who(*owner.name, owner.where)) d_->groups[owner.group].owner = *who;
}

std::optional<int32_t> DescriptionParser::Who(const Json& value, const std::string& where) {
    const auto name = CheckText(value, where, kUserNameMax, kTextNonEmpty, errors_);
    if (!name) return std::nullopt;
    if (auto it = userIds_.find(Upper(*name)); it != userIds_.end()) return it->second;
    if (auto it = groupIds_.find(Upper(*name)); it != groupIds_.end()) return it->second;
    errors_->Add(kErrUnknownName, where, "no user or group " + *name + " is described");
    return std::nullopt;
}

bool ReadDescription(const std::string& path, Description* out, Errors* errors) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        errors->Add(kErrUnreadable, path, "cannot be read");
        return false;
    }
    std::ostringstream text;
    text << in.rdbuf();
    const size_t slash = path.rfind('/');
    const std::string base = slash == std::string::npos ? "./" : path.substr(0, slash + 1);
    return ParseDescription(text.str(), base, out, errors);
}

bool ParseDescription(const std::string& text, const std::string& baseDir, Description* out, Errors* errors) {
    Json root = Json::parse(text, nullptr, false);
    if (root.is_discarded()) {
        errors->Add(kErrUnreadable, "description", "is not valid JSON");
        return false;
    }
    *out = Description{};
    DescriptionParser(baseDir, out, errors).Parse(root);
    return errors->Empty();
}

}  // namespace arcbuild
