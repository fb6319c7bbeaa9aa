// Standard error, the event log and the message exit program.
#include "message_destinations.h"

#include <cstdio>

#include "arc_install.h"
#include "arc_messages.h"
#include "arc_platform.h"
#include "qel_cshandle.h"

namespace cshandle::detail {

void WriteStandardError(const std::string& text) {
    std::string line = text;
    for (char& c : line)
        if (c == '\n' || c == '\r') c = ' ';
    line += '\n';
    std::fputs(line.c_str(), stderr);
    std::fflush(stderr);
}

int WriteEventLog(char severity, uint32_t eventId, const std::string& text) {
    int type = severity == '1' || severity == '2' ? ARCOS_EVENT_ERROR
               : severity == '3'                  ? ARCOS_EVENT_WARNING
                                                  : ARCOS_EVENT_INFORMATION;
    return ArcOS_ReportEvent(ARC_MSG_EVENT_SOURCE, type, long(eventId), text.c_str()) == 0 ? CS_OK
                                                                                           : CS_FAILED;
}

int RunMessageExit(const std::vector<std::string>& args) {
    char path[261];
    if (QelInst_ProgramPath(4, path, sizeof path) == 0) return CS_FAILED;
    std::vector<std::string> argv;
    argv.reserve(args.size() + 1);
    argv.emplace_back(path);
    argv.insert(argv.end(), args.begin(), args.end());
    int status = 0;
    // The exit code is read but, as ever, not acted on.
    return ArcOS_RunProgram(argv, &status) == 0 ? CS_OK : CS_FAILED;
}

}  // namespace cshandle::detail
