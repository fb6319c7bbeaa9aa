// record_format.cpp - writing and checking annotation and named-query records.
#include "record_format.h"

#include <cstring>
#include <limits>

namespace qel::local::detail {

namespace {

uint32_t GetLE32(std::string_view bytes, size_t at) {
    uint32_t v = 0;
    for (int i = 3; i >= 0; --i) v = (v << 8) | uint8_t(bytes[at + size_t(i)]);
    return v;
}

uint64_t GetLE64(std::string_view bytes, size_t at) {
    return uint64_t(GetLE32(bytes, at)) | (uint64_t(GetLE32(bytes, at + 4)) << 32);
}

void PutLE32(std::string* out, uint32_t v) {
    for (int i = 0; i < 4; ++i) out->push_back(char((v >> (8 * i)) & 0xFF));
}

void PutLE64(std::string* out, uint64_t v) {
    PutLE32(out, uint32_t(v));
    PutLE32(out, uint32_t(v >> 32));
}

// A fixed text field: the text and zero padding; CS_FAILED when it does not fit with its
// terminator.
int PutText(std::string* out, const char* text, size_t width) {
    size_t n = strnlen(text, width);
    if (n >= width) return CS_FAILED;
    out->append(text, n);
    out->append(width - n, '\0');
    return CS_OK;
}

std::string_view UpToZero(std::string_view bytes) { return bytes.substr(0, bytes.find('\0')); }

}  // namespace

int EncodeNote(const QelLocalNote& note, std::string* record) {
    std::string text(UpToZero(note.text));
    if (text.size() + 1 > std::numeric_limits<uint32_t>::max() / 2 ||
        note.data.size() > std::numeric_limits<uint32_t>::max() / 2) {
        return CS_FAILED;
    }
    std::string r;
    PutLE32(&r, 0);  // length, filled in below
    PutLE32(&r, note.userNumber);
    if (PutText(&r, note.userName, sizeof note.userName) != CS_OK) return CS_FAILED;
    PutLE32(&r, note.flags);
    PutLE64(&r, uint64_t(note.time));
    for (int32_t p : note.position) PutLE32(&r, uint32_t(p));
    r.append(reinterpret_cast<const char*>(note.fields), sizeof note.fields);
    PutLE32(&r, uint32_t(text.size() + 1));
    r += text;
    r.push_back('\0');
    r.append(kNoteTrailer, '\0');
    if (!note.data.empty()) {
        PutLE32(&r, uint32_t(note.data.size()));
        r += note.data;
    }
    if (r.size() > std::numeric_limits<uint32_t>::max()) return CS_FAILED;
    uint32_t length = uint32_t(r.size());
    for (int i = 0; i < 4; ++i) r[size_t(i)] = char((length >> (8 * i)) & 0xFF);
    *record = std::move(r);
    return CS_OK;
}

namespace {

int DecodeOne(std::string_view rec, QelLocalNote* note) {
    // rec holds exactly one record; its length field was checked by the caller.
    if (rec.size() < kNoteTextAt + 1 + kNoteTrailer) return CS_FAILED;
    uint32_t textLength = GetLE32(rec, kNoteTextLengthAt);
    if (textLength == 0 || textLength > rec.size() - kNoteTextAt - kNoteTrailer) return CS_FAILED;
    size_t after = kNoteTextAt + textLength + kNoteTrailer;
    if (rec[kNoteTextAt + textLength - 1] != '\0') return CS_FAILED;
    QelLocalNote n;
    n.userNumber = GetLE32(rec, kNoteUserAt);
    std::string_view userName = rec.substr(kNoteUserNameAt, sizeof n.userName);
    if (userName.find('\0') == std::string_view::npos) return CS_FAILED;
    std::memcpy(n.userName, userName.data(), sizeof n.userName);
    n.flags = GetLE32(rec, kNoteFlagsAt);
    n.time = int64_t(GetLE64(rec, kNoteTimeAt));
    for (int i = 0; i < 3; ++i) n.position[i] = int32_t(GetLE32(rec, kNotePositionAt + 4 * size_t(i)));
    std::memcpy(n.fields, rec.data() + kNoteFieldsAt, sizeof n.fields);
    n.text = std::string(UpToZero(rec.substr(kNoteTextAt, textLength)));
    if (after != rec.size()) {
        // The only thing that may follow is the attached data with its length.
        if (rec.size() - after < 4) return CS_FAILED;
        uint32_t dataLength = GetLE32(rec, after);
        if (dataLength != rec.size() - after - 4) return CS_FAILED;
        n.data = std::string(rec.substr(after + 4));
    }
    *note = std::move(n);
    return CS_OK;
}

}  // namespace

int DecodeNotes(std::string_view file, std::vector<QelLocalNote>* notes) {
    std::vector<QelLocalNote> result;
    size_t at = 0;
    while (at < file.size()) {
        if (file.size() - at < 4) return CS_FAILED;
        uint32_t length = GetLE32(file, at + kNoteLengthAt);
        if (length < 4 || length > file.size() - at) return CS_FAILED;
        QelLocalNote note;
        if (DecodeOne(file.substr(at, length), &note) != CS_OK) return CS_FAILED;
        note.number = int32_t(result.size() + 1);
        result.push_back(std::move(note));
        at += length;
    }
    *notes = std::move(result);
    return CS_OK;
}

int EncodeNamedQuery(const QelLocalNamedQuery& query, std::string* file) {
    if (query.text.size() > std::numeric_limits<uint32_t>::max() / 2) return CS_FAILED;
    std::string f;
    PutLE32(&f, uint32_t(query.folderId));
    PutLE32(&f, uint32_t(query.owner));
    if (PutText(&f, query.name, sizeof query.name) != CS_OK) return CS_FAILED;
    PutLE32(&f, uint32_t(query.text.size()));
    f += query.text;
    *file = std::move(f);
    return CS_OK;
}

int DecodeNamedQuery(std::string_view file, QelLocalNamedQuery* query) {
    if (file.size() < kQueryTextAt) return CS_FAILED;
    uint32_t textLength = GetLE32(file, kQueryTextLengthAt);
    if (textLength != file.size() - kQueryTextAt) return CS_FAILED;
    std::string_view name = file.substr(kQueryNameAt, sizeof query->name);
    if (name.find('\0') == std::string_view::npos) return CS_FAILED;
    QelLocalNamedQuery q;
    q.number = query->number;
    q.folderId = int32_t(GetLE32(file, kQueryFolderAt));
    q.owner = int32_t(GetLE32(file, kQueryOwnerAt));
    std::memcpy(q.name, name.data(), sizeof q.name);
    q.text = std::string(file.substr(kQueryTextAt));
    *query = std::move(q);
    return CS_OK;
}

}  // namespace qel::local::detail
