// Entry points of the message library (C linkage, visible outside the library).
#pragma once

#include <cstdint>

#define QELLGS_EXPORT extern "C" __attribute__((visibility("default")))

// The text of an event identifier, or null when this language has none.
QELLGS_EXPORT const char* QelLgs_GetMessageText(uint32_t eventId);

// Register and unregister the library as the event source's message file.
// 0, or 0x8000FFFF on any failure.
QELLGS_EXPORT uint32_t DllRegisterServer();
QELLGS_EXPORT uint32_t DllUnregisterServer();
