#include "runtool.h"

#include "addressbook/addressbook.h"
#include "support/tempdir.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <filesystem>
#include <iterator>
#include <string>
#include <vector>

namespace {

using namespace std::string_literals;

std::string saved(const TempDir& dir, const std::string& name, const AddressBook& book)
{
    const std::string path = dir.file(name);
    if (saveAddressBook(path, book) != FileError::None)
        throw std::runtime_error("cannot save " + path);
    return path;
}

AddressBook smallBook()
{
    AddressBook book;
    book.gateways()[1] = GatewaySetting{{10, 0, 0, 1}, 65535};
    book.entries().push_back(AddressEntry{"10.0.0.7", 1720, "0039123"});
    book.entries().push_back(AddressEntry{"1\x01\\x", -1, "*\xE9"});
    return book;
}

TEST(BookShow, PlainTextListsGatewaysAndNumberedEntries)
{
    TempDir dir;
    const std::string path = saved(dir, "Addrbook.cpe", smallBook());
    const ToolRun run = runTool({"book", "show", path});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.out, "Address book " + path + "\n"
                       "Gateway 1: 255.255.255.255 port 1720\n"
                       "Gateway 2: 10.0.0.1 port 65535\n"
                       "Entries: 2\n"
                       "#    IP Address        Port    Telephone\n"
                       "1    10.0.0.7          1720    0039123\n"
                       "2    1\\x01\\\\x          -1      *\\xE9\n");
}

TEST(BookShow, JsonHoldsTheModelAsRead)
{
    TempDir dir;
    const ToolRun run = runTool({"book", "show", saved(dir, "Addrbook.cpe", smallBook()), "--json"});
    ASSERT_EQ(run.status, 0);
    const nlohmann::json expected = nlohmann::json::parse(R"({
        "gateways": [{"address": "255.255.255.255", "port": 1720},
                     {"address": "10.0.0.1", "port": 65535}],
        "entries": [{"ip": "10.0.0.7", "port": 1720, "telephone": "0039123"},
                    {"ip": "1\u0001\\x", "port": -1, "telephone": "*\u00e9"}]})");
    EXPECT_EQ(nlohmann::json::parse(run.out), expected);
    EXPECT_NE(run.out.find("*\xC3\xA9"), std::string::npos) << "byte E9 is written as U+00E9";
}

TEST(BookShow, EmptyFileShowsTheClearedBook)
{
    TempDir dir;
    const ToolRun run = runTool({"book", "show", dir.write("empty.cpe", ""), "--json"});
    ASSERT_EQ(run.status, 0);
    EXPECT_EQ(nlohmann::json::parse(run.out)["gateways"][0]["address"], "255.255.255.255");
    EXPECT_TRUE(nlohmann::json::parse(run.out)["entries"].empty());
}

TEST(BookShow, FileErrorsNameTheFile)
{
    TempDir dir;
    ToolRun run = runTool({"book", "show", dir.file("missing.cpe")});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "orbiphon-cli: " + dir.file("missing.cpe") + " was not found.\n");
    run = runTool({"book", "show", dir.path()});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "orbiphon-cli: " + dir.path() + " is a folder, not a file.\n");
}

AddressBook fullWidthBook()
{
    AddressBook book;
    book.gateways()[0] = GatewaySetting{{1, 2, 3, 4}, 0};
    book.gateways()[1] = GatewaySetting{{0, 0, 0, 0}, 65535};
    book.entries().push_back(AddressEntry{"1234567890123456", -32768, std::string(36, '9')});
    book.entries().push_back(AddressEntry{"\x80\xFF\x7F\"", 32767, "\\\"\x01"});
    book.entries().push_back(AddressEntry{"", 0, "0"});
    return book;
}

AddressBook fullBook()
{
    AddressBook book;
    for (std::size_t i = 0; i < MaxEntries; ++i)
        book.entries().push_back(
            AddressEntry{"10.0.0." + std::to_string(i), static_cast<std::int16_t>(i * 200),
                         std::to_string(i * 7919)});
    return book;
}

class BookRoundTrip : public ::testing::TestWithParam<AddressBook (*)()> {};

TEST_P(BookRoundTrip, ShowJsonOrCsvThenFromItIsByteExact)
{
    TempDir dir;
    const std::string original = saved(dir, "original.cpe", GetParam()());
    for (const std::string format : {"json", "csv"}) {
        const ToolRun shown = runTool({"book", "show", original, "--" + format});
        ASSERT_EQ(shown.status, 0) << shown.err;
        const std::string input = dir.write("book." + format, shown.out);
        const ToolRun made = runTool({"book", "from-" + format, input, dir.file("copy.cpe")});
        ASSERT_EQ(made.status, 0) << made.err;
        EXPECT_EQ(made.out, "");
        EXPECT_EQ(readFileBytes(dir.file("copy.cpe")), readFileBytes(original)) << format;
    }
}

INSTANTIATE_TEST_SUITE_P(Books, BookRoundTrip,
                         ::testing::Values([] { return AddressBook(); }, &smallBook,
                                           &fullWidthBook, &fullBook));

std::string bookJson(const std::string& gateways, const std::string& entries)
{
    return R"({"gateways":)" + gateways + R"(,"entries":)" + entries + "}";
}

const std::string TwoGateways =
    R"([{"address":"10.0.0.1","port":1720},{"address":"10.0.0.2","port":1720}])";

std::string oneEntry(const std::string& ip, const std::string& port, const std::string& telephone)
{
    return R"([{"ip":)" + ip + R"(,"port":)" + port + R"(,"telephone":)" + telephone + "}]";
}

std::string manyEntries(std::size_t count)
{
    std::string entries = "[";
    for (std::size_t i = 0; i < count; ++i)
        entries += std::string(i ? "," : "") + R"({"ip":"1.1.1.1","port":1,"telephone":"1"})";
    return entries + "]";
}

struct BadJsonCase {
    const char* behaviour;
    std::string json;
    const char* message;
};

void PrintTo(const BadJsonCase& c, std::ostream* os) { *os << c.behaviour; }

class BookFromBadJson : public ::testing::TestWithParam<BadJsonCase> {};

TEST_P(BookFromBadJson, ExitsTwoAndWritesNothing)
{
    TempDir dir;
    const std::string input = dir.write("in.json", GetParam().json);
    const std::string existing = dir.write("existing.cpe", "old book");
    for (const std::string& output : {dir.file("new.cpe"), existing}) {
        const ToolRun run = runTool({"book", "from-json", input, output});
        EXPECT_EQ(run.status, 2);
        EXPECT_TRUE(isOneLineMessage(run.err)) << run.err;
        EXPECT_EQ(run.err.rfind("orbiphon-cli: " + input + ": ", 0), 0u) << run.err;
        EXPECT_NE(run.err.find(GetParam().message), std::string::npos) << run.err;
    }
    EXPECT_FALSE(std::filesystem::exists(dir.file("new.cpe")));
    EXPECT_EQ(readFileBytes(existing), "old book");
    const auto files = std::distance(std::filesystem::directory_iterator(dir.path()),
                                     std::filesystem::directory_iterator());
    EXPECT_EQ(files, 2) << "only in.json and existing.cpe";
}

INSTANTIATE_TEST_SUITE_P(
    Cases, BookFromBadJson,
    ::testing::Values(
        BadJsonCase{"not JSON", "{\"gateways\": [", "not valid JSON"},
        BadJsonCase{"not an object", "[]", "top level: expected an object"},
        BadJsonCase{"unknown key", R"({"gateways":[],"entries":[],"extra":1})",
                    "unknown key \"extra\""},
        BadJsonCase{"missing entries", R"({"gateways":)" + TwoGateways + "}",
                    "top level: missing \"entries\""},
        BadJsonCase{"one gateway", bookJson(R"([{"address":"1.1.1.1","port":1}])", "[]"),
                    "gateways: expected exactly 2"},
        BadJsonCase{"gateway address with three parts",
                    bookJson(R"([{"address":"1.2.3","port":1},{"address":"1.1.1.1","port":1}])", "[]"),
                    "gateways[0].address: expected a dotted quad"},
        BadJsonCase{"gateway octet above 255",
                    bookJson(R"([{"address":"1.1.1.1","port":1},{"address":"256.0.0.1","port":1}])", "[]"),
                    "gateways[1].address"},
        BadJsonCase{"gateway address with trailing space",
                    bookJson(R"([{"address":"1.1.1.1 ","port":1},{"address":"1.1.1.1","port":1}])", "[]"),
                    "gateways[0].address"},
        BadJsonCase{"gateway address with a sign",
                    bookJson(R"([{"address":"+1.1.1.1","port":1},{"address":"1.1.1.1","port":1}])", "[]"),
                    "gateways[0].address"},
        BadJsonCase{"gateway port below 0",
                    bookJson(R"([{"address":"1.1.1.1","port":-1},{"address":"1.1.1.1","port":1}])", "[]"),
                    "gateways[0].port: must be an integer from 0 to 4294967295"},
        BadJsonCase{"gateway port above 32 bits",
                    bookJson(R"([{"address":"1.1.1.1","port":4294967296},{"address":"1.1.1.1","port":1}])", "[]"),
                    "gateways[0].port"},
        BadJsonCase{"entry port above 65535", bookJson(TwoGateways, oneEntry("\"1.1.1.1\"", "65536", "\"1\"")),
                    "entries[0].port: must be an integer from -32768 to 65535"},
        BadJsonCase{"entry port below -32768", bookJson(TwoGateways, oneEntry("\"1.1.1.1\"", "-32769", "\"1\"")),
                    "entries[0].port"},
        BadJsonCase{"fractional port", bookJson(TwoGateways, oneEntry("\"1.1.1.1\"", "17.5", "\"1\"")),
                    "entries[0].port"},
        BadJsonCase{"port as text", bookJson(TwoGateways, oneEntry("\"1.1.1.1\"", "\"1720\"", "\"1\"")),
                    "entries[0].port"},
        BadJsonCase{"ip text of 17 characters",
                    bookJson(TwoGateways, oneEntry("\"12345678901234567\"", "1", "\"1\"")),
                    "entries[0].ip: 17 characters, at most 16 fit"},
        BadJsonCase{"telephone of 37 characters",
                    bookJson(TwoGateways, oneEntry("\"1\"", "1", "\"" + std::string(37, '5') + "\"")),
                    "entries[0].telephone: 37 characters, at most 36 fit"},
        BadJsonCase{"character without a single-byte form",
                    bookJson(TwoGateways, oneEntry("\"1\"", "1", "\"\\u20ac\"")),
                    "entries[0].telephone: character U+20AC has no single-byte form"},
        BadJsonCase{"zero character", bookJson(TwoGateways, oneEntry("\"1\\u0000\"", "1", "\"1\"")),
                    "entries[0].ip: the file cannot hold a zero character"},
        BadJsonCase{"entry that would be an empty slot",
                    bookJson(TwoGateways, oneEntry("\"\"", "0", "\"\"")), "empty slot"},
        BadJsonCase{"254 entries", bookJson(TwoGateways, manyEntries(254)),
                    "entries: 254 entries, at most 253 fit"}));

TEST(BookFromJson, MoreThan253EntriesReadFromAFileAreRefused)
{
    TempDir dir;
    std::string bytes(2 * SlotSize, '\0');
    for (int i = 0; i < 300; ++i) {
        std::string slot(SlotSize, '\0');
        slot.replace(0, 7, "1.1.1.1");
        slot[18] = '5';
        bytes += slot;
    }
    const ToolRun shown = runTool({"book", "show", dir.write("long.cpe", bytes), "--json"});
    ASSERT_EQ(shown.status, 0);
    EXPECT_EQ(nlohmann::json::parse(shown.out)["entries"].size(), 300u);
    const ToolRun made =
        runTool({"book", "from-json", dir.write("long.json", shown.out), dir.file("out.cpe")});
    EXPECT_EQ(made.status, 2);
    EXPECT_FALSE(std::filesystem::exists(dir.file("out.cpe")));
}

TEST(BookFromJson, FileErrorsAreFailuresNamingTheFile)
{
    TempDir dir;
    const std::string input = dir.write("in.json", bookJson(TwoGateways, "[]"));
    ToolRun run = runTool({"book", "from-json", input, dir.file("nowhere/out.cpe")});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "orbiphon-cli: " + dir.file("nowhere/out.cpe") + " was not found.\n");
    run = runTool({"book", "from-json", dir.file("missing.json"), dir.file("out.cpe")});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "orbiphon-cli: " + dir.file("missing.json") + " was not found.\n");
    EXPECT_FALSE(std::filesystem::exists(dir.file("out.cpe")));
}

TEST(BookFromJson, WritesTheFormatThroughTheModel)
{
    TempDir dir;
    const std::string input = dir.write(
        "in.json", bookJson(R"([{"address":"10.0.0.1","port":65537},{"address":"10.0.0.2","port":5060}])",
                            oneEntry("\"10.0.0.7\"", "65535", "\"0039\"")));
    const ToolRun run = runTool({"book", "from-json", input, dir.file("out.cpe")});
    ASSERT_EQ(run.status, 0) << run.err;
    const std::string bytes = readFileBytes(dir.file("out.cpe"));
    ASSERT_EQ(bytes.size(), BookFileSize);
    EXPECT_EQ(bytes.substr(0, 19), "10.0.0.1\0\0\0\0\0\0\0\0\x01\x00" "0"s);
    EXPECT_EQ(bytes.substr(108, 22), "10.0.0.7\0\0\0\0\0\0\0\0\xFF\xFF" "0039"s);
}

TEST(BookFromCsv, LeftOutPortsAreTheNewRowsPortAndBadRowsAreRefused)
{
    TempDir dir;
    const std::string good = dir.write(
        "book.csv", "kind,ip,telephone\ngateway,10.0.0.1,\ngateway,10.0.0.2,\nentry,10.0.0.7,0039*1\n");
    ASSERT_EQ(runTool({"book", "from-csv", good, dir.file("book.cpe")}).status, 0);
    const ToolRun shown = runTool({"book", "show", dir.file("book.cpe"), "--json"});
    EXPECT_EQ(nlohmann::json::parse(shown.out)["entries"],
              nlohmann::json::parse(R"([{"ip":"10.0.0.7","port":1720,"telephone":"0039*1"}])"));

    const std::string gateways = "gateway,10.0.0.1,1720,\ngateway,10.0.0.2,1720,\n";
    for (const auto& [csv, message] : std::vector<std::pair<std::string, std::string>>{
             {"gateway,10.0.0.1,1720,\n", "gateways: expected exactly 2, found 1"},
             {gateways + "phone,1.1.1.1,1,2\n", "row 3: the kind must be gateway or entry"},
             {gateways + "entry,1.1.1.1,17x,2\n", "entries[0].port: must be a whole number"},
             {"gateway,10.0.0.1,1720,\ngateway,10.0.0,1720,\n", "gateways[1].address"}}) {
        const std::string input = dir.write("bad.csv", csv);
        const ToolRun run = runTool({"book", "from-csv", input, dir.file("bad.cpe")});
        EXPECT_EQ(run.status, 2) << message;
        EXPECT_NE(run.err.find(message), std::string::npos) << run.err;
        EXPECT_FALSE(std::filesystem::exists(dir.file("bad.cpe")));
    }
}

}  // namespace

