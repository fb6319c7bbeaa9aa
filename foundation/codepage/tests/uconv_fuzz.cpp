// uconv_fuzz.cpp - libFuzzer target: the table loader, the table and UTF-8 converters,
// the modifier parser and the qelcpcs.cfg reader on arbitrary bytes.
//
// Input: u32 little-endian length L, then L bytes of table file (cut to what is there),
// then the text to convert. The first text byte also picks the modifiers.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "ccsid_names.h"
#include "converter.h"
#include "modifiers.h"
#include "table_file.h"
#include "table_module.h"

namespace {

using namespace qel::codepage;

void Drain(ArcUconvConverter& converter, const uint8_t* data, size_t size, size_t room) {
    std::vector<uint8_t> out(room);
    const uint8_t* in = data;
    size_t inLeft = size;
    uint8_t* o = out.data();
    size_t outLeft = out.size();
    // Stop at the first error; a second call continues from where the first stopped.
    for (int round = 0; round < 2 && inLeft > 0 && outLeft > 0; ++round) {
        if (converter.Convert(&in, &inLeft, &o, &outLeft) != kConvertFailed) break;
        if (inLeft > 0 && converter.error != E2BIG) {
            ++in;
            --inLeft;
        }
    }
    converter.Flush(&o, &outLeft);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 4) return 0;
    uint32_t tableLength;
    std::memcpy(&tableLength, data, 4);
    data += 4;
    size -= 4;
    size_t tableSize = tableLength < size ? tableLength : size;
    const uint8_t* text = data + tableSize;
    const size_t textSize = size - tableSize;
    const uint8_t selector = textSize > 0 ? text[0] : 0;

    std::string name(reinterpret_cast<const char*>(text), textSize);
    Modifiers parsed;
    ParseModifiers(name, &parsed);
    std::vector<CcsidName> names;
    ParseCcsidNames(name, &names);

    CachedTable table;
    if (ParseTable({data, tableSize}, &table.data) == 0) {
        Modifiers modifiers;
        modifiers.sub = selector & 3;
        modifiers.map = (selector >> 2) & 1;
        modifiers.swapInput = (selector >> 3) & 1;
        modifiers.swapOutput = (selector >> 4) & 1;
        std::vector<uint8_t> sub(1 + (selector >> 5), 0x3F);
        const size_t room = 1 + (selector * 7u) % (2 * textSize + 8);
        TableConverter toUcs(&table, true, modifiers, sub);
        Drain(toUcs, text, textSize, room);
        TableConverter fromUcs(&table, false, modifiers, sub);
        Drain(fromUcs, text, textSize, room);
    }
    int error = 0;
    for (bool fromUtf8 : {true, false}) {
        ConverterPtr utf8 = OpenUtf8Module(fromUtf8, &error);
        Drain(*utf8, text, textSize, 1 + textSize * 2);
        // An output of 0 counts instead of converting.
        const uint8_t* in = text;
        size_t inLeft = textSize;
        uint8_t* out = nullptr;
        size_t outLeft = 0;
        utf8->Convert(&in, &inLeft, &out, &outLeft);
    }
    return 0;
}
