#include "options.h"

#include <cerrno>
#include <cstdlib>

#include "fetcher.h"
#include "plugin_table.h"

bool ParseBoundedInt(const std::string& text, long minimum, long maximum, long* value) {
    if (text.empty() || text.size() > 18) return false;
    size_t start = (text[0] == '-') ? 1 : 0;
    if (start == text.size()) return false;
    for (size_t i = start; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9') return false;
    }
    errno = 0;
    long parsed = std::strtol(text.c_str(), nullptr, 10);
    if (errno != 0 || parsed < minimum || parsed > maximum) return false;
    *value = parsed;
    return true;
}

std::string ViewerUsage() {
    return "usage: qelview [--type MIME] [--plugin TYPE=/path/lib.so] [--size WxH] [--arg name=value]\n"
           "               [--title TEXT] [--np-minor 8|9] [--cookies FILE] [--script FILE] [--log FILE] "
           "[--headless] URL\n";
}

namespace {

bool SplitPair(const std::string& text, std::string* name, std::string* value) {
    size_t equals = text.find('=');
    if (equals == std::string::npos || equals == 0) return false;
    *name = text.substr(0, equals);
    *value = text.substr(equals + 1);
    return true;
}

bool ParseSize(const std::string& text, int* width, int* height) {
    size_t x = text.find('x');
    long w = 0, h = 0;
    if (x == std::string::npos || !ParseBoundedInt(text.substr(0, x), 1, 16384, &w) ||
        !ParseBoundedInt(text.substr(x + 1), 1, 16384, &h)) {
        return false;
    }
    *width = static_cast<int>(w);
    *height = static_cast<int>(h);
    return true;
}

}  // namespace

bool ParseViewerOptions(std::span<const std::string> args, ViewerOptions* options, std::string* error) {
    *options = ViewerOptions();
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        auto value = [&](std::string* out) {
            if (i + 1 >= args.size()) {
                *error = arg + " needs a value";
                return false;
            }
            *out = args[++i];
            return true;
        };
        std::string text;
        if (arg == "--headless") {
            options->headless = true;
        } else if (arg == "--type") {
            if (!value(&options->type)) return false;
            options->type = NormalizeMimeType(options->type);
            if (options->type.empty()) {
                *error = "--type needs a MIME type";
                return false;
            }
        } else if (arg == "--plugin") {
            if (!value(&text)) return false;
            std::string type, path;
            if (!SplitPair(text, &type, &path) || path.empty() || path[0] != '/') {
                *error = "--plugin wants TYPE=/absolute/path, got \"" + text + "\"";
                return false;
            }
            options->plugins[NormalizeMimeType(type)] = path;
        } else if (arg == "--size") {
            if (!value(&text)) return false;
            if (!ParseSize(text, &options->width, &options->height)) {
                *error = "--size wants WIDTHxHEIGHT (1 to 16384), got \"" + text + "\"";
                return false;
            }
        } else if (arg == "--arg") {
            if (!value(&text)) return false;
            std::string name, argValue;
            if (!SplitPair(text, &name, &argValue)) {
                *error = "--arg wants name=value, got \"" + text + "\"";
                return false;
            }
            options->args.emplace_back(name, argValue);
        } else if (arg == "--np-minor") {
            if (!value(&text)) return false;
            long minor = 0;
            if (!ParseBoundedInt(text, 8, 9, &minor)) {
                *error = "--np-minor is 8 or 9, got \"" + text + "\"";
                return false;
            }
            options->npMinor = static_cast<int>(minor);
        } else if (arg == "--script") {
            if (!value(&options->script)) return false;
        } else if (arg == "--log") {
            if (!value(&options->log)) return false;
        } else if (arg == "--cookies") {
            if (!value(&options->cookies)) return false;
        } else if (arg == "--title") {
            if (!value(&options->title)) return false;
        } else if (arg.size() > 1 && arg[0] == '-') {
            *error = "unknown option " + arg;
            return false;
        } else if (options->url.empty()) {
            options->url = arg;
        } else {
            *error = "only one URL, got \"" + options->url + "\" and \"" + arg + "\"";
            return false;
        }
    }
    if (options->url.empty()) {
        *error = "no document URL";
        return false;
    }
    return true;
}

std::string DocumentTitle(const ViewerOptions& options) {
    if (!options.title.empty()) return options.title;
    std::string path;
    if (!FileUrlPath(options.url, &path)) {
        path = options.url.substr(0, options.url.find_first_of("?#"));
        const size_t scheme = path.find("://");
        if (scheme != std::string::npos) {
            const size_t slash = path.find('/', scheme + 3);  // the host is no title
            path = slash == std::string::npos ? "" : path.substr(slash);
        }
    }
    return path.substr(path.rfind('/') + 1);
}
