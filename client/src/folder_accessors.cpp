// The small accessors of an open folder: fields, default texts of criteria, flag bits,
// segment entries and date formats.
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <string>

#include "arc_datetime.h"
#include "folder_criteria.h"
#include "qel_client.h"

namespace {

constexpr uint32_t kBetween = 0x400;
constexpr uint32_t kNotBetween = 0x800;

// The default value as the criterion shows it.
std::string DefaultText(const CsXdrFolderField& field, const CsXdrValue& value) {
    switch (value.type) {
        case 'S':
        case 'T': return value.v.text != nullptr ? value.v.text : "";
        case 'D': {
            std::string text;
            FormatDecimal(&text, field.user.precision, value.v.real);
            return text;
        }
        case 'B':
        case 'I':
        case 'N': {
            const int64_t number = value.type == 'B'   ? value.v.big
                                   : value.type == 'I' ? value.v.integer
                                                       : value.v.small;
            if (qelclient::IsDateField(field)) {
                ArcDTValue date;
                date.value = number;
                date.type = field.type[1];
                date.format = field.user.dateFormat;
                char text[ARC_DT_TEXT_MAX];
                return ArcDT_FormatValue(text, &date) != nullptr ? text : "";
            }
            char text[32];
            std::snprintf(text, sizeof text, "%" PRId64, number);
            return text;
        }
        default: return "";
    }
}

}  // namespace

const CsXdrFolderField* Folder_GetField(const OpenFolder* folder, int index) {
    if (folder == nullptr || folder->definition == nullptr || index < 0 || index >= folder->fieldCount)
        return nullptr;
    return &folder->definition->fields[index];
}

const char* Folder_GetCriterionText(ClientSession* session, OpenFolder* folder, int field, int which) {
    static const char kEmpty[] = "";
    const CsXdrFolderField* def = Folder_GetField(folder, field);
    if (session == nullptr || def == nullptr || (which != 0 && which != 1)) return kEmpty;
    if (!(def->flags & FOLDER_FIELD_HAS_DEFAULT)) return kEmpty;
    bool offered = false;
    for (int i : folder->criteriaOrder) offered = offered || i == field;
    if (!offered) return kEmpty;
    const uint32_t op = folder->criteria[static_cast<size_t>(field)].defaultOperator;
    if (which == 1 && op != kBetween && op != kNotBetween) return kEmpty;
    session->textBuffer = DefaultText(*def, def->defaults[which]);
    return session->textBuffer.c_str();
}

bool Folder_HasFlag16(const OpenFolder* folder) {
    return folder != nullptr && folder->definition != nullptr && (folder->definition->flags & 0x10) != 0;
}

bool Folder_HasFlag80(const OpenFolder* folder) {
    return folder != nullptr && folder->definition != nullptr && (folder->definition->flags & 0x80) != 0;
}

const char* Folder_FormatSegmentEntry(ClientSession* session, const ClientSegmentRow* row, int kind) {
    static const char kEmpty[] = "";
    if (session == nullptr || row == nullptr) return kEmpty;
    session->textBuffer = qelclient::SegmentEntryText(*row, kind);
    return session->textBuffer.c_str();
}

int Folder_GetDateFormats(const OpenFolder* folder, int field, std::string* format, char* kind,
                          std::string* displayFormat, char* displayKind) {
    const CsXdrFolderField* def = Folder_GetField(folder, field);
    if (def == nullptr || !qelclient::IsDateField(*def)) return -1;
    const CsFolderFieldUser& user = def->user;
    if (format != nullptr) format->assign(user.dateFormat, strnlen(user.dateFormat, sizeof user.dateFormat));
    if (kind != nullptr) *kind = def->type[1];
    if (displayFormat != nullptr)
        displayFormat->assign(user.displayFormat, strnlen(user.displayFormat, sizeof user.displayFormat));
    if (displayKind != nullptr) *displayKind = def->type[1];
    return 0;
}
