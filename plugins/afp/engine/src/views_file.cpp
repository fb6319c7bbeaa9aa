// views_file.cpp - the named-views file: name, description, zoom, rotation, image mode,
// shade colour, x, y separated by tabs.
#include "views_file.h"

#include <algorithm>
#include <charconv>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "arc_platform.h"

namespace knvw {
namespace {

constexpr std::size_t kMaxViews = 1000;
constexpr std::size_t kMaxText = 200;

// Tabs and line ends would break the line format.
std::string Clean(std::string text) {
    for (char& c : text) {
        if (c == '\t' || c == '\n' || c == '\r') c = ' ';
    }
    if (text.size() > kMaxText) text.resize(kMaxText);
    return text;
}

bool ToInt(const std::string& text, int* value) {
    const auto result = std::from_chars(text.data(), text.data() + text.size(), *value);
    return result.ec == std::errc() && result.ptr == text.data() + text.size();
}

}  // namespace

std::string DefaultViewsPath() {
    if (const char* config = std::getenv("XDG_CONFIG_HOME"); config && *config == '/') {
        return std::string(config) + "/qel/afp-views.txt";
    }
    if (const char* home = std::getenv("HOME"); home && *home == '/') {
        return std::string(home) + "/.config/qel/afp-views.txt";
    }
    return {};
}

std::vector<SavedView> LoadViews(const std::string& path) {
    std::vector<SavedView> views;
    std::ifstream in(path);
    std::string line;
    while (views.size() < kMaxViews && std::getline(in, line)) {
        std::vector<std::string> fields;
        std::stringstream split(line);
        std::string field;
        while (std::getline(split, field, '\t')) fields.push_back(field);
        if (fields.size() != 8 || fields[0].empty()) continue;
        SavedView v;
        v.name = fields[0];
        v.description = fields[1];
        if (!ToInt(fields[2], &v.zoom) || !ToInt(fields[3], &v.rotation) || !ToInt(fields[4], &v.imageMode) ||
            !ToInt(fields[5], &v.shadeColour) || !ToInt(fields[6], &v.x) || !ToInt(fields[7], &v.y)) {
            continue;
        }
        views.push_back(std::move(v));
    }
    return views;
}

bool StoreView(const std::string& path, SavedView view) {
    if (path.empty()) return false;
    view.name = Clean(view.name);
    view.description = Clean(view.description);
    if (view.name.empty()) return false;
    auto views = LoadViews(path);
    std::erase_if(views, [&](const SavedView& v) { return v.name == view.name; });
    views.push_back(view);
    std::error_code error;
    std::filesystem::create_directories(std::filesystem::path(path).parent_path(), error);
    std::ostringstream text;
    for (const auto& v : views) {
        text << v.name << '\t' << v.description << '\t' << v.zoom << '\t' << v.rotation << '\t' << v.imageMode
             << '\t' << v.shadeColour << '\t' << v.x << '\t' << v.y << '\n';
    }
    // Replaced whole: a failed write leaves the old file.
    return ArcOS_ReplaceFile(path.c_str(), text.str(), 0644) == 0;
}

std::optional<SavedView> FindView(const std::string& path, const std::string& name) {
    for (auto& v : LoadViews(path)) {
        if (v.name == name) return v;
    }
    return std::nullopt;
}

}  // namespace knvw
