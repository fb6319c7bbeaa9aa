#include "viewer_main.h"

#include <cstring>
#include <fstream>
#include <iostream>

#include "arc_install.h"
#include "arc_platform.h"
#include "event_log.h"
#include "fetcher.h"
#include "qel_win.h"
#include "script.h"
#include "script_runner.h"
#include "viewer_host.h"

namespace {

std::string InstallLibDir() {
    char base[4096];
    if (QelInst_BaseDir(base, sizeof base) == 0) return "";
    return std::string(base) + "lib/";
}

bool ReadScript(const std::string& path, std::vector<ScriptCommand>* commands, std::string* error) {
    std::string text;
    if (int rc = ArcOS_ReadFile(path.c_str(), &text); rc != 0) {
        *error = "cannot read the script " + path + ": " + std::strerror(rc);
        return false;
    }
    if (!ParseScript(text, commands, error)) {
        *error = path + ": " + *error;
        return false;
    }
    return true;
}

WinBackend ChooseBackend(const ViewerOptions& options) {
    if (options.headless || !options.script.empty()) return WinBackend::Headless;
    std::string display = ArcOS_GetEnv("DISPLAY").value_or("");
    return display.empty() ? WinBackend::Headless : WinBackend::X11;
}

}  // namespace

int QelViewMain(std::span<const std::string> args) {
    ViewerOptions options;
    std::string error;
    if (!ParseViewerOptions(args, &options, &error)) {
        std::cerr << "qelview: " << error << "\n" << ViewerUsage();
        return 2;
    }
    std::vector<ScriptCommand> script;
    if (!options.script.empty() && !ReadScript(options.script, &script, &error)) {
        std::cerr << "qelview: " << error << "\n";
        return 2;
    }
    if (!options.cookies.empty() && !std::ifstream(options.cookies)) {
        std::cerr << "qelview: cannot read the cookie file " << options.cookies << "\n";
        return 2;
    }
    WinBackend backend = ChooseBackend(options);
    if (!Win_Initialize(backend)) {
        std::cerr << "qelview: the X display does not answer; run with --headless\n";
        return 1;
    }
    if (!OpenEventLog(options.log, &error)) {
        std::cerr << "qelview: " << error << "\n";
        Win_Terminate();
        return 2;
    }
    FetchGlobalInit();
    int status = 0;
    {
        ViewerHost host(options, InstallLibDir());
        if (!host.Start(&error)) {
            std::cerr << "qelview: " << error << "\n";
            status = 1;
        } else {
            if (host.DocumentFailed()) {
                std::cerr << "qelview: cannot fetch " << options.url << "\n";
                status = 1;
            }
            if (!script.empty()) {
                if (!RunScript(host, script, &error)) {
                    std::cerr << "qelview: script " << options.script << ": " << error << "\n";
                    status = 1;
                }
            } else if (backend == WinBackend::X11) {
                Win_RunLoop();
            } else if (!host.WaitIdle(60000)) {
                std::cerr << "qelview: requests still open after 60 seconds\n";
                status = 1;
            }
        }
        host.Finish();
    }
    FetchGlobalCleanup();
    Win_Terminate();
    CloseEventLog();
    return status;
}
