// Fuzzes the formatter with outside text: the first line is the text, the other lines are
// the inserts.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "arc_messages.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string input(reinterpret_cast<const char*>(data), size);
    std::vector<std::string> parts;
    size_t start = 0;
    for (;;) {
        size_t end = input.find('\n', start);
        parts.push_back(input.substr(start, end == std::string::npos ? std::string::npos : end - start));
        if (end == std::string::npos) break;
        start = end + 1;
    }
    std::vector<const char*> args;
    for (size_t i = 1; i < parts.size(); ++i) args.push_back(parts[i].c_str());
    const int count = static_cast<int>(args.size());

    char small[16];
    char large[8192];
    ArcMSGS_Format(small, sizeof small, parts[0].c_str(), args.data(), count);
    int written = ArcMSGS_Format(large, sizeof large, parts[0].c_str(), args.data(), count);
    if (written < 0 || static_cast<size_t>(written) >= sizeof large) __builtin_trap();
    ArcMSGS_CountInserts(parts[0].c_str());
    if (FILE* sink = std::fopen("/dev/null", "w")) {
        ArcMSGS_FormatString(sink, nullptr, 0, parts[0].c_str(), args.data(), count);
        std::fclose(sink);
    }
    return 0;
}
