// A stand-in language library for the catalogue tests: every lookup answers with a new
// text that carries the event identifier and a call number, so a test can tell a text read
// again from one the catalogue kept.
#include <cstdint>
#include <cstdio>

namespace {
char texts[64][64];
unsigned calls = 0;
}  // namespace

extern "C" __attribute__((visibility("default"))) const char* QelLgs_GetMessageText(uint32_t eventId) {
    char* text = texts[calls % 64];
    ++calls;
    std::snprintf(text, sizeof texts[0], "event %08X call %u\r\n", eventId, calls);
    return text;
}
