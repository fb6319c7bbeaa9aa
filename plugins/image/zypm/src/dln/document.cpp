// Documents and file objects: adding a file walks its directories, nothing more.
#include <algorithm>
#include <atomic>
#include <cstring>
#include <new>

#include "internal.h"

namespace {

std::atomic<uint64_t> nextFileId{1};

}  // namespace

namespace zypm {

DecodedPtr DecodedPageOf(const ZypmDocPage& page, int* code) {
    ZypmEnv environment = page.file->environment;
    uint64_t id = page.file->id;
    {
        std::lock_guard guard(environment->lock);
        if (DecodedPtr cached = environment->cache.Find(id, page.info.directory)) {
            *code = ZYPM_OK;
            return cached;
        }
    }
    DecodedPtr decoded = DecodePage(*page.file->tiff, page.info, code);
    if (decoded) {
        std::lock_guard guard(environment->lock);
        environment->cache.Insert(id, page.info.directory, decoded);
    }
    return decoded;
}

}  // namespace zypm

extern "C" {

int ZypmDocNew(ZypmEnv environment, ZypmDoc* document) {
    if (!environment || !document)
        return zypm::Fail(ZYPM_E_ARGUMENT, "no environment or no place for the document");
    *document = nullptr;
    auto* made = new (std::nothrow) ZypmDocObject;
    if (!made) return zypm::Fail(ZYPM_E_NO_MEMORY, "no memory for the document");
    made->environment = environment;
    std::lock_guard guard(environment->lock);
    ++environment->documents;
    *document = made;
    return ZYPM_OK;
}

int ZypmDocFree(ZypmDoc document) {
    if (!document) return zypm::Fail(ZYPM_E_ARGUMENT, "no document");
    if (document->viewers > 0) return zypm::Fail(ZYPM_E_LOCKED, "a view still shows the document");
    ZypmEnv environment = document->environment;
    {
        std::lock_guard guard(environment->lock);
        for (const ZypmDocPage& page : document->pages) environment->cache.DropFile(page.file->id);
        --environment->documents;
    }
    delete document;
    return ZYPM_OK;
}

int ZypmDocPageCount(ZypmDoc document) {
    if (!document) return zypm::Fail(ZYPM_E_ARGUMENT, "no document");
    return static_cast<int>(document->pages.size());
}

int ZypmFileNew(ZypmEnv environment, ZypmFile* file) {
    if (!environment || !file) return zypm::Fail(ZYPM_E_ARGUMENT, "no environment or no place for the file");
    *file = nullptr;
    std::shared_ptr<ZypmFileObject> made;
    try {
        made = std::make_shared<ZypmFileObject>();
        made->environment = environment;
        made->id = nextFileId++;
        std::lock_guard guard(environment->lock);
        environment->looseFiles.push_back(made);
    } catch (const std::bad_alloc&) {
        return zypm::Fail(ZYPM_E_NO_MEMORY, "no memory for the file");
    }
    *file = made.get();
    return ZYPM_OK;
}

int ZypmFileSet(ZypmFile file, uint32_t attribute, const void* value) {
    if (!file) return zypm::Fail(ZYPM_E_ARGUMENT, "no file");
    if (attribute != ZYPM_FILE_PATH) return zypm::Fail(ZYPM_E_ARGUMENT, "unknown file attribute");
    if (file->added) return zypm::Fail(ZYPM_E_STATE, "the file is already in a document");
    const char* path = static_cast<const char*>(value);
    if (!path || !*path) return zypm::Fail(ZYPM_E_ARGUMENT, "no path");
    size_t length = strnlen(path, 4096);
    if (length > 4095) return zypm::Fail(ZYPM_E_ARGUMENT, "the path is longer than 4095 bytes");
    file->path.assign(path, length);
    return ZYPM_OK;
}

int ZypmAddFile(ZypmDoc document, ZypmFile file, int32_t position, int32_t reserved, uint32_t mode) {
    if (!document || !file) return zypm::Fail(ZYPM_E_ARGUMENT, "no document or no file");
    if (mode != ZYPM_ADD_ALL_PAGES || reserved != 0) return zypm::Fail(ZYPM_E_ARGUMENT, "unknown mode");
    if (file->environment != document->environment)
        return zypm::Fail(ZYPM_E_ARGUMENT, "the file belongs to another environment");
    if (file->added || file->path.empty())
        return zypm::Fail(ZYPM_E_STATE,
                          file->added ? "the file is already in a document" : "the file has no path");
    if (position < -1 || position > static_cast<int32_t>(document->pages.size()))
        return zypm::Fail(ZYPM_E_RANGE, "insert position out of range");
    if (document->viewers > 0) return zypm::Fail(ZYPM_E_LOCKED, "a view shows the document");
    ZypmEnv environment = document->environment;
    std::shared_ptr<ZypmFileObject> owner;
    {
        std::lock_guard guard(environment->lock);
        auto& loose = environment->looseFiles;
        auto it =
            std::find_if(loose.begin(), loose.end(), [&](const auto& held) { return held.get() == file; });
        if (it == loose.end()) return zypm::Fail(ZYPM_E_ARGUMENT, "not a file of this environment");
        owner = *it;
    }
    int code = ZYPM_OK;
    std::shared_ptr<zypm::TiffFile> tiff = zypm::OpenTiff(file->path, &code);
    if (!tiff) return code;
    std::vector<zypm::PageInfo> pages;
    try {
        if ((code = zypm::ScanPages(*tiff, document->pages.size(), &pages)) != ZYPM_OK) return code;
        std::vector<ZypmDocPage> added;
        added.reserve(pages.size());
        for (auto& info : pages) added.push_back({owner, std::move(info)});
        auto at = position < 0 ? document->pages.end() : document->pages.begin() + position;
        document->pages.insert(at, std::make_move_iterator(added.begin()),
                               std::make_move_iterator(added.end()));
    } catch (const std::bad_alloc&) {
        return zypm::Fail(ZYPM_E_NO_MEMORY, "no memory for the pages");
    }
    file->tiff = std::move(tiff);
    file->added = true;
    std::lock_guard guard(environment->lock);
    auto& loose = environment->looseFiles;
    loose.erase(std::find(loose.begin(), loose.end(), owner));
    zypm::ClearMessage();
    return ZYPM_OK;
}

}  // extern "C"
