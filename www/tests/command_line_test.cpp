// The CGI program's command line in process: the re-entrant option parser over argument
// vectors, the options it gives, and the packing of bytes by size.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cgi_command_line.h"
#include "local_container.h"
#include "option_parser.h"

namespace {

using namespace qelwww::detail;

// argv of words (argv[0] "qelwww"), kept alive for the parser.
class Argv {
public:
    explicit Argv(std::vector<std::string> words) : words_(std::move(words)) {
        words_.insert(words_.begin(), "qelwww");
        for (std::string& w : words_) pointers_.push_back(w.data());
        pointers_.push_back(nullptr);
    }
    int Count() const { return static_cast<int>(words_.size()); }
    char** Values() { return pointers_.data(); }

private:
    std::vector<std::string> words_;
    std::vector<char*> pointers_;
};

// The parser's answers as text: each option letter with its argument in brackets, '?'
// and ':' as they come, then "|" and the index where the options ended.
std::string Parse(std::vector<std::string> words) {
    Argv argv(std::move(words));
    OptionState state;
    std::string out;
    for (int option; (option = NextOption(&state, argv.Count(), argv.Values(), "a:p:o:v")) != -1;) {
        out += static_cast<char>(option);
        if (option == '?' || option == ':') out += static_cast<char>(state.option);
        if (state.argument != nullptr) out += "[" + std::string(state.argument) + "]";
    }
    return out + "|" + std::to_string(state.index);
}

TEST(OptionParser, Answers) {
    struct Case {
        std::vector<std::string> words;
        std::string answers;
    };
    const Case cases[] = {
        {{}, "|1"},
        {{"-a", "f.afp"}, "a[f.afp]|3"},
        {{"-af.afp"}, "a[f.afp]|2"},  // the rest of the word
        {{"-vaf"}, "va[f]|2"},        // letters share one '-'
        {{"-va", "f"}, "va[f]|3"},
        {{"-a", "-v"}, "a[-v]|3"},  // the next word, whatever it is
        {{"-a", ""}, "a[]|3"},
        {{"-a"}, ":a|2"},         // missing argument
        {{"-x", "-v"}, "?xv|3"},  // unknown letter, then on
        {{"-vx"}, "v?x|2"},
        {{"-:"}, "?:|2"},        // ':' is no option letter
        {{"word", "-v"}, "|1"},  // the first word without '-' ends them
        {{"-v", "word", "-v"}, "v|2"},
        {{"-", "-v"}, "|1"},   // a lone '-' ends them
        {{"--", "-v"}, "|2"},  // "--" ends them and is skipped
        {{"-v", "--", "-a"}, "v|3"},
        {{"-p", "x", "-o", "y", "-a", "z"}, "p[x]o[y]a[z]|7"},
    };
    for (const Case& c : cases) {
        std::string joined;
        for (const auto& w : c.words) joined += w + " ";
        EXPECT_EQ(Parse(c.words), c.answers) << joined;
    }
}

TEST(OptionParser, TwoStatesDoNotMeet) {
    Argv first({"-a", "one", "-v"});
    Argv second({"-p", "two"});
    OptionState a;
    OptionState b;
    EXPECT_EQ(NextOption(&a, first.Count(), first.Values(), "a:p:o:v"), 'a');
    EXPECT_EQ(NextOption(&b, second.Count(), second.Values(), "a:p:o:v"), 'p');
    EXPECT_STREQ(b.argument, "two");
    EXPECT_EQ(NextOption(&a, first.Count(), first.Values(), "a:p:o:v"), 'v');
    EXPECT_EQ(NextOption(&b, second.Count(), second.Values(), "a:p:o:v"), -1);
}

TEST(CommandLineOptions, WhatTheModeIsAsked) {
    struct Case {
        std::vector<std::string> words;
        bool invoked, usage, version;
        const char* afp;         // "-": none
        const char* parameters;  // "-": none
        const char* output;      // "-": none
    };
    const Case cases[] = {
        {{}, false, false, false, "-", "-", "-"},
        {{"--", "-a", "x"}, false, false, false, "-", "-", "-"},
        {{"-a", "f"}, true, false, false, "f", "-", "-"},
        {{"-a", "f", "-p", "", "-o", "o"}, true, false, false, "f", "qelwww.parms", "o"},
        {{"-a", "f", "-p", "my parms"}, true, false, false, "f", "my parms", "-"},
        {{"-a", ""}, true, true, false, "", "-", "-"},
        {{"-a", "f", "-o", ""}, true, true, false, "f", "-", ""},
        {{"-a"}, true, true, false, "-", "-", "-"},
        {{"-x", "-a", "f"}, true, true, false, "-", "-", "-"},  // stops at the error
        {{"-v", "-a", "f"}, true, false, true, "-", "-", "-"},  // stops at -v
        {{"-a", "f", "-v"}, true, false, true, "f", "-", "-"},
    };
    const QelWWWConfig config;
    for (const Case& c : cases) {
        Argv argv(c.words);
        const CommandLine line = ParseCommandLine(&config, argv.Count(), argv.Values());
        std::string joined;
        for (const auto& w : c.words) joined += w + " ";
        SCOPED_TRACE(joined);
        EXPECT_EQ(line.invoked, c.invoked);
        EXPECT_EQ(line.usage, c.usage);
        EXPECT_EQ(line.version, c.version);
        EXPECT_EQ(line.afpFile.value_or("-"), c.afp);
        EXPECT_EQ(line.parameterFile.value_or("-"), c.parameters);
        EXPECT_EQ(line.outputFile.value_or("-"), c.output);
    }
}

TEST(LocalContainer, LeadAndHeaderAsWritten) {
    const PackedPiece resources{'L', "RES"};
    const PackedPiece document{'Z', "DOCUMENT"};
    const std::string c = LocalContainer(resources, document);
    const std::string expected = std::string("VOD#\x00\x00\x07\xD0\xFF\xFF\xFF\xFF", 12) +
                                 std::string(
                                     "\x00LZ\x00\x00\x00\x00\x00\x00\x00\x03"
                                     "A\x00\x00\x00\x00\x64",
                                     17) +
                                 std::string(8, '\0') + "MBW" + "RES" + "DOCUMENT";
    EXPECT_EQ(c, expected);
    // Without resources the resource letter is 'N' whatever the piece says.
    const std::string bare = LocalContainer(PackedPiece{'L', ""}, document);
    EXPECT_EQ(bare[13], 'N');
    EXPECT_EQ(bare.size(), 40u + document.bytes.size());
}

TEST(LocalContainer, LetterBySize) {
    struct Case {
        size_t size;
        bool compressible;
        char letter;
    };
    const Case cases[] = {
        {0, true, 'N'},     {199, true, 'N'},   {200, true, 'L'},    {29999, true, 'L'}, {30000, true, '3'},
        {60000, true, '4'}, {90000, true, '5'}, {120000, true, 'Z'}, {300, false, 'N'},  {40000, false, 'N'},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.size);
        std::string bytes(c.size, 'a');
        uint32_t state = 12345;
        for (size_t i = 0; i < bytes.size(); ++i) {
            state = state * 1103515245u + 12345u;
            bytes[i] = c.compressible ? static_cast<char>('a' + i % 7) : static_cast<char>(state >> 24);
        }
        PackedPiece piece;
        ASSERT_TRUE(PackBytes(bytes, &piece));
        EXPECT_EQ(piece.letter, c.letter);
        if (c.letter == 'N')
            EXPECT_EQ(piece.bytes, bytes);
        else
            EXPECT_LT(piece.bytes.size(), bytes.size());
    }
}

}  // namespace
