// qelwww: the gateway as a CGI program, started by the web server once per request.
#include "cgi_program.h"

int main(int argc, char** argv) { return qelwww::detail::RunCgiProgram(argc, argv); }
