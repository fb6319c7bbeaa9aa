#include "gdi_test_util.h"

#include <cstdlib>
#include <filesystem>
#include <vector>

#include "arc_platform.h"

TempDir::TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "qelwin-test-XXXXXX").string();
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (mkdtemp(buffer.data()) != nullptr) path_ = buffer.data();
}

TempDir::~TempDir() {
    std::error_code ignored;
    if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
}

std::string RunAndRead(const std::vector<std::string>& argv, int* status) {
    ArcOSPipe pipe;
    *status = -1;
    if (ArcOS_PipeOpen(argv, "r", &pipe) != 0) return {};
    std::string output;
    char buffer[4096];
    size_t got;
    while ((got = fread(buffer, 1, sizeof buffer, pipe.stream)) > 0) output.append(buffer, got);
    *status = ArcOS_PipeClose(&pipe);
    return output;
}
