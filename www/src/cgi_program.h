// Internal: one run of the CGI program.
#pragma once

namespace qelwww::detail {

// Start-up, one request from the web server's environment and standard input, the reply
// on standard output, shut-down. The exit code: 0, or the result of a failed catalogue or
// code-page start-up, or 1 for options (the program has no command-line mode).
int RunCgiProgram(int argc, char** argv);

}  // namespace qelwww::detail
