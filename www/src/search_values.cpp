// Texts shared by the search form and the hit list: messages, plain-text values, script
// strings, date conversions and field lookups.
#include <cstdio>

#include "arc_datetime.h"
#include "plain_text.h"
#include "qel_client.h"
#include "search_pages.h"

namespace qelwww::detail {

std::string SearchMessage(int index) {
    std::string text;
    int number = 0;
    QelWWW_FormatMessage(index, 0, nullptr, &text, &number);
    return text;
}

std::string PlainValue(const QelWWWConfig* config, const std::string& value) {
    if (value.empty()) return "\"\"";
    return PlainEscape(config, value);
}

std::string JsString(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        // '<', '>' and '&' as escapes: "</script>" and "<!--" cannot end or hide the script.
        if (c < 0x20 || c == 0x7F || c == '"' || c == '\'' || c == '\\' || c == '<' || c == '>' || c == '&') {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\x%02X", c);
            out += escape;
        } else if (c == 0xE2 && i + 2 < text.size() && static_cast<unsigned char>(text[i + 1]) == 0x80 &&
                   (static_cast<unsigned char>(text[i + 2]) == 0xA8 ||
                    static_cast<unsigned char>(text[i + 2]) == 0xA9)) {
            // U+2028 and U+2029 end a line inside a script.
            out += static_cast<unsigned char>(text[i + 2]) == 0xA8 ? "\\u2028" : "\\u2029";
            i += 2;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

std::string ConvertDate(const OpenFolder* folder, int field, const std::string& text, bool toServer,
                        const std::string& requestFormat) {
    std::string serverFormat;
    std::string displayFormat;
    char kind = 0;
    char displayKind = 0;
    if (text.empty() || requestFormat.empty() ||
        Folder_GetDateFormats(folder, field, &serverFormat, &kind, &displayFormat, &displayKind) != 0)
        return text;
    const std::string& from = toServer ? requestFormat : serverFormat;
    const std::string& to = toServer ? serverFormat : requestFormat;
    ArcDateTime earliest = 0;
    if (ArcDT_ParseValue(text.c_str(), from.c_str(), kind, &earliest, nullptr) != 0) return text;
    ArcDTValue value;
    value.value = earliest;
    value.format = to.c_str();
    value.type = kind;
    char buffer[ARC_DT_TEXT_MAX];
    if (ArcDT_FormatValue(buffer, &value) == nullptr) return text;
    return buffer;
}

std::string FieldName(const OpenFolder* folder, int field) {
    const CsXdrFolderField* f = Folder_GetField(folder, field);
    return f != nullptr ? std::string(f->name) : std::string();
}

int FindField(const OpenFolder* folder, const std::string& name) {
    for (int i = 0; i < folder->fieldCount; ++i) {
        if (FieldName(folder, i) == name) return i;
    }
    return -1;
}

std::string CriterionDefault(QelWWWSession* session, OpenFolder* folder, int field, int which) {
    const char* text = Folder_GetCriterionText(session->client, folder, field, which);
    return text != nullptr ? std::string(text) : std::string();
}

}  // namespace qelwww::detail
