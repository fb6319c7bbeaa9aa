// The hit list as plain text: one DOC= line per hit.
#include "plain_text.h"
#include "search_pages.h"

namespace qelwww::detail {

void WriteHitListText(const QelWWWConfig* config, QelWWWSession* session, const HitList& list) {
    QelWWWResponse& r = *session->response;
    const char b = config->beginChar, e = config->endChar, s = config->separatorChar;
    r.AppendPrefix("%cBEGIN%c", b, e);
    if (list.stopped) {
        const std::string limit = std::to_string(list.limit);
        QelWWWInsert insert{limit.c_str(), QELWWW_INSERT_TEXT};
        std::string text;
        int number = 0;
        QelWWW_FormatMessage(QELWWW_MSG_HIT_LIMIT, 1, &insert, &text, &number);
        r.PrintText("MSG=%s\n", PlainEscape(config, text).c_str());
    }
    for (const HitRow& row : list.rows) {
        std::string line = std::string("DOC=") + b;
        for (const std::string& value : row.values) line += PlainValue(config, value) + s;
        // The link is built of percent-encoded parts: no stored text is raw in it.
        line += row.url + s + PlainEscape(config, std::string(1, row.type));
        if (session->view.showDocLocation && row.location != 0) line += s + std::to_string(row.location);
        line += e;
        line += '\n';
        r.AppendText(line.data(), line.size());
    }
    r.AppendSuffix("%cEND%c", b, e);
}

}  // namespace qelwww::detail
