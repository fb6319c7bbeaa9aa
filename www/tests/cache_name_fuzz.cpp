// Request values as parts of cache file names: whatever the bytes, the name stays one
// harmless entry of the cache directory and decodes back to the value.
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "fuzz_input.h"
#include "qel_www.h"

namespace {

void Require(bool condition) {
    if (!condition) std::abort();
}

void CheckPart(const std::string& value) {
    std::string encoded = QelWWW_CacheNamePart(value);
    Require(encoded.find('/') == std::string::npos);
    Require(encoded.find('_') == std::string::npos);
    Require(encoded.find("..") == std::string::npos);
    for (char c : encoded) Require(static_cast<unsigned char>(c) >= 0x20 && c != 0x7F);
    std::string decoded = encoded;
    QelWWW_PercentDecode(&decoded);
    Require(decoded == value);
}

void CheckPath(const std::string& path, const std::string& directory) {
    if (path.empty()) return;
    Require(path.compare(0, directory.size() + 1, directory + "/") == 0);
    Require(path.find('/', directory.size() + 1) == std::string::npos);
}

}  // namespace

// The input holds server, user, folder and document name, separated by 0xFF bytes.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::array<std::string, 4> parts = qel_fuzz::SplitInput<4>(data, size);
    for (const std::string& value : parts) CheckPart(value);
    QelWWWConfig config;
    config.cacheDir = "/cache";
    QelWWWSession session;
    session.server = parts[0];
    session.user = parts[1];
    session.folder = parts[2];
    session.port = static_cast<int32_t>(size);
    CheckPath(QelWWW_StateFilePath(&config, &session, "srv"), config.cacheDir);
    CheckPath(QelWWW_FolderFilePath(&config, &session), config.cacheDir);
    CheckPath(QelWWW_DocumentFilePath(&config, &session, parts[3], "idoc"), config.cacheDir);
    Require(QelWWW_CacheFileClass(parts[3]) <= QELWWW_CACHE_OTHER);
    return 0;
}
