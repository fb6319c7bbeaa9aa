#include "arc_platform.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <mutex>

struct ArcOSFind {
    DIR* dir = nullptr;
};

namespace {

std::mutex hookMutex;
ArcOSFaultHook faultHook;

int injected(const char* step) {
    std::lock_guard lock(hookMutex);
    return faultHook ? faultHook(step) : 0;
}

std::string directoryOf(const std::string& path) {
    size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

std::string baseOf(const std::string& path) {
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

int writeAll(int fd, std::string_view content) {
    const char* p = content.data();
    size_t left = content.size();
    while (left > 0) {
        ssize_t n = write(fd, p, left);
        if (n < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        p += n;
        left -= size_t(n);
    }
    return 0;
}

void syncDirectory(const std::string& dir) {
    int fd = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        fsync(fd);
        close(fd);
    }
}

}  // namespace

int ArcOS_ChDir(const char* path) { return path != nullptr && chdir(path) == 0 ? 0 : -1; }

ArcOSFind* ArcOS_FindFirst(const char* directory) {
    if (directory == nullptr) return nullptr;
    DIR* dir = opendir(directory);
    if (dir == nullptr) return nullptr;
    return new ArcOSFind{dir};
}

int ArcOS_FindNext(ArcOSFind* handle, char* name, size_t size) {
    if (handle == nullptr || name == nullptr || size == 0) return -1;
    for (;;) {
        struct dirent* entry = readdir(handle->dir);
        if (entry == nullptr) return -1;
        if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0) continue;
        size_t length = std::strlen(entry->d_name);
        if (length + 1 > size) return -1;
        std::memcpy(name, entry->d_name, length + 1);
        return 0;
    }
}

void ArcOS_FindClose(ArcOSFind* handle) {
    if (handle == nullptr) return;
    closedir(handle->dir);
    delete handle;
}

int ArcOS_CreateTempFile(const std::string& directory, const std::string& prefix, std::string* path) {
    if (prefix.find('/') != std::string::npos) {
        errno = EINVAL;
        return -1;
    }
    std::string dir = directory.empty() ? std::string("/tmp") : directory;
    if (dir.back() == '/') dir.pop_back();
    std::string pattern = dir + "/" + prefix + "XXXXXX";
    int fd = mkostemp(pattern.data(), O_CLOEXEC);
    if (fd < 0) return -1;
    fchmod(fd, 0600);
    if (path != nullptr) *path = pattern;
    return fd;
}

char* ArcOS_TempName(const char* directory, const char* prefix) {
    std::string path;
    int fd = ArcOS_CreateTempFile(directory ? directory : "", prefix ? prefix : "", &path);
    if (fd < 0) return nullptr;
    close(fd);
    return strdup(path.c_str());
}

int ArcOS_Unlink(const char* path) {
    if (path == nullptr) {
        errno = EINVAL;
        return -1;
    }
    if (unlink(path) == 0) return 0;
    if (errno != EACCES) return -1;
    if (chmod(path, 0600) != 0) {
        errno = EACCES;
        return -1;
    }
    return unlink(path) == 0 ? 0 : -1;
}

int ArcOS_FSeek(FILE* stream, int64_t offset, int whence) {
    return stream != nullptr ? fseeko(stream, static_cast<off_t>(offset), whence) : -1;
}

int ArcOS_Stat64(const char* path, ArcOSStat* status) {
    struct stat st;
    if (path == nullptr || status == nullptr) {
        errno = EINVAL;
        return -1;
    }
    if (stat(path, &st) != 0) return -1;
    status->size = st.st_size;
    status->mtime = st.st_mtime;
    status->isDirectory = S_ISDIR(st.st_mode);
    status->isRegular = S_ISREG(st.st_mode);
    status->mode = st.st_mode & 07777;
    return 0;
}

bool ArcOS_IsDirectory(const char* path) {
    ArcOSStat st;
    return ArcOS_Stat64(path, &st) == 0 && st.isDirectory;
}

int ArcOS_MakeDirectory(const char* path, unsigned mode) {
    if (path == nullptr) return EINVAL;
    if (mkdir(path, mode) == 0) return 0;
    int err = errno;
    if (err == EEXIST && ArcOS_IsDirectory(path)) return 0;
    return err;
}

int ArcOS_RemoveDirectory(const char* path) {
    if (path == nullptr) {
        errno = EINVAL;
        return -1;
    }
    return rmdir(path) == 0 ? 0 : -1;
}

int ArcOS_TouchFile(const char* path) {
    if (path == nullptr) return EINVAL;
    return utimensat(AT_FDCWD, path, nullptr, 0) == 0 ? 0 : errno;
}

int ArcOS_ReadFile(const char* path, std::string* content) {
    if (path == nullptr || content == nullptr) return EINVAL;
    int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) return errno;
    // Read straight into the string: the size from fstat is a first guess only (the file
    // may grow or shrink meanwhile, and some files report no size at all).
    std::string data;
    struct stat st;
    size_t guess =
        fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0 ? size_t(st.st_size) + 1 : 4096;
    size_t used = 0;
    for (;;) {
        if (used == data.size()) data.resize(used == 0 ? guess : used * 2);
        ssize_t n = read(fd, data.data() + used, data.size() - used);
        if (n == 0) break;
        if (n < 0) {
            if (errno == EINTR) continue;
            int err = errno;
            close(fd);
            return err;
        }
        used += size_t(n);
    }
    close(fd);
    data.resize(used);
    *content = std::move(data);
    return 0;
}

namespace {

// Writes the content to a new temporary file beside target (fsynced when asked), with the
// mode given. The descriptor is closed; 0 with its name in *temp, or an errno (nothing left).
int writeTemporary(const std::string& target, std::string_view content, unsigned mode, bool sync,
                   std::string* temp) {
    int err = injected("open");
    int fd = -1;
    if (err == 0) {
        fd = ArcOS_CreateTempFile(directoryOf(target), "." + baseOf(target) + ".tmp", temp);
        if (fd < 0) err = errno;
    }
    if (err != 0) return err;
    if (fchmod(fd, mode) != 0) err = errno;
    if (err == 0) err = injected("write");
    if (err == 0) err = writeAll(fd, content);
    if (sync) {
        if (err == 0) err = injected("fsync");
        if (err == 0 && fsync(fd) != 0) err = errno;
    }
    if (close(fd) != 0 && err == 0) err = errno;
    if (err != 0) unlink(temp->c_str());
    return err;
}

int replaceFile(const char* path, std::string_view content, unsigned mode, bool sync) {
    if (path == nullptr || *path == '\0') return EINVAL;
    std::string target(path);

    // Keep the permissions of the file being replaced.
    struct stat old;
    if (stat(target.c_str(), &old) == 0) mode = old.st_mode & 07777;

    std::string temp;
    int err = writeTemporary(target, content, mode, sync, &temp);
    if (err != 0) return err;
    err = injected("rename");
    if (err == 0 && rename(temp.c_str(), target.c_str()) != 0) err = errno;
    if (err != 0) {
        unlink(temp.c_str());
        return err;
    }
    if (sync) syncDirectory(directoryOf(target));
    return 0;
}

}  // namespace

int ArcOS_WriteFileAtomic(const char* path, std::string_view content, unsigned mode) {
    return replaceFile(path, content, mode, true);
}

int ArcOS_ReplaceFile(const char* path, std::string_view content, unsigned mode) {
    return replaceFile(path, content, mode, false);
}

int ArcOS_CreateFileOnce(const char* path, std::string_view content, unsigned mode) {
    if (path == nullptr || *path == '\0') return EINVAL;
    std::string target(path);
    std::string temp;
    int err = writeTemporary(target, content, mode, true, &temp);
    if (err != 0) return err;
    // link, unlike rename, never replaces a file that is there: the first one stays.
    err = injected("rename");
    if (err == 0 && link(temp.c_str(), target.c_str()) != 0) err = errno;
    unlink(temp.c_str());
    if (err == 0) syncDirectory(directoryOf(target));
    return err;
}

namespace {

// The unique part mkostemp puts in place of "XXXXXX".
constexpr size_t kUniqueLength = 6;
constexpr std::string_view kTempMark = ".tmp";

bool IsLetterOrDigit(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

}  // namespace

bool ArcOS_IsWriteTempName(std::string_view name) {
    // '.', at least one character of the file's own name, the mark, the unique part.
    if (name.size() < 2 + kTempMark.size() + kUniqueLength || name.front() != '.') return false;
    std::string_view unique = name.substr(name.size() - kUniqueLength);
    for (char c : unique) {
        if (!IsLetterOrDigit(c)) return false;
    }
    return name.substr(name.size() - kUniqueLength - kTempMark.size(), kTempMark.size()) == kTempMark;
}

int ArcOS_RemoveWriteLeftovers(const char* directory, int64_t minAge) {
    if (directory == nullptr || *directory == '\0') {
        errno = EINVAL;
        return -1;
    }
    DIR* dir = opendir(directory);
    if (dir == nullptr) return -1;
    const int64_t now = static_cast<int64_t>(time(nullptr));
    int removed = 0;
    while (struct dirent* entry = readdir(dir)) {
        if (!ArcOS_IsWriteTempName(entry->d_name)) continue;
        struct stat st;
        // Not followed: a link is nobody's temporary file.
        if (fstatat(dirfd(dir), entry->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode))
            continue;
        const int64_t changed = static_cast<int64_t>(st.st_mtime);
        if (changed > now || now - changed < minAge) continue;
        if (unlinkat(dirfd(dir), entry->d_name, 0) == 0) ++removed;
    }
    closedir(dir);
    return removed;
}

int ArcOS_ReadPrivateFile(const char* path, size_t maxSize, std::string* content) {
    if (path == nullptr || *path == '\0' || content == nullptr) return EINVAL;
    int fd = open(path, O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (fd < 0) return errno;
    struct stat st;
    int err = 0;
    if (fstat(fd, &st) != 0) {
        err = errno;
    } else if (!S_ISREG(st.st_mode)) {
        err = EINVAL;
    } else if (st.st_uid != geteuid() || (st.st_mode & 077) != 0) {
        err = EPERM;
    } else if (static_cast<uint64_t>(st.st_size) > maxSize) {
        err = EFBIG;
    }
    std::string data(maxSize + 1, '\0');
    size_t used = 0;
    while (err == 0 && used < data.size()) {
        ssize_t n = read(fd, data.data() + used, data.size() - used);
        if (n == 0) break;
        if (n < 0) {
            if (errno != EINTR) err = errno;
            continue;
        }
        used += size_t(n);
    }
    close(fd);
    if (err == 0 && used > maxSize) err = EFBIG;  // grew since fstat
    if (err != 0) return err;
    data.resize(used);
    *content = std::move(data);
    return 0;
}

int ArcOS_AppendFile(const char* path, std::string_view data, unsigned mode) {
    if (path == nullptr || *path == '\0') return EINVAL;
    int fd = open(path, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, mode);
    if (fd < 0) return errno;
    int err = writeAll(fd, data);
    if (close(fd) != 0 && err == 0) err = errno;
    return err;
}

void ArcOS_SetFaultHook(ArcOSFaultHook hook) {
    std::lock_guard lock(hookMutex);
    faultHook = std::move(hook);
}
