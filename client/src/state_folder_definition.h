// state_folder_definition.h - a folder definition (CsXdrFolder) in the open-folder blob
// (internal; layout in docs/state.md).
#pragma once

#include "blob_reader.h"
#include "blob_writer.h"
#include "qel_client.h"

namespace qelclient {

void WriteFolderDefinition(BlobWriter& w, const CsXdrFolder& folder);
// A definition allocated as the request layer's decoder allocates one, so that
// CsFreeFolderList frees it; null (and r failed) when any field fails its check.
CsFolderPtr ReadFolderDefinition(BlobReader& r);

}  // namespace qelclient
