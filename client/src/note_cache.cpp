// The notes of an open document as the session caches them: newest first, numbered.
#include "note_cache.h"

#include <atomic>
#include <cstring>

#include "arc_datetime.h"

namespace qelclient {
namespace {

std::atomic<bool> gShowAll{false};

void Renumber(DocNotesHolder* holder) {
    int number = static_cast<int>(holder->notes.size());
    for (DocNoteEntry& entry : holder->notes) entry.number = number--;
}

std::optional<std::string> GroupNameOf(const ClientSession& session, const std::string& author) {
    if (author.empty()) return std::nullopt;
    for (const ClientGroupEntry& group : session.groups)
        if (group.id == author) return group.id;
    return std::nullopt;
}

}  // namespace

void PutPosition3(CsXdrNote* note, int32_t position) {
    const auto value = static_cast<uint32_t>(position);
    for (size_t i = 0; i < 4; ++i)
        note->key[kNotePosition3Offset + i] = static_cast<unsigned char>((value >> (8 * i)) & 0xFF);
}

int32_t GetPosition3(const CsXdrNote& note) {
    uint32_t value = 0;
    for (size_t i = 0; i < 4; ++i)
        value |= static_cast<uint32_t>(note.key[kNotePosition3Offset + i]) << (8 * i);
    return static_cast<int32_t>(value);
}

DocNoteEntry MakeNoteEntry(const ClientSession& session, const CsXdrNote& note) {
    DocNoteEntry entry;
    entry.userName.assign(note.userId, strnlen(note.userId, sizeof note.userId));
    entry.noAuthor = entry.userName.empty();
    entry.isPublic = (note.flags & CS_NOTE_PUBLIC) != 0;
    entry.flags = note.flags;
    entry.positions[0] = static_cast<int32_t>(note.page);
    entry.positions[1] = static_cast<int32_t>(note.attributes);
    entry.positions[2] = GetPosition3(note);
    entry.colour = Note_ColourLetter(note.color);
    entry.groupName = GroupNameOf(session, entry.userName);
    entry.created = note.created;
    ArcDTValue stamp;
    stamp.value = note.created;
    stamp.type = 'Z';
    char text[ARC_DT_TEXT_MAX];
    if (ArcDT_FormatValue(text, &stamp) != nullptr) entry.createdText = text;
    if (note.text != nullptr) entry.text = note.text;
    if (note.data != nullptr && note.dataLength > 0) {
        const auto* bytes = reinterpret_cast<const unsigned char*>(note.data);
        entry.data.assign(bytes, bytes + note.dataLength);
    }
    return entry;
}

void CacheNote(DocNotesHolder* holder, DocNoteEntry entry) {
    auto at = holder->notes.begin();
    while (at != holder->notes.end() && at->created >= entry.created) ++at;
    holder->notes.insert(at, std::move(entry));
    Renumber(holder);
}

void CacheNewNote(DocNotesHolder* holder, DocNoteEntry entry) {
    entry.isNew = true;
    holder->notes.insert(holder->notes.begin(), std::move(entry));
    Renumber(holder);
}

bool ShowAllNotes() { return gShowAll.load(); }

}  // namespace qelclient

void Note_SetShowAll(int on) { qelclient::gShowAll.store(on != 0); }

uint32_t Note_ColourCode(char letter) {
    static constexpr char kLetters[] = "DWBRLGYMC0";
    const char* at = letter != 0 ? std::strchr(kLetters, letter) : nullptr;
    return at != nullptr ? static_cast<uint32_t>(at - kLetters) : 0;
}

char Note_ColourLetter(uint32_t code) {
    static constexpr char kLetters[] = "DWBRLGYMC0";
    return code < sizeof kLetters - 1 ? kLetters[code] : 'D';
}

int Note_GetCount(const OpenDocument* document) {
    return document != nullptr && document->notes ? static_cast<int>(document->notes->notes.size()) : 0;
}

const DocNoteEntry* Note_GetFirst(const OpenDocument* document) {
    if (document == nullptr || !document->notes || document->notes->notes.empty()) return nullptr;
    return &document->notes->notes.front();
}

const DocNoteEntry* Note_GetNext(const OpenDocument* document, const DocNoteEntry* note) {
    if (document == nullptr || !document->notes || note == nullptr) return nullptr;
    const std::vector<DocNoteEntry>& notes = document->notes->notes;
    for (size_t i = 0; i + 1 < notes.size(); ++i)
        if (&notes[i] == note) return &notes[i + 1];
    return nullptr;
}
