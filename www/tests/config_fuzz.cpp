// qelwww.ini values and template files: the start-up reader, the browser sections, a
// server's "@SRV@_" section and the page frames cut from a template.
//
// Input: the qelwww.ini text, a 0xFF byte, then the template file. The files live in a
// private directory; an input naming LogDir is skipped, so the trace stays in it.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

#include "arc_codepage.h"
#include "arc_platform.h"
#include "fuzz_temp_tree.h"
#include "qel_www.h"

namespace {

namespace fs = std::filesystem;

// QELCFG names the tree itself: qelwww.ini and the trace live at its top.
struct Workspace : qel_fuzz::TempTree {
    QelWWWConfig config;
    Workspace() : TempTree("qel_www_config_fuzz", {"cache", "templates"}) {
        PointEnv("QELCFG");
        ArcICONV_Startup(&config.codePageContext, QEL_STAGE_DIR "/locale");
    }
};

Workspace& Space() {
    static Workspace space;
    return space;
}

using qel_fuzz::WriteFile;

bool NamesLogDir(std::string_view ini) {
    std::string lower(ini);
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return lower.find("logdir") != std::string::npos;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const size_t split = input.find('\xFF');
    const std::string_view ini = input.substr(0, split);
    const std::string_view page =
        split == std::string_view::npos ? std::string_view() : input.substr(split + 1);
    if (NamesLogDir(ini)) return 0;

    Workspace& space = Space();
    WriteFile(space.dir + "/qelwww.ini", ini);
    WriteFile(space.dir + "/templates/page.html", page);
    QelWWWConfig& config = space.config;
    {
        QelWWWSession session;
        session.response = std::make_unique<QelWWWResponse>(&config);
        if (QelWWW_InitConfig(&config, &session, space.dir.c_str()) != 0) {
            (void)session.response->GetBody();
            return 0;
        }
    }
    if (config.cacheHighMark > 100 || config.cacheLowMark > config.cacheHighMark) std::abort();

    // Browser sections as a user agent picks them, and the keys read by name.
    for (const char* agent : {"Mozilla/4.0 (compatible; MSIE 5.5; Windows NT 5.0)",
                              "Mozilla/4.7 [en] (X11; U)", "Mozilla/5.0 (Windows; U; Win98; en-US)"}) {
        QelWWWViewSettings view = config.defaults;
        for (const std::string& section : QelWWW_BrowserSections(agent)) {
            if (!section.empty() && QelWWW_HasIniSection(&config, section.c_str()))
                QelWWW_ReadViewSettings(&config, section.c_str(), &view, false);
        }
    }
    (void)QelWWW_GetDirectoryKey(&config, "configuration", "TemplateDir");
    (void)QelWWW_GetIniValue(&config, "@SRV@_prod", "HOST");

    // A request for the server "prod" with the fuzzed template as its page.
    config.templateDir = space.dir + "/templates";
    config.serverAccess.clear();
    QelWWWSession session;
    session.response = std::make_unique<QelWWWResponse>(&config);
    if (QelWWW_InitSession(&config, &session, "_function=logon&_server=prod&_html=page.html",
                           "/cgi-bin/qelwww", "Mozilla/4.0 (compatible; MSIE 5.5; Windows NT 5.0)",
                           "") == 0) {
        QelWWW_WriteHeader(&config, &session);
        QelWWW_WriteTrailer(&config, &session);
    }
    (void)session.response->GetBody();
    std::error_code ec;
    fs::remove(space.dir + "/qelwww.log", ec);
    fs::remove(space.dir + "/events.log", ec);
    return 0;
}
