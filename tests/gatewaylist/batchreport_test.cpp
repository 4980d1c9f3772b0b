#include "gatewaylist/batchreport.h"

#include <gtest/gtest.h>

namespace {

struct InProgressCase {
    const char* name;
    std::size_t count;  // addresses 255.255.255.1 and on
    std::string line;
};

class InProgressLine : public testing::TestWithParam<InProgressCase> {};

TEST_P(InProgressLine, ShowsWholeAddressesThenHowManyMore)
{
    std::vector<std::string> addresses;
    for (std::size_t n = 1; n <= GetParam().count; ++n)
        addresses.push_back("255.255.255." + std::to_string(n));
    const std::string line = inProgressLine(addresses);
    EXPECT_EQ(line, GetParam().line);
    EXPECT_LE(line.size(), 54u);
}

INSTANTIATE_TEST_SUITE_P(
    Batch, InProgressLine,
    testing::Values(
        InProgressCase{"none", 0, ""},
        InProgressCase{"one", 1, "In progress: 255.255.255.1"},
        InProgressCase{"three fit", 3, "In progress: 255.255.255.1 255.255.255.2 255.255.255.3"},
        InProgressCase{"four do not", 4, "In progress: 255.255.255.1 255.255.255.2 + 2 more"},
        InProgressCase{"a fleet", 64, "In progress: 255.255.255.1 255.255.255.2 + 62 more"}),
    [](const auto& param) {
        std::string name = param.param.name;
        for (char& c : name)
            c = c == ' ' ? '_' : c;
        return name;
    });

}  // namespace
