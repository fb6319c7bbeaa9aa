// Test data, a pipeline driver over random buffer splits, and outside-tool runners.
#pragma once

#include "arc_compress.h"

#include <cstdint>
#include <random>
#include <span>
#include <string>
#include <vector>

namespace compress_test {

using Bytes = std::vector<unsigned char>;

// Deterministic data: random bytes, and word text that LZW and zlib compress well.
Bytes RandomBytes(size_t size, uint32_t seed);
Bytes WordText(size_t size, uint32_t seed);
Bytes ToBytes(const std::string& text);

// Buffer sizes for one run: fixed, or random between 1 and max (log-uniform, so tiny
// and large buffers both occur).
class Splitter {
public:
    static Splitter Fixed(size_t inSize, size_t outSize);
    static Splitter Random(uint32_t seed, size_t maxIn, size_t maxOut, size_t minOut = 1);
    size_t NextIn();
    size_t NextOut();

private:
    size_t Pick(size_t minSize, size_t maxSize);
    bool random_ = false;
    size_t in_ = 0, out_ = 0, minOut_ = 1;
    std::mt19937 rng_;
};

struct PipeResult {
    int state = 0;  // 3 on success, else the failing state (or -1: the driver gave up)
    Bytes data;
};

// Runs data through a pipeline from `from` to `to`, splitting input and output as the
// splitter says, following the calling rules of ArcCMP_Run.
PipeResult Pipe(ArcCmpType from, ArcCmpType to, std::span<const unsigned char> data, Splitter splitter,
                uint64_t windowStart = 0, uint64_t windowLength = 0);

// Runs the LZW codec directly over split buffers. Result 0 or the codec's error.
int LzwEncode(int bits, std::span<const unsigned char> data, Splitter splitter, Bytes* out);
int LzwDecode(int bits, std::span<const unsigned char> stream, Splitter splitter, Bytes* out);

// Outside programs. ToolMissing is true when argv0 cannot be started at all.
bool ToolMissing(const std::string& program, const std::string& versionFlag);
// Writes `input` to a scratch file, runs argv with "{}" replaced by its path and
// returns the program's standard output. exitStatus gets the exit status.
Bytes RunTool(std::vector<std::string> argv, std::span<const unsigned char> input, int* exitStatus);

// Our stream with the compress magic (1F 9D), and the reverse.
Bytes WithMagic(Bytes stream, unsigned char m0, unsigned char m1);

}  // namespace compress_test
