// The installation's key for the password hashes of saved sessions: CacheDir/qelwww.key,
// 32 random bytes, made by the first request that saves a session and never replaced.
#include "qel_www.h"

#include <cerrno>

#include "arc_platform.h"
#include "qel_client.h"

namespace {

// Creating and reading again: a second pass reads the file another process won the race with.
constexpr int kAttempts = 2;

bool Damaged(int error) {
    return error == EBADMSG || error == EPERM || error == EFBIG || error == EINVAL || error == ELOOP;
}

}  // namespace

std::string QelWWW_StateKeyPath(const QelWWWConfig* config) {
    return config == nullptr || config->cacheDir.empty() ? std::string() : config->cacheDir + "/qelwww.key";
}

int QelWWW_StateKey(const QelWWWConfig* config, bool create, std::string* key) {
    const std::string path = QelWWW_StateKeyPath(config);
    if (path.empty() || key == nullptr) return EINVAL;
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        std::string content;
        int rc = ArcOS_ReadPrivateFile(path.c_str(), kStateKeyMinSize, &content);
        if (rc == 0) {
            // A short file is never padded or made again: that would weaken the check or
            // hide what happened to it.
            if (content.size() != kStateKeyMinSize) return EBADMSG;
            *key = std::move(content);
            return 0;
        }
        if (Damaged(rc)) return EBADMSG;
        if (rc != ENOENT || !create) return rc;
        std::string fresh(kStateKeyMinSize, '\0');
        rc = ArcOS_RandomBytes(fresh.data(), fresh.size());
        if (rc == 0) rc = ArcOS_CreateFileOnce(path.c_str(), fresh, 0600);
        if (rc == 0) {
            *key = std::move(fresh);
            return 0;
        }
        if (rc != EEXIST) return rc;
    }
    return EBADMSG;  // there, yet missing when read: not a file to trust
}
