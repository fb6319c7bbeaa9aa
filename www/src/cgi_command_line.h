// Internal: the CGI program's command-line mode - a local AFP file, and the resources the
// resource program extracts for it, packed into the viewer container on standard output
// or into a file (docs/cgi-program.md).
#pragma once

#include <optional>
#include <string>

#include "qel_www.h"

namespace qelwww::detail {

struct CommandLine {
    bool invoked = false;  // an option was met: the command-line mode runs
    bool usage = false;    // unknown option, missing argument, empty -a or -o
    bool version = false;  // -v
    std::optional<std::string> afpFile;
    std::optional<std::string> parameterFile;  // -p; an empty argument names "qelwww.parms"
    std::optional<std::string> outputFile;
};

// The options of argv ("a:p:o:v"), each traced; parsing stops at -v and at the first
// option in error.
CommandLine ParseCommandLine(const QelWWWConfig* config, int argc, char** argv);

// The usage text on standard error.
void CommandLineUsage(const char* program);

// Runs the mode and returns the exit code: 0 with the container written; 1 for the usage
// text, -v, a file that cannot be read or packed, or output that cannot be written; the
// resource program's exit code when it fails (127 when it cannot be started).
int RunCommandLine(const QelWWWConfig* config, const CommandLine& line, const char* program);

}  // namespace qelwww::detail
