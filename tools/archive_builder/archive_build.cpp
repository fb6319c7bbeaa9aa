// archive_build.cpp - tables, objects and segment indexes into a folder beside the target,
// then one rename.
#include "archive_build.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <vector>

#include "arc_platform.h"
#include "index_load.h"
#include "note_files.h"
#include "object_store.h"
#include "table_texts.h"

namespace arcbuild {
namespace {

namespace fs = std::filesystem;

// DIRECTORY of a server definition is a comma-separated list of at most 1024 characters.
constexpr size_t kMaxDirectory = 1000;

// The building folder; removed unless Keep() was called.
class BuildFolder {
public:
    explicit BuildFolder(const std::string& target) {
        const fs::path path(target);
        std::string pattern =
            (path.parent_path() / ("." + path.filename().string() + ".building-XXXXXX")).string();
        if (mkdtemp(pattern.data()) == nullptr) return;
        path_ = pattern;
        ::chmod(path_.c_str(), 0755);
    }
    ~BuildFolder() {
        if (!path_.empty() && !kept_) {
            std::error_code ec;
            fs::remove_all(path_, ec);
        }
    }
    BuildFolder(const BuildFolder&) = delete;
    BuildFolder& operator=(const BuildFolder&) = delete;
    const std::string& Path() const { return path_; }
    void Keep() { kept_ = true; }

private:
    std::string path_;
    bool kept_ = false;
};

bool WriteTexts(const Description& d, const std::string& dir, Errors* errors) {
    for (const char* sub : {"table", "index", "data", "view"}) {
        if (int rc = ArcOS_MakeDirectory((dir + sub).c_str(), 0755); rc != 0)
            return errors->Add(kErrWrite, dir + sub, std::string("could not be made: ") + std::strerror(rc)),
                   false;
    }
    for (const auto& [path, text] : ArchiveTexts(d, ArcOS_TimeNow())) {
        if (int rc = ArcOS_WriteFileAtomic((dir + path).c_str(), text, 0644); rc != 0)
            return errors->Add(kErrWrite, path, std::string("could not be written: ") + std::strerror(rc)),
                   false;
    }
    return true;
}

void SyncFolder(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
}

}  // namespace

bool BuildArchive(const Description& d, const std::string& given, Errors* errors) {
    std::string target = given;
    while (target.size() > 1 && target.back() == '/') target.pop_back();
    if (target.empty() || target.find(',') != std::string::npos || target.size() > kMaxDirectory)
        return errors->Add(kErrTarget, given,
                           "an archive folder's path has no comma and at most 1000 characters"),
               false;
    std::error_code ec;
    if (fs::exists(fs::symlink_status(target, ec)))
        return errors->Add(kErrTarget, target, "exists already; the builder makes a new archive only"), false;
    BuildFolder folder(target);
    if (folder.Path().empty())
        return errors->Add(kErrTarget, target,
                           std::string("no folder can be made beside it: ") + std::strerror(errno)),
               false;
    const std::string dir = folder.Path() + "/";
    std::vector<QelLocalIdxHeader> headers;
    if (!WriteTexts(d, dir, errors) || !WriteObjects(d, dir, &headers, errors) ||
        !WriteNotes(d, headers, dir, ArcOS_TimeNow(), errors) || !LoadIndexes(d, dir, headers, errors))
        return false;
    // The local lock file belongs to a running server; a new archive starts without one.
    fs::remove(dir + "local.lck", ec);
    if (::renameat2(AT_FDCWD, folder.Path().c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) != 0)
        return errors->Add(
                   kErrTarget, target,
                   std::string("the built archive could not take its place: ") + std::strerror(errno)),
               false;
    folder.Keep();
    SyncFolder(fs::path(target).parent_path().empty() ? "." : fs::path(target).parent_path().string());
    return true;
}

}  // namespace arcbuild
