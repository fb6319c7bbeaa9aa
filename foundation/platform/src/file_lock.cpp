// Open file description locks: unlike classic record locks they exclude other threads
// of this process too, and closing another descriptor of the file does not drop them.
#include "arc_platform.h"

#include <fcntl.h>

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
