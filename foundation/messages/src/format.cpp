// Insert substitution for catalogue texts. Written by hand so that no text from a user, a
// server or a translation ever becomes a printf format.
#include <algorithm>
#include <climits>
#include <cstring>

#include "arc_messages.h"

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Collects output into a stream or a bounded buffer and counts what really went out.
class Sink {
public:
    Sink(FILE* stream, char* target, size_t size) : stream_(stream), target_(target), size_(size) {}

    void Put(const char* data, size_t length) {
        if (length == 0) return;
        if (stream_ != nullptr) {
            written_ += std::fwrite(data, 1, length, stream_);
            return;
        }
        if (target_ == nullptr || size_ == 0) return;
        size_t room = size_ - 1 - written_;
        size_t take = std::min(length, room);
        std::memcpy(target_ + written_, data, take);
        written_ += take;
    }

    int Finish() {
        if (stream_ == nullptr && target_ != nullptr && size_ > 0) target_[written_] = '\0';
        return static_cast<int>(std::min<size_t>(written_, INT_MAX));
    }

private:
    FILE* stream_;
    char* target_;
    size_t size_;
    size_t written_ = 0;
};

const char* Argument(const char* const* args, int count, int slot) {
    if (args == nullptr || slot >= count) return "";
    const char* value = args[slot];
    return value != nullptr ? value : "";
}

}  // namespace

int ArcMSGS_CountInserts(const char* text) {
    if (text == nullptr) return 0;
    int inserts = 0;
    for (const char* p = text; *p != '\0';) {
        if (p[0] == '%' && IsDigit(p[1])) {
            ++inserts;
            p += 2;
        } else {
            ++p;
        }
    }
    return inserts;
}

int ArcMSGS_FormatString(FILE* stream, char* target, size_t size, const char* text, const char* const* args,
                         int count) {
    Sink sink(stream, target, size);
    if (text == nullptr) return sink.Finish();
    const char* p = text;
    while (*p != '\0') {
        if (p[0] == '%' && IsDigit(p[1])) {
            int digit = p[1] - '0';
            const char* next = p + 2;
            if (*next == '$') {
                // "%n$" must be followed by its conversion letter; at the very end it is text.
                if (next[1] == '\0') {
                    sink.Put(p, 3);
                    p += 3;
                    continue;
                }
                next += 2;
            }
            const char* value = Argument(args, count, digit == 0 ? 0 : digit - 1);
            sink.Put(value, std::strlen(value));
            p = next;
            continue;
        }
        // Copy the run up to the next '%' that could start an insert.
        const char* run = p + 1;
        while (*run != '\0' && *run != '%') ++run;
        sink.Put(p, static_cast<size_t>(run - p));
        p = run;
    }
    return sink.Finish();
}

int ArcMSGS_Format(char* target, size_t size, const char* text, const char* const* args, int count) {
    return ArcMSGS_FormatString(nullptr, target, size, text, args, count);
}
