// selection.h - the lists of "first" and "next" requests: building the id list
// and the guards every list request shares.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "local_state.h"
#include "qel_cshandle.h"
#include "table_file.h"

namespace qel::local::detail {

// A list key of a table.
struct ListSource {
    const TableFile* table;
    std::string section;
    std::string key;
};

inline bool IsQuotedName(const char* name) { return name != nullptr && name[0] == '\''; }
inline bool HasName(const char* name) { return name != nullptr && name[0] != '\0'; }
// 'name' -> name (a missing closing quote is tolerated).
std::string Unquote(std::string_view name);

// The ids of a "first" request: a decimal id alone (malformed: CS_FAILED); for a
// quoted name the first id of `all` whose row in `rows` has that NAME (a row
// without NAME: CS_FAILED, no match: CS_NOT_FOUND); else the ids of `members`
// (or of `all` when there is no owner). A missing list: CS_NOT_FOUND.
int SelectIds(const TableFile& rows, const ListSource& all, const ListSource* members, const char* name,
              std::vector<int32_t>* ids);

// ---------------------------------------------------------------- list requests
// A list request names its list (a cursor of LocalState) and a reader, called as
// read(item, out...), that turns the list's next item into the caller's record.

// When a "next" request looks at the cancel flag.
enum class CancelCheck {
    kNone,         // never
    kFirst,        // before anything else, without taking the bracket mutex
    kAfterGuards,  // after the argument and archive checks
};

// A reader for lists whose items are the records themselves.
template <typename T>
int CopyItem(const T& item, T* record) {
    *record = item;
    return CS_OK;
}

// Reads the cursor's next item: CS_NOT_FOUND past the end, else what read answers.
template <typename T, typename Read, typename... Out>
int ReadNextItem(Cursor<T>& cursor, Read& read, Out*... out) {
    const T* item = cursor.Take();
    if (item == nullptr) return CS_NOT_FOUND;
    return read(*item, out...);
}

// A "first" request: CS_FAILED without a record or outside an open archive. The
// list is emptied, then build(state, &items) makes it anew (its failure is the
// result, and the list stays empty) and the first item is read.
template <typename T, typename Build, typename Read, typename Record>
int ListFirst(Cursor<T> LocalState::*list, Build&& build, Read&& read, Record* record) {
    if (record == nullptr) return CS_FAILED;
    Request request;
    if (!request.Ready()) return CS_FAILED;
    LocalState& state = request.state();
    (state.*list).Reset({});
    std::vector<T> items;
    if (int rc = build(state, &items); rc != CS_OK) return rc;
    (state.*list).Reset(std::move(items));
    return ReadNextItem(state.*list, read, record);
}

// A "next" request: CS_CANCELLED while the cancel flag is set (when cancel asks),
// CS_FAILED for a missing output or outside an open archive, CS_NOT_FOUND past
// the end of the list, else what read answers.
template <typename T, typename Read, typename... Out>
int ListNext(Cursor<T> LocalState::*list, CancelCheck cancel, Read&& read, Out*... out) {
    if (cancel == CancelCheck::kFirst && CancelFlag().load() != 0) return CS_CANCELLED;
    const bool missingOutput = (... || (out == nullptr));
    if (missingOutput) return CS_FAILED;
    Request request;
    if (!request.Ready()) return CS_FAILED;
    if (cancel == CancelCheck::kAfterGuards && CancelFlag().load() != 0) return CS_CANCELLED;
    return ReadNextItem(request.state().*list, read, out...);
}

}  // namespace qel::local::detail
