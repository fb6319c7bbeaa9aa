// table_file.h - reading one table file of the local archive.
//
// A table is read whole into memory for each request (another process may
// have rewritten it since), and every value is checked before it is used:
// texts must fit their field, numbers must be whole decimal numbers in range,
// and lists may hold at most QELLOCAL_MAX_IDS entries.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "qel_cshandle.h"

namespace qel::local::detail {

class TableFile {
public:
    // Reads the file; a missing file is an empty table. CS_OK; CS_FAILED when it
    // cannot be read or holds a line longer than the profile reader's 32766 characters.
    int Load(const std::string& path);
    // The same for a profile text already in memory (the text ends at a zero byte).
    int LoadText(std::string_view text);

    // The value of a key, or none when the section or the key is missing.
    std::optional<std::string> Get(std::string_view section, std::string_view key) const;
    bool HasSection(std::string_view section) const;
    // The key lines of a section in file order: CS_OK; CS_NOT_FOUND when the section
    // is missing.
    int Entries(std::string_view section, std::vector<std::pair<std::string, std::string>>* entries) const;

    // A text into a field of `size` bytes (size - 1 characters): CS_OK; `missing`
    // when absent and no default is given; CS_FAILED when it does not fit (a cut
    // name could name another row).
    int Text(std::string_view section, std::string_view key, char* field, size_t size, CsReturnCode missing,
             const char* defaultValue = nullptr) const;
    // A text of any length up to `maxLength`; CS_FAILED when longer.
    int LongText(std::string_view section, std::string_view key, std::string* value, CsReturnCode missing,
                 const char* defaultValue = nullptr, size_t maxLength = 32767) const;
    // A whole decimal number within [low, high]: CS_OK; `missing` when absent
    // without a default; CS_FAILED when malformed or out of range.
    int Number(std::string_view section, std::string_view key, int64_t low, int64_t high, int64_t* value,
               CsReturnCode missing, std::optional<int64_t> defaultValue = std::nullopt) const;
    int Int32(std::string_view section, std::string_view key, int32_t* value, CsReturnCode missing,
              std::optional<int64_t> defaultValue = std::nullopt) const;
    // A 16-bit value: -32768..65535 stored in its low 16 bits (-1 reads as 65535).
    int UInt16(std::string_view section, std::string_view key, uint16_t* value, CsReturnCode missing,
               std::optional<int64_t> defaultValue = std::nullopt) const;
    // A one-character value (a type letter); CS_FAILED when longer.
    int Letter(std::string_view section, std::string_view key, char* value, CsReturnCode missing,
               char defaultValue = 0) const;

    // A comma-separated list of decimal ids: CS_OK; CS_NOT_FOUND when the key is
    // missing; CS_FAILED when an element is not an id or there are more than
    // QELLOCAL_MAX_IDS.
    int IdList(std::string_view section, std::string_view key, std::vector<int32_t>* ids) const;
    // A comma-separated list of names (blanks around each removed, empty ones skipped).
    int NameList(std::string_view section, std::string_view key, std::vector<std::string>* names) const;

private:
    struct Section {
        std::string foldedName;
        bool present = false;
        std::vector<std::pair<std::string, std::string>> entries;  // key lines in file order
    };
    // The key lines of the first section of that name (case ignored), read from the text
    // once per section: a row's fields are many keys of one section, and looking each up
    // in the whole text again cost more than the rest of a request. Null when missing.
    const Section* Lookup(std::string_view section) const;

    std::string text_;
    // Sections looked up so far; a TableFile is a local of one call, never shared.
    mutable std::vector<Section> sections_;
};

// A whole decimal number (optional sign) within [low, high].
std::optional<int64_t> ParseNumber(std::string_view text, int64_t low, int64_t high);
// Splits a comma list; blanks around elements removed, empty elements skipped.
// CS_OK, or CS_FAILED when it would hold more than QELLOCAL_MAX_IDS elements.
int SplitList(std::string_view text, std::vector<std::string>* items);
// The ids of a logon's group-list text ("IN (1,5,7)", from its first digit to the closing
// parenthesis); none for a null text or one without digits. CS_OK, or CS_FAILED for an
// id that does not read and for more than QELLOCAL_MAX_IDS of them.
int GroupListIds(const char* groupList, std::vector<int32_t>* ids);

}  // namespace qel::local::detail
