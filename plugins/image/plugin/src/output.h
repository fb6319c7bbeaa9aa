// output.h - the selection to the clipboard and the document to a printer.
#pragma once

#include <cstdint>

#include "instance.h"

namespace zyp {

// Largest bitmap a copy makes, in bytes (4 a pixel).
inline constexpr uint64_t kMaxCopyBytes = 64ull << 20;

// Copies the selected area, as the view shows it, to the clipboard as a bitmap.
// false (with a message when the area is too large or the page cannot be painted)
// when nothing was copied.
bool CopySelection(PluginInstance& instance);
// The print dialog, then every chosen page in bands to the printer context.
void PrintDocument(PluginInstance& instance);

}  // namespace zyp
