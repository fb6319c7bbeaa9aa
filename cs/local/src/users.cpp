// users.cpp - users of user.tbl: listing, reading and updating rows.
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "arc_platform.h"
#include "local_state.h"
#include "qel_local.h"
#include "selection.h"
#include "write_lock.h"

using namespace qel::local::detail;

namespace {

constexpr size_t kUserNameMax = CS_USER_ID_SIZE - 1;

template <size_t N>
int CopyName(const std::string& from, char (&to)[N]) {
    if (from.size() >= N) return CS_FAILED;
    std::memcpy(to, from.c_str(), from.size() + 1);
    return CS_OK;
}

int ReadUserRow(const TableFile& users, const std::string& userName, QelLocalUser* record) {
    QelLocalUser u;
    if (int rc = users.Int32(userName, "UID", &u.uid, CS_NOT_FOUND); rc != CS_OK) return rc;
    if (userName.size() > kUserNameMax || CopyName(userName, u.userId) != CS_OK) return CS_FAILED;
    struct TextKey {
        const char* key;
        char* field;
        size_t size;
    };
    const TextKey texts[] = {
        {"DESCRIPTION", u.description, sizeof u.description},
        {"ACCT_INFO", u.acctInfo, sizeof u.acctInfo},
        {"NAME", u.name, sizeof u.name},
        {"COMPANY", u.company, sizeof u.company},
        {"TITLE", u.title, sizeof u.title},
        {"ADDR1", u.addr1, sizeof u.addr1},
        {"ADDR2", u.addr2, sizeof u.addr2},
        {"ADDR3", u.addr3, sizeof u.addr3},
        {"ADDR4", u.addr4, sizeof u.addr4},
        {"DEPT", u.dept, sizeof u.dept},
        {"BUILDING", u.building, sizeof u.building},
        {"ROOM", u.room, sizeof u.room},
        {"PHONE", u.phone, sizeof u.phone},
        {"FAX", u.fax, sizeof u.fax},
        {"COVERPAGE", u.coverpage, sizeof u.coverpage},
    };
    if (users.Text(userName, "PASSWD", u.passwd, sizeof u.passwd, CS_FAILED) != CS_OK) return CS_FAILED;
    for (const TextKey& t : texts) {
        if (users.Text(userName, t.key, t.field, t.size, CS_FAILED, "") != CS_OK) return CS_FAILED;
    }
    int64_t admin = 0;
    if (users.Number(userName, "ADMIN", 0, 0xFFFF, &admin, CS_FAILED) != CS_OK) return CS_FAILED;
    u.admin = uint16_t(admin);
    if (users.Int32(userName, "PID", &u.pid, CS_FAILED) != CS_OK) return CS_FAILED;
    const int64_t lo = std::numeric_limits<int64_t>::min(), hi = std::numeric_limits<int64_t>::max();
    if (users.Number(userName, "LAST_UPDATE", lo, hi, &u.lastUpdate, CS_FAILED, 0) != CS_OK) return CS_FAILED;
    if (users.Number(userName, "TIMEOUT", lo, hi, &u.timeout, CS_FAILED, 0) != CS_OK) return CS_FAILED;
    *record = u;
    return CS_OK;
}

int ReadListedUser(const std::string& name, QelLocalUser* record) {
    TableFile users;
    if (LoadTable(QELLOCAL_TBL_USER, &users) != CS_OK) return CS_FAILED;
    return ReadUserRow(users, name, record);
}

// A fixed text field that is terminated within its size, as a string.
template <size_t N>
bool Terminated(const char (&field)[N]) {
    return strnlen(field, N) < N;
}

}  // namespace

int QelLocal_ReadUser(CsHandle*, const char* userName, QelLocalUser* record) {
    if (userName == nullptr || record == nullptr) return CS_FAILED;
    Request request;
    if (!request.Ready()) return CS_FAILED;
    return ReadListedUser(userName, record);
}

int QelLocal_ListUsersFirst(CsHandle*, const char* group, const char* name, int direct,
                            QelLocalUser* record) {
    auto build = [&](LocalState&, std::vector<std::string>* names) -> int {
        if (direct) {
            if (!HasName(name)) return CS_FAILED;
            names->push_back(Unquote(name));
            return CS_OK;
        }
        TableFile users;
        if (LoadTable(QELLOCAL_TBL_USER, &users) != CS_OK) return CS_FAILED;
        std::vector<std::string> listed;
        if (int rc = users.NameList(HasName(group) ? group : "USERS", "USERS", &listed); rc != CS_OK)
            return rc;
        if (IsQuotedName(name)) {
            std::string wanted = Unquote(name);
            for (const std::string& n : listed) {
                if (n == wanted) {
                    names->push_back(n);
                    break;
                }
            }
        } else if (HasName(name)) {
            std::optional<int64_t> uid =
                ParseNumber(name, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max());
            if (!uid) return CS_FAILED;
            for (const std::string& n : listed) {
                int32_t rowUid = 0;
                if (users.Int32(n, "UID", &rowUid, CS_NOT_FOUND) == CS_OK && rowUid == *uid) {
                    names->push_back(n);
                    break;
                }
            }
        } else {
            *names = std::move(listed);
        }
        return CS_OK;
    };
    return ListFirst(&LocalState::users, build, ReadListedUser, record);
}

int QelLocal_ListUsersNext(CsHandle*, QelLocalUser* record) {
    return ListNext(&LocalState::users, CancelCheck::kAfterGuards, ReadListedUser, record);
}

int QelLocal_UpdateUser(CsHandle*, const QelLocalUser* user, const QelLocalGroup* group) {
    if (user == nullptr && group == nullptr) return CS_FAILED;
    Request request;
    if (!request.Ready()) return CS_FAILED;
    LocalState& s = request.state();
    WriteLock lock(s.directory);
    if (!lock.Held()) return CS_FAILED;

    if (user == nullptr) {
        if (!Terminated(group->name) || !Terminated(group->description)) return CS_FAILED;
        TableFile groups;
        if (LoadTable(QELLOCAL_TBL_GROUP, &groups) != CS_OK) return CS_FAILED;
        std::vector<int32_t> listed;
        if (groups.IdList("GROUPS", "GROUPS", &listed) != CS_OK) return CS_FAILED;
        bool found = false;
        for (int32_t id : listed) found = found || id == group->gid;
        if (!found) return CS_FAILED;
        std::string section = Row(group->gid), uid = std::to_string(group->uid);
        const QelTableValue values[] = {{section.c_str(), "DESCRIPTION", group->description},
                                        {section.c_str(), "UID", uid.c_str()},
                                        {section.c_str(), "NAME", group->name}};
        return QelLocal_PutValues(s.tables[QELLOCAL_TBL_GROUP].c_str(), values, std::size(values));
    }

    const QelLocalUser& u = *user;
    const char* texts[] = {u.userId,   u.passwd, u.description, u.acctInfo, u.name,     u.company,
                           u.title,    u.addr1,  u.addr2,       u.addr3,    u.addr4,    u.dept,
                           u.building, u.room,   u.phone,       u.fax,      u.coverpage};
    const size_t sizes[] = {sizeof u.userId,   sizeof u.passwd,  sizeof u.description, sizeof u.acctInfo,
                            sizeof u.name,     sizeof u.company, sizeof u.title,       sizeof u.addr1,
                            sizeof u.addr2,    sizeof u.addr3,   sizeof u.addr4,       sizeof u.dept,
                            sizeof u.building, sizeof u.room,    sizeof u.phone,       sizeof u.fax,
                            sizeof u.coverpage};
    for (size_t i = 0; i < std::size(texts); ++i) {
        if (strnlen(texts[i], sizes[i]) >= sizes[i]) return CS_FAILED;
    }
    TableFile users;
    if (LoadTable(QELLOCAL_TBL_USER, &users) != CS_OK) return CS_FAILED;
    std::vector<std::string> listed;
    if (users.NameList("USERS", "USERS", &listed) != CS_OK) return CS_FAILED;
    const std::string* section = nullptr;
    for (const std::string& n : listed) {
        if (section == nullptr && ArcOS_StrICmp(n.c_str(), u.userId) == 0) section = &n;
    }
    if (section == nullptr) return CS_FAILED;
    const char* sec = section->c_str();
    std::string uid = std::to_string(u.uid), admin = std::to_string(u.admin), pid = std::to_string(u.pid),
                lastUpdate = std::to_string(u.lastUpdate), timeout = std::to_string(u.timeout);
    const QelTableValue values[] = {
        {sec, "DESCRIPTION", u.description},
        {sec, "UID", uid.c_str()},
        {sec, "PASSWD", u.passwd},
        {sec, "ADMIN", admin.c_str()},
        {sec, "PID", pid.c_str()},
        {sec, "LAST_UPDATE", lastUpdate.c_str()},
        {sec, "TIMEOUT", timeout.c_str()},
        {sec, "ACCT_INFO", u.acctInfo},
        {sec, "NAME", u.name},
        {sec, "COMPANY", u.company},
        {sec, "TITLE", u.title},
        {sec, "ADDR1", u.addr1},
        {sec, "ADDR2", u.addr2},
        {sec, "ADDR3", u.addr3},
        {sec, "ADDR4", u.addr4},
        {sec, "DEPT", u.dept},
        {sec, "BUILDING", u.building},
        {sec, "ROOM", u.room},
        {sec, "PHONE", u.phone},
        {sec, "FAX", u.fax},
        {sec, "COVERPAGE", u.coverpage},
    };
    return QelLocal_PutValues(s.tables[QELLOCAL_TBL_USER].c_str(), values, std::size(values));
}

int QelLocal_UpdateUserRow(CsHandle* handle, const QelLocalUser* user) {
    if (user == nullptr) return CS_FAILED;
    return QelLocal_UpdateUser(handle, user, nullptr);
}
