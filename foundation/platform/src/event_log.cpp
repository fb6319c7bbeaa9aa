#include "arc_platform.h"

#include <syslog.h>

#include <string>

namespace {

// One event is one line: line breaks inside the text would forge further events.
std::string oneLine(const char* text) {
    std::string out = text ? text : "";
    for (auto& c : out)
        if (c == '\n' || c == '\r') c = ' ';
    return out;
}

int priorityOf(int type) {
    switch (type) {
        case ARCOS_EVENT_ERROR: return LOG_ERR;
        case ARCOS_EVENT_WARNING: return LOG_WARNING;
        default: return LOG_INFO;
    }
}

}  // namespace

int ArcOS_ReportEvent(const char* source, int type, long id, const char* text) {
    std::string src = oneLine(source);
    std::string body = oneLine(text);
    auto file = ArcOS_GetEnv("QEL_EVENTLOG_FILE");
    if (file && !file->empty()) {
        std::string line = src + "|" + std::to_string(type) + "|" + std::to_string(id) + "|" + body + "\n";
        return ArcOS_AppendFile(file->c_str(), line);
    }
    syslog(LOG_USER | priorityOf(type), "%s: [%ld] %s", src.c_str(), id, body.c_str());
    return 0;
}
