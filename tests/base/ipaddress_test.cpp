#include "base/ipaddress.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct FormatCase {
    IpOctets octets;
    const char* expected;
};

class FormatIpText : public ::testing::TestWithParam<FormatCase> {};

TEST_P(FormatIpText, WritesDecimalOctetsWithoutLeadingZeros)
{
    EXPECT_EQ(formatIpText(GetParam().octets), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Cases, FormatIpText,
                         ::testing::Values(FormatCase{{192, 168, 0, 5}, "192.168.0.5"},
                                           FormatCase{{0, 0, 0, 0}, "0.0.0.0"},
                                           FormatCase{{255, 255, 255, 255}, "255.255.255.255"},
                                           FormatCase{{10, 0, 0, 7}, "10.0.0.7"}));

struct ParseCase {
    const char* behaviour;
    std::string text;
    IpOctets expected;
};

void PrintTo(const ParseCase& c, std::ostream* os) { *os << c.behaviour; }

class ParseIpText : public ::testing::TestWithParam<ParseCase> {};

TEST_P(ParseIpText, ConvertsEachPartLikeAtoi)
{
    EXPECT_EQ(parseIpText(GetParam().text), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ParseIpText,
    ::testing::Values(
        ParseCase{"a dotted quad", "10.0.0.7", {10, 0, 0, 7}},
        ParseCase{"a missing fourth part is 0", "1.2.3", {1, 2, 3, 0}},
        ParseCase{"a part above 255 keeps its low 8 bits", "300.1.1.1", {44, 1, 1, 1}},
        ParseCase{"the empty text is all zeros", "", {0, 0, 0, 0}},
        ParseCase{"white space and signs before a part are taken", " 10.\t+20.-1.4",
                  {10, 20, 255, 4}},
        ParseCase{"the fourth part stops at its first non-digit", "1.2.3.4.5", {1, 2, 3, 4}},
        ParseCase{"letters give 0", "a.b.c.d", {0, 0, 0, 0}},
        ParseCase{"an empty part is 0", "1..3.4", {1, 0, 3, 4}},
        ParseCase{"dots alone are zeros", "...", {0, 0, 0, 0}},
        ParseCase{"digits after other characters are ignored", "7x9.8.9.10", {7, 8, 9, 10}},
        ParseCase{"negative values wrap to two's complement", "-256.-255.-2.-128",
                  {0, 1, 254, 128}},
        ParseCase{"a huge number saturates before the cut", "99999999999.1.1.1", {255, 1, 1, 1}},
        ParseCase{"a huge negative number saturates before the cut", "-99999999999.1.1.1",
                  {0, 1, 1, 1}},
        ParseCase{"space between sign and digits gives 0", "- 5.1.1.1", {0, 1, 1, 1}},
        ParseCase{"a sixteen-character text without a dot after the third",
                  "1.2.3.456789012345", {1, 2, 3, 255}}));

}  // namespace
