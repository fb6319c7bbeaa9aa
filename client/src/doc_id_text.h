// doc_id_text.h - the pieces of a document id (internal): separators, the text escape
// and the numbers of its items. Layout and rules: docs/document-ids.md.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "qel_client.h"

namespace qelclient {

inline constexpr char kDocIdItemSeparator = '-';
inline constexpr char kDocIdPartSeparator = '\x01';
inline constexpr char kDocIdEmpty = '\x0B';  // an empty or absent text
inline constexpr char kDocIdEscape = '%';
inline constexpr char kDocIdEmptyName = 'l';  // item 3 when the hit has no name
inline constexpr int kDocIdItemCount = 13;
inline constexpr size_t kDocIdNameMax = CS_XDR_FIELD_SIZE - 1;  // item 3
inline constexpr size_t kDocIdDocNameMax = 11;                  // item 4
inline constexpr int kDocIdNotesYes = 'Y';
inline constexpr int kDocIdNotesNo = 'N';
inline constexpr int kDocIdNotesUnknown = 'U';

// True for the bytes a text is written with an escape for: '-', '%' and control bytes.
bool DocIdNeedsEscape(unsigned char c);
// Appends the text with those bytes written "%XX" (two upper-case hex digits).
void AppendDocIdText(std::string* out, std::string_view text);
// Reads an escaped text. False for a raw byte that needs an escape, an escape that is
// not two upper-case hex digits, or one of a byte that needs none.
bool ReadDocIdText(std::string_view text, std::string* out);
// Reads a whole decimal integer within [min, max]: an optional '-', digits, nothing
// else.
bool ReadDocIdInteger(std::string_view text, int64_t min, int64_t max, int64_t* out);
// Appends the double in the shortest text that reads back to the same value.
void AppendDocIdDouble(std::string* out, double value);
// Reads a whole double as AppendDocIdDouble writes it.
bool ReadDocIdDouble(std::string_view text, double* out);

// The application of the group whose identifier has the low 16 bits of id, or null.
const CsXdrApplEntry* FindDocIdApplication(const CsXdrApplGroup& group, uint32_t id);
// The index of the folder's group whose identifier has the low 16 bits of id, or -1.
int FindDocIdGroup(const CsXdrFolder& folder, uint32_t id);

}  // namespace qelclient
