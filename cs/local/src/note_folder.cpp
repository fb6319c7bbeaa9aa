// note_folder.cpp - the client's note and query folders.
#include "note_folder.h"

#include "arc_install.h"
#include "arc_platform.h"
#include "qel_local.h"

namespace qel::local::detail {

std::optional<std::string> ClientFolder(const char* name, const std::string& localFallback, bool create) {
    std::string folder = localFallback;
    std::string qel;
    if (ArcReg_ReadString(ARCREG_HKLM, kClientPathsKey, "QEL", &qel) == ARCREG_OK && !qel.empty()) {
        while (qel.size() > 1 && qel.back() == '/') qel.pop_back();
        folder = qel + "/" + name + "/";
    }
    if (create && !ArcOS_IsDirectory(folder.c_str())) {
        QelLocal_MakeDirs(folder.c_str());
        if (!ArcOS_IsDirectory(folder.c_str())) return std::nullopt;
    }
    return folder;
}

}  // namespace qel::local::detail
