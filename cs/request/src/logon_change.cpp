// Password and attribute changes of a user: request 8, or the local user table.
#include <cstring>
#include <string>

#include "arc_datetime.h"
#include "arc_platform.h"
#include "logon_detail.h"
#include "qel_exits.h"

using namespace cslogon;

namespace {

constexpr uint16_t kAdmin = 0x04;      // may do everything
constexpr uint16_t kUserAdmin = 0x08;  // may change other users' passwords
constexpr uint16_t kGrantable[] = {0x04, 0x10, 0x20, 0x08};

// The user type the change may write: a bit the caller neither holds nor covers with
// 0x04 keeps its stored value; a stored 0x04 is out of reach of anyone without it.
uint16_t AllowedType(uint16_t wanted, uint16_t stored, uint16_t caller) {
    if ((stored & kAdmin) && !(caller & kAdmin)) return stored;
    uint16_t type = wanted;
    for (uint16_t bit : kGrantable) {
        if (!(caller & (bit | kAdmin))) type = static_cast<uint16_t>((type & ~bit) | (stored & bit));
    }
    return type;
}

struct ChangeSteps {
    CsHandle* h;
    CsUserRecord* record;
    const char* newPasswordText;
    uint32_t* reason;
    std::string userId, oldPassword, newPassword;
    bool idsCaseSensitive = false;

    ~ChangeSteps() {
        for (std::string* s : {&oldPassword, &newPassword})
            if (!s->empty()) std::memset(s->data(), 0, s->size());
    }

    bool HasNew() const { return newPasswordText != nullptr; }

    // Steps 1 and 2: the case copies and the length rule of a new password.
    int Prepare(const CsSystemParms& parms) {
        if (!Fits(record->userId, sizeof record->userId) || !Fits(record->password, sizeof record->password))
            return CS_FAILED;
        idsCaseSensitive = (parms.flags & 0x01) != 0;
        userId = CaseCopy(record->userId, idsCaseSensitive);
        oldPassword = CaseCopy(record->password, parms.flags & 0x02);
        if (!HasNew()) return CS_OK;
        if (!Fits(newPasswordText, CS_USER_ID_SIZE)) {
            *reason = 1;
            return CS_NOT_AUTHORISED;
        }
        newPassword = CaseCopy(newPasswordText, parms.flags & 0x02);
        if (newPassword.size() < parms.minPasswordLength) {
            *reason = 1;
            return CS_NOT_AUTHORISED;
        }
        return CS_OK;
    }

    // Steps 4 to 8 on the stored row.
    int Change(const CsLogonRecord& caller) {
        const bool own = record->userNumber == caller.userNumber;
        const std::string number = std::to_string(record->userNumber);
        QelLocalUser stored;
        int rc = QelLocal_ListUsersFirst(h, nullptr, number.c_str(), 0, &stored);
        if (rc != CS_OK) return rc;
        QelLocalUser row = stored;
        if (!RecordTextsToRow(*record, &row)) return CS_FAILED;
        const bool plainUser = !(caller.userType & (kAdmin | kUserAdmin));
        // A plain user may edit the own texts, not the own id, type or time-out. Rows are
        // found by their id: writing another id would overwrite that user's row.
        if (!(own && plainUser)) {
            const bool sameId = idsCaseSensitive ? userId == stored.userId
                                                 : ArcOS_StrICmp(userId.c_str(), stored.userId) == 0;
            if (!sameId) return CS_FAILED;
            row.admin = AllowedType(record->userType, stored.admin, caller.userType);
            row.timeout = record->logonTimeOut;
        }
        const bool exitOn = (h->def.flags1 & CS_F1_SECURITY_EXIT) != 0;
        if (HasNew()) {
            const bool guarded =
                (caller.userType & kUserAdmin) && !(caller.userType & kAdmin) && (stored.admin & kAdmin);
            if (!exitOn && (own || guarded)) {
                rc = CheckPassword(h, oldPassword, stored.passwd);
                if (rc != CS_OK) return rc;
            }
            std::string hash;
            rc = MakePasswordHash(h, newPassword, &hash);
            if (rc != CS_OK) return rc;
            if (hash.size() >= sizeof row.passwd) return CS_FAILED;
            std::memset(row.passwd, 0, sizeof row.passwd);
            std::memcpy(row.passwd, hash.c_str(), hash.size());
            // A password set by someone else counts as expired at the next logon.
            row.lastUpdate = own ? ArcDT_Now('Z') : 0;
        }
        // The exit vets the change before it is stored, so a refusal leaves the row.
        if (exitOn && HasNew()) {
            rc = CsCallSecurityExit(h, QEL_SECURITY_UPDATE_USER, h->identity.userId, stored.userId,
                                    oldPassword.c_str(), row.userId, newPassword.c_str());
            if (rc != CS_OK) {
                *reason = 2;
                return CS_NOT_AUTHORISED;
            }
        }
        rc = QelLocal_UpdateUserRow(h, &row);
        if (rc != CS_OK) return rc;
        // The record gets the stored row; its password field stays the caller's (the
        // stored hash never goes into it), wiped below unless CS_F1_KEEP_PASSWORD.
        const uint32_t state = record->logonState;
        char given[sizeof record->password];
        std::memcpy(given, record->password, sizeof given);
        RowToRecord(row, record);
        std::memcpy(record->password, given, sizeof given);
        std::memset(given, 0, sizeof given);
        record->logonState = state;
        return CS_OK;
    }

    int Run() {
        CsSystemParms parms;
        int rc = CS_OK;
        if (h->systemParms != nullptr)
            parms = *h->systemParms;
        else
            rc = ReadLocalSystemParms(h, &parms);
        if (rc == CS_OK) rc = Prepare(parms);
        const CsLogonRecord* caller = h->logon;
        if (rc == CS_OK && caller == nullptr) rc = CS_NOT_AUTHORISED;
        // Others' records need 0x04 or 0x08; group permissions grant nothing locally.
        if (rc == CS_OK && record->userNumber != caller->userNumber &&
            !(caller->userType & (kAdmin | kUserAdmin)))
            rc = CS_NOT_AUTHORISED;
        if (rc == CS_OK) {
            rc = QelLocal_LoadTables(h);
            if (rc == CS_OK) rc = Change(*caller);
            rc = QelLocal_EndRequest(h, rc);
        }
        if (!(h->def.flags1 & CS_F1_KEEP_PASSWORD)) std::memset(record->password, 0, sizeof record->password);
        // After success the record holds the stored row and its id.
        const char* shown = rc == CS_OK || userId.empty()
                                ? (Fits(record->userId, sizeof record->userId) ? record->userId : "")
                                : userId.c_str();
        const auto number = static_cast<int32_t>(record->userNumber);
        if (rc == CS_OK)
            IssueUserMessage(h, HasNew() ? 19 : 18, shown, number, __LINE__);
        else if (rc == CS_NOT_AUTHORISED && HasNew())
            IssueUserMessage(h, 20, shown, number, __LINE__);
        return rc;
    }
};

}  // namespace

namespace cslogon {

int LocalChangePassword(CsHandle* handle, CsUserRecord* user, const char* newPassword, uint32_t* reason) {
    ChangeSteps steps{handle, user, newPassword, reason, {}, {}, {}};
    return steps.Run();
}

}  // namespace cslogon

int CsChangePassword(CsHandle* handle, CsUserRecord* user, const char* newPassword, uint32_t* reason) {
    if (handle == nullptr || user == nullptr) return CS_FAILED;
    uint32_t scratch = 0;
    if (reason == nullptr) reason = &scratch;
    *reason = 0;
    int rc = CsSessionEnter(handle);
    if (rc != CS_OK) return rc;
    if (IsLocal(handle)) {
        rc = LocalChangePassword(handle, user, newPassword, reason);
    } else if (!Fits(newPassword, CS_USER_ID_SIZE)) {
        *reason = 1;
        rc = CS_NOT_AUTHORISED;
    } else {
        rc = CsServerRequest(handle, CS_REQ_CHANGE_PASSWORD, user, newPassword ? newPassword : "",
                             newPassword ? 1 : 0, reason);
    }
    return CsSessionLeave(handle, rc);
}
