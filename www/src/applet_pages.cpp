// The pages of the two viewer applets: the AFP applet's frameset and the applet page
// itself. Every value is percent-encoded and then HTML-escaped.
#include "documents.h"
#include "utf8_text.h"

namespace qelwww::detail {

namespace {

// The request's docid; null with message 491 written when there is none.
const char* RequestDocId(const QelWWWConfig* config, QelWWWSession* session) {
    const char* docId = session->parms ? session->parms->Get("_docid", "_d") : nullptr;
    if (docId == nullptr) QelWWW_ReportText(config, session, false, QELWWW_MSG_MISSING_ARG, {"_docid"});
    return docId;
}

std::string Html(std::string_view text) { return QelWWW_HtmlEscape(text); }

void WriteHead(QelWWWResponse& r, const char* appletName) {
    r.AppendPrefix("<HTML>");
    r.AppendPrefix("<HEAD>");
    r.AppendPrefix("<TITLE> %s Applet </TITLE>", appletName);
    r.AppendPrefix("</HEAD>");
}

}  // namespace

int QelWWW_AfpAppletFrameset(const QelWWWConfig* config, QelWWWSession* session) {
    const char* docId = RequestDocId(config, session);
    if (docId == nullptr) return 1;
    const std::string id = Html(Utf8UrlValue(config, session, docId));
    const std::string folder = Html(Utf8UrlValue(config, session, session->folder));
    const std::string script = Html(session->scriptName);
    QelWWWResponse& r = *session->response;
    r.SetContentType("text/html");
    WriteHead(r, kAfpAppletName);
    r.PrintText("<P ALIGN=CENTER>\n");
    r.PrintText("<frameset rows=\"45,*\" border=0>\n");
    r.PrintText(
        "<frame marginheight=1 marginwidth=1 name=\"navbar\" src=\"%s?%s=%s&%s=%s&%s=%s\" scrolling=no>",
        script.c_str(), "_a", "QKA2H", "_d", id.c_str(), "_f", folder.c_str());
    r.PrintText("<frame name=\"content\" src=\"about:blank\">\n");
    r.PrintText("</frameset>\n");
    r.PrintText("</P>\n");
    r.AppendSuffix("</HTML>");
    return 0;
}

int QelWWW_AppletPage(const QelWWWConfig* config, QelWWWSession* session, const char* appletName) {
    const char* docId = RequestDocId(config, session);
    if (docId == nullptr) return 1;
    const std::string name = Html(appletName != nullptr ? appletName : "");
    const std::string appletDir = Html(config != nullptr ? config->appletDir : std::string());
    const std::string imageDir = Html(config != nullptr ? config->imageDir : std::string());
    const std::string script = Html(session->scriptName);
    const std::string folder = Html(Utf8UrlValue(config, session, session->folder));
    const std::string id = Html(Utf8UrlValue(config, session, docId));
    QelWWWResponse& r = *session->response;
    r.SetContentType("text/html");
    WriteHead(r, name.c_str());
    r.PrintText("<BODY>\n");
    r.PrintText("<SCRIPT>\n");
    r.PrintText("function view_doc(doc)\n");
    r.PrintText("{\n");
    r.PrintText("    parent.content.location.replace(doc);\n");
    r.PrintText("}\n");
    r.PrintText("function go_back()\n");
    r.PrintText("{\n");
    r.PrintText("    top.history.back();\n");
    r.PrintText("}\n");
    r.PrintText("</SCRIPT>\n");
    r.PrintText(
        " <APPLET codebase=\"%s\" archive=\"%s.jar\" CODE=\"com.kvr.ekvo.qk.%s.class\" WIDTH=100%% "
        "HEIGHT=99%% "
        "MAYSCRIPT>\n",
        appletDir.c_str(), name.c_str(), name.c_str());
    r.PrintText("   <PARAM NAME=cabbase VALUE=\"%s%s.cab\">\n", appletDir.c_str(), name.c_str());
    r.PrintText("   <PARAM NAME=imgDir VALUE=\"%s\">\n", imageDir.c_str());
    r.PrintText("   <PARAM NAME=action VALUE=\"%s\">\n", script.c_str());
    if (session->browserKind == QELWWW_BROWSER_IE) r.PrintText("   <PARAM NAME=isIE VALUE=\"1\">\n");
    r.PrintText("   <PARAM NAME=folder VALUE=\"%s\">\n", folder.c_str());
    r.PrintText("   <PARAM NAME=docid VALUE=\"%s\">\n", id.c_str());
    r.PrintText("      Where is the Java? : Use a version 4.0 or greater browser.\n");
    r.PrintText(" </APPLET>\n");
    r.PrintText("</BODY>\n");
    r.AppendSuffix("</HTML>");
    return 0;
}

int AfpAppletAction(const QelWWWConfig* config, QelWWWSession* session) {
    return QelWWW_AppletPage(config, session, kAfpAppletName);
}

}  // namespace qelwww::detail
