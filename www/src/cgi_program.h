// Internal: one run of the CGI program.
#pragma once

namespace qelwww::detail {

// Start-up, then one request from the web server's environment and standard input with
// the reply on standard output, or with options the command-line mode; shut-down. The
// exit code: 0, the result of a failed catalogue or code-page start-up, or the
// command-line mode's (cgi_command_line.h).
int RunCgiProgram(int argc, char** argv);

}  // namespace qelwww::detail
