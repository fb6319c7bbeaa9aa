// The actions that manage the archive logon: logon, chgpassword and logoff.
#include "actions.h"

#include "plain_text.h"
#include "qel_client.h"

namespace qelwww::detail {

namespace {

#define ACTION_TRACE(config, ...)                                   \
    do {                                                            \
        if ((config)->traceOn) QelWWW_Trace((config), __VA_ARGS__); \
    } while (0)

// Changes the password of the request's logon to newPassword. True on success (the
// session then holds the new password, which the state cookie and files take on).
bool ChangePassword(const QelWWWConfig* config, QelWWWSession* session, const char* newPassword) {
    ClientStatus status;
    Session_ChangePassword(&status, session->client, session->password.c_str(), newPassword, newPassword);
    if (status.severity != CLIENT_SEV_OK) {
        QelWWW_ReportStatus(config, session, &status);
        if (status.code == 0 && (status.serverMessage == nullptr || *status.serverMessage == '\0'))
            QelWWW_ReportMessage(config, session, false, QelWWW_StatusMessage(status.code), 0, nullptr);
        EndLogon(session, false);
        return false;
    }
    session->password = newPassword;
    return true;
}

}  // namespace

int LogonAction(const QelWWWConfig* config, QelWWWSession* session) {
    // A user named in CacheUserIDs whose password matches the saved state goes on
    // without a new server logon.
    if (QelWWW_RestoreServerState(config, session, true) != 0) {
        ACTION_TRACE(config, "logon: failed to restore server state");
        if (QelWWW_Logon(config, session) != 0) return 1;
    }
    // This request's user is checked now; the process-wide list stays as configured.
    session->cacheUserChecked = 1;
    session->sendStateCookie = 1;
    session->sendLogIdCookie = 1;
    const char* newPassword = session->parms->Get("_new_password", "_np");
    if (newPassword != nullptr && !ChangePassword(config, session, newPassword)) return 1;
    // A user of one folder goes straight to its search form (a changed password is said
    // on the folder list).
    if (!session->noHtml && newPassword == nullptr && Folder_GetCount(session->client) == 1)
        return OneFolderSearch(config, session);
    return FolderListReply(config, session, "logon", newPassword != nullptr);
}

int ChangePasswordAction(const QelWWWConfig* config, QelWWWSession* session) {
    // The cache-user shortcut only for a password typed with this request.
    const bool passwordFromRequest = session->sendStateCookie != 0;
    if (QelWWW_RestoreServerState(config, session, passwordFromRequest) == 0) {
        if (session->logId != -1)
            Session_SetUserValue(session->client, static_cast<uint32_t>(session->logId));
    } else {
        if (QelWWW_Logon(config, session) != 0) return 1;
        session->sendStateCookie = 1;
        session->sendLogIdCookie = 1;
    }
    const char* newPassword = session->parms->Get("_new_password", "_np");
    if (newPassword == nullptr) {
        QelWWW_ReportText(config, session, true, QELWWW_MSG_MISSING_ARG, {"_new_password"});
        EndLogon(session, false);
        return 1;
    }
    if (!ChangePassword(config, session, newPassword)) return 1;
    session->sendStateCookie = 1;
    return FolderListReply(config, session, "chgpassword", true);
}

int LogoffAction(const QelWWWConfig* config, QelWWWSession* session) {
    if (QelWWW_RestoreServerState(config, session, false) != 0) {
        QelWWW_ReportMessage(config, session, false, QELWWW_MSG_TIMED_OUT, 0, nullptr);
        return 1;
    }
    QelWWWResponse& r = *session->response;
    r.SetContentType(session->noHtml ? "text/plain" : "text/html");
    if (session->noHtml) {
        r.AppendPrefix("%cBEGIN%c", config->beginChar, config->endChar);
    } else {
        QelWWW_WriteHeader(config, session);
    }
    EndLogon(session, false);
    r.ClearStateCookies();
    if (!QelWWW_DeleteServerState(config, session))
        ACTION_TRACE(config, "logoff: state files of '%s' not all removed", session->user.c_str());
    std::string text;
    int number = 0;
    QelWWW_FormatMessage(QELWWW_MSG_LOGGED_OFF, 0, nullptr, &text, &number);
    r.PrintText("%s\n",
                session->noHtml ? PlainEscape(config, text).c_str() : QelWWW_HtmlEscape(text).c_str());
    if (session->noHtml) {
        r.AppendSuffix("%cEND%c", config->beginChar, config->endChar);
    } else {
        QelWWW_WriteTrailer(config, session);
    }
    return 0;
}

}  // namespace qelwww::detail
