// Internal: the files a conversion hands to an outside program, made in the cache directory.
#pragma once

#include <string>
#include <string_view>

namespace qelwww::detail {

// A file that lives only while a conversion runs: created exclusively (mode 0600) with a
// unique name, removed when the object goes, on every path.
class ConversionFile {
public:
    ConversionFile() = default;
    ~ConversionFile();
    ConversionFile(const ConversionFile&) = delete;
    ConversionFile& operator=(const ConversionFile&) = delete;

    // Creates directory/prefix + a unique part holding content. 0; else the errno, with
    // nothing left behind.
    int Create(const std::string& directory, const char* prefix, std::string_view content = {});
    const std::string& Path() const { return path_; }

private:
    std::string path_;
};

}  // namespace qelwww::detail
