// Conversion files: the name is taken by creating the file (O_EXCL), so no other process
// can place a file or a link there first.
#include "temp_files.h"

#include <unistd.h>

#include <cerrno>

#include "arc_platform.h"

namespace qelwww::detail {

namespace {

int WriteAll(int fd, std::string_view content) {
    while (!content.empty()) {
        const ssize_t n = ::write(fd, content.data(), content.size());
        if (n < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        content.remove_prefix(static_cast<size_t>(n));
    }
    return 0;
}

}  // namespace

ConversionFile::~ConversionFile() {
    if (!path_.empty()) ArcOS_Unlink(path_.c_str());
}

int ConversionFile::Create(const std::string& directory, const char* prefix, std::string_view content) {
    std::string path;
    const int fd = ArcOS_CreateTempFile(directory, prefix, &path);
    if (fd < 0) return errno != 0 ? errno : EIO;
    int error = WriteAll(fd, content);
    if (::close(fd) != 0 && error == 0) error = errno;
    if (error != 0) {
        ArcOS_Unlink(path.c_str());
        return error;
    }
    if (!path_.empty()) ArcOS_Unlink(path_.c_str());
    path_ = std::move(path);
    return 0;
}

}  // namespace qelwww::detail
