// server_config.cpp - a server's configuration, read from the registry into a profile
// image.
#include <cstdlib>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "arc_install.h"
#include "arc_platform.h"
#include "arc_profile.h"
#include "install_detail.h"

namespace {

struct SubKey {
    const char* name;
    int kind;
};

// Read in this order; the first failure ends the reading.
const SubKey kSubKeys[] = {
    {"SRVR_QK_CFG", QELINST_KIND_QK},
    {"SRVR_DB_CFG", QELINST_KIND_DB},
    {"SRVR_SM_CFG", QELINST_KIND_SM},
};

std::string SectionName(const char* server) {
    return std::string("@SRV@_") + (server != nullptr && *server != '\0' ? server : "ARCHIVE");
}

// The environment is shared by every thread: each variable is set once per process,
// the first time a configuration names it, and never again while others read it.
int ExportOnce(const std::string& name, const std::string& value) {
    static std::mutex mutex;
    static std::set<std::string> exported;
    std::lock_guard lock(mutex);
    if (exported.count(name) != 0) {
        return QELINST_OK;
    }
    const std::string entry = name + "=" + value;
    if (ArcOS_PutEnv(entry.c_str()) != 0) {
        return QELINST_NO_ENV_MEMORY;
    }
    exported.insert(name);
    return QELINST_OK;
}

}  // namespace

size_t QelInst_ServerSection(const char* server, char* buffer, size_t size) {
    return qelinst::detail::CopyOut(SectionName(server), buffer, size);
}

int QelInst_ReadRegistryKey(int kind, const char* section, const char* keyPath, char** image) {
    if (image == nullptr) {
        return QELINST_IMAGE_FAILED;
    }
    std::vector<ArcRegValue> values;
    const int rc = ArcReg_EnumValues(ARCREG_HKLM, keyPath, &values);
    if (rc == ARCREG_NOT_FOUND || rc == ARCREG_INVALID) {
        // A key path the hive cannot hold names no key either.
        return kind == QELINST_KIND_SERVER ? QELINST_OK : QELINST_NO_SUBKEY;
    }
    if (rc != ARCREG_OK) {
        return QELINST_ENUM_FAILED;
    }
    for (const ArcRegValue& value : values) {
        if (value.name.empty() || value.data.empty()) {
            continue;
        }
        if (kind == QELINST_KIND_QK) {
            const int exportRc = ExportOnce(value.name, value.data);
            if (exportRc != QELINST_OK) {
                return exportRc;
            }
        }
        if (ArcPROF_SetInImage(section, value.name.c_str(), value.data.c_str(), image) != 0) {
            return QELINST_IMAGE_FAILED;
        }
    }
    return QELINST_OK;
}

int QelInst_ReadServerRegistry(const char* section, char** image) {
    if (section == nullptr || image == nullptr) {
        return QELINST_IMAGE_FAILED;
    }
    const std::string keyPath = std::string(QELINST_SERVER_KEY) + "\\" + section;
    int rc = QelInst_ReadRegistryKey(QELINST_KIND_SERVER, section, keyPath.c_str(), image);
    if (rc != QELINST_OK) {
        return rc;
    }
    // Optional sub-keys a local server reads as sections of their own: the run settings
    // of the storage manager ("CFG") and the server's printers ("PRINTERS").
    for (const char* optional : {"CFG", "PRINTERS"}) {
        const std::string subPath = keyPath + "\\" + optional;
        rc = QelInst_ReadRegistryKey(QELINST_KIND_SERVER, optional, subPath.c_str(), image);
        if (rc != QELINST_OK) {
            return rc;
        }
    }
    char flag[2];
    if (ArcPROF_GetFromImage(section, "SRVR_QK_CFG", "", flag, sizeof flag, *image) == 0) {
        return QELINST_OK;
    }
    for (const SubKey& sub : kSubKeys) {
        const std::string subPath = keyPath + "\\" + sub.name;
        rc = QelInst_ReadRegistryKey(sub.kind, sub.name, subPath.c_str(), image);
        if (rc != QELINST_OK) {
            return rc;
        }
    }
    return QELINST_OK;
}

int QelInst_LoadServerConfig(const char* server, char** image) {
    if (image == nullptr) {
        return QELINST_IMAGE_FAILED;
    }
    *image = nullptr;
    const int rc = QelInst_ReadServerRegistry(SectionName(server).c_str(), image);
    if (rc != QELINST_OK) {
        std::free(*image);
        *image = nullptr;
    }
    return rc;
}
