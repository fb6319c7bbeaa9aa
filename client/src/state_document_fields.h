// state_document_fields.h - the members of an open document in the open-document blob
// (internal): what the document holds of its own, without the links to its session,
// folder, hit and row, which the caller binds.
#pragma once

#include <memory>

#include "blob_reader.h"
#include "blob_writer.h"
#include "qel_client.h"

namespace qelclient {

// The parameter entry of a document as the blob holds it, before it joins a session.
struct SavedParmEntry {
    uint32_t groupId = 0;
    uint32_t applicationId = 0;
    bool madeEmpty = false;
    std::string text;
};

void WriteDocumentFields(BlobWriter& w, const OpenDocument& document);
// Reads into a fresh document; folderFields bounds the layout fields' folder field.
// The notes holder is made when the blob has one; *parm is set when the blob has an
// entry. Failures are the reader's (r.ok()).
void ReadDocumentFields(BlobReader& r, int folderFields, OpenDocument* document,
                        std::unique_ptr<SavedParmEntry>* parm);

}  // namespace qelclient
