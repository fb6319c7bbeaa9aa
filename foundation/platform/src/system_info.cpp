#include "arc_platform.h"

#include <dlfcn.h>
#include <langinfo.h>
#include <locale.h>
#include <pwd.h>
#include <sys/random.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

size_t copyDirectory(const std::string& file, size_t size, char* buffer) {
    size_t slash = file.rfind('/');
    if (slash == std::string::npos) return 0;
    size_t length = slash + 1;
    if (buffer == nullptr || length + 1 > size) return 0;
    std::memcpy(buffer, file.data(), length);
    buffer[length] = '\0';
    return length;
}

}  // namespace

uint64_t ArcOS_GetThreadId() { return static_cast<uint64_t>(syscall(SYS_gettid)); }
uint64_t ArcOS_GetProcessId() { return static_cast<uint64_t>(getpid()); }

int ArcOS_GetUserName(char* buffer, size_t size) {
    if (buffer == nullptr || size == 0) return 1;
    long hint = sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> work(hint > 0 ? size_t(hint) : 16384);
    struct passwd entry;
    struct passwd* found = nullptr;
    if (getpwuid_r(geteuid(), &entry, work.data(), work.size(), &found) != 0 || found == nullptr) return 1;
    size_t length = std::strlen(found->pw_name);
    if (length + 1 > size) return 1;
    std::memcpy(buffer, found->pw_name, length + 1);
    return 0;
}

int ArcOS_GetPlatform() { return 4; }

int ArcOS_GetCodePage() {
    // Read the code set of the environment's locale without changing the process
    // locale, which belongs to the program that loaded us.
    locale_t loc = newlocale(LC_CTYPE_MASK, "", static_cast<locale_t>(0));
    std::string codeset;
    if (loc != static_cast<locale_t>(0)) {
        const char* name = nl_langinfo_l(CODESET, loc);
        if (name != nullptr) codeset = name;
        freelocale(loc);
    }
    for (auto& c : codeset) c = static_cast<char>(ArcOS_CharUpper(c));
    if (codeset == "UTF-8" || codeset == "UTF8") return 1208;
    if (codeset == "ISO-8859-15") return 923;
    return 819;
}

size_t ArcOS_GetModuleDir(size_t size, char* buffer) {
    std::vector<char> path(PATH_MAX + 1);
    ssize_t n = readlink("/proc/self/exe", path.data(), PATH_MAX);
    if (n <= 0) return 0;
    return copyDirectory(std::string(path.data(), size_t(n)), size, buffer);
}

size_t ArcOS_GetModuleDirOf(const void* address, size_t size, char* buffer) {
    if (address == nullptr) return ArcOS_GetModuleDir(size, buffer);
    Dl_info info{};
    if (dladdr(address, &info) == 0 || info.dli_fname == nullptr) return 0;
    char* real = realpath(info.dli_fname, nullptr);
    if (real == nullptr) return 0;
    std::string file(real);
    std::free(real);
    return copyDirectory(file, size, buffer);
}

int ArcOS_RandomBytes(void* buffer, size_t size) {
    auto* p = static_cast<unsigned char*>(buffer);
    while (size > 0) {
        ssize_t n = getrandom(p, size, 0);
        if (n < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        p += n;
        size -= size_t(n);
    }
    return 0;
}

int ArcOS_Random() {
    uint16_t value = 0;
    if (ArcOS_RandomBytes(&value, sizeof value) != 0) return 0;
    return value & 0x7FFF;
}

int ArcOS_StubZero() { return 0; }
intptr_t ArcOS_StubIdentity(intptr_t value) { return value; }
