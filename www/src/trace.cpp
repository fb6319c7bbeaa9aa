// The trace log: one line per call, appended to LogDir/qelwww.log.
#include "qel_www.h"

#include "arc_platform.h"
#include "format_text.h"

void QelWWW_Trace(const QelWWWConfig* config, const char* format, ...) {
    if (config == nullptr || config->traceFile.empty()) return;
    va_list args;
    va_start(args, format);
    std::string message = qelwww::detail::FormatV(format, args);
    va_end(args);
    // Request texts reach the trace; a line feed in them must not forge a line of its own.
    for (char& c : message) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = ' ';
    }
    std::string line = std::to_string(ArcOS_GetThreadId()) + ":" + std::to_string(ArcOS_GetProcessId()) +
                       " - " + message + "\n";
    // Opened for every line and written in one piece, so threads and processes can share it.
    ArcOS_AppendFile(config->traceFile.c_str(), line, 0640);
}
