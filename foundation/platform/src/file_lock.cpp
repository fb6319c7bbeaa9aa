// Open file description locks: unlike classic record locks they exclude other threads
// of this process too, and closing another descriptor of the file does not drop them.
#include "arc_platform.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace {

int setLock(int fd, short type) {
    struct flock lock {};
    lock.l_type = type;
    lock.l_whence = SEEK_SET;
    lock.l_start = 0;
    lock.l_len = 1;
    while (fcntl(fd, F_OFD_SETLKW, &lock) != 0) {
        if (errno != EINTR) return errno;
    }
    return 0;
}

}  // namespace

int ArcOS_LockByte(int fd) { return setLock(fd, F_WRLCK); }
int ArcOS_UnlockByte(int fd) { return setLock(fd, F_UNLCK); }

int ArcOS_LockPath(const char* path) {
    if (path == nullptr || *path == '\0') {
        errno = EINVAL;
        return -1;
    }
    for (;;) {
        int fd = open(path, O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
        if (fd < 0) return -1;
        int rc = setLock(fd, F_WRLCK);
        if (rc != 0) {
            close(fd);
            errno = rc;
            return -1;
        }
        // The holder before us may have removed the file: a lock on a file without that
        // name excludes nobody.
        struct stat locked {};
        struct stat named {};
        bool hasName = false;
        if (fstat(fd, &locked) == 0) {
            hasName = stat(path, &named) == 0;
            if (hasName && locked.st_dev == named.st_dev && locked.st_ino == named.st_ino) return fd;
        }
        if (!hasName && errno != ENOENT) {
            int error = errno;
            close(fd);
            errno = error;
            return -1;
        }
        close(fd);
    }
}

void ArcOS_UnlockPath(int fd, const char* path, bool removeFile) {
    if (fd < 0) return;
    if (removeFile && path != nullptr) unlink(path);
    setLock(fd, F_UNLCK);
    close(fd);
}
