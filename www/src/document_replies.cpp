// The reply frame and the failures shared by updatedoc, printdocs, getnotes and addnote.
#include <cstring>

#include "document_actions.h"
#include "plain_text.h"
#include "qel_client.h"

namespace qelwww::detail {

std::string LineValue(const QelWWWConfig* config, const QelWWWSession* session, std::string_view text) {
    if (!session->noHtml) return QelWWW_HtmlEscape(text);
    return PlainEscape(config, text);
}

std::string BlockValue(const QelWWWConfig* config, const QelWWWSession* session, std::string_view text) {
    // The applets read a note's text as one line.
    if (session->noHtml) return PlainEscape(config, text);
    std::string out;
    std::string_view rest = text;
    while (!rest.empty()) {
        const size_t end = rest.find('\n');
        std::string line(rest.substr(0, end));
        if (!line.empty() && line.back() == '\r') line.pop_back();
        for (char& c : line) {
            const auto byte = static_cast<unsigned char>(c);
            if ((byte < 0x20 && c != '\t') || byte == 0x7F) c = ' ';
        }
        out += QelWWW_HtmlEscape(line);
        if (end == std::string_view::npos) break;
        out += "<br>\n";
        rest.remove_prefix(end + 1);
    }
    return out;
}

void BeginReply(const QelWWWConfig* config, QelWWWSession* session) {
    QelWWWResponse& r = *session->response;
    r.SetContentType(session->noHtml ? "text/plain" : "text/html");
    r.SaveStateCookies(config, session, config->codePage,
                       static_cast<int32_t>(Session_GetUserValue(session->client)));
    if (!session->noHtml) QelWWW_WriteHeader(config, session);
}

void EndReply(const QelWWWConfig* config, QelWWWSession* session) {
    if (!session->noHtml) QelWWW_WriteTrailer(config, session);
}

void BeginLine(const QelWWWConfig* config, QelWWWSession* session) {
    session->response->PrintText("%cBEGIN%c\n", config->beginChar, config->endChar);
}

void EndLine(const QelWWWConfig* config, QelWWWSession* session) {
    session->response->PrintText("%cEND%c\n", config->beginChar, config->endChar);
}

int FailAction(const QelWWWConfig* config, QelWWWSession* session, OpenFolder* folder, int message,
               const std::vector<std::string>& inserts) {
    QelWWW_ReportText(config, session, false, message, inserts);
    EndWithFolder(session, folder, false);
    return 1;
}

int FailWithStatus(const QelWWWConfig* config, QelWWWSession* session, OpenFolder* folder,
                   const ClientStatus& status, int fallback) {
    const bool ownText = status.serverMessage != nullptr && *status.serverMessage != '\0';
    if (ownText || status.code != 0) {
        QelWWW_ReportStatus(config, session, &status);
    } else {
        QelWWW_ReportText(config, session, false, fallback, {});
    }
    EndWithFolder(session, folder, false);
    return 1;
}

SearchHit* RequestHit(const QelWWWConfig* config, QelWWWSession* session, OpenFolder* folder) {
    const char* docId = session->parms->Get("_docid", "_d");
    if (docId == nullptr) {
        FailAction(config, session, folder, QELWWW_MSG_MISSING_ARG, {"_docid"});
        return nullptr;
    }
    SearchHit* hit = Hit_ParseDocId(session->client, folder, docId, session->view.addFieldsToDocid != 0);
    if (hit == nullptr) {
        SEARCH_TRACE(config, "document: the docid does not name a document of the folder");
        FailAction(config, session, folder, QELWWW_MSG_NO_DOCUMENTS, {});
    }
    return hit;
}

bool AppletMode(const QelWWWSession* session) {
    const char* applet = session->parms->Get("_applet");
    return applet != nullptr && std::strcmp(applet, "1") == 0;
}

}  // namespace qelwww::detail
