// hit_pack.cpp - a hit laid out as one allocation, and freeing hits.
//
// Block: [extra bytes, rounded up to 8][CsXdrHitRow][CsXdrObjectRef, when the hit has
// one][one CsXdrValue per field][object name and slot texts, each terminated].
// The block is built in a staging buffer with offsets and only then copied into its
// allocation, so a reallocation that moves the block leaves no pointer behind: every
// pointer is set from the final base.
#include "qel_cs.h"
#include "qel_cswire.h"

#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

constexpr size_t kAlign = 8;
// A packed hit never grows past this; it bounds the size arithmetic.
constexpr size_t kBlockMax = size_t{1} << 30;

size_t HeadBytes(int extra) {
    if (extra <= 0) return 0;
    return (static_cast<size_t>(extra) + kAlign - 1) / kAlign * kAlign;
}

bool IsText(char type) { return type == 'S' || type == 'T'; }

// The block being laid out: bytes, and where each pointer of the final block must point.
struct Layout {
    std::vector<unsigned char> bytes;
    size_t hit = 0;
    size_t object = 0;  // 0: no object reference
    size_t slots = 0;
    size_t slotCount = 0;
    size_t objectName = 0;          // 0: none
    std::vector<size_t> slotTexts;  // per slot, 0: none
};

bool Append(Layout& layout, const char* text, size_t* at) {
    const size_t length = std::strlen(text) + 1;
    if (length > kBlockMax - layout.bytes.size()) return false;
    *at = layout.bytes.size();
    layout.bytes.insert(layout.bytes.end(), text, text + length);
    return true;
}

// Stages hit (which may point into the block being replaced) after head extra bytes.
// false when the block would pass its bound.
bool Stage(const CsXdrApplGroup* group, const CsXdrHitRow& hit, const unsigned char* extraBytes, size_t head,
           Layout& layout) {
    layout.slotCount = group->fieldCount;
    layout.hit = head;
    size_t next = head + sizeof(CsXdrHitRow);
    if (hit.object != nullptr) {
        layout.object = next;
        next += (sizeof(CsXdrObjectRef) + kAlign - 1) / kAlign * kAlign;
    }
    layout.slots = next;
    next += layout.slotCount * sizeof(CsXdrValue);
    layout.bytes.assign(next, 0);
    if (extraBytes != nullptr && head > 0) std::memcpy(layout.bytes.data(), extraBytes, head);

    CsXdrHitRow record = hit;
    record.object = nullptr;
    record.values = nullptr;
    record.valueCount = static_cast<uint16_t>(layout.slotCount);
    std::memcpy(layout.bytes.data() + layout.hit, &record, sizeof record);
    if (hit.object != nullptr) {
        CsXdrObjectRef object = *hit.object;
        object.name = nullptr;
        std::memcpy(layout.bytes.data() + layout.object, &object, sizeof object);
        if (hit.object->name != nullptr && !Append(layout, hit.object->name, &layout.objectName))
            return false;
    }
    layout.slotTexts.assign(layout.slotCount, 0);
    for (size_t i = 0; i < hit.valueCount && hit.values != nullptr; ++i) {
        CsXdrValue value = hit.values[i];
        if (IsText(value.type)) {
            if (value.v.text != nullptr && !Append(layout, value.v.text, &layout.slotTexts[i])) return false;
            value.v.text = nullptr;
        }
        std::memcpy(layout.bytes.data() + layout.slots + i * sizeof(CsXdrValue), &value, sizeof value);
    }
    return true;
}

// Copies the staged bytes into block and sets every pointer from its base.
CsXdrHitRow* Settle(const Layout& layout, unsigned char* block) {
    std::memcpy(block, layout.bytes.data(), layout.bytes.size());
    auto* hit = reinterpret_cast<CsXdrHitRow*>(block + layout.hit);
    hit->values = reinterpret_cast<CsXdrValue*>(block + layout.slots);
    if (layout.object != 0) {
        hit->object = reinterpret_cast<CsXdrObjectRef*>(block + layout.object);
        hit->object->name =
            layout.objectName != 0 ? reinterpret_cast<char*>(block + layout.objectName) : nullptr;
    }
    for (size_t i = 0; i < layout.slotCount; ++i)
        if (layout.slotTexts[i] != 0)
            hit->values[i].v.text = reinterpret_cast<char*>(block + layout.slotTexts[i]);
    return hit;
}

}  // namespace

void* CsPackedHitBlock(CsXdrHitRow* hit, int extra) {
    return hit == nullptr ? nullptr : reinterpret_cast<unsigned char*>(hit) - HeadBytes(extra);
}

void CsFreePackedHit(CsXdrHitRow* hit, int extra) { std::free(CsPackedHitBlock(hit, extra)); }

int CsPackHit(const CsXdrApplGroup* group, CsXdrHitRow** hit, int extra, int mode) {
    if (group == nullptr || hit == nullptr || mode < CS_PACK_FRESH || mode > CS_PACK_GROW) return CS_FAILED;
    if (group->fieldCount > 0 && group->fields == nullptr) return CS_FAILED;
    const size_t head = HeadBytes(extra);
    if (head > kBlockMax) return CS_FAILED;
    Layout layout;
    if (mode == CS_PACK_FRESH) {
        CsXdrHitRow empty{};
        if (!Stage(group, empty, nullptr, head, layout)) return CS_FAILED;
        auto* block = static_cast<unsigned char*>(std::malloc(layout.bytes.size()));
        if (block == nullptr) return CS_NO_MEMORY;
        *hit = Settle(layout, block);
        return CS_OK;
    }
    CsXdrHitRow* in = *hit;
    if (in == nullptr) return CS_FAILED;
    if (in->valueCount > group->fieldCount) return CS_FAILED;
    if (mode == CS_PACK_COPY) {
        if (!Stage(group, *in, nullptr, head, layout)) return CS_FAILED;
        auto* block = static_cast<unsigned char*>(std::malloc(layout.bytes.size()));
        if (block == nullptr) return CS_NO_MEMORY;
        *hit = Settle(layout, block);
        return CS_OK;
    }
    auto* old = static_cast<unsigned char*>(CsPackedHitBlock(in, extra));
    if (!Stage(group, *in, old, head, layout)) return CS_FAILED;
    auto* block = static_cast<unsigned char*>(std::realloc(old, layout.bytes.size()));
    if (block == nullptr) return CS_NO_MEMORY;
    *hit = Settle(layout, block);
    return CS_OK;
}

void CsFreeHit(const CsXdrApplGroup*, CsXdrHitRow* hit) {
    if (hit == nullptr) return;
    // The slots say their own types, so the codec frees them without the group.
    QelXdr_Free(CsXdr_HitRow, hit);
    std::free(hit);
}
