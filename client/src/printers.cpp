// The session's printer list and printing hits on a server printer.
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "call_context.h"
#include "print_options.h"
#include "qel_client.h"
#include "qel_cswire.h"

namespace {

// The kind letter is the low byte of the printer's first word.
char KindOf(const CsXdrPrinter& reply) {
    const char kind = static_cast<char>(reply.words[0] & 0xFF);
    return kind == 'F' || kind == 'I' || kind == 'P' ? kind : 0;
}

int KeepPrinter(void* context, void* entry) {
    auto* list = static_cast<std::vector<std::unique_ptr<ClientPrinter>>*>(context);
    auto printer = std::make_unique<ClientPrinter>();
    printer->reply = static_cast<CsXdrPrinter*>(entry);
    printer->kind = KindOf(*printer->reply);
    list->push_back(std::move(printer));
    return 0;
}

// Where a printer sits in the session's list, or -1.
int IndexOf(const ClientSession* session, const ClientPrinter* printer) {
    if (session == nullptr || printer == nullptr) return -1;
    for (size_t i = 0; i < session->printers.size(); ++i)
        if (session->printers[i].get() == printer) return static_cast<int>(i);
    return -1;
}

// One hit of a print request, as the request's item source hands it over.
struct PrintNode {
    CsXdrApplGroup* group;
    CsXdrApplEntry* application;
    CsXdrHitRow* row;
};

struct PrintList {
    std::vector<PrintNode> nodes;
    size_t next = 0;
};

int NextItem(void* context, CsXdrApplGroup** group, CsXdrApplEntry** application, CsXdrHitRow** hit,
             uint32_t*) {
    auto* list = static_cast<PrintList*>(context);
    if (list->next >= list->nodes.size()) {
        *hit = nullptr;
        return 0;
    }
    const PrintNode& node = list->nodes[list->next++];
    *group = node.group;
    *application = node.application;
    *hit = node.row;
    return 0;
}

}  // namespace

void Printer_LoadList(ClientStatus* status, ClientSession* session) {
    ClientStatus ignored;
    if (status == nullptr) status = &ignored;
    if (session == nullptr || session->printersLoaded) {
        Session_MakeStatus(status, session, CS_OK, CLIENT_OP_PRINTERS);
        return;
    }
    std::vector<std::unique_ptr<ClientPrinter>> list;
    int rc;
    {
        qelclient::CallContext context(&session->handle, &list);
        rc = CsGetPrinters(&session->handle, &KeepPrinter);
    }
    Session_MakeStatus(status, session, rc, CLIENT_OP_PRINTERS);
    if (status->severity != CLIENT_SEV_OK) return;
    session->printers = std::move(list);
    session->printersLoaded = true;
}

ClientPrinter* Printer_GetFirst(ClientSession* session) {
    return session != nullptr && !session->printers.empty() ? session->printers.front().get() : nullptr;
}

ClientPrinter* Printer_GetNext(ClientSession* session, const ClientPrinter* printer) {
    const int at = IndexOf(session, printer);
    if (at < 0 || static_cast<size_t>(at) + 1 >= session->printers.size()) return nullptr;
    return session->printers[static_cast<size_t>(at) + 1].get();
}

ClientPrinter* Printer_GetLast(ClientSession* session) {
    return session != nullptr && !session->printers.empty() ? session->printers.back().get() : nullptr;
}

const char* Printer_GetName(const ClientPrinter* printer) {
    return printer != nullptr && printer->reply != nullptr ? printer->reply->name : "";
}

const char* Printer_GetDescription(const ClientPrinter* printer) {
    return printer != nullptr && printer->reply != nullptr ? printer->reply->description : "";
}

void Printer_FreeAll(ClientSession* session) {
    if (session == nullptr) return;
    while (!session->printers.empty()) session->printers.pop_back();
    session->printersLoaded = false;
}

void Printer_PrintHits(ClientStatus* status, ClientSession* session, const ClientPrinter* printer,
                       SearchHit* const* hits, int count, int copies, const char* receiver,
                       const char* sender, const ClientFaxTexts* fax, uint32_t callerValue) {
    ClientStatus ignored;
    if (status == nullptr) status = &ignored;
    if (session == nullptr || printer == nullptr || printer->reply == nullptr || count < 0 ||
        (count > 0 && hits == nullptr)) {
        Session_MakeLocalStatus(status, session, 3, "print request");
        return;
    }
    PrintList list;
    for (int i = 0; i < count; ++i) {
        const SearchHit* hit = hits[i];
        if (hit == nullptr || hit->row == nullptr || hit->group == nullptr) {
            Session_MakeLocalStatus(status, session, 3, "print request");
            return;
        }
        // The request layer only reads the records it is handed.
        list.nodes.push_back({const_cast<CsXdrApplGroup*>(hit->group),
                              const_cast<CsXdrApplEntry*>(hit->application), hit->row});
    }
    qelclient::PrintOptionsInput input;
    input.copies = copies;
    input.receiver = receiver;
    input.sender = sender;
    input.fax = fax;
    std::string options;
    if (auto failed = qelclient::BuildPrintOptions(printer->kind, input, &options)) {
        Session_MakeLocalStatus(status, session, 3, failed->c_str());
        return;
    }
    if (list.nodes.empty()) {
        Session_MakeStatus(status, session, CS_OK, CLIENT_OP_PRINT);
        return;
    }
    CsXdrPrintRequest request{};
    request.printer = printer->reply->number;
    request.copies = static_cast<uint32_t>(copies);
    request.options = callerValue;
    request.name = printer->reply->name;
    int rc;
    {
        qelclient::CallContext context(&session->handle, &list);
        session->requestRunning = 1;
        rc = CsServerPrint(&session->handle, &request, options.c_str(), {}, &NextItem, 0);
        session->requestRunning = 0;
    }
    Session_MakeStatus(status, session, rc, CLIENT_OP_PRINT);
}
