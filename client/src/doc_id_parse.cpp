// Rebuilding a hit of the open folder from its document id (docs/document-ids.md).
// The reader is strict: anything the writer would not have written is no document.
#include <array>
#include <climits>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "arc_compress.h"
#include "doc_id_text.h"
#include "hit_links.h"

namespace qelclient {
namespace {

// What the id says, read and checked before anything is allocated.
struct DocIdParts {
    int groupIndex = -1;
    const CsXdrApplEntry* application = nullptr;
    std::string name;
    std::string documentName;
    int64_t words[4] = {};
    int64_t notes = 0;
    int64_t compression = 0;
    int64_t resourceId = 0;
    int64_t nodes[2] = {};
    std::optional<std::string> attributeText;
    std::vector<CsXdrValue> values;  // texts point into texts
    std::vector<std::string> texts;
};

// Step 1: the thirteen items of the item list. A '-' that starts an item is its minus
// sign; every item holds at least one byte.
bool SplitItems(std::string_view list, std::array<std::string_view, kDocIdItemCount>* items) {
    size_t at = 0;
    for (int n = 0; n < kDocIdItemCount; ++n) {
        if (n > 0) {
            if (at >= list.size() || list[at] != kDocIdItemSeparator) return false;
            ++at;
        }
        const size_t start = at;
        if (at < list.size() && list[at] == kDocIdItemSeparator) ++at;
        while (at < list.size() && list[at] != kDocIdItemSeparator) ++at;
        if (at == start) return false;
        (*items)[static_cast<size_t>(n)] = list.substr(start, at - start);
    }
    return at == list.size();
}

bool ReadText(std::string_view item, size_t max, std::string* out) {
    return ReadDocIdText(item, out) && !out->empty() && out->size() <= max;
}

// Item 4 or a value: the byte kDocIdEmpty alone is the empty text.
bool ReadOptionalText(std::string_view item, size_t max, std::string* out) {
    if (item.size() == 1 && item[0] == kDocIdEmpty) {
        out->clear();
        return true;
    }
    return ReadText(item, max, out);
}

bool ReadItems(const CsXdrFolder& folder, std::string_view list, DocIdParts* parts) {
    std::array<std::string_view, kDocIdItemCount> items;
    if (!SplitItems(list, &items)) return false;
    int64_t groupId = 0, applicationId = 0;
    if (!ReadDocIdInteger(items[0], 0, UINT32_MAX, &groupId) ||
        !ReadDocIdInteger(items[1], 0, UINT32_MAX, &applicationId))
        return false;
    // Step 2: the identifiers match by their low 16 bits.
    parts->groupIndex = FindDocIdGroup(folder, static_cast<uint32_t>(groupId));
    if (parts->groupIndex < 0) return false;
    parts->application =
        FindDocIdApplication(folder.groups[parts->groupIndex], static_cast<uint32_t>(applicationId));
    if (parts->application == nullptr) return false;
    if (!ReadText(items[2], kDocIdNameMax, &parts->name) ||
        !ReadOptionalText(items[3], kDocIdDocNameMax, &parts->documentName))
        return false;
    for (size_t i = 0; i < 4; ++i)
        if (!ReadDocIdInteger(items[4 + i], INT32_MIN, INT32_MAX, &parts->words[i])) return false;
    if (!ReadDocIdInteger(items[8], 0, UCHAR_MAX, &parts->notes) ||
        (parts->notes != kDocIdNotesYes && parts->notes != kDocIdNotesNo &&
         parts->notes != kDocIdNotesUnknown))
        return false;
    if (!ReadDocIdInteger(items[9], 1, UCHAR_MAX, &parts->compression) ||
        ArcCMP_IsCompressType(static_cast<ArcCmpType>(parts->compression)) < 0)
        return false;
    return ReadDocIdInteger(items[10], INT32_MIN, INT32_MAX, &parts->resourceId) &&
           ReadDocIdInteger(items[11], INT16_MIN, INT16_MAX, &parts->nodes[0]) &&
           ReadDocIdInteger(items[12], INT16_MIN, INT16_MAX, &parts->nodes[1]);
}

// The text a field takes: the application's fixed value for a field the group fixes.
const char* FixedText(const CsXdrFieldDef& field, const CsXdrApplEntry& application) {
    return (field.flags & CS_FIELD_GROUP_NAME) && application.value != nullptr ? application.value : nullptr;
}

bool ReadValue(const CsXdrFieldDef& field, std::string_view token, CsXdrValue* value, std::string* text) {
    int64_t number = 0;
    value->type = field.type;
    switch (field.type) {
        case 'B':
            if (!ReadDocIdInteger(token, INT64_MIN, INT64_MAX, &number)) return false;
            value->v.big = number;
            return true;
        case 'I':
            if (!ReadDocIdInteger(token, INT32_MIN, INT32_MAX, &number)) return false;
            value->v.integer = static_cast<int32_t>(number);
            return true;
        case 'N':
            if (!ReadDocIdInteger(token, INT16_MIN, INT16_MAX, &number)) return false;
            value->v.small = static_cast<int16_t>(number);
            return true;
        case 'D': return ReadDocIdDouble(token, &value->v.real);
        case 'S':
        case 'T': {
            const size_t max = field.textLength != 0 && field.textLength < CS_XDR_VALUE_TEXT_MAX
                                   ? field.textLength
                                   : CS_XDR_VALUE_TEXT_MAX;
            return ReadOptionalText(token, max, text);
        }
        default:
            // A slot of another type carries nothing; the writer gives it the empty text.
            value->type = 0;
            return token.size() == 1 && token[0] == kDocIdEmpty;
    }
}

// Step 6: one value per field of the group, each typed by its field.
bool ReadValues(const CsXdrApplGroup& group, const CsXdrApplEntry& application, std::string_view rest,
                bool withValues, DocIdParts* parts) {
    parts->values.assign(group.fieldCount, CsXdrValue{});
    parts->texts.assign(group.fieldCount, std::string());
    std::vector<std::string_view> tokens;
    if (withValues) {
        if (group.fieldCount == 0) {
            if (!rest.empty()) return false;
        } else {
            size_t at = 0;
            for (;;) {
                const size_t end = rest.find(kDocIdPartSeparator, at);
                tokens.push_back(rest.substr(at, end == std::string_view::npos ? end : end - at));
                if (end == std::string_view::npos) break;
                at = end + 1;
            }
            if (tokens.size() != group.fieldCount) return false;
        }
    }
    for (uint16_t i = 0; i < group.fieldCount; ++i) {
        const CsXdrFieldDef& field = group.fields[i];
        CsXdrValue& value = parts->values[i];
        std::string& text = parts->texts[i];
        if (withValues) {
            if (!ReadValue(field, tokens[i], &value, &text)) return false;
        } else {
            value.type = (field.type == 'B' || field.type == 'D' || field.type == 'I' || field.type == 'N' ||
                          field.type == 'S' || field.type == 'T')
                             ? field.type
                             : 0;
        }
        if (value.type == 'S' || value.type == 'T') {
            if (const char* fixed = FixedText(field, application)) text = fixed;
            value.v.text = nullptr;
        }
    }
    return true;
}

bool ReadDocId(const CsXdrFolder& folder, std::string_view text, bool withValues, DocIdParts* parts) {
    const size_t first = text.find(kDocIdPartSeparator);
    if (first == std::string_view::npos) return false;
    if (!ReadItems(folder, text.substr(0, first), parts)) return false;
    // Step 5: the attribute text runs to the next separator.
    std::string_view after = text.substr(first + 1);
    const size_t second = after.find(kDocIdPartSeparator);
    const std::string_view attribute = after.substr(0, second);
    std::string attributeText;
    if (!ReadOptionalText(attribute, SIZE_MAX, &attributeText)) return false;
    if (!attributeText.empty()) parts->attributeText = std::move(attributeText);
    std::string_view rest;
    if (second != std::string_view::npos)
        rest = after.substr(second + 1);
    else if (withValues)
        return false;
    const CsXdrApplGroup& group = folder.groups[parts->groupIndex];
    return ReadValues(group, *parts->application, rest, withValues, parts);
}

// Steps 3 and 4: a packed row of the group holding what the id said.
CsXdrHitRow* BuildRow(const CsXdrApplGroup& group, DocIdParts& parts) {
    CsXdrHitRow* row = nullptr;
    if (CsPackHit(&group, &row, -1, CS_PACK_FRESH) != CS_OK || row == nullptr) return nullptr;
    std::memcpy(row->segment, parts.name.c_str(), parts.name.size() + 1);
    row->noteFlag = static_cast<uint8_t>(parts.notes);
    CsXdrObjectRef object{};
    object.offset = static_cast<uint32_t>(parts.words[0]);
    object.length = static_cast<uint32_t>(parts.words[1]);
    object.compressedOffset = static_cast<uint32_t>(parts.words[2]);
    object.compressedLength = static_cast<uint32_t>(parts.words[3]);
    object.compression = static_cast<char>(parts.compression);
    object.resourceId = static_cast<uint32_t>(parts.resourceId);
    object.primaryNode = static_cast<uint16_t>(parts.nodes[0]);
    object.secondaryNode = static_cast<uint16_t>(parts.nodes[1]);
    object.name = parts.documentName.data();
    row->object = &object;
    for (uint16_t i = 0; i < row->valueCount && i < parts.values.size(); ++i) {
        row->values[i] = parts.values[i];
        if (parts.values[i].type == 'S' || parts.values[i].type == 'T')
            row->values[i].v.text = parts.texts[i].empty() ? nullptr : parts.texts[i].data();
    }
    // The row takes in the object and the texts, which live here until then.
    if (CsPackHit(&group, &row, -1, CS_PACK_GROW) != CS_OK) {
        row->object = nullptr;
        for (uint16_t i = 0; i < row->valueCount; ++i)
            if (row->values[i].type == 'S' || row->values[i].type == 'T') row->values[i].v.text = nullptr;
        CsFreePackedHit(row, -1);
        return nullptr;
    }
    return row;
}

}  // namespace
}  // namespace qelclient

using namespace qelclient;

namespace {

// The hit of a document id, placed into the folder's list: as its only hit, or after
// the hits it holds.
SearchHit* PlaceDocId(ClientSession* session, OpenFolder* folder, std::string_view text, bool withValues,
                      bool append) {
    if (session == nullptr || folder == nullptr || folder->definition == nullptr || folder->entry == nullptr)
        return nullptr;
    const CsXdrFolder& definition = *folder->definition;
    DocIdParts parts;
    if (!ReadDocId(definition, text, withValues, &parts)) return nullptr;
    const CsXdrApplGroup& group = definition.groups[parts.groupIndex];
    CsXdrHitRow* row = BuildRow(group, parts);
    if (row == nullptr) return nullptr;
    auto hit = std::make_unique<SearchHit>();
    hit->row = row;
    hit->groupIndex = parts.groupIndex;
    hit->group = &group;
    hit->application = parts.application;
    hit->attributeText = std::move(parts.attributeText);
    // Step 7: the rebuilt hit is the folder's only one (or its last one).
    if (!append) Folder_FreeHits(session, folder);
    SearchHit* result = hit.get();
    Folder_Select(session, folder->entry, std::move(hit), parts.groupIndex, -1);
    return result;
}

}  // namespace

SearchHit* Hit_ParseDocId(ClientSession* session, OpenFolder* folder, std::string_view text,
                          bool withValues) {
    return PlaceDocId(session, folder, text, withValues, false);
}

SearchHit* Hit_AppendDocId(ClientSession* session, OpenFolder* folder, std::string_view text,
                           bool withValues) {
    return PlaceDocId(session, folder, text, withValues, true);
}
