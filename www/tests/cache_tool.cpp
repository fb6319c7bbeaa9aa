// www_cache_tool: drives the cache functions from outside, for the process-level tests
// (lock file, purge, concurrency). Usage:
//   www_cache_tool <ini-dir> write <name> <bytes>      write <bytes> bytes to CacheDir/<name>
//   www_cache_tool <ini-dir> read <name> [touch]       print "size=<n> modified=<t>"
//   www_cache_tool <ini-dir> remove <name>
//   www_cache_tool <ini-dir> stress <server> <port> <threads> <rounds> <bytes>
// Exit code 0 success, 1 the operation failed, 2 stress found a lost or damaged state file,
// 3 usage or configuration error.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "arc_platform.h"
#include "qel_www.h"

namespace {

QelWWWConfig g_config;

std::string Pattern(size_t size, char seed) {
    std::string data(size, '\0');
    for (size_t i = 0; i < size; ++i) data[i] = static_cast<char>(seed + static_cast<char>(i % 61));
    return data;
}

int Write(const std::string& name, size_t size) {
    QelWWWSession session;
    std::string path = g_config.cacheDir + "/" + name;
    std::string data = Pattern(size, 'a');
    if (!QelWWW_WriteCacheFile(&g_config, &session, path.c_str(), data.data(), data.size())) {
        std::printf("write failed, errno %d\n", errno);
        return 1;
    }
    std::printf("written\n");
    return 0;
}

int Read(const std::string& name, bool touch) {
    QelWWWSession session;
    std::string path = g_config.cacheDir + "/" + name;
    int64_t modified = 0;
    uint64_t size = 0;
    auto content = QelWWW_ReadCacheFile(&g_config, &session, path.c_str(), &modified, &size, touch);
    if (!content) {
        std::printf("read failed, errno %d\n", errno);
        return 1;
    }
    std::printf("size=%llu modified=%lld\n", static_cast<unsigned long long>(size),
                static_cast<long long>(modified));
    return 0;
}

int Remove(const std::string& name) {
    QelWWWSession session;
    std::string path = g_config.cacheDir + "/" + name;
    return QelWWW_RemoveCacheFile(&g_config, &session, path.c_str()) ? 0 : 1;
}

// Each thread keeps one state file and churns documents; the state file must always read
// back as last written.
int Stress(const std::string& server, int port, int threads, int rounds, size_t bytes) {
    std::vector<std::thread> workers;
    std::vector<int> results(static_cast<size_t>(threads), 0);
    for (int t = 0; t < threads; ++t) {
        workers.emplace_back([&, t] {
            QelWWWSession session;
            session.server = server;
            session.port = port;
            session.user = "T" + std::to_string(t);
            std::string state = QelWWW_StateFilePath(&g_config, &session, "srv");
            std::string document = Pattern(bytes, 'D');
            for (int round = 0; round < rounds; ++round) {
                std::string content =
                    server + " " + std::to_string(port) + " " + session.user + " " + std::to_string(round);
                if (!QelWWW_WriteCacheFile(&g_config, &session, state.c_str(), content.data(),
                                           content.size())) {
                    results[static_cast<size_t>(t)] = 1;
                    return;
                }
                std::string name = session.user + "-" + std::to_string(round);
                std::string docPath = QelWWW_DocumentFilePath(&g_config, &session, name, "doc");
                QelWWW_WriteCacheFile(&g_config, &session, docPath.c_str(), document.data(), document.size());
                auto back = QelWWW_ReadCacheFile(&g_config, &session, state.c_str(), nullptr, nullptr,
                                                 round % 2 == 0);
                if (!back || *back != content) {
                    std::fprintf(stderr, "%s: %s\n", state.c_str(), back ? "damaged" : "lost");
                    results[static_cast<size_t>(t)] = 2;
                    return;
                }
            }
        });
    }
    for (std::thread& worker : workers) worker.join();
    int worst = 0;
    for (int r : results) worst = r > worst ? r : worst;
    return worst;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: %s <ini-dir> write|read|remove|stress ...\n", argv[0]);
        return 3;
    }
    QelWWWSession startup;
    startup.noHtml = 1;
    startup.response = std::make_unique<QelWWWResponse>();
    if (QelWWW_InitConfig(&g_config, &startup, argv[1]) != 0) {
        std::fprintf(stderr, "configuration failed: %s\n", startup.response->GetBody().c_str());
        return 3;
    }
    std::string command = argv[2];
    int rc = 3;
    if (command == "write" && argc == 5) {
        rc = Write(argv[3], std::strtoull(argv[4], nullptr, 10));
    } else if (command == "read" && (argc == 4 || argc == 5)) {
        rc = Read(argv[3], argc == 5 && std::strcmp(argv[4], "touch") == 0);
    } else if (command == "remove" && argc == 4) {
        rc = Remove(argv[3]);
    } else if (command == "stress" && argc == 8) {
        rc = Stress(argv[3], std::atoi(argv[4]), std::atoi(argv[5]), std::atoi(argv[6]),
                    std::strtoull(argv[7], nullptr, 10));
    } else {
        std::fprintf(stderr, "unknown command or wrong arguments\n");
    }
    ArcOS_CloseHandle(g_config.cacheMutex);
    std::fflush(stdout);
    return rc;
}
