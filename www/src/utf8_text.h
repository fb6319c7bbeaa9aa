// Internal: texts of the configured code page made UTF-8 for links and applet parameters.
#pragma once

#include <string>
#include <string_view>

#include "qel_www.h"

namespace qelwww::detail {

// The text converted from the configured code page to UTF-8; the text as it is when the
// conversion cannot be made.
std::string ConfiguredToUtf8(const QelWWWConfig* config, std::string_view text);

// ConfiguredToUtf8, then percent-encoded (strict).
std::string Utf8UrlValue(const QelWWWConfig* config, const QelWWWSession* session, std::string_view text);

}  // namespace qelwww::detail
