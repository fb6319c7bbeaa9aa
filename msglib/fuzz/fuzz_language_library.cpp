// A language library for the message fuzz target only: it answers lookups with texts the
// target hands it, so the catalogue reads whatever a damaged or foreign library might hold.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace {
std::vector<std::string> texts;
}  // namespace

// Texts separated by zero bytes; event identifier e answers text e % (n + 1), none for n.
extern "C" __attribute__((visibility("default"))) void QelLgsFuzz_SetTexts(const char* data, size_t size) {
    texts.clear();
    size_t start = 0;
    for (size_t i = 0; i <= size; ++i) {
        if (i == size || data[i] == '\0') {
            texts.emplace_back(data + start, i - start);
            start = i + 1;
        }
    }
}

extern "C" __attribute__((visibility("default"))) const char* QelLgs_GetMessageText(uint32_t eventId) {
    const size_t pick = eventId % (texts.size() + 1);
    return pick < texts.size() ? texts[pick].c_str() : nullptr;
}
