// volumes.cpp - the volume directories of the local server and the volume check.
#include <optional>
#include <string>
#include <string_view>

#include "arc_install.h"
#include "arc_platform.h"
#include "arc_profile.h"
#include "qel_cshandle.h"
#include "qel_local.h"

namespace {

// Longest DIRECTORY value taken; a longer one counts as missing.
constexpr size_t kDirectoryValueMax = 1024;

std::optional<std::string> DirectoryValue(CsHandle* handle) {
    char section[CS_SERVER_NAME_SIZE + 8] = {};
    QelInst_ServerSection(handle->serverName, section, sizeof section);
    std::string buffer(kDirectoryValueMax + 2, '\0');
    size_t n = ArcPROF_GetFromImage(section, "DIRECTORY", "", buffer.data(), buffer.size(),
                                    handle->def.profile.c_str());
    if (n == 0 || n > kDirectoryValueMax) return std::nullopt;
    buffer.resize(n);
    return buffer;
}

// QELVOL_OK when the volume file of directory carries the label (and the number), else
// QELVOL_MISMATCH.
QelVolumeResult CheckVolumeFile(const char* directory, const char* label, const char* number) {
    std::string dir(directory);
    std::string path = dir + (dir.empty() || dir.back() != '/' ? "/" : "") + "volume";
    std::string content;
    if (ArcOS_ReadFile(path.c_str(), &content) != 0) return QELVOL_MISMATCH;
    std::string_view text(content);
    size_t end = text.find('\n');
    std::string_view first = text.substr(0, std::min<size_t>(end, 1024));
    std::string_view wanted(label != nullptr ? label : "");
    if (first.substr(0, wanted.size()) != wanted) return QELVOL_MISMATCH;
    if (number == nullptr || *number == '\0') return QELVOL_OK;
    std::optional<int64_t> volume = QelLocal_VolumeNumber(number);
    if (!volume) return QELVOL_MISMATCH;
    while (end != std::string_view::npos) {
        text.remove_prefix(end + 1);
        end = text.find('\n');
        if (QelLocal_VolumeNumber(text.substr(0, end)) == volume) return QELVOL_OK;
    }
    return QELVOL_MISMATCH;
}

}  // namespace

std::vector<std::string> QelLocal_VolumeDirectories(CsHandle* handle) {
    std::vector<std::string> dirs;
    if (handle == nullptr) return dirs;
    std::optional<std::string> value = DirectoryValue(handle);
    if (!value) return dirs;
    size_t start = 0;
    while (start <= value->size()) {
        size_t comma = value->find(',', start);
        if (comma == std::string::npos) comma = value->size();
        std::string entry = value->substr(start, comma - start);
        size_t first = entry.find_first_not_of(" \t");
        size_t last = entry.find_last_not_of(" \t");
        if (first != std::string::npos) {
            entry = entry.substr(first, last - first + 1);
            if (entry.back() != '/') entry += '/';
            dirs.push_back(std::move(entry));
        }
        start = comma + 1;
    }
    return dirs;
}

QelVolumeResult QelLocal_ReadVolume(CsHandle* handle, const char* directory, const char* label,
                                    const char* number) {
    if (directory == nullptr) return QELVOL_MISMATCH;
    for (int attempt = 0; attempt < QELCFS_VOLUME_RETRIES; ++attempt) {
        if (CheckVolumeFile(directory, label, number) == QELVOL_OK) return QELVOL_OK;
        QelVolumeResult answer = QelLocal_MatchVolume(handle, directory, label, number);
        if (answer == QELVOL_REFUSED) return QELVOL_REFUSED;
        // Without a callback nobody can mount the volume: one check is all.
        if (answer == QELVOL_NO_CALLBACK) break;
    }
    return QELVOL_MISMATCH;
}

QelVolumeResult QelLocal_MatchVolume(CsHandle* handle, const char* directory, const char* label,
                                     const char* number) {
    CsVolumeRequestFn callback = handle != nullptr ? handle->volume.request : nullptr;
    if (callback == nullptr) return QELVOL_NO_CALLBACK;
    std::string_view full(label != nullptr ? label : "");
    std::string first(full.substr(0, full.find('.')));
    std::string dir(directory != nullptr ? directory : "");
    int answer = dir.size() > 3 ? callback(0, first.c_str(), nullptr, nullptr, 0)
                                : callback(1, number != nullptr ? number : "", first.c_str(), dir.c_str(), 0);
    return answer > 0 ? QELVOL_REFUSED : QELVOL_OK;
}

std::optional<int64_t> QelLocal_VolumeNumber(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r')) {
        text.remove_suffix(1);
    }
    if (text.empty() || text.size() > 18) return std::nullopt;
    int64_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + (c - '0');
    }
    return value;
}
