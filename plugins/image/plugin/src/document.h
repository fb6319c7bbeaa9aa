// document.h - the delivered file: opening it through the image library, and
// releasing it again.
#pragma once

#include "instance.h"

namespace zyp {

// Opens fileName as the instance's document (the previous one is released and its
// file deleted first), measures every page, applies the default preset and shows
// page 0. Failures are shown in a message box; the instance then has no image.
void OpenDeliveredFile(PluginInstance& instance, const char* fileName);
// Frees view, document and display settings.
void ReleaseDocument(PluginInstance& instance);
// Deletes the delivered file, if any.
void DeleteDeliveredFile(PluginInstance& instance);

}  // namespace zyp
