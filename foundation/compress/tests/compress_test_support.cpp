#include "compress_test_support.h"

#include "arc_platform.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <stdexcept>

namespace compress_test {

Bytes RandomBytes(size_t size, uint32_t seed) {
    std::mt19937 rng(seed);
    Bytes out(size);
    for (auto& b : out) b = static_cast<unsigned char>(rng());
    return out;
}

Bytes WordText(size_t size, uint32_t seed) {
    static const char* const kWords[] = {
        "archive", "document", "folder",   "segment", "page",    "report", "index", "server",  "the",
        "of",      "and",      "a",        "to",      "in",      "is",     "for",   "print",   "stream",
        "line",    "data",     "customer", "account", "balance", "date",   "2024",  "invoice", "total"};
    std::mt19937 rng(seed);
    Bytes out;
    out.reserve(size + 16);
    int column = 0;
    while (out.size() < size) {
        const char* w = kWords[rng() % std::size(kWords)];
        for (const char* p = w; *p != 0; ++p) out.push_back(static_cast<unsigned char>(*p));
        column += static_cast<int>(std::char_traits<char>::length(w)) + 1;
        if (column > 70 || rng() % 17 == 0) {
            out.push_back('\n');
            column = 0;
        } else {
            out.push_back(' ');
        }
        if (rng() % 23 == 0) {
            const std::string n = std::to_string(rng() % 100000);
            out.insert(out.end(), n.begin(), n.end());
            out.push_back(' ');
        }
    }
    out.resize(size);
    return out;
}

Bytes ToBytes(const std::string& text) { return Bytes(text.begin(), text.end()); }

Splitter Splitter::Fixed(size_t inSize, size_t outSize) {
    Splitter s;
    s.in_ = inSize;
    s.out_ = outSize;
    return s;
}

Splitter Splitter::Random(uint32_t seed, size_t maxIn, size_t maxOut, size_t minOut) {
    Splitter s;
    s.random_ = true;
    s.in_ = maxIn;
    s.out_ = maxOut;
    s.minOut_ = minOut;
    s.rng_.seed(seed);
    return s;
}

size_t Splitter::Pick(size_t minSize, size_t maxSize) {
    std::uniform_real_distribution<double> d(std::log(double(minSize)), std::log(double(maxSize) + 1));
    return std::clamp<size_t>(static_cast<size_t>(std::exp(d(rng_))), minSize, maxSize);
}

size_t Splitter::NextIn() { return random_ ? Pick(1, in_) : in_; }
size_t Splitter::NextOut() { return random_ ? Pick(minOut_, out_) : out_; }

PipeResult Pipe(ArcCmpType from, ArcCmpType to, std::span<const unsigned char> data, Splitter splitter,
                uint64_t windowStart, uint64_t windowLength) {
    PipeResult result;
    ArcCmpPipeline* p = nullptr;
    result.state = ArcCMP_Begin(from, to, windowStart, windowLength, nullptr, &p);
    if (result.state != 0) return result;
    size_t pos = 0;
    size_t chunk = std::min(splitter.NextIn(), data.size());
    Bytes out(splitter.NextOut());
    // Generous bound: every call makes progress on input or output.
    for (size_t calls = 0; calls < 4 * (data.size() + 1000) + 100000000; ++calls) {
        size_t produced = 0;
        const unsigned char* in = chunk > 0 ? data.data() + pos : nullptr;
        const int rc = ArcCMP_Run(p, in, chunk, out.data(), out.size(), &produced);
        if (rc == ARCCMP_OUTPUT_READY || rc == ARCCMP_FINISHED) {
            if (produced > out.size()) break;
            result.data.insert(result.data.end(), out.begin(), out.begin() + produced);
            if (rc == ARCCMP_FINISHED) {
                result.state = ArcCMP_End(p) == 0 ? ARCCMP_FINISHED : ARCCMP_CODEC_FAILED;
                return result;
            }
            out.assign(splitter.NextOut(), 0);
        } else if (rc == ARCCMP_NEED_INPUT) {
            if (chunk == 0) break;  // asked for input after the end
            pos += chunk;
            chunk = std::min(splitter.NextIn(), data.size() - pos);
        } else {
            result.state = rc;
            ArcCMP_End(p);
            return result;
        }
    }
    ArcCMP_End(p);
    result.state = -1;
    return result;
}

namespace {

template <typename Codec, typename Step>
int LzwRun(Codec* codec, Step step, std::span<const unsigned char> data, Splitter& splitter, Bytes* out) {
    size_t pos = 0;
    auto chunk = static_cast<uint32_t>(std::min(splitter.NextIn(), data.size()));
    for (;;) {
        Bytes buffer(splitter.NextOut());
        uint32_t produced = 0;
        int status = 0;
        const unsigned char* in = chunk > 0 ? data.data() + pos : nullptr;
        const int rc =
            step(codec, in, chunk, buffer.data(), static_cast<uint32_t>(buffer.size()), &produced, &status);
        if (rc == ARCLZW_AFTER_END && status == ARCLZW_ENDED) return 0;
        if (rc != 0) return rc;
        out->insert(out->end(), buffer.begin(), buffer.begin() + produced);
        if (status == ARCLZW_INPUT_USED) {
            if (chunk == 0) return -1;
            pos += chunk;
            chunk = static_cast<uint32_t>(std::min(splitter.NextIn(), data.size() - pos));
        } else if (status != ARCLZW_OUTPUT_FULL) {
            return -1;
        }
    }
}

}  // namespace

int LzwEncode(int bits, std::span<const unsigned char> data, Splitter splitter, Bytes* out) {
    ArcLZWEncoder* e = nullptr;
    if (ArcLZW_EncodeInit(&e, bits) != 0) return ARCLZW_NO_MEMORY;
    const int rc = LzwRun(e, ArcLZW_Encode, data, splitter, out);
    ArcLZW_EncodeFree(e);
    return rc;
}

int LzwDecode(int bits, std::span<const unsigned char> stream, Splitter splitter, Bytes* out) {
    ArcLZWDecoder* d = nullptr;
    if (ArcLZW_DecodeInit(&d, bits) != 0) return ARCLZW_NO_MEMORY;
    const int rc = LzwRun(d, ArcLZW_Decode, stream, splitter, out);
    ArcLZW_DecodeFree(d);
    return rc;
}

bool ToolMissing(const std::string& program, const std::string& versionFlag) {
    int exitStatus = -1;
    const Bytes banner = RunTool({program, versionFlag}, {}, &exitStatus);
    return exitStatus != 0 || banner.empty();
}

Bytes RunTool(std::vector<std::string> argv, std::span<const unsigned char> input, int* exitStatus) {
    static int serial = 0;
    const std::string dir = std::string(QEL_STAGE_DIR) + "/tests/compress-scratch";
    ArcOS_MakeDirectory(dir.c_str());
    const std::string path =
        dir + "/in-" + std::to_string(ArcOS_GetProcessId()) + "-" + std::to_string(++serial);
    if (ArcOS_WriteFileAtomic(
            path.c_str(), std::string_view(reinterpret_cast<const char*>(input.data()), input.size())) != 0)
        throw std::runtime_error("cannot write " + path);
    for (auto& a : argv)
        if (a == "{}") a = path;
    ArcOSPipe pipe;
    Bytes out;
    if (ArcOS_PipeOpen(argv, "r", &pipe) != 0) {
        ArcOS_Unlink(path.c_str());
        *exitStatus = -1;
        return out;
    }
    unsigned char buffer[65536];
    size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe.stream)) > 0)
        out.insert(out.end(), buffer, buffer + n);
    *exitStatus = ArcOS_PipeClose(&pipe);
    ArcOS_Unlink(path.c_str());
    return out;
}

Bytes WithMagic(Bytes stream, unsigned char m0, unsigned char m1) {
    if (stream.size() >= 2) {
        stream[0] = m0;
        stream[1] = m1;
    }
    return stream;
}

}  // namespace compress_test
