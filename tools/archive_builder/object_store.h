// object_store.h - the stored objects of a described archive and where each document lies.
#pragma once

#include <string>
#include <vector>

#include "description.h"

namespace arcbuild {

// Writes every described object into the archive folder dir (ending in '/') as the node
// store reads it, "data/<storage id>/DOC/<name>": for 'N' the documents' bytes one after
// another, for 'O' each document as a zlib stream of its own, one after another. Each
// document's row header (in description order) names its object, the stored block
// (compOff, compLen) and the whole expanded block as the document (off 0, len). A paged
// document fills its object alone (page tables, then its first segment) and the further
// objects its tables name. Resources go to "data/<storage id>/RES/<id>". False with the
// refusals in *errors.
bool WriteObjects(const Description& d, const std::string& dir, std::vector<QelLocalIdxHeader>* headers,
                  Errors* errors);

}  // namespace arcbuild
