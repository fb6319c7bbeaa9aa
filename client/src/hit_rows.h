// hit_rows.h - taking a search's rows into the hit list (internal).
#pragma once

#include <cstdint>

#include "qel_client.h"

namespace qelclient {

// The row callback's work: exitId is the identifier of a client exit's row, null for a
// server row. 0 when the row became a hit (the hit owns it), 1 when it was not kept.
int AddRow(ClientSession* session, CsXdrHitRow* row, const uint32_t* exitId);

// A packed row of the group holding the exit row's values by field name (absent names
// give 0 or an empty text), with an empty document reference. Null when memory runs out.
CsXdrHitRow* MakeExitRow(const CsXdrApplGroup& group, const ClientExitRow& exitRow);

}  // namespace qelclient
