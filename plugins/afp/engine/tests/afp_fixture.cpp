// afp_fixture.cpp - builders for test documents.
#include "afp_fixture.h"

#include <filesystem>
#include <fstream>
#include <stdexcept>

#include <unistd.h>

namespace knvw_test {

std::string Ebcdic(const std::string& ascii) {
    std::string out;
    for (char c : ascii) {
        unsigned char e;
        if (c >= 'A' && c <= 'I')
            e = static_cast<unsigned char>(0xC1 + (c - 'A'));
        else if (c >= 'J' && c <= 'R')
            e = static_cast<unsigned char>(0xD1 + (c - 'J'));
        else if (c >= 'S' && c <= 'Z')
            e = static_cast<unsigned char>(0xE2 + (c - 'S'));
        else if (c >= 'a' && c <= 'i')
            e = static_cast<unsigned char>(0x81 + (c - 'a'));
        else if (c >= 'j' && c <= 'r')
            e = static_cast<unsigned char>(0x91 + (c - 'j'));
        else if (c >= 's' && c <= 'z')
            e = static_cast<unsigned char>(0xA2 + (c - 's'));
        else if (c >= '0' && c <= '9')
            e = static_cast<unsigned char>(0xF0 + (c - '0'));
        else if (c == ' ')
            e = 0x40;
        else if (c == '.')
            e = 0x4B;
        else if (c == ',')
            e = 0x6B;
        else
            throw std::invalid_argument("no EBCDIC for this character in the fixture");
        out.push_back(static_cast<char>(e));
    }
    return out;
}

std::string Field(unsigned char a, unsigned char b, unsigned char c, const std::string& data) {
    const std::size_t length = 8 + data.size();
    std::string out;
    out.push_back(0x5A);
    out.push_back(static_cast<char>(length >> 8));
    out.push_back(static_cast<char>(length & 0xFF));
    out.push_back(static_cast<char>(a));
    out.push_back(static_cast<char>(b));
    out.push_back(static_cast<char>(c));
    out.append(3, '\0');
    return out + data;
}

std::string Name8(const std::string& name) {
    std::string padded = name;
    padded.resize(8, ' ');
    return Ebcdic(padded);
}

namespace {

std::string Be(unsigned value, int bytes) {
    std::string out;
    for (int i = bytes - 1; i >= 0; --i) out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
    return out;
}

}  // namespace

std::string Environment(double widthInches, double heightInches) {
    const auto w = static_cast<unsigned>(widthInches * 1440), h = static_cast<unsigned>(heightInches * 1440);
    const std::string descriptor = std::string(2, '\0') + Be(14400, 2) + Be(14400, 2) + Be(w, 3) + Be(h, 3);
    return Field(0xD3, 0xA8, 0xC9) + Field(0xD3, 0xA6, 0xAF, descriptor + std::string(3, '\0')) +
           Field(0xD3, 0xB1, 0x9B, descriptor + std::string(2, '\0')) + Field(0xD3, 0xA9, 0xC9);
}

std::string PresentationText(const std::vector<TextAt>& runs) {
    std::vector<std::pair<unsigned char, std::string>> sequences;
    for (const auto& run : runs) {
        sequences.emplace_back(0xD3, Be(static_cast<unsigned>(run.y), 2));
        sequences.emplace_back(0xC7, Be(static_cast<unsigned>(run.x), 2));
        sequences.emplace_back(0xDB, Ebcdic(run.text));
    }
    std::string out = "\x2B\xD3";
    for (std::size_t n = 0; n < sequences.size(); ++n) {
        unsigned char kind = sequences[n].first;
        if (n + 1 == sequences.size()) kind &= 0xFE;
        out.push_back(static_cast<char>(2 + sequences[n].second.size()));
        out.push_back(static_cast<char>(kind));
        out += sequences[n].second;
    }
    return out;
}

std::string AfpDocument(const std::vector<std::vector<TextAt>>& pages, double widthInches,
                        double heightInches, const std::string& extraPerPage) {
    std::string out = Field(0xD3, 0xA8, 0xA8, Name8("DOC"));
    for (const auto& runs : pages) {
        out += Field(0xD3, 0xA8, 0xAF, Name8("PAGE")) + Environment(widthInches, heightInches) + extraPerPage;
        out += Field(0xD3, 0xA8, 0x9B) + Field(0xD3, 0xEE, 0x9B, PresentationText(runs)) +
               Field(0xD3, 0xA9, 0x9B);
        out += Field(0xD3, 0xA9, 0xAF, Name8("PAGE"));
    }
    return out + Field(0xD3, 0xA9, 0xA8, Name8("DOC"));
}

std::string AfpOverlay(const std::string& name, const std::vector<TextAt>& runs) {
    return Field(0xD3, 0xA8, 0xC6, Name8("RG")) + Field(0xD3, 0xA8, 0xCE, Name8(name)) +
           Field(0xD3, 0xA8, 0xDF, Name8(name)) + Environment(8.5, 11) + Field(0xD3, 0xA8, 0x9B) +
           Field(0xD3, 0xEE, 0x9B, PresentationText(runs)) + Field(0xD3, 0xA9, 0x9B) +
           Field(0xD3, 0xA9, 0xDF, Name8(name)) + Field(0xD3, 0xA9, 0xCE, Name8(name)) +
           Field(0xD3, 0xA9, 0xC6, Name8("RG"));
}

std::string WriteTempFile(const std::string& name, const std::string& content) {
    const auto dir = std::filesystem::temp_directory_path() / ("knvw-test-" + std::to_string(::getpid()));
    const auto path = dir / name;
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << content;
    return path.string();
}

}  // namespace knvw_test
