// viewer_main.h - qelview's whole run, callable from tests with an argument vector.
#pragma once

#include <span>
#include <string>

// Exit status: 0 done; 1 the document could not be shown or the script failed;
// 2 bad command line. Errors go to standard error.
int QelViewMain(std::span<const std::string> args);
