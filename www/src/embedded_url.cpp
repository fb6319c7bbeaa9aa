// The link to one embedded document of an e-mail or bundle page.
#include <string>

#include "converters.h"
#include "utf8_text.h"

namespace qelwww::detail {

namespace {

// A query value: percent-encoded, every blank written as '+'.
std::string FormValue(const QelWWWSession* session, std::string_view text) {
    std::string out;
    size_t start = 0;
    while (start <= text.size()) {
        size_t blank = text.find(' ', start);
        if (blank == std::string_view::npos) blank = text.size();
        if (start > 0) out += '+';
        out += QelWWW_UrlEncode(session, text.substr(start, blank - start), true);
        start = blank + 1;
    }
    return out;
}

}  // namespace

std::string QelWWW_EmbeddedDocUrl(const QelWWWConfig* config, const QelWWWSession* session,
                                  std::string_view docId, std::string_view folder, uint64_t offset,
                                  uint64_t length, std::string_view extension) {
    // A growing text: a docid, folder or template has no fixed bound.
    std::string url = session->scriptName;
    url += "?_a=r";
    if (!session->pageAsGiven.empty()) {
        url += "&_h=";
        url += FormValue(session, session->pageAsGiven);
    }
    url += "&_eoff=";
    url += std::to_string(offset);
    url += "&_elen=";
    url += std::to_string(length);
    url += "&_f=";
    url += FormValue(session, ConfiguredToUtf8(config, folder));
    url += "&_d=";
    url += FormValue(session, docId);
    url += "&_ext=";
    url += FormValue(session, extension);
    return url;
}

}  // namespace qelwww::detail
