// The segment index's document query beside SQLite with one index per column, on the
// same rows: 1e5 and 1e6 rows of TXT (20 characters, Zipf-distributed values), I1 and
// I2 (integers), AMT (a decimal) and DAY (a date, YYYYMMDD as an integer). Each
// comparison is a pair <what>/ours and <what>/peer for bench/compare_all.py:
//   index_<query>_first_<rows>   the query up to its first hit row
//   index_<query>_last_<rows>    the query and every hit row read
//   index_build                  1e5 rows loaded into an empty segment / inserted into
//                                an empty indexed table
// The rows are made once (fixed seed) into "index_bench_data/" beside the program and
// reused by later runs: compare_all.py starts the program once per benchmark.
#include <benchmark/benchmark.h>
#include <sqlite3.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "arc_platform.h"
#include "qel_cshandle.h"
#include "qel_local.h"

namespace {

namespace fs = std::filesystem;

constexpr int32_t kAgid = 105;
constexpr int64_t kLoadRows = 100000;  // rows of one load, and of the build benchmark
constexpr const char* kStamp = "index bench data 1";

// ---------------------------------------------------------------- rows

struct BenchRow {
    std::string txt;
    int32_t i1 = 0, i2 = 0;
    double amt = 0;
    int64_t day = 0;
};

int64_t DayNumber(int offset) {  // 2020-01-01 + offset days, as YYYYMMDD
    static const int lengths[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    int year = 2020, month = 0;
    for (;;) {
        const bool leap = year % 4 == 0;
        const int days = lengths[month] + (month == 1 && leap ? 1 : 0);
        if (offset < days) break;
        offset -= days;
        if (++month == 12) month = 0, ++year;
    }
    return int64_t(year) * 10000 + (month + 1) * 100 + offset + 1;
}

// Rows [first, first + count) of the data set of `rows` rows; the same rows every run.
std::vector<BenchRow> MakeRows(int64_t rows, int64_t first, int64_t count) {
    constexpr int kWords = 20000;
    static const std::vector<std::string> words = [] {
        std::mt19937 rng(77);
        std::uniform_int_distribution<int> letter('A', 'Z');
        std::vector<std::string> w(kWords);
        for (int i = 0; i < kWords; ++i) {
            for (int c = 0; c < 20; ++c) w[i] += char(letter(rng));
            if (i % 100 == 37) w[i].replace(0, 3, "ABC");   // 1% of the words start with ABC
            if (i % 100 == 71) w[i].replace(17, 3, "XYZ");  // 1% end with XYZ
        }
        return w;
    }();
    static const std::vector<double> cdf = [] {  // Zipf, exponent 1
        std::vector<double> c(kWords);
        double sum = 0;
        for (int i = 0; i < kWords; ++i) c[i] = sum += 1.0 / (i + 1);
        for (double& v : c) v /= sum;
        return c;
    }();
    std::mt19937_64 rng(uint64_t(rows) * 1000003 + uint64_t(first));
    std::uniform_real_distribution<double> unit(0, 1);
    std::vector<BenchRow> out(static_cast<size_t>(count));
    for (BenchRow& r : out) {
        const size_t w = size_t(std::lower_bound(cdf.begin(), cdf.end(), unit(rng)) - cdf.begin());
        r.txt = words[std::min(w, size_t(kWords - 1))];
        r.i1 = int32_t(rng() % uint64_t(rows / 100));  // about 100 rows a value
        r.i2 = int32_t(rng() % 10);
        r.amt = double(rng() % 1000000) / 100.0;  // 0.00 .. 9999.99
        r.day = DayNumber(int(rng() % 1461));     // 2020 .. 2023
    }
    return out;
}

// ---------------------------------------------------------------- the archive (ours)

void Append(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::app);
    out << text;
}

// The group BENCH (105) with its fields, in a copy of the sample archive.
void AddGroup(const std::string& archive) {
    std::string ag;
    {
        std::ifstream in(archive + "table/ag.tbl");
        std::stringstream s;
        s << in.rdbuf();
        ag = s.str();
    }
    const std::string list = "APPLICATION_GROUPS=100,101,102";
    ag.replace(ag.find(list), list.size(), list + ",105");
    ag += "\n[105]\nNAME=BENCH\nAGID_NAME=BENCHAG\nSM_CACHE_DOC=-1\nMGRT_CACHE_DATE=-1\nSID=1\nFLDS_NUM=5\n";
    std::ofstream(archive + "table/ag.tbl") << ag;
    Append(archive + "table/agfld.tbl",
           "\n[105|0]\nNAME=TXT\nTYPE=S\nSTRING_TYPE=F\nSTRING_LEN=20\n\n[105|1]\nNAME=I1\nTYPE=I\n"
           "\n[105|2]\nNAME=I2\nTYPE=I\n\n[105|3]\nNAME=AMT\nTYPE=D\n\n[105|4]\nNAME=DAY\nTYPE=B\n");
}

std::vector<QelLocalIdxRow> IndexRows(const std::vector<BenchRow>& rows) {
    std::vector<QelLocalIdxRow> out(rows.size());
    for (size_t i = 0; i < rows.size(); ++i) {
        QelLocalIdxRow& r = out[i];
        r.header.objName = "OBJ" + std::to_string(i % 1000);
        r.header.off = uint32_t(i);
        r.header.len = 4096;
        r.header.compType = 'Z';
        r.values.resize(5);
        r.values[0].text = rows[i].txt;
        r.values[1].integer = rows[i].i1;
        r.values[2].integer = rows[i].i2;
        r.values[3].dbl = rows[i].amt;
        r.values[4].integer = rows[i].day;
    }
    return out;
}

struct Ours {
    std::string archive;
    CsHandle handle{};
    QelLocalAppGroup group;
    bool open = false;

    explicit Ours(const std::string& directory) : archive(directory) {
        std::snprintf(handle.serverName, sizeof handle.serverName, "IDXBENCH");
        handle.def.kind = CS_KIND_LOCAL;
        handle.def.profile = "[@SRV@_IDXBENCH]\nDIRECTORY=" + archive + "\n";
        open = QelLocal_Open(&handle) == CS_OK;
        if (open && QelLocal_ReadAppGroup(&handle, kAgid, &group) != CS_OK) {
            QelLocal_Close(&handle);
            open = false;
        }
    }
    int Load(const char* name, const std::vector<QelLocalIdxRow>& rows) {
        QelLocalSegment segment;
        std::snprintf(segment.name, sizeof segment.name, "%s", name);
        int64_t added = 0;
        const int rc = QelLocal_AddIndexRows(&handle, group, segment, rows, &added);
        return rc == CS_OK && added == int64_t(rows.size()) ? CS_OK : CS_FAILED;
    }
    ~Ours() {
        if (open) QelLocal_Close(&handle);
    }
};

// The one archive open in the process: the local server serves one directory at a time.
// Closed by main before the process ends, while the keyed files' state still stands.
std::unique_ptr<Ours>& CurrentArchive() {
    static std::unique_ptr<Ours> current;
    return current;
}

Ours* OpenArchive(const std::string& directory) {
    std::unique_ptr<Ours>& current = CurrentArchive();
    if (!current || current->archive != directory) {
        current.reset();
        current = std::make_unique<Ours>(directory);
    }
    return current->open ? current.get() : nullptr;
}

// ---------------------------------------------------------------- SQLite (the peer)

struct Db {
    sqlite3* db = nullptr;
    explicit Db(const std::string& path) {
        if (sqlite3_open(path.c_str(), &db) != SQLITE_OK) std::abort();
        Exec("PRAGMA case_sensitive_like = ON");
    }
    ~Db() { sqlite3_close(db); }
    void Exec(const std::string& sql) {
        if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK) {
            std::fprintf(stderr, "sqlite: %s: %s\n", sql.c_str(), sqlite3_errmsg(db));
            std::abort();
        }
    }
    void CreateTable() {
        Exec("CREATE TABLE t (TXT TEXT, I1 INTEGER, I2 INTEGER, AMT REAL, DAY INTEGER)");
        for (const char* c : {"TXT", "I1", "I2", "AMT", "DAY"})
            Exec(std::string("CREATE INDEX t_") + c + " ON t (" + c + ")");
    }
    void Insert(const std::vector<BenchRow>& rows) {
        Exec("BEGIN");
        sqlite3_stmt* st = nullptr;
        sqlite3_prepare_v2(db, "INSERT INTO t VALUES (?, ?, ?, ?, ?)", -1, &st, nullptr);
        for (const BenchRow& r : rows) {
            sqlite3_bind_text(st, 1, r.txt.data(), int(r.txt.size()), SQLITE_STATIC);
            sqlite3_bind_int(st, 2, r.i1);
            sqlite3_bind_int(st, 3, r.i2);
            sqlite3_bind_double(st, 4, r.amt);
            sqlite3_bind_int64(st, 5, r.day);
            if (sqlite3_step(st) != SQLITE_DONE) std::abort();
            sqlite3_reset(st);
        }
        sqlite3_finalize(st);
        Exec("COMMIT");
    }
};

// ---------------------------------------------------------------- the data sets

std::string DataRoot() {
    char self[4096];
    const ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
    const fs::path dir =
        n > 0 ? fs::path(std::string(self, size_t(n))).parent_path() : fs::temp_directory_path();
    return (dir / "index_bench_data").string() + "/";
}

std::string ReadStamp(const std::string& path) {
    std::ifstream in(path);
    std::string line;
    std::getline(in, line);
    return line;
}

// The data set of `rows` rows: one segment ROWS loaded 1e5 rows a load, and the same rows
// in SQLite. Made when missing, then kept open for the run.
struct DataSet {
    std::string archive;
    std::unique_ptr<Db> peer;
    QelLocalAppGroup group;
};

std::map<int64_t, DataSet>& DataSets() {
    static std::map<int64_t, DataSet> sets;
    return sets;
}

void PointEnvironment() {
    fs::create_directories(DataRoot() + "registry");
    ArcOS_PutEnv(("QEL_REGISTRY_DIR=" + DataRoot() + "registry").c_str());
    ArcOS_PutEnv(("QEL_EVENTLOG_FILE=" + DataRoot() + "events.log").c_str());
}

DataSet* Data(int64_t rows) {
    auto found = DataSets().find(rows);
    if (found != DataSets().end()) return found->second.peer ? &found->second : nullptr;
    DataSet& set = DataSets()[rows];
    const std::string dir = DataRoot() + "rows_" + std::to_string(rows) + "/";
    const std::string stamp = std::string(kStamp) + " " + std::to_string(rows);
    PointEnvironment();
    set.archive = dir + "archive/";
    if (ReadStamp(dir + "stamp") != stamp) {
        std::error_code ec;
        fs::remove_all(dir, ec);
        fs::create_directories(dir);
        fs::copy(std::string(QEL_TESTDATA_DIR) + "/archive", set.archive, fs::copy_options::recursive);
        AddGroup(set.archive);
        Ours* ours = OpenArchive(set.archive);
        if (ours == nullptr) return nullptr;
        Db db(dir + "peer.db");
        db.CreateTable();
        for (int64_t first = 0; first < rows; first += kLoadRows) {
            const std::vector<BenchRow> part = MakeRows(rows, first, std::min(kLoadRows, rows - first));
            if (ours->Load("ROWS", IndexRows(part)) != CS_OK) return nullptr;
            db.Insert(part);
        }
        db.Exec("ANALYZE");
        std::ofstream(dir + "stamp") << stamp << "\n";
    }
    set.peer = std::make_unique<Db>(dir + "peer.db");
    return &set;
}

// ---------------------------------------------------------------- queries

struct Query {
    const char* name;
    std::string (*where)(int64_t rows);  // the WHERE body, "" for every row
};

const Query kQueries[] = {
    {"eq100", [](int64_t) { return std::string("I1 = 421"); }},
    {"eq10pct", [](int64_t) { return std::string("I2 = 3"); }},
    {"range1pct", [](int64_t) { return std::string("AMT BETWEEN 5000.00 AND 5099.99"); }},
    {"date_eq", [](int64_t) { return std::string("DAY BETWEEN 20230101 AND 20230131 AND I2 = 3"); }},
    {"like_prefix", [](int64_t) { return std::string("TXT LIKE 'ABC%'"); }},
    {"like_suffix", [](int64_t) { return std::string("TXT LIKE '%XYZ'"); }},
    {"not_in", [](int64_t) { return std::string("I2 NOT IN ( 1 , 2 , 3 )"); }},
    {"all", [](int64_t) { return std::string(); }},
    {"and5",
     [](int64_t rows) {
         return "TXT >= 'M' AND I1 < " + std::to_string(rows / 1000) +
                " AND I2 <> 5 AND AMT > 2500.00 AND DAY >= 20210101";
     }},
    {"or2", [](int64_t) { return std::string("I1 = 17 OR TXT LIKE 'ABC%'"); }},
};

void OursQuery(benchmark::State& state, int64_t rows, const Query& q, bool last) {
    DataSet* set = Data(rows);
    Ours* ours = set != nullptr ? OpenArchive(set->archive) : nullptr;
    if (ours == nullptr) {
        state.SkipWithError("the data set was not made");
        return;
    }
    const std::vector<QelLocalQueryGroup> query = {QelLocalQueryGroup{&ours->group, {"ROWS"}}};
    const std::string body = q.where(rows);
    const std::string where = body.empty() ? "" : "WHERE " + body;
    QelLocalQueryFolder folder;
    folder.owner = 1;
    int64_t hits = 0;
    for (auto _ : state) {
        QelLocalHit hit;
        hits = 0;
        int rc = QelLocal_QueryDocsFirst(&ours->handle, &folder, &query, where.c_str(), &hit);
        while (rc == CS_OK) {
            ++hits;
            benchmark::DoNotOptimize(hit.row.values.data());
            if (!last) break;
            rc = QelLocal_QueryDocsNext(&ours->handle, &hit);
        }
        if (rc != CS_OK && rc != CS_NOT_FOUND) {
            state.SkipWithError(("query failed: " + std::to_string(rc)).c_str());
            break;
        }
    }
    if (last) state.counters["matches"] = double(hits);
}

void PeerQuery(benchmark::State& state, int64_t rows, const Query& q, bool last) {
    DataSet* set = Data(rows);
    if (set == nullptr) {
        state.SkipWithError("the data set was not made");
        return;
    }
    const std::string body = q.where(rows);
    const std::string sql = "SELECT TXT, I1, I2, AMT, DAY FROM t" + (body.empty() ? "" : " WHERE " + body);
    int64_t hits = 0;
    for (auto _ : state) {
        sqlite3_stmt* st = nullptr;
        if (sqlite3_prepare_v2(set->peer->db, sql.c_str(), -1, &st, nullptr) != SQLITE_OK) {
            state.SkipWithError(sqlite3_errmsg(set->peer->db));
            break;
        }
        hits = 0;
        while (sqlite3_step(st) == SQLITE_ROW) {
            ++hits;
            benchmark::DoNotOptimize(sqlite3_column_text(st, 0));
            benchmark::DoNotOptimize(sqlite3_column_int(st, 1) + sqlite3_column_int(st, 2));
            benchmark::DoNotOptimize(sqlite3_column_double(st, 3));
            benchmark::DoNotOptimize(sqlite3_column_int64(st, 4));
            if (!last) break;
        }
        sqlite3_finalize(st);
    }
    if (last) state.counters["matches"] = double(hits);
}

// ---------------------------------------------------------------- building

std::string ScratchDir() {
    static const std::string dir = [] {
        std::string pattern = (fs::temp_directory_path() / "qel_index_bench_XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) std::abort();
        std::atexit([] {
            std::error_code ec;
            fs::remove_all(ScratchDir(), ec);
        });
        return pattern + "/";
    }();
    return dir;
}

void OursBuild(benchmark::State& state) {
    static const std::vector<QelLocalIdxRow> rows = IndexRows(MakeRows(kLoadRows, 0, kLoadRows));
    const std::string archive = ScratchDir() + "archive/";
    if (!fs::exists(archive)) {
        fs::copy(std::string(QEL_TESTDATA_DIR) + "/archive", archive, fs::copy_options::recursive);
        AddGroup(archive);
    }
    PointEnvironment();
    Ours* ours = OpenArchive(archive);
    if (ours == nullptr) {
        state.SkipWithError("the scratch archive does not open");
        return;
    }
    static int segment = 0;
    for (auto _ : state) {
        const std::string name = "B" + std::to_string(++segment);  // an empty segment each time
        if (ours->Load(name.c_str(), rows) != CS_OK) {
            state.SkipWithError("the load failed");
            break;
        }
    }
    state.SetItemsProcessed(state.iterations() * kLoadRows);
}

void PeerBuild(benchmark::State& state) {
    static const std::vector<BenchRow> rows = MakeRows(kLoadRows, 0, kLoadRows);
    static int table = 0;
    for (auto _ : state) {
        state.PauseTiming();
        const std::string path = ScratchDir() + "peer" + std::to_string(++table) + ".db";
        auto db = std::make_unique<Db>(path);
        db->CreateTable();
        state.ResumeTiming();
        db->Insert(rows);
        state.PauseTiming();
        db.reset();
        fs::remove(path);
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * kLoadRows);
}

void Register() {
    const auto add = [](const std::string& name, auto fn) {
        benchmark::RegisterBenchmark(name.c_str(), fn)->Unit(benchmark::kMillisecond)->UseRealTime();
    };
    add("index_build/ours", OursBuild);
    add("index_build/peer", PeerBuild);
    for (const int64_t rows : {int64_t(100000), int64_t(1000000)}) {
        const std::string size = rows == 100000 ? "1e5" : "1e6";
        for (const Query& q : kQueries) {
            for (const bool last : {false, true}) {
                const std::string name =
                    std::string("index_") + q.name + (last ? "_last_" : "_first_") + size;
                add(name + "/ours", [rows, &q, last](benchmark::State& s) { OursQuery(s, rows, q, last); });
                add(name + "/peer", [rows, &q, last](benchmark::State& s) { PeerQuery(s, rows, q, last); });
            }
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    Register();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    CurrentArchive().reset();
    DataSets().clear();
    return 0;
}
