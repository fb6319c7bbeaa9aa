// Shared by the plain and the converting object readers.
#pragma once

#include "qel_cs.h"

namespace csreq::detail {

// Runs fetch with the handle's callback context set to context (restored afterwards).
int FetchInto(CsHandle* handle, const CsFetchFn& fetch, CsDataFn callback, void* context);

}  // namespace csreq::detail
