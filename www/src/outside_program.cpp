// Outside programs get an argument vector: a file name with blanks, quotes or "$(...)"
// is one argument and never meets a shell.
#include "outside_program.h"

#include <cerrno>

#include "arc_platform.h"

namespace qelwww::detail {

ProgramResult RunOutsideProgram(const std::vector<std::string>& argv) {
    ProgramResult result;
    int status = -1;
    result.startError = ArcOS_RunProgramQuiet(argv, &status);
    result.exitStatus = result.startError == 0 ? status : -1;
    return result;
}

std::string CommandLineText(const std::vector<std::string>& argv) {
    std::string line;
    for (const std::string& arg : argv) {
        if (!line.empty()) line += ' ';
        bool plain = !arg.empty();
        for (const char c : arg) {
            const bool safe = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                              c == '/' || c == '.' || c == '_' || c == '-' || c == '=';
            plain = plain && safe;
        }
        line += plain ? arg : ArcOS_ShellQuote(arg);
    }
    return line;
}

int ReadProgramOutput(const std::string& path, std::string* data) {
    ArcOSStat before;
    if (ArcOS_Stat64(path.c_str(), &before) != 0) return errno != 0 ? errno : EIO;
    if (!before.isRegular) return EINVAL;
    if (before.size < 0 || static_cast<uint64_t>(before.size) > kMaxProgramOutput) return EFBIG;
    std::string content;
    if (const int rc = ArcOS_ReadFile(path.c_str(), &content); rc != 0) return rc;
    if (content.size() != static_cast<uint64_t>(before.size)) return EIO;
    *data = std::move(content);
    return 0;
}

}  // namespace qelwww::detail
