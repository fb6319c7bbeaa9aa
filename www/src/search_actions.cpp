// The search form (searchcrit) and the hit list (dochitlist).
#include <cstdlib>

#include "dispatch_table.h"
#include "qel_client.h"
#include "search_pages.h"

namespace qelwww::detail {

namespace {

// The search row limit: go on while the row's number (from 0) is below the folder's hit
// limit. The hit list itself stops the search at the limit and says so (code 48).
bool RowLimit(OpenFolder* folder, SearchHit*, int, int running, int) {
    return folder->hitLimit < 0 || running - 1 < folder->hitLimit;
}

std::string Trimmed(std::string text) {
    const size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos) return std::string();
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

// The names of a comma-separated list.
std::vector<std::string> Names(const char* list) {
    std::vector<std::string> names;
    std::string text = list;
    size_t start = 0;
    while (start <= text.size()) {
        size_t comma = text.find(',', start);
        if (comma == std::string::npos) comma = text.size();
        std::string name = Trimmed(text.substr(start, comma - start));
        if (!name.empty()) names.push_back(name);
        start = comma + 1;
    }
    return names;
}

// A segment value as the form sends it: the padding of its option removed.
std::string SegmentValue(std::string text) {
    for (;;) {
        if (text.size() >= 2 && text.compare(text.size() - 2, 2, "\xC2\xA0") == 0) {
            text.resize(text.size() - 2);
        } else if (!text.empty() && (text.back() == ' ' || text.back() == '\xA0')) {
            text.pop_back();
        } else {
            return Trimmed(text);
        }
    }
}

// File extensions of document type letters for links that name the document's kind.
const char* Extension(char type) {
    switch (type) {
        case 'A': return "afp";
        case 'L': return "txt";
        case 'T': return "tif";
        case 'J': return "jpg";
        case 'G': return "gif";
        case 'B': return "bmp";
        case 'P': return "pcx";
        case 'E': return "eml";
        case 'O': return "pdf";
        case 'S': return "htm";
        case 'M': return "mda";
        case 'X': return "xml";
        default: return "bin";
    }
}

// Reads the request's fields into the criteria. 0; 1 with the error reply written.
int ReadCriteria(const QelWWWConfig* config, QelWWWSession* session, OpenFolder* folder) {
    for (FolderCriterion& c : folder->criteria) {
        c.value1.clear();
        c.value2.clear();
        c.segmentChoice = -1;
    }
    for (int field : folder->criteriaOrder) {
        FolderCriterion& c = folder->criteria[static_cast<size_t>(field)];
        // A criterion without operators is shown, never searched on.
        if (c.operatorMask == 0) continue;
        const std::string name = FieldName(folder, field);
        SEARCH_TRACE(config, "dochitlist: looking for '%s' in query_string", name.c_str());
        const char* value = session->parms->Get(name.c_str());
        if (value != nullptr) {
            SEARCH_TRACE(config, "dochitlist: found '%s' in query_string", name.c_str());
            SEARCH_TRACE(config, "dochitlist:    value is '%s'", value);
            c.value1 = value;
            std::string converted = ConvertDate(folder, field, c.value1, true, session->dateFormat);
            if (converted != c.value1) {
                c.value1 = converted;
                SEARCH_TRACE(config, "dochitlist: date field now '%s'", c.value1.c_str());
            }
        }
        c.op = c.defaultOperator;
        const std::string opName = name + "OP";
        if (const char* op = session->parms->Get(opName.c_str())) {
            char* end = nullptr;
            const unsigned long bit = std::strtoul(op, &end, 10);
            if (*op == '\0' || *end != '\0' || !QelWWW_IsNumber(op) || bit > 0xFFFFFFFFul) {
                QelWWW_ReportText(config, session, false, QELWWW_MSG_BAD_VALUE, {opName});
                return 1;
            }
            c.op = static_cast<uint32_t>(bit);
        }
        if (TwoValues(c.op)) {
            const std::string secondName = name + "2";
            if (const char* second = session->parms->Get(secondName.c_str()))
                c.value2 = ConvertDate(folder, field, second, true, session->dateFormat);
        }
        if (c.kind == 'S' && !c.value1.empty()) {
            const std::string wanted = SegmentValue(c.value1);
            for (size_t i = 0; i < c.segments.size(); ++i) {
                if (wanted == Folder_FormatSegmentEntry(session->client, c.segments[i], 1))
                    c.segmentChoice = static_cast<int>(i);
            }
        }
    }
    return 0;
}

// The display fields (_display_fields, else the folder's display order) and the sort
// field. 0; 1 with message 493 written.
int ReadListFields(const QelWWWConfig* config, QelWWWSession* session, OpenFolder* folder,
                   std::vector<int>* fields) {
    const char* display = session->parms->Get("_display_fields", "_df");
    SEARCH_TRACE(config, "dochitlist: display_fields = '%s'", display != nullptr ? display : "");
    if (display != nullptr) {
        for (const std::string& name : Names(display)) {
            const int field = FindField(folder, name);
            if (field < 0) {
                QelWWW_ReportText(config, session, false, QELWWW_MSG_NO_FIELD, {name});
                return 1;
            }
            fields->push_back(field);
        }
    }
    if (fields->empty()) *fields = folder->displayOrder;
    if (const char* sort = session->parms->Get("_sort_field", "_sf")) {
        const int field = FindField(folder, sort);
        if (field < 0) {
            QelWWW_ReportText(config, session, false, QELWWW_MSG_NO_FIELD, {sort});
            return 1;
        }
        const char* order = session->parms->Get("_sort_order", "_so");
        const bool descending = order != nullptr && (*order == 'D' || *order == 'd');
        folder->sortList = {FolderSortKey{field, !descending}};
    }
    return 0;
}

// Runs the search. 0 with *stopped when the hit limit stopped it; 1 with the error page
// of the client status written.
int RunSearch(const QelWWWConfig* config, QelWWWSession* session, OpenFolder* folder, bool* stopped) {
    ClientStatus status;
    if (const char* sql = session->parms->Get("_sql")) {
        const char* date1 = session->parms->Get("_date1");
        const char* date2 = session->parms->Get("_date2");
        Folder_SearchDirect(&status, session->client, folder, sql, date1 != nullptr ? date1 : "",
                            date2 != nullptr ? date2 : "", nullptr, 0, RowLimit, nullptr);
    } else {
        int position[2] = {0, 0};
        Folder_Search(&status, session->client, folder, session->orFlag, 0, nullptr, RowLimit, nullptr,
                      position);
    }
    *stopped = status.severity == CLIENT_SEV_CANCELLED && status.code == 48;
    if (status.severity == CLIENT_SEV_OK || *stopped) return 0;
    SEARCH_TRACE(config, "dochitlist: search failed, severity %d, code %d", status.severity, status.code);
    QelWWW_ReportStatus(config, session, &status);
    if (status.code == 0 && (status.serverMessage == nullptr || *status.serverMessage == '\0'))
        QelWWW_ReportMessage(config, session, false, QelWWW_StatusMessage(status.code), 0, nullptr);
    return 1;
}

// The retrieve URL of a hit: the script (with the type's extension when asked for), the
// folder unless the ZEIIE cookie carries it, and the percent-encoded document id.
std::string RetrieveUrl(QelWWWSession* session, const HitRow& row, bool folderInLinks) {
    std::string url = session->scriptName;
    if (session->view.addExtension) url += std::string("/.") + Extension(row.type);
    url += "?_a=r&";
    if (folderInLinks) url += "_f=" + QelWWW_UrlEncode(session, session->folder, true) + "&";
    url += "_d=" + QelWWW_UrlEncode(session, row.docId, true);
    return url;
}

HitList CollectHits(QelWWWSession* session, OpenFolder* folder, std::vector<int> fields, bool folderInLinks) {
    HitList list;
    list.fields = std::move(fields);
    for (SearchHit* hit = Folder_GetFirstHit(session->client, folder); hit != nullptr;
         hit = Hit_GetNext(hit)) {
        HitRow row;
        for (int field : list.fields) {
            const char* text = Hit_GetFieldValueText(session->client, folder, hit, field);
            row.values.emplace_back(text != nullptr ? text : "");
        }
        Hit_FormatDocId(session->client, hit, nullptr, nullptr, session->view.addFieldsToDocid != 0,
                        &row.docId);
        if (hit->application != nullptr && hit->application->flags[0] != 0)
            row.type = static_cast<char>(hit->application->flags[0]);
        row.location = Hit_GetLocationCode(hit);
        row.canView = Hit_CanViewFlag0(hit);
        row.canPrint = Hit_CanPrint(hit);
        row.canViewNotes = Hit_CanViewNotes(hit);
        row.canAddNotes = Hit_CanAddNotes(hit);
        row.url = RetrieveUrl(session, row, folderInLinks);
        list.rows.push_back(std::move(row));
    }
    return list;
}

// A single hit goes straight to the document when the retrieve action is part of the
// build: its id joins the request as _d and that action answers. Its result, or -1 when
// there is no such action (the hit is listed then).
int HandOverToRetrieve(const QelWWWConfig* config, QelWWWSession* session, OpenFolder* folder,
                       const HitRow& row) {
    const DispatchEntry* retrieve = FindAction("retrieve");
    if (retrieve == nullptr || retrieve->action == nullptr) return -1;
    if (session->parms->AddPair("_d", QelWWW_UrlEncode(session, row.docId, true).c_str()) != 0) return -1;
    FinishWithFolder(config, session, "dochitlist", folder);
    return retrieve->action(config, session);
}

}  // namespace

int SearchCritAction(const QelWWWConfig* config, QelWWWSession* session) {
    SEARCH_TRACE(config, "searchcrit: entering");
    OpenFolder* folder = nullptr;
    if (StartWithFolder(config, session, "searchcrit", &folder) != 0) return 1;
    QelWWWResponse& r = *session->response;
    r.SetContentType(session->noHtml ? "text/plain" : "text/html");
    r.SaveStateCookies(config, session, config->codePage,
                       static_cast<int32_t>(Session_GetUserValue(session->client)));
    if (session->noHtml) {
        WriteSearchCritText(config, session, folder);
    } else {
        WriteSearchCritPage(config, session, folder);
    }
    FinishWithFolder(config, session, "searchcrit", folder);
    SEARCH_TRACE(config, "searchcrit: exiting");
    return 0;
}

int DocHitListAction(const QelWWWConfig* config, QelWWWSession* session) {
    SEARCH_TRACE(config, "dochitlist: entering");
    OpenFolder* folder = nullptr;
    if (StartWithFolder(config, session, "dochitlist", &folder) != 0) return 1;
    std::vector<int> fields;
    if (ReadListFields(config, session, folder, &fields) != 0 || ReadCriteria(config, session, folder) != 0) {
        EndWithFolder(session, folder, true);
        return 1;
    }
    // The user's hit limit of the folder definition holds; MaxHits (0: none) may only lower
    // it, so that neither the configuration nor a request lifts the archive's limit. Taken
    // from the definition on every search: a restored folder keeps an earlier request's.
    const int32_t maxHits = session->view.maxHits;
    folder->hitLimit = folder->definition != nullptr ? folder->definition->hitLimit : -1;
    if (maxHits > 0 && (folder->hitLimit < 0 || maxHits < folder->hitLimit)) folder->hitLimit = maxHits;
    bool stopped = false;
    if (RunSearch(config, session, folder, &stopped) != 0) {
        EndWithFolder(session, folder, false);
        return 1;
    }
    const int count = Folder_GetHitCount(session->client, folder);
    SEARCH_TRACE(config, "dochitlist: done searching folder, num_hits = '%d'", count);
    if (count <= 0) {
        QelWWW_ReportMessage(config, session, false, QELWWW_MSG_NO_HITS, 0, nullptr);
        EndWithFolder(session, folder, true);
        return 1;
    }
    const bool msie = session->browserKind == QELWWW_BROWSER_IE;
    HitList list = CollectHits(session, folder, std::move(fields), !msie);
    list.stopped = stopped;
    list.limit = folder->hitLimit;
    if (count == 1 && !session->noHtml && session->view.autoDocRetrieval) {
        if (int rc = HandOverToRetrieve(config, session, folder, list.rows.front()); rc >= 0) return rc;
    }

    QelWWWResponse& r = *session->response;
    r.SetContentType(session->noHtml ? "text/plain" : "text/html");
    r.SaveStateCookies(config, session, config->codePage,
                       static_cast<int32_t>(Session_GetUserValue(session->client)));
    // MSIE keeps the folder in a cookie; other browsers carry it in every link.
    if (msie)
        r.SetHeaderValue("Set-Cookie", "ZEIIE=_f=" + QelWWW_UrlEncode(session, session->folder, true) +
                                           "; HttpOnly; SameSite=Lax");
    if (session->noHtml) {
        WriteHitListText(config, session, list);
    } else {
        WriteHitListPage(config, session, folder, list);
    }
    FinishWithFolder(config, session, "dochitlist", folder);
    SEARCH_TRACE(config, "dochitlist: exiting");
    return 0;
}

}  // namespace qelwww::detail
