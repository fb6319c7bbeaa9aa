#include "server_def.h"

#include <array>
#include <optional>

#include "qel_transport.h"

namespace qel::transport {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }

std::string_view Trim(std::string_view text) {
    while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
    return text;
}

// Profile values may carry one pair of matching quotes.
std::string_view Unquote(std::string_view value) {
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front()) {
        return value.substr(1, value.size() - 2);
    }
    return value;
}

bool SameKey(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'a' && x <= 'z') x = static_cast<char>(x - 'a' + 'A');
        if (y >= 'a' && y <= 'z') y = static_cast<char>(y - 'a' + 'A');
        if (x != y) return false;
    }
    return true;
}

// Plain decimal digits only, no sign, at most max.
std::optional<long> ReadNumber(std::string_view value, long max) {
    if (value.empty()) return std::nullopt;
    long n = 0;
    for (char c : value) {
        if (c < '0' || c > '9') return std::nullopt;
        n = n * 10 + (c - '0');
        if (n > max) return std::nullopt;
    }
    return n;
}

enum Key { kHost, kPort, kProtocol, kConnectTimeout, kIdleTimeout, kKeyCount };
constexpr std::array<std::string_view, kKeyCount> kKeyNames = {"HOST", "PORT", "PROTOCOL", "CONNECT_TIMEOUT",
                                                               "IDLE_TIMEOUT"};

using Values = std::array<std::optional<std::string_view>, kKeyCount>;

// The first occurrence of a key wins, as in a profile look-up; a second section header
// ends the definition.
Values CollectKeys(std::string_view text) {
    Values values;
    bool sawKey = false;
    while (!text.empty()) {
        size_t end = text.find('\n');
        std::string_view line = Trim(text.substr(0, end));
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        if (line.empty() || line.front() == ';' || line.front() == '#') continue;
        if (line.front() == '[') {
            if (sawKey) break;
            continue;
        }
        size_t equals = line.find('=');
        if (equals == std::string_view::npos) continue;
        sawKey = true;
        std::string_view key = Trim(line.substr(0, equals));
        for (size_t k = 0; k < kKeyCount; ++k) {
            if (!values[k] && SameKey(key, kKeyNames[k])) {
                values[k] = Unquote(Trim(line.substr(equals + 1)));
            }
        }
    }
    return values;
}

int Refuse(std::string* why, std::string reason) {
    if (why) *why = std::move(reason);
    return ARCCOM_FAILED;
}

int ReadHost(std::string_view value, ServerDefinition* out, std::string* why) {
    if (value.size() >= 2 && value.front() == '[' && value.back() == ']') {
        value = value.substr(1, value.size() - 2);
    }
    if (value.empty()) return Refuse(why, "HOST is empty");
    if (value.size() > kMaxHostLength) return Refuse(why, "HOST is longer than 255 bytes");
    for (char c : value) {
        unsigned char u = static_cast<unsigned char>(c);
        if (u <= 0x20 || u == 0x7f) return Refuse(why, "HOST holds a blank or control character");
    }
    out->host.assign(value);
    return ARCCOM_OK;
}

int ReadTimeout(const std::optional<std::string_view>& value, std::string_view name, int fallback,
                int* seconds, std::string* why) {
    *seconds = fallback;
    if (!value || value->empty()) return ARCCOM_OK;
    std::optional<long> n = ReadNumber(*value, ARCCOM_MAX_TIMEOUT);
    if (!n) return Refuse(why, std::string(name) + " is not a number of seconds up to 86400");
    if (*n > 0) *seconds = static_cast<int>(*n);
    return ARCCOM_OK;
}

}  // namespace

int ParseServerDefinition(std::string_view text, ServerDefinition* out, std::string* why) {
    ServerDefinition def;
    Values values = CollectKeys(text);

    if (!values[kHost]) return Refuse(why, "HOST is missing");
    if (int rc = ReadHost(*values[kHost], &def, why)) return rc;

    if (!values[kPort]) return Refuse(why, "PORT is missing");
    std::optional<long> port = ReadNumber(*values[kPort], 65535);
    if (!port || *port == 0) return Refuse(why, "PORT is not a number from 1 to 65535");
    def.port = static_cast<uint16_t>(*port);

    if (values[kProtocol]) {
        std::string_view p = *values[kProtocol];
        if (p == "0" || p == "2" || p == "T" || p == "t") {
            def.kind = 2;
        } else if (p == "4" || p == "S" || p == "s") {
            def.kind = 4;
        } else {
            return Refuse(why, "PROTOCOL is not a remote transport kind (2, 4, T or S)");
        }
    }

    if (int rc = ReadTimeout(values[kConnectTimeout], "CONNECT_TIMEOUT", ARCCOM_DEFAULT_CONNECT_TIMEOUT,
                             &def.connectTimeoutSeconds, why)) {
        return rc;
    }
    if (int rc = ReadTimeout(values[kIdleTimeout], "IDLE_TIMEOUT", ARCCOM_DEFAULT_IDLE_TIMEOUT,
                             &def.idleTimeoutSeconds, why)) {
        return rc;
    }
    *out = std::move(def);
    return ARCCOM_OK;
}

}  // namespace qel::transport
