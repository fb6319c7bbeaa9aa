// object_fetch.cpp - fetching an object, or a window of it, to a data callback.
#include <algorithm>
#include <limits>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "fetch_reader.h"
#include "object_places.h"
#include "qel_sm.h"
#include "request_roads.h"
#include "sm_messages.h"

using namespace qelsm::detail;

namespace {

// The window of the object the caller wants: [offset, end); length 0 runs to the end.
struct Window {
    uint64_t offset;
    uint64_t end;
    bool open;

    Window(uint64_t windowOffset, uint64_t windowLength)
        : offset(windowOffset),
          end(windowLength == 0 || windowLength > std::numeric_limits<uint64_t>::max() - windowOffset
                  ? std::numeric_limits<uint64_t>::max()
                  : windowOffset + windowLength),
          open(windowLength == 0) {}

    // Nothing at or after position belongs to the window.
    bool EndsBy(uint64_t position) const { return !open && position >= end; }
};

// The slice of a piece at position that lies inside the window: its start in the piece
// and its length (0: none).
std::pair<size_t, size_t> Intersect(const Window& window, uint64_t position, size_t size) {
    uint64_t pieceEnd = position + size;  // pieces of an object never reach 2^64
    uint64_t from = std::max(position, window.offset);
    uint64_t to = std::min(pieceEnd, window.end);
    if (from >= to) return {0, 0};
    return {size_t(from - position), size_t(to - from)};
}

int Fetch(CsHandle* handle, const SmApplGroup* group, const CsStorageNode* primary,
          const CsStorageNode* secondary, uint8_t* location, const void* exitOptions, const char* name,
          uint64_t windowOffset, uint64_t windowLength, SmDataFn callback) {
    FetchPlaces places{handle, group, primary, secondary, exitOptions, ObjectName(name)};
    *location = PruneForRead(*location, *group, primary, secondary, true, exitOptions);
    if (!(*location & kReadPlaces)) {
        PlaceMessage(handle, kMsgNoPlaceToRetrieve, places.name.c_str(), __LINE__);
        return CS_NOT_FOUND;
    }
    FetchReader reader(places, location);
    const Window window(windowOffset, windowLength);
    uint64_t position = 0;
    std::vector<uint8_t> piece;
    while (true) {
        bool last = false;
        int rc = reader.Next(&piece, &last);
        if (rc != CS_OK) return rc;
        // An object that stops short of its size has not been delivered.
        if (piece.empty() && !last) return CS_FAILED;
        auto [start, length] = Intersect(window, position, piece.size());
        if (length > 0 && callback(handle->callbackContext, piece.data() + start, length) == 0) return CS_OK;
        position += piece.size();
        if (last || window.EndsBy(position)) {
            static const unsigned char kNone = 0;
            callback(handle->callbackContext, &kNone, 0);
            return CS_OK;
        }
    }
}

}  // namespace

int SmFetchObjectData(CsHandle* handle, const SmApplGroup* group, const CsStorageNode* primary,
                      const CsStorageNode* secondary, uint8_t* location, const void* exitOptions,
                      const char* name, uint64_t windowOffset, uint64_t windowLength, SmDataFn callback) {
    if (handle == nullptr || group == nullptr || location == nullptr || callback == nullptr) return CS_FAILED;
    try {
        return Fetch(handle, group, primary, secondary, location, exitOptions, name, windowOffset,
                     windowLength, callback);
    } catch (const std::bad_alloc&) {
        return CS_NO_MEMORY;
    }
}

int SmRetrieveSegment(CsHandle* handle, const SmApplGroup* group, const CsStorageNode* primary,
                      const CsStorageNode* secondary, uint8_t* location, const char* name,
                      uint64_t windowOffset, uint64_t windowLength, SmDataFn callback) {
    return SmFetchObjectData(handle, group, primary, secondary, location, nullptr, name, windowOffset,
                             windowLength, callback);
}

int SmRetrieveByName(CsHandle* handle, const SmApplGroup* group, const CsStorageNode* primary,
                     const CsStorageNode* secondary, uint8_t* location, long resourceNumber, char letter,
                     SmDataFn callback) {
    if (handle == nullptr || group == nullptr || location == nullptr || callback == nullptr) return CS_FAILED;
    SmRequestRoads roads = Roads();
    if (roads.readObject == nullptr) return CS_FAILED;
    try {
        const std::string name = std::to_string(resourceNumber);
        SmFetchFn fetch = [&](CsHandle* h, SmDataFn pieces) {
            return SmFetchObjectData(h, group, primary, secondary, location, nullptr, name.c_str(), 0, 0,
                                     pieces);
        };
        return roads.readObject(handle, fetch, letter, 'N', callback, handle->callbackContext);
    } catch (const std::bad_alloc&) {
        return CS_NO_MEMORY;
    }
}
