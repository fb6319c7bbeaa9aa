// Internal: printf-style formatting into std::string, without a size cap.
#pragma once

#include <cstdarg>
#include <string>

namespace qelwww::detail {

std::string FormatV(const char* format, va_list args);

}  // namespace qelwww::detail
