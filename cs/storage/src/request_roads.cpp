// request_roads.cpp - the request layer's object reader and storage exit, lent at start-up.
#include "request_roads.h"

#include <mutex>

namespace {

std::mutex& RoadMutex() {
    static std::mutex mutex;
    return mutex;
}

SmRequestRoads& Current() {
    static SmRequestRoads roads;
    return roads;
}

}  // namespace

void SmSetRequestRoads(SmRequestRoads roads) {
    std::lock_guard lock(RoadMutex());
    Current() = roads;
}

namespace qelsm::detail {

SmRequestRoads Roads() {
    std::lock_guard lock(RoadMutex());
    return Current();
}

}  // namespace qelsm::detail
