// browser_funcs.h - the browser function table handed to NP_Initialize.
#pragma once

#include "qel_npapi.h"

// Fills the table for browser version 0.minor (8 or 9): a 0.8 table ends before
// GetURLNotify and PostURLNotify, as a browser of that version had it.
void FillBrowserFuncs(NPNetscapeFuncs* funcs, int minor);
