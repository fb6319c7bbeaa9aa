// Writing a hit as its document id: thirteen items, the attribute text and, when asked
// for, the field values (docs/document-ids.md).
#include <cstring>
#include <string>

#include "doc_id_text.h"

namespace qelclient {
namespace {

void AppendNumber(std::string* out, int64_t value) { *out += std::to_string(value); }

void AppendItem(std::string* out, int64_t value) {
    out->push_back(kDocIdItemSeparator);
    AppendNumber(out, value);
}

// An empty or absent text is written as the one byte kDocIdEmpty.
void AppendText(std::string* out, const char* text) {
    if (text == nullptr || *text == '\0')
        out->push_back(kDocIdEmpty);
    else
        AppendDocIdText(out, text);
}

// The value of field i as the row holds it, typed by the group's field.
void AppendValue(std::string* out, const CsXdrApplGroup& group, const CsXdrHitRow& row, uint16_t i) {
    const char type = group.fields[i].type;
    const CsXdrValue* slot = i < row.valueCount && row.values != nullptr ? &row.values[i] : nullptr;
    if (slot != nullptr && slot->type != type) slot = nullptr;
    switch (type) {
        case 'B': AppendNumber(out, slot ? slot->v.big : 0); break;
        case 'I': AppendNumber(out, slot ? slot->v.integer : 0); break;
        case 'N': AppendNumber(out, slot ? slot->v.small : 0); break;
        case 'D': AppendDocIdDouble(out, slot ? slot->v.real : 0.0); break;
        case 'S':
        case 'T': AppendText(out, slot ? slot->v.text : nullptr); break;
        default: AppendText(out, nullptr); break;
    }
}

std::string RowName(const CsXdrHitRow& row, const char* name) {
    std::string text = name != nullptr ? std::string(name)
                                       : std::string(row.segment, strnlen(row.segment, sizeof row.segment));
    if (text.empty()) text = kDocIdEmptyName;
    return text;
}

}  // namespace
}  // namespace qelclient

using namespace qelclient;

size_t Hit_FormatDocId(ClientSession*, const SearchHit* hit, const char* name, const int32_t* words,
                       bool withValues, std::string* out) {
    if (out == nullptr) return 0;
    out->clear();
    if (hit == nullptr || hit->row == nullptr || hit->group == nullptr) return 0;
    const CsXdrHitRow& row = *hit->row;
    const CsXdrApplGroup& group = *hit->group;
    const CsXdrObjectRef empty{};
    const CsXdrObjectRef& object = row.object != nullptr ? *row.object : empty;

    AppendNumber(out, group.number);
    AppendItem(out, hit->application != nullptr ? hit->application->number : 0);
    out->push_back(kDocIdItemSeparator);
    AppendDocIdText(out, RowName(row, name));
    out->push_back(kDocIdItemSeparator);
    AppendText(out, object.name);
    // Location words are signed 32-bit numbers in the id.
    const int32_t stored[4] = {static_cast<int32_t>(object.offset), static_cast<int32_t>(object.length),
                               static_cast<int32_t>(object.compressedOffset),
                               static_cast<int32_t>(object.compressedLength)};
    for (int i = 0; i < 4; ++i) AppendItem(out, words != nullptr ? words[i] : stored[i]);
    AppendItem(out, row.noteFlag == kDocIdNotesYes ? kDocIdNotesYes : kDocIdNotesUnknown);
    // A row that never named its compression holds its data as stored: 'N'.
    AppendItem(out, object.compression != 0 ? static_cast<unsigned char>(object.compression) : 'N');
    AppendItem(out, static_cast<int32_t>(object.resourceId));
    AppendItem(out, static_cast<int16_t>(object.primaryNode));
    AppendItem(out, static_cast<int16_t>(object.secondaryNode));

    out->push_back(kDocIdPartSeparator);
    AppendText(out, hit->attributeText ? hit->attributeText->c_str() : nullptr);
    if (withValues) {
        out->push_back(kDocIdPartSeparator);
        for (uint16_t i = 0; i < group.fieldCount; ++i) {
            if (i > 0) out->push_back(kDocIdPartSeparator);
            AppendValue(out, group, row, i);
        }
    }
    return out->size();
}
