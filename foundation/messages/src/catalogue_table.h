// The built-in catalogue rows, generated at build time from catalogue.tsv.
#pragma once

#include <cstdint>

namespace arc_messages_detail {

struct CatalogueRow {
    uint32_t number;
    uint32_t eventId;
    char severity;
    uint32_t category;
    uint32_t destinations;
    uint32_t text;  // offset in kCatalogueTexts; kNoText for a row whose text only the library holds
};

inline constexpr uint32_t kNoText = 0xFFFFFFFFu;
inline constexpr int kCatalogueRows = 1738;
extern const CatalogueRow kCatalogue[kCatalogueRows];
// Every built-in text, each ended by a zero byte.
extern const char kCatalogueTexts[];

// The row's built-in text, or null.
inline const char* BuiltInText(const CatalogueRow& row) {
    return row.text == kNoText ? nullptr : kCatalogueTexts + row.text;
}

}  // namespace arc_messages_detail
