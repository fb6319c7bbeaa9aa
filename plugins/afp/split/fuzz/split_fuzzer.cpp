// Fuzz target over the container split and the line-data formatter. The first byte picks
// the path: even bytes split the rest as a downloaded reply (then ask for a segment), odd
// bytes convert the rest as a 37-byte line-data header and records. Checks: it ends, files
// appear only in the instance directory, the text stays in proportion to the input.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "afp_split.h"

namespace {

namespace fs = std::filesystem;

// Made and removed for every input, so that nothing stays behind when the run ends.
fs::path Root() { return fs::temp_directory_path() / ("afp_split_fuzz_" + std::to_string(getpid())); }

void SplitOnce(const uint8_t* data, size_t size) {
    const fs::path download = Root() / "downloads" / "reply.tmp";
    const fs::path instanceDir = Root() / "instance";
    fs::create_directories(Root() / "downloads");
    fs::create_directories(instanceDir);
    ::chmod(instanceDir.c_str(), 0700);
    if (std::FILE* file = std::fopen(download.c_str(), "wb")) {
        std::fwrite(data, 1, size, file);
        std::fclose(file);
    }
    afp::SplitInstance inst;
    inst.tempDir = instanceDir;
    inst.pieceLimit = 1 << 20;
    size_t calls = 0;
    afp::EngineSink sink;
    sink.addPageName = [&](const std::string&) { ++calls; };
    sink.addIndexEntry = [&](const std::string&, const std::string&, uint32_t, uint32_t) { ++calls; };
    sink.showMessage = [&](int, const std::string&) { ++calls; };
    sink.setLineDataParms = [&](uint32_t, int32_t, int32_t) { ++calls; };
    if (afp::Split(inst, download, sink) == 1) {
        // A second reply of the same instance, as a segment answer.
        inst.requestPending = true;
        afp::Split(inst, download, sink);
    }
    if (calls > size + 16) __builtin_trap();  // every name or entry takes input bytes
    afp::BrowserRequests browser;
    browser.getUrl = [](const std::string&) {};
    browser.postUrl = [](const std::string&, const std::string&) {};
    inst.requestPending = false;
    afp::RequestSegment(inst, size, browser);

    size_t outside = 0;
    for (const auto& entry : fs::directory_iterator(Root() / "downloads")) {
        if (entry.path() != download) ++outside;
    }
    if (outside != 0) __builtin_trap();
    for (const auto& entry : fs::directory_iterator(instanceDir)) {
        if (fs::file_size(entry.path()) > (1u << 20) + size) __builtin_trap();
    }
    fs::remove_all(Root());
}

void ConvertOnce(const uint8_t* data, size_t size) {
    if (size < afp::kLineDataHeaderSize) return;
    std::FILE* in = std::tmpfile();
    std::FILE* out = std::tmpfile();
    if (in == nullptr || out == nullptr) std::abort();
    const size_t records = size - afp::kLineDataHeaderSize;
    std::fwrite(data + afp::kLineDataHeaderSize, 1, records, in);
    std::rewind(in);
    uint32_t lines = 0;
    uint32_t width = 0;
    const std::span<const uint8_t, afp::kLineDataHeaderSize> header(data, afp::kLineDataHeaderSize);
    afp::LineData_ConvertToText(in, out, "", header, lines, width);
    const long written = std::ftell(out);
    if (written < 0 || static_cast<size_t>(written) > 8 * records + 64) __builtin_trap();
    if (width > records + 2) __builtin_trap();  // a cut double-byte character shows whole
    std::fclose(in);
    std::fclose(out);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    if (data[0] % 2 == 0)
        SplitOnce(data + 1, size - 1);
    else
        ConvertOnce(data + 1, size - 1);
    return 0;
}
