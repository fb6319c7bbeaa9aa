// folder_criteria.h - the criteria of an open folder: orders, kinds, operators, choices,
// widths and the hit-list columns (internal; docs/folders.md).
#pragma once

#include <string>

#include "qel_client.h"

namespace qelclient {

// A date field: data type 'B', 'I' or 'N' with date kind 'C', 'D', 'T' or 'Z'.
bool IsDateField(const CsXdrFolderField& field);

// The criteria, display and sort orders of the first folder->fieldCount fields.
void BuildOrders(OpenFolder* folder);

// One criterion per field: kind, operators, copied flag, choices (application-group
// names, fixed values). Segment rows are attached by the caller.
void BuildCriteria(OpenFolder* folder);

// Input and display widths of every criterion, then the removal of fields without a
// display width from the criteria and display orders, then the column layout.
void MeasureAndLayout(OpenFolder* folder);

// A segment row's display text (kind 1 its start date by its letter, 2 its stop date as
// local date and time, other kinds both joined by a tab).
std::string SegmentEntryText(const ClientSegmentRow& row, int kind);

}  // namespace qelclient
