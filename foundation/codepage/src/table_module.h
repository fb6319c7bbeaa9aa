// table_module.h - the table converter, shared with the pair module's fast paths.
#pragma once

#include <string>
#include <vector>

#include "converter.h"
#include "modifiers.h"
#include "table_cache.h"

namespace qel::codepage {

class TableConverter final : public ArcUconvConverter {
public:
    TableConverter(const CachedTable* table, bool toUcs, const Modifiers& modifiers,
                   std::vector<uint8_t> subBytes);

    long Convert(const uint8_t** input, size_t* inputLeft, uint8_t** output, size_t* outputLeft) override;
    long Flush(uint8_t** output, size_t* outputLeft) override;
    void Reset() override { doubleByte_ = false; }
    int State() const override { return doubleByte_ ? 1 : 0; }
    void SetState(int state) override { doubleByte_ = state != 0; }
    int Close(ArcIconvContext* context) override;

    const TableData& Data() const { return table_->data; }
    bool ToUcs() const { return toUcs_; }
    int SubMode() const { return modifiers_.sub; }
    bool Swapped() const { return modifiers_.swapInput || modifiers_.swapOutput; }
    const std::vector<uint8_t>& SubBytes() const { return subBytes_; }
    // Off: single-byte targets go through the two-level table like every other type.
    // The equivalence tests compare both ways.
    void UseByteMap(bool on) { useByteMap_ = on; }

private:
    long ToUcs2(const uint8_t** input, size_t* inputLeft, uint8_t** output, size_t* outputLeft);
    long FromUcs2(const uint8_t** input, size_t* inputLeft, uint8_t** output, size_t* outputLeft);
    long FromUcs2Bytes(const uint8_t** input, size_t* inputLeft, uint8_t** output, size_t* outputLeft);
    long Fail(int code) {
        error = code;
        return kConvertFailed;
    }

    const CachedTable* table_;
    const bool toUcs_;
    const Modifiers modifiers_;
    const std::vector<uint8_t> subBytes_;
    bool doubleByte_ = false;  // type 4 shift state
    bool useByteMap_ = true;
};

}  // namespace qel::codepage
