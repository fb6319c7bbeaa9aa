// Catalogue messages as error replies.
#include "qel_www.h"

#include <vector>

#include "arc_messages.h"

void QelWWW_ReportText(const QelWWWConfig* config, QelWWWSession* session, bool showVersion, int index,
                       const std::vector<std::string>& inserts) {
    ArcMsgRow row;
    if (ArcMSGS_GetText(index, &row) != 0) row = ArcMsgRow{};
    const char* text = row.text != nullptr ? row.text : "";
    std::vector<const char*> args;
    size_t size = std::char_traits<char>::length(text) + 1;
    for (const std::string& insert : inserts) {
        args.push_back(insert.c_str());
        size += insert.size();
    }
    std::string formatted(size, '\0');
    int written =
        ArcMSGS_Format(formatted.data(), formatted.size(), text, args.data(), static_cast<int>(args.size()));
    formatted.resize(written > 0 ? static_cast<size_t>(written) : 0);
    QelWWW_ErrorPage(config, session, showVersion, static_cast<int>(row.number), "%s", formatted.c_str());
}
