// A flat install tree with a message exit script that records its arguments, an event
// log file and recording sinks for the System Log hooks.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "arc_install.h"
#include "qel_cshandle.h"
#include "request_test_support.h"

namespace reqtest {

// Each run of the script appends its arguments, each ended by NUL, then a 0x1E.
inline const char* kArgvScript =
    "#!/bin/sh\n"
    "out=\"$(dirname \"$0\")/argv.out\"\n"
    "for a in \"$@\"; do printf '%s\\000' \"$a\"; done >> \"$out\"\n"
    "printf '\\036' >> \"$out\"\n";

class MessageSandbox {
public:
    MessageSandbox() {
        std::filesystem::create_directory(dir_.Path() + "locale");
        WriteText(dir_.Path() + "qellog", kArgvScript);
        std::filesystem::permissions(dir_.Path() + "qellog", std::filesystem::perms::owner_all);
        QelInst_SetModuleDirForTest(dir_.Path().c_str());
    }
    ~MessageSandbox() {
        QelInst_SetModuleDirForTest(nullptr);
        CsSetIssueHooks({});
        CsFreeSystemLogDef();
    }

    const std::string& Path() const { return path_; }
    void RemoveExitScript() { std::filesystem::remove(dir_.Path() + "qellog"); }

    // The argument lists of every run of the exit script, in order.
    std::vector<std::vector<std::string>> ExitRuns() const {
        std::vector<std::vector<std::string>> runs;
        std::string all = ReadText(dir_.Path() + "argv.out");
        size_t start = 0;
        for (size_t end; (end = all.find('\x1e', start)) != std::string::npos; start = end + 1) {
            std::vector<std::string> args;
            std::string run = all.substr(start, end - start);
            for (size_t a = 0, z; (z = run.find('\0', a)) != std::string::npos; a = z + 1)
                args.push_back(run.substr(a, z - a));
            runs.push_back(args);
        }
        return runs;
    }

    // Lines of the event log file.
    std::vector<std::string> Events() const {
        std::vector<std::string> lines;
        std::string all = ReadText(dir_.Path() + "events.log");
        for (size_t start = 0, end; (end = all.find('\n', start)) != std::string::npos; start = end + 1)
            lines.push_back(all.substr(start, end - start));
        return lines;
    }

private:
    TempDir dir_;
    std::string path_ = dir_.Path();
    EnvSetting events_{"QEL_EVENTLOG_FILE", dir_.Path() + "events.log"};
};

}  // namespace reqtest
