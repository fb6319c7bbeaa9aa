// Binding the engine's entry points by name, all or nothing per library.
#include "engine_api.h"

namespace afpview {

namespace {

// Collected first, stored only when the whole list resolved, so a failed binding never
// leaves a half-filled table behind.
template <size_t N>
const char* Resolve(const std::array<const char*, N>& names, const EntryLookup& lookup,
                    std::array<void*, N>& found) {
    for (size_t i = 0; i < N; ++i) {
        found[i] = lookup ? lookup(names[i]) : nullptr;
        if (found[i] == nullptr) return names[i];
    }
    return nullptr;
}

}  // namespace

const char* BindServices(EngineApi& api, const EntryLookup& lookup) {
    std::array<void*, kServicesNames.size()> found{};
    if (const char* missing = Resolve(kServicesNames, lookup, found)) return missing;
    size_t i = 0;
#define KNVW_STORE(name) api.name = reinterpret_cast<decltype(api.name)>(found[i++]);
    KNVW_SERVICES_ENTRIES(KNVW_STORE)
#undef KNVW_STORE
    return nullptr;
}

const char* BindEngine(EngineApi& api, const EntryLookup& lookup) {
    std::array<void*, kEngineNames.size()> found{};
    if (const char* missing = Resolve(kEngineNames, lookup, found)) return missing;
    size_t i = 0;
#define KNVW_STORE(name) api.name = reinterpret_cast<decltype(api.name)>(found[i++]);
    KNVW_ENGINE_ENTRIES(KNVW_STORE)
#undef KNVW_STORE
    return nullptr;
}

}  // namespace afpview
