// Closing open documents. What documents of the same hit share (page tables, the notes
// cache) lives on while another of them is open.
#include <algorithm>

#include "qel_client.h"

void Doc_Close(OpenDocument* document) {
    if (document == nullptr || document->session == nullptr) return;
    auto& documents = document->session->documents;
    auto found =
        std::find_if(documents.begin(), documents.end(),
                     [document](const std::unique_ptr<OpenDocument>& d) { return d.get() == document; });
    if (found != documents.end()) documents.erase(found);
}

void Doc_CloseFolderDocuments(ClientSession* session, OpenFolder* folder) {
    if (session == nullptr || folder == nullptr) return;
    std::erase_if(session->documents,
                  [folder](const std::unique_ptr<OpenDocument>& d) { return d->folder == folder; });
}
