#include "temp_dir.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <vector>

#include "arc_platform.h"

RunTempDir::~RunTempDir() { Remove(); }

bool RunTempDir::Create(std::string* error) {
    std::string base = ArcOS_GetEnv("TMPDIR").value_or("");
    if (base.empty() || base[0] != '/') base = "/tmp";
    std::string pattern = base + "/qelview-XXXXXX";
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (mkdtemp(buffer.data()) == nullptr) {  // mkdtemp creates it with mode 0700
        *error = "cannot create a temporary directory in " + base + ": " + std::strerror(errno);
        return false;
    }
    path_ = buffer.data();
    return true;
}

std::string RunTempDir::NewFile(std::string* error) {
    if (path_.empty()) {
        *error = "no temporary directory";
        return "";
    }
    std::string path = path_ + "/stream-" + std::to_string(++counter_);
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) {
        *error = "cannot create " + path + ": " + std::strerror(errno);
        return "";
    }
    close(fd);
    return path;
}

void RunTempDir::Remove() {
    if (path_.empty()) return;
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
    path_.clear();
}
