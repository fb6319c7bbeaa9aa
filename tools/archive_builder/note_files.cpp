// note_files.cpp - annotation records, little-endian and unpadded, and their note table.
#include "note_files.h"

#include <cstdio>
#include <cstring>

#include "arc_platform.h"

namespace arcbuild {
namespace {

constexpr uint32_t kPrivate = 1, kPublic = 2, kText = 4;
constexpr size_t kUserNameBytes = 21;
constexpr size_t kFieldBytes = 32;
constexpr size_t kPositions = 3;

void Put(std::string* out, uint64_t value, size_t bytes) {
    for (size_t i = 0; i < bytes; ++i) out->push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

std::string Record(const NoteDef& note, int64_t now) {
    const uint32_t textLength = static_cast<uint32_t>(note.text.size() + 1);
    std::string r;
    Put(&r, 91 + textLength, 4);
    Put(&r, static_cast<uint32_t>(note.uid), 4);
    std::string name = note.user.substr(0, kUserNameBytes - 1);
    name.resize(kUserNameBytes, '\0');
    r += name;
    Put(&r, (note.isPublic ? kPublic : kPrivate) | kText, 4);
    Put(&r, static_cast<uint64_t>(note.created >= 0 ? note.created : now), 8);
    const int32_t positions[kPositions] = {note.page, 0, 0};
    for (int32_t p : positions) Put(&r, static_cast<uint32_t>(p), 4);
    std::string fields(kFieldBytes, '\0');
    fields[0] = static_cast<char>(note.colour);
    r += fields;
    Put(&r, textLength, 4);
    r += note.text;
    r.push_back('\0');
    r.append(2, '\0');  // reserved
    return r;
}

}  // namespace

bool WriteNotes(const Description& d, const std::vector<QelLocalIdxHeader>& headers, const std::string& dir,
                int64_t now, Errors* errors) {
    const std::string folder = dir + "note/";
    std::string table;
    int fileNumber = 0;
    for (size_t i = 0; i < d.documents.size(); ++i) {
        const DocumentDef& doc = d.documents[i];
        if (doc.notes.empty()) continue;
        const QelLocalIdxHeader& h = headers[i];
        char row[512];
        // The server names the row from the hit's object reference, its words as signed.
        if (QelLocal_FormatNoteRow(row, sizeof row, d.appGroups[doc.group].agid, h.objName.c_str(),
                                   static_cast<int32_t>(h.compOff), static_cast<int32_t>(h.compLen),
                                   static_cast<int32_t>(h.off), static_cast<int32_t>(h.len), nullptr) != 0) {
            errors->Add(kErrWrite, "documents[" + std::to_string(i) + "].notes", "no note row can name it");
            return false;
        }
        if (fileNumber == 0 && ArcOS_MakeDirectory(folder.c_str(), 0755) != 0) {
            errors->Add(kErrWrite, folder, "could not be made");
            return false;
        }
        char name[32];
        std::snprintf(name, sizeof name, "aqk%05d.not", ++fileNumber);
        std::string records;
        for (const NoteDef& note : doc.notes) records += Record(note, now);
        if (int rc = ArcOS_WriteFileAtomic((folder + name).c_str(), records, 0644); rc != 0) {
            errors->Add(kErrWrite, folder + name, std::string("could not be written: ") + std::strerror(rc));
            return false;
        }
        table += std::string("\n[") + row + "]\nNOTE=\"" + std::to_string(doc.notes.size()) + "\"\nFILE=\"" +
                 name + "\"\n";
    }
    if (fileNumber == 0) return true;
    table = "[NOTES]\nNOTE=\"" + std::to_string(fileNumber) + "\"\n" + table;
    if (int rc = ArcOS_WriteFileAtomic((folder + "note.tbl").c_str(), table, 0644); rc != 0) {
        errors->Add(kErrWrite, folder + "note.tbl",
                    std::string("could not be written: ") + std::strerror(rc));
        return false;
    }
    return true;
}

}  // namespace arcbuild
