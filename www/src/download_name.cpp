// The file name a browser saves a document under: the hit's description (archive text,
// so anything may stand in it) made safe for a file name, and the extension of what is
// sent.
#include <cctype>
#include <string>

#include "document_parts.h"

namespace qelwww::detail {

namespace {

constexpr size_t kNameMax = 120;  // bytes of the name before its extension

std::string Lower(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

// The extension of a content type the gateway sends; null for others.
const char* TypeExtension(std::string_view contentType) {
    struct Entry {
        const char* type;
        const char* extension;
    };
    static constexpr Entry kTypes[] = {
        {"application/pdf", "pdf"}, {"application/afp", "afp"}, {"image/tiff", "tif"},
        {"image/bmp", "bmp"},       {"image/gif", "gif"},       {"image/jpeg", "jpg"},
        {"image/pcx", "pcx"},       {"image/png", "png"},       {"text/html", "html"},
        {"text/plain", "txt"},      {"message/rfc822", "eml"},
    };
    const std::string type = Lower(contentType.substr(0, contentType.find(';')));
    for (const Entry& e : kTypes)
        if (type == e.type) return e.extension;
    return nullptr;
}

// Letters, digits, at most ten: an extension that cannot smuggle anything in.
std::string CleanExtension(std::string_view extension) {
    std::string out;
    for (char c : extension) {
        if (out.size() == 10) break;
        if (std::isalnum(static_cast<unsigned char>(c))) out += static_cast<char>(std::tolower(c));
    }
    return out;
}

// The description as a file name: path and drive separators become '-', characters that
// no file system or header takes become blanks, runs of blanks one blank, no blank or dot
// at either end (a leading dot hides a file), at most kNameMax bytes, never cut inside a
// character.
std::string CleanName(std::string_view text) {
    std::string out;
    for (char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        char keep = c;
        if (c == '/' || c == '\\' || c == ':') {
            keep = '-';
        } else if (byte < 0x20 || byte == 0x7F ||
                   std::string_view("\"*?<>|%;").find(c) != std::string_view::npos) {
            keep = ' ';
        }
        if (keep == ' ' && (out.empty() || out.back() == ' ')) continue;
        out += keep;
    }
    if (out.size() > kNameMax) {
        size_t cut = kNameMax;
        while (cut > 0 && (static_cast<unsigned char>(out[cut]) & 0xC0) == 0x80) --cut;
        out.resize(cut);
    }
    while (!out.empty() && (out.back() == ' ' || out.back() == '.')) out.pop_back();
    size_t first = 0;
    while (first < out.size() && (out[first] == ' ' || out[first] == '.')) ++first;
    out.erase(0, first);
    return out.empty() ? std::string("document") : out;
}

// The name for browsers that read only the plain parameter: ASCII, one '_' for each
// character beyond it.
std::string AsciiName(std::string_view name) {
    std::string out;
    for (char c : name) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x80) {
            out += c;
        } else if ((byte & 0xC0) != 0x80) {
            out += '_';
        }
    }
    return out;
}

}  // namespace

std::string DownloadFileName(std::string_view description, std::string_view contentType,
                             std::string_view fallbackExtension) {
    const char* known = TypeExtension(contentType);
    std::string extension = known != nullptr ? std::string(known) : CleanExtension(fallbackExtension);
    if (extension.empty()) extension = "bin";
    return CleanName(description) + "." + extension;
}

std::string DownloadDisposition(std::string_view fileName) {
    return "inline; filename=\"" + AsciiName(fileName) + "\"; filename*=UTF-8''" +
           // RFC 8187 takes percent-encoded bytes; strict URL encoding keeps only letters,
           // digits and '.', all of them characters it takes as they are.
           QelWWW_UrlEncode(nullptr, fileName, true);
}

}  // namespace qelwww::detail
