#include "code_page_converter.h"

#include <cstdlib>

#include "arc_codepage.h"

namespace qelwww::detail {

CodePageConverter::CodePageConverter(ArcIconvContext* context, uint32_t source, uint32_t target) {
    if (context == nullptr) return;
    if (ArcICONV_Open(context, static_cast<int32_t>(source), static_cast<int32_t>(target), &handle_) != 0)
        handle_ = nullptr;
}

CodePageConverter::~CodePageConverter() { ArcICONV_Close(handle_); }

std::optional<std::string> CodePageConverter::Convert(std::string_view input) const {
    if (handle_ == nullptr) return std::nullopt;
    if (input.empty()) return std::string();
    char* output = nullptr;
    size_t length = 0;
    if (ArcICONV_ConvertAlloc(handle_, input.data(), input.size(), &output, &length) != 0)
        return std::nullopt;
    std::string converted(output != nullptr ? output : "", output != nullptr ? length : 0);
    std::free(output);
    return converted;
}

}  // namespace qelwww::detail
