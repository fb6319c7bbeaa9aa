// note_files.h - the documents' annotations as the local server keeps them.
#pragma once

#include <string>
#include <vector>

#include "description.h"

namespace arcbuild {

// Writes note/note.tbl and one "aqk%05d.not" file per annotated document into the
// archive folder dir (ending in '/'), each document's row named by its row header as
// the server names it. Notes without a creation time get now. False with the refusals
// in *errors.
bool WriteNotes(const Description& d, const std::vector<QelLocalIdxHeader>& headers, const std::string& dir,
                int64_t now, Errors* errors);

}  // namespace arcbuild
