#include "event_log.h"

#include <cerrno>
#include <cstring>
#include <mutex>

#include "qel_win.h"

namespace {

std::mutex logMutex;
FILE* logFile = nullptr;
bool ownsFile = false;

void WriteLine(const std::string& line) {
    std::lock_guard<std::mutex> lock(logMutex);
    if (logFile == nullptr) return;
    std::fwrite(line.data(), 1, line.size(), logFile);
    std::fputc('\n', logFile);
    std::fflush(logFile);
}

}  // namespace

void JsonFields::Name(std::string_view name) {
    if (!text_.empty()) text_ += ',';
    text_ += Win_JsonString(name);
    text_ += ':';
}

JsonFields& JsonFields::Add(std::string_view name, std::string_view text) {
    Name(name);
    text_ += Win_JsonString(text);
    return *this;
}

JsonFields& JsonFields::Add(std::string_view name, const char* text) {
    if (text == nullptr) {
        Name(name);
        text_ += "null";
        return *this;
    }
    return Add(name, std::string_view(text));
}

JsonFields& JsonFields::AddNumber(std::string_view name, int64_t number) {
    Name(name);
    text_ += std::to_string(number);
    return *this;
}

void LogNamedEvent(const std::string& source, std::string_view key, const char* name,
                   const JsonFields& fields) {
    std::string text = JsonFields().Add(key, name).Text();
    if (!fields.Text().empty()) text += "," + fields.Text();
    Win_LogEvent(source, text);
}

bool OpenEventLog(const std::string& path, std::string* error) {
    CloseEventLog();
    {
        std::lock_guard<std::mutex> lock(logMutex);
        if (path.empty()) {
            logFile = stdout;
            ownsFile = false;
        } else {
            logFile = std::fopen(path.c_str(), "we");
            if (logFile == nullptr) {
                *error = "cannot write the log " + path + ": " + std::strerror(errno);
                return false;
            }
            ownsFile = true;
        }
    }
    Win_SetEventSink(WriteLine);
    return true;
}

void CloseEventLog() {
    Win_SetEventSink(nullptr);
    std::lock_guard<std::mutex> lock(logMutex);
    if (logFile != nullptr && ownsFile) std::fclose(logFile);
    logFile = nullptr;
    ownsFile = false;
}
