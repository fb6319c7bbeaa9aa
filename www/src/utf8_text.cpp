#include "utf8_text.h"

#include "code_page_converter.h"

namespace qelwww::detail {

namespace {
constexpr uint32_t kUtf8 = 1208;
}

std::string ConfiguredToUtf8(const QelWWWConfig* config, std::string_view text) {
    if (config == nullptr || config->codePage == kUtf8) return std::string(text);
    const uint32_t source = config->codePage != 0 ? config->codePage : 819;
    std::optional<std::string> converted =
        CodePageConverter(config->codePageContext, source, kUtf8).Convert(text);
    return converted ? std::move(*converted) : std::string(text);
}

std::string Utf8UrlValue(const QelWWWConfig* config, const QelWWWSession* session, std::string_view text) {
    return QelWWW_UrlEncode(session, ConfiguredToUtf8(config, text), true);
}

}  // namespace qelwww::detail
