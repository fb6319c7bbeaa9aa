// Internal: texts inside the plain-text (_nohtml) replies. A reply has exactly the lines
// and fields its format defines, whatever a stored text holds (docs/www-replies.md).
#pragma once

#include <string>
#include <string_view>

#include "qel_www.h"

namespace qelwww::detail {

// The framing characters of the configuration ([no html] Begin, End, Separator); '[',
// ']' and '^' where the configuration is absent or leaves one unset.
struct PlainFraming {
    char begin = '[';
    char end = ']';
    char separator = '^';
};
PlainFraming Framing(const QelWWWConfig* config);

// A text as it goes into a plain-text line: CR, LF, '%' and the three framing
// characters become %XX (upper-case hex), and so does `alsoEscaped` (a further
// character that the line's format puts between values; 0 for none). Every other byte
// stays, so a text without any of them reads as it is.
std::string PlainEscape(const QelWWWConfig* config, std::string_view text, char alsoEscaped = 0);

}  // namespace qelwww::detail
