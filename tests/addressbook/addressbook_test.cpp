#include "addressbook/addressbook.h"

#include "support/failingbuffer.h"
#include "support/tempdir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

namespace {

const IpAddressInput Blank = std::nullopt;
const IpAddressInput Address{IpOctets{10, 0, 0, 7}};

std::string zeros(std::size_t count) { return std::string(count, '\0'); }

// One 54-byte slot: ip text, two port bytes, telephone text, zero filled.
std::string slot(const std::string& ip, unsigned char portLow, unsigned char portHigh,
                 const std::string& telephone)
{
    std::string bytes = zeros(SlotSize);
    bytes.replace(0, std::min<std::size_t>(ip.size(), 16), ip.substr(0, 16));
    bytes[16] = static_cast<char>(portLow);
    bytes[17] = static_cast<char>(portHigh);
    bytes.replace(18, std::min<std::size_t>(telephone.size(), 36), telephone.substr(0, 36));
    return bytes;
}

std::string gatewaySlot(const std::string& ip, unsigned char portLow, unsigned char portHigh)
{
    return slot(ip, portLow, portHigh, std::string(35, '0'));
}

std::string written(const AddressBook& book)
{
    std::ostringstream out;
    EXPECT_TRUE(book.write(out));
    return out.str();
}

AddressBook readBack(const std::string& bytes)
{
    AddressBook book;
    std::istringstream in(bytes);
    EXPECT_TRUE(book.read(in));
    return book;
}

AddressBook bookWithEntries(std::size_t count)
{
    std::string bytes = gatewaySlot("1.1.1.1", 0xB8, 0x06) + gatewaySlot("2.2.2.2", 0xB8, 0x06);
    for (std::size_t i = 0; i < count; ++i)
        bytes += slot("10.0.0." + std::to_string(i % 250), 0xC4, 0x13, std::to_string(i));
    return readBack(bytes);
}

TEST(AddressBookFile, EmptyBookIsTheFixedImage)
{
    AddressBook book;
    const std::string image = written(book);
    ASSERT_EQ(image.size(), 13770u);
    const std::string gateway = "255.255.255.255" + zeros(1) + "\xB8\x06"
                                + std::string(35, '0') + zeros(1);
    EXPECT_EQ(image.substr(0, 54), gateway);
    EXPECT_EQ(image.substr(54, 54), gateway);
    EXPECT_EQ(image.substr(108), zeros(253 * 54));
}

TEST(AddressBookFile, EntriesFillTheirSlotsInOrder)
{
    AddressBook book;
    book.gateways()[0] = GatewaySetting{{192, 168, 1, 1}, 5060};
    ASSERT_EQ(book.addEntry(0, IpOctets{10, 0, 0, 7}, "0039123"), EditResult::Ok);
    ASSERT_EQ(book.addEntry(1, IpOctets{10, 0, 0, 8}, "*55"), EditResult::Ok);
    const std::string image = written(book);
    ASSERT_EQ(image.size(), BookFileSize);
    EXPECT_EQ(image.substr(0, 54), gatewaySlot("192.168.1.1", 0xC4, 0x13));
    EXPECT_EQ(image.substr(108, 54), slot("10.0.0.7", 0xB8, 0x06, "0039123"));
    EXPECT_EQ(image.substr(162, 54), slot("10.0.0.8", 0xB8, 0x06, "*55"));
    EXPECT_EQ(image.substr(216), zeros(251 * 54));
}

struct GatewayPortCase {
    std::uint32_t port;
    unsigned char low, high;
};

class GatewayPortWrite : public ::testing::TestWithParam<GatewayPortCase> {};

TEST_P(GatewayPortWrite, KeepsTheLowSixteenBits)
{
    AddressBook book;
    book.gateways()[1].port = GetParam().port;
    const std::string image = written(book);
    EXPECT_EQ(static_cast<unsigned char>(image[54 + 16]), GetParam().low);
    EXPECT_EQ(static_cast<unsigned char>(image[54 + 17]), GetParam().high);
}

INSTANTIATE_TEST_SUITE_P(Cases, GatewayPortWrite,
                         ::testing::Values(GatewayPortCase{65535, 0xFF, 0xFF},
                                           GatewayPortCase{65536, 0x00, 0x00},
                                           GatewayPortCase{65537 + 1719, 0xB8, 0x06},
                                           GatewayPortCase{0xFFFFFFFF, 0xFF, 0xFF}));

TEST(AddressBookFile, PortBytesFFFFAreUnsignedForGatewaysAndSignedForEntries)
{
    const AddressBook book = readBack(gatewaySlot("1.2.3.4", 0xFF, 0xFF)
                                      + gatewaySlot("5.6.7.8", 0x00, 0x80)
                                      + slot("10.0.0.1", 0xFF, 0xFF, "1"));
    EXPECT_EQ(book.gateways()[0].port, 65535u);
    EXPECT_EQ(book.gateways()[1].port, 32768u);
    ASSERT_EQ(book.size(), 1u);
    EXPECT_EQ(book.entries()[0].port, -1);
    EXPECT_EQ(written(book).substr(108 + 16, 2), "\xFF\xFF");
}

TEST(AddressBookFile, GatewayTextIsParsedAndItsTelephoneIgnored)
{
    const AddressBook book = readBack(slot("300.1.1.1", 1, 0, "garbage")
                                      + slot("1234567890123456", 2, 0, ""));
    EXPECT_EQ(book.gateways()[0].address, (IpOctets{44, 1, 1, 1}));
    EXPECT_EQ(book.gateways()[0].port, 1u);
    EXPECT_EQ(book.gateways()[1].address, (IpOctets{255, 0, 0, 0}))
        << "a full 16-byte field is one number: saturates, then the low 8 bits";
}

TEST(AddressBookFile, ZeroSlotBetweenEntriesIsSkipped)
{
    const AddressBook book = readBack(zeros(108) + slot("10.0.0.1", 1, 0, "11") + zeros(54)
                                      + slot("10.0.0.2", 2, 0, "22"));
    ASSERT_EQ(book.size(), 2u);
    EXPECT_EQ(book.entries()[0].telephone, "11");
    EXPECT_EQ(book.entries()[1].telephone, "22");
}

TEST(AddressBookFile, FirstSlotOfZerosKeepsGatewayOneButReadsGatewayTwo)
{
    const AddressBook book = readBack(zeros(54) + gatewaySlot("9.9.9.9", 0x50, 0x00));
    EXPECT_EQ(book.gateways()[0], GatewaySetting{});
    EXPECT_EQ(book.gateways()[1], (GatewaySetting{{9, 9, 9, 9}, 80}));
    EXPECT_EQ(book.size(), 0u);
}

class ShortFile : public ::testing::TestWithParam<std::size_t> {};

TEST_P(ShortFile, ChangesNothing)
{
    const std::string full = gatewaySlot("9.9.9.9", 1, 0);
    const AddressBook book = readBack(full.substr(0, GetParam()));
    EXPECT_EQ(book.gateways()[0], GatewaySetting{});
    EXPECT_EQ(book.gateways()[1], GatewaySetting{});
    EXPECT_EQ(book.size(), 0u);
}

INSTANTIATE_TEST_SUITE_P(Lengths, ShortFile, ::testing::Values(0u, 1u, 53u));

TEST(AddressBookFile, TrailingPartOfASlotIsIgnored)
{
    const std::string entry = slot("10.0.0.1", 1, 0, "11");
    const AddressBook book = readBack(zeros(108) + entry + entry.substr(0, 53));
    EXPECT_EQ(book.size(), 1u);
}

TEST(AddressBookFile, FullWidthTextsFillTheirFieldsWithoutTerminator)
{
    const std::string ip(16, '9');
    const std::string telephone(36, '7');
    const AddressBook book = readBack(zeros(108) + slot(ip, 1, 0, telephone));
    ASSERT_EQ(book.size(), 1u);
    EXPECT_EQ(book.entries()[0].ipText, ip);
    EXPECT_EQ(book.entries()[0].telephone, telephone);
    EXPECT_EQ(written(book).substr(108, 54), ip + "\x01" + zeros(1) + telephone);
}

TEST(AddressBookFile, TextsAreCutAtTheirFirstZeroByte)
{
    std::string bytes = slot("10.0.0.1", 1, 0, "123");
    bytes[12] = 'X';  // after the zero that ends the address
    bytes[40] = 'Y';  // after the zero that ends the telephone
    const AddressBook book = readBack(zeros(108) + bytes);
    ASSERT_EQ(book.size(), 1u);
    EXPECT_EQ(book.entries()[0].ipText, "10.0.0.1");
    EXPECT_EQ(book.entries()[0].telephone, "123");
}

TEST(AddressBookFile, LongFileReadsEveryEntryButWritesOnlyTheFirst253)
{
    const AddressBook book = bookWithEntries(300);
    EXPECT_EQ(book.size(), 300u);
    const std::string image = written(book);
    EXPECT_EQ(image.size(), BookFileSize);
    const AddressBook again = readBack(image);
    ASSERT_EQ(again.size(), MaxEntries);
    EXPECT_EQ(again.entries().back(), book.entries()[252]);
}

TEST(AddressBookFile, WrittenBookReadsBackTheSame)
{
    AddressBook book = bookWithEntries(253);
    book.gateways()[0] = GatewaySetting{{1, 2, 3, 4}, 70000};
    const AddressBook again = readBack(written(book));
    EXPECT_EQ(again.gateways()[0], (GatewaySetting{{1, 2, 3, 4}, 70000 & 0xFFFF}));
    EXPECT_EQ(again.gateways()[1], book.gateways()[1]);
    EXPECT_EQ(again.entries(), book.entries());
}

TEST(AddressBookFile, ReadErrorIsReportedAndKeepsWhatCameBefore)
{
    FailingBuffer buffer(zeros(108) + slot("10.0.0.1", 1, 0, "11") + "partial");
    std::istream in(&buffer);
    AddressBook book;
    EXPECT_FALSE(book.read(in));
    ASSERT_EQ(book.size(), 1u);
    EXPECT_EQ(book.entries()[0].telephone, "11");
}

TEST(AddressBookFile, FailedStreamMakesWriteFail)
{
    std::ostringstream out;
    out.setstate(std::ios::badbit);
    EXPECT_FALSE(AddressBook().write(out));
}

TEST(AddressBookEditing, ClearRestoresGatewaysAndDropsEntries)
{
    AddressBook book = bookWithEntries(3);
    book.clear();
    EXPECT_EQ(book.gateways()[0], (GatewaySetting{{255, 255, 255, 255}, 1720}));
    EXPECT_EQ(book.gateways()[1], (GatewaySetting{{255, 255, 255, 255}, 1720}));
    EXPECT_EQ(book.size(), 0u);
}

TEST(AddressBookEditing, AddInsertsBeforeThePositionOrAppends)
{
    AddressBook book;
    ASSERT_EQ(book.addEntry(0, IpOctets{1, 1, 1, 1}, "1"), EditResult::Ok);
    ASSERT_EQ(book.addEntry(99, IpOctets{3, 3, 3, 3}, "3"), EditResult::Ok);
    ASSERT_EQ(book.addEntry(1, IpOctets{2, 2, 2, 2}, "2"), EditResult::Ok);
    ASSERT_EQ(book.size(), 3u);
    EXPECT_EQ(book.entries()[0], (AddressEntry{"1.1.1.1", 1720, "1"}));
    EXPECT_EQ(book.entries()[1], (AddressEntry{"2.2.2.2", 1720, "2"}));
    EXPECT_EQ(book.entries()[2], (AddressEntry{"3.3.3.3", 1720, "3"}));
}

struct EditCase {
    const char* behaviour;
    std::size_t entries;
    std::size_t index;
    IpAddressInput address;
    const char* telephone;
    EditResult expected;
};

void PrintTo(const EditCase& c, std::ostream* os) { *os << c.behaviour; }

class AddEntryChecks : public ::testing::TestWithParam<EditCase> {};

TEST_P(AddEntryChecks, RefuseWithoutChangingTheBook)
{
    const EditCase& c = GetParam();
    AddressBook book = bookWithEntries(c.entries);
    const std::vector<AddressEntry> before = book.entries();
    EXPECT_EQ(book.addEntry(c.index, c.address, c.telephone), c.expected);
    if (c.expected == EditResult::Ok) {
        EXPECT_EQ(book.size(), before.size() + 1);
    } else {
        EXPECT_EQ(book.entries(), before);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, AddEntryChecks,
    ::testing::Values(
        EditCase{"252 entries leave room for one", 252, 252, Address, "1", EditResult::Ok},
        EditCase{"253 entries are the limit", 253, 0, Address, "1", EditResult::MaxEntriesReached},
        EditCase{"the limit is checked before the fields", 253, 0, Blank, "",
                 EditResult::MaxEntriesReached},
        EditCase{"a book read with 300 entries refuses more", 300, 0, Address, "1",
                 EditResult::MaxEntriesReached},
        EditCase{"a blank address is invalid", 0, 0, Blank, "1", EditResult::InvalidParams},
        EditCase{"an empty telephone is invalid", 0, 0, Address, "", EditResult::InvalidParams}));

class ReplaceEntryChecks : public ::testing::TestWithParam<EditCase> {};

TEST_P(ReplaceEntryChecks, RefuseWithoutChangingTheBook)
{
    const EditCase& c = GetParam();
    AddressBook book = bookWithEntries(c.entries);
    const std::vector<AddressEntry> before = book.entries();
    EXPECT_EQ(book.replaceEntry(c.index, c.address, c.telephone), c.expected);
    if (c.expected != EditResult::Ok) {
        EXPECT_EQ(book.entries(), before);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ReplaceEntryChecks,
    ::testing::Values(
        EditCase{"entry 253 of a long book can be modified", 300, 252, Address, "1",
                 EditResult::Ok},
        EditCase{"entry 254 of a long book cannot", 300, 253, Address, "1",
                 EditResult::MaxEntriesReached},
        EditCase{"the index is checked before the fields", 300, 299, Blank, "",
                 EditResult::MaxEntriesReached},
        EditCase{"a blank address is invalid", 3, 1, Blank, "1", EditResult::InvalidParams},
        EditCase{"an empty telephone is invalid", 3, 1, Address, "", EditResult::InvalidParams},
        EditCase{"an index past the last entry changes nothing", 3, 3, Address, "1",
                 EditResult::InvalidParams}));

TEST(AddressBookEditing, ReplaceGivesTheDefaultPortAndKeepsThePlace)
{
    AddressBook book = bookWithEntries(3);
    ASSERT_EQ(book.entries()[1].port, 5060);
    ASSERT_EQ(book.replaceEntry(1, IpOctets{172, 16, 0, 1}, "42"), EditResult::Ok);
    EXPECT_EQ(book.entries()[1], (AddressEntry{"172.16.0.1", 1720, "42"}));
    EXPECT_EQ(book.entries()[0].telephone, "0");
    EXPECT_EQ(book.entries()[2].telephone, "2");
}

TEST(AddressBookEditing, RemoveClosesUpInOrderAndIgnoresUnknownIndexes)
{
    AddressBook book = bookWithEntries(5);
    book.removeEntries({1, 3, 17});
    ASSERT_EQ(book.size(), 3u);
    EXPECT_EQ(book.entries()[0].telephone, "0");
    EXPECT_EQ(book.entries()[1].telephone, "2");
    EXPECT_EQ(book.entries()[2].telephone, "4");
}

TEST(AddressBookEditing, EntryFieldsParseTheTextAsItStands)
{
    AddressBook book = readBack(zeros(108) + slot("300.1.2", 0xFF, 0xFF, "*12"));
    const EntryFields fields = book.entryFields(0);
    EXPECT_EQ(fields.address, (IpOctets{44, 1, 2, 0}));
    EXPECT_EQ(fields.port, -1);
    EXPECT_EQ(fields.telephone, "*12");
}

TEST(AddressBookFiles, SaveAndLoadRoundTrip)
{
    TempDir dir;
    const AddressBook book = bookWithEntries(7);
    const std::string path = dir.file("Addrbook.cpe");
    ASSERT_EQ(saveAddressBook(path, book), FileError::None);
    EXPECT_EQ(readFileBytes(path), written(book));

    AddressBook loaded = bookWithEntries(2);
    ASSERT_EQ(loadAddressBook(path, loaded), FileError::None);
    EXPECT_EQ(loaded.gateways(), book.gateways());
    EXPECT_EQ(loaded.entries(), book.entries());
}

TEST(AddressBookFiles, LoadReportsWhyItFailed)
{
    TempDir dir;
    AddressBook book;
    EXPECT_EQ(loadAddressBook(dir.file("missing.cpe"), book), FileError::NotFound);
    std::filesystem::create_directories(dir.file("folder.cpe"));
    EXPECT_EQ(loadAddressBook(dir.file("folder.cpe"), book), FileError::IsFolder);
    EXPECT_EQ(loadAddressBook(dir.file("missing.cpe/x"), book), FileError::NotFound);
    dir.write("plain", "x");
    EXPECT_EQ(loadAddressBook(dir.file("plain/x.cpe"), book), FileError::BadPath);
}

TEST(AddressBookFiles, SaveReplacesALongerFileWhole)
{
    TempDir dir;
    const std::string path = dir.write("Addrbook.cpe", std::string(20000, 'x'));
    ASSERT_EQ(saveAddressBook(path, AddressBook()), FileError::None);
    EXPECT_EQ(readFileBytes(path), written(AddressBook()));
}

}  // namespace
