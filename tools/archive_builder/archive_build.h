// archive_build.h - builds a local archive from a checked description, all or nothing.
#pragma once

#include <string>

#include "description.h"

namespace arcbuild {

// Builds the archive into the folder target, which must not exist: everything is made in
// a hidden folder beside it (".<name>.building-XXXXXX") that is renamed to target only
// when complete, and removed after any failure. False with the refusals in *errors.
bool BuildArchive(const Description& d, const std::string& target, Errors* errors);

}  // namespace arcbuild
