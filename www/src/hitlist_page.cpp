// The hit list as an HTML page: a table of hits with icons and links, and the script that
// views, annotates and prints them.
#include "qel_client.h"
#include "search_pages.h"

namespace qelwww::detail {

namespace {

std::string Esc(const std::string& text) { return QelWWW_HtmlEscape(text); }

// A fixed text for the script: HTML first (document.write writes it into a page), then
// the script string.
std::string JsHtml(const std::string& text) { return JsString(Esc(text)); }

void HiddenValue(QelWWWResponse& r, const char* name, const std::string& value) {
    r.PrintText("<input type=hidden name=%s value=\"%s\">\n", name, Esc(value).c_str());
}

void FormHead(QelWWWSession* session, QelWWWResponse& r) {
    r.PrintText("<form name=QKForm method=GET action=\"%s\"", Esc(session->scriptName).c_str());
    if (!session->frame.empty()) r.PrintText(" target=\"%s\"", Esc(session->frame).c_str());
    r.PrintText(">\n");
    if (!session->pageAsGiven.empty()) HiddenValue(r, "_html", session->pageAsGiven);
    HiddenValue(r, "_folder", session->folder);
    if (!session->dateFormat.empty()) HiddenValue(r, "_dateformat", session->dateFormat);
    for (const char* name : {"_afp", "_line", "_email"}) {
        if (const char* value = session->parms->Get(name)) HiddenValue(r, name, value);
    }
    if (session->asciiOutput) r.PrintText("<input type=hidden name=%s value=1>\n", "_ascii");
    for (const char* name :
         {"_function", "_docids", "_docid", "_recv_name", "_recv_comp", "_recv_fax", "_send_name",
          "_send_comp", "_send_tel", "_send_fax", "_send_cover", "_notes", "_subject"})
        r.PrintText("<input type=hidden name=%s value=>\n", name);
}

// One icon: linked to its script function when allowed, else the dimmed image alone. The
// message names it to a screen reader (alt) and under the pointer (title).
void Icon(const QelWWWConfig* config, QelWWWResponse& r, bool allowed, const char* function, size_t index,
          const char* image, int message) {
    const std::string dir = Esc(config->imageDir);
    const std::string alt = Esc(SearchMessage(message));
    if (allowed) {
        r.PrintText("<a href=\"\" onClick=\"%s(%zu);return false;\">\n", function, index);
        r.PrintText("<img border=none src=\"%s%s.gif\" alt=\"%s\" title=\"%s\"></a>\n", dir.c_str(), image,
                    alt.c_str(), alt.c_str());
    } else {
        r.PrintText("<img border=none src=\"%s%sd.gif\" alt=\"%s\" title=\"%s\">\n", dir.c_str(), image,
                    alt.c_str(), alt.c_str());
    }
}

void Rows(const QelWWWConfig* config, QelWWWSession* session, OpenFolder* folder, const HitList& list) {
    QelWWWResponse& r = *session->response;
    const uint32_t perms = session->view.permissions;
    const bool serverPrint = (perms & QELWWW_PERM_SERVER_PRINT) != 0;
    r.PrintText("<CENTER><TABLE BORDER=2 CELLSPACING=3 CELLPADDING=3>\n");
    r.PrintText("<TR>\n");
    if (serverPrint)
        r.PrintText("<TH align=center><i>%s</i></TH>\n", Esc(SearchMessage(QELWWW_MSG_PRINT)).c_str());
    r.PrintText("<TH align=center><i>%s</i></TH>\n", "");
    for (int field : list.fields)
        r.PrintText("<TH ALIGN=center>%s</TH>\n", Esc(FieldName(folder, field)).c_str());
    r.PrintText("</TR>\n");
    for (size_t i = 0; i < list.rows.size(); ++i) {
        const HitRow& row = list.rows[i];
        r.PrintText("<TR>\n");
        // Every row has its prtlist input, so the n-th one belongs to ids[n].
        if (serverPrint)
            r.PrintText("<TD align=center><input name=prtlist type=%s></TD>\n",
                        row.canPrint && row.type != 'N' ? "checkbox" : "hidden");
        r.PrintText("<TD align=center NOWRAP>\n");
        Icon(config, r, row.canView, "view_doc", i, "qkic_vd", QELWWW_MSG_VIEW_DOCUMENT);
        Icon(config, r, (perms & QELWWW_PERM_VIEW_NOTES) != 0 && row.canViewNotes, "view_notes", i, "qkic_va",
             QELWWW_MSG_VIEW_NOTES);
        Icon(config, r, (perms & QELWWW_PERM_ADD_NOTES) != 0 && row.canAddNotes, "add_note", i, "qkic_aa",
             QELWWW_MSG_ADD_NOTE);
        r.PrintText("</TD>\n");
        const std::string url = Esc(row.url);
        for (const std::string& value : row.values) {
            const std::string text = value.empty() ? std::string("&nbsp;") : Esc(value);
            if (session->view.noLinks) {
                r.PrintText("<TD>%s</TD>\n", text.c_str());
            } else {
                r.PrintText("<TD><a href=\"%s\">%s</a></TD>\n", url.c_str(), text.c_str());
            }
        }
        r.PrintText("</TR>\n");
    }
    r.PrintText("</TABLE><br>\n");
    if (serverPrint) {
        r.PrintText("<input type=button value=\"%s\" onClick=\"server_print();return false\">\n",
                    Esc(SearchMessage(QELWWW_MSG_SERVER_PRINT)).c_str());
        // The server's printers; a list that cannot be read leaves the choice empty.
        ClientStatus status;
        Printer_LoadList(&status, session->client);
        r.PrintText("<select name=_printer size=1>\n");
        for (ClientPrinter* p = Printer_GetFirst(session->client); p != nullptr;
             p = Printer_GetNext(session->client, p))
            r.PrintText("<option>%s\n", Esc(Printer_GetName(p)).c_str());
        r.PrintText("</select>\n");
    }
}

// The add-note window: a form of its own, posted to the script as function a.
void AddNoteFunction(QelWWWSession* session, QelWWWResponse& r) {
    std::vector<ClientGroupName> groups;
    ClientStatus status;
    int count = 0;
    Session_GetGroupCount(&status, session->client, &count);
    if (status.severity == CLIENT_SEV_OK && count > 0) {
        groups.resize(static_cast<size_t>(count));
        groups.resize(static_cast<size_t>(Session_ListGroups(session->client, groups.data(), groups.size())));
    }
    r.PrintText("function add_note(index) {\n");
    r.PrintText(
        "  var w = window.open(\"\", \"addnote\", \"width=625,height=300,scrollbars=yes,resizable=yes\");\n");
    r.PrintText("  var d = w.document;\n");
    r.PrintText("  d.open();\n");
    r.PrintText("  d.write(\"<HTML><BODY>\\n\");\n");
    r.PrintText("  d.write(\"<form name=NoteForm method=POST action=\\\"%s\\\">\\n\");\n",
                JsHtml(session->scriptName).c_str());
    r.PrintText("  d.write(\"<input type=hidden name=_function value=a>\\n\");\n");
    r.PrintText("  d.write(\"<input type=hidden name=_folder value=\\\"%s\\\">\\n\");\n",
                JsHtml(session->folder).c_str());
    r.PrintText("  d.write(\"<input type=hidden name=_docid value=>\\n\");\n");
    r.PrintText("  d.write(\"<textarea name=_text rows=5 cols=50></textarea><br>\\n\");\n");
    r.PrintText("  d.write(\"<input type=radio name=_perm value=1 checked>%s\\n\");\n",
                JsHtml(SearchMessage(QELWWW_MSG_PRIVATE_USER)).c_str());
    r.PrintText("  d.write(\"<input type=radio name=_perm value=2>%s\\n\");\n",
                JsHtml(SearchMessage(QELWWW_MSG_PRIVATE_GROUP)).c_str());
    r.PrintText("  d.write(\"<select name=_group size=1>\\n\");\n");
    for (const ClientGroupName& g : groups) {
        const std::string id = JsHtml(g.id != nullptr ? g.id : "");
        r.PrintText("  d.write(\"<option value=\\\"%s\\\">%s\\n\");\n", id.c_str(), id.c_str());
    }
    r.PrintText("  d.write(\"</select><br>\\n\");\n");
    r.PrintText("  d.write(\"<input type=checkbox name=_copy value=on>%s<br>\\n\");\n",
                JsHtml(SearchMessage(QELWWW_MSG_NOTE_COPY)).c_str());
    r.PrintText("  d.write(\"<input type=submit value=\\\"%s\\\">\\n\");\n",
                JsHtml(SearchMessage(QELWWW_MSG_SAVE_BUTTON)).c_str());
    r.PrintText("  d.write(\"<input type=button value=\\\"%s\\\" onClick=\\\"window.close()\\\">\\n\");\n",
                JsHtml(SearchMessage(QELWWW_MSG_CANCEL_BUTTON)).c_str());
    r.PrintText("  d.write(\"</form></BODY></HTML>\\n\");\n");
    r.PrintText("  d.close();\n");
    // The id goes in as a value, never as page text.
    r.PrintText("  d.NoteForm._docid.value = ids[index];\n");
    r.PrintText("}\n");
}

void Script(QelWWWSession* session, const HitList& list) {
    QelWWWResponse& r = *session->response;
    r.PrintText("<SCRIPT LANGUAGE=\"Javascript\">\n");
    r.PrintText("ids = new Array();\n");
    for (size_t i = 0; i < list.rows.size(); ++i)
        r.PrintText("ids[%zu] = \"%s\";\n", i, JsString(list.rows[i].docId).c_str());
    for (const auto& [function, letter] : {std::pair{"view_doc", 'r'}, std::pair{"view_notes", 'n'}}) {
        r.PrintText("function %s(index) {\n", function);
        r.PrintText("  document.QKForm._docid.value = ids[index];\n");
        r.PrintText("  document.QKForm._function.value = \"%c\";\n", letter);
        r.PrintText("  document.QKForm.method = \"POST\";\n");
        r.PrintText("  document.QKForm.submit();\n");
        r.PrintText("}\n");
    }
    AddNoteFunction(session, r);
    r.PrintText("function server_print() {\n");
    r.PrintText("  var f = document.QKForm;\n");
    r.PrintText("  var boxes = f.prtlist;\n");
    r.PrintText("  if (!boxes) return;\n");
    r.PrintText("  if (boxes.length == null) boxes = [boxes];\n");
    r.PrintText("  var list = \"\";\n");
    r.PrintText("  for (var i = 0; i < boxes.length; i++) {\n");
    r.PrintText("    if (boxes[i].type == \"checkbox\" && boxes[i].checked) {\n");
    r.PrintText("      if (list != \"\") list += \"\\x03\";\n");
    r.PrintText("      list += ids[i];\n");
    r.PrintText("      boxes[i].checked = false;\n");
    r.PrintText("    }\n");
    r.PrintText("  }\n");
    r.PrintText("  if (list == \"\") {\n");
    r.PrintText("    alert(\"%s\");\n", JsString(SearchMessage(QELWWW_MSG_SELECT_ONE)).c_str());
    r.PrintText("    return;\n");
    r.PrintText("  }\n");
    r.PrintText("  f._docids.value = list;\n");
    r.PrintText("  f._function.value = \"p\";\n");
    r.PrintText("  f.method = \"POST\";\n");
    r.PrintText("  f.submit();\n");
    r.PrintText("}\n");
    r.PrintText("</SCRIPT>\n");
}

}  // namespace

void WriteHitListPage(const QelWWWConfig* config, QelWWWSession* session, OpenFolder* folder,
                      const HitList& list) {
    QelWWWResponse& r = *session->response;
    QelWWW_WriteHeader(config, session);
    r.PrintText("<center><h3>%s</h3></center>\n", Esc(session->folder).c_str());
    if (list.stopped) {
        const std::string limit = std::to_string(list.limit);
        QelWWWInsert insert{limit.c_str(), QELWWW_INSERT_TEXT};
        std::string text;
        int number = 0;
        QelWWW_FormatMessage(QELWWW_MSG_HIT_LIMIT, 1, &insert, &text, &number);
        r.PrintText("<center><h5><i>%s</i></h5></center>\n", Esc(text).c_str());
    }
    FormHead(session, r);
    Rows(config, session, folder, list);
    r.PrintText("</form>\n");
    Script(session, list);
    r.PrintText("</CENTER>\n");
    QelWWW_WriteTrailer(config, session);
}

}  // namespace qelwww::detail
