// The CGI request text: the query string of a GET, or the whole body of a POST.
#include "cgi_request.h"

#include <new>

#include "decimal.h"

namespace qelwww::detail {

namespace {

#define CGI_TRACE(config, ...)                                                             \
    do {                                                                                   \
        if ((config) != nullptr && (config)->traceOn) QelWWW_Trace((config), __VA_ARGS__); \
    } while (0)

constexpr int kNoArguments = 490;

CgiRequestText Refused(int message, std::vector<std::string> inserts = {}) {
    CgiRequestText out;
    out.message = message;
    out.inserts = std::move(inserts);
    return out;
}

CgiRequestText ReadBody(const QelWWWConfig* config, const std::optional<std::string>& contentLength,
                        std::FILE* body) {
    CGI_TRACE(config, "main: CONTENT_LENGTH = '%s'", contentLength ? contentLength->c_str() : "");
    if (!contentLength) return Refused(kNoArguments);
    std::optional<uint64_t> length = ParseDigits(contentLength->c_str(), kMaxRequestBody);
    if (!length) {
        CGI_TRACE(config, "main: CONTENT_LENGTH refused");
        return Refused(kNoArguments);
    }
    CgiRequestText out;
    try {
        out.text.resize(static_cast<size_t>(*length));
    } catch (const std::bad_alloc&) {
        return Refused(QELWWW_MSG_NO_MEMORY, {"Qel3wcgi", std::to_string(__LINE__)});
    }
    size_t got = *length == 0 || body == nullptr ? 0 : std::fread(out.text.data(), 1, out.text.size(), body);
    if (got != out.text.size()) {
        // A cut body would run a request the browser never sent.
        CGI_TRACE(config, "main: body ended after %zu of %zu bytes", got, out.text.size());
        return Refused(kNoArguments);
    }
    try {
        QelWWW_EncodeNul(&out.text);  // a zero byte must not end the text unseen
    } catch (const std::bad_alloc&) {
        return Refused(QELWWW_MSG_NO_MEMORY, {"Qel3wcgi", std::to_string(__LINE__)});
    }
    return out;
}

}  // namespace

CgiRequestText ReadCgiRequest(const QelWWWConfig* config, const std::optional<std::string>& method,
                              const std::optional<std::string>& contentLength,
                              const std::optional<std::string>& queryString, std::FILE* body) {
    CGI_TRACE(config, "main: REQUEST_METHOD = '%s'", method ? method->c_str() : "");
    if (!method) return Refused(kNoArguments);
    if (*method == "POST") return ReadBody(config, contentLength, body);
    if (*method == "GET") {
        if (!queryString) return Refused(kNoArguments);
        CgiRequestText out;
        out.text = *queryString;
        return out;
    }
    return Refused(kNoArguments);
}

}  // namespace qelwww::detail
