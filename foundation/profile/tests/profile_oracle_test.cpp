// The profile reader and editor against Python's configparser as an independent reader.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "arc_platform.h"
#include "arc_profile.h"

namespace {

const std::string kOracle = std::string(QEL_TESTDATA_DIR) + "/profile/configparser_oracle.py";

std::string Unhex(const std::string& hex) {
    std::string out;
    for (size_t i = 0; i + 1 < hex.size(); i += 2) {
        out.push_back(static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16)));
    }
    return out;
}

std::vector<std::vector<std::string>> ReadRows(const std::string& path) {
    std::vector<std::vector<std::string>> rows;
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line)) {
        // Empty fields (empty texts) are kept, the last one too.
        std::vector<std::string> fields;
        size_t start = 0;
        for (size_t tab = line.find('\t'); tab != std::string::npos; tab = line.find('\t', start)) {
            fields.push_back(line.substr(start, tab - start));
            start = tab + 1;
        }
        fields.push_back(line.substr(start));
        rows.push_back(fields);
    }
    return rows;
}

void RunOracle(const std::vector<std::string>& args) {
    std::vector<std::string> argv = {"python3", kOracle};
    argv.insert(argv.end(), args.begin(), args.end());
    int status = -1;
    ASSERT_EQ(ArcOS_RunProgram(argv, &status), 0) << "python3 could not be started";
    ASSERT_EQ(status, 0) << "oracle failed";
}

class ProfileOracleTest : public ::testing::Test {
protected:
    void SetUp() override {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        dir_ = std::filesystem::path(::testing::TempDir()) /
               ("qel_profile_oracle_" + std::to_string(ArcOS_GetProcessId()) + "_" + info->name());
        std::filesystem::remove_all(dir_);
        std::filesystem::create_directories(dir_);
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }
    std::filesystem::path dir_;
};

TEST_F(ProfileOracleTest, GeneratedCorpusReadsAsConfigparserReadsIt) {
    constexpr int kFiles = 200;
    ASSERT_NO_FATAL_FAILURE(RunOracle({"corpus", dir_.string(), "20240611", std::to_string(kFiles)}));
    size_t lookups = 0;
    for (int i = 0; i < kFiles; ++i) {
        char base[32];
        std::snprintf(base, sizeof base, "case_%03d", i);
        const std::string ini = (dir_ / (std::string(base) + ".ini")).string();
        const auto rows = ReadRows((dir_ / (std::string(base) + ".expect")).string());
        ASSERT_FALSE(rows.empty()) << base;
        for (const auto& row : rows) {
            ASSERT_EQ(row.size(), 4u) << base;
            const std::string section = Unhex(row[0]);
            const std::string key = row[1] == "-" ? std::string() : Unhex(row[1]);
            const char* keyArg = row[1] == "-" ? nullptr : key.c_str();
            const std::string dflt = Unhex(row[2]);
            const std::string expected = Unhex(row[3]);
            std::vector<char> buffer(256);
            const size_t n = ArcPROF_GetString(section.c_str(), keyArg, dflt.c_str(), buffer.data(),
                                               buffer.size(), ini.c_str());
            EXPECT_EQ(std::string(buffer.data(), n), expected)
                << base << " [" << section << "] " << (keyArg ? key : "<section test>");
            ++lookups;
        }
    }
    EXPECT_GT(lookups, static_cast<size_t>(kFiles) * 3);
}

// Random edits applied to an image and to a plain model; configparser must read the
// image back as the model says.
TEST_F(ProfileOracleTest, EditedImagesParseAsTheModel) {
    const std::string names = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789_.-";
    const std::string valueChars = names + " =;#%/[]'\"\xe9\xfc";
    std::mt19937 rng(4711);
    auto pick = [&](size_t n) { return static_cast<size_t>(rng() % n); };
    auto randomText = [&](const std::string& alphabet, size_t maxLength) {
        std::string s;
        const size_t length = 1 + pick(maxLength);
        for (size_t i = 0; i < length; ++i) {
            s.push_back(alphabet[pick(alphabet.size())]);
        }
        return s;
    };
    auto lower = [](std::string s) {
        for (char& c : s) {
            if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        }
        return s;
    };
    auto flipCase = [&](std::string s) {
        for (char& c : s) {
            if (pick(2) == 0) c = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
        }
        return s;
    };

    // Every round's file is read by one oracle process after the last round.
    std::vector<std::string> dumpArgs{"dump"};
    std::vector<std::map<std::string, std::map<std::string, std::string>>> models;
    for (int round = 0; round < 20; ++round) {
        std::map<std::string, std::map<std::string, std::string>> model;
        std::vector<std::string> sectionNames;  // as first written
        char* image = nullptr;
        for (int op = 0; op < 60; ++op) {
            const size_t kind = pick(10);
            if (kind < 7 || sectionNames.empty()) {
                std::string section = sectionNames.empty() || pick(4) == 0
                                          ? randomText(names.substr(0, 26), 6)
                                          : flipCase(sectionNames[pick(sectionNames.size())]);
                std::string key = randomText(names, 6);
                auto& keys = model[lower(section)];
                if (!keys.empty() && pick(2) == 0) {
                    auto it = keys.begin();
                    std::advance(it, pick(keys.size()));
                    key = flipCase(it->first);
                }
                std::string value = randomText(valueChars, 12);
                while (!value.empty() && (value.front() == ' ' || value.back() == ' ' ||
                                          value.front() == '"' || value.front() == '\'')) {
                    value = value.substr(1);
                }
                ASSERT_EQ(ArcPROF_SetInImage(section.c_str(), key.c_str(), value.c_str(), &image), 0);
                if (keys.empty() && std::find_if(sectionNames.begin(), sectionNames.end(), [&](auto& s) {
                                        return lower(s) == lower(section);
                                    }) == sectionNames.end()) {
                    sectionNames.push_back(section);
                }
                keys[lower(key)] = value;
            } else if (kind < 9) {
                const std::string section = sectionNames[pick(sectionNames.size())];
                auto& keys = model[lower(section)];
                if (keys.empty()) continue;
                auto it = keys.begin();
                std::advance(it, pick(keys.size()));
                ASSERT_EQ(ArcPROF_SetInImage(flipCase(section).c_str(), flipCase(it->first).c_str(), nullptr,
                                             &image),
                          0);
                keys.erase(it);
            } else {
                const size_t at = pick(sectionNames.size());
                ASSERT_EQ(ArcPROF_SetInImage(flipCase(sectionNames[at]).c_str(), nullptr, nullptr, &image),
                          0);
                model.erase(lower(sectionNames[at]));
                sectionNames.erase(sectionNames.begin() + static_cast<long>(at));
            }
        }
        const std::string ini = (dir_ / ("edit_" + std::to_string(round) + ".ini")).string();
        const std::string out = (dir_ / ("edit_" + std::to_string(round) + ".dump")).string();
        ASSERT_EQ(ArcPROF_SaveFile(ini.c_str(), image), 0);
        std::free(image);
        dumpArgs.insert(dumpArgs.end(), {ini, out});
        // Sections deleted entirely, or left without keys, disappear from the comparison.
        std::erase_if(model, [](const auto& entry) { return entry.second.empty(); });
        models.push_back(model);
    }
    ASSERT_NO_FATAL_FAILURE(RunOracle(dumpArgs));

    for (size_t round = 0; round < models.size(); ++round) {
        const std::string out = (dir_ / ("edit_" + std::to_string(round) + ".dump")).string();
        std::map<std::string, std::map<std::string, std::string>> parsed;
        for (const auto& row : ReadRows(out)) {
            ASSERT_EQ(row.size(), 3u);
            parsed[Unhex(row[0])][Unhex(row[1])] = Unhex(row[2]);
        }
        EXPECT_EQ(parsed, models[round]) << "round " << round;
    }
}

}  // namespace
