// The search form as an HTML page: one table row per criterion, posted to dochitlist.
#include <algorithm>

#include "qel_client.h"
#include "search_pages.h"

namespace qelwww::detail {

namespace {

// Operator descriptions are cut to 50 bytes, never inside a UTF-8 character.
constexpr size_t kMaxOperatorText = 50;

// The seven colour names a colour criterion offers.
constexpr int kColourMessages[] = {1596, 1597, 1598, 1599, 1600, 1601, 1604};

std::string Esc(const std::string& text) { return QelWWW_HtmlEscape(text); }

// A criterion without operators has no default operator to describe.
std::string OperatorText(uint32_t op) {
    if (op == 0) return std::string();
    std::string text = QelWWW_GetOperatorText(op);
    if (text.size() <= kMaxOperatorText) return text;
    size_t cut = kMaxOperatorText;
    while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
    return text.substr(0, cut);
}

void Hidden(QelWWWResponse& r, const char* name, const std::string& value) {
    r.PrintText("<input type=hidden name=%s value=\"%s\">\n", name, Esc(value).c_str());
}

// A criterion without operators cannot be changed by the user: its value goes with the
// form unseen and is shown as text.
bool Fixed(const FolderCriterion& c) { return c.operatorMask == 0; }

void TextInputs(QelWWWResponse& r, QelWWWSession* session, OpenFolder* folder, int field) {
    const FolderCriterion& c = folder->criteria[static_cast<size_t>(field)];
    const std::string name = Esc(FieldName(folder, field));
    const char* type = Fixed(c) ? "hidden" : "text";
    auto value = [&](int which) {
        return ConvertDate(folder, field, CriterionDefault(session, folder, field, which), false,
                           session->dateFormat);
    };
    const std::string first = value(0);
    r.PrintText("<TD NOWRAP><input type=%s name=\"%s\" value=\"%s\"", type, name.c_str(), Esc(first).c_str());
    if (c.inputWidth > 0) {
        r.PrintText(" maxlength=%d></td>\n", c.inputWidth);
    } else {
        r.PrintText("></td>\n");
    }
    if (Fixed(c)) r.PrintText("<TD NOWRAP>%s</td>\n", Esc(first).c_str());
    if (!TwoValues(c.defaultOperator)) return;
    r.PrintText("<TD NOWRAP><b>%s</b></td>\n", Esc(SearchMessage(QELWWW_MSG_AND)).c_str());
    const std::string second = value(1);
    r.PrintText("<TD NOWRAP><input type=%s name=\"%s2\" value=\"%s\"", type, name.c_str(),
                Esc(second).c_str());
    if (c.inputWidth > 0) {
        r.PrintText(" maxlength=%d></td>\n", c.inputWidth);
    } else {
        r.PrintText("></td>\n");
    }
    if (Fixed(c)) r.PrintText("<TD NOWRAP>%s</td>\n", Esc(second).c_str());
}

void ChoiceList(QelWWWResponse& r, QelWWWSession* session, OpenFolder* folder, int field) {
    const FolderCriterion& c = folder->criteria[static_cast<size_t>(field)];
    const std::string name = Esc(FieldName(folder, field));
    const std::string chosen = CriterionDefault(session, folder, field, 0);
    if (Fixed(c)) {
        r.PrintText("<TD NOWRAP><input type=hidden name=\"%s\" value=\"%s\"></td>\n", name.c_str(),
                    Esc(chosen).c_str());
        return;
    }
    std::vector<std::string> entries;
    if (c.kind == 'Z') {
        for (int message : kColourMessages) entries.push_back(SearchMessage(message));
    } else {
        entries = c.choices;
    }
    std::sort(entries.begin(), entries.end());
    r.PrintText("<TD NOWRAP><select name=\"%s\" size=1>\n", name.c_str());
    for (const std::string& entry : entries) {
        const std::string text = Esc(entry);
        r.PrintText(entry == chosen ? "<option selected value=\"%s\">%s\n" : "<option value=\"%s\">%s\n",
                    text.c_str(), text.c_str());
    }
    r.PrintText("</select></td>\n");
}

void SegmentList(QelWWWResponse& r, QelWWWSession* session, OpenFolder* folder, int field) {
    const FolderCriterion& c = folder->criteria[static_cast<size_t>(field)];
    r.PrintText("<TD NOWRAP><select name=\"%s\" size=%d>\n", Esc(FieldName(folder, field)).c_str(), 1);
    for (size_t i = 0; i < c.segments.size(); ++i) {
        const std::string text = Esc(Folder_FormatSegmentEntry(session->client, c.segments[i], 1));
        r.PrintText(i == 0 ? "<option selected>%s&nbsp;&nbsp;&nbsp;\n" : "<option>%s&nbsp;&nbsp;&nbsp;\n",
                    text.c_str());
    }
    r.PrintText("</select></td>\n");
}

}  // namespace

void WriteSearchCritPage(const QelWWWConfig* config, QelWWWSession* session, OpenFolder* folder) {
    QelWWWResponse& r = *session->response;
    QelWWW_WriteHeader(config, session);
    r.PrintText("<center><h3>%s</h3></center>\n", Esc(session->folder).c_str());
    r.PrintText("<form METHOD=\"POST\" action=\"%s\"", Esc(session->scriptName).c_str());
    if (!session->frame.empty()) r.PrintText(" target=\"%s\"", Esc(session->frame).c_str());
    r.PrintText(">\n");
    if (!session->dateFormat.empty()) Hidden(r, "_dfmt", session->dateFormat);
    if (!session->pageAsGiven.empty()) Hidden(r, "_h", session->pageAsGiven);
    for (const char* name : {"_afp", "_line", "_email"}) {
        if (const char* value = session->parms->Get(name)) Hidden(r, name, value);
    }
    Hidden(r, "_f", session->folder);
    if (session->asciiOutput) r.PrintText("<input type=hidden name=%s value=1>\n", "_ascii");
    r.PrintText("<input type=hidden name=%s value=d>\n", "_a");
    r.PrintText("<TABLE BORDER=0 CELLSPACING=3 CELLPADDING=3>\n");
    for (int field : folder->criteriaOrder) {
        const FolderCriterion& c = folder->criteria[static_cast<size_t>(field)];
        r.PrintText("<TR>\n");
        r.PrintText("<TD NOWRAP><FONT SIZE=3><b>%s</b></FONT></td>\n", Esc(FieldName(folder, field)).c_str());
        r.PrintText("<TD NOWRAP><FONT SIZE=2><i>%s</i></FONT></td>\n",
                    Esc(OperatorText(c.defaultOperator)).c_str());
        switch (c.kind) {
            case 'C':
            case 'Z': ChoiceList(r, session, folder, field); break;
            case 'S': SegmentList(r, session, folder, field); break;
            default: TextInputs(r, session, folder, field); break;
        }
        r.PrintText("</TR>\n");
    }
    r.PrintText("</TABLE><br>\n");
    r.PrintText("<input type=submit value=\"%s\">\n", Esc(SearchMessage(QELWWW_MSG_SEARCH_BUTTON)).c_str());
    r.PrintText("<input type=reset value=\"%s\">\n", Esc(SearchMessage(QELWWW_MSG_RESET_BUTTON)).c_str());
    r.PrintText("</form>\n");
    QelWWW_WriteTrailer(config, session);
}

}  // namespace qelwww::detail
