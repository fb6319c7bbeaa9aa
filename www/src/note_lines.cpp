// The two lines that introduce a note in the getnotes and addnote replies.
#include <string>

#include "document_actions.h"
#include "qel_client.h"

namespace qelwww::detail {

namespace {

std::string Message(int index, const std::vector<std::string>& inserts) {
    std::vector<QelWWWInsert> list;
    for (const std::string& text : inserts) list.push_back(QelWWWInsert{text.c_str(), QELWWW_INSERT_TEXT});
    std::string text;
    int number = 0;
    QelWWW_FormatMessage(index, static_cast<int>(list.size()), list.data(), &text, &number);
    return text;
}

// The copy mark of a note's flags. The client library's Note_Add sets no such bit, so only
// notes written by other programs carry it.
constexpr uint32_t kNoteCopyFlag = 0x10;

}  // namespace

std::string QelWWW_FormatNoteLine(const DocNoteEntry& note, int kind) {
    if (kind == kNoteHeaderLine)
        return Message(QELWWW_MSG_NOTE_HEADER, {std::to_string(note.number), note.createdText, note.userName,
                                                std::to_string(note.positions[0])});
    if (kind != kNoteSharingLine) return std::string();
    std::string sharing;
    if (note.isPublic) {
        sharing = Message(QELWWW_MSG_NOTE_PUBLIC, {});
    } else if (note.groupName) {
        sharing = Message(QELWWW_MSG_NOTE_PRIVATE, {}) + "(" + *note.groupName + ")";
    } else {
        sharing = Message(QELWWW_MSG_NOTE_PRIVATE, {});
    }
    const int copy = (note.flags & kNoteCopyFlag) != 0 ? QELWWW_MSG_NOTE_COPY_OK : QELWWW_MSG_NOTE_NO_COPY;
    return Message(QELWWW_MSG_NOTE_SHARING, {sharing, Message(copy, {})});
}

}  // namespace qelwww::detail
