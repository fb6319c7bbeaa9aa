// Page frames cut from template files at the "VOD# Marker" line.
#include "qel_www.h"

#include "arc_platform.h"

namespace {

constexpr std::string_view kMarker = "VOD# Marker";

// The template's lines, each with its line feed; nothing when it cannot be read.
std::optional<std::vector<std::string_view>> ReadTemplate(const QelWWWConfig* config,
                                                          const QelWWWSession* session,
                                                          std::string* content) {
    if (config == nullptr || session == nullptr || session->page.empty()) return std::nullopt;
    if (!QelWWW_IsSafePage(session->page)) return std::nullopt;
    std::string_view page = session->page;
    while (!page.empty() && page.front() == '/') page.remove_prefix(1);
    std::string path = config->templateDir + "/" + std::string(page);
    if (ArcOS_ReadFile(path.c_str(), content) != 0) return std::nullopt;
    std::vector<std::string_view> lines;
    std::string_view rest = *content;
    while (!rest.empty()) {
        size_t end = rest.find('\n');
        end = end == std::string_view::npos ? rest.size() : end + 1;
        lines.push_back(rest.substr(0, end));
        rest.remove_prefix(end);
    }
    return lines;
}

}  // namespace

bool QelWWW_IsSafePage(std::string_view page) {
    if (page.empty() || page.size() > QELWWW_MAX_PAGE) return false;
    for (char c : page) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) return false;
    }
    size_t start = 0;
    while (start <= page.size()) {
        size_t end = page.find('/', start);
        if (end == std::string_view::npos) end = page.size();
        if (page.substr(start, end - start) == "..") return false;
        start = end + 1;
    }
    return true;
}

void QelWWW_WriteHeader(const QelWWWConfig* config, QelWWWSession* session) {
    if (session == nullptr || !session->response) return;
    QelWWWResponse& response = *session->response;
    std::string content;
    auto lines = ReadTemplate(config, session, &content);
    if (!lines) {
        for (const char* line :
             {"<HTML>", "<CENTER>", "<TITLE>Tidewell Netvara</TITLE>", "</CENTER>", "<BODY>", "<br>"})
            response.AppendPrefixLine(line);
        return;
    }
    for (std::string_view line : *lines) {
        size_t marker = line.find(kMarker);
        if (marker == std::string_view::npos) {
            response.AppendPrefixLine(line);
            continue;
        }
        std::string_view head = line.substr(0, marker);
        // A marker inside "<!-- ... -->" takes the comment's opening "<!" with it.
        size_t bang = head.rfind('!');
        if (bang != std::string_view::npos && bang > 0 && head[bang - 1] == '<')
            head = head.substr(0, bang - 1);
        response.AppendPrefixLine(head);
        return;
    }
}

void QelWWW_WriteTrailer(const QelWWWConfig* config, QelWWWSession* session) {
    if (session == nullptr || !session->response) return;
    QelWWWResponse& response = *session->response;
    std::string content;
    auto lines = ReadTemplate(config, session, &content);
    if (!lines) {
        response.AppendSuffixLine("</BODY>");
        response.AppendSuffixLine("</HTML>");
        return;
    }
    bool afterMarker = false;
    for (std::string_view line : *lines) {
        if (afterMarker) {
            response.AppendSuffixLine(line);
            continue;
        }
        size_t marker = line.find(kMarker);
        if (marker == std::string_view::npos) continue;
        afterMarker = true;
        size_t close = line.find('>', marker + kMarker.size());
        if (close != std::string_view::npos) response.AppendSuffixLine(line.substr(close + 1));
    }
}
