// converter.h - what every converter module provides to the engine.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "arc_codepage.h"

namespace qel::codepage {

// Descriptor words every module carries: the version 10 and the mark "LC".
inline constexpr uint16_t kModuleVersion = 10;
inline constexpr uint16_t kModuleMark = 0x4C43;
inline constexpr uint32_t kFlagsComputed = 0x40000001;  // UTF-8 and table modules
inline constexpr uint32_t kFlagsPair = 0x40000000;

// Results of the modules' convert entries; -1 reports the error in *error.
inline constexpr long kConvertFailed = -1;

}  // namespace qel::codepage

struct ArcUconvConverter {
    explicit ArcUconvConverter(uint32_t moduleFlags) : flags(moduleFlags) {}
    virtual ~ArcUconvConverter() = default;
    ArcUconvConverter(const ArcUconvConverter&) = delete;
    ArcUconvConverter& operator=(const ArcUconvConverter&) = delete;

    // As ArcUCONV_Convert; on -1 the errno value is left in error.
    virtual long Convert(const uint8_t** input, size_t* inputLeft, uint8_t** output, size_t* outputLeft) = 0;
    // Writes what ends the text in the current state (shift-in); -1 with E2BIG.
    virtual long Flush(uint8_t** /*output*/, size_t* /*outputLeft*/) { return 0; }
    // Back to the initial state, writing nothing.
    virtual void Reset() {}
    // The shift state, saved and restored when a pair converter sets its input back.
    virtual int State() const { return 0; }
    virtual void SetState(int /*state*/) {}
    // Releases tables and inner converters; 0, or an errno.
    virtual int Close(ArcIconvContext* /*context*/) { return 0; }

    const uint16_t version = qel::codepage::kModuleVersion;
    const uint16_t mark = qel::codepage::kModuleMark;
    const uint32_t flags;
    int error = 0;       // the converter's own error number, copied to errno after converting
    long lastCount = 0;  // substitutions of the last convert call, also when it failed
};

namespace qel::codepage {

using ConverterPtr = std::unique_ptr<ArcUconvConverter>;

struct Modifiers;
// Module constructors; each returns null with *error set on failure.
ConverterPtr OpenUtf8Module(bool fromUtf8, int* error);
ConverterPtr OpenTableModule(ArcIconvContext* context, const char* tableName, bool toUcs, int* error);
// fastPaths false: always the general pair through UCS-2 slices, the reference the
// direct pairs are tested against.
ConverterPtr OpenPairModule(ArcIconvContext* context, const char* targetName, const char* sourceName,
                            int* error, bool fastPaths = true);

// "UCS-2"/"UCS2" and "UTF-8"/"UTF8" in any case, compared as whole names.
bool IsUcs2Name(const char* name);
bool IsUtf8Name(const char* name);

// Host-order unit from two bytes, swapped when asked.
inline uint16_t ReadUnit(const uint8_t* p, bool swap) {
    uint16_t unit;
    __builtin_memcpy(&unit, p, 2);
    return swap ? static_cast<uint16_t>(unit << 8 | unit >> 8) : unit;
}
inline void WriteUnit(uint8_t* p, uint16_t unit, bool swap) {
    if (swap) unit = static_cast<uint16_t>(unit << 8 | unit >> 8);
    __builtin_memcpy(p, &unit, 2);
}

}  // namespace qel::codepage
