// Reading one text from a loaded message library.
#include "arc_messages.h"
#include "arc_platform.h"

std::string ArcMSGS_LoadText(ArcOSLibrary* library, uint32_t identifier, const char* fallback) {
    std::string result = fallback != nullptr ? fallback : "";
    if (library == nullptr) return result;
    auto lookup = reinterpret_cast<ArcMsgLookupFn>(ArcOS_GetProcAddress(library, ARC_MSG_LOOKUP_ENTRY));
    if (lookup == nullptr) return result;
    const char* text = lookup(identifier);
    if (text == nullptr) return result;
    std::string found = text;
    while (!found.empty() && (found.back() == '\n' || found.back() == '\r')) found.pop_back();
    return found;
}
