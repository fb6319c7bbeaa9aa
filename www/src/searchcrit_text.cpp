// The search form as plain text: one ROW= line per criterion, for applets and programs.
#include "qel_client.h"
#include "search_pages.h"

namespace qelwww::detail {

namespace {

// The values of a row by the criterion's kind, between its kind letter's Sep and the
// row's closing End characters.
std::string RowValues(const QelWWWConfig* config, QelWWWSession* session, OpenFolder* folder, int field) {
    const FolderCriterion& c = folder->criteria[static_cast<size_t>(field)];
    const char b = config->beginChar, e = config->endChar, s = config->separatorChar;
    std::string out;
    auto value = [&](int which) {
        return PlainValue(config, ConvertDate(folder, field, CriterionDefault(session, folder, field, which),
                                              false, session->dateFormat));
    };
    switch (c.kind) {
        case 'N':
            out += b + value(0);
            if (TwoValues(c.defaultOperator)) out += s + value(1);
            out += e;
            break;
        case 'C': {
            out += b;
            out += b;
            for (size_t i = 0; i < c.choices.size(); ++i) {
                if (i != 0) out += s;
                out += PlainValue(config, c.choices[i]);
            }
            out += e;
            out += s;
            out += "\"\"";
            out += e;
            break;
        }
        case 'S': {
            out += b;
            for (size_t i = 0; i < c.segments.size(); ++i) {
                if (i != 0) out += s;
                out += PlainValue(config, Folder_FormatSegmentEntry(session->client, c.segments[i], 1));
            }
            out += e;
            break;
        }
        default: break;  // 'A', 'T', 'Z' carry no values
    }
    return out;
}

}  // namespace

void WriteSearchCritText(const QelWWWConfig* config, QelWWWSession* session, OpenFolder* folder) {
    QelWWWResponse& r = *session->response;
    const char b = config->beginChar, e = config->endChar, s = config->separatorChar;
    r.AppendPrefix("%cBEGIN%c", b, e);
    r.PrintText("ACTION=%s?%s=d&%s=%s\n", session->scriptName.c_str(), "_a", "_f",
                QelWWW_UrlEncode(session, session->folder, true).c_str());
    r.PrintText("NUMROWS=%d\n", static_cast<int>(folder->criteriaOrder.size()));
    std::string line = std::string("DISPLAY_ORDER=") + b;
    for (size_t i = 0; i < folder->displayOrder.size(); ++i) {
        if (i != 0) line += s;
        line += PlainValue(config, FieldName(folder, folder->displayOrder[i]));
    }
    line += e;
    line += '\n';
    r.AppendText(line.data(), line.size());
    for (int field : folder->criteriaOrder) {
        const FolderCriterion& c = folder->criteria[static_cast<size_t>(field)];
        std::string row = "ROW=";
        row += b + PlainValue(config, FieldName(folder, field)) + s + b + b;
        bool first = true;
        for (uint32_t bit = 1; bit <= 2048; bit <<= 1) {
            if (!(c.operatorMask & bit)) continue;
            if (!first) row += s;
            row += std::to_string(bit);
            first = false;
        }
        row += e;
        row += s + std::to_string(c.defaultOperator) + e + s;
        row += b;
        row += c.kind;
        row += s;
        row += RowValues(config, session, folder, field);
        row += e;
        row += e;
        row += '\n';
        r.AppendText(row.data(), row.size());
    }
    r.AppendSuffix("%cEND%c", b, e);
}

}  // namespace qelwww::detail
