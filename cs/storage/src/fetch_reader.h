// fetch_reader.h - reads an object piece by piece from the first place that holds it.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "qel_sm.h"

namespace qelsm::detail {

struct CacheHandleCloser {
    void operator()(QelCacheHandle* cache) const;
};
struct NodeObjectCloser {
    void operator()(QelNodeObject* node) const;
};
using CacheHandlePtr = std::unique_ptr<QelCacheHandle, CacheHandleCloser>;
using NodeObjectPtr = std::unique_ptr<QelNodeObject, NodeObjectCloser>;

// What one fetch reads. The references outlive the reader.
struct FetchPlaces {
    CsHandle* handle = nullptr;
    const SmApplGroup* group = nullptr;
    const CsStorageNode* primary = nullptr;
    const CsStorageNode* secondary = nullptr;
    const void* exitOptions = nullptr;
    std::string name;  // without its '$'
};

// The first call looks for the object in the cache, with the storage exit, then on a node
// (the places of *location) and sets *location to the place found; later calls read on
// from there. Handles and objects it opened are closed when it goes.
class FetchReader {
public:
    FetchReader(const FetchPlaces& places, uint8_t* location);
    FetchReader(const FetchReader&) = delete;
    FetchReader& operator=(const FetchReader&) = delete;

    // The next piece of the object. CS_OK with *last set on the final piece; or a failure.
    int Next(std::vector<uint8_t>* piece, bool* last);

private:
    enum class Source { kNone, kCache, kExit, kNode };

    int First(std::vector<uint8_t>* piece, bool* last);
    int FromCache(std::vector<uint8_t>* piece, bool* last, bool* found);
    bool FromExit(std::vector<uint8_t>* piece, bool* last);
    int OpenNode();
    int FromNode(std::vector<uint8_t>* piece, bool* last);
    void WriteBack(const std::vector<uint8_t>& piece, bool last);

    const FetchPlaces& places_;
    uint8_t* location_;
    SmStorage* storage_;
    bool resource_;
    bool started_ = false;
    Source source_ = Source::kNone;
    uint8_t nodeBit_ = 0;
    int64_t position_ = 0;
    CacheHandlePtr cache_;
    NodeObjectPtr node_;
};

}  // namespace qelsm::detail
