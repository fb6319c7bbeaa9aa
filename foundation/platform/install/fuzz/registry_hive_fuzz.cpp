// Registry hive files: the fuzzed bytes are HKLM.ini. Every key the file names is
// read, enumerated and edited, and the server configurations under the server key are
// loaded. What was written must read back unchanged.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "arc_install.h"
#include "arc_platform.h"
#include "fuzz_temp_tree.h"

namespace {

qel_fuzz::TempTree& Space() {
    static qel_fuzz::TempTree space("qel_registry_fuzz");
    return space;
}

// The key paths of the "[...]" lines, as far as they are valid key paths.
std::vector<std::string> KeysOf(std::string_view text) {
    std::vector<std::string> keys;
    size_t at = 0;
    while (at < text.size() && keys.size() < 8) {
        size_t end = text.find('\n', at);
        if (end == std::string_view::npos) end = text.size();
        std::string_view line = text.substr(at, end - at);
        at = end + 1;
        size_t first = line.find_first_not_of(" \t");
        if (first == std::string_view::npos || line[first] != '[') continue;
        size_t close = line.find(']', first);
        if (close == std::string_view::npos || close == first + 1) continue;
        std::string key(line.substr(first + 1, close - first - 1));
        if (key.find_first_of(std::string_view("\r\0", 2)) == std::string::npos) keys.push_back(key);
    }
    return keys;
}

bool Blank(char c) { return c == ' ' || c == '\t' || c == '\v' || c == '\f'; }

// A name the value functions accept (arc_install.h).
bool UsableName(const std::string& n) {
    return !n.empty() && n.find_first_of("=\r\n") == std::string::npos && n[0] != ';' && n[0] != '[' &&
           !Blank(n.front()) && !Blank(n.back());
}

constexpr size_t kServerKeyLength = std::char_traits<char>::length(QELINST_SERVER_KEY);

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view hive(reinterpret_cast<const char*>(data), size);
    const qel_fuzz::TempTree& space = Space();
    qel_fuzz::WriteFile(space.dir + "/registry/HKLM.ini", hive);
    for (const std::string& key : KeysOf(hive)) {
        ArcReg_KeyExists(ARCREG_HKLM, key.c_str());
        std::vector<ArcRegValue> values;
        if (ArcReg_EnumValues(ARCREG_HKLM, key.c_str(), &values) != ARCREG_OK) continue;
        std::string written = "fuzz value";
        for (size_t i = 0; i < values.size() && i < 16; ++i) {
            const ArcRegValue& v = values[i];
            if (!UsableName(v.name)) continue;
            std::string text;
            if (ArcReg_ReadString(ARCREG_HKLM, key.c_str(), v.name.c_str(), &text) != ARCREG_OK ||
                text != v.data)
                std::abort();
            int64_t number = 0;
            ArcReg_ReadNumber(ARCREG_HKLM, key.c_str(), v.name.c_str(), &number);
            if (i == 0 && v.data.find_first_of("\r\n") == std::string::npos) written = v.data;
        }
        // A value written reads back as it was written, whatever the file held before.
        if (ArcReg_SetString(ARCREG_HKLM, key.c_str(), "FuzzWritten", written.c_str()) == ARCREG_OK) {
            std::string back;
            if (ArcReg_ReadString(ARCREG_HKLM, key.c_str(), "FuzzWritten", &back) != ARCREG_OK) std::abort();
            if (back != written) std::abort();
            ArcReg_DeleteValue(ARCREG_HKLM, key.c_str(), "FuzzWritten");
        }
        if (ArcReg_SetNumber(ARCREG_HKLM, key.c_str(), "FuzzNumber", -42) == ARCREG_OK) {
            int64_t back = 0;
            if (ArcReg_ReadNumber(ARCREG_HKLM, key.c_str(), "FuzzNumber", &back) != ARCREG_OK || back != -42)
                std::abort();
        }
        // The server configurations: "<server key>\@SRV@_<name>".
        if (key.size() > kServerKeyLength + 1 &&
            ArcOS_StrNICmp(key.c_str(), QELINST_SERVER_KEY, kServerKeyLength) == 0 &&
            key[kServerKeyLength] == '\\') {
            const std::string section = key.substr(kServerKeyLength + 1);
            if (section.rfind("@SRV@_", 0) == 0) {
                char* image = nullptr;
                QelInst_LoadServerConfig(section.c_str() + 6, &image);
                std::free(image);
            }
        }
    }
    if (ArcReg_CreateKey(ARCREG_HKLM, "Fuzz\\Created") == ARCREG_OK &&
        ArcReg_KeyExists(ARCREG_HKLM, "Fuzz\\Created") != 1)
        std::abort();
    ArcReg_DeleteKey(ARCREG_HKLM, "Fuzz\\Created");
    return 0;
}
