// idx_convert.cpp - stored forms of index rows: the 42-byte row header and the
// big-endian field values behind it.
#include <cstring>
#include <limits>

#include "local_state.h"
#include "segment_index.h"

using namespace qel::local::detail;

namespace {

void PutBig(uint8_t* out, uint64_t value, size_t bytes) {
    for (size_t i = 0; i < bytes; ++i) out[i] = uint8_t(value >> (8 * (bytes - 1 - i)));
}

uint64_t GetBig(const uint8_t* in, size_t bytes) {
    uint64_t value = 0;
    for (size_t i = 0; i < bytes; ++i) value = (value << 8) | in[i];
    return value;
}

int64_t SignExtend(uint64_t value, size_t bytes) {
    const unsigned shift = unsigned(64 - 8 * bytes);
    return int64_t(value << shift) >> shift;
}

// A storage identifier names a folder below "index/".
bool SafeFolderName(const std::string& name) {
    if (name.empty() || name == "." || name == ".." || name.find('/') != std::string::npos) return false;
    for (unsigned char c : name) {
        if (c < 0x20 || c == 0x7F) return false;
    }
    return true;
}

}  // namespace

namespace qel::local::detail {

std::optional<SegmentFiles> SegmentPaths(const QelLocalAppGroup& group) {
    const std::string name(group.name, strnlen(group.name, sizeof group.name));
    const std::string agidName(group.agidName, strnlen(group.agidName, sizeof group.agidName));
    std::optional<std::string> profile = FileInFolder(QELLOCAL_DIR_INDEX, name + ".seg");
    if (!profile || !SafeFolderName(agidName)) return std::nullopt;
    return SegmentFiles{*profile, QelLocal_DirPath(QELLOCAL_DIR_INDEX) + agidName + "/"};
}

std::string SegmentFileName(const SegmentFiles& files, int64_t number, const char* extension) {
    char digits[24];
    std::snprintf(digits, sizeof digits, "%08lld", static_cast<long long>(number));
    return files.folder + digits + extension;
}

int ParserKind(char type) {
    switch (type) {
        case 'B':
        case 'D': return QELSQL_FIELD_DOUBLE;
        case 'I': return QELSQL_FIELD_LONG;
        case 'N': return QELSQL_FIELD_SHORT;
        default: return QELSQL_FIELD_TEXT;
    }
}

bool FieldLayout(const QelLocalAppGroup& group, std::vector<IdxField>* fields, size_t* recordLength) {
    if (group.fields.size() > size_t(QELIDX_MAX_FIELDS)) return false;
    fields->clear();
    size_t offset = QELIDX_HEADER_SIZE;
    int members = 0;  // a field that takes no room has no keys either
    for (const QelLocalAgField& f : group.fields) {
        IdxField field;
        field.type = f.type;
        field.kind = ParserKind(f.type);
        if (f.type == 'S' && (f.stringLen <= 0 || size_t(f.stringLen) > QELKF_MAX_KEY)) return false;
        field.keyLength = QelLocalIdx_KeyLength(f.type, f.type == 'S' ? size_t(f.stringLen) : 0);
        field.offset = offset;
        field.member = field.keyLength > 0 ? members++ : -1;
        offset += field.keyLength;
        fields->push_back(std::move(field));
    }
    *recordLength = offset;
    return true;
}

}  // namespace qel::local::detail

size_t QelLocalIdx_KeyLength(char type, size_t length) {
    switch (type) {
        case 'B':
        case 'D': return 8;
        case 'I': return 4;
        case 'N': return 2;
        case 'S': return length;
        default: return 0;
    }
}

int QelLocalIdx_ConvertRow(QelLocalIdxHeader* header, uint8_t stored[QELIDX_HEADER_SIZE], int direction) {
    if (header == nullptr || stored == nullptr) return 0;
    if (direction == 0) {
        if (header->objName.size() > QELIDX_OBJECT_NAME_SIZE) return 0;
        std::memset(stored, 0, QELIDX_HEADER_SIZE);
        std::memcpy(stored + 4, header->objName.data(), header->objName.size());
        PutBig(stored + 15, header->off, 4);
        PutBig(stored + 19, header->len, 4);
        PutBig(stored + 23, header->compOff, 4);
        PutBig(stored + 27, header->compLen, 4);
        stored[31] = header->annot;
        stored[32] = uint8_t(header->compType);
        PutBig(stored + 33, header->rid, 4);
        PutBig(stored + 37, header->priNid, 2);
        PutBig(stored + 39, header->secNid, 2);
        return 1;
    }
    // The name is kept as stored: 11 bytes, cut at the first zero byte.
    header->objName.assign(reinterpret_cast<const char*>(stored + 4),
                           strnlen(reinterpret_cast<const char*>(stored + 4), QELIDX_OBJECT_NAME_SIZE));
    header->off = uint32_t(GetBig(stored + 15, 4));
    header->len = uint32_t(GetBig(stored + 19, 4));
    header->compOff = uint32_t(GetBig(stored + 23, 4));
    header->compLen = uint32_t(GetBig(stored + 27, 4));
    header->annot = stored[31];
    header->compType = char(stored[32]);
    header->rid = uint32_t(GetBig(stored + 33, 4));
    header->priNid = uint16_t(GetBig(stored + 37, 2));
    header->secNid = uint16_t(GetBig(stored + 39, 2));
    return 1;
}

int QelLocalIdx_ConvertField(QelLocalIdxValue* value, uint8_t* stored, int direction, char type,
                             size_t length) {
    if (value == nullptr || stored == nullptr) return 0;
    const size_t bytes = QelLocalIdx_KeyLength(type, length);
    if (bytes == 0) return 1;
    if (type == 'S') {
        if (direction == 0) {
            if (value->text.size() > length) return 0;
            std::memset(stored, ' ', length);
            std::memcpy(stored, value->text.data(), value->text.size());
        } else {
            size_t end = length;
            while (end > 0 && stored[end - 1] == ' ') --end;
            value->text.assign(reinterpret_cast<const char*>(stored), end);
        }
        return 1;
    }
    if (type == 'D') {
        if (direction == 0) {
            uint64_t bits;
            std::memcpy(&bits, &value->dbl, 8);
            PutBig(stored, bits, 8);
        } else {
            const uint64_t bits = GetBig(stored, 8);
            std::memcpy(&value->dbl, &bits, 8);
        }
        return 1;
    }
    if (direction == 0) {
        const int64_t low =
            bytes == 8 ? std::numeric_limits<int64_t>::min() : -(int64_t(1) << (8 * bytes - 1));
        const int64_t high =
            bytes == 8 ? std::numeric_limits<int64_t>::max() : (int64_t(1) << (8 * bytes - 1)) - 1;
        if (value->integer < low || value->integer > high) return 0;
        PutBig(stored, uint64_t(value->integer), bytes);
    } else {
        value->integer = SignExtend(GetBig(stored, bytes), bytes);
    }
    return 1;
}
