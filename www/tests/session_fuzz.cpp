// Hostile requests: the parser, the cookie reader, the session set-up and the reply.
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

#include "arc_codepage.h"
#include "fuzz_input.h"
#include "qel_www.h"

namespace {

const QelWWWConfig& Config() {
    static QelWWWConfig config = [] {
        QelWWWConfig c;
        ArcICONV_Startup(&c.codePageContext, QEL_STAGE_DIR "/locale");
        c.codePage = 819;
        c.version = QELWWW_VERSION_TEXT;
        c.serverAccess = "prod,local,a";
        c.iniImage =
            "[@SRV@_prod]\nHOST=h\nPROTOCOL=4\nPORT=1\n[@SRV@_local]\nPROTOCOL=1\nDIRECTORY=/srv\n"
            "[IE 5]\nAfpViewing=pdf\nMaxHits=3\n[Netscape]\nLineViewing=ascii\n";
        return c;
    }();
    return config;
}

}  // namespace

// The input holds query, script name, user agent and cookie, separated by 0xFF bytes
// (a byte no UTF-8 text carries).
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::array<std::string, 4> parts = qel_fuzz::SplitInput<4>(data, size);
    const QelWWWConfig& config = Config();
    QelWWWSession session;
    session.response = std::make_unique<QelWWWResponse>(&config);
    if (QelWWW_InitSession(&config, &session, parts[0].c_str(), parts[1].c_str(), parts[2].c_str(),
                           parts[3].c_str()) == 0)
        QelWWW_Dispatch(&config, &session);
    std::string body = session.response->GetBody();
    (void)QelWWW_BlankPasswords(parts[0]);
    (void)QelWWW_BlankCookiePasswords(parts[3]);
    (void)QelWWW_UrlEncode(&session, parts[0], false);
    std::string decoded = parts[0];
    QelWWW_PercentDecode(&decoded);
    return 0;
}
