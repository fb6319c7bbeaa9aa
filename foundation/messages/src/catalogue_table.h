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
    const char* text;  // null for a row whose text only the message library holds
};

inline constexpr int kCatalogueRows = 1738;
extern const CatalogueRow kCatalogue[kCatalogueRows];

}  // namespace arc_messages_detail
