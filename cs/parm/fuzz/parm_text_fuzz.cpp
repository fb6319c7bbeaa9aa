// Random edits and reads of hostile parameter text. Besides staying within its
// buffers, the engine must keep two promises: a value set is read back as set (less CR
// and LF), and a text built by setters ends every line with LF.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdlib>
#include <string>

#include "qel_parm.h"

namespace {

void Check(bool condition) {
    if (!condition) std::abort();
}

std::string Without(const std::string& text, const char* drop) {
    std::string out;
    for (char c : text)
        if (!std::strchr(drop, c)) out += c;
    return out;
}

bool PlainName(const std::string& name) {
    return name.find_first_of("\r\n=[", 0) == std::string::npos && name.find('\0') == std::string::npos;
}

void ReadEverything(const char* text, const std::string& name) {
    ParmGetCc(text);
    ParmGetRecDelim(text);
    ParmGetPWidth(text);
    ParmGetOrient(text);
    ParmGetDefView(text);
    ParmGetCopies(text);
    ParmGetPageRangeEnd(text, 1);
    ParmGetFaxText(text, "RAttn");
    ParmGetBkCol(text, name.c_str());
    int order[PARM_MAX_FIELDS + 1];
    ParmGetFldDispOrd(text, name.c_str(), order);
    ParmFieldDef fields[PARM_MAX_FIELDS];
    ParmGetFields(text, fields);
    ParmCountFields(text);
    ParmGetViews(text);
    ParmGetFieldRule(text, name.c_str());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider input(data, size);
    ParmText hostile{input.ConsumeRandomLengthString(2048)};
    ParmText built;
    while (input.remaining_bytes() > 0) {
        std::string section = input.ConsumeRandomLengthString(16);
        std::string key = input.ConsumeRandomLengthString(16);
        std::string value = input.ConsumeRandomLengthString(64);
        size_t offset = input.ConsumeIntegralInRange<size_t>(0, hostile.text.size() + 4);
        switch (input.ConsumeIntegralInRange(0, 9)) {
            case 0: ParmSetValue(&hostile, section.c_str(), key.c_str(), value.c_str()); break;
            case 1: ParmSetValue(&hostile, section.c_str(), key.c_str(), nullptr); break;
            case 2: ParmInsertKey(&hostile, offset, key.c_str(), value.c_str()); break;
            case 3: ParmReplaceValue(&hostile, offset, value.c_str()); break;
            case 4: ParmDeleteLine(&hostile, offset); break;
            case 5: ParmDeleteKey(&hostile, offset); break;
            case 6: {
                ParmFieldDef fields[3];
                for (auto& f : fields) {
                    f.first = input.ConsumeIntegral<int32_t>();
                    std::string n = input.ConsumeRandomLengthString(18);
                    std::strncpy(f.name, n.c_str(), sizeof f.name - 1);
                }
                ParmSetFields(&hostile, fields, input.ConsumeIntegralInRange(0, 3));
                break;
            }
            case 7: ReadEverything(hostile.c_str(), section); break;
            default: {
                // A text built by setters keeps its promises.
                ParmSetValue(&built, section.c_str(), key.c_str(), value.c_str());
                Check(!built.text.empty() && built.text.back() == '\n');
                if (PlainName(section) && PlainName(key)) {
                    auto back = ParmGetString(ParmFindSection(built.c_str(), section.c_str()), key.c_str());
                    Check(back.has_value() && *back == Without(value.c_str(), "\r\n"));
                }
                break;
            }
        }
    }
    ReadEverything(hostile.c_str(), "view");
    return 0;
}
