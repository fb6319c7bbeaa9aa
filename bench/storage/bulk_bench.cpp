// Bulk retrieval of 10,000 documents stored in 100 shared plain objects (two groups of 50
// objects), each object read once (CS_F1_EXTERNAL, or readOnce as server print asks) or
// each document alone, against `cat`
// reading the same 100 object files in the same run. The counter "ratio" is bulk seconds
// / cat seconds.
#include <benchmark/benchmark.h>

#include <nlohmann/json.hpp>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "arc_codepage.h"
#include "arc_platform.h"
#include "archive_build.h"
#include "description.h"
#include "qel_cs.h"
#include "qel_cswire.h"
#include "qel_sm_bulk.h"

namespace {

using Json = nlohmann::json;

constexpr int kDocuments = 10000;
constexpr int kObjectsPerGroup = 50;

std::string DocText(int n) {
    std::string text = "1STATEMENT " + std::to_string(n) + "\n";
    for (int line = 0; line < 12 + n % 9; ++line)
        text += " LINE " + std::to_string(line) + " OF DOCUMENT " + std::to_string(n) +
                " ........................\n";
    return text;
}

std::string ObjectName(int n) { return std::to_string(1 + (n / 2) % kObjectsPerGroup) + "FAA"; }

Json Description(const std::string& dataFile) {
    Json documents = Json::array();
    uint64_t offset = 0;
    for (int n = 0; n < kDocuments; ++n) {
        const uint64_t length = DocText(n).size();
        char key[8];
        std::snprintf(key, sizeof key, "D%05d", n);
        documents.push_back({{"group", n % 2 == 0 ? "LETTERS" : "NOTICES"},
                             {"object", ObjectName(n)},
                             {"file", dataFile},
                             {"offset", offset},
                             {"length", length},
                             {"values", {{"KEY", key}, {"DDATE", 19723 + n % 300}}}});
        offset += length;
    }
    Json objects = Json::array();
    for (int o = 1; o <= kObjectsPerGroup; ++o)
        objects.push_back({{"name", std::to_string(o) + "FAA"}, {"compression", "N"}});
    auto group = [&](int agid, const char* name, const char* sid) {
        return Json{{"agid", agid},
                    {"name", name},
                    {"storage_id", sid},
                    {"segment_rows", 100000},
                    {"fields",
                     {{{"name", "KEY"}, {"type", "S"}, {"length", 10}, {"mask", 32}},
                      {{"name", "DDATE"}, {"type", "I"}, {"mask", 4}}}},
                    {"applications", {{{"appid", agid + 100}, {"name", std::string(name) + "APP"}}}},
                    {"permissions", {{{"who", "STAFF"}, {"documents", 1}}}},
                    {"objects", objects}};
    };
    return Json{
        {"volume", "BENCHVOL"},
        {"system", {{"SYS_MASK", 2}, {"PASSWD_EXP", -1}}},
        {"groups", {{{"gid", 11}, {"name", "STAFF"}}}},
        {"users", {{{"name", "ALICE"}, {"uid", 1}, {"password", "Secret-1"}, {"groups", {"STAFF"}}}}},
        {"application_groups", {group(100, "LETTERS", "LTR"), group(101, "NOTICES", "NTC")}},
        {"folders",
         {{{"fid", 1},
           {"name", "Bulk"},
           {"application_groups", {"LETTERS", "NOTICES"}},
           {"fields", {{{"name", "KEY"}, {"type", "S"}}}},
           {"permissions", {{{"who", "STAFF"}, {"permissions", 1}}}}}}},
        {"documents", documents},
    };
}

struct Hit {
    CsXdrApplGroup* group;
    CsXdrHitRow* row;
};

struct Items {
    const std::vector<Hit>* hits;
    size_t next = 0;
    uint64_t bytes = 0;
    static int Next(void* context, CsXdrApplGroup** group, CsXdrHitRow** row, uint32_t* word) {
        auto* items = static_cast<Items*>(context);
        if (items->next == items->hits->size()) {
            *row = nullptr;
            return CS_OK;
        }
        *group = (*items->hits)[items->next].group;
        *row = (*items->hits)[items->next].row;
        *word = static_cast<uint32_t>(items->next++);
        return CS_OK;
    }
    static int Announce(void*, uint64_t, uint64_t, char, uint32_t) { return 0; }
    static int Sink(void* context, const unsigned char*, size_t length) {
        static_cast<Items*>(context)->bytes += length;
        return 1;
    }
};

struct Found {
    std::vector<Hit>* hits;
    CsXdrApplGroup* group;
    static int Keep(void* context, CsXdrHitRow* hit) {
        auto* found = static_cast<Found*>(context);
        found->hits->push_back({found->group, hit});
        return 0;
    }
};

class Archive {
public:
    std::string error;
    CsHandle handle{};
    std::vector<Hit> hits;
    std::vector<std::string> objectFiles;
    uint64_t total = 0;

    Archive() {
        char pattern[] = "/tmp/qel-bulk-bench-XXXXXX";
        if (mkdtemp(pattern) == nullptr) {
            error = "no scratch folder";
            return;
        }
        dir_ = pattern;
        ArcOS_PutEnv(("QEL_REGISTRY_DIR=" + dir_).c_str());
        std::string all;
        for (int n = 0; n < kDocuments; ++n) all += DocText(n);
        total = all.size();
        if (ArcOS_WriteFileAtomic((dir_ + "/docs.txt").c_str(), all) != 0) {
            error = "cannot write the documents";
            return;
        }
        arcbuild::Errors errors;
        arcbuild::Description d;
        if (!arcbuild::ParseDescription(Description("docs.txt").dump(), dir_ + "/", &d, &errors) ||
            !arcbuild::BuildArchive(d, dir_ + "/archive", &errors)) {
            error = "the archive was not built";
            return;
        }
        for (const char* sid : {"LTR", "NTC"})
            for (int o = 1; o <= kObjectsPerGroup; ++o)
                objectFiles.push_back(dir_ + "/archive/data/" + sid + "/DOC/" + std::to_string(o) + "FAA");
        if (ArcICONV_Startup(&pages_, QEL_STAGE_DIR "/locale") != 0) {
            error = "no code-page tables";
            return;
        }
        std::snprintf(handle.serverName, sizeof handle.serverName, "BENCH");
        handle.def.kind = CS_KIND_LOCAL;
        handle.def.profile = "[@SRV@_BENCH]\nDIRECTORY=" + dir_ + "/archive/\n";
        handle.iconv = pages_;
        handle.localCcsid = 1208;
        CsUserRecord record{};
        if (CsLogon(&handle, "ALICE", "Secret-1", &record) != CS_OK ||
            CsOpenFolderGroups(&handle, 1, nullptr, &folder_) != CS_OK) {
            error = "logon failed";
            return;
        }
        for (uint16_t g = 0; g < folder_->groupCount; ++g) {
            Found found{&hits, &folder_->groups[g]};
            handle.callbackContext = &found;
            if (CsSearchFolder(&handle, folder_, &folder_->groups[g], "", nullptr, nullptr, nullptr, 0, 'N',
                               -1, Found::Keep) != CS_OK) {
                error = "search failed";
                return;
            }
        }
        if (hits.size() != static_cast<size_t>(kDocuments)) error = "not every document was found";
    }
    ~Archive() {
        for (const Hit& hit : hits) CsFreePackedHit(hit.row, -1);
        if (folder_ != nullptr) CsFreeFolderList(folder_);
        CsFreeLogonRecord(&handle);
        handle.systemParms.reset();
        if (pages_ != nullptr) ArcICONV_Shutdown(pages_);
        if (!dir_.empty()) {
            std::error_code ignored;
            std::filesystem::remove_all(dir_, ignored);
        }
    }

private:
    std::string dir_;
    CsXdrFolder* folder_ = nullptr;
    ArcIconvContext* pages_ = nullptr;
};

// Seconds for `cat` to hand over every object file, read through a pipe; -1 on failure.
double CatSeconds(const std::vector<std::string>& files, uint64_t* bytes) {
    std::vector<std::string> argv = {"cat"};
    argv.insert(argv.end(), files.begin(), files.end());
    const auto start = std::chrono::steady_clock::now();
    ArcOSPipe pipe;
    if (ArcOS_PipeOpen(argv, "r", &pipe) != 0) return -1;
    std::vector<char> buffer(1 << 16);
    *bytes = 0;
    for (size_t n; (n = std::fread(buffer.data(), 1, buffer.size(), pipe.stream)) > 0;) *bytes += n;
    if (ArcOS_PipeClose(&pipe) != 0) return -1;
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// How the run reads: each object once because flag word 1 has CS_F1_EXTERNAL, each object
// once because the request asks for it (the server-print service's way), or each
// document alone.
enum class Reads { kExternal, kReadOnce, kAlone };

void Bulk(benchmark::State& state, Reads reads) {
    static Archive archive;
    if (!archive.error.empty()) {
        state.SkipWithError(archive.error.c_str());
        return;
    }
    if (reads == Reads::kExternal) {
        archive.handle.def.flags1 |= CS_F1_EXTERNAL;
    } else {
        archive.handle.def.flags1 &= ~CS_F1_EXTERNAL;
    }
    double bulk = 0, cat = 0;
    for (auto _ : state) {
        Items items{&archive.hits};
        SmBulkRequest request;
        request.readOnce = reads == Reads::kReadOnce;
        request.items = Items::Next;
        request.announce = Items::Announce;
        request.sink = Items::Sink;
        archive.handle.callbackContext = &items;
        const auto start = std::chrono::steady_clock::now();
        const int rc = SmBulkRetrieve(&archive.handle, request);
        bulk += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (rc != CS_OK || items.bytes != archive.total) {
            state.SkipWithError("the bulk run did not deliver every document");
            return;
        }
        uint64_t bytes = 0;
        const double seconds = CatSeconds(archive.objectFiles, &bytes);
        if (seconds < 0 || bytes != archive.total) {
            state.SkipWithError("cat failed");
            return;
        }
        cat += seconds;
    }
    state.counters["bulk_ms"] = 1000 * bulk / static_cast<double>(state.iterations());
    state.counters["cat_ms"] = 1000 * cat / static_cast<double>(state.iterations());
    state.counters["ratio"] = cat > 0 ? bulk / cat : 0;
}
void BulkTenThousandDocuments(benchmark::State& state) { Bulk(state, Reads::kExternal); }
void BulkTenThousandDocumentsReadOnce(benchmark::State& state) { Bulk(state, Reads::kReadOnce); }
void BulkTenThousandDocumentsOneByOne(benchmark::State& state) { Bulk(state, Reads::kAlone); }
BENCHMARK(BulkTenThousandDocumentsOneByOne)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BulkTenThousandDocuments)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BulkTenThousandDocumentsReadOnce)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
