// The logon on a local handle: the user row, the security exit, the hash comparison,
// the group list, the logon record and the password-expiry rule.
#include <cstring>
#include <memory>
#include <new>
#include <string>

#include "arc_datetime.h"
#include "arc_platform.h"
#include "logon_detail.h"
#include "qel_exits.h"

namespace cslogon {
namespace {

// The handle's system parameters for this logon: fetched when missing, else replaced
// by a private copy that the handle owns from now on.
int TakeSystemParms(CsHandle* h) {
    std::unique_ptr<CsSystemParms> parms;
    if (h->systemParms != nullptr) {
        parms.reset(new (std::nothrow) CsSystemParms(*h->systemParms));
        if (!parms) return CS_NO_MEMORY;
    } else {
        CsSystemParms* fetched = nullptr;
        if (int rc = CsGetSystemParms(h, &fetched); rc != CS_OK) return rc;
        parms.reset(fetched);  // CsFreeSystemParmsRecord is a delete
    }
    h->systemParms = CsSystemParmsPtr::Own(std::move(parms));
    h->def.flags1 &= ~CS_F1_EXTERNAL;
    return CS_OK;
}

void DropSystemParms(CsHandle* h) { h->systemParms.reset(); }

// The user's row: ids that are not case sensitive are found ignoring case; case
// sensitive ones must match a listed name exactly.
int ReadUserRow(CsHandle* h, const std::string& userId, bool caseSensitive, QelLocalUser* row) {
    if (!caseSensitive) return QelLocal_ListUsersFirst(h, nullptr, userId.c_str(), 1, row);
    const std::string quoted = "'" + userId + "'";
    return QelLocal_ListUsersFirst(h, nullptr, quoted.c_str(), 0, row);
}

// The password expires PASSWD_EXP days after its last change (0: already; never changed
// counts as expired).
bool Expired(int32_t days, int64_t changed) {
    if (days < 0) return false;
    if (days == 0 || changed == 0) return true;
    const ArcDateTime expiry = ArcDT_AddInterval(changed, days, 0, 0, 0, 0, 0, 'Z');
    // Past the end of the calendar means never; a stamp that is no time means now.
    if (expiry < 0) return changed < 0;
    return ArcDT_Now('Z') >= expiry;
}

struct LogonSteps {
    CsHandle* h;
    CsUserRecord* out;
    std::string userId;
    std::string password;
    bool exitVerdict = false;
    bool exitSuspended = false;

    ~LogonSteps() {
        if (!password.empty()) std::memset(password.data(), 0, password.size());
    }

    // Step 6: the security exit may accept, refuse or ask for the comparison here.
    int CallExit() {
        const uint32_t flags = h->def.flags1;
        if (!(flags & CS_F1_SECURITY_EXIT) || (flags & CS_F1_INTEGRATED) || IsExempt(h)) return CS_OK;
        const int rc = CsCallSecurityExit(h, QEL_SECURITY_LOGON, userId.c_str(), password.c_str(), nullptr,
                                          nullptr, nullptr);
        if (rc == CS_UNAVAILABLE) {
            h->def.flags1 &= ~CS_F1_SECURITY_EXIT;
            exitSuspended = true;
            return CS_OK;
        }
        if (rc == CS_OK || rc == CS_PASSWORD_EXPIRED) exitVerdict = true;
        return rc;
    }

    // Step 7: the row and the password comparison.
    int CheckUser(bool idsCaseSensitive, int verdict) {
        if (userId.empty()) return CS_NOT_AUTHORISED;
        QelLocalUser row;
        int rc = ReadUserRow(h, userId, idsCaseSensitive, &row);
        if (rc == CS_NOT_FOUND) return CS_NOT_AUTHORISED;
        if (rc != CS_OK) return rc;
        RowToRecord(row, out);
        out->logonState = 3;
        const bool compare = !(h->def.flags1 & CS_F1_INTEGRATED) && !IsExempt(h) && !exitVerdict;
        if (compare) {
            rc = CheckPassword(h, password, row.passwd);
            if (rc != CS_OK) return rc;
        }
        return verdict;
    }

    int Run() {
        const uint32_t processId =
            h->identity.processId != 0 ? h->identity.processId : static_cast<uint32_t>(ArcOS_GetProcessId());
        std::memset(h->identity.userName, 0, sizeof h->identity.userName);
        if (int rc = TakeSystemParms(h); rc != CS_OK) return rc;
        const uint32_t parmFlags = h->systemParms->flags;
        const bool idsCaseSensitive = (parmFlags & 0x01) != 0;
        userId = CaseCopy(userId.c_str(), idsCaseSensitive);
        if ((parmFlags & 0x02) == 0) ArcOS_StrUpper(password.data());

        int rc = QelLocal_LoadTables(h);
        std::string groupList;
        if (rc == CS_OK) {
            if (h->def.flags1 & CS_F1_NO_USER_ROW) {
                std::memset(out, 0, sizeof *out);
                std::memcpy(out->userId, userId.c_str(), userId.size());
                out->userType = 4;
            } else {
                rc = CallExit();
                if (rc == CS_OK || rc == CS_PASSWORD_EXPIRED) rc = CheckUser(idsCaseSensitive, rc);
                if (rc == CS_OK || rc == CS_PASSWORD_EXPIRED) {
                    const int listRc = BuildGroupList(h, static_cast<int32_t>(out->userNumber), &groupList);
                    if (listRc != CS_OK) rc = listRc;
                }
            }
        }
        if (rc == CS_OK || rc == CS_PASSWORD_EXPIRED) rc = MakeLogon(groupList, processId, rc);
        std::memset(out->password, 0, sizeof out->password);
        rc = QelLocal_EndRequest(h, rc);
        if (exitSuspended) h->def.flags1 |= CS_F1_SECURITY_EXIT;
        return Finish(rc);
    }

    // Steps 9 and 10: the logon record, the handle's identity and the expiry rule.
    int MakeLogon(const std::string& groupList, uint32_t processId, int rc) {
        const int made =
            CsMakeLogonRecord(h, out->userNumber, groupList.c_str(), out->userType, 0, out->logonTimeOut);
        if (made != CS_OK) return made;
        std::memcpy(h->identity.userId, out->userId, sizeof h->identity.userId);
        std::memcpy(h->identity.userName, out->userName, sizeof h->identity.userName);
        h->identity.processId = processId;
        const uint32_t flags = h->def.flags1;
        if ((flags & (CS_F1_INTEGRATED | CS_F1_NO_USER_ROW)) || IsExempt(h)) return rc;
        if (Expired(h->systemParms->passwordExpiryDays, out->passwordChanged)) return CS_PASSWORD_EXPIRED;
        return rc;
    }

    // Step 11: messages, the connect of a good logon, the parameters of a failed one.
    int Finish(int rc) {
        if (rc == CS_OK || rc == CS_PASSWORD_EXPIRED) {
            if (!(h->def.flags1 & CS_F1_NO_LOGON_MSG)) IssueLogonMessage(h, 12, __LINE__);
            const int connected = CsConnectServer(h);
            return connected != CS_OK ? connected : rc;
        }
        if (rc == CS_NOT_AUTHORISED && !(h->def.flags1 & CS_F1_INTEGRATED))
            IssueLogonMessage(h, 13, __LINE__);
        DropSystemParms(h);
        return rc;
    }
};

}  // namespace

int LocalLogon(CsHandle* handle, const char* userId, const char* password, CsUserRecord* out) {
    LogonSteps logon{handle, out, userId ? userId : "", password ? password : ""};
    return logon.Run();
}

}  // namespace cslogon
