// server_print_files.cpp - the file operations of a print run: job files are created
// exclusively and afterwards only opened again, never through a link planted in their place.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>

#include "server_print_state.h"

namespace qelsm::detail {

namespace {

constexpr const char* kSource = "Qelcssm";

int WriteAll(int fd, const unsigned char* data, size_t length) {
    while (length > 0) {
        ssize_t n = ::write(fd, data, length);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return n < 0 ? errno : EIO;
        data += n;
        length -= size_t(n);
    }
    return 0;
}

int WriteAndClose(CsHandle* handle, const std::string& name, int fd, const unsigned char* data,
                  size_t length) {
    int rc = WriteAll(fd, data, length);
    if (rc != 0) SmPrintFileMessage(handle, kMsgPrintWrite, name, rc, __LINE__);
    if (::close(fd) != 0 && rc == 0) {
        rc = errno;
        SmPrintFileMessage(handle, kMsgPrintClose, name, rc, __LINE__);
    }
    return rc;
}

}  // namespace

void SmPrintFileMessage(CsHandle* handle, int row, const std::string& name, int error, int line) {
    CsIssueMessageV(handle, row, 'S', name.c_str(), 'I', int32_t(error), 'S', kSource, 'I', int32_t(line),
                    'V');
}

int SmPrintAppend(CsHandle* handle, const std::string& name, const unsigned char* data, size_t length) {
    int fd = ::open(name.c_str(), O_WRONLY | O_APPEND | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        int rc = errno;
        SmPrintFileMessage(handle, kMsgPrintOpen, name, rc, __LINE__);
        return rc;
    }
    return WriteAndClose(handle, name, fd, data, length);
}

int SmPrintWriteNew(CsHandle* handle, const std::string& name, std::string_view text) {
    int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) {
        int rc = errno;
        SmPrintFileMessage(handle, kMsgPrintOpen, name, rc, __LINE__);
        return rc;
    }
    return WriteAndClose(handle, name, fd, reinterpret_cast<const unsigned char*>(text.data()), text.size());
}

int SmPrintReadAll(CsHandle* handle, const std::string& name, std::string* out) {
    int fd = ::open(name.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        int rc = errno;
        SmPrintFileMessage(handle, kMsgPrintOpen, name, rc, __LINE__);
        return rc;
    }
    out->clear();
    char piece[4096];
    int rc = 0;
    for (;;) {
        ssize_t n = ::read(fd, piece, sizeof piece);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            rc = errno;
            SmPrintFileMessage(handle, kMsgPrintRead, name, rc, __LINE__);
            break;
        }
        if (n == 0) break;
        out->append(piece, size_t(n));
    }
    ::close(fd);
    return rc;
}

}  // namespace qelsm::detail
