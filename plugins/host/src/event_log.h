// event_log.h - qelview's JSON log: one object per line, written through the window
// layer's event sink so that host, plug-in and window events share one stream.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <type_traits>

// The members of one event, built in order.
class JsonFields {
public:
    JsonFields& Add(std::string_view name, std::string_view text);
    JsonFields& Add(std::string_view name, const char* text);  // null: JSON null
    template <typename T>
    requires std::is_integral_v<T> || std::is_enum_v<T> JsonFields& Add(std::string_view name, T number) {
        return AddNumber(name, static_cast<int64_t>(number));
    }
    const std::string& Text() const { return text_; }

private:
    JsonFields& AddNumber(std::string_view name, int64_t number);
    void Name(std::string_view name);
    std::string text_;
};

// Logs one event of the source: {"<key>": name, then the fields}.
void LogNamedEvent(const std::string& source, std::string_view key, const char* name,
                   const JsonFields& fields);

// Opens the log (path "" = standard output) and installs it as the window layer's
// sink; false with a message.
bool OpenEventLog(const std::string& path, std::string* error);
void CloseEventLog();
