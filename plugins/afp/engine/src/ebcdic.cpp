// ebcdic.cpp - EBCDIC code pages 500 and 37 to Latin-1 through the code-page library's
// built-in tables (both map every byte).
#include "ebcdic.h"

#include "arc_codepage.h"

namespace knvw {

unsigned char EbcdicToLatin1(unsigned char byte, EbcdicPage page) {
    static const uint8_t* const cp500 = ArcICONV_EbcdicToLatin1Table(500);
    static const uint8_t* const cp37 = ArcICONV_EbcdicToLatin1Table(37);
    return (page == EbcdicPage::Cp37 ? cp37 : cp500)[byte];
}

}  // namespace knvw
