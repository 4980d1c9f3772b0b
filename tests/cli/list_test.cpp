#include "runtool.h"

#include "gatewaylist/listfile.h"
#include "support/tempdir.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <sys/stat.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

namespace {

using namespace std::string_literals;

std::string saved(const TempDir& dir, const std::string& name,
                  const std::vector<GatewayRecord>& records)
{
    const std::string path = dir.file(name);
    if (saveGatewayList(path, records) != FileError::None)
        throw std::runtime_error("cannot save " + path);
    return path;
}

const std::vector<GatewayRecord> TwoGateways{{"10.0.0.1", "ftp", "secret"},
                                             {"10.0.0.2", "admin", ""}};

TEST(ListShow, PlainTextMasksPasswordsByDefault)
{
    TempDir dir;
    const std::string path = saved(dir, "gw.obl", TwoGateways);
    const ToolRun run = runTool({"list", "show", path});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.out, "Gateway list " + path + "\n"
                       "Gateways: 2\n"
                       "#    IP Address        UserID        Password\n"
                       "1    10.0.0.1          ftp           ******\n"
                       "2    10.0.0.2          admin         \n");
}

TEST(ListShow, PlainTextShowsPasswordsOnRequest)
{
    TempDir dir;
    const ToolRun run = runTool({"list", "show", "--show-passwords", saved(dir, "gw.obl", TwoGateways)});
    EXPECT_EQ(run.status, 0);
    EXPECT_NE(run.out.find("ftp           secret\n"), std::string::npos) << run.out;
}

TEST(ListShow, JsonMasksPasswordsAndSaysSo)
{
    TempDir dir;
    const ToolRun run = runTool({"list", "show", saved(dir, "gw.obl", TwoGateways), "--json"});
    ASSERT_EQ(run.status, 0);
    EXPECT_EQ(nlohmann::json::parse(run.out), nlohmann::json::parse(R"({
        "passwordsMasked": true,
        "gateways": [{"ip": "10.0.0.1", "userId": "ftp", "password": "******"},
                     {"ip": "10.0.0.2", "userId": "admin", "password": ""}]})"));
}

TEST(ListShow, JsonWithPasswordsHasTheIssueShape)
{
    TempDir dir;
    const ToolRun run = runTool(
        {"list", "show", saved(dir, "gw.obl", TwoGateways), "--json", "--show-passwords"});
    ASSERT_EQ(run.status, 0);
    EXPECT_EQ(nlohmann::json::parse(run.out), nlohmann::json::parse(R"({
        "gateways": [{"ip": "10.0.0.1", "userId": "ftp", "password": "secret"},
                     {"ip": "10.0.0.2", "userId": "admin", "password": ""}]})"));
}

struct ShowErrorCase {
    const char* behaviour;
    std::string bytes;
    int status;
    std::string message;  // after "orbiphon-cli: "; %1 is the path
};

void PrintTo(const ShowErrorCase& c, std::ostream* os) { *os << c.behaviour; }

class ListShowError : public ::testing::TestWithParam<ShowErrorCase> {};

TEST_P(ListShowError, UsesTheProgramsOwnTexts)
{
    TempDir dir;
    const std::string path = dir.write("gw.obl", GetParam().bytes);
    const ToolRun run = runTool({"list", "show", path});
    EXPECT_EQ(run.status, GetParam().status);
    std::string message = GetParam().message;
    message.replace(message.find("%1"), 2, path);
    EXPECT_EQ(run.err, "orbiphon-cli: " + message + "\n");
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ListShowError,
    ::testing::Values(
        ShowErrorCase{"other letters", "\x03XYZ\0\0\0\0"s, 2, "%1: OBL Format not recognized!"},
        ShowErrorCase{"empty first string", "\0"s, 2, "%1: OBL Format not recognized!"},
        ShowErrorCase{"other version", "\x09OBL101003\0\0\0\0"s, 2,
                      "%1: Different OBL file version, can't read the file!"},
        ShowErrorCase{"file cut inside the count", "\x09OBL101002\x01"s, 2,
                      "An attempt was made to access %1 past its end."}));

TEST(ListShow, CutFileStillShowsTheGatewaysBeforeTheCut)
{
    TempDir dir;
    std::ostringstream bytes;
    writeList(bytes, TwoGateways);
    const std::string path = dir.write("cut.obl", bytes.str().substr(0, bytes.str().size() - 2));
    const ToolRun run = runTool({"list", "show", path, "--json", "--show-passwords"});
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.err, "orbiphon-cli: An attempt was made to access " + path + " past its end.\n");
    const nlohmann::json shown = nlohmann::json::parse(run.out);
    ASSERT_EQ(shown["gateways"].size(), 1u);
    EXPECT_EQ(shown["gateways"][0]["password"], "secret");
}

TEST(ListShow, MissingFileIsAFailure)
{
    TempDir dir;
    const ToolRun run = runTool({"list", "show", dir.file("none.obl")});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "orbiphon-cli: " + dir.file("none.obl") + " was not found.\n");
}

std::vector<GatewayRecord> awkwardRecords()
{
    return {{"not an address", "", "\x01\xFF\x80 \"\\"},
            {"", "user\xE9", std::string(300, 'p')},
            {"\x7F\x1B", std::string(300, 'u'), "x"}};
}

std::vector<GatewayRecord> manyRecords()
{
    std::vector<GatewayRecord> records;
    for (int i = 0; i < 300; ++i)
        records.push_back({"10.0." + std::to_string(i / 250) + "." + std::to_string(i % 250), "ftp",
                           "pw" + std::to_string(i)});
    return records;
}

class ListRoundTrip : public ::testing::TestWithParam<std::vector<GatewayRecord> (*)()> {};

TEST_P(ListRoundTrip, ShowJsonOrCsvWithPasswordsThenFromItIsByteExact)
{
    TempDir dir;
    const std::string original = saved(dir, "original.obl", GetParam()());
    for (const std::string format : {"json", "csv"}) {
        const ToolRun shown =
            runTool({"list", "show", original, "--" + format, "--show-passwords"});
        ASSERT_EQ(shown.status, 0) << shown.err;
        const ToolRun made = runTool(
            {"list", "from-" + format, dir.write("gw." + format, shown.out), dir.file("copy.obl")});
        ASSERT_EQ(made.status, 0) << made.err;
        EXPECT_EQ(readFileBytes(dir.file("copy.obl")), readFileBytes(original)) << format;
    }
}

INSTANTIATE_TEST_SUITE_P(Lists, ListRoundTrip,
                         ::testing::Values([] { return std::vector<GatewayRecord>{}; },
                                           [] { return std::vector<GatewayRecord>{{"10.0.0.1", "ftp", ""}}; },
                                           &awkwardRecords, &manyRecords));

TEST(ListFromJson, PinsTheTwentyEightByteFileAndOwnerOnlyMode)
{
    TempDir dir;
    const std::string input =
        dir.write("gw.json", R"({"gateways":[{"ip":"10.0.0.1","userId":"ftp","password":""}]})");
    ASSERT_EQ(runTool({"list", "from-json", input, dir.file("gw.obl")}).status, 0);
    EXPECT_EQ(readFileBytes(dir.file("gw.obl")),
              "\x09OBL101002\x01\x00\x00\x00\x08" "10.0.0.1\x03" "ftp\x00"s);
    struct stat info {};
    ASSERT_EQ(::stat(dir.file("gw.obl").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0600u);
}

struct BadJsonCase {
    const char* behaviour;
    std::string json;
    const char* message;
};

void PrintTo(const BadJsonCase& c, std::ostream* os) { *os << c.behaviour; }

// list from-FORMAT of bad input exits 2 with one line naming the input, never shows a
// password and leaves the list it would have replaced as it was.
void expectRefused(const std::string& format, const BadJsonCase& c)
{
    TempDir dir;
    const std::string input = dir.write("in." + format, c.json);
    const std::string existing = dir.write("existing.obl", "old list");
    const ToolRun run = runTool({"list", "from-" + format, input, existing});
    EXPECT_EQ(run.status, 2);
    EXPECT_TRUE(isOneLineMessage(run.err)) << run.err;
    EXPECT_EQ(run.err.rfind("orbiphon-cli: " + input + ": ", 0), 0u) << run.err;
    EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
    EXPECT_EQ(run.err.find("SECRET"), std::string::npos) << "a password is never shown";
    EXPECT_EQ(readFileBytes(existing), "old list");
}

class ListFromBadJson : public ::testing::TestWithParam<BadJsonCase> {};

TEST_P(ListFromBadJson, ExitsTwoAndWritesNothing)
{
    expectRefused("json", GetParam());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ListFromBadJson,
    ::testing::Values(
        BadJsonCase{"masked passwords",
                    R"({"passwordsMasked":true,"gateways":[{"ip":"1","userId":"u","password":"***"}]})",
                    "the passwords are masked"},
        BadJsonCase{"gateways not an array", R"({"gateways":{}})", "gateways: expected an array"},
        BadJsonCase{"missing user ID", R"({"gateways":[{"ip":"1","password":""}]})",
                    "gateways[0]: missing \"userId\""},
        BadJsonCase{"number as text", R"({"gateways":[{"ip":1,"userId":"","password":""}]})",
                    "gateways[0].ip: expected a string"},
        BadJsonCase{"character without a single-byte form",
                    R"({"gateways":[{"ip":"1","userId":"\u0100","password":""}]})",
                    "gateways[0].userId: character U+0100 has no single-byte form"},
        BadJsonCase{"zero character in a password",
                    R"({"gateways":[{"ip":"1","userId":"","password":"a\u0000b"}]})",
                    "gateways[0].password: the file cannot hold a zero character"},
        BadJsonCase{"password carrying a command",
                    R"({"gateways":[{"ip":"1","userId":"ftp","password":"SECRET\r\nDELE /RFA/NVRAM.TXT"}]})",
                    "gateways[0].password: holds a CR, LF or NUL character"},
        BadJsonCase{"user ID carrying a command",
                    R"({"gateways":[{"ip":"1","userId":"ftp\nRMD /RFA","password":"SECRET"}]})",
                    "gateways[0].userId: holds a CR, LF or NUL character"},
        BadJsonCase{"invalid UTF-8", "{\"gateways\":[{\"ip\":\"\xE9\",\"userId\":\"\",\"password\":\"\"}]}",
                    "not valid JSON"}));

TEST(ListFromCsv, ReadsWhatASpreadsheetWrites)
{
    TempDir dir;
    // A byte-order mark, the columns in another order and more of them, quoting, CRLF, a blank
    // line, no line end.
    const std::string input = dir.write(
        "gw.csv", "\xEF\xBB\xBFPassword,IP,site,UserID\r\n\"a,\"\"b\"\"\",10.0.0.1,Rome,ftp\r\n\r\n"
                  "\"\",10.0.0.2,,\"caf\xC3\xA9\"");
    const ToolRun run = runTool({"list", "from-csv", input, dir.file("gw.obl")});
    ASSERT_EQ(run.status, 0) << run.err;
    GatewayList list;
    ASSERT_EQ(loadGatewayList(dir.file("gw.obl"), list).error, FileError::None);
    EXPECT_EQ(list.records(), (std::vector<GatewayRecord>{{"10.0.0.1", "ftp", "a,\"b\""},
                                                          {"10.0.0.2", "caf\xE9", ""}}));
    // Without --show-passwords the CSV leaves the passwords out, so it can't come back as a list.
    const ToolRun masked = runTool({"list", "show", dir.file("gw.obl"), "--csv"});
    EXPECT_EQ(masked.out, "ip,userId\r\n10.0.0.1,ftp\r\n10.0.0.2,caf\xC3\xA9\r\n");
}

class ListFromBadCsv : public ::testing::TestWithParam<BadJsonCase> {};

TEST_P(ListFromBadCsv, ExitsTwoAndWritesNothing)
{
    expectRefused("csv", GetParam());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ListFromBadCsv,
    ::testing::Values(
        BadJsonCase{"list shown without passwords", "ip,userId\r\n10.0.0.1,ftp\r\n",
                    "line 1: no column password"},
        BadJsonCase{"quote left open", "ip,userId,password\n1,ftp,\"SECRET\n", "line 2: a quote is left open"},
        BadJsonCase{"text after a closing quote", "1,ftp,\"SECRET\"x\n",
                    "line 1: text after a closing quote"},
        BadJsonCase{"not UTF-8", "1,caf\xE9,SECRET\n", "line 1: not UTF-8 text"},
        BadJsonCase{"a row short of a field", "1,ftp\n", "gateways[0]: no password field"},
        BadJsonCase{"password carrying a command", "1,ftp,\"SECRET\r\nDELE /RFA/NVRAM.TXT\"\n",
                    "gateways[0].password: holds a CR, LF or NUL character"},
        BadJsonCase{"character without a single-byte form", "1,\xC4\x80,x\n",
                    "gateways[0].userId: character U+0100 has no single-byte form"}));

}  // namespace
