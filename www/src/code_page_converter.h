// Internal: one converter of the code-page service, closed with its owner.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

struct ArcIconvContext;
struct ArcIconvHandle;

namespace qelwww::detail {

class CodePageConverter {
public:
    CodePageConverter(ArcIconvContext* context, uint32_t source, uint32_t target);
    ~CodePageConverter();
    CodePageConverter(const CodePageConverter&) = delete;
    CodePageConverter& operator=(const CodePageConverter&) = delete;

    bool Usable() const { return handle_ != nullptr; }
    // The converted text; nothing when the converter is unusable or the input is invalid.
    std::optional<std::string> Convert(std::string_view input) const;

private:
    ArcIconvHandle* handle_ = nullptr;
};

}  // namespace qelwww::detail
