// tiff_builder.h - TIFF files for the tests: well-formed ones through libtiff, broken
// ones byte by byte, and a session that opens them through the library.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "zypm.h"

namespace zypm_test {

// One page for libtiff to write; pixels row by row as libtiff takes them.
struct PageSpec {
    uint32_t width = 1, height = 1;
    uint16_t bits = 8, samples = 1, photometric = 1 /* min-is-black */, compression = 1;
    std::vector<uint8_t> pixels = {};        // empty: zeros
    uint32_t rowsPerStrip = 0;               // 0: one strip
    float xResolution = 0, yResolution = 0;  // 0: no tag
    uint16_t resolutionUnit = 2;             // inch
};
void WriteTiff(const std::string& path, const std::vector<PageSpec>& pages);

// A little-endian classic TIFF assembled by hand: directories of 12-byte entries.
struct Entry {
    uint16_t tag, type;
    uint32_t count, value;
};
class RawTiff {
public:
    // Appends bytes, returns their offset.
    uint32_t Data(const std::vector<uint8_t>& bytes);
    // Appends a directory; its next-directory offset is patched by Link or stays 0.
    uint32_t Directory(const std::vector<Entry>& entries);
    void Link(uint32_t directory, uint32_t next);
    void SetFirst(uint32_t directory);
    std::vector<uint8_t> bytes{'I', 'I', 42, 0, 0, 0, 0, 0};

private:
    std::vector<std::pair<uint32_t, uint32_t>> nextFields_;  // directory -> offset of its next field
};
// The entries of a 1-row, 8-bit grey page whose one strip lies at `strip`.
std::vector<Entry> GreyEntries(uint32_t width, uint32_t height, uint32_t strip, uint32_t stripBytes);
void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes);

// A file in the test's temporary directory.
std::string TempPath(const std::string& name);

// Environment, document and view over the library; frees them in order.
class Session {
public:
    Session();
    ~Session();
    int Add(const std::string& path, int32_t position = -1);
    ZypmPage Lock(int32_t index);  // fails the test when the lock fails
    void Unlock(ZypmPage page);
    int Show();  // the view shows the document
    ZypmEnv environment = nullptr;
    ZypmDoc document = nullptr;
    ZypmView view = nullptr;
};

}  // namespace zypm_test
