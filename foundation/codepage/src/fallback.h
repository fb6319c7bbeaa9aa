// fallback.h - conversion on the built-in tables when no engine converter opened.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace qel::codepage {

// Converts the whole input from source to target CCSID into *output. Result as the
// service's: 0, 4 invalid input (odd UCS-2 length, bad UTF-8), 5 UTF-8 cut off, 1.
int FallbackConvert(int32_t sourceCcsid, int32_t targetCcsid, std::string_view input, std::string* output);

}  // namespace qel::codepage
