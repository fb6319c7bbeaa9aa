// document.h - a document as the engine shows it: pages of positioned text, rules and
// frames for the objects it does not draw. Read from AFP or from line-data text.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace knvw {

// A run of characters on one baseline, each in a fixed-width cell. Coordinates are in
// page units (the page's unitsPerInch); y is the baseline.
struct TextRun {
    double x = 0, baseline = 0;
    double cellWidth = 0, cellHeight = 0;  // cellHeight: from above the baseline to below it
    std::string text;                      // Latin-1, one byte per cell
};

// A filled rectangle (rules) or a framed rectangle with a label (objects not drawn).
struct Box {
    double x = 0, y = 0, width = 0, height = 0;
    std::string label;  // empty for a rule
};

struct Page {
    double width = 0, height = 0;  // page units
    double unitsPerInch = 1440;
    std::vector<TextRun> runs;
    std::vector<Box> rules;
    std::vector<Box> frames;
};

struct Document {
    enum class Kind { Afp, LineData };
    Kind kind = Kind::Afp;
    std::vector<Page> pages;
    bool truncated = false;                // damaged or cut short; what could be read is kept
    std::optional<std::size_t> damagedAt;  // the first damaged byte of the file
};

// The parameters of line-data text: characters per inch across, lines per inch down and
// the lines of a page (0: pages end only at form feeds).
struct LineDataParms {
    int charsPerInch = 10;
    int linesPerInch = 6;
    int linesPerPage = 0;
};

// Limits that keep hostile files from taking the process down.
constexpr std::size_t kMaxPages = 100000;
constexpr std::uintmax_t kMaxFileBytes = 512u * 1024u * 1024u;
constexpr double kMinPageInches = 0.5;
constexpr double kMaxPageInches = 100.0;

// Overlays by name, read from a resource file (or inline resources of the document).
struct Overlay {
    std::string name;
    std::vector<TextRun> runs;
    std::vector<Box> rules;
    std::vector<Box> frames;
};

// Parses AFP structured fields. overlays: those already known (from the resource file);
// inline ones are added.
Document ReadAfp(std::string_view data, std::vector<Overlay>& overlays);
// Overlays (and other resources) of a resource file; what it cannot use is skipped.
std::vector<Overlay> ReadAfpResources(std::string_view data);
// Text pages split at form feeds, lines at line feeds.
Document ReadLineData(std::string_view data, const LineDataParms& parms);

// Reads a file whole; nullopt when it cannot be read or is larger than kMaxFileBytes.
std::optional<std::string> ReadWholeFile(const std::string& path);

// Opens a document: AFP when the first byte is 0x5A, else line-data text with parms
// (defaults when none are given). nullopt for an empty or unreadable file.
std::optional<Document> LoadDocument(const std::string& path, const std::string& resourcePath,
                                     const std::optional<LineDataParms>& parms);

}  // namespace knvw
