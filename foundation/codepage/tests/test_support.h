// test_support.h - helpers shared by the code-page tests.
#pragma once

#include <gtest/gtest.h>
#include <iconv.h>

#include <cerrno>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "arc_codepage.h"

namespace qel::codepage::test {

// The staged locale directory with the generated tables and qelcpcs.cfg.
inline std::string StagedLocale() { return QEL_STAGE_DIR "/locale"; }

inline std::string ReadBinary(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void WriteBinary(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// A fresh directory under the system temporary directory, removed at the end.
class TempDir {
public:
    TempDir() {
        std::string pattern = (std::filesystem::temp_directory_path() / "qelcp-XXXXXX").string();
        path_ = mkdtemp(pattern.data());
    }
    ~TempDir() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& Path() const { return path_; }

private:
    std::string path_;
};

// A context on the staged locale directory, shut down at the end.
class StagedContext {
public:
    explicit StagedContext(const std::string& path = StagedLocale()) {
        rc_ = ArcICONV_Startup(&context_, path.c_str());
    }
    ~StagedContext() {
        if (context_ != nullptr) ArcICONV_Shutdown(context_);
    }
    StagedContext(const StagedContext&) = delete;
    StagedContext& operator=(const StagedContext&) = delete;
    ArcIconvContext* get() const { return context_; }
    int rc() const { return rc_; }

private:
    ArcIconvContext* context_ = nullptr;
    int rc_ = -1;
};

// Result of one engine or glibc conversion.
struct Outcome {
    long rc = 0;
    int error = 0;
    std::string output;
    size_t inputLeft = 0;
};

// Converts the whole input with an engine converter into an output of the given room.
inline Outcome EngineConvert(ArcUconv converter, const std::string& input, size_t room = 4096) {
    std::string buffer(room, '\0');
    const char* in = input.data();
    size_t inLeft = input.size();
    char* out = buffer.data();
    size_t outLeft = room;
    errno = 0;
    Outcome outcome;
    outcome.rc = ArcUCONV_Convert(converter, &in, &inLeft, &out, &outLeft);
    outcome.error = outcome.rc == -1 ? errno : 0;
    outcome.output.assign(buffer.data(), room - outLeft);
    outcome.inputLeft = inLeft;
    return outcome;
}

// glibc iconv as the oracle: converts the whole input from a clean state and flushes.
inline bool GlibcConvert(const char* to, const char* from, const std::string& input, std::string* output) {
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1)) return false;
    std::string buffer(input.size() * 4 + 16, '\0');
    char* in = const_cast<char*>(input.data());
    size_t inLeft = input.size();
    char* out = buffer.data();
    size_t outLeft = buffer.size();
    bool ok = iconv(cd, &in, &inLeft, &out, &outLeft) != static_cast<size_t>(-1) &&
              iconv(cd, nullptr, nullptr, &out, &outLeft) != static_cast<size_t>(-1);
    iconv_close(cd);
    output->assign(buffer.data(), buffer.size() - outLeft);
    return ok;
}

inline std::string Ucs2(std::initializer_list<uint16_t> units) {
    std::string bytes;
    for (uint16_t unit : units) bytes.append(reinterpret_cast<const char*>(&unit), 2);
    return bytes;
}

inline std::string Bytes(std::initializer_list<int> values) {
    std::string bytes;
    for (int value : values) bytes.push_back(static_cast<char>(value));
    return bytes;
}

inline std::string Hex(const std::string& bytes) {
    static const char digits[] = "0123456789ABCDEF";
    std::string text;
    for (unsigned char c : bytes) {
        if (!text.empty()) text += ' ';
        text += digits[c >> 4];
        text += digits[c & 15];
    }
    return text;
}

}  // namespace qel::codepage::test
