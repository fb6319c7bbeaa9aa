// Registration of this library as the message file of the gateway's event source.
#include <string>

#include "arc_install.h"
#include "arc_messages.h"
#include "arc_platform.h"
#include "exports.h"

namespace {

constexpr uint32_t kUnexpected = 0x8000FFFFu;
constexpr const char* kApplicationLogKey = "SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application";
constexpr int64_t kTypesSupported = 7;  // error, warning, information

std::string SourceKey() { return std::string(kApplicationLogKey) + "\\" + ARC_MSG_EVENT_SOURCE; }

// Full path of this library file, found from an address inside it.
std::string OwnPath() {
    char directory[4096];
    size_t length =
        ArcOS_GetModuleDirOf(reinterpret_cast<const void*>(&OwnPath), sizeof directory, directory);
    if (length == 0 || length >= sizeof directory) return {};
    return std::string(directory, length) + ARC_MSG_LIBRARY_NAME;
}

}  // namespace

uint32_t DllRegisterServer() {
    const std::string path = OwnPath();
    if (path.empty()) return kUnexpected;
    const std::string key = SourceKey();
    if (ArcReg_CreateKey(ARCREG_HKLM, key.c_str()) != ARCREG_OK) return kUnexpected;
    if (ArcReg_SetString(ARCREG_HKLM, key.c_str(), "EventMessageFile", path.c_str()) != ARCREG_OK)
        return kUnexpected;
    if (ArcReg_SetNumber(ARCREG_HKLM, key.c_str(), "TypesSupported", kTypesSupported) != ARCREG_OK)
        return kUnexpected;
    return 0;
}

uint32_t DllUnregisterServer() {
    return ArcReg_DeleteKey(ARCREG_HKLM, SourceKey().c_str()) == ARCREG_OK ? 0 : kUnexpected;
}
