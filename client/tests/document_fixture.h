// document_fixture.h - open documents made by hand for the client's tests: a hit of an
// open folder (see folder_fixture.h) and an open document of it, as document retrieval
// leaves them, without a server.
#pragma once

#include <memory>
#include <string>

#include "folder_fixture.h"
#include "qel_client.h"

namespace clienttest {

// Adds a hit of the folder's group (its first application) that owns row, at the end
// of the folder's hit list.
SearchHit* AddTestHit(OpenFolder* folder, int groupIndex, CsXdrHitRow* row);

struct DocumentSpec {
    // The text of the document's parameter entry (made with the document; "" leaves the
    // entry's text empty).
    std::string parmText{};
    int layoutFields = 0;    // FLDnn entries the document has
    uint8_t noteFlag = 'U';  // of the hit's row and the document's ('U' not known)
    // The notes holder of another document of the same hit; null: a fresh one.
    std::shared_ptr<DocNotesHolder> notes{};
};

// An open document of the hit, kept by the session: its own copy of the hit's row
// (CsPackHit COPY), the hit's group and application, the notes holder and a parameter
// entry of the application.
OpenDocument* AddTestDocument(ClientSession* session, OpenFolder* folder, SearchHit* hit,
                              const DocumentSpec& spec = {});

}  // namespace clienttest
