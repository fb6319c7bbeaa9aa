// Fuzzes the document-id reader on a folder with a field of every type.
//
// Byte 0, bit 0: the id carries values. The rest is the id. A hit that reads back is
// written again; that canonical id must read back and be written the same again. An id
// that does not read leaves the folder's hit list as it was.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "folder_fixture.h"
#include "qel_client.h"

namespace {

struct Target {
    ClientSession session;
    OpenFolder* folder = clienttest::OpenTestFolder(&session, clienttest::DocIdFolder());
};

void Check(bool holds) {
    if (!holds) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static Target* target = new Target;
    if (size == 0) return 0;
    const bool withValues = (data[0] & 1) != 0;
    const std::string_view id(reinterpret_cast<const char*>(data + 1), size - 1);
    ClientSession* session = &target->session;
    OpenFolder* folder = target->folder;
    const int before = Folder_GetHitCount(session, folder);
    const SearchHit* first = Folder_GetFirstHit(session, folder);
    SearchHit* hit = Hit_ParseDocId(session, folder, id, withValues);
    if (hit == nullptr) {
        Check(Folder_GetHitCount(session, folder) == before && Folder_GetFirstHit(session, folder) == first);
        return 0;
    }
    Check(Folder_GetHitCount(session, folder) == 1 && Folder_GetFirstHit(session, folder) == hit);
    std::string canonical;
    Check(Hit_FormatDocId(session, hit, nullptr, nullptr, withValues, &canonical) == canonical.size());
    const int groupIndex = hit->groupIndex;
    SearchHit* again = Hit_ParseDocId(session, folder, canonical, withValues);
    Check(again != nullptr && again->groupIndex == groupIndex);
    std::string written;
    Hit_FormatDocId(session, again, nullptr, nullptr, withValues, &written);
    Check(written == canonical);
    return 0;
}
