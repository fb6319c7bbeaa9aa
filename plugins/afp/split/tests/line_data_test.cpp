// The line-data formatter: records to text pages by carriage control, the translate tables
// (built-in EBCDIC table against glibc's IBM-1047, map files), and the formatter's API.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "afp_split.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using Bytes = std::string;

struct Header {
    char shift = 'N';
    char format = 'V';
    uint32_t recordLength = 0;
    char control = 'N';
    uint8_t trc = 0;
    uint32_t ccsid = 819;
    std::string delimiter;
};

void PutU32(std::array<uint8_t, 37>& out, size_t at, uint32_t value) {
    for (int i = 0; i < 4; ++i) out[at + i] = static_cast<uint8_t>(value >> (24 - 8 * i));
}

Header H(char shift, char format, uint32_t recordLength, char control, uint8_t trc = 0, uint32_t ccsid = 819,
         std::string delimiter = "") {
    return Header{shift, format, recordLength, control, trc, ccsid, std::move(delimiter)};
}

std::array<uint8_t, 37> Pack(const Header& h) {
    std::array<uint8_t, 37> out{};
    out[0] = static_cast<uint8_t>(h.shift);
    out[1] = static_cast<uint8_t>(h.format);
    PutU32(out, 2, h.recordLength);
    out[6] = static_cast<uint8_t>(h.control);
    out[7] = h.trc;
    PutU32(out, 8, h.ccsid);
    PutU32(out, 12, 3);
    PutU32(out, 16, 4);
    for (size_t i = 0; i < h.delimiter.size() && i < 16; ++i)
        out[20 + i] = static_cast<uint8_t>(h.delimiter[i]);
    return out;
}

// Variable records: a big-endian 16-bit length before each.
Bytes V(std::initializer_list<Bytes> records) {
    Bytes out;
    for (const Bytes& r : records) {
        out += static_cast<char>(r.size() >> 8);
        out += static_cast<char>(r.size() & 0xFF);
        out += r;
    }
    return out;
}

std::FILE* FileOf(const Bytes& data) {
    std::FILE* file = std::tmpfile();
    std::fwrite(data.data(), 1, data.size(), file);
    std::rewind(file);
    return file;
}

Bytes ReadAll(std::FILE* file) {
    std::rewind(file);
    Bytes out;
    char buffer[4096];
    size_t got = 0;
    while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) out.append(buffer, got);
    return out;
}

struct Result {
    int status = -1;
    Bytes text;
    uint32_t lines = 0;
    uint32_t width = 0;
};

Result Convert(const Header& header, const Bytes& data, const std::string& maps = "") {
    std::FILE* in = FileOf(data);
    std::FILE* out = std::tmpfile();
    Result r;
    const auto packed = Pack(header);
    r.status = afp::LineData_ConvertToText(in, out, maps, packed, r.lines, r.width);
    r.text = ReadAll(out);
    std::fclose(in);
    std::fclose(out);
    return r;
}

struct Case {
    const char* name;
    Header header;
    Bytes data;
    Bytes text;
    uint32_t lines;
    uint32_t width;
};

TEST(LineDataConvert, RecordsToPages) {
    const Bytes kLong258(258, 'x');
    const Bytes kLong1500(1500, 'y');
    const Bytes k991 = Bytes(986, 'z') + "\r\n" + "w\r\n";  // exactly one block, ends in a delimiter
    const Case cases[] = {
        {"ansi spacing, page eject, overprint", H('N', 'V', 0, 'A'),
         V({" ABC", "0DEF", "1GHI", "-JKL", "+MNO"}), "ABC\n\nDEF\n\fGHI\n\n\nJKL\nMNO\n\f", 5, 3},
        {"machine control, EBCDIC 37", H('N', 'V', 0, 'M', 0, 37),
         V({"\x89\xC1\xC2", "\x11\xC3", "\x13\xC4\xC4", "\x8B"}), "AB\n\fC\n\n\n\n\f", 4, 2},
        {"form feeds, CR LF delimited", H('N', 'S', 0, 'N'), "AAA\r\n\fBBB\r\nCCC\r\n", "AAA\n\fBBB\nCCC\n\f",
         2, 4},
        {"fixed, zero byte becomes a blank", H('N', 'F', 3, 'N', 0, 37), Bytes("\xC1\x00\xC2", 3), "A B\n\f",
         1, 3},
        {"ansi '0' then '1'", H('N', 'V', 0, 'A'), V({"0AB", "1CD"}), "\nAB\n\fCD\n\f", 2, 2},
        {"machine 0x19, 0x11, 0x09", H('N', 'V', 0, 'M'), V({"\x19X", "\x11Y", "\x09Z"}), "X\n\n\nY\n\nZ\n\f",
         6, 1},
        {"machine 0x1B not printed", H('N', 'V', 0, 'M'), V({"\x1BQ", "\x09R"}), "\n\n\nR\n\f", 4, 1},
        {"machine 0x89 ejects after", H('N', 'V', 0, 'M'), V({"\x89P", "\x09Q"}), "P\n\fQ\n\f", 1, 1},
        {"other letter: one page, form feed kept", H('N', 'S', 0, 'X', 0, 819, "0A"), "A\n\fB\n",
         "A\n\fB\n\f", 2, 2},
        {"hex delimiter, last record without one", H('N', 'S', 0, 'N', 0, 819, "0a"), "AB\nCD", "AB\nCD\n\f",
         2, 2},
        {"one-character delimiter text means CR LF", H('N', 'S', 0, 'N', 0, 819, "0"), "A\r\nB\r\n",
         "A\nB\n\f", 2, 1},
        {"variable length 0x0102", H('N', 'V', 0, 'N'), V({kLong258}), kLong258 + "\n\f", 1, 258},
        {"empty variable record is a line", H('N', 'V', 0, 'N'), V({"A", "", "B"}), "A\n\nB\n\f", 3, 1},
        {"fixed length 1001 reads nothing", H('N', 'F', 1001, 'N'), Bytes(2002, 'a'), "", 0, 0},
        {"fixed length 0 reads nothing", H('N', 'F', 0, 'N'), "abc", "", 0, 0},
        {"variable length over 1000 ends there", H('N', 'V', 0, 'N'), V({"A", Bytes(1001, 'b')}), "A\n\f", 1,
         1},
        {"no records", H('N', 'V', 0, 'A'), "", "", 0, 0},
        {"short fixed record at the end is not used", H('N', 'F', 2, 'N'), "ABC", "AB\n\f", 1, 2},
        {"truncated variable record", H('N', 'V', 0, 'N'), V({"AB"}) + Bytes("\x00\x05xy", 4), "AB\n\f", 1,
         2},
        {"unknown record format", H('N', 'Q', 0, 'N'), "ABC", "", 0, 0},
        {"delimited record cut at the block", H('N', 'S', 0, 'N'), kLong1500,
         kLong1500.substr(0, 991) + "\n" + kLong1500.substr(991) + "\n\f", 2, 991},
        {"input ending with a block and a delimiter", H('N', 'S', 0, 'N'), k991, Bytes(986, 'z') + "\nw\n\f",
         2, 986},
        {"table reference character", H('N', 'V', 0, 'A', 1), V({" xAB", "1yCD"}), "AB\n\fCD\n\f", 1, 2},
        {"mixed 930, shifts dropped", H('2', 'V', 0, 'N', 0, 930), V({"\xC1\x0E\x41\x42\x43\x44\x0F\xC2"}),
         "A@@@@B\n\f", 1, 6},
        {"mixed 930, shifts blank", H('1', 'V', 0, 'N', 0, 930), V({"\xC1\x0E\x41\x42\x0F\xC2"}),
         "A @@ B\n\f", 1, 6},
        {"931 single bytes untranslated", H('2', 'V', 0, 'N', 0, 931), V({"\xC1\x0E\x41\x42\x0F"}),
         "\xC1@@\n\f", 1, 3},
        {"double-byte 300", H('N', 'V', 0, 'N', 0, 300), V({"\x41\x42\x43\x44"}), "@@@@\n\f", 1, 4},
        {"CCSID above 2^31 untranslated", H('N', 'F', 2, 'N', 0, 0x80000000u), "\xC1\xC2", "\xC1\xC2\n\f", 1,
         2},
        {"ansi control byte translated first", H('N', 'V', 0, 'A', 0, 37), V({"\x40\xC1", "\xF1\xC2"}),
         "A\n\fB\n\f", 1, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Result r = Convert(c.header, c.data);
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.text, c.text);
        EXPECT_EQ(r.lines, c.lines);
        EXPECT_EQ(r.width, c.width);
    }
}

TEST(LineDataConvert, MissingStreamsGiveZero) {
    const auto packed = Pack(Header{});
    uint32_t lines = 9, width = 9;
    std::FILE* out = std::tmpfile();
    EXPECT_EQ(afp::LineData_ConvertToText(nullptr, out, "", packed, lines, width), 0);
    EXPECT_EQ(lines, 0u);
    EXPECT_EQ(width, 0u);
    std::fclose(out);
}

TEST(LineDataConvert, OutputThatCannotBeWrittenGivesZero) {
    const auto packed = Pack(H('N', 'V', 0, 'A'));
    std::FILE* in = FileOf(V({" ABC", "1DEF"}));
    std::FILE* out = std::fopen("/dev/null", "rb");  // every write fails
    ASSERT_NE(out, nullptr);
    uint32_t lines = 0, width = 0;
    EXPECT_EQ(afp::LineData_ConvertToText(in, out, "", packed, lines, width), 0);
    std::fclose(in);
    std::fclose(out);
}

TEST(LineDataParms, FromHeader) {
    const Header h = H('2', 'F', 0x01020304, 'M', 1, 0x0000012C, "0D0A");
    const auto packed = Pack(h);
    const afp::LineDataParms p = afp::LineData_ParmsFromHeader(packed, nullptr);
    EXPECT_EQ(p.shiftHandling, '2');
    EXPECT_EQ(p.recordFormat, 'F');
    EXPECT_EQ(p.recordLength, 0x01020304u);
    EXPECT_EQ(p.carriageControl, 'M');
    EXPECT_EQ(p.trcFlag, 1);
    EXPECT_EQ(p.ccsid, 300u);
    EXPECT_EQ(p.pageHeaderRows, 3u);
    EXPECT_EQ(p.fieldHeaderRows, 4u);
    EXPECT_STREQ(p.delimiter.data(), "0D0A");
}

TEST(LineDataTables, EbcdicCcsids) {
    for (uint32_t ccsid : {37u, 273u, 500u, 930u, 1047u, 1140u, 1149u, 1388u, 290u, 300u})
        EXPECT_TRUE(afp::IsEbcdicCcsid(ccsid)) << ccsid;
    for (uint32_t ccsid : {0u, 819u, 931u, 1139u, 1150u, 1208u, 850u, 0xFFFFFFFFu})
        EXPECT_FALSE(afp::IsEbcdicCcsid(ccsid)) << ccsid;
}

// Runs a program by argument vector with stdout to `output`; its exit status.
int RunProgram(const std::vector<std::string>& args, const fs::path& output) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) return -1;
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(LineDataTables, BuiltInTableMatchesIbm1047ForPrintables) {
    if (!fs::exists(QEL_ICONV)) GTEST_SKIP() << "no iconv";
    const fs::path dir = fs::temp_directory_path() / ("afp_iconv_" + std::to_string(getpid()));
    fs::create_directories(dir);
    {
        std::ofstream all(dir / "all.bin", std::ios::binary);
        for (int b = 0; b < 256; ++b) all.put(static_cast<char>(b));
    }
    ASSERT_EQ(RunProgram({QEL_ICONV, "-f", "IBM1047", "-t", "UTF-16BE", (dir / "all.bin").string()},
                         dir / "out.bin"),
              0);
    std::ifstream in(dir / "out.bin", std::ios::binary);
    const Bytes utf16((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    fs::remove_all(dir);
    ASSERT_EQ(utf16.size(), 512u);
    const auto& table = afp::LineData_EbcdicTable();
    int printable = 0;
    for (int b = 0; b < 256; ++b) {
        const unsigned unit =
            (static_cast<uint8_t>(utf16[2 * b]) << 8) | static_cast<uint8_t>(utf16[2 * b + 1]);
        if (unit < 0x20 || unit > 0x7E) continue;
        ++printable;
        EXPECT_EQ(table[b], unit) << "EBCDIC byte " << b;
    }
    EXPECT_EQ(printable, 95);
}

class MapFiles : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() / ("afp_maps_" + std::to_string(getpid()));
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }
    void Write(const std::string& name, const std::string& text) { std::ofstream(dir_ / name) << text; }
    fs::path dir_;
};

TEST_F(MapFiles, LinesSetTargets) {
    Write("37.CP",
          "; comment line 41 42 43\n"
          "\n"
          "x C1 x 61\n"
          "x C2 x 00\n"
          "x c3 x 6a\r\n"
          "too few 44\n"
          "   lead  C5   blank  65\n"
          "x C6x x 66 trailing fields\n");
    const Result r = Convert(H('N', 'F', 6, 'N', 0, 37), "\xC1\xC2\xC3\xC4\xC5\xC6", dir_.string());
    // C2's target 0 and the unnamed C4 stay blanks.
    EXPECT_EQ(r.text, "a j ef\n\f");
    // The directory given with a trailing '/' finds the same map.
    EXPECT_EQ(Convert(H('N', 'F', 6, 'N', 0, 37), "\xC1\xC2\xC3\xC4\xC5\xC6", dir_.string() + "/").text,
              r.text);
}

TEST_F(MapFiles, MixedCcsidUsesSingleBytePartMap) {
    Write("290.CP", "x C1 x 7A\n");
    const Result r = Convert(H('2', 'V', 0, 'N', 0, 930), V({"\xC1\x0E\x41\x42\x0F\xC1"}), dir_.string());
    EXPECT_EQ(r.text, "z@@z\n\f");
}

TEST_F(MapFiles, NotHexFieldGivesSourceZero) {
    Write("500.CP", "x G1 x 41\n");
    std::vector<std::string> slots;
    ASSERT_TRUE(afp::LineData_LoadCodePageMap(dir_.string(), 500, slots));
    // The source field is not hex: entry 0 gets the target; a zero byte of the data is a
    // blank (0x40) before translation, so it shows as a blank.
    const Result r = Convert(H('N', 'F', 2, 'N', 0, 500), Bytes("\x00\x40", 2), dir_.string());
    EXPECT_EQ(r.text, "  \n\f");
}

TEST_F(MapFiles, LoaderSlots) {
    Write("1.CP", std::string(100, 'a') + "\nb\n");
    std::string many;
    for (int i = 0; i < 850; ++i) many += "x 41 x 61\n";
    Write("2.CP", many);
    std::vector<std::string> slots;
    ASSERT_TRUE(afp::LineData_LoadCodePageMap(dir_.string(), 1, slots));
    ASSERT_EQ(slots.size(), 3u);  // 79 characters, the rest of the line, "b"
    EXPECT_EQ(slots[0], std::string(79, 'a'));
    EXPECT_EQ(slots[1], std::string(21, 'a') + "\n");
    ASSERT_TRUE(afp::LineData_LoadCodePageMap(dir_.string(), 2, slots));
    EXPECT_EQ(slots.size(), 800u);
    EXPECT_FALSE(afp::LineData_LoadCodePageMap(dir_.string(), 3, slots));
    EXPECT_FALSE(afp::LineData_LoadCodePageMap("", 1, slots));
}

TEST(LineDataFileIo, Operations) {
    std::FILE* file = FileOf("abcdef");
    afp::LineDataParms parms;
    parms.input = file;
    unsigned char buffer[16] = {};
    uint64_t result = 0;
    EXPECT_TRUE(afp::LineData_FileIo(parms, 'R', 4, result, buffer));
    EXPECT_EQ(result, 4u);
    EXPECT_TRUE(afp::LineData_FileIo(parms, 'G', 0, result, nullptr));
    EXPECT_EQ(result, 4u);
    EXPECT_TRUE(afp::LineData_FileIo(parms, 'R', 10, result, buffer));  // short read at the end
    EXPECT_EQ(result, 2u);
    EXPECT_TRUE(afp::LineData_FileIo(parms, 'S', 1, result, nullptr));
    EXPECT_TRUE(afp::LineData_FileIo(parms, 'R', 1, result, buffer));
    EXPECT_EQ(buffer[0], 'b');
    EXPECT_TRUE(afp::LineData_FileIo(parms, 'X', 0, result, nullptr));
    EXPECT_FALSE(afp::LineData_FileIo(parms, 'S', UINT64_MAX, result, nullptr));
    std::fclose(file);
    parms.input = nullptr;
    EXPECT_FALSE(afp::LineData_FileIo(parms, 'G', 0, result, nullptr));
    EXPECT_FALSE(afp::LineData_FileIo(parms, 'R', 1, result, buffer));
}

TEST(LineDataFormatter, PagesLinesAndRecords) {
    afp::LineDataFormatter formatter;
    EXPECT_FALSE(afp::LineData_Init(formatter, afp::LineData_FileIo, nullptr));
    afp::LineDataParms unopened;
    EXPECT_EQ(afp::LineData_Open(formatter, unopened), nullptr);

    std::FILE* file = FileOf(V({" ABC", "0DEF", "1GHI", "-JKL"}));
    const auto packed = Pack(H('N', 'V', 0, 'A'));
    afp::LineDataParms parms = afp::LineData_ParmsFromHeader(packed, file);
    ASSERT_TRUE(afp::LineData_Init(formatter, afp::LineData_FileIo,
                                   [](uint32_t, std::vector<std::string>&) { return false; }));
    afp::LineDataDoc* doc = afp::LineData_Open(formatter, parms);
    ASSERT_NE(doc, nullptr);
    EXPECT_EQ(afp::LineData_PageCount(*doc), 2);
    EXPECT_EQ(afp::LineData_CurrentPage(*doc), afp::kNoCurrentPage);
    EXPECT_FALSE(afp::LineData_SelectPage(*doc, -1));
    EXPECT_FALSE(afp::LineData_SelectPage(*doc, 2));
    EXPECT_FALSE(afp::LineData_GetLine(*doc, 0).has_value());

    // Page 1 first, then page 0, then page 1 again: each is read again from its start.
    for (int32_t page : {1, 0, 1}) {
        SCOPED_TRACE(page);
        ASSERT_TRUE(afp::LineData_SelectPage(*doc, page));
        EXPECT_EQ(afp::LineData_CurrentPage(*doc), page);
        std::vector<std::string> lines;
        for (int32_t i = 0; auto line = afp::LineData_GetLine(*doc, i); ++i) lines.emplace_back(*line);
        if (page == 0) {
            EXPECT_EQ(lines, (std::vector<std::string>{"ABC", "", "DEF"}));
            EXPECT_EQ(afp::LineData_GetLineRecord(*doc, 1)->recordNumber, -1);
            EXPECT_EQ(afp::LineData_GetLineRecord(*doc, 2)->recordNumber, 2);
            EXPECT_EQ(afp::LineData_GetLineRecord(*doc, 2)->control, '0');
        } else {
            EXPECT_EQ(lines, (std::vector<std::string>{"GHI", "", "", "JKL"}));
            EXPECT_EQ(afp::LineData_GetLineRecord(*doc, 3)->lineNumber, 3u);
        }
    }
    EXPECT_FALSE(afp::LineData_GetLine(*doc, 4).has_value());
    EXPECT_FALSE(afp::LineData_GetLine(*doc, -1).has_value());
    afp::LineData_Close(formatter, doc);
    afp::LineData_Term(formatter);
    std::fclose(file);
}

}  // namespace
