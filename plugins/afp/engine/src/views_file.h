// views_file.h - named views (zoom, rotation, image view, position) kept in a text file
// in the user's configuration directory, one view a line.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace knvw {

struct SavedView {
    std::string name, description;
    int zoom = 100, rotation = 1, imageMode = 0, shadeColour = 10, x = 0, y = 0;
};

// $XDG_CONFIG_HOME/qel/afp-views.txt, else ~/.config/qel/afp-views.txt; "" without a home.
std::string DefaultViewsPath();

// Lines that do not read as a view are skipped; a missing file has no views.
std::vector<SavedView> LoadViews(const std::string& path);
// Adds the view or replaces the one with its name; false when the file cannot be written.
bool StoreView(const std::string& path, SavedView view);
std::optional<SavedView> FindView(const std::string& path, const std::string& name);

}  // namespace knvw
