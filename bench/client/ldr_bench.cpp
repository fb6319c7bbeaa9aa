// Line-data formatting against glibc iconv on the same bytes, and the reader's peak memory.
//
// Writes a document of V records (CCSID 37, ANSI carriage control, 133-byte print lines,
// a new page every 60 lines) into a temporary file, then, each in a child process of its
// own so that getrusage gives that run's peak resident size:
//   - the reader: open (page index), every page loaded, every line taken, texts to UTF-8;
//   - `iconv -f IBM037 -t UTF-8` over the same file, output to /dev/null.
// Usage: client_ldr_bench [megabytes ...]   (default: 10 100)
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "arc_codepage.h"
#include "arc_ldr.h"

namespace {

using Clock = std::chrono::steady_clock;

std::string WriteDocument(size_t megabytes) {
    const std::string path = "/tmp/ldr_bench_" + std::to_string(::getpid()) + "_" + std::to_string(megabytes);
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) return {};
    std::mt19937 rng(37);
    // Printable code page 37 bytes: letters, digits, blanks, a few signs.
    const std::string alphabet =
        "\xC1\xC2\xC3\xC4\xC5\xC6\xC7\xC8\xC9\xD1\xD2\xD3\xD4\xD5\xD6\xD7\xD8\xD9"
        "\xE2\xE3\xE4\xE5\xE6\xE7\xE8\xE9\xF0\xF1\xF2\xF3\xF4\xF5\xF6\xF7\xF8\xF9"
        "\x40\x40\x40\x40\x40\x40\x4B\x6B\x61\x5B\x81\x85\x89\x96\xA4";
    const size_t target = megabytes * 1024 * 1024;
    size_t written = 0;
    std::string record;
    for (int line = 0; written < target; ++line) {
        const size_t length = 1 + rng() % 133;
        record.assign(1, line % 60 == 0 ? '\xF1' : (rng() % 8 == 0 ? '\xF0' : '\x40'));
        for (size_t i = 1; i < length; ++i) record += alphabet[rng() % alphabet.size()];
        const unsigned char prefix[2] = {static_cast<unsigned char>(length >> 8),
                                         static_cast<unsigned char>(length & 0xFF)};
        std::fwrite(prefix, 1, 2, f);
        std::fwrite(record.data(), 1, record.size(), f);
        written += 2 + record.size();
    }
    std::fclose(f);
    return path;
}

bool FileRead(void* user, char operation, int64_t count, int64_t* countOut, unsigned char* buffer) {
    auto* f = static_cast<std::FILE*>(user);
    switch (operation) {
        case ARC_LDR_READ:
            *countOut = static_cast<int64_t>(std::fread(buffer, 1, static_cast<size_t>(count), f));
            return true;
        case ARC_LDR_TELL: *countOut = ftello(f); return *countOut >= 0;
        case ARC_LDR_SEEK: return fseeko(f, count, SEEK_SET) == 0;
        default: return false;
    }
}

// The reader's run: every page and line. Exit status 0 when it read the whole document.
int FormatAll(const std::string& path) {
    ArcIconvContext* context = nullptr;
    if (ArcICONV_Startup(&context, QEL_STAGE_DIR "/locale") != ARC_ICONV_OK) return 2;
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (f == nullptr) return 3;
    ArcLdrCallbacks callbacks;
    callbacks.read = FileRead;
    callbacks.table = [](int32_t, std::string*, int32_t*) { return false; };
    callbacks.error = [](void*, int result) { std::fprintf(stderr, "conversion error %d\n", result); };
    ArcLdrReaderPtr reader;
    if (!ArcLDR_Create(&reader, callbacks, {}, 1208, true, context)) return 4;
    ArcLdrOptions o;
    o.recordFormat = 'V';
    o.carriageControl = 'A';
    o.dataCodePage = 37;
    o.linesPerPage = 60;
    o.user = f;
    ArcLdrDocument* document = ArcLDR_OpenDocument(reader.get(), o, 0);
    if (document == nullptr || !ArcLDR_GetInfo(document).converted) return 5;
    size_t bytes = 0;
    size_t lines = 0;
    const int32_t pages = ArcLDR_GetInfo(document).pageCount;
    for (int32_t p = 0; p < pages; ++p) {
        if (!ArcLDR_GotoPage(document, p)) return 6;
        for (int32_t i = 0;; ++i) {
            const auto line = ArcLDR_GetLine(document, i, 0, 0, false);
            if (!line) break;
            bytes += line->text.size();
            ++lines;
        }
    }
    std::fprintf(stderr, "  reader: %d pages, %zu lines, %zu bytes of UTF-8\n", pages, lines, bytes);
    reader.reset();
    std::fclose(f);
    ArcICONV_Shutdown(context);
    return 0;
}

struct Run {
    double seconds = 0;
    long maxRssKb = 0;
    int status = -1;
};

// Runs job in a child; its wall time and peak resident size.
template <typename Job>
Run InChild(Job job) {
    const auto start = Clock::now();
    const pid_t pid = ::fork();
    if (pid == 0) ::_exit(job());
    Run run;
    int status = 0;
    rusage usage{};
    if (pid > 0 && ::wait4(pid, &status, 0, &usage) == pid) {
        run.seconds = std::chrono::duration<double>(Clock::now() - start).count();
        run.maxRssKb = usage.ru_maxrss;
        run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    return run;
}

int Iconv(const std::string& path) {
    const int null = ::open("/dev/null", O_WRONLY);
    if (null < 0) return 7;
    ::dup2(null, 1);
    ::execlp("iconv", "iconv", "-f", "IBM037", "-t", "UTF-8", path.c_str(), static_cast<char*>(nullptr));
    return 8;
}

// --json MB ROUNDS: the reader and iconv in turn on one document, the order swapped every
// round, as one JSON line of seconds and peak resident sizes (bench/compare_all.py).
int Rounds(size_t mb, int rounds) {
    const std::string path = WriteDocument(mb);
    if (path.empty()) return 1;
    std::string ours, peer, oursKb, peerKb;
    for (int round = 0; round < rounds; ++round) {
        Run reader, iconv;
        if (round % 2 == 0) {
            reader = InChild([&] { return FormatAll(path); });
            iconv = InChild([&] { return Iconv(path); });
        } else {
            iconv = InChild([&] { return Iconv(path); });
            reader = InChild([&] { return FormatAll(path); });
        }
        if (reader.status != 0 || iconv.status != 0) {
            std::fprintf(stderr, "run failed: reader %d, iconv %d\n", reader.status, iconv.status);
            std::remove(path.c_str());
            return 1;
        }
        const char* comma = round == 0 ? "" : ", ";
        ours += comma + std::to_string(reader.seconds * 1000);
        peer += comma + std::to_string(iconv.seconds * 1000);
        oursKb += comma + std::to_string(reader.maxRssKb);
        peerKb += comma + std::to_string(iconv.maxRssKb);
    }
    std::remove(path.c_str());
    std::printf(
        "{\"megabytes\": %zu, \"ours_ms\": [%s], \"peer_ms\": [%s], \"ours_rss_kb\": [%s], "
        "\"peer_rss_kb\": [%s]}\n",
        mb, ours.c_str(), peer.c_str(), oursKb.c_str(), peerKb.c_str());
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 4 && std::string(argv[1]) == "--json") {
        return Rounds(std::strtoul(argv[2], nullptr, 10), std::max(1, std::atoi(argv[3])));
    }
    std::vector<size_t> sizes;
    for (int i = 1; i < argc; ++i) sizes.push_back(std::strtoul(argv[i], nullptr, 10));
    if (sizes.empty()) sizes = {10, 100};
    std::printf("| document | reader | reader peak RSS | iconv -f IBM037 -t UTF-8 | iconv peak RSS |\n");
    std::printf("|---|---|---|---|---|\n");
    for (size_t mb : sizes) {
        const std::string path = WriteDocument(mb);
        if (path.empty()) return 1;
        const Run reader = InChild([&] { return FormatAll(path); });
        const Run iconv = InChild([&] { return Iconv(path); });
        std::remove(path.c_str());
        if (reader.status != 0 || iconv.status != 0) {
            std::fprintf(stderr, "run failed: reader %d, iconv %d\n", reader.status, iconv.status);
            return 1;
        }
        std::printf("| %zu MB | %.2f s (%.0f MB/s) | %.1f MB | %.2f s (%.0f MB/s) | %.1f MB |\n", mb,
                    reader.seconds, static_cast<double>(mb) / reader.seconds, reader.maxRssKb / 1024.0,
                    iconv.seconds, static_cast<double>(mb) / iconv.seconds, iconv.maxRssKb / 1024.0);
    }
    return 0;
}
