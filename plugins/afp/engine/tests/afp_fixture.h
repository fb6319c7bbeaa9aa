// afp_fixture.h - small AFP documents built in tests (structured fields, presentation
// text with EBCDIC code page 500 text).
#pragma once

#include <string>
#include <vector>

namespace knvw_test {

struct TextAt {
    int x, y;          // inline position and baseline, page units (1440 a inch)
    std::string text;  // letters, digits, blanks, '.' and ','
};

std::string Ebcdic(const std::string& ascii);
std::string Field(unsigned char a, unsigned char b, unsigned char c, const std::string& data = {});
std::string Name8(const std::string& name);
// The page and text descriptors for a page of widthInches x heightInches at 1440 a inch.
std::string Environment(double widthInches, double heightInches);
// A PTX field: per run AMB, AMI, TRN chained after one 0x2BD3.
std::string PresentationText(const std::vector<TextAt>& runs);
// BDT, per page BPG, environment, BPT/PTX/EPT, extra fields, EPG; EDT.
std::string AfpDocument(const std::vector<std::vector<TextAt>>& pages, double widthInches = 8.5,
                        double heightInches = 11, const std::string& extraPerPage = {});
// A resource group holding one overlay with its text.
std::string AfpOverlay(const std::string& name, const std::vector<TextAt>& runs);
// Writes a file into a fresh directory under the test's temporary directory.
std::string WriteTempFile(const std::string& name, const std::string& content);

}  // namespace knvw_test
