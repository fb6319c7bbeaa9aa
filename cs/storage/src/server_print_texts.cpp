// server_print_texts.cpp - the texts a print run hands its print script: the receiver
// text, the page ranges and the copies, in growing strings (no fixed areas to overrun).
#include <cstdint>
#include <cstdlib>
#include <string>

#include "arc_platform.h"
#include "qel_smprint.h"

namespace {

const std::string* Option(const SmPrintOptions* options, const std::string& key) {
    if (options == nullptr) return nullptr;
    auto it = options->find(key);
    return it == options->end() ? nullptr : &it->second;
}

int64_t OptionNumber(const SmPrintOptions* options, const std::string& key) {
    const std::string* value = Option(options, key);
    return value == nullptr ? 0 : ArcOS_AToI64(value->c_str());
}

}  // namespace

std::string SmPrintReceiverText(const SmPrinter* printer, const SmPrintOptions* options) {
    std::vector<std::string> keys;
    if (printer != nullptr && printer->type == 'F') {
        keys = {"SSubject", "SCoverPage", "SFrom", "SCompany", "SPhone", "SFax", "RAttn", "RFax", "RCompany"};
    } else if (printer != nullptr && printer->type == 'I') {
        for (int n = 0; n <= 5; ++n) keys.push_back("FROM_" + std::to_string(n));
        for (int n = 0; n <= 5; ++n) keys.push_back("TO_" + std::to_string(n));
    }
    std::string text;
    for (const std::string& key : keys) {
        const std::string* value = Option(options, key);
        if (value != nullptr) text += *value;
        text += '\n';
    }
    return text;
}

std::string SmPrintPageRanges(const SmPrintOptions* options) {
    std::string text;
    for (int n = 1;; ++n) {
        const int64_t begin = OptionNumber(options, "PAGE_RANGE_BGN_" + std::to_string(n));
        const int64_t end = OptionNumber(options, "PAGE_RANGE_END_" + std::to_string(n));
        if (begin == 0 || end == 0) break;
        if (!text.empty()) text += ',';
        text += std::to_string(begin) + "-" + std::to_string(end);
    }
    return text;
}

std::string SmPrintCopies(const SmPrintOptions* options) {
    const int64_t copies = OptionNumber(options, "Copies");
    return std::to_string(copies >= 1 && copies <= 99 ? copies : 1);
}
