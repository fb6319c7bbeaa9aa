// bulk_test_archive.h - the archive of the bulk retrieval and local server-print tests:
// documents of two groups sharing a few objects (plain and zlib), an optional multi-part
// document, and a counter of the object files' opens seen from the outside (inotify).
#pragma once

#include <gtest/gtest.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <nlohmann/json.hpp>

#include <cstdio>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "archive_build.h"
#include "description.h"
#include "local_session.h"
#include "qel_sm_bulk.h"

namespace bulktest {

using Json = nlohmann::json;

// The object folders of the two groups.
constexpr const char* kLetters = "LTR";
constexpr const char* kNotices = "NTC";

// The text of document n: a different length each.
inline std::string DocText(int n) {
    std::string text = "DOCUMENT " + std::to_string(n) + "\n";
    for (int line = 0; line <= n % 7; ++line)
        text += " LINE " + std::to_string(line) + " OF " + std::to_string(n) + "\n";
    return text;
}

inline std::string Key(int n) {
    char key[16];
    std::snprintf(key, sizeof key, "D%04d", n);
    return key;
}

// Documents 0..count-1: even ones in LETTERS, odd ones in NOTICES; within a group they
// alternate between the objects 1FAA and 2FAA. LETTERS keeps 1FAA plain and 2FAA zlib,
// NOTICES the other way round; LETTERS has its bulk retrievals and print runs reported
// (logging 0x08 and 0x04). With `resource` LETTERS' documents have the resource 1 of
// "res.txt" (stored zlib) and both applications store data type 'A', so that printed documents of a
// group may share a job.
inline Json Description(const std::string& dataFile, int count, bool paged, bool resource = false) {
    Json documents = Json::array();
    uint64_t offset = 0;
    for (int n = 0; n < count; ++n) {
        const uint64_t length = DocText(n).size();
        Json doc = {{"group", n % 2 == 0 ? "LETTERS" : "NOTICES"},
                    {"object", (n / 2) % 2 == 0 ? "1FAA" : "2FAA"},
                    {"file", dataFile},
                    {"offset", offset},
                    {"length", length},
                    {"values", {{"KEY", Key(n)}, {"DDATE", 19723 + n}}}};
        if (resource && n % 2 == 0) doc["resource"] = 1;
        documents.push_back(doc);
        offset += length;
    }
    if (paged) {
        // A multi-part document of LETTERS: its first part and page tables in 3FAA.
        documents.push_back({{"group", "LETTERS"},
                             {"object", "3FAA"},
                             {"file", "part1.txt"},
                             {"segments", Json::array({{{"file", "part2.txt"}}})},
                             {"pages", 3},
                             {"segment_pages", 2},
                             {"values", {{"KEY", "P0001"}, {"DDATE", 19723}}}});
    }
    auto group = [resource](int agid, const char* name, const char* sid, const char* first,
                            const char* second, int log) {
        Json g = Json{{"agid", agid},
                      {"name", name},
                      {"storage_id", sid},
                      {"segment_rows", 1000},
                      {"log", log},
                      {"fields",
                       {{{"name", "KEY"}, {"type", "S"}, {"length", 10}, {"mask", 32}},
                        {{"name", "DDATE"}, {"type", "I"}, {"mask", 4}}}},
                      {"applications", {{{"appid", agid + 100}, {"name", std::string(name) + "APP"}}}},
                      // Retrieve and print.
                      {"permissions", {{{"who", "STAFF"}, {"documents", 0x11}}}},
                      {"objects",
                       {{{"name", "1FAA"}, {"compression", first}},
                        {{"name", "2FAA"}, {"compression", second}},
                        {{"name", "3FAA"}, {"compression", "O"}}}}};
        if (resource) g["applications"][0]["data_type"] = "A";
        if (resource && agid == 100)
            g["resources"] = Json::array({{{"id", 1}, {"file", "res.txt"}, {"compression", "O"}}});
        return g;
    };
    return Json{
        {"volume", "TESTVOL"},
        {"system", {{"SYS_MASK", 2}, {"PASSWD_EXP", -1}}},
        {"groups", {{{"gid", 11}, {"name", "STAFF"}}}},
        {"users", {{{"name", "ALICE"}, {"uid", 1}, {"password", "Secret-1"}, {"groups", {"STAFF"}}}}},
        {"application_groups",
         {group(100, "LETTERS", kLetters, "N", "O", SM_BULK_LOG_GROUP | 0x04),
          group(101, "NOTICES", kNotices, "O", "N", 0)}},
        {"folders",
         {{{"fid", 1},
           {"name", "Bulk"},
           {"application_groups", {"LETTERS", "NOTICES"}},
           {"fields", {{{"name", "KEY"}, {"type", "S"}}}},
           {"permissions", {{{"who", "STAFF"}, {"permissions", 1}}}}}}},
        {"documents", documents},
    };
}

// Counts the opens of files in the watched folders, by "<folder>/<name>". Closes are
// watched too: the queue merges an event with an identical one right before it, and an
// open always has a close between it and the next.
class OpenCounter {
public:
    explicit OpenCounter(const std::vector<std::string>& dirs)
        : fd_(inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {
        for (const std::string& dir : dirs) {
            const int wd = inotify_add_watch(fd_, dir.c_str(), IN_OPEN | IN_CLOSE);
            EXPECT_GE(wd, 0) << dir;
            dirs_[wd] = std::filesystem::path(dir).parent_path().filename().string();
        }
    }
    ~OpenCounter() { close(fd_); }
    OpenCounter(const OpenCounter&) = delete;
    OpenCounter& operator=(const OpenCounter&) = delete;

    // The opens since the last call.
    std::map<std::string, int> Take() {
        std::map<std::string, int> opens;
        alignas(inotify_event) char buffer[65536];
        for (;;) {
            const ssize_t n = read(fd_, buffer, sizeof buffer);
            if (n <= 0) break;
            for (ssize_t at = 0; at < n;) {
                const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
                if (event->len > 0 && (event->mask & IN_OPEN)) ++opens[dirs_[event->wd] + "/" + event->name];
                at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
            }
        }
        return opens;
    }

private:
    int fd_;
    std::map<int, std::string> dirs_;
};

}  // namespace bulktest
