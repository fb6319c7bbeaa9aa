// script_runner.h - runs a parsed script against a started viewer host.
#pragma once

#include <string>
#include <vector>

#include "script.h"

class ViewerHost;

// false with "line N: ..." for the first command that failed or expectation that did
// not hold (answers the script queued and nothing used also count as failures).
bool RunScript(ViewerHost& host, const std::vector<ScriptCommand>& commands, std::string* error);
