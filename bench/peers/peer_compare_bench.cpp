// Ours beside a named peer on the same data, each comparison a pair <what>/ours and
// <what>/peer (bench/compare_all.py runs the two in turn and takes the median of the ratios):
//   utf8_to_37           ArcICONV 1208 -> 37          glibc iconv "UTF-8" -> "IBM037"
//   like_<name>          QelLikeMatch, 1e6 rows        sqlite3_strglob, same rows
//   like_hostile         %a%a%a%a%a%b on 'a' x 10,000  sqlite3_strglob *a*a*a*a*a*b
//   image_<kind>         zyplzw mode 2 encode          libtiff LZW encode, one strip in memory
//   stream_<kind>        our 'Z' pipeline encode       compress -b16 on a file, output drained
// A peer that cannot run (no compress program) is reported as an error, not as a time.
#include <benchmark/benchmark.h>
#include <iconv.h>
#include <sqlite3.h>
#include <tiffio.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "arc_codepage.h"
#include "arc_compress.h"
#include "arc_platform.h"
#include "compress_test_support.h"
#include "qel_local.h"
#include "tiff_memory.h"
#include "zyplzw.h"

namespace {

using compress_test::Bytes;

// --- UTF-8 to CCSID 37 --------------------------------------------------------------------

constexpr size_t kTextBytes = 16u << 20;

// Latin-1 prose in UTF-8: mostly ASCII, accented letters two bytes each.
const std::string& Utf8Text() {
    static const std::string text = [] {
        const std::string words[] = {"archive ",
                                     "Dokument ",
                                     "r\xC3\xA9sum\xC3\xA9 ",
                                     "Stra\xC3\x9F"
                                     "e ",
                                     "se\xC3\xB1or ",
                                     "12345 ",
                                     "folder, ",
                                     "\xC3\x85r ",
                                     "[index] ",
                                     "user@host\n"};
        std::string out;
        out.reserve(kTextBytes + 16);
        for (size_t i = 0; out.size() < kTextBytes; ++i) out += words[(i * 7 + i / 3) % 10];
        while (out.size() > kTextBytes || (static_cast<unsigned char>(out.back()) & 0xC0) == 0xC0)
            out.pop_back();
        return out;
    }();
    return text;
}

void Utf8To37Ours(benchmark::State& state) {
    const std::string& input = Utf8Text();
    ArcIconvContext* context = nullptr;
    if (ArcICONV_Startup(&context, QEL_STAGE_DIR "/locale") != 0) {
        state.SkipWithError("code-page start-up failed");
        return;
    }
    ArcIconvHandle* handle = nullptr;
    if (ArcICONV_Open(context, 1208, 37, &handle) != 0) {
        state.SkipWithError("open 1208 -> 37 failed");
        ArcICONV_Shutdown(context);
        return;
    }
    std::string out(input.size(), '\0');
    for (auto _ : state) {
        size_t length = out.size();
        if (ArcICONV_Convert(handle, input.data(), input.size(), out.data(), &length) != 0) {
            state.SkipWithError("conversion failed");
            break;
        }
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * input.size()));
    ArcICONV_Close(handle);
    ArcICONV_Shutdown(context);
}

void Utf8To37Peer(benchmark::State& state) {
    const std::string& input = Utf8Text();
    iconv_t cd = iconv_open("IBM037", "UTF-8");
    if (cd == reinterpret_cast<iconv_t>(-1)) {
        state.SkipWithError("iconv has no IBM037");
        return;
    }
    std::string out(input.size(), '\0');
    for (auto _ : state) {
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
        char* in = const_cast<char*>(input.data());
        size_t inLeft = input.size();
        char* o = out.data();
        size_t outLeft = out.size();
        if (iconv(cd, &in, &inLeft, &o, &outLeft) == static_cast<size_t>(-1)) {
            state.SkipWithError("iconv failed");
            break;
        }
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * input.size()));
    iconv_close(cd);
}

// --- LIKE against sqlite3_strglob ---------------------------------------------------------

constexpr int kRows = 1000000;

// Words of lower-case letters, 1 to 5 of them, like names and descriptions in a table.
const std::vector<std::string>& Rows() {
    static const std::vector<std::string> rows = [] {
        std::mt19937 rng(2024);
        std::vector<std::string> out;
        out.reserve(kRows);
        for (int i = 0; i < kRows; ++i) {
            std::string row;
            const int words = std::uniform_int_distribution<int>(1, 5)(rng);
            for (int w = 0; w < words; ++w) {
                if (w) row += ' ';
                const int length = std::uniform_int_distribution<int>(2, 9)(rng);
                for (int c = 0; c < length; ++c)
                    row += static_cast<char>('a' + std::uniform_int_distribution<int>(0, 25)(rng));
            }
            out.push_back(std::move(row));
        }
        return out;
    }();
    return rows;
}

struct LikeCase {
    const char* name;
    const char* like;  // our pattern
    const char* glob;  // the same search for sqlite3_strglob ("?" is exactly one character there)
};

constexpr LikeCase kLikeCases[] = {
    {"like_prefix", "ab%", "ab*"},
    {"like_suffix", "%yz", "*yz"},
    {"like_contains", "%abc%", "*abc*"},
    {"like_pair", "%ka%", "*ka*"},
    {"like_vowels", "%a%e%i%", "*a*e*i*"},
    {"like_spread", "a%b%c%", "a*b*c*"},
    {"like_single", "%a_c%", "*a?c*"},
    {"like_exact", "hello world", "hello world"},
    {"like_any", "%", "*"},
};

void LikeOurs(benchmark::State& state, const char* pattern) {
    const auto& rows = Rows();
    size_t matches = 0;
    for (auto _ : state) {
        matches = 0;
        for (const std::string& row : rows) matches += QelLikeMatch(pattern, row.c_str());
        benchmark::DoNotOptimize(matches);
    }
    state.counters["matches"] = static_cast<double>(matches);
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(rows.size()));
}

void LikePeer(benchmark::State& state, const char* glob) {
    const auto& rows = Rows();
    size_t matches = 0;
    for (auto _ : state) {
        matches = 0;
        for (const std::string& row : rows) matches += sqlite3_strglob(glob, row.c_str()) == 0;
        benchmark::DoNotOptimize(matches);
    }
    state.counters["matches"] = static_cast<double>(matches);
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(rows.size()));
}

const std::string& HostileText() {
    static const std::string text(10000, 'a');
    return text;
}

void LikeHostileOurs(benchmark::State& state) {
    for (auto _ : state) benchmark::DoNotOptimize(QelLikeMatch("%a%a%a%a%a%b", HostileText()));
}

void LikeHostilePeer(benchmark::State& state) {
    for (auto _ : state) benchmark::DoNotOptimize(sqlite3_strglob("*a*a*a*a*a*b", HostileText().c_str()));
}

// --- image LZW against libtiff ------------------------------------------------------------

struct Image {
    uint32_t width = 0;  // pixels
    uint32_t height = 0;
    int bits = 8;
    Bytes data;  // rows of packed samples
};

uint32_t Next(uint32_t& seed) {
    seed = seed * 1103515245u + 12345u;
    return seed >> 16;
}

// An A4 page at 300 dpi, 1 bit: white with lines of "letters" (short black runs).
Image BilevelPage() {
    Image page{2480, 3508, 1, {}};
    const uint32_t rowBytes = page.width / 8;
    page.data.assign(size_t{rowBytes} * page.height, 0x00);  // 0 is white (min-is-white)
    uint32_t seed = 7;
    for (uint32_t y = 300; y + 300 < page.height; y += 50) {
        if (Next(seed) % 9 == 0) continue;  // paragraph gap
        const uint32_t right = rowBytes - 25 - Next(seed) % 60;
        for (uint32_t dy = 0; dy < 30; ++dy) {
            unsigned char* row = page.data.data() + size_t{y + dy} * rowBytes;
            for (uint32_t x = 25; x < right; ++x) {
                if (Next(seed) % 3 == 0) row[x] = static_cast<unsigned char>(Next(seed));
            }
        }
    }
    return page;
}

// The same kind of page scanned at 8 bits: near-white paper noise, dark strokes.
Image GrayPage() {
    Image page{2480, 3508, 8, {}};
    page.data.resize(size_t{page.width} * page.height);
    uint32_t seed = 11;
    for (uint32_t y = 0; y < page.height; ++y) {
        const bool textLine = y >= 300 && y + 300 < page.height && (y - 300) % 50 < 30;
        for (uint32_t x = 0; x < page.width; ++x) {
            const uint32_t r = Next(seed);
            unsigned char v = (r & 7) == 0 ? static_cast<unsigned char>(0xFC + (r >> 3) % 4) : 0xFF;
            if (textLine && x >= 200 && x + 200 < page.width && (r >> 5) % 5 == 0) {
                v = static_cast<unsigned char>(0x10 + (r >> 8) % 0x40);
            }
            page.data[size_t{y} * page.width + x] = v;
        }
    }
    return page;
}

// Smooth rows with noise and flat areas, like a photo (as bench/lzw).
Image PhotoImage() {
    Image photo{4096, 2048, 8, {}};
    photo.data.resize(size_t{photo.width} * photo.height);
    uint32_t seed = 12345, value = 128;
    for (size_t i = 0; i < photo.data.size(); ++i) {
        const uint32_t r = Next(seed);
        if ((i / 3000) % 4 == 3) {
            photo.data[i] = 0xF0;
            continue;
        }
        value = (value + (r & 3) - 1 + ((r >> 4) % 11 == 0 ? (r >> 8) % 7 : 0)) & 0xFF;
        photo.data[i] = static_cast<unsigned char>(value);
    }
    return photo;
}

size_t OurImageEncode(const Image& image, Bytes& out) {
    ZypLzwState st;
    ZypLzwEncodeInit(&st, ZYPLZW_MODE_TIFF);
    ZypLzwEncodeInitOutputData(&st, static_cast<uint32_t>(out.size()), out.data());
    ZypLzwEncodeInitInputData(&st, static_cast<uint32_t>(image.data.size()), image.data.data());
    ZypLzwEncode(&st);
    ZypLzwEncodeDone(&st);
    return static_cast<size_t>(st.outPos - out.data());
}

size_t TiffImageEncode(const Image& image) {
    qelbench::TiffMemFile f;
    return qelbench::TiffEncodeLzw(f, image.data, image.width, image.height, image.bits) ? f.data.size() : 0;
}

void ImageOurs(benchmark::State& state, Image (*make)()) {
    const Image image = make();
    Bytes out(image.data.size() + image.data.size() / 2 + 64);
    size_t compressed = 0;
    for (auto _ : state) {
        compressed = OurImageEncode(image, out);
        benchmark::DoNotOptimize(compressed);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * image.data.size()));
    state.counters["compressed"] = static_cast<double>(compressed) / static_cast<double>(image.data.size());
}

void ImagePeer(benchmark::State& state, Image (*make)()) {
    const Image image = make();
    size_t compressed = 0;
    for (auto _ : state) {
        compressed = TiffImageEncode(image);
        if (compressed == 0) {
            state.SkipWithError("libtiff failed");
            break;
        }
        benchmark::DoNotOptimize(compressed);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * image.data.size()));
    state.counters["compressed"] = static_cast<double>(compressed) / static_cast<double>(image.data.size());
}

// --- LZW stream against compress -b16 ------------------------------------------------------

constexpr size_t kStreamBytes = 16u << 20;

Bytes StreamData(bool text) {
    return text ? compress_test::WordText(kStreamBytes, 2024)
                : compress_test::RandomBytes(kStreamBytes, 2024);
}

// Ours in process: input in pieces of 64 KiB, output drained from one 64 KiB buffer as the
// peer's is drained from its pipe.
void StreamOurs(benchmark::State& state, bool text) {
    const Bytes data = StreamData(text);
    static unsigned char buffer[1 << 16];
    size_t compressed = 0;
    for (auto _ : state) {
        ArcCmpPipeline* pipeline = nullptr;
        if (ArcCMP_Begin('N', 'Z', 0, 0, nullptr, &pipeline) != 0) {
            state.SkipWithError("no pipeline");
            break;
        }
        compressed = 0;
        size_t pos = 0;
        size_t chunk = std::min(data.size(), sizeof buffer);
        for (;;) {
            size_t produced = 0;
            const int rc = ArcCMP_Run(pipeline, chunk > 0 ? data.data() + pos : nullptr, chunk, buffer,
                                      sizeof buffer, &produced);
            compressed += produced;
            if (rc == ARCCMP_FINISHED) break;
            if (rc == ARCCMP_NEED_INPUT) {
                pos += chunk;
                chunk = std::min(data.size() - pos, sizeof buffer);
            } else if (rc != ARCCMP_OUTPUT_READY) {
                state.SkipWithError("pipeline failed");
                break;
            }
        }
        ArcCMP_End(pipeline);
        benchmark::DoNotOptimize(buffer);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * data.size()));
    state.counters["compressed"] = static_cast<double>(compressed) / static_cast<double>(data.size());
}

// compress reads a scratch file (in the page cache after the first round) and writes to a
// pipe we drain: the whole tool, as a user runs it.
void StreamPeer(benchmark::State& state, bool text) {
    if (compress_test::ToolMissing("compress", "-V")) {
        state.SkipWithError("no compress program");
        return;
    }
    const Bytes data = StreamData(text);
    const std::string dir = std::string(QEL_STAGE_DIR) + "/tests/peer-compare-scratch";
    ArcOS_MakeDirectory(dir.c_str());
    const std::string path = dir + (text ? "/text" : "/random");
    ArcOS_WriteFileAtomic(path.c_str(),
                          std::string_view(reinterpret_cast<const char*>(data.data()), data.size()));
    static unsigned char buffer[1 << 16];
    size_t compressed = 0;
    for (auto _ : state) {
        ArcOSPipe pipe;
        if (ArcOS_PipeOpen({"compress", "-b", "16", "-c", path}, "r", &pipe) != 0) {
            state.SkipWithError("compress did not start");
            break;
        }
        compressed = 0;
        size_t n = 0;
        while ((n = std::fread(buffer, 1, sizeof buffer, pipe.stream)) > 0) compressed += n;
        // compress exits 2 when the output is larger than the input; the output is complete.
        const int status = ArcOS_PipeClose(&pipe);
        if ((status != 0 && status != 2) || compressed == 0) {
            state.SkipWithError("compress failed");
            break;
        }
    }
    std::remove(path.c_str());
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * data.size()));
    state.counters["compressed"] = static_cast<double>(compressed) / static_cast<double>(data.size());
}

void Register() {
    const auto add = [](const std::string& name, auto fn) {
        benchmark::RegisterBenchmark(name.c_str(), fn)->Unit(benchmark::kMillisecond)->UseRealTime();
    };
    add("utf8_to_37/ours", Utf8To37Ours);
    add("utf8_to_37/peer", Utf8To37Peer);
    for (const LikeCase& c : kLikeCases) {
        add(std::string(c.name) + "/ours", [&c](benchmark::State& s) { LikeOurs(s, c.like); });
        add(std::string(c.name) + "/peer", [&c](benchmark::State& s) { LikePeer(s, c.glob); });
    }
    add("like_hostile/ours", LikeHostileOurs);
    add("like_hostile/peer", LikeHostilePeer);
    const std::pair<const char*, Image (*)()> images[] = {
        {"image_bilevel_page", BilevelPage}, {"image_gray_page", GrayPage}, {"image_photo", PhotoImage}};
    for (const auto& [name, make] : images) {
        add(std::string(name) + "/ours", [make = make](benchmark::State& s) { ImageOurs(s, make); });
        add(std::string(name) + "/peer", [make = make](benchmark::State& s) { ImagePeer(s, make); });
    }
    for (const bool text : {false, true}) {
        const std::string name = text ? "stream_text" : "stream_random";
        add(name + "/ours", [text](benchmark::State& s) { StreamOurs(s, text); });
        add(name + "/peer", [text](benchmark::State& s) { StreamPeer(s, text); });
    }
}

}  // namespace

int main(int argc, char** argv) {
    Register();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
