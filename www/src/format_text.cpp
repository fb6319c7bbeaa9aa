#include "format_text.h"

#include <cstdio>

namespace qelwww::detail {

std::string FormatV(const char* format, va_list args) {
    if (format == nullptr) return {};
    va_list copy;
    va_copy(copy, args);
    int needed = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    if (needed <= 0) return {};
    std::string out(static_cast<size_t>(needed), '\0');
    std::vsnprintf(out.data(), out.size() + 1, format, args);
    return out;
}

}  // namespace qelwww::detail
