// The document a retrieve or getsegment request names: by its id, or the first hit of a
// search with the request's field values.
#include "document_parts.h"
#include "qel_client.h"
#include "search_pages.h"

namespace qelwww::detail {

bool ReadAppletMode(const QelWWWConfig* config, QelWWWSession* session, const char* name) {
    const char* applet = session->parms->Get("_applet");
    if (applet == nullptr || std::string_view(applet) != "1") return false;
    SEARCH_TRACE(config, "%s: output in applet format", name);
    session->noHtml = 1;
    session->asciiOutput = 1;
    return true;
}

std::string DocumentKey(std::string_view docId) { return std::string(docId.substr(0, docId.find('\x01'))); }

namespace {

// Every criterion takes the request's value of its field; the two-value operators are
// searched as equal, since only one value comes with the link.
// True when some criterion got a value.
bool FillCriteria(const QelWWWConfig* config, QelWWWSession* session, OpenFolder* folder, const char* name) {
    bool any = false;
    for (int field = 0; field < static_cast<int>(folder->criteria.size()); ++field) {
        FolderCriterion& c = folder->criteria[static_cast<size_t>(field)];
        c.op = c.defaultOperator;
        if (TwoValues(c.op)) c.op = 1;
        const std::string fieldName = FieldName(folder, field);
        const char* value = session->parms->Get(fieldName.c_str());
        c.value1 = value != nullptr ? ConvertDate(folder, field, value, true, session->dateFormat) : "";
        c.value2.clear();
        c.segmentChoice = -1;
        if (value != nullptr) SEARCH_TRACE(config, "%s: '%s' is '%s'", name, fieldName.c_str(), value);
        if (!c.value1.empty()) any = true;
    }
    return any;
}

int SearchFirstHit(const QelWWWConfig* config, QelWWWSession* session, OpenFolder* folder, const char* name,
                   ChosenDocument* chosen) {
    ClientStatus status;
    if (FillCriteria(config, session, folder, name)) {
        int position[2] = {0, 0};
        Folder_Search(&status, session->client, folder, session->orFlag, 0, nullptr, nullptr, nullptr,
                      position);
    } else {
        // The criteria search refuses to run without a value; a link without any value
        // asks for the folder's documents, and the empty clause is no condition at all.
        Folder_SearchDirect(&status, session->client, folder, "", "", "", nullptr, 0, nullptr, nullptr);
    }
    if (status.severity != CLIENT_SEV_OK) {
        SEARCH_TRACE(config, "%s: search failed, severity %d, code %d", name, status.severity, status.code);
        QelWWW_ReportStatus(config, session, &status);
        EndWithFolder(session, folder, false);
        return 1;
    }
    SearchHit* hit = Folder_GetFirstHit(session->client, folder);
    if (Folder_GetHitCount(session->client, folder) <= 0 || hit == nullptr) {
        QelWWW_ReportMessage(config, session, false, QELWWW_MSG_NO_HITS, 0, nullptr);
        EndWithFolder(session, folder, false);
        return 1;
    }
    chosen->hit = hit;
    Hit_FormatDocId(session->client, hit, nullptr, nullptr, session->view.addFieldsToDocid != 0,
                    &chosen->docId);
    chosen->key = DocumentKey(chosen->docId);
    return 0;
}

}  // namespace

int ChooseDocument(const QelWWWConfig* config, QelWWWSession* session, OpenFolder* folder, const char* name,
                   ChosenDocument* chosen) {
    // The parameter parser decoded the id once; decoding it again would turn a '%' of a
    // value into something else.
    const char* docId = session->parms->Get("_docid", "_d");
    if (docId == nullptr) return SearchFirstHit(config, session, folder, name, chosen);
    chosen->docId = docId;
    chosen->key = DocumentKey(chosen->docId);
    chosen->hit = Hit_ParseDocId(session->client, folder, chosen->docId, session->view.addFieldsToDocid != 0);
    if (chosen->hit != nullptr) return 0;
    SEARCH_TRACE(config, "%s: the document id does not name a document of the folder", name);
    ClientStatus status;
    Session_MakeLocalStatus(&status, session->client, 6, nullptr);
    QelWWW_ReportStatus(config, session, &status);
    EndWithFolder(session, folder, false);
    return 1;
}

std::string DescribeHit(QelWWWSession* session, OpenFolder* folder, const SearchHit* hit) {
    constexpr size_t kLimit = 512;
    std::string text;
    for (int field : folder->displayOrder) {
        const char* value = Hit_GetFieldValueText(session->client, folder, hit, field);
        std::string piece = value != nullptr ? value : "";
        while (!piece.empty() && piece.back() == ' ') piece.pop_back();
        if (piece.empty()) continue;
        if (!text.empty()) text += ' ';
        text += piece;
    }
    if (text.size() > kLimit) {
        size_t cut = kLimit;
        // Back to the first byte of a character.
        while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
        text.resize(cut);
    }
    return text;
}

}  // namespace qelwww::detail
