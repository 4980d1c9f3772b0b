#include "cli/hosts.h"
#include "cli/reports.h"
#include "cli/jsontext.h"
#include "cli/rowselection.h"

#include <gtest/gtest.h>

#include <sstream>

namespace {

struct RowsCase {
    const char* text;
    std::size_t count;
    std::optional<std::set<std::size_t>> rows;  // 1-based here, for reading
};

class Rows : public ::testing::TestWithParam<RowsCase> {};

TEST_P(Rows, NumbersRangesAndExclusions)
{
    std::optional<std::set<std::size_t>> expected;
    if (GetParam().rows) {
        expected.emplace();
        for (std::size_t row : *GetParam().rows)
            expected->insert(row - 1);
    }
    EXPECT_EQ(parseRows(GetParam().text, GetParam().count), expected) << GetParam().text;
}

INSTANTIATE_TEST_SUITE_P(
    Texts, Rows,
    ::testing::Values(RowsCase{"4,2", 5, {{2, 4}}}, RowsCase{"1-3,5", 5, {{1, 2, 3, 5}}},
                      RowsCase{"1-5,!2-3", 5, {{1, 4, 5}}}, RowsCase{"!2", 3, {{1, 3}}},
                      RowsCase{"3-3", 3, {{3}}}, RowsCase{"1,!1", 3, {{}}},
                      RowsCase{"0", 5, std::nullopt}, RowsCase{"6", 5, std::nullopt},
                      RowsCase{"3-1", 5, std::nullopt}, RowsCase{"1,,2", 5, std::nullopt},
                      RowsCase{"!", 5, std::nullopt}, RowsCase{"1-", 5, std::nullopt},
                      RowsCase{"1-2-3", 5, std::nullopt}, RowsCase{"+1", 5, std::nullopt},
                      RowsCase{"", 5, std::nullopt}));

struct HostsCase {
    const char* text;
    std::vector<std::string> addresses;
    const char* error;  // empty: read
};

class Hosts : public ::testing::TestWithParam<HostsCase> {};

TEST_P(Hosts, OneAddressOrRangeALine)
{
    std::istringstream in(GetParam().text);
    try {
        EXPECT_EQ(readHosts(in), GetParam().addresses);
        EXPECT_STREQ(GetParam().error, "");
    } catch (const BadInput& e) {
        EXPECT_STREQ(e.what(), GetParam().error);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Files, Hosts,
    ::testing::Values(
        HostsCase{"# fleet\r\n\r\n 127.0.0.2 \t# first\n127.0.0.254-255\n",
                  {"127.0.0.2", "127.0.0.254", "127.0.0.255"}, ""},
        HostsCase{"127.0.0.1\n127.0.0\n", {}, "line 2: 127.0.0 is not an IPv4 address"},
        HostsCase{"127.0.0.9-3", {}, "line 1: 127.0.0.9-3 is not an IPv4 address"},
        HostsCase{"127.0.0.1-256", {}, "line 1: 127.0.0.1-256 is not an IPv4 address"},
        HostsCase{"127.0.0.01", {"127.0.0.1"}, ""},
        HostsCase{"127.0.0.1 127.0.0.2", {}, "line 1: 127.0.0.1 127.0.0.2 is not an IPv4 address"},
        HostsCase{"127.0.0.0-255\n127.0.1.0-255\n127.0.2.0", {}, "more than 512 addresses"}));

// Each command counts its rows in its own words; no row that did what was asked, or found
// nothing to do, is counted as failed.
TEST(Summary, EachCommandCountsItsRowsInItsOwnWords)
{
    const struct {
        const char* command;
        std::vector<RowStatus> statuses;
        const char* text;
        const char* json;
    } cases[] = {
        {"check", {RowStatus::Reachable, RowStatus::NotReachable, RowStatus::None},
         "3 gateways: 1 reachable, 1 not reachable, 1 not started; 0.0 s",
         R"({"gateways":3,"reachable":1,"notReachable":1,"notStarted":1,"seconds":0.0})"},
        {"upgrade", {RowStatus::Uploaded, RowStatus::FtpFailed},
         "2 gateways: 1 uploaded, 1 failed, 0 not reachable, 0 not started; 0.0 s",
         R"({"gateways":2,"uploaded":1,"unchanged":0,"failed":1,"notReachable":0,"notStarted":0,"seconds":0.0})"},
        {"upgrade", {RowStatus::Uploaded, RowStatus::Unchanged},
         "2 gateways: 1 uploaded, 1 unchanged, 0 failed, 0 not reachable, 0 not started; 0.0 s",
         R"({"gateways":2,"uploaded":1,"unchanged":1,"failed":0,"notReachable":0,"notStarted":0,"seconds":0.0})"},
        {"backup", {RowStatus::BackedUp, RowStatus::Unchanged, RowStatus::NoBook, RowStatus::FtpFailed},
         "4 gateways: 1 backed up, 1 unchanged, 1 without a book, 1 failed, 0 not reachable, 0 "
         "not started; 0.0 s",
         R"({"gateways":4,"backedUp":1,"unchanged":1,"noBook":1,"failed":1,"notReachable":0,"notStarted":0,"seconds":0.0})"},
        {"inventory", {RowStatus::Listed, RowStatus::NotReachable},
         "2 gateways: 1 listed, 0 failed, 1 not reachable, 0 not started; 0.0 s",
         R"({"gateways":2,"listed":1,"failed":0,"notReachable":1,"notStarted":0,"seconds":0.0})"},
    };
    for (const auto& c : cases) {
        BatchReport report;
        report.command = c.command;
        for (RowStatus status : c.statuses) {
            ReportRow& row = report.rows.emplace_back();
            row.started = status != RowStatus::None;
            row.status = status;
        }
        EXPECT_EQ(summaryText(c.command, summaryOf(report, 0.0)), c.text);
        EXPECT_EQ(summaryJson(report, 0.0).dump(), c.json);
    }
}

}  // namespace
