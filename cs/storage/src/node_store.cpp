// node_store.cpp - the node store of the local server: volume directories and their objects.
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "object_path.h"
#include "object_piece.h"
#include "qel_local.h"
#include "qel_sm.h"

using namespace qelsm::detail;

namespace {

// The longest relative object path of the node store.
constexpr size_t kNodePathMax = 1024;

// The volume check answers in the cache layer's codes, passed on as they are.
static_assert(int(QELVOL_OK) == int(QELCFS_OK));
static_assert(int(QELVOL_REFUSED) == int(QELCFS_CANCELLED));
static_assert(int(QELVOL_NO_CALLBACK) == int(QELCFS_FAILED));
static_assert(int(QELVOL_MISMATCH) == int(QELCFS_NOT_FOUND));

}  // namespace

QelCacheResult QelCacheFs_LoadVolumeList(CsHandle* handle, QelVolumeList** slot) {
    if (slot == nullptr) return QELCFS_FAILED;
    *slot = nullptr;
    std::vector<std::string> dirs = QelLocal_VolumeDirectories(handle);
    if (dirs.empty()) return QELCFS_NO_VOLUMES;
    auto* list = new (std::nothrow) QelVolumeList;
    if (list == nullptr) return QELCFS_FAILED;
    list->dirs = std::move(dirs);
    *slot = list;
    return QELCFS_OK;
}

QelCacheResult QelCacheFs_FreeVolumeList(CsHandle*, QelVolumeList** slot) {
    if (slot != nullptr) {
        delete *slot;
        *slot = nullptr;
    }
    return QELCFS_OK;
}

QelCacheResult QelCacheFs_OpenObject(CsHandle*, const QelVolumeList* volumes, QelNodeObject** object,
                                     const char*, const char* nodeName, const char* nodeLogon, const char*) {
    if (object == nullptr) return QELCFS_FAILED;
    *object = nullptr;
    if (volumes == nullptr || nodeName == nullptr || nodeLogon == nullptr) return QELCFS_FAILED;
    auto* made = new (std::nothrow) QelNodeObject;
    if (made == nullptr) return QELCFS_FAILED;
    std::string_view name(nodeName);
    size_t dot = name.find('.');
    made->label = dot == std::string_view::npos ? "" : std::string(name.substr(dot + 1));
    made->number = nodeLogon;
    made->volumes = volumes;
    *object = made;
    return QELCFS_OK;
}

QelCacheResult QelCacheFs_CloseObject(CsHandle*, QelNodeObject** object) {
    if (object != nullptr) {
        delete *object;
        *object = nullptr;
    }
    return QELCFS_OK;
}

QelCacheResult QelCacheFs_ObjectSize(CsHandle*, const QelNodeObject* object, uint32_t words[5]) {
    for (int i = 0; i < 5; ++i) words[i] = 0;
    if (object != nullptr) {
        if (std::optional<int64_t> n = QelLocal_VolumeNumber(object->number); n && *n <= 0xFFFFFFFF) {
            words[0] = uint32_t(*n);
        }
    }
    return QELCFS_OK;
}

QelCacheResult QelCacheFs_ReadLocalObject(CsHandle* handle, const QelNodeObject* object, const char* sid,
                                          const char* name, std::vector<uint8_t>* buffer, int64_t offset,
                                          int64_t* length, int* last) {
    if (last != nullptr) *last = 0;
    if (object == nullptr || object->volumes == nullptr || buffer == nullptr || length == nullptr ||
        last == nullptr) {
        return QELCFS_FAILED;
    }
    std::string relative;
    if (RelativeObjectPath(sid, name, true, &relative) != QELCFS_OK || relative.size() > kNodePathMax) {
        return QELCFS_FAILED;
    }
    const std::vector<std::string>& dirs = object->volumes->dirs;
    if (dirs.empty()) return QELCFS_FAILED;
    const std::string* dir = &dirs.front();
    if (dirs.size() > 1) {
        // A volume number outside the list names no directory of this store.
        std::optional<int64_t> n = QelLocal_VolumeNumber(object->number);
        if (!n || *n < 1 || *n > int64_t(dirs.size())) return QELCFS_NOT_FOUND;
        dir = &dirs[size_t(*n - 1)];
    }
    QelCacheResult rc = static_cast<QelCacheResult>(
        QelLocal_ReadVolume(handle, dir->c_str(), object->label.c_str(), object->number.c_str()));
    if (rc != QELCFS_OK) return rc;
    rc = ReadPiece(nullptr, JoinPath(*dir, relative), buffer, offset, length, last);
    return rc == QELCFS_OK ? QELCFS_OK : QELCFS_FAILED;
}
