// The pieces the e-mail page and the bundle page share.
#include "embedded_pages.h"

#include <cctype>

#include "converters.h"

namespace qelwww::detail {

namespace {

constexpr const char* kImageSection = "attachment images";
constexpr const char* kDefaultImage = "qkic_att.gif";

bool LettersAndDigits(std::string_view text) {
    if (text.empty()) return false;
    for (char c : text)
        if (!std::isalnum(static_cast<unsigned char>(c))) return false;
    return true;
}

}  // namespace

std::vector<std::string_view> SplitLines(std::string_view data) {
    std::vector<std::string_view> lines;
    size_t start = 0;
    while (start < data.size()) {
        size_t end = data.find('\n', start);
        const size_t next = end == std::string_view::npos ? data.size() : end + 1;
        if (end == std::string_view::npos) end = data.size();
        std::string_view line = data.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        lines.push_back(line);
        start = next;
    }
    return lines;
}

std::optional<uint64_t> ParseCount(std::string_view text) {
    // 19 digits always fit in 64 bits.
    if (text.empty() || text.size() > 19) return std::nullopt;
    uint64_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + static_cast<uint64_t>(c - '0');
    }
    return value;
}

std::string ExtensionOf(std::string_view name) {
    const size_t dot = name.rfind('.');
    if (dot == std::string_view::npos || dot + 1 == name.size()) return "---";
    return std::string(name.substr(dot + 1));
}

std::string AttachmentImage(const QelWWWConfig* config, std::string_view extension) {
    if (!LettersAndDigits(extension)) return kDefaultImage;
    std::string key(extension);
    for (char& c : key) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    std::optional<std::string> image = QelWWW_GetIniValue(config, kImageSection, key.c_str());
    return image && !image->empty() ? *image : std::string(kDefaultImage);
}

void WriteAttachmentTable(QelWWWSession* session, std::string_view url, std::string_view image,
                          std::string_view name) {
    std::string out = "<TABLE BORDER=0 WIDTH=25%>\n<TR><TD ALIGN=CENTER>\n<br><a href=\"";
    out += QelWWW_HtmlEscape(url);
    out += "\">\n<img src=\"";
    out += QelWWW_HtmlEscape(image);
    out += "\"></a>\n</TD></TR>\n<TR>\n<TD ALIGN=CENTER> <FONT SIZE=2>";
    out += QelWWW_HtmlEscape(name);
    out += "</TD></TR></TABLE>\n";
    session->response->AppendText(out.data(), out.size());
}

void WriteTextLine(QelWWWSession* session, std::string_view line) {
    std::string out = QelWWW_HtmlEscape(line);
    out += "<br>\n";
    session->response->AppendText(out.data(), out.size());
}

std::string AttachmentUrl(const QelWWWConfig* config, const QelWWWSession* session, std::string_view docId,
                          const Attachment& attachment) {
    return QelWWW_EmbeddedDocUrl(config, session, docId, session->folder, attachment.offset,
                                 attachment.length, attachment.extension);
}

}  // namespace qelwww::detail
