// The logon and open folder that the search form and the hit list start from.
#include "qel_client.h"
#include "search_pages.h"

int QelWWW_OpenFolder(const QelWWWConfig* config, QelWWWSession* session, OpenFolder** out) {
    *out = nullptr;
    ClientStatus status;
    Folder_Open(&status, session->client, session->folder.c_str(), out);
    if (status.severity == CLIENT_SEV_OK && *out != nullptr) return 0;
    if (config->traceOn)
        QelWWW_Trace(config, "QelWWW_OpenFolder: '%s' not opened, severity %d, code %d",
                     session->folder.c_str(), status.severity, status.code);
    QelWWW_ReportStatus(config, session, &status);
    *out = nullptr;
    qelwww::detail::EndLogon(session, false);
    return 1;
}

namespace qelwww::detail {

int StartWithFolder(const QelWWWConfig* config, QelWWWSession* session, const char* name,
                    OpenFolder** folder) {
    const int restored = QelWWW_RestoreServerState(config, session, folder, false);
    if (restored != 3) {
        SEARCH_TRACE(config, "%s: successfully restored server state", name);
        if (session->logId != -1)
            Session_SetUserValue(session->client, static_cast<uint32_t>(session->logId));
        if (restored == 0) return 0;
        SEARCH_TRACE(config, "%s: failed to restore folder state", name);
        return QelWWW_OpenFolder(config, session, folder);
    }
    SEARCH_TRACE(config, "%s: failed to restore server state", name);
    if (QelWWW_Logon(config, session) != 0) return 1;
    session->sendStateCookie = 1;
    session->sendLogIdCookie = 1;
    return QelWWW_OpenFolder(config, session, folder);
}

void FinishWithFolder(const QelWWWConfig* config, QelWWWSession* session, const char* name,
                      OpenFolder* folder) {
    SEARCH_TRACE(config, "%s: saving state", name);
    QelWWW_SaveServerState(config, session, QELWWW_STATE_SERVER | QELWWW_STATE_FOLDER, folder);
    Folder_Close(session->client, folder, 1);
    EndLogon(session, true);
}

void EndWithFolder(QelWWWSession* session, OpenFolder* folder, bool keepLogon) {
    if (session->client == nullptr) return;
    Folder_Close(session->client, folder, 1);
    EndLogon(session, keepLogon);
}

}  // namespace qelwww::detail

namespace qelwww::detail {

int OneFolderSearch(const QelWWWConfig* config, QelWWWSession* session) {
    SEARCH_TRACE(config, "logon: user only has access to one folder, opening");
    ClientFolderName only;
    if (Folder_ListNames(session->client, &only, 1) != 1 || only.name == nullptr ||
        std::string_view(only.name).size() > QELWWW_MAX_FOLDER)
        return FolderListReply(config, session, "logon", false);
    session->folder = only.name;
    QelWWW_SaveServerState(config, session, QELWWW_STATE_SERVER);
    EndLogon(session, true);
    return SearchCritAction(config, session);
}

}  // namespace qelwww::detail
