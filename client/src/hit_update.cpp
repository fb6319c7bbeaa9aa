// New index values for a hit: each value checked by its field, the update sent, and the
// updated hit put where the old one was (docs/document-ids.md).
#include <algorithm>
#include <cctype>
#include <cfloat>
#include <climits>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "arc_datetime.h"
#include "arc_platform.h"
#include "hit_links.h"
#include "library_state.h"
#include "sql_values.h"
#include "status_area.h"

namespace qelclient {
namespace {

// The operation number of an index update in the session's status table.
constexpr int kUpdateOperation = 43;
// Precision allowed for a 'D' value that no folder field describes.
constexpr int kFreePrecision = 15;

constexpr int kCodeTextTooLong = 40;
constexpr int kCodeBadInteger = 42;
constexpr int kCodeBadDecimal = 43;
constexpr int kCodeDateOutOfRange = 44;

struct PackedRowDeleter {
    void operator()(CsXdrHitRow* row) const { CsFreePackedHit(row, -1); }
};
using PackedRowPtr = std::unique_ptr<CsXdrHitRow, PackedRowDeleter>;

// Why a value was refused: the code and the numbers or texts of its inserts.
struct Refusal {
    int code = 0;
    std::vector<ClientInsert> numbers;
    std::vector<std::string> texts;
};

std::string_view TrimBlanks(std::string_view text) {
    while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
    while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
    return text;
}

// The folder field that maps to group field `field` of the folder's group, or null.
const CsXdrFolderField* MappedField(const CsXdrFolder& folder, int groupIndex, int field) {
    const CsXdrFieldMap& map = folder.maps[groupIndex];
    for (uint16_t i = 0; i < map.count && i < folder.fieldCount; ++i)
        if (map.numbers[i] == field) return &folder.fields[i];
    return nullptr;
}

void TypeRange(char type, int64_t* min, int64_t* max) {
    switch (type) {
        case 'N': *min = INT16_MIN, *max = INT16_MAX; break;
        case 'I': *min = INT32_MIN, *max = INT32_MAX; break;
        default: *min = INT64_MIN, *max = INT64_MAX; break;
    }
}

void StoreInteger(CsXdrValue* slot, char type, int64_t value) {
    slot->type = type;
    if (type == 'N')
        slot->v.small = static_cast<int16_t>(value);
    else if (type == 'I')
        slot->v.integer = static_cast<int32_t>(value);
    else
        slot->v.big = value;
}

std::string DateText(int64_t value, char kind, const char* format) {
    ArcDTValue date;
    date.value = value;
    date.format = format;
    date.type = kind;
    char text[ARC_DT_TEXT_MAX];
    return ArcDT_FormatValue(text, &date) != nullptr ? std::string(text) : std::to_string(value);
}

// A date or time value: by the folder field's input format, else as keyword input.
bool CheckDate(const CsXdrFieldDef& def, const CsXdrFolderField* field, char kind, const char* text,
               CsXdrValue* slot, Refusal* refusal) {
    const char* format = field != nullptr ? field->user.dateFormat : "";
    int64_t min = 0, max = 0;
    TypeRange(def.type, &min, &max);
    if (field != nullptr) {
        min = std::max(min, field->user.minimum);
        max = std::min(max, field->user.maximum);
    }
    const char unit[2] = {field != nullptr && field->user.defaultUnit ? field->user.defaultUnit : 'D', '\0'};
    ArcDateTime value = 0, latest = 0;
    const bool read = ArcDT_ParseValue(text, format, kind, &value, nullptr) == 0 ||
                      ParseDateInput(text, unit, kind, format, &value, &latest) == 0;
    if (!read || value < min || value > max) {
        refusal->code = kCodeDateOutOfRange;
        refusal->texts = {DateText(min, kind, format), DateText(max, kind, format)};
        return false;
    }
    // 0 and 1 both stand for no date; the index keeps 1.
    StoreInteger(slot, def.type, value < 2 ? 1 : value);
    return true;
}

bool CheckInteger(const CsXdrFieldDef& def, const CsXdrFolderField* field, std::string_view text,
                  CsXdrValue* slot, Refusal* refusal) {
    int64_t min = 0, max = 0;
    TypeRange(def.type, &min, &max);
    if (field != nullptr) {
        min = std::max(min, field->user.minimum);
        max = std::min(max, field->user.maximum);
    }
    int64_t value = 0;
    if (!ReadInteger(TrimBlanks(text), min, max, &value)) {
        refusal->code = kCodeBadInteger;
        refusal->numbers = {{nullptr, min, CLIENT_INSERT_NUMBER}, {nullptr, max, CLIENT_INSERT_NUMBER}};
        return false;
    }
    StoreInteger(slot, def.type, value);
    return true;
}

bool CheckDecimal(const CsXdrFolderField* field, std::string_view text, CsXdrValue* slot, Refusal* refusal) {
    const double min = field != nullptr ? field->user.minimumReal : -DBL_MAX;
    const double max = field != nullptr ? field->user.maximumReal : DBL_MAX;
    const int precision = field != nullptr ? field->user.precision : kFreePrecision;
    double value = 0;
    if (!ReadDecimal(TrimBlanks(text), Library().options.decimalChar, min, max, precision, &value)) {
        refusal->code = kCodeBadDecimal;
        refusal->numbers = {{nullptr, precision, CLIENT_INSERT_NUMBER}};
        return false;
    }
    slot->type = 'D';
    slot->v.real = value;
    return true;
}

// A text within the field's length, put in the field's case (single-byte letters only,
// so double-byte characters stay as they are).
bool CheckText(const CsXdrFieldDef& def, const char* text, std::string* kept, Refusal* refusal) {
    const size_t max = def.textLength != 0 && def.textLength < CS_XDR_VALUE_TEXT_MAX ? def.textLength
                                                                                     : CS_XDR_VALUE_TEXT_MAX;
    std::string value = text;
    if (value.size() > max) {
        refusal->code = kCodeTextTooLong;
        refusal->numbers = {{nullptr, static_cast<int64_t>(max), CLIENT_INSERT_NUMBER}};
        return false;
    }
    for (size_t i = 0; i < value.size(); ++i) {
        const auto c = static_cast<unsigned char>(value[i]);
        if (ArcOS_IsDBCSLeadByte(c) && i + 1 < value.size()) {
            ++i;
            continue;
        }
        if (def.textCase == 'L')
            value[i] = static_cast<char>(std::tolower(c));
        else if (def.textCase == 'U')
            value[i] = static_cast<char>(std::toupper(c));
    }
    *kept = std::move(value);
    return true;
}

// Step 3 for one value: the slot of the new row takes it, or the refusal says why not.
bool CheckValue(const CsXdrFolder& folder, int groupIndex, int field, const char* text, CsXdrHitRow* row,
                std::string* kept, Refusal* refusal) {
    const CsXdrApplGroup& group = folder.groups[groupIndex];
    if (field < 0 || field >= group.fieldCount || field >= row->valueCount || text == nullptr) return false;
    const CsXdrFieldDef& def = group.fields[field];
    const CsXdrFolderField* mapped = MappedField(folder, groupIndex, field);
    CsXdrValue* slot = &row->values[field];
    switch (def.type) {
        case 'B':
        case 'I':
        case 'N': {
            const char kind = mapped != nullptr && mapped->type[1] != 0 ? mapped->type[1] : def.dateType;
            if (kind != 0) return CheckDate(def, mapped, kind, text, slot, refusal);
            return CheckInteger(def, mapped, text, slot, refusal);
        }
        case 'D': return CheckDecimal(mapped, text, slot, refusal);
        case 'S':
        case 'T':
            if (!CheckText(def, text, kept, refusal)) return false;
            slot->type = def.type;
            slot->v.text = kept->data();
            return true;
        default: return false;
    }
}

void Refuse(ClientStatus* status, ClientSession* session, const Refusal& refusal, const char* value) {
    if (refusal.code == 0) {
        Session_MakeLocalStatus(status, session, 0, nullptr);
        return;
    }
    ClientStatusArea& area = AreaOf(session);
    ClearInserts(area);
    size_t n = 0;
    for (const std::string& text : refusal.texts) {
        area.texts[n] = text;
        area.inserts[n] = ClientInsert{area.texts[n].c_str(), 0, CLIENT_INSERT_TEXT};
        ++n;
    }
    for (const ClientInsert& number : refusal.numbers) area.inserts[n++] = number;
    // The refused text goes where the session's message text is shown.
    CsSetText(session->handle.serverMessage, CS_SERVER_MESSAGE_SIZE, value != nullptr ? value : "");
    SetStatus(status, area, CLIENT_SEV_ERROR, refusal.code, session->handle.serverMessage);
}

bool SameDocument(const SearchHit& a, const SearchHit& b) {
    return a.group == b.group && CsMatchDocId(a.group, a.row, b.row) == 0;
}

// Step 4: the place of the old hit counted in hits that name other documents.
int ReplacePosition(const FolderSessionEntry& list, const SearchHit& old) {
    int position = 0;
    for (const SearchHitPtr& hit : list.hits) {
        if (hit.get() == &old) break;
        if (!SameDocument(*hit, old)) ++position;
    }
    return position;
}

}  // namespace
}  // namespace qelclient

using namespace qelclient;

void Hit_UpdateIndexValues(ClientStatus* status, ClientSession* session, OpenFolder* folder, SearchHit** hit,
                           int count, const int* fields, const char* const* values, int* failing) {
    if (failing != nullptr) *failing = -1;
    if (status == nullptr) return;
    FolderSessionEntry* list = HitList(folder);
    SearchHit* old = hit != nullptr ? *hit : nullptr;
    if (session == nullptr || list == nullptr || folder->definition == nullptr || old == nullptr ||
        old->row == nullptr || old->group == nullptr || HitPosition(*list, old) < 0 || count < 0 ||
        (count > 0 && (fields == nullptr || values == nullptr))) {
        Session_MakeLocalStatus(status, session, 0, nullptr);
        return;
    }
    if (old->exitHit) {
        Session_MakeLocalStatus(status, session, 6, nullptr);
        return;
    }
    const CsXdrFolder& definition = *folder->definition;
    if (old->groupIndex < 0 || old->groupIndex >= definition.groupCount ||
        &definition.groups[old->groupIndex] != old->group) {
        Session_MakeLocalStatus(status, session, 0, nullptr);
        return;
    }
    // Step 2: the new row starts as a copy of the old one.
    CsXdrHitRow* copy = old->row;
    int rc = CsPackHit(old->group, &copy, -1, CS_PACK_COPY);
    if (rc != CS_OK) {
        Session_MakeStatus(status, session, rc, kUpdateOperation);
        return;
    }
    PackedRowPtr row(copy);
    // Accepted texts live here until the row takes them in.
    std::vector<std::string> kept(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) {
        Refusal refusal;
        if (!CheckValue(definition, old->groupIndex, fields[i], values[i], row.get(),
                        &kept[static_cast<size_t>(i)], &refusal)) {
            if (failing != nullptr) *failing = i;
            Refuse(status, session, refusal, values[i]);
            return;
        }
    }
    copy = row.release();
    rc = CsPackHit(old->group, &copy, -1, CS_PACK_GROW);
    row.reset(copy);
    if (rc != CS_OK) {
        Session_MakeStatus(status, session, rc, kUpdateOperation);
        return;
    }
    rc = CsUpdateDocIndex(&session->handle, old->group, old->row, row.get());
    Session_MakeStatus(status, session, rc, kUpdateOperation);
    if (rc != CS_OK) return;

    auto updated = std::make_unique<SearchHit>();
    updated->row = row.release();
    updated->groupIndex = old->groupIndex;
    updated->group = old->group;
    updated->application = old->application;
    updated->attributeText = old->attributeText;
    const int position = ReplacePosition(*list, *old);
    UnlinkHit(*list, old);  // freed here
    *hit = updated.get();
    LinkHit(*list, std::move(updated), position);
}
