// The archive logon of a request.
#include "qel_www.h"

#include "qel_client.h"

int QelWWW_Logon(const QelWWWConfig* config, QelWWWSession* session) {
    if (config == nullptr || session == nullptr) return 1;
    Session_SetOption(nullptr, 1);
    ClientStatus status;
    ClientSession* client = nullptr;
    const char* server = session->server.c_str();
    Session_Logon(&status, server, server, session->user.c_str(), session->password.c_str(),
                  session->serverType, session->port, session->localDir.c_str(), &client);
    if (status.severity == CLIENT_SEV_OK) {
        session->client = client;
        return 0;
    }
    if (status.severity == CLIENT_SEV_EXPIRED) {
        session->client = client;
        // With a new password the caller changes it; without one the user has to.
        if (session->parms && session->parms->Get("_new_password", "_np") != nullptr) return 0;
        QelWWW_ReportMessage(config, session, false, QELWWW_MSG_CHANGE_EXPIRED, 0, nullptr);
        Session_Logoff(client, 0);
        session->client = nullptr;
        return 1;
    }
    if (config->traceOn)
        QelWWW_Trace(config, "QelWWW_Logon: logon refused, severity %d, code %d", status.severity,
                     status.code);
    QelWWW_ReportStatus(config, session, &status);
    return 1;
}
