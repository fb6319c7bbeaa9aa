// Fuzz target: a segment's index files damaged. A copy of the sample archive gets one
// segment of rows (two loads) at start; each input then damages the segment profile,
// the data file or the index file, and the searches, row reads and a further load that
// follow may answer anything but must not crash, trip a sanitizer or hang.
//
// Byte 0: bits 0-1 the file (0 profile, 1 .dat, 2 .ind; 3 is the profile too), bits
// 2-3 the damage, bit 7 a load after the searches. The rest:
//   damage 0: patches, 5 bytes each: u32 offset (little-endian, modulo the file size)
//             and the byte to put there
//   damage 1: u32 length to cut the file to (modulo its size + 1), then patches
//   damage 2: the whole new file
//   damage 3: profile: "KEY=VALUE" parts split by 0xFF, put into the segment's section
//             ("KEY" alone deletes it); .dat or .ind: u32 from, u32 to, u16 length: a
//             run of the file copied over another place of it
// Every file is put back before the next input.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_input.h"
#include "fuzz_temp_tree.h"
#include "qel_cs.h"
#include "qel_local.h"
#include "segment_index.h"

namespace {

namespace fs = std::filesystem;

constexpr int32_t kAgid = 100;  // INVOICES: INVNO S 10, CUSTOMER S 40, INVDATE I
constexpr const char* kSegment = "INV1";
constexpr int kMaxHits = 300;  // a damaged count may claim millions of rows

std::string ReadWhole(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

QelLocalIdxRow Row(int i) {
    static const char* customers[] = {"ACME", "Brown & Sons", "O'Brien", "", "Zeta Ltd"};
    QelLocalIdxRow row;
    row.header.objName = std::to_string(i) + "FAA";
    row.header.off = uint32_t(i) * 100;
    row.header.len = 100;
    row.header.compType = 'Z';
    row.values.resize(3);
    row.values[0].text = (i % 2 ? "A" : "B") + std::to_string(i);
    row.values[1].text = customers[i % 5];
    row.values[2].integer = i % 13 - 3;
    return row;
}

struct Archive {
    qel_fuzz::TempTree tree{"qel_index_files_fuzz"};
    std::string dir = tree.dir + "/archive/";
    CsHandle handle{};
    QelLocalAppGroup group;
    QelLocalSegment segment;
    std::string paths[3];
    std::string pristine[3];

    Archive() {
        fs::copy(std::string(QEL_TESTDATA_DIR) + "/archive", dir, fs::copy_options::recursive);
        std::snprintf(handle.serverName, sizeof handle.serverName, "FUZZIDX");
        handle.def.kind = CS_KIND_LOCAL;
        handle.def.profile = "[@SRV@_FUZZIDX]\nDIRECTORY=" + dir + "\n";
        std::snprintf(segment.name, sizeof segment.name, "%s", kSegment);
        if (QelLocal_Open(&handle) != CS_OK || QelLocal_ReadAppGroup(&handle, kAgid, &group) != CS_OK)
            std::abort();
        for (int load = 0; load < 2; ++load) {
            std::vector<QelLocalIdxRow> rows;
            for (int i = 0; i < 40; ++i) rows.push_back(Row(load * 40 + i));
            int64_t added = 0;
            if (QelLocal_AddIndexRows(&handle, group, segment, rows, &added) != CS_OK || added != 40)
                std::abort();
        }
        QelLocal_Close(&handle);
        paths[0] = dir + "index/INVOICES.seg";
        paths[1] = dir + "index/INVAG/00000001.dat";
        paths[2] = dir + "index/INVAG/00000001.ind";
        for (int i = 0; i < 3; ++i) {
            pristine[i] = ReadWhole(paths[i]);
            if (pristine[i].empty()) std::abort();
        }
    }
};

Archive& TheArchive() {
    static Archive archive;
    return archive;
}

uint32_t U32(std::string_view bytes, size_t at) {
    uint32_t v = 0;
    for (size_t i = 0; i < 4; ++i) v |= uint32_t(static_cast<uint8_t>(bytes[at + i])) << (8 * i);
    return v;
}

void Patch(std::string* file, std::string_view patches) {
    if (file->empty()) return;
    for (size_t at = 0; at + 5 <= patches.size(); at += 5) {
        (*file)[U32(patches, at) % file->size()] = patches[at + 4];
    }
}

std::string Damage(int which, int how, const std::string& intact, std::string_view rest, Archive& archive) {
    std::string file = intact;
    switch (how) {
        case 0: Patch(&file, rest); break;
        case 1:
            if (rest.size() >= 4) {
                file.resize(U32(rest, 0) % (file.size() + 1));
                Patch(&file, rest.substr(4));
            }
            break;
        case 2: file.assign(rest); break;
        default:
            if (which == 0) {
                // Written through the table writer, which refuses what a profile cannot hold.
                qel_fuzz::WriteFile(archive.paths[0], file);
                const auto parts =
                    qel_fuzz::SplitInput<8>(reinterpret_cast<const uint8_t*>(rest.data()), rest.size());
                for (const std::string& text : parts) {
                    const size_t equals = text.find('=');
                    const std::string key = text.substr(0, equals);
                    const std::string value = equals == std::string::npos ? "" : text.substr(equals + 1);
                    const QelTableValue v{kSegment, key.c_str(),
                                          equals == std::string::npos ? nullptr : value.c_str()};
                    if (!key.empty() && key.find('\0') == std::string::npos &&
                        value.find('\0') == std::string::npos)
                        QelLocal_PutValues(archive.paths[0].c_str(), &v, 1);
                }
                return ReadWhole(archive.paths[0]);
            }
            if (rest.size() >= 10 && !file.empty()) {
                const size_t from = U32(rest, 0) % file.size(), to = U32(rest, 4) % file.size();
                size_t length = size_t(static_cast<uint8_t>(rest[8])) | size_t(static_cast<uint8_t>(rest[9]))
                                                                            << 8;
                length = std::min({length, file.size() - from, file.size() - to});
                file.replace(to, length, intact, from, length);
            }
            break;
    }
    return file;
}

void Search(CsHandle* h, const QelLocalAppGroup& group) {
    static const char* wheres[] = {
        "",
        "WHERE INVNO = 'A5'",
        "WHERE INVNO >= 'B' AND CUSTOMER LIKE '%o%'",
        "WHERE NOT INVDATE BETWEEN 0 AND 4 OR INVNO IN ( 'A1' , 'B2' )",
        "WHERE CUSTOMER < 'P' AND INVDATE > 2 AND INVNO LIKE '%1'",
    };
    const std::vector<QelLocalQueryGroup> query = {QelLocalQueryGroup{&group, {kSegment}}};
    QelLocalQueryFolder folder;
    folder.owner = 1;
    for (const char* where : wheres) {
        QelLocalHit hit;
        int n = 0;
        for (int rc = QelLocal_QueryDocsFirst(h, &folder, &query, where, &hit); rc == CS_OK && n < kMaxHits;
             rc = QelLocal_QueryDocsNext(h, &hit), ++n) {
            if (hit.row.values.size() != group.fields.size()) __builtin_trap();
        }
    }
}

void ReadRows(CsHandle* h, const QelLocalAppGroup& group) {
    int status = 0;
    std::unique_ptr<QelLocalIdx> index = QelLocalIdx_New(h, group, kSegment, &status);
    if (!index) return;
    const int64_t total = QelLocalIdx_TotalRows(index.get());
    QelLocalIdxRow row;
    for (int64_t n = 0; n < total && n < kMaxHits; ++n) QelLocalIdx_ReadRow(index.get(), n, &row);
    for (int64_t n : {total - 1, total, int64_t(-1), int64_t(1) << 40})
        QelLocalIdx_ReadRow(index.get(), n, &row);
    int error = 0;
    int n = 0;
    for (int found = QelLocalIdx_Search(index.get(), "WHERE INVNO < 'B'", "INVDATE >= 0", &row, 1, &error);
         found && n < kMaxHits; found = QelLocalIdx_NextHit(index.get(), &row), ++n) {
        if (row.recordNumber < 0 || row.recordNumber >= total) __builtin_trap();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    Archive& archive = TheArchive();
    const int which = (data[0] & 3) == 3 ? 0 : data[0] & 3;
    const int how = (data[0] >> 2) & 3;
    const std::string_view rest(reinterpret_cast<const char*>(data) + 1, size - 1);
    qel_fuzz::WriteFile(archive.paths[which], Damage(which, how, archive.pristine[which], rest, archive));

    if (QelLocal_Open(&archive.handle) == CS_OK) {
        Search(&archive.handle, archive.group);
        ReadRows(&archive.handle, archive.group);
        if (data[0] & 0x80) {
            std::vector<QelLocalIdxRow> rows = {Row(1000), Row(1001)};
            int64_t added = 0;
            QelLocal_AddIndexRows(&archive.handle, archive.group, archive.segment, rows, &added);
            Search(&archive.handle, archive.group);
        }
        QelLocal_Close(&archive.handle);
    }
    for (int i = 0; i < 3; ++i) qel_fuzz::WriteFile(archive.paths[i], archive.pristine[i]);
    std::error_code ec;
    fs::remove(archive.tree.dir + "/events.log", ec);
    return 0;
}
