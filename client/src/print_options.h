// print_options.h - the options text of a server print request (internal).
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "qel_client.h"

namespace qelclient {

// Up to this many receiver and sender lines are kept (TO_0..TO_5, FROM_0..FROM_5).
inline constexpr int kPrintAddressLines = 6;
// The longest fax-cover value that reads back whole.
inline constexpr size_t kFaxTextMax = 1024;

struct PrintOptionsInput {
    int copies = 1;
    const char* receiver = nullptr;
    const char* sender = nullptr;
    const ClientFaxTexts* fax = nullptr;
    std::span<const std::pair<long, long>> pageRanges{};  // first and last page, numbered from 1
};

// The lines of an address text: LF ends a line (a CR before it is dropped), a last
// line without LF counts while fewer than kPrintAddressLines are taken; at most
// kPrintAddressLines lines. Any other CR becomes a blank.
std::vector<std::string> AddressLines(std::string_view text);
// A single-line value: every CR and LF becomes a blank.
std::string OneLine(std::string_view text);

// Writes the @_PRINT_OPTIONS_@ section for a printer of the kind into *text. The key
// that did not fit (the text over CLIENT_PRINT_OPTIONS_MAX bytes or a fax text over
// kFaxTextMax), or none when the whole text was made.
std::optional<std::string> BuildPrintOptions(char kind, const PrintOptionsInput& input, std::string* text);

}  // namespace qelclient
