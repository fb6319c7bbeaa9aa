// printdocs: documents of the open folder sent to a server printer.
#include <climits>

#include "document_actions.h"
#include "qel_client.h"

namespace qelwww::detail {

namespace {

constexpr char kDocIdSeparator = '\x03';

// The printer of exactly that name (case counts).
const ClientPrinter* FindPrinter(ClientSession* client, const char* name) {
    for (ClientPrinter* p = Printer_GetFirst(client); p != nullptr; p = Printer_GetNext(client, p)) {
        if (std::string_view(Printer_GetName(p)) == name) return p;
    }
    return nullptr;
}

// Lines of an address: the given values, one a line.
std::string Lines(const char* first, const char* second) {
    std::string text = first != nullptr ? first : "";
    if (second != nullptr) text += std::string("\n") + second;
    return text;
}

}  // namespace

int PrintDocsAction(const QelWWWConfig* config, QelWWWSession* session) {
    SEARCH_TRACE(config, "printdocs: entering");
    // Without _num_hits every docid given is printed.
    int limit = INT_MAX;
    if (const char* count = session->parms->Get("_num_hits", "_nh")) {
        if (*count == '\0' || !QelWWW_IsNumber(count)) {
            QelWWW_ReportText(config, session, false, QELWWW_MSG_BAD_VALUE, {"_num_hits"});
            return 1;
        }
        long long value = 0;
        for (const char* c = count; *c != '\0' && value <= INT_MAX; ++c) value = value * 10 + (*c - '0');
        limit = value > INT_MAX ? INT_MAX : static_cast<int>(value);
    }
    struct FaxField {
        const char* name;
        const char* trace;
        const char* value;
    };
    FaxField fax[] = {
        {"_recv_name", "receiver name", nullptr},  {"_recv_comp", "receiver company", nullptr},
        {"_recv_fax", "receiver fax", nullptr},    {"_send_name", "sender name", nullptr},
        {"_send_comp", "sender company", nullptr}, {"_send_tel", "sender telephone", nullptr},
        {"_send_fax", "sender fax", nullptr},      {"_send_cover", "sender cover page", nullptr},
        {"_subject", "subject", nullptr},          {"_notes", "notes", nullptr},
    };
    for (FaxField& field : fax) {
        field.value = session->parms->Get(field.name);
        SEARCH_TRACE(config, "printdocs: %s = '%s'", field.trace, field.value != nullptr ? field.value : "");
    }

    OpenFolder* folder = nullptr;
    if (StartWithFolder(config, session, "printdocs", &folder) != 0) return 1;
    const char* printerName = session->parms->Get("_printer", "_sp");
    if (printerName == nullptr)
        return FailAction(config, session, folder, QELWWW_MSG_MISSING_ARG, {"_printer"});
    // The docids as the parser decoded them. Both parameters are checked before the server
    // is asked for its printers.
    const char* docIds = session->parms->Get("_docids", "_ids");
    if (docIds == nullptr) return FailAction(config, session, folder, QELWWW_MSG_MISSING_ARG, {"_docids"});
    ClientStatus status;
    Printer_LoadList(&status, session->client);
    if (status.severity != CLIENT_SEV_OK)
        return FailAction(config, session, folder, QELWWW_MSG_PRINTING_FAILED, {});
    const ClientPrinter* printer = FindPrinter(session->client, printerName);
    if (printer == nullptr || (printer->kind != 'P' && printer->kind != 'I')) {
        SEARCH_TRACE(config, "printdocs: no printer '%s' of kind P or I", printerName);
        return FailAction(config, session, folder, QELWWW_MSG_PRINT_FAILED, {});
    }

    // Each docid joins the folder's hits.
    Folder_FreeHits(session->client, folder);
    std::vector<SearchHit*> hits;
    std::string_view rest = docIds;
    while (static_cast<int>(hits.size()) < limit) {
        const size_t end = rest.find(kDocIdSeparator);
        const std::string_view docId = rest.substr(0, end);
        if (SearchHit* hit =
                Hit_AppendDocId(session->client, folder, docId, session->view.addFieldsToDocid != 0)) {
            hits.push_back(hit);
        } else {
            SEARCH_TRACE(config, "printdocs: a docid that does not read is skipped");
        }
        if (end == std::string_view::npos) break;
        rest.remove_prefix(end + 1);
    }
    if (hits.empty()) return FailAction(config, session, folder, QELWWW_MSG_NO_DOCUMENTS, {});

    ClientFaxTexts texts;
    texts.receiverFax = fax[2].value;
    texts.senderName = fax[3].value;
    texts.senderCompany = fax[4].value;
    texts.senderPhone = fax[5].value;
    texts.senderFax = fax[6].value;
    texts.coverPage = fax[7].value;
    texts.subject = fax[8].value;
    const std::string receiver = Lines(fax[0].value, fax[1].value);
    const std::string sender = Lines(fax[3].value, fax[4].value);
    Printer_PrintHits(&status, session->client, printer, hits.data(), static_cast<int>(hits.size()), 1,
                      receiver.c_str(), sender.c_str(), &texts, 0);
    if (status.severity != CLIENT_SEV_OK) {
        SEARCH_TRACE(config, "printdocs: print refused, severity %d, code %d", status.severity, status.code);
        // A document the user could not find is refused as a forged document id is.
        if (status.severity == CLIENT_SEV_REFUSED) return FailWithStatus(config, session, folder, status, 0);
        return FailAction(config, session, folder, QELWWW_MSG_PRINT_FAILED, {});
    }

    BeginReply(config, session);
    if (session->noHtml) BeginLine(config, session);
    session->response->PrintText("%zu - %s\n", hits.size(),
                                 LineValue(config, session, SearchMessage(QELWWW_MSG_PRINTED)).c_str());
    if (session->noHtml) EndLine(config, session);
    EndReply(config, session);
    FinishWithFolder(config, session, "printdocs", folder);
    SEARCH_TRACE(config, "printdocs: exiting");
    return 0;
}

}  // namespace qelwww::detail
