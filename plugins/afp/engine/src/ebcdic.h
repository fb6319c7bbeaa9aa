// ebcdic.h - translation of the text in AFP presentation text.
#pragma once

namespace knvw {

enum class EbcdicPage { Cp500, Cp37 };

// The Latin-1 character of an EBCDIC byte (controls map to controls).
unsigned char EbcdicToLatin1(unsigned char byte, EbcdicPage page);

}  // namespace knvw
