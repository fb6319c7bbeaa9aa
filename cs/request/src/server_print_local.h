// server_print_local.h - server print, text search and printers of a local handle.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "qel_cs.h"

namespace csreq::detail {

inline constexpr int kMsgBulkPrintFailed = 117;
inline constexpr int kMsgBulkTextSearchFailed = 153;

// A printer of the local server: section "PRINTERS" of the server configuration, one
// line "name=type[,description]" per printer (type 'P', 'F' or 'I'; another is 'P'),
// numbered from 1 in order. No section: no printers.
struct LocalPrinter {
    uint32_t number = 0;
    std::string name;
    char type = 'P';
    std::string description;
};
std::vector<LocalPrinter> LocalPrinters(const CsHandle* handle);

// The print run over the items (printer by number, else by name: CS_NOT_FOUND when the
// local server has no such printer). A failure other than CS_CANCELLED issues message 117.
int LocalServerPrint(CsHandle* handle, const CsXdrPrintRequest* print, const char* text, CsHitItemFn items);
// The text-search run; each matching job is one value list (number: the exit's answer,
// text: the item word) for answer. A failure other than CS_CANCELLED issues message 153.
int LocalProcessHits(CsHandle* handle, CsXdrValueItem* values, CsHitItemFn items, CsEntryFn answer);

}  // namespace csreq::detail
