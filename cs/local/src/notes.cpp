// notes.cpp - annotations: the note table of the note folder and its "aqk%05d.not" files.
#include <algorithm>
#include <cstdio>
#include <limits>

#include "arc_platform.h"
#include "local_state.h"
#include "note_folder.h"
#include "qel_local.h"
#include "record_format.h"
#include "selection.h"
#include "write_lock.h"

using namespace qel::local::detail;

namespace {

constexpr size_t kRowMax = 4096;
constexpr int64_t kFileNumberMax = 9999999;

std::optional<std::string> NoteFolder(bool create) {
    return ClientFolder("note", State().dirs[QELLOCAL_DIR_NOTE], create);
}

int RowText(const QelLocalNoteDoc* doc, std::string* row) {
    char buffer[kRowMax];
    if (doc == nullptr ||
        QelLocal_FormatNoteRow(buffer, sizeof buffer, doc->agid, doc->objectName, doc->compOffset,
                               doc->compLength, doc->docOffset, doc->docLength, doc->further) != CS_OK ||
        buffer[0] == '\0') {
        return CS_FAILED;
    }
    *row = buffer;
    return CS_OK;
}

// Where a document's annotations are listed: ann.tbl of the archive first, then the
// note folder's note table. Files of both live in the folder named here.
struct NoteRow {
    std::string table;   // the table holding the row
    std::string folder;  // the folder of its files
    TableFile file;
};

int FindRow(const std::string& row, NoteRow* found) {
    const LocalState& s = State();
    NoteRow ann;
    ann.table = s.tables[QELLOCAL_TBL_ANN];
    ann.folder = s.dirs[QELLOCAL_DIR_NOTE];
    if (ann.file.Load(ann.table) != CS_OK) return CS_FAILED;
    if (ann.file.HasSection(row)) {
        *found = std::move(ann);
        return CS_OK;
    }
    std::optional<std::string> folder = NoteFolder(false);
    if (!folder) return CS_FAILED;
    NoteRow note;
    note.folder = *folder;
    note.table = note.folder + "note.tbl";
    if (note.file.Load(note.table) != CS_OK) return CS_FAILED;
    if (!note.file.HasSection(row)) return CS_NOT_FOUND;
    *found = std::move(note);
    return CS_OK;
}

// A file name from a note table: a plain name inside the folder.
std::optional<std::string> NoteFile(const NoteRow& where, const std::string& row) {
    std::optional<std::string> name = where.file.Get(row, "FILE");
    if (!name || name->empty() || name->find('/') != std::string::npos ||
        name->find("..") != std::string::npos) {
        return std::nullopt;
    }
    return where.folder + *name;
}

int DeletedNumbers(const NoteRow& where, const std::string& row, std::vector<int32_t>* numbers) {
    int rc = where.file.IdList(row, "DELETED", numbers);
    if (rc == CS_NOT_FOUND) {
        numbers->clear();
        return CS_OK;
    }
    return rc;
}

std::string JoinNumbers(const std::vector<int32_t>& numbers) {
    std::string text;
    for (int32_t n : numbers) text += (text.empty() ? "" : ",") + std::to_string(n);
    return text;
}

}  // namespace

int QelLocal_AddNote(CsHandle*, const QelLocalNoteDoc* doc, const QelLocalNote* note) {
    if (note == nullptr) return CS_FAILED;
    std::string row;
    if (RowText(doc, &row) != CS_OK) return CS_FAILED;
    std::string record;
    if (EncodeNote(*note, &record) != CS_OK) return CS_FAILED;
    Request request;
    if (!request.Ready()) return CS_FAILED;
    WriteLock lock(request.state().directory);
    if (!lock.Held()) return CS_FAILED;
    std::optional<std::string> folder = NoteFolder(true);
    if (!folder) return CS_FAILED;
    std::string table = *folder + "note.tbl";
    TableFile notes;
    if (notes.Load(table) != CS_OK) return CS_FAILED;
    int64_t last = 0, count = 0;
    if (notes.Number("NOTES", "NOTE", 0, kFileNumberMax, &last, CS_FAILED, 0) != CS_OK ||
        notes.Number(row, "NOTE", 0, std::numeric_limits<int32_t>::max() - 1, &count, CS_FAILED, 0) !=
            CS_OK) {
        return CS_FAILED;
    }
    std::string number = std::to_string(count + 1);
    if (count == 0) {
        // The first annotation of the document gets a file of its own, under a name no
        // file has yet.
        std::string name;
        ArcOSStat status;
        for (;; ++last) {
            if (last > kFileNumberMax) return CS_FAILED;
            char buffer[32];
            std::snprintf(buffer, sizeof buffer, "aqk%05lld.not", static_cast<long long>(last));
            name = buffer;
            if (ArcOS_Stat64((*folder + name).c_str(), &status) != 0) break;
        }
        if (ArcOS_WriteFileAtomic((*folder + name).c_str(), record, 0600) != 0) return CS_FAILED;
        std::string lastText = std::to_string(last);
        const QelTableValue values[] = {{"NOTES", "NOTE", lastText.c_str()},
                                        {row.c_str(), "NOTE", number.c_str()},
                                        {row.c_str(), "FILE", name.c_str()}};
        return QelLocal_PutValues(table.c_str(), values, std::size(values));
    }
    NoteRow where{table, *folder, notes};
    std::optional<std::string> path = NoteFile(where, row);
    if (!path) return CS_FAILED;
    std::string content;
    if (ArcOS_ReadFile(path->c_str(), &content) != 0) return CS_FAILED;
    // Rewritten whole, so that a failure leaves the file as it was.
    if (ArcOS_WriteFileAtomic(path->c_str(), content + record, 0600) != 0) return CS_FAILED;
    const QelTableValue values[] = {{row.c_str(), "NOTE", number.c_str()}};
    return QelLocal_PutValues(table.c_str(), values, 1);
}

int QelLocal_DeleteNote(CsHandle*, const QelLocalNoteDoc* doc, int32_t number) {
    std::string row;
    if (RowText(doc, &row) != CS_OK) return CS_FAILED;
    Request request;
    if (!request.Ready()) return CS_FAILED;
    WriteLock lock(request.state().directory);
    if (!lock.Held()) return CS_FAILED;
    NoteRow where;
    if (int rc = FindRow(row, &where); rc != CS_OK) return rc;
    int64_t count = 0;
    if (where.file.Number(row, "NOTE", 0, std::numeric_limits<int32_t>::max(), &count, CS_FAILED, 0) !=
        CS_OK) {
        return CS_FAILED;
    }
    std::vector<int32_t> deleted;
    if (DeletedNumbers(where, row, &deleted) != CS_OK) return CS_FAILED;
    if (number < 1 || number > count || std::find(deleted.begin(), deleted.end(), number) != deleted.end()) {
        return CS_NOT_FOUND;
    }
    deleted.push_back(number);
    if (int64_t(deleted.size()) < count) {
        std::string list = JoinNumbers(deleted);
        return QelLocal_PutValue(row.c_str(), "DELETED", list.c_str(), where.table.c_str());
    }
    // None of the document's annotations remains: the row and the file go.
    std::optional<std::string> path = NoteFile(where, row);
    const QelTableValue drop{row.c_str(), nullptr, nullptr};
    if (int rc = QelLocal_PutValues(where.table.c_str(), &drop, 1); rc != CS_OK) return rc;
    if (path) ArcOS_Unlink(path->c_str());
    return CS_OK;
}

int QelLocal_GetNotes(CsHandle*, const QelLocalNoteDoc* doc, int32_t user, QelLocalNote* record,
                      const char* groupList) {
    if (record == nullptr) return CS_FAILED;
    std::string row;
    // A bad document leaves the current list as it is.
    if (RowText(doc, &row) != CS_OK) return CS_FAILED;
    // Whose private notes the reader sees besides the public ones: the reader's own and
    // those written for a group of the reader's.
    std::vector<int32_t> readers;
    if (user >= 0) {
        if (GroupListIds(groupList, &readers) != CS_OK) return CS_FAILED;
        readers.push_back(user);
    }
    auto mayRead = [&](const QelLocalNote& n) {
        if (user < 0 || (n.flags & 0x02) != 0) return true;
        return std::find(readers.begin(), readers.end(), int64_t(n.userNumber)) != readers.end();
    };
    auto build = [&](LocalState&, std::vector<QelLocalNote>* kept) -> int {
        NoteRow where;
        if (int rc = FindRow(row, &where); rc != CS_OK) return rc;
        int64_t count = 0;
        if (where.file.Number(row, "NOTE", 0, std::numeric_limits<int32_t>::max(), &count, CS_FAILED, 0) !=
            CS_OK) {
            return CS_FAILED;
        }
        std::vector<int32_t> deleted;
        if (DeletedNumbers(where, row, &deleted) != CS_OK) return CS_FAILED;
        std::optional<std::string> path = NoteFile(where, row);
        std::string content;
        if (!path || ArcOS_ReadFile(path->c_str(), &content) != 0) return CS_FAILED;
        std::vector<QelLocalNote> all;
        if (DecodeNotes(content, &all) != CS_OK || int64_t(all.size()) < count) return CS_FAILED;
        // Records past the counted ones were appended by a write that did not finish.
        all.resize(size_t(count));
        for (QelLocalNote& n : all) {
            if (std::find(deleted.begin(), deleted.end(), n.number) != deleted.end()) continue;
            if (!mayRead(n)) continue;
            kept->push_back(std::move(n));
        }
        return CS_OK;
    };
    return ListFirst(&LocalState::notes, build, CopyItem<QelLocalNote>, record);
}

int QelLocal_GetNotesNext(CsHandle*, QelLocalNote* record) {
    return ListNext(&LocalState::notes, CancelCheck::kNone, CopyItem<QelLocalNote>, record);
}
