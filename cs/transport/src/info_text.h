// ArcCOM_Info's text rules, shared by the TCP transport and the fake.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace qel::transport {

// Copies text into out (size bytes, terminator included): 0 in full, 6 cut to fit,
// 2 when there is no room at all (size 0 or out null).
int WriteInfoText(std::string_view text, char* out, size_t size);

// "host(ip):port".
std::string HostText(std::string_view host, std::string_view address, unsigned port);

// The common body of ArcCOM_Info once the connection's texts are known. hasConnection
// false: only a caller's text can be written for ARCCOM_INFO_HOST.
int AnswerInfo(bool hasConnection, const std::string& hostText, int lastError, const char* callerText,
               int what, char* out, size_t size);

}  // namespace qel::transport
