// The CGI program's reply on standard output: headers, a blank line, the body.
#include "qel_www.h"

#include <cerrno>

namespace {

int WriteAll(std::FILE* stream, std::string_view bytes) {
    if (!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), stream) != bytes.size())
        return errno != 0 ? errno : EIO;
    return 0;
}

}  // namespace

int QelWWWResponse::WriteReply() {
    if (output_ == nullptr) return EBADF;
    // A binary body goes out as it stands: joining it with the frame would copy it whole.
    const bool binary = text_.empty();
    std::string body = binary ? std::string() : GetBody();
    std::string length =
        std::to_string(binary ? prefix_.size() + binary_.size() + suffix_.size() : body.size());
    std::string head;
    // With the header table full the length still goes out, after the others.
    bool inTable = SetHeaderValue("Content-length", length) == 0;
    for (const Header& header : headers_) head += header.name + ": " + header.value + "\n";
    if (!inTable) head += "Content-length: " + length + "\n";
    head += "\n";
    errno = 0;
    int rc = WriteAll(output_, head);
    if (binary) {
        if (rc == 0) rc = WriteAll(output_, prefix_);
        if (rc == 0) rc = WriteAll(output_, binary_);
        if (rc == 0) rc = WriteAll(output_, suffix_);
    } else if (rc == 0) {
        rc = WriteAll(output_, body);
    }
    if (std::fflush(output_) != 0 && rc == 0) rc = errno != 0 ? errno : EIO;
    return rc;
}
