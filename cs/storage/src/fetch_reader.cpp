// fetch_reader.cpp - the places an object is read from, in order: cache, exit, node.
#include "fetch_reader.h"

#include "object_path.h"
#include "request_roads.h"
#include "sm_messages.h"

namespace qelsm::detail {

void CacheHandleCloser::operator()(QelCacheHandle* cache) const { QelCacheFs_FreeBuffer(nullptr, &cache); }

void NodeObjectCloser::operator()(QelNodeObject* node) const { QelCacheFs_CloseObject(nullptr, &node); }

FetchReader::FetchReader(const FetchPlaces& places, uint8_t* location)
    : places_(places),
      location_(location),
      storage_(SmGetStorage(places.handle)),
      resource_(IsResourceName(places.name)) {}

int FetchReader::Next(std::vector<uint8_t>* piece, bool* last) {
    piece->clear();
    *last = false;
    if (!started_) {
        started_ = true;
        return First(piece, last);
    }
    switch (source_) {
        case Source::kCache: {
            bool found = false;
            int rc = FromCache(piece, last, &found);
            // The object was there a piece ago: gone now is a failure, not "not found".
            return rc == CS_OK && !found ? CS_FAILED : rc;
        }
        case Source::kNode: return FromNode(piece, last);
        case Source::kExit:
        case Source::kNone: break;
    }
    *last = true;  // the exit delivers its object in one piece
    return CS_OK;
}

int FetchReader::First(std::vector<uint8_t>* piece, bool* last) {
    if (*location_ & SM_LOC_CACHE) {
        if (storage_ != nullptr && (storage_->flags & SM_CACHE_OPEN)) {
            QelCacheHandle* made = nullptr;
            QelCacheResult rc = QelCacheFs_NewHandle(places_.handle, storage_->cache, &made);
            if (rc != QELCFS_OK) return SmMapResult(rc);
            cache_.reset(made);
            bool found = false;
            int read = FromCache(piece, last, &found);
            if (read != CS_OK || found) return read;
            // Only a resource keeps the handle, to copy the object in from the node.
            if (!resource_) cache_.reset();
        }
        *location_ &= ~SM_LOC_CACHE;
    }
    if (*location_ & SM_LOC_EXIT) {
        if (FromExit(piece, last)) return CS_OK;
        *location_ &= ~SM_LOC_EXIT;
    }
    int rc = OpenNode();
    if (rc != CS_OK) return rc;
    return FromNode(piece, last);
}

int FetchReader::FromCache(std::vector<uint8_t>* piece, bool* last, bool* found) {
    int64_t length = 0;  // the rest of the object
    int lastPiece = 0;
    QelCacheResult rc = QelCacheFs_ReadObject(places_.handle, cache_.get(), places_.group->storageId.c_str(),
                                              places_.name.c_str(), piece, position_, &length, &lastPiece);
    if (rc == QELCFS_NOT_FOUND) return CS_OK;
    if (rc != QELCFS_OK) return SmMapResult(rc);
    *found = true;
    source_ = Source::kCache;
    *location_ = SM_LOC_CACHE;
    position_ += length;
    *last = lastPiece != 0;
    return CS_OK;
}

bool FetchReader::FromExit(std::vector<uint8_t>* piece, bool* last) {
    SmRequestRoads roads = Roads();
    if (roads.exitFetch == nullptr) return false;
    int rc =
        roads.exitFetch(places_.handle, *places_.group, places_.exitOptions, places_.name.c_str(), piece);
    if (rc != CS_OK || piece->empty()) {
        piece->clear();
        return false;
    }
    source_ = Source::kExit;
    *location_ = SM_LOC_EXIT;
    *last = true;
    return true;
}

int FetchReader::OpenNode() {
    const CsStorageNode* node = nullptr;
    if (*location_ & SM_LOC_PRIMARY) {
        node = places_.primary;
        nodeBit_ = SM_LOC_PRIMARY;
    } else if (*location_ & SM_LOC_SECONDARY) {
        node = places_.secondary;
        nodeBit_ = SM_LOC_SECONDARY;
    }
    if (node == nullptr) {
        NotFoundMessage(places_.handle, places_.name.c_str(), places_.group->name.c_str(), __LINE__);
        return CS_FAILED;
    }
    if (storage_ == nullptr || !(storage_->flags & SM_NODES_OPEN)) {
        PlaceMessage(places_.handle, kMsgCacheOnly, nullptr, __LINE__);
        return CS_FAILED;
    }
    QelNodeObject* opened = nullptr;
    QelCacheResult rc =
        QelCacheFs_OpenObject(places_.handle, storage_->volumes, &opened, places_.handle->identity.userId,
                              node->name, node->logon, node->password);
    if (rc != QELCFS_OK) return SmMapResult(rc);
    node_.reset(opened);
    source_ = Source::kNode;
    return CS_OK;
}

int FetchReader::FromNode(std::vector<uint8_t>* piece, bool* last) {
    int64_t length = 0;
    int lastPiece = 0;
    QelCacheResult rc =
        QelCacheFs_ReadLocalObject(places_.handle, node_.get(), places_.group->storageId.c_str(),
                                   places_.name.c_str(), piece, position_, &length, &lastPiece);
    if (rc != QELCFS_OK) return SmMapResult(rc);
    *location_ = nodeBit_;
    *last = lastPiece != 0;
    WriteBack(*piece, *last);
    position_ += length;
    return CS_OK;
}

void FetchReader::WriteBack(const std::vector<uint8_t>& piece, bool last) {
    // Only a whole resource from the primary node, for a group that caches.
    if (nodeBit_ != SM_LOC_PRIMARY || !cache_ || !resource_ || places_.group->cachePeriod <= 0) return;
    if (piece.empty() || !last || position_ != 0) return;
    // A copy that cannot be written leaves the fetch as it was.
    QelCacheFs_WriteObject(places_.handle, cache_.get(), places_.group->storageId.c_str(),
                           places_.name.c_str(), piece.data(), piece.size());
}

}  // namespace qelsm::detail
