// The last failure's text per thread, for ZypmLastMessage.
#include "internal.h"

namespace {
thread_local std::string lastMessage;
}

namespace zypm {

int Fail(int code, const std::string& message) {
    lastMessage = message;
    return code;
}

void ClearMessage() { lastMessage.clear(); }

}  // namespace zypm

extern "C" const char* ZypmLastMessage(void) { return lastMessage.c_str(); }
