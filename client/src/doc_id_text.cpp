// The escape, numbers and identifier matching shared by the document-id writer and
// parser.
#include <charconv>
#include <system_error>

#include "doc_id_text.h"

namespace qelclient {
namespace {

constexpr char kHex[] = "0123456789ABCDEF";

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

constexpr uint32_t kLow16 = 0xFFFF;

}  // namespace

bool DocIdNeedsEscape(unsigned char c) {
    return c == kDocIdItemSeparator || c == kDocIdEscape || c < 0x20 || c == 0x7F;
}

void AppendDocIdText(std::string* out, std::string_view text) {
    for (char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        if (DocIdNeedsEscape(c)) {
            out->push_back(kDocIdEscape);
            out->push_back(kHex[c >> 4]);
            out->push_back(kHex[c & 0x0F]);
        } else {
            out->push_back(ch);
        }
    }
}

bool ReadDocIdText(std::string_view text, std::string* out) {
    out->clear();
    for (size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c != kDocIdEscape) {
            if (DocIdNeedsEscape(c)) return false;
            out->push_back(text[i]);
            continue;
        }
        if (text.size() - i < 3) return false;
        const int high = HexDigit(text[i + 1]);
        const int low = HexDigit(text[i + 2]);
        if (high < 0 || low < 0) return false;
        const auto decoded = static_cast<unsigned char>(high * 16 + low);
        // One spelling per text: an escape of a plain byte would read back the same.
        if (!DocIdNeedsEscape(decoded)) return false;
        out->push_back(static_cast<char>(decoded));
        i += 2;
    }
    return true;
}

bool ReadDocIdInteger(std::string_view text, int64_t min, int64_t max, int64_t* out) {
    if (text.empty()) return false;
    int64_t value = 0;
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value, 10);
    if (ec != std::errc() || ptr != end || value < min || value > max) return false;
    *out = value;
    return true;
}

void AppendDocIdDouble(std::string* out, double value) {
    char buffer[64];
    const auto [ptr, ec] = std::to_chars(buffer, buffer + sizeof buffer, value);
    if (ec == std::errc()) out->append(buffer, ptr);
}

bool ReadDocIdDouble(std::string_view text, double* out) {
    if (text.empty()) return false;
    double value = 0;
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value, std::chars_format::general);
    if (ec != std::errc() || ptr != end) return false;
    *out = value;
    return true;
}

const CsXdrApplEntry* FindDocIdApplication(const CsXdrApplGroup& group, uint32_t id) {
    for (uint16_t i = 0; i < group.applCount; ++i)
        if ((group.appls[i].number & kLow16) == (id & kLow16)) return &group.appls[i];
    return nullptr;
}

int FindDocIdGroup(const CsXdrFolder& folder, uint32_t id) {
    for (uint16_t i = 0; i < folder.groupCount; ++i)
        if ((folder.groups[i].number & kLow16) == (id & kLow16)) return i;
    return -1;
}

}  // namespace qelclient
