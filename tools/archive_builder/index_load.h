// index_load.h - loads the described documents' index rows into segments of their groups.
#pragma once

#include <string>
#include <vector>

#include "description.h"

namespace arcbuild {

// Opens the local server on the archive folder dir (tables written already) and, for each
// group with documents, fills segments "<storage id><n>" of at most segment_rows rows in
// description order, as a store would: each segment added, its rows loaded in one build,
// then its dates widened to its rows' segment dates. headers: the documents' row headers.
bool LoadIndexes(const Description& d, const std::string& dir, const std::vector<QelLocalIdxHeader>& headers,
                 Errors* errors);

}  // namespace arcbuild
