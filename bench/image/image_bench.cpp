// Opening a 1,000-page TIFF (tags only) against `tiffinfo` on the same file, and a
// repaint from the cache and the first paint of a 2480 x 3508 G4 page against one
// libtiff decode of the page, in the same run.
#include <benchmark/benchmark.h>
#include <cairo.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <tiffio.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "zypm.h"

extern char** environ;

namespace {

constexpr uint32_t kA4Width = 2480, kA4Height = 3508;  // A4 at 300 dpi

// The scratch files written so far; main removes them at the end.
std::vector<std::string>& Written() {
    static std::vector<std::string> paths;
    return paths;
}

std::string Scratch(const char* name) {
    std::string path = "/tmp/zypm_bench_" + std::to_string(getpid()) + "_" + name;
    Written().push_back(path);
    return path;
}

// A text-like bilevel page: rows of word blocks, in G4 strips of 64 rows.
void WritePage(TIFF* tiff, uint32_t width, uint32_t height, uint32_t seed) {
    TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, width);
    TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, height);
    TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, 1);
    TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, 1);
    TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISWHITE);
    TIFFSetField(tiff, TIFFTAG_COMPRESSION, COMPRESSION_CCITTFAX4);
    TIFFSetField(tiff, TIFFTAG_ROWSPERSTRIP, 64);
    TIFFSetField(tiff, TIFFTAG_XRESOLUTION, 300.0f);
    TIFFSetField(tiff, TIFFTAG_YRESOLUTION, 300.0f);
    std::vector<uint8_t> row((width + 7) / 8);
    for (uint32_t y = 0; y < height; ++y) {
        std::fill(row.begin(), row.end(), 0);
        bool inText = y > 150 && y < height - 150 && (y % 50) < 30;
        for (uint32_t x = 150; inText && x + 150 < width; ++x) {
            seed = seed * 1103515245u + 12345u;
            bool word = ((x / 37 + y / 50 * 7) % 9) != 0 && ((seed >> 16) % 5) != 0;
            if (word) row[x / 8] |= static_cast<uint8_t>(0x80 >> (x % 8));
        }
        TIFFWriteScanline(tiff, row.data(), y, 0);
    }
    TIFFWriteDirectory(tiff);
}

const std::string& ThousandPages() {
    static const std::string path = [] {
        std::string p = Scratch("thousand.tif");
        TIFF* tiff = TIFFOpen(p.c_str(), "w");
        for (uint32_t page = 0; page < 1000; ++page) WritePage(tiff, 1728, 256, page);
        TIFFClose(tiff);
        return p;
    }();
    return path;
}

const std::string& A4Page() {
    static const std::string path = [] {
        std::string p = Scratch("a4.tif");
        TIFF* tiff = TIFFOpen(p.c_str(), "w");
        WritePage(tiff, kA4Width, kA4Height, 7);
        TIFFClose(tiff);
        return p;
    }();
    return path;
}

struct Session {
    ZypmEnv environment = nullptr;
    ZypmDoc document = nullptr;
    ZypmView view = nullptr;
    explicit Session(const std::string& path) {
        ZypmFile file = nullptr;
        if (ZypmInitialize() || ZypmEnvNew(&environment) || ZypmDocNew(environment, &document) ||
            ZypmFileNew(environment, &file) || ZypmFileSet(file, ZYPM_FILE_PATH, path.c_str()) ||
            ZypmAddFile(document, file, -1, 0, ZYPM_ADD_ALL_PAGES) || ZypmViewNew(environment, &view) ||
            ZypmViewSet(view, ZYPM_VIEW_DOCUMENT, document)) {
            std::fprintf(stderr, "open failed: %s\n", ZypmLastMessage());
            std::abort();
        }
    }
    ~Session() {
        ZypmViewFree(view);
        ZypmDocFree(document);
        ZypmEnvFree(environment);
        ZypmTerminate();
    }
};

void BM_OpenThousandPages(benchmark::State& state) {
    const std::string& path = ThousandPages();
    for (auto _ : state) {
        Session session(path);
        if (ZypmDocPageCount(session.document) != 1000) state.SkipWithError("page count");
    }
}
BENCHMARK(BM_OpenThousandPages)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_TiffinfoThousandPages(benchmark::State& state) {
    const std::string& path = ThousandPages();
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    std::vector<char*> argv{const_cast<char*>("tiffinfo"), const_cast<char*>(path.c_str()), nullptr};
    for (auto _ : state) {
        pid_t pid = 0;
        int status = 0;
        if (posix_spawnp(&pid, "tiffinfo", &actions, nullptr, argv.data(), environ) != 0 ||
            waitpid(pid, &status, 0) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
            state.SkipWithError("tiffinfo failed");
    }
    posix_spawn_file_actions_destroy(&actions);
}
BENCHMARK(BM_TiffinfoThousandPages)->Unit(benchmark::kMillisecond)->UseRealTime();

// The page fitted into a 1240-pixel-wide view (a reduction to one half), painted as the
// view window paints it; the first paint (decode and preparation) happens before timing.
void BM_RepaintCachedA4(benchmark::State& state) {
    Session session(A4Page());
    ZypmPage page = nullptr;
    ZypmViewPageLock(session.view, 0, &page);
    ZypmPageAttrSet(page, ZYPM_ATTR_IMAGE_WIDTH, 1240);
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, 1240, 1000);
    cairo_t* context = cairo_create(surface);
    ZypmRect rect{0, 0, 1240, 1000};
    if (ZypmRectPaint(page, context, &rect, ZYPM_PAINT_VIEW)) state.SkipWithError(ZypmLastMessage());
    for (auto _ : state) {
        ZypmPageAttrSet(page, ZYPM_ATTR_Y_OFFSET, static_cast<int32_t>(state.iterations() % 700));
        if (ZypmRectPaint(page, context, &rect, ZYPM_PAINT_VIEW)) state.SkipWithError(ZypmLastMessage());
    }
    cairo_destroy(context);
    cairo_surface_destroy(surface);
    ZypmViewPageUnlock(session.view, page, 0);
}
BENCHMARK(BM_RepaintCachedA4)->Unit(benchmark::kMillisecond)->UseRealTime();

// The first paint of the page: open, decode, prepare and paint into a 1240 x 1000 view,
// the page `imageWidth` pixels wide (1240: fitted, a reduction to one half; 2480: at
// full size; 1000: fitted into a narrower window, a reduction by 2.48).
void BM_FirstPaintA4(benchmark::State& state) {
    auto imageWidth = static_cast<int32_t>(state.range(0));
    for (auto _ : state) {
        Session session(A4Page());
        ZypmPage page = nullptr;
        ZypmViewPageLock(session.view, 0, &page);
        ZypmPageAttrSet(page, ZYPM_ATTR_IMAGE_WIDTH, imageWidth);
        cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, 1240, 1000);
        cairo_t* context = cairo_create(surface);
        ZypmRect rect{0, 0, 1240, 1000};
        if (ZypmRectPaint(page, context, &rect, ZYPM_PAINT_VIEW)) state.SkipWithError(ZypmLastMessage());
        cairo_destroy(context);
        cairo_surface_destroy(surface);
        ZypmViewPageUnlock(session.view, page, 0);
    }
}
BENCHMARK(BM_FirstPaintA4)->Arg(1240)->Arg(2480)->Arg(1000)->Unit(benchmark::kMillisecond)->UseRealTime();

// One libtiff decode of the page: every G4 strip into 1-bit rows.
void BM_LibtiffDecodeA4(benchmark::State& state) {
    const std::string& path = A4Page();
    for (auto _ : state) {
        TIFF* tiff = TIFFOpen(path.c_str(), "r");
        std::vector<uint8_t> strip(static_cast<size_t>(TIFFStripSize(tiff)));
        for (uint32_t index = 0; index < TIFFNumberOfStrips(tiff); ++index)
            if (TIFFReadEncodedStrip(tiff, index, strip.data(), -1) < 0) state.SkipWithError("decode");
        benchmark::DoNotOptimize(strip.data());
        TIFFClose(tiff);
    }
}
BENCHMARK(BM_LibtiffDecodeA4)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    for (const std::string& path : Written()) std::remove(path.c_str());
    return 0;
}
