// handle_side.cpp - per-handle storage state kept beside the handle record.
#include "handle_side.h"

#include <mutex>
#include <unordered_map>

namespace qelsm::detail {

namespace {

struct Side {
  QelVolumeRequestFn callback = nullptr;
  std::string label;
  std::unique_ptr<SmStorage> storage;
  bool Empty() const { return callback == nullptr && label.empty() && storage == nullptr; }
};

std::mutex sideMutex;

std::unordered_map<const CsHandle*, Side>& Sides() {
  static std::unordered_map<const CsHandle*, Side> sides;
  return sides;
}

// Runs edit on the handle's entry and drops the entry once it holds nothing.
template <typename Edit>
auto WithSide(const CsHandle* handle, Edit edit) {
  std::lock_guard lock(sideMutex);
  auto& sides = Sides();
  Side& side = sides[handle];
  auto result = edit(side);
  if (side.Empty()) sides.erase(handle);
  return result;
}

}  // namespace

QelVolumeRequestFn VolumeCallback(CsHandle* handle) {
  return WithSide(handle, [](Side& s) { return s.callback; });
}

std::unique_ptr<SmStorage> ExchangeStorage(CsHandle* handle, std::unique_ptr<SmStorage> storage) {
  return WithSide(handle, [&](Side& s) {
    std::swap(s.storage, storage);
    return std::move(storage);
  });
}

}  // namespace qelsm::detail

void QelCacheFs_SetVolumeCallback(CsHandle* handle, QelVolumeRequestFn callback) {
  if (handle == nullptr) return;
  qelsm::detail::WithSide(handle, [&](qelsm::detail::Side& s) {
    s.callback = callback;
    return 0;
  });
}

void QelCacheFs_SetConnectionVolume(CsHandle* handle, const char* label) {
  if (handle == nullptr) return;
  qelsm::detail::WithSide(handle, [&](qelsm::detail::Side& s) {
    s.label = label != nullptr ? label : "";
    return 0;
  });
}

std::string QelCacheFs_ConnectionVolume(CsHandle* handle) {
  if (handle == nullptr) return {};
  return qelsm::detail::WithSide(handle, [](qelsm::detail::Side& s) { return s.label; });
}

SmStorage* SmGetStorage(CsHandle* handle) {
  if (handle == nullptr) return nullptr;
  return qelsm::detail::WithSide(handle, [](qelsm::detail::Side& s) { return s.storage.get(); });
}
