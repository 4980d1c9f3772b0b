#include "gatewaylist/gatewaylist.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace {

const IpAddressInput Blank = std::nullopt;
const IpAddressInput Address{IpOctets{10, 0, 0, 1}};

GatewayList listOf(std::size_t count)
{
    GatewayList list;
    for (std::size_t i = 0; i < count; ++i)
        list.append(GatewayRecord{"10.0.0." + std::to_string(i + 1), "user", "pw"});
    return list;
}

std::vector<std::string> addresses(const GatewayList& list)
{
    std::vector<std::string> result;
    for (const GatewayRecord& record : list.records())
        result.push_back(record.ipText);
    return result;
}

struct EditCase {
    const char* behaviour;
    std::size_t rows;
    std::size_t index;
    IpAddressInput address;
    ListEditResult expected;
};

void PrintTo(const EditCase& c, std::ostream* os) { *os << c.behaviour; }

class InsertRecordChecks : public ::testing::TestWithParam<EditCase> {};

TEST_P(InsertRecordChecks, ResultAndUnchangedListOnRefusal)
{
    const EditCase& c = GetParam();
    GatewayList list = listOf(c.rows);
    const std::vector<GatewayRecord> before = list.records();
    EXPECT_EQ(list.insertRecord(c.index, c.address, "ftp", "secret"), c.expected);
    if (c.expected == ListEditResult::Ok) {
        EXPECT_EQ(list.size(), c.rows + 1);
    } else {
        EXPECT_EQ(list.records(), before);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, InsertRecordChecks,
    ::testing::Values(
        EditCase{"252 rows take one more at the end", 252, 252, Address, ListEditResult::Ok},
        EditCase{"253 rows take none at the end", 253, 253, Address,
                 ListEditResult::MaxGatewaysReached},
        EditCase{"the position is checked before the address", 253, 253, Blank,
                 ListEditResult::MaxGatewaysReached},
        EditCase{"a position before 253 is fine in a long list", 300, 10, Address,
                 ListEditResult::Ok},
        EditCase{"a blank address is invalid", 3, 0, Blank, ListEditResult::InvalidParams}));

class ReplaceRecordChecks : public ::testing::TestWithParam<EditCase> {};

TEST_P(ReplaceRecordChecks, ResultAndUnchangedListOnRefusal)
{
    const EditCase& c = GetParam();
    GatewayList list = listOf(c.rows);
    const std::vector<GatewayRecord> before = list.records();
    EXPECT_EQ(list.replaceRecord(c.index, c.address, "ftp", "secret"), c.expected);
    if (c.expected != ListEditResult::Ok) {
        EXPECT_EQ(list.records(), before);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ReplaceRecordChecks,
    ::testing::Values(
        EditCase{"row 253 of a long list can be modified", 300, 252, Address, ListEditResult::Ok},
        EditCase{"row 254 of a long list cannot", 300, 253, Address,
                 ListEditResult::MaxGatewaysReached},
        EditCase{"the index is checked before the address", 300, 299, Blank,
                 ListEditResult::MaxGatewaysReached},
        EditCase{"a blank address is invalid", 3, 1, Blank, ListEditResult::InvalidParams},
        EditCase{"an index past the last row changes nothing", 3, 3, Address,
                 ListEditResult::InvalidParams}));

TEST(GatewayListEditing, LoginsThatWouldCarryCommandsAreInvalidParams)
{
    const std::vector<std::pair<std::string, std::string>> logins{
        {"ftp", "secret\r\nDELE /RFA/NVRAM.TXT"}, {"ftp\nRMD /RFA/Doc", "secret"},
        {"ftp", "a\rb"}, {std::string("f\0tp", 4), "secret"}};
    for (const auto& [userId, password] : logins) {
        GatewayList list = listOf(3);
        EXPECT_EQ(list.insertRecord(0, Address, userId, password), ListEditResult::InvalidParams);
        EXPECT_EQ(list.replaceRecord(1, Address, userId, password), ListEditResult::InvalidParams);
        EXPECT_EQ(list.records(), listOf(3).records());
        GatewayList full = listOf(253);
        EXPECT_EQ(full.insertRecord(253, Address, userId, password),
                  ListEditResult::MaxGatewaysReached);
    }
}

TEST(GatewayListEditing, InsertGoesBeforeThePositionWithStatusNone)
{
    GatewayList list = listOf(5);
    for (std::size_t i = 0; i < 5; ++i)
        list.setStatus(i, RowStatus::Uploaded);
    ASSERT_EQ(list.insertRecord(2, IpOctets{10, 0, 0, 0}, "", ""), ListEditResult::Ok);
    EXPECT_EQ(addresses(list), (std::vector<std::string>{"10.0.0.1", "10.0.0.2", "10.0.0.0",
                                                         "10.0.0.3", "10.0.0.4", "10.0.0.5"}));
    EXPECT_EQ(list.status(2), RowStatus::None);
    EXPECT_EQ(list.status(3), RowStatus::Uploaded);
}

TEST(GatewayListEditing, InsertPastTheEndAppends)
{
    GatewayList list = listOf(2);
    ASSERT_EQ(list.insertRecord(100, IpOctets{9, 9, 9, 9}, "u", "p"), ListEditResult::Ok);
    EXPECT_EQ(list.record(2), (GatewayRecord{"9.9.9.9", "u", "p"}));
}

TEST(GatewayListEditing, ReplaceKeepsThePlaceAndClearsOnlyItsStatus)
{
    GatewayList list = listOf(3);
    list.setStatus(0, RowStatus::Reachable);
    list.setStatus(1, RowStatus::FtpFailed);
    ASSERT_EQ(list.replaceRecord(1, IpOctets{192, 168, 0, 5}, "admin", "pass word"),
              ListEditResult::Ok);
    EXPECT_EQ(list.record(1), (GatewayRecord{"192.168.0.5", "admin", "pass word"}));
    EXPECT_EQ(list.status(1), RowStatus::None);
    EXPECT_EQ(list.status(0), RowStatus::Reachable);
    EXPECT_EQ(list.size(), 3u);
}

TEST(GatewayListEditing, RemoveClosesUpInOrderAndIgnoresUnknownIndexes)
{
    GatewayList list = listOf(5);
    list.setStatus(4, RowStatus::NotReachable);
    list.removeRecords({1, 3, 99});
    EXPECT_EQ(addresses(list),
              (std::vector<std::string>{"10.0.0.1", "10.0.0.3", "10.0.0.5"}));
    EXPECT_EQ(list.status(2), RowStatus::NotReachable);
}

TEST(GatewayListEditing, DuplicatesAndEmptyCredentialsAreAllowed)
{
    GatewayList list;
    ASSERT_EQ(list.insertRecord(0, Address, "", ""), ListEditResult::Ok);
    ASSERT_EQ(list.insertRecord(1, Address, "", ""), ListEditResult::Ok);
    EXPECT_EQ(list.record(0), list.record(1));
}

TEST(GatewayListStatuses, ClearStatusesResetsRowsAndTheShownFlag)
{
    GatewayList list = listOf(3);
    list.setStatus(0, RowStatus::Uploaded);
    list.setStatus(2, RowStatus::NotReachable);
    list.setStatusShown();
    ASSERT_TRUE(list.statusShown());
    list.clearStatuses();
    EXPECT_FALSE(list.statusShown());
    for (std::size_t i = 0; i < list.size(); ++i)
        EXPECT_EQ(list.status(i), RowStatus::None) << i;
}

TEST(GatewayListStatuses, StatusOfAMissingRowIsIgnored)
{
    GatewayList list = listOf(1);
    list.setStatus(5, RowStatus::Uploaded);
    EXPECT_EQ(list.status(0), RowStatus::None);
}

}  // namespace
