// The folder list a successful logon or password change answers with.
#include "actions.h"

#include <vector>

#include "plain_text.h"
#include "qel_client.h"

namespace qelwww::detail {

namespace {

#define ACTION_TRACE(config, ...)                                   \
    do {                                                            \
        if ((config)->traceOn) QelWWW_Trace((config), __VA_ARGS__); \
    } while (0)

std::string MessageText(int index) {
    std::string text;
    int number = 0;
    QelWWW_FormatMessage(index, 0, nullptr, &text, &number);
    return text;
}

void HiddenInput(QelWWWResponse& r, const char* name, const std::string& value) {
    r.PrintText("<input type=hidden name=%s value=\"%s\">\n", name, QelWWW_HtmlEscape(value).c_str());
}

void WriteHtml(const QelWWWConfig* config, QelWWWSession* session,
               const std::vector<ClientFolderName>& folders, bool passwordChanged) {
    QelWWWResponse& r = *session->response;
    QelWWW_WriteHeader(config, session);
    r.PrintText("<form METHOD=\"POST\" action=\"%s\"", QelWWW_HtmlEscape(session->scriptName).c_str());
    if (!session->frame.empty()) r.PrintText(" target=\"%s\"", QelWWW_HtmlEscape(session->frame).c_str());
    r.PrintText(">\n");
    // The next request opens the chosen folder's search criteria.
    r.PrintText("<input type=hidden name=%s value=s>\n", "_a");
    if (!session->dateFormat.empty()) HiddenInput(r, "_dfmt", session->dateFormat);
    if (session->asciiOutput) r.PrintText("<input type=hidden name=%s value=1>\n", "_ascii");
    if (!session->pageAsGiven.empty()) HiddenInput(r, "_h", session->pageAsGiven);
    for (const char* name : {"_afp", "_line", "_email"}) {
        if (const char* value = session->parms->Get(name)) HiddenInput(r, name, value);
    }
    if (passwordChanged)
        r.PrintText("<p>%s</p>\n", QelWWW_HtmlEscape(MessageText(QELWWW_MSG_PASSWORD_CHANGED)).c_str());
    r.PrintText("<h4>%s</h4>\n", QelWWW_HtmlEscape(MessageText(QELWWW_MSG_SELECT_FOLDER)).c_str());
    r.PrintText("<select name=%s size=10>\n", "_f");
    for (size_t i = 0; i < folders.size(); ++i) {
        const std::string name = QelWWW_HtmlEscape(folders[i].name);
        r.PrintText(i == 0 ? "<option selected value=\"%s\">%s\n" : "<option value=\"%s\">%s\n", name.c_str(),
                    name.c_str());
    }
    r.PrintText("</select>\n");
    r.PrintText("<p>\n");
    r.PrintText("<input type=submit value=\"%s\">\n",
                QelWWW_HtmlEscape(MessageText(QELWWW_MSG_OPEN_BUTTON)).c_str());
    r.PrintText("</form>\n");
}

// The applets read one line per folder and two fields in it.
std::string PlainField(const QelWWWConfig* config, const char* text) {
    return PlainEscape(config, text != nullptr ? text : "");
}

void WritePlain(const QelWWWConfig* config, QelWWWSession* session,
                const std::vector<ClientFolderName>& folders, bool passwordChanged) {
    QelWWWResponse& r = *session->response;
    r.AppendPrefix("%cBEGIN%c", config->beginChar, config->endChar);
    if (passwordChanged) {
        // The ID= and MSG= lines of an error reply, inside the folder list.
        std::string text;
        int number = 0;
        QelWWW_FormatMessage(QELWWW_MSG_PASSWORD_CHANGED, 0, nullptr, &text, &number);
        r.PrintText("ID=%d\nMSG=%s\n", number, PlainEscape(config, text).c_str());
    }
    r.PrintText("ACTION=%s?%s=s\n", session->scriptName.c_str(), "_a");
    for (const ClientFolderName& f : folders) {
        std::string description = PlainField(config, f.description);
        if (description.empty()) description = "\"\"";
        r.PrintText("FOLDER=%c%s%c%s%c\n", config->beginChar, PlainField(config, f.name).c_str(),
                    config->separatorChar, description.c_str(), config->endChar);
    }
}

}  // namespace

void EndLogon(QelWWWSession* session, bool keepLogon) {
    if (session->client == nullptr) return;
    Session_Logoff(session->client, keepLogon ? 1 : 0);
    session->client = nullptr;
}

int FolderListReply(const QelWWWConfig* config, QelWWWSession* session, const char* name,
                    bool passwordChanged) {
    ClientSession* client = session->client;
    const int count = Folder_GetCount(client);
    ACTION_TRACE(config, "%s: num folders is '%d'", name, count);
    if (count <= 0) {
        QelWWW_ReportMessage(config, session, false, QELWWW_MSG_NO_FOLDERS, 0, nullptr);
        EndLogon(session, false);
        return 1;
    }
    std::vector<ClientFolderName> folders(static_cast<size_t>(count));
    folders.resize(static_cast<size_t>(Folder_ListNames(client, folders.data(), folders.size())));

    // The plain-text form, and a page after a password change, list one folder like several.
    QelWWWResponse& r = *session->response;
    r.SetContentType(session->noHtml ? "text/plain" : "text/html");
    r.SaveStateCookies(config, session, config->codePage, static_cast<int32_t>(Session_GetUserValue(client)));
    if (session->noHtml) {
        WritePlain(config, session, folders, passwordChanged);
    } else {
        WriteHtml(config, session, folders, passwordChanged);
    }
    QelWWW_SaveServerState(config, session, QELWWW_STATE_SERVER);
    if (session->noHtml) {
        r.AppendSuffix("%cEND%c", config->beginChar, config->endChar);
    } else {
        QelWWW_WriteTrailer(config, session);
    }
    EndLogon(session, true);
    return 0;
}

}  // namespace qelwww::detail
