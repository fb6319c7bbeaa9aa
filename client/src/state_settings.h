// state_settings.h - the library settings block of a session blob (internal).
#pragma once

#include "blob_reader.h"
#include "blob_writer.h"
#include "library_state.h"

namespace qelclient {

void WriteSettings(BlobWriter& w, const LibraryOptions& options);
// Reads and checks a settings block into options; failures mark the reader.
void ReadSettings(BlobReader& r, LibraryOptions* options);

}  // namespace qelclient
