// internal.h - the records both image libraries share. libzypmdln.so defines them
// and exports the zypm:: functions below for libzypmpn.so; nothing else includes this.
#pragma once

#include <cstddef>
#include <cstdint>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "zypm.h"

typedef struct tiff TIFF;

#define ZYPM_INTERNAL __attribute__((visibility("default")))

namespace zypm {

// What the tags of one directory say; filled when a file is added.
struct PageInfo {
    uint32_t directory = 0;          // index of the directory in its file
    uint32_t width = 0, height = 0;  // pixels as stored
    // The size the page is shown at: the pixels with the axis of the lower resolution
    // stretched to the higher one (a 204 x 98 dpi fax page shows in its true shape).
    uint32_t shownWidth = 0, shownHeight = 0;
    uint16_t bitsPerSample = 1, samplesPerPixel = 1;
    uint16_t compression = 1, photometric = 0;
    int32_t xDpi = 0, yDpi = 0;
    int32_t kind = ZYPM_KIND_GREY;
    uint16_t orientation = 1;
    bool tiled = false;
    int problem = ZYPM_OK;  // why the page cannot be decoded (from its tags), or ZYPM_OK
    std::string problemText;
};

// Collects libtiff's error texts of one open file.
struct TiffMessages {
    std::string last;
};

// An open TIFF file, kept open while a document holds it (a deleted file stays readable).
class TiffFile {
public:
    ~TiffFile();
    TIFF* tiff = nullptr;
    TiffMessages messages;
    std::mutex lock;  // libtiff's handle has one current directory
};

// A decoded page in one of three forms: bilevel pages one bit a pixel (rows of
// `bitStride` bytes, most significant bit first, a set bit black), grey pages one byte
// a pixel (white 255), every other page 0x00RRGGBB.
struct DecodedPage {
    enum class Form { Bits, Grey, Rgb };
    uint32_t width = 0, height = 0;
    Form form = Form::Grey;
    size_t bitStride = 0;
    std::vector<uint8_t> bits;
    std::vector<uint8_t> greyPixels;
    std::vector<uint32_t> rgbPixels;
    size_t Bytes() const { return bits.size() + greyPixels.size() + rgbPixels.size() * 4; }
};
using DecodedPtr = std::shared_ptr<const DecodedPage>;

// Least recently used decoded pages, bounded by bytes.
class PageCache {
public:
    explicit PageCache(size_t budget) : budget_(budget) {}
    DecodedPtr Find(uint64_t fileId, uint32_t directory);
    void Insert(uint64_t fileId, uint32_t directory, DecodedPtr page);
    void DropFile(uint64_t fileId);
    size_t Bytes() const { return bytes_; }
    size_t Count() const { return entries_.size(); }

private:
    struct Entry {
        uint64_t fileId;
        uint32_t directory;
        DecodedPtr page;
    };
    std::list<Entry> entries_;  // most recent first
    size_t budget_;
    size_t bytes_ = 0;
};

}  // namespace zypm

struct ZypmFileObject {
    ZypmEnv environment = nullptr;
    std::string path;
    bool added = false;
    uint64_t id = 0;  // unique in the process: the cache key
    std::shared_ptr<zypm::TiffFile> tiff;
};

// One page of a document: the file it lives in and its tags.
struct ZypmDocPage {
    std::shared_ptr<ZypmFileObject> file;
    zypm::PageInfo info;
};

struct ZypmDocObject {
    ZypmEnv environment = nullptr;
    std::vector<ZypmDocPage> pages;
    int viewers = 0;  // views that show the document
};

struct ZypmEnvObject {
    std::mutex lock;
    zypm::PageCache cache{ZYPM_CACHE_BYTES};
    std::vector<std::shared_ptr<ZypmFileObject>> looseFiles;  // made, not added yet
    int documents = 0;
    int views = 0;
};

struct ZypmSettingsObject {
    struct Slot {
        bool measured = false;
        zypm::PageInfo info;
    };
    std::vector<Slot> slots;
};

namespace zypm {

// Records the failure for ZypmLastMessage and returns the code.
ZYPM_INTERNAL int Fail(int code, const std::string& message);
ZYPM_INTERNAL void ClearMessage();
ZYPM_INTERNAL bool Initialised();
// The page decoded, from the environment's cache or decoded now; null with *code set.
ZYPM_INTERNAL DecodedPtr DecodedPageOf(const ZypmDocPage& page, int* code);
// A read-only page attribute (ZYPM_ATTR_WIDTH ... ZYPM_ATTR_COLOUR_KIND) from the
// page's tags; false for any other attribute.
ZYPM_INTERNAL bool TagAttribute(const PageInfo& info, uint32_t attribute, int32_t* value);
// Whether the page can be decoded within the caps (by its tags).
ZYPM_INTERNAL int CheckDecodable(const PageInfo& info);
// Opens a file for reading with the caps and the error capture set; null with *code set.
ZYPM_INTERNAL std::shared_ptr<TiffFile> OpenTiff(const std::string& path, int* code);
// Walks every directory of the file (tags only); appends the pages or fails.
ZYPM_INTERNAL int ScanPages(TiffFile& file, size_t pagesBefore, std::vector<PageInfo>* pages);
// Decodes one page; null with *code set.
ZYPM_INTERNAL DecodedPtr DecodePage(TiffFile& file, const PageInfo& info, int* code);

}  // namespace zypm
