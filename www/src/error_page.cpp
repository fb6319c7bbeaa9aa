// Error replies: HTML page, plain-text framing for the applets, or standard error.
#include "qel_www.h"

#include <cstdio>

#include "arc_messages.h"
#include "format_text.h"
#include "plain_text.h"

namespace {

std::string OkButtonText() {
    ArcMsgRow row;
    if (ArcMSGS_GetText(QELWWW_MSG_OK_BUTTON, &row) == 0 && row.text != nullptr) return row.text;
    return "Ok";
}

void WriteHtml(const QelWWWConfig* config, QelWWWSession* session, bool showVersion,
               const std::string& text) {
    QelWWWResponse& response = *session->response;
    response.SetContentType("text/html");
    QelWWW_WriteHeader(config, session);
    if (showVersion && config != nullptr)
        response.PrintText("<h3>Netvara Version %s.</h3>\n", QelWWW_HtmlEscape(config->version).c_str());
    response.PrintText("<h4>%s</h4><br>\n", QelWWW_HtmlEscape(text).c_str());
    response.PrintText("<form>\n");
    response.PrintText("<input type=button value=\"%s\" onClick=\"history.back();\">\n",
                       QelWWW_HtmlEscape(OkButtonText()).c_str());
    response.PrintText("</form>\n");
    QelWWW_WriteTrailer(config, session);
}

void WritePlain(const QelWWWConfig* config, QelWWWSession* session, int messageNumber,
                const std::string& text) {
    QelWWWResponse& response = *session->response;
    const qelwww::detail::PlainFraming framing = qelwww::detail::Framing(config);
    response.SetContentType("text/plain");
    response.PrintText("%cERROR%c\n", framing.begin, framing.end);
    response.PrintText("ID=%d\n", messageNumber);
    // The applets read line by line: the message stays on its MSG= line.
    response.PrintText("MSG=%s\n", qelwww::detail::PlainEscape(config, text).c_str());
}

}  // namespace

void QelWWW_ErrorPage(const QelWWWConfig* config, QelWWWSession* session, bool showVersion, int messageNumber,
                      const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::string text = qelwww::detail::FormatV(format, args);
    va_end(args);
    if (config != nullptr && config->commandLineMode) {
        // One line of text on the terminal.
        if (text.empty() || text.back() != '\n') text += '\n';
        std::fputs(text.c_str(), stderr);
        return;
    }
    if (session == nullptr || !session->response) return;
    if (!session->noHtml) {
        WriteHtml(config, session, showVersion, text);
    } else {
        WritePlain(config, session, messageNumber, text);
    }
}
