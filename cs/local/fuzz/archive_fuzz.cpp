// Fuzz target: the table reader and the annotation and named-query record readers.
// The first byte picks the reader; the rest is the file.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "record_format.h"
#include "table_file.h"

using namespace qel::local::detail;

namespace {

void ReadTable(std::string_view text) {
    TableFile table;
    if (table.LoadText(text) != CS_OK) return;
    const char* sections[] = {"USERS", "100", "100|0", "ALICE", "GROUPS", "SYSTEM", "1|1"};
    const char* keys[] = {"USERS", "NAME", "UID", "GROUPS", "LOAD_ID", "CODEPAGE", "TYPE"};
    for (const char* s : sections) {
        table.HasSection(s);
        std::vector<std::pair<std::string, std::string>> entries;
        table.Entries(s, &entries);
        for (const char* k : keys) {
            char field[21];
            std::string text2;
            int64_t n = 0;
            int32_t i = 0;
            uint16_t u = 0;
            char letter = 0;
            std::vector<int32_t> ids;
            std::vector<std::string> names;
            table.Get(s, k);
            table.Text(s, k, field, sizeof field, CS_FAILED, "");
            table.LongText(s, k, &text2, CS_FAILED);
            table.Number(s, k, INT64_MIN, INT64_MAX, &n, CS_FAILED, 0);
            table.Int32(s, k, &i, CS_FAILED);
            table.UInt16(s, k, &u, CS_FAILED, -1);
            table.Letter(s, k, &letter, CS_FAILED);
            table.IdList(s, k, &ids);
            table.NameList(s, k, &names);
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    std::string_view file(reinterpret_cast<const char*>(data) + 1, size - 1);
    switch (data[0] % 3) {
        case 0: ReadTable(file); break;
        case 1: {
            std::vector<QelLocalNote> notes;
            if (DecodeNotes(file, &notes) == CS_OK) {
                // What was read must write and read again to the same notes.
                std::string again;
                for (const QelLocalNote& n : notes) {
                    std::string record;
                    if (EncodeNote(n, &record) != CS_OK) __builtin_trap();
                    again += record;
                }
                std::vector<QelLocalNote> reread;
                if (DecodeNotes(again, &reread) != CS_OK || reread.size() != notes.size()) __builtin_trap();
                for (size_t i = 0; i < notes.size(); ++i) {
                    if (reread[i].text != notes[i].text || reread[i].data != notes[i].data ||
                        reread[i].time != notes[i].time) {
                        __builtin_trap();
                    }
                }
            }
            break;
        }
        default: {
            QelLocalNamedQuery query;
            DecodeNamedQuery(file, &query);
            break;
        }
    }
    return 0;
}
