#include "addressbook/porttext.h"

#include <gtest/gtest.h>

#include <optional>

TEST(PortText, AcceptsUnsigned32BitDecimalsWithBlanksAround)
{
    struct Case {
        const char* text;
        std::optional<std::uint32_t> expected;
    };
    const Case cases[] = {
        {"1720", 1720u},         {" \t80\t ", 80u},          {"0", 0u},
        {"007", 7u},             {"4294967295", 4294967295u}, {"4294967296", std::nullopt},
        {"99999999999999999999", std::nullopt},               {"", std::nullopt},
        {" \t ", std::nullopt},  {"-1", std::nullopt},       {"+1", std::nullopt},
        {"1 2", std::nullopt},   {"12a", std::nullopt},      {"\n12", std::nullopt},
        {"\xd9\xa1", std::nullopt},  // a digit of another script
    };
    for (const Case& c : cases)
        EXPECT_EQ(parsePortText(c.text), c.expected) << '"' << c.text << '"';
}
