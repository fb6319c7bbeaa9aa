// Parameter lists: "name=value&..." texts decoded into pairs.
#include "qel_www.h"

#include <algorithm>
#include <cstring>

#include "code_page_converter.h"
#include "java_text.h"

using qelwww::detail::CodePageConverter;

namespace {

constexpr uint32_t kUtf8 = 1208;
constexpr uint32_t kUtf16 = 1200;
constexpr std::string_view kReplacement = "\xEF\xBF\xBD";  // U+FFFD

ArcIconvContext* ContextOf(const QelWWWConfig* config) {
    return config != nullptr ? config->codePageContext : nullptr;
}

// Length of a valid four-byte UTF-8 sequence (a character beyond U+FFFF) at text[at], else 0.
size_t SupplementaryAt(std::string_view text, size_t at) {
    if (text.size() - at < 4) return 0;
    auto byte = [&](size_t i) { return static_cast<unsigned char>(text[at + i]); };
    unsigned char lead = byte(0);
    if (lead < 0xF0 || lead > 0xF4) return 0;
    for (size_t i = 1; i < 4; ++i) {
        if ((byte(i) & 0xC0) != 0x80) return 0;
    }
    // F0 80..8F would be an overlong form, F4 90..BF lies past U+10FFFF.
    if ((lead == 0xF0 && byte(1) < 0x90) || (lead == 0xF4 && byte(1) > 0x8F)) return 0;
    return 4;
}

// The code-page service reads UTF-8 only up to U+FFFF. A character beyond becomes U+FFFD,
// which a code page without it turns into its own substitution character.
// One pass, so a long text full of such characters costs no more than its length.
void ReplaceSupplementary(std::string* text) {
    size_t write = 0;
    for (size_t read = 0; read < text->size();) {
        if (SupplementaryAt(*text, read) == 0) {
            (*text)[write++] = (*text)[read++];
            continue;
        }
        // Three bytes for four: the text only shrinks, so it is rewritten in place.
        std::copy(kReplacement.begin(), kReplacement.end(),
                  text->begin() + static_cast<std::ptrdiff_t>(write));
        write += kReplacement.size();
        read += 4;
    }
    text->resize(write);
}

// Percent-decoded UTF-8 in the list's code page; the decoded bytes when they do not convert
// (in a single-byte code page they are that page's own: the gateway's links encode its
// texts so). *refused is set when the decoded text holds a NUL, or when it is not UTF-8
// while the list's code page is: kept, those bytes would go out under charset=UTF-8.
std::string DecodeField(std::string_view raw, const CodePageConverter& toCodePage, bool utf8Target,
                        bool* refused) {
    std::string decoded(raw);
    QelWWW_PercentDecode(&decoded);
    if (decoded.find('\0') != std::string::npos || (utf8Target && !qelwww::detail::IsUtf8(decoded)))
        *refused = true;
    ReplaceSupplementary(&decoded);
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
        Refuse(name);
        return false;
    }
    pairs_.push_back(Pair{std::move(name), std::move(value)});
    return true;
}

void QelWWWParmList::Refuse(const std::string& name) {
    if (refusedName_.empty()) refusedName_ = name.empty() ? std::string("?") : name;
}

int QelWWWParmList::Parse(const char* text) {
    if (text == nullptr) return 0;
    std::string_view input(text);
    // The text must be UTF-8 as a whole; a text that is not stays out of the list.
    std::string checked(input);
    ReplaceSupplementary(&checked);
    if (!qelwww::detail::IsUtf8(checked) ||
        !CodePageConverter(ContextOf(config_), kUtf8, kUtf16).Convert(checked))
        return 0;
    const CodePageConverter& toCodePage = ToCodePage();
    const bool utf8Target = codePage_ == kUtf8;

    // '=' and '&' are found before decoding, so %3D and %26 stay data. A stretch without
    // '=' belongs to the next name ("a&b=c" names "a&b"); a trailing one is dropped.
    bool refused = false;
    size_t start = 0;
    while (start < input.size()) {
        size_t equals = input.find('=', start);
        if (equals == std::string_view::npos) break;
        size_t end = input.find('&', equals + 1);
        if (end == std::string_view::npos) end = input.size();
        std::string_view rawName = input.substr(start, equals - start);
        bool badName = false;
        bool badValue = false;
        std::string name = DecodeField(rawName, toCodePage, utf8Target, &badName);
        std::string value =
            DecodeField(input.substr(equals + 1, end - equals - 1), toCodePage, utf8Target, &badValue);
        start = end + 1;
        if (badName || badValue) {
            // Read as a C string a value with a NUL would end early ("alice%00x" as "alice").
            // The other pairs are kept, so _nohtml still chooses the form of the error.
            Refuse(badName ? std::string(rawName) : name);
            refused = true;
            continue;
        }
        if (!Append(std::move(name), std::move(value))) return 1;
    }
    return refused ? 1 : 0;
}

void QelWWWParmList::FreeParms() {
    pairs_.clear();
    refusedName_.clear();
}

int QelWWWParmList::AddPair(const char* name, const char* value) {
    if (name == nullptr || value == nullptr) return 1;
    if (pairs_.size() >= static_cast<size_t>(QELWWW_MAX_PARMS)) return 1;
    std::string decoded(value);
    QelWWW_PercentDecode(&decoded);
    if (decoded.find('\0') != std::string::npos) return 1;
    std::string plainName(name);
    ReplaceSupplementary(&plainName);
    ReplaceSupplementary(&decoded);
    const CodePageConverter& toCodePage = ToCodePage();
    std::optional<std::string> convertedName = toCodePage.Convert(plainName);
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
