#include "gatewaylist/batchreport.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using namespace std::string_literals;

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

struct CsvText {
    const char* behaviour;
    std::string userId;
    std::string field;  // as the user ID column of the report holds it
};

void PrintTo(const CsvText& c, std::ostream* os)
{
    *os << c.behaviour;
}

class CsvTexts : public testing::TestWithParam<CsvText> {};

// A list's single-byte text reaches a spreadsheet as UTF-8, never as a raw control byte, and
// never as a formula.
TEST_P(CsvTexts, AreWrittenAsUtf8WithoutControlsOrFormulas)
{
    BatchReport report;
    report.command = "check";
    ReportRow row;
    row.address = "10.0.0.1";
    row.userId = GetParam().userId;
    report.rows.push_back(row);
    const std::string csv = reportCsv(report);
    const std::string line = csv.substr(csv.find("\r\n") + 2);
    EXPECT_EQ(line, "1,10.0.0.1," + GetParam().field + ",NotStarted,,,,0,0,0,0,\r\n");
}

INSTANTIATE_TEST_SUITE_P(
    , CsvTexts,
    testing::Values(
        CsvText{"PlainText", "admin", "admin"},
        CsvText{"HighBytesAsTheirCodePoints", "caf\xE9\xFF", "caf\xC3\xA9\xC3\xBF"},
        CsvText{"ZeroAndEscapeBytesReplaced", "a\0b\x1B[2J"s, "a\xEF\xBF\xBD" "b\xEF\xBF\xBD[2J"},
        CsvText{"LeadingFormulaCharacter", "=1+2", "'=1+2"},
        CsvText{"LeadingTab", "\tcmd", "'\tcmd"},
        CsvText{"LeadingCarriageReturn", "\r=1", "\"'\r=1\""},
        CsvText{"SeparatorQuoted", "a,\"b\"", "\"a,\"\"b\"\"\""}),
    [](const auto& testCase) { return std::string(testCase.param.behaviour); });

}  // namespace
