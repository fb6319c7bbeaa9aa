// direct_map_test.cpp - UTF-8 and UCS-2 to single-byte pages through the direct byte map
// give exactly the results of the general path (UCS-2 slices, two-level table lookup):
// output, result, error and the input left, for every BMP character, hostile and
// random bytes, input cut at every offset, and output sizes down to 0 and around the
// slice boundary.
#include <random>
#include <typeinfo>

#include "context.h"
#include "converter.h"
#include "table_module.h"
#include "test_support.h"

namespace qel::codepage::test {
namespace {

// Shipped single-byte pages: EBCDIC ones of several countries, ASCII-family ones.
constexpr const char* kPages[] = {"KVR-037", "KVR-273", "KVR-500", "KVR-1047", "KVR-1141",
                                  "KVR-819", "KVR-850", "KVR-923", "KVR-1252"};
// Default substitution, none, another substitution byte, none from UCS-2.
constexpr const char* kModifiers[] = {"", "@sub=no", "@subchar=\\x6F", "@sub=to-ucs"};

// A converter closed at the end.
class Handle {
public:
    Handle(ArcIconvContext* context, ArcUconv converter) : context_(context), converter_(converter) {}
    ~Handle() {
        if (ok()) ArcUCONV_Close(context_, converter_);
    }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    bool ok() const { return converter_ != nullptr && converter_ != ArcUconvFailed(); }
    ArcUconv get() const { return converter_; }

private:
    ArcIconvContext* context_;
    ArcUconv converter_;
};

std::string Utf8(uint32_t unit) {
    std::string bytes;
    if (unit < 0x80) {
        bytes += static_cast<char>(unit);
    } else if (unit < 0x800) {
        bytes += static_cast<char>(0xC0 | unit >> 6);
        bytes += static_cast<char>(0x80 | (unit & 0x3F));
    } else if (unit < 0x10000) {
        bytes += static_cast<char>(0xE0 | unit >> 12);
        bytes += static_cast<char>(0x80 | ((unit >> 6) & 0x3F));
        bytes += static_cast<char>(0x80 | (unit & 0x3F));
    } else {
        bytes += static_cast<char>(0xF0 | unit >> 18);
        bytes += static_cast<char>(0x80 | ((unit >> 12) & 0x3F));
        bytes += static_cast<char>(0x80 | ((unit >> 6) & 0x3F));
        bytes += static_cast<char>(0x80 | (unit & 0x3F));
    }
    return bytes;
}

// Runs both converters over the input into an output of the given room and expects
// the same outcome; false (and a failure) when they differ.
bool Same(ArcUconv direct, ArcUconv general, const std::string& input, size_t room) {
    Outcome ours = EngineConvert(direct, input, room);
    Outcome reference = EngineConvert(general, input, room);
    bool same = ours.rc == reference.rc && ours.error == reference.error &&
                ours.inputLeft == reference.inputLeft && ours.output == reference.output;
    EXPECT_TRUE(same) << "input " << Hex(input.substr(0, 48)) << (input.size() > 48 ? " ..." : "") << " ("
                      << input.size() << " bytes), room " << room << ": rc " << ours.rc << "/" << reference.rc
                      << ", error " << ours.error << "/" << reference.error << ", left " << ours.inputLeft
                      << "/" << reference.inputLeft << ", output " << Hex(ours.output.substr(0, 16)) << " / "
                      << Hex(reference.output.substr(0, 16));
    return same;
}

// Pieces of hostile and ordinary UTF-8: valid characters of every length, unmappable
// ones, overlong forms, surrogates, four-byte forms, stray and missing trail bytes.
std::string RandomUtf8(std::mt19937& random, size_t pieces) {
    static const std::string kPieces[] = {"A",
                                          "z",
                                          " ",
                                          "\n",
                                          "\x7F",
                                          "\xC3\xA9",
                                          "\xC2\x80",
                                          "\xC2\xA0",
                                          "\xC3\xBF",
                                          "\xC4\x80",
                                          "\xE2\x82\xAC",
                                          "\xEF\xBF\xBD",
                                          "\xEF\xBF\xBF",
                                          "\xE6\x97\xA5",
                                          "\xED\xA0\x80",
                                          "\xE0\xA0\x80",
                                          "\xE0\x80\x80",
                                          "\xE0\x9F\xBF",
                                          "\xC0\xAF",
                                          "\xC1\xBF",
                                          "\x80",
                                          "\xBF",
                                          "\xC3",
                                          "\xE2\x82",
                                          "\xE2",
                                          "\xF0\x9F\x98\x80",
                                          "\xF4\x8F\xBF\xBF",
                                          "\xF8\x88\x80\x80\x80",
                                          "\xFE",
                                          "\xFF",
                                          "\xC3\x41",
                                          "\xE2\x41\x41",
                                          "\xE2\x82\x41",
                                          "\x1A",
                                          "\x00"};
    std::uniform_int_distribution<size_t> pick(0, std::size(kPieces) - 1);
    std::uniform_int_distribution<int> ascii(0, 3);
    std::string text;
    for (size_t i = 0; i < pieces; ++i) {
        // Mostly ASCII, as real text is, so failures come late enough to matter.
        if (ascii(random) != 0) {
            text += static_cast<char>('a' + i % 26);
        } else {
            const std::string& piece = kPieces[pick(random)];
            text += piece.empty() ? std::string(1, '\0') : piece;
        }
    }
    return text;
}

class DirectMapTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(context_.rc(), 0); }

    // The direct pair from UTF-8, as the engine opens it.
    ArcUconv OpenDirect(const std::string& target) {
        return ArcUCONV_Open(context_.get(), target.c_str(), "UTF-8");
    }
    // The general pair through UCS-2 slices and the two-level table.
    ArcUconv OpenGeneral(const std::string& target) {
        int error = 0;
        ConverterPtr converter = OpenPairModule(context_.get(), target.c_str(), "UTF-8", &error, false);
        return converter ? converter.release() : ArcUconvFailed();
    }

    StagedContext context_;
};

TEST_F(DirectMapTest, Utf8PairsChooseTheDirectPath) {
    for (const char* page : kPages) {
        Handle direct(context_.get(), OpenDirect(page));
        Handle general(context_.get(), OpenGeneral(page));
        ASSERT_TRUE(direct.ok() && general.ok()) << page;
        // Otherwise the comparisons below would compare the general path with itself.
        const ArcUconvConverter& fast = *direct.get();
        const ArcUconvConverter& slices = *general.get();
        EXPECT_NE(typeid(fast), typeid(slices)) << page;
    }
}

TEST_F(DirectMapTest, Utf8EveryBmpCharacterAndBeyond) {
    for (const char* page : kPages) {
        for (const char* modifier : kModifiers) {
            std::string target = std::string(page) + modifier;
            SCOPED_TRACE(target);
            Handle direct(context_.get(), OpenDirect(target));
            Handle general(context_.get(), OpenGeneral(target));
            ASSERT_TRUE(direct.ok() && general.ok());
            int differences = 0;
            std::string all;
            for (uint32_t unit = 0; unit < 0x10000 && differences < 5; ++unit) {
                std::string character = Utf8(unit);
                all += character;
                // Alone, after a letter with room for only the letter, and with no room.
                if (!Same(direct.get(), general.get(), character, 4)) ++differences;
                if (!Same(direct.get(), general.get(), "A" + character, 1)) ++differences;
                if (!Same(direct.get(), general.get(), character, 0)) ++differences;
            }
            // Characters beyond U+FFFF (four bytes) are invalid input.
            for (uint32_t unit : {0x10000u, 0x1F600u, 0x10FFFFu}) {
                Same(direct.get(), general.get(), "AB" + Utf8(unit) + "C", 8);
            }
            // All of them in one text, many slices long.
            Same(direct.get(), general.get(), all, all.size());
            Same(direct.get(), general.get(), all, 40000);
        }
    }
}

TEST_F(DirectMapTest, Utf8EveryTwoByteAndHostileThreeByteString) {
    for (const char* page : kPages) {
        std::string target = std::string(page) + "@sub=no";
        SCOPED_TRACE(target);
        Handle direct(context_.get(), OpenDirect(target));
        Handle general(context_.get(), OpenGeneral(target));
        ASSERT_TRUE(direct.ok() && general.ok());
        int differences = 0;
        for (unsigned pair = 0; pair < 0x10000 && differences < 5; ++pair) {
            std::string bytes = Bytes({static_cast<int>(pair >> 8), static_cast<int>(pair & 0xFF)});
            if (!Same(direct.get(), general.get(), bytes, 2)) ++differences;
        }
    }
    Handle direct(context_.get(), OpenDirect("KVR-037"));
    Handle general(context_.get(), OpenGeneral("KVR-037"));
    ASSERT_TRUE(direct.ok() && general.ok());
    int differences = 0;
    for (int lead : {0xC2, 0xDF, 0xE0, 0xE1, 0xED, 0xEF, 0xF0, 0x80}) {
        for (unsigned rest = 0; rest < 0x10000 && differences < 5; ++rest) {
            std::string bytes = Bytes({lead, static_cast<int>(rest >> 8), static_cast<int>(rest & 0xFF)});
            if (!Same(direct.get(), general.get(), bytes, 3)) ++differences;
        }
    }
}

TEST_F(DirectMapTest, Utf8RandomTextCutAtEveryOffsetAndOutputSize) {
    std::mt19937 random(20261210);
    for (const char* page : kPages) {
        for (const char* modifier : kModifiers) {
            std::string target = std::string(page) + modifier;
            SCOPED_TRACE(target);
            Handle direct(context_.get(), OpenDirect(target));
            Handle general(context_.get(), OpenGeneral(target));
            ASSERT_TRUE(direct.ok() && general.ok());
            int differences = 0;
            for (int round = 0; round < 60 && differences < 5; ++round) {
                std::string text = RandomUtf8(random, 24);
                for (size_t cut = 0; cut <= text.size(); ++cut) {
                    std::string input = text.substr(0, cut);
                    for (size_t room : {size_t{0}, size_t{1}, cut / 2, cut, text.size() + 8}) {
                        if (!Same(direct.get(), general.get(), input, room)) ++differences;
                    }
                }
            }
        }
    }
}

TEST_F(DirectMapTest, Utf8AroundTheSliceBoundary) {
    // The general pair decodes 8192 characters at a time; the output filling up exactly
    // at a slice start is where the two could part.
    constexpr size_t kSlice = 8192;
    const std::string tails[] = {"B",
                                 "\xC3\xA9",
                                 "\xE2\x82\xAC",
                                 "\xE6\x97\xA5",
                                 "\xF0\x9F\x98\x80",
                                 "\x80",
                                 "\xE2\x82",
                                 "\xC3",
                                 "\xE6\x97\xA5"
                                 "B",
                                 "B\xE6\x97\xA5",
                                 "\xC0\xAF"};
    for (const char* page : {"KVR-037", "KVR-819", "KVR-1252"}) {
        for (const char* modifier : kModifiers) {
            std::string target = std::string(page) + modifier;
            SCOPED_TRACE(target);
            Handle direct(context_.get(), OpenDirect(target));
            Handle general(context_.get(), OpenGeneral(target));
            ASSERT_TRUE(direct.ok() && general.ok());
            for (size_t lead : {kSlice - 1, kSlice, kSlice + 1, 2 * kSlice, 3 * kSlice - 1}) {
                for (const std::string& tail : tails) {
                    // Two-byte characters before it: the slice is counted in characters.
                    for (const char* filler : {"a", "\xC3\xA4"}) {
                        std::string input;
                        for (size_t i = 0; i < lead; ++i) input += filler;
                        input += tail;
                        for (size_t room : {lead - 1, lead, lead + 1, lead + 2, input.size()}) {
                            Same(direct.get(), general.get(), input, room);
                        }
                    }
                }
            }
        }
    }
}

TEST_F(DirectMapTest, Ucs2EveryUnitRandomTextAndCuts) {
    std::mt19937 random(1208037);
    std::uniform_int_distribution<int> unitKind(0, 3);
    std::uniform_int_distribution<uint32_t> anyUnit(0, 0xFFFF);
    for (const char* page : kPages) {
        for (const char* modifier :
             {"", "@sub=no", "@subchar=\\x6F", "@sub=to-ucs", "@endian=big", "@endian=big,sub=no"}) {
            std::string target = std::string(page) + modifier;
            SCOPED_TRACE(target);
            Handle direct(context_.get(), ArcUCONV_Open(context_.get(), target.c_str(), "UCS-2"));
            Handle general(context_.get(), ArcUCONV_Open(context_.get(), target.c_str(), "UCS-2"));
            ASSERT_TRUE(direct.ok() && general.ok());
            auto* table = dynamic_cast<TableConverter*>(general.get());
            ASSERT_NE(table, nullptr);
            // Otherwise both would take the two-level path.
            ASSERT_EQ(table->Data().byteFromUcs.size(), 0x10000u);
            table->UseByteMap(false);
            int differences = 0;
            std::string all;
            for (uint32_t unit = 0; unit < 0x10000 && differences < 5; ++unit) {
                std::string one = Ucs2({static_cast<uint16_t>(unit)});
                all += one;
                if (!Same(direct.get(), general.get(), one, 1)) ++differences;
                if (!Same(direct.get(), general.get(), one, 0)) ++differences;
            }
            Same(direct.get(), general.get(), all, all.size());
            Same(direct.get(), general.get(), all + "\x41", all.size());
            for (int round = 0; round < 100 && differences < 5; ++round) {
                std::string text;
                for (int i = 0; i < 16; ++i) {
                    uint32_t unit = unitKind(random) == 0 ? anyUnit(random) : 'a' + i;
                    text += Ucs2({static_cast<uint16_t>(unit)});
                }
                for (size_t cut = 0; cut <= text.size(); ++cut) {
                    std::string input = text.substr(0, cut);
                    for (size_t room : {size_t{0}, size_t{1}, cut / 4, cut / 2, text.size()}) {
                        if (!Same(direct.get(), general.get(), input, room)) ++differences;
                    }
                }
            }
        }
    }
}

}  // namespace
}  // namespace qel::codepage::test
