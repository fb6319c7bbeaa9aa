// A document-search exit for the tests: a job file is found (answer 1) when it holds the
// text of the first search value; the value "!fail" makes the exit fail. Each call adds
// "<application name>:<answer>" to the file the second search value names, when given.
#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>

#include "qel_cswire.h"

extern "C" int DOCSRCH(void*, const void*, const void* application, void* textSearch, const char* jobFile,
                       int32_t* answer) {
    const auto* value = static_cast<const CsXdrValueItem*>(textSearch);
    if (value == nullptr || value->text == nullptr) return 2;
    const std::string wanted = value->text;
    if (wanted == "!fail") return 5;
    std::ifstream in(jobFile, std::ios::binary);
    const std::string data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    *answer = data.find(wanted) != std::string::npos ? 1 : 0;
    if (value->next != nullptr && value->next->text != nullptr) {
        const auto* appl = static_cast<const CsXdrApplEntry*>(application);
        std::ofstream(value->next->text, std::ios::app)
            << (appl != nullptr ? appl->name : "?") << ':' << *answer << ':'
            << std::string_view(jobFile).substr(std::string_view(jobFile).rfind('/') + 1) << '\n';
    }
    return 0;
}
