// options.h - qelview's command line.
#pragma once

#include <map>
#include <span>
#include <string>
#include <utility>
#include <vector>

struct ViewerOptions {
    std::string url;                                        // the document
    std::string type;                                       // --type: overrides the server's Content-Type
    std::map<std::string, std::string> plugins;             // --plugin TYPE=PATH
    int width = 800, height = 600;                          // --size WxH
    std::vector<std::pair<std::string, std::string>> args;  // --arg name=value, in order
    int npMinor = 9;                                        // --np-minor 8|9
    std::string script;                                     // --script FILE
    std::string log;                                        // --log FILE ("" = standard output)
    std::string cookies;                                    // --cookies FILE (Netscape format)
    std::string title;                                      // --title TEXT
    bool headless = false;                                  // --headless
};

// false with a message naming the bad argument.
bool ParseViewerOptions(std::span<const std::string> args, ViewerOptions* options, std::string* error);
std::string ViewerUsage();
// The document's title, the browser window's caption (plug-ins name printed PDFs after
// it): --title, else the last part of the URL's path (a file: URL's file name, decoded),
// "" when the path ends in '/'.
std::string DocumentTitle(const ViewerOptions& options);
// A decimal number in [minimum, maximum] making up the whole text.
bool ParseBoundedInt(const std::string& text, long minimum, long maximum, long* value);
