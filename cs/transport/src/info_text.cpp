#include "info_text.h"

#include <cstring>

#include "qel_transport.h"

namespace qel::transport {

int WriteInfoText(std::string_view text, char* out, size_t size) {
    if (!out || size == 0) return ARCCOM_FAILED;
    size_t n = text.size() < size ? text.size() : size - 1;
    std::memcpy(out, text.data(), n);
    out[n] = '\0';
    return n == text.size() ? ARCCOM_OK : ARCCOM_FAULT;
}

std::string HostText(std::string_view host, std::string_view address, unsigned port) {
    std::string text;
    text.reserve(host.size() + address.size() + 9);
    text.append(host).append("(").append(address).append("):").append(std::to_string(port));
    return text;
}

int AnswerInfo(bool hasConnection, const std::string& hostText, int lastError, const char* callerText,
               int what, char* out, size_t size) {
    if (what == ARCCOM_INFO_LAST_ERROR) {
        if (!hasConnection) {
            WriteInfoText("", out, size);
            return ARCCOM_FAILED;
        }
        WriteInfoText(std::to_string(lastError), out, size);
        return lastError;
    }
    if (what == ARCCOM_INFO_HOST) {
        if (hasConnection) return WriteInfoText(hostText, out, size);
        if (callerText) return WriteInfoText(callerText, out, size);
    }
    WriteInfoText("", out, size);
    return ARCCOM_FAILED;
}

}  // namespace qel::transport
