// install_paths.cpp - where the installed system's directories and files are.
#include <mutex>
#include <optional>
#include <string>

#include "arc_install.h"
#include "arc_platform.h"
#include "install_detail.h"

namespace qelinst::detail {

namespace {

std::mutex& OverrideMutex() {
    static std::mutex mutex;
    return mutex;
}

std::optional<std::string>& ModuleDirOverride() {
    static std::optional<std::string> value;
    return value;
}

std::string WithSlash(std::string dir) {
    if (dir.empty() || dir.back() != '/') {
        dir.push_back('/');
    }
    return dir;
}

// The parent of a directory given with a trailing '/': cut after the last '/' but one.
std::string Parent(const std::string& dir) {
    if (dir.size() < 2) {
        return dir;
    }
    const size_t slash = dir.rfind('/', dir.size() - 2);
    return slash == std::string::npos ? dir : dir.substr(0, slash + 1);
}

enum class FileKind { Program, Script, Library };

struct ProductFile {
    int index;
    const char* name;  // the product's own file name; LinuxName() gives ours
};

const ProductFile kProductFiles[] = {
    {0, "QELACIF.EXE"},  {4, "QELLOG.BAT"},    {6, "QELPPRNT.EXE"},  {7, "QELPRT.BAT"},   {9, "QELUSDOC.DLL"},
    {10, "QELUSEC.DLL"}, {11, "QELUSMXC.DLL"}, {13, "QELUSXCT.DLL"}, {14, "QELVIEW.EXE"},
};

constexpr int kConfigDirIndex = 2;

FileKind KindOf(std::string_view name) {
    if (name.ends_with(".DLL")) return FileKind::Library;
    if (name.ends_with(".BAT")) return FileKind::Script;
    return FileKind::Program;
}

// Lower-case base name; libraries become lib<name>.so, programs and scripts lose
// their extension.
std::string LinuxName(std::string_view name) {
    const std::string_view base = name.substr(0, name.rfind('.'));
    std::string lower;
    for (char c : base) {
        lower.push_back((c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c);
    }
    return KindOf(name) == FileKind::Library ? "lib" + lower + ".so" : lower;
}

}  // namespace

size_t CopyOut(std::string_view text, char* buffer, size_t size) {
    if (buffer == nullptr || size == 0) {
        return 0;
    }
    if (text.size() >= size) {
        buffer[0] = '\0';
        return 0;
    }
    text.copy(buffer, text.size());
    buffer[text.size()] = '\0';
    return text.size();
}

std::optional<std::string> ModuleDir() {
    {
        std::lock_guard lock(OverrideMutex());
        if (ModuleDirOverride()) {
            return ModuleDirOverride();
        }
    }
    char path[4096];
    // The library holding this code (the servlet library inside a JVM), else the program.
    static const int marker = 0;
    size_t n = ArcOS_GetModuleDirOf(&marker, sizeof path, path);
    if (n == 0) {
        n = ArcOS_GetModuleDir(sizeof path, path);
    }
    if (n == 0) {
        return std::nullopt;
    }
    return WithSlash(std::string(path, n));
}

std::optional<std::string> BaseDir() {
    const std::optional<std::string> module = ModuleDir();
    if (!module) {
        return std::nullopt;
    }
    ArcOSStat status;
    if (ArcOS_Stat64((*module + "locale").c_str(), &status) == 0) {
        return module;
    }
    return Parent(*module);
}

namespace {

std::optional<std::string> ProgramPath(int index) {
    const std::optional<std::string> base = BaseDir();
    if (!base) {
        return std::nullopt;
    }
    if (index == kConfigDirIndex) {
        return *base + "etc/";
    }
    for (const ProductFile& file : kProductFiles) {
        if (file.index != index) {
            continue;
        }
        // A flat installation keeps everything beside the module.
        const std::optional<std::string> module = ModuleDir();
        std::string dir = *module;
        if (*base != *module) {
            dir = *base + (KindOf(file.name) == FileKind::Library ? "lib/" : "bin/");
        }
        return dir + LinuxName(file.name);
    }
    return std::nullopt;
}

}  // namespace

}  // namespace qelinst::detail

using namespace qelinst::detail;

size_t QelInst_ModuleDir(char* buffer, size_t size) {
    const std::optional<std::string> dir = ModuleDir();
    return CopyOut(dir ? *dir : std::string(), buffer, size);
}

size_t QelInst_BaseDir(char* buffer, size_t size) {
    const std::optional<std::string> dir = BaseDir();
    return CopyOut(dir ? *dir : std::string(), buffer, size);
}

size_t QelInst_LocaleDir(char* buffer, size_t size) {
    const std::optional<std::string> dir = BaseDir();
    return CopyOut(dir ? *dir + "locale/" : std::string(), buffer, size);
}

size_t QelInst_ConfigDir(char* buffer, size_t size) {
    const std::optional<std::string> dir = BaseDir();
    return CopyOut(dir ? *dir + "etc/" : std::string(), buffer, size);
}

size_t QelInst_ProgramPath(int index, char* buffer, size_t size) {
    const std::optional<std::string> path = ProgramPath(index);
    return CopyOut(path ? *path : std::string(), buffer, size);
}

void QelInst_SetModuleDirForTest(const char* directory) {
    std::lock_guard lock(OverrideMutex());
    if (directory == nullptr) {
        ModuleDirOverride().reset();
    } else {
        ModuleDirOverride() = WithSlash(directory);
    }
}
