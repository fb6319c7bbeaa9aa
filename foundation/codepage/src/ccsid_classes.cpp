// ccsid_classes.cpp - which family a CCSID belongs to.
#include <algorithm>
#include <span>

#include "arc_codepage.h"

namespace {

constexpr int32_t kMixedEbcdic[] = {930, 933, 935, 937, 939, 1388};

// Single-byte and double-byte EBCDIC; 1140 to 1149 and the mixed ones are added below.
constexpr int32_t kEbcdic[] = {37,  256, 273, 274, 275,  277,  278,  280,  282,  284,  285,  290, 297,
                               300, 420, 423, 424, 500,  833,  834,  835,  836,  837,  838,  870, 871,
                               875, 880, 918, 924, 1025, 1026, 1027, 1047, 1097, 1112, 1122, 1123};

constexpr int32_t kDoubleByte[] = {300, 301,  834,  835,  836,  837,  927,  932,  934,  936, 938,
                                   941, 942,  944,  946,  947,  948,  951,  952,  955,  960, 963,
                                   971, 1351, 1380, 1382, 5037, 5048, 5049, 5067, 5478, 9145};

constexpr int32_t kMultiByte[] = {942, 943, 946,  948,  949,  950,  954,  961,
                                  964, 970, 1350, 1363, 1381, 1383, 1386, 5039};

bool Contains(std::span<const int32_t> list, int32_t ccsid) {
    return std::find(list.begin(), list.end(), ccsid) != list.end();
}

}  // namespace

int ArcICONV_IsUcs2Ccsid(int32_t ccsid) { return ccsid == 1200 || ccsid == 13488; }

int ArcICONV_IsUtf8Ccsid(int32_t ccsid) { return ccsid == 1208; }

int ArcICONV_IsMixedEbcdicCcsid(int32_t ccsid) { return Contains(kMixedEbcdic, ccsid); }

int ArcICONV_IsEbcdicCcsid(int32_t ccsid) {
    return Contains(kEbcdic, ccsid) || (ccsid >= 1140 && ccsid <= 1149) || ArcICONV_IsMixedEbcdicCcsid(ccsid);
}

int ArcICONV_IsAsciiCcsid(int32_t ccsid) {
    return !ArcICONV_IsEbcdicCcsid(ccsid) && !ArcICONV_IsUcs2Ccsid(ccsid) && !ArcICONV_IsUtf8Ccsid(ccsid);
}

int ArcICONV_IsDoubleByteCcsid(int32_t ccsid) {
    return Contains(kDoubleByte, ccsid) || ArcICONV_IsUcs2Ccsid(ccsid) || ArcICONV_IsUtf8Ccsid(ccsid);
}

int ArcICONV_IsMultiByteCcsid(int32_t ccsid) {
    return Contains(kMultiByte, ccsid) || ArcICONV_IsDoubleByteCcsid(ccsid);
}

int ArcICONV_IsSingleByteCcsid(int32_t ccsid) {
    return !ArcICONV_IsDoubleByteCcsid(ccsid) && !ArcICONV_IsMultiByteCcsid(ccsid) &&
           !ArcICONV_IsMixedEbcdicCcsid(ccsid);
}
