// kf_unfinished.cpp - removing what an interrupted creation left of a keyed file set.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "keyed_file.h"

namespace qel::local::detail {
namespace {

bool RemoveIfThere(const std::string& path) { return ::unlink(path.c_str()) == 0 || errno == ENOENT; }

}  // namespace

bool QelKf_RemoveUnfinished(const std::string& dataName, const std::string& indexName,
                            const std::function<bool()>& finished) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        const int fd = ::open(dataName.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) {
            // A build makes its data file first: without one, none runs.
            return errno == ENOENT && RemoveIfThere(indexName) && RemoveIfThere(indexName + "-lock");
        }
        int locked;
        while ((locked = ::flock(fd, LOCK_EX)) != 0 && errno == EINTR) {
        }
        struct stat held {};
        struct stat named {};
        if (locked != 0 || ::fstat(fd, &held) != 0) {
            ::close(fd);
            return false;
        }
        if (::stat(dataName.c_str(), &named) != 0 || held.st_dev != named.st_dev ||
            held.st_ino != named.st_ino) {
            ::close(fd);  // replaced while this waited: look again
            continue;
        }
        const bool ok = finished() || (RemoveIfThere(indexName) && RemoveIfThere(indexName + "-lock") &&
                                       RemoveIfThere(dataName));
        ::close(fd);
        return ok;
    }
    return false;
}

}  // namespace qel::local::detail
