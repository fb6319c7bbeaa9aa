// page_tables.cpp - writes the page-table stream of a paged document.
#include "page_tables.h"

namespace arcbuild {
namespace {

constexpr uint32_t kAllOffsets = 0x01;
constexpr uint32_t kPageNames = 0x04;
constexpr uint32_t kCodePagePresent = 0x08;

void Word(std::string* out, uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8) out->push_back(static_cast<char>((value >> shift) & 0xFF));
}

void Text(std::string* out, const std::string& text) {
    out->push_back(static_cast<char>(text.size()));
    *out += text;
}

}  // namespace

std::string PageTables(const PagedDef& parts, const std::string& object,
                       const std::vector<uint32_t>& storedLengths) {
    bool named = false;
    for (const std::string& name : parts.pageNames) named = named || !name.empty();
    std::string out;
    Word(&out, kAllOffsets | kCodePagePresent | (named ? kPageNames : 0));
    Word(&out, kPageTablesCodePage);
    Word(&out, static_cast<uint32_t>(parts.pages));
    Word(&out, static_cast<uint32_t>(parts.segmentPages));
    for (size_t k = 1; k <= storedLengths.size(); ++k) {
        Word(&out, 0);
        Word(&out, storedLengths[k - 1]);
        Text(&out, FurtherObjectName(object, k).substr(3, 2));
    }
    out.push_back('\0');  // no index groups
    if (named) {
        for (size_t page = 0; page < parts.pageNames.size(); ++page) {
            if (parts.pageNames[page].empty()) continue;
            Word(&out, static_cast<uint32_t>(page + 1));
            Text(&out, parts.pageNames[page]);
            out.push_back('\0');  // no index values
        }
    }
    Word(&out, 0);
    return out;
}

}  // namespace arcbuild
