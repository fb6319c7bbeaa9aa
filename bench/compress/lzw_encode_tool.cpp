// Command-line front end for lzw_vs_compress.py: writes test data to a file, or encodes
// a file with the own LZW stream encoder to standard output, the way `compress -c` does.
//   lzw_encode_tool make text|random <size> <path>
//   lzw_encode_tool encode <bits> <path>
#include "arc_compress.h"
#include "compress_test_support.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

int Make(const std::string& kind, size_t size, const char* path) {
    const compress_test::Bytes data =
        kind == "text" ? compress_test::WordText(size, 2024) : compress_test::RandomBytes(size, 2024);
    std::FILE* f = std::fopen(path, "wb");
    if (f == nullptr) return 1;
    const bool ok = std::fwrite(data.data(), 1, data.size(), f) == data.size();
    return std::fclose(f) == 0 && ok ? 0 : 1;
}

// Reads and writes in 64 KiB pieces, as the pipeline's LZW stage calls the codec.
int Encode(int bits, const char* path) {
    std::FILE* f = std::fopen(path, "rb");
    if (f == nullptr) return 1;
    ArcLZWEncoder* e = nullptr;
    if (ArcLZW_EncodeInit(&e, bits) != ARCLZW_OK) return 1;
    std::vector<unsigned char> in(65535), out(65535);
    int rc = 0;
    for (;;) {
        const size_t n = std::fread(in.data(), 1, in.size(), f);
        int status = ARCLZW_OUTPUT_FULL;
        while (status == ARCLZW_OUTPUT_FULL) {
            uint32_t produced = 0;
            rc = ArcLZW_Encode(e, n > 0 ? in.data() : nullptr, static_cast<uint32_t>(n), out.data(),
                               static_cast<uint32_t>(out.size()), &produced, &status);
            if (rc == ARCLZW_AFTER_END && status == ARCLZW_ENDED) break;
            if (rc != ARCLZW_OK || std::fwrite(out.data(), 1, produced, stdout) != produced) {
                rc = rc != 0 ? rc : 1;
                break;
            }
        }
        if (rc != ARCLZW_OK || n == 0) break;
    }
    if (rc == ARCLZW_AFTER_END) rc = 0;
    ArcLZW_EncodeFree(e);
    std::fclose(f);
    return std::fflush(stdout) == 0 && rc == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 5 && std::strcmp(argv[1], "make") == 0)
        return Make(argv[2], std::strtoull(argv[3], nullptr, 10), argv[4]);
    if (argc == 4 && std::strcmp(argv[1], "encode") == 0) return Encode(std::atoi(argv[2]), argv[3]);
    std::fprintf(stderr, "usage: %s make text|random <size> <path> | encode <bits> <path>\n", argv[0]);
    return 2;
}
