// Parameter lists: "name=value&..." texts decoded into pairs.
#include "qel_www.h"

#include <cstring>

#include "code_page_converter.h"

using qelwww::detail::CodePageConverter;

namespace {

constexpr uint32_t kUtf8 = 1208;
constexpr uint32_t kUtf16 = 1200;

ArcIconvContext* ContextOf(const QelWWWConfig* config) {
    return config != nullptr ? config->codePageContext : nullptr;
}

// Percent-decoded UTF-8 in the list's code page; the decoded UTF-8 when it does not convert.
std::string DecodeField(std::string_view raw, const CodePageConverter& toCodePage) {
    std::string decoded(raw);
    QelWWW_PercentDecode(&decoded);
    std::optional<std::string> converted = toCodePage.Convert(decoded);
    return converted ? std::move(*converted) : decoded;
}

}  // namespace

QelWWWParmList::QelWWWParmList(const QelWWWConfig* config)
    : config_(config), codePage_(config != nullptr && config->codePage != 0 ? config->codePage : 819) {}

QelWWWParmList::QelWWWParmList(const QelWWWConfig* config, const char* text) : QelWWWParmList(config) {
    Parse(text);
}

QelWWWParmList::~QelWWWParmList() = default;

const CodePageConverter& QelWWWParmList::ToCodePage() {
    if (!toCodePage_ || !toCodePage_->Usable() || toCodePageCcsid_ != codePage_) {
        toCodePage_.reset();
        toCodePage_ = std::make_unique<CodePageConverter>(ContextOf(config_), kUtf8, codePage_);
        toCodePageCcsid_ = codePage_;
    }
    return *toCodePage_;
}

bool QelWWWParmList::Append(std::string name, std::string value) {
    if (pairs_.size() >= static_cast<size_t>(QELWWW_MAX_PARMS)) {
        if (overflowName_.empty()) overflowName_ = name.empty() ? std::string("?") : name;
        return false;
    }
    pairs_.push_back(Pair{std::move(name), std::move(value)});
    return true;
}

int QelWWWParmList::Parse(const char* text) {
    if (text == nullptr) return 0;
    std::string_view input(text);
    // The text must be UTF-8 as a whole; a text that is not stays out of the list.
    if (!CodePageConverter(ContextOf(config_), kUtf8, kUtf16).Convert(input)) return 0;
    const CodePageConverter& toCodePage = ToCodePage();

    // '=' and '&' are found before decoding, so %3D and %26 stay data. A stretch without
    // '=' belongs to the next name ("a&b=c" names "a&b"); a trailing one is dropped.
    size_t start = 0;
    while (start < input.size()) {
        size_t equals = input.find('=', start);
        if (equals == std::string_view::npos) break;
        size_t end = input.find('&', equals + 1);
        if (end == std::string_view::npos) end = input.size();
        if (!Append(DecodeField(input.substr(start, equals - start), toCodePage),
                    DecodeField(input.substr(equals + 1, end - equals - 1), toCodePage)))
            return 1;
        start = end + 1;
    }
    return 0;
}

void QelWWWParmList::FreeParms() {
    pairs_.clear();
    overflowName_.clear();
}

int QelWWWParmList::AddPair(const char* name, const char* value) {
    if (name == nullptr || value == nullptr) return 1;
    if (pairs_.size() >= static_cast<size_t>(QELWWW_MAX_PARMS)) return 1;
    std::string decoded(value);
    QelWWW_PercentDecode(&decoded);
    const CodePageConverter& toCodePage = ToCodePage();
    std::optional<std::string> convertedName = toCodePage.Convert(name);
    std::optional<std::string> convertedValue = toCodePage.Convert(decoded);
    if (!convertedName || !convertedValue) return 1;
    return Append(std::move(*convertedName), std::move(*convertedValue)) ? 0 : 1;
}

const char* QelWWWParmList::Get(const char* longName, const char* shortName) const {
    for (const char* name : {longName, shortName}) {
        if (name == nullptr) continue;
        for (const Pair& pair : pairs_) {
            if (pair.name == name) return pair.value.c_str();
        }
    }
    return nullptr;
}

std::optional<std::string> QelWWWParmList::GetCopy(const char* longName, const char* shortName) const {
    const char* value = Get(longName, shortName);
    if (value == nullptr) return std::nullopt;
    return std::string(value);
}

bool QelWWWParmList::Has(const char* name) const {
    if (name == nullptr) return false;
    for (const Pair& pair : pairs_) {
        if (pair.name == name) return true;
    }
    return false;
}
