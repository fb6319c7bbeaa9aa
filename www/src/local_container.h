// Internal: the viewer container of a local AFP file, as the CGI program's command line
// writes it (docs/container.md, docs/cgi-program.md).
#pragma once

#include <string>
#include <string_view>

namespace qelwww::detail {

// A file's bytes as they go into the container, with their compression letter.
struct PackedPiece {
    char letter = 'N';
    std::string bytes;
};

// Reads a whole file and packs it: the letter the chooser gives for its size ('N' below
// 200 bytes), the bytes compressed with it; stored ('N') when that letter is 'N' or the
// compressed bytes are not smaller. False when the file cannot be read or compressed.
bool PackFile(const std::string& path, PackedPiece* piece);
// The same for bytes in memory. False when they cannot be compressed.
bool PackBytes(std::string bytes, PackedPiece* piece);

// The whole container: lead (segment -1), header (no information piece, type 'A',
// orientation 0, number 100, floats 0, 'M', 'B', 'W'), the resource piece (absent when
// empty, letter 'N') and the document piece. Empty when the resources do not fit the
// header's 32-bit length.
std::string LocalContainer(const PackedPiece& resources, const PackedPiece& document);

}  // namespace qelwww::detail
