// Browser detection and the browser-dependent view settings.
#include "qel_www.h"

#include <cstring>

#include "arc_platform.h"
#include "decimal.h"
#include "ini_section.h"

using qelwww::detail::IniSection;
using qelwww::detail::LeadingNumber;
using qelwww::detail::ParseDigits;

namespace {

bool Contains(const char* text, const char* part) { return std::strstr(text, part) != nullptr; }
bool ContainsNoCase(const std::string& text, const char* part) {
    return ArcOS_StrIStr(text.c_str(), part) != nullptr;
}

const char* BrowserName(uint32_t kind) {
    switch (kind) {
        case QELWWW_BROWSER_IE: return "IE";
        case QELWWW_BROWSER_NETSCAPE: return "Netscape";
        default: return "Unknown";
    }
}

const char* SystemName(uint32_t os) {
    switch (os) {
        case QELWWW_OS_WIN95: return "Win95";
        case QELWWW_OS_WIN98: return "Win98";
        case QELWWW_OS_WINNT: return "WinNT";
        default: return "Unix";
    }
}

// Boolean keys look at the first character only: "0" is off, anything else (even "") on.
void ReadFlag(const IniSection& section, const char* key, uint8_t* flag) {
    if (auto value = section.Get(key)) *flag = (*value)[0] != '0' ? 1 : 0;
}

void ReadPermission(const IniSection& section, const char* key, uint32_t bit, uint32_t* permissions) {
    auto value = section.Get(key);
    if (!value) return;
    if ((*value)[0] != '0') {
        *permissions |= bit;
    } else {
        *permissions &= ~bit;
    }
}

uint32_t AfpMode(const std::string& v) {
    if (ContainsNoCase(v, "ascii")) return QELWWW_VIEW_ASCII;
    if (ContainsNoCase(v, "html")) return QELWWW_VIEW_HTML;
    if (ContainsNoCase(v, "native")) return QELWWW_VIEW_NATIVE;
    if (ContainsNoCase(v, "pdf")) return QELWWW_VIEW_PDF;
    return QELWWW_VIEW_PLUGIN;
}

uint32_t LineMode(const std::string& v) {
    if (ContainsNoCase(v, "ascii")) return QELWWW_VIEW_ASCII;
    if (ContainsNoCase(v, "native")) return QELWWW_VIEW_NATIVE;
    if (ContainsNoCase(v, "plugin")) return QELWWW_VIEW_PLUGIN;
    return QELWWW_VIEW_APPLET;
}

uint32_t EmailMode(const std::string& v) {
    return ContainsNoCase(v, "native") ? QELWWW_VIEW_NATIVE : QELWWW_VIEW_HTML;
}

}  // namespace

void QelWWW_DetectBrowser(const char* userAgent, uint32_t* kind, int32_t* major, std::string* minor,
                          uint32_t* os) {
    const char* agent = userAgent != nullptr ? userAgent : "";
    uint32_t foundKind;
    uint32_t foundOs;
    const char* version;
    if (Contains(agent, "MSIE") || Contains(agent, "contype")) {
        foundKind = QELWWW_BROWSER_IE;
        foundOs = Contains(agent, "Windows 95")   ? QELWWW_OS_WIN95
                  : Contains(agent, "Windows 98") ? QELWWW_OS_WIN98
                  : Contains(agent, "Windows NT") ? QELWWW_OS_WINNT
                                                  : QELWWW_OS_OTHER;
        const char* msie = std::strstr(agent, "MSIE");
        // "MSIE" then a blank; a text ending right after "MSIE" has no version.
        version = msie == nullptr ? "3.0" : (msie[4] == '\0' ? msie + 4 : msie + 5);
    } else {
        foundKind = QELWWW_BROWSER_NETSCAPE;
        foundOs = Contains(agent, "Win95")   ? QELWWW_OS_WIN95
                  : Contains(agent, "Win98") ? QELWWW_OS_WIN98
                  : Contains(agent, "WinNT") ? QELWWW_OS_WINNT
                                             : QELWWW_OS_OTHER;
        const char* mozilla = std::strstr(agent, "Mozilla/");
        version = mozilla == nullptr ? "3.0" : mozilla + 8;
    }
    std::string minorDigits;
    if (const char* point = std::strchr(version, '.')) {
        for (const char* p = point + 1; *p >= '0' && *p <= '9'; ++p) minorDigits += *p;
    }
    if (kind != nullptr) *kind = foundKind;
    if (major != nullptr) *major = LeadingNumber(version);
    if (minor != nullptr) *minor = minorDigits;
    if (os != nullptr) *os = foundOs;
}

std::vector<std::string> QelWWW_BrowserSections(const char* userAgent) {
    uint32_t kind = 0;
    int32_t major = 0;
    std::string minor;
    uint32_t os = 0;
    QelWWW_DetectBrowser(userAgent, &kind, &major, &minor, &os);
    std::string name = BrowserName(kind);
    std::string withMajor = name + " " + std::to_string(major);
    std::string withMinor = withMajor + "." + minor;
    return {userAgent != nullptr ? userAgent : "", withMinor + "/" + SystemName(os), withMinor, withMajor,
            name};
}

int QelWWW_ReadViewSettings(const QelWWWConfig* config, const char* section, QelWWWViewSettings* settings,
                            bool strictMaxHits) {
    if (config == nullptr || section == nullptr || settings == nullptr) return 0;
    const IniSection keys(config, section);
    ReadPermission(keys, "ServerPrint", QELWWW_PERM_SERVER_PRINT, &settings->permissions);
    ReadPermission(keys, "ViewNotes", QELWWW_PERM_VIEW_NOTES, &settings->permissions);
    ReadPermission(keys, "AddNotes", QELWWW_PERM_ADD_NOTES, &settings->permissions);
    if (auto v = keys.Get("AfpViewing")) settings->afpViewMode = AfpMode(*v);
    if (auto v = keys.Get("LineViewing")) settings->lineViewMode = LineMode(*v);
    if (auto v = keys.Get("EmailViewing")) settings->emailViewMode = EmailMode(*v);
    ReadFlag(keys, "AutoDocRetrieval", &settings->autoDocRetrieval);
    if (auto v = keys.Get("MaxHits")) {
        // In the defaults an empty value is 0; a browser section takes only real numbers.
        std::optional<uint64_t> hits =
            (strictMaxHits && v->empty()) ? std::optional<uint64_t>(0) : ParseDigits(v->c_str(), INT32_MAX);
        if (hits) {
            settings->maxHits = static_cast<int32_t>(*hits);
        } else if (strictMaxHits) {
            return 1;
        }
    }
    ReadFlag(keys, "NoLinks", &settings->noLinks);
    ReadFlag(keys, "AddExtension", &settings->addExtension);
    ReadFlag(keys, "AddFieldsToDocid", &settings->addFieldsToDocid);
    ReadFlag(keys, "ShowDocLocation", &settings->showDocLocation);
    return 0;
}
