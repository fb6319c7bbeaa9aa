// qelarcbuild - builds a local archive from a JSON description (docs/archive-builder.md).
//   qelarcbuild <description.json> <archive folder>
#include <cstdio>
#include <string>

#include "archive_build.h"
#include "description.h"

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s <description.json> <archive folder>\n", argv[0]);
        return 2;
    }
    arcbuild::Errors errors;
    arcbuild::Description description;
    if (arcbuild::ReadDescription(argv[1], &description, &errors))
        arcbuild::BuildArchive(description, argv[2], &errors);
    for (const arcbuild::BuildError& error : errors.List())
        std::fprintf(stderr, "%s\n", FormatError(error).c_str());
    if (!errors.Empty()) return 1;
    std::printf("built %s: %zu users, %zu folders, %zu application groups, %zu documents\n", argv[2],
                description.users.size(), description.folders.size(), description.appGroups.size(),
                description.documents.size());
    return 0;
}
