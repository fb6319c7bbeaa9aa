// The options text of a server print request: copies, the receiver and sender texts and
// the fax-cover texts, each user text kept to its line so that no value adds a key or a
// section, and the whole text kept within its room.
#include "print_options.h"

#include <string>

#include "qel_parm.h"

namespace qelclient {

std::string OneLine(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        if (c == '\r' || c == '\n') c = ' ';
    return out;
}

std::vector<std::string> AddressLines(std::string_view text) {
    std::vector<std::string> lines;
    while (static_cast<int>(lines.size()) < kPrintAddressLines) {
        const size_t end = text.find('\n');
        if (end == std::string_view::npos) {
            if (!text.empty()) lines.push_back(OneLine(text));
            break;
        }
        std::string_view line = text.substr(0, end);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        lines.push_back(OneLine(line));
        text.remove_prefix(end + 1);
    }
    return lines;
}

namespace {

class OptionsWriter {
public:
    explicit OptionsWriter(std::string* out) : out_(out) {}

    // Each setter answers false, naming the key, once the text has no room left.
    bool Copies(int copies) {
        ParmSetCopies(&text_, copies);
        return Fits("Copies");
    }
    bool Fax(const char* key, const char* value) {
        if (value == nullptr) return true;
        const std::string line = OneLine(value);
        if (line.size() > kFaxTextMax) return Refuse(key);
        ParmSetFaxText(&text_, key, line.c_str());
        return Fits(key);
    }
    bool Lines(const char* stem, const char* value, void (*set)(ParmText*, int, const char*)) {
        if (value == nullptr) return true;
        const std::vector<std::string> lines = AddressLines(value);
        for (size_t i = 0; i < lines.size(); ++i) {
            set(&text_, static_cast<int>(i), lines[i].c_str());
            if (!Fits(stem + std::to_string(i))) return false;
        }
        return true;
    }
    bool Range(int number, long first, long last) {
        ParmSetPageRangeBgn(&text_, number, first);
        ParmSetPageRangeEnd(&text_, number, last);
        return Fits("PAGE_RANGE_BGN_" + std::to_string(number));
    }

    const std::optional<std::string>& Failed() const { return failed_; }
    void Finish() { *out_ = std::move(text_.text); }

private:
    bool Fits(const std::string& key) {
        return text_.text.size() <= CLIENT_PRINT_OPTIONS_MAX ? true : Refuse(key);
    }
    bool Refuse(const std::string& key) {
        failed_ = key;
        return false;
    }

    std::string* out_;
    ParmText text_;
    std::optional<std::string> failed_;
};

}  // namespace

std::optional<std::string> BuildPrintOptions(char kind, const PrintOptionsInput& input, std::string* text) {
    OptionsWriter w(text);
    const bool fax = kind == 'F';
    bool ok = w.Copies(input.copies);
    if (ok) ok = fax ? w.Fax("RAttn", input.receiver) : w.Lines("TO_", input.receiver, &ParmSetTo);
    if (ok) ok = fax ? w.Fax("RCompany", input.sender) : w.Lines("FROM_", input.sender, &ParmSetFrom);
    if (ok && input.fax != nullptr) {
        const ClientFaxTexts& f = *input.fax;
        const std::pair<const char*, const char*> texts[] = {
            {"RFax", f.receiverFax},   {"SFrom", f.senderName}, {"SCompany", f.senderCompany},
            {"SPhone", f.senderPhone}, {"SFax", f.senderFax},   {"SCoverPage", f.coverPage},
            {"SSubject", f.subject},
        };
        for (const auto& [key, value] : texts) {
            ok = w.Fax(key, value);
            if (!ok) break;
        }
    }
    for (size_t i = 0; ok && i < input.pageRanges.size(); ++i)
        ok = w.Range(static_cast<int>(i + 1), input.pageRanges[i].first, input.pageRanges[i].second);
    if (!ok) return w.Failed();
    w.Finish();
    return std::nullopt;
}

}  // namespace qelclient
