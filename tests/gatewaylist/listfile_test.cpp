#include "gatewaylist/listfile.h"

#include "support/childprocess.h"
#include "support/failingbuffer.h"
#include "support/tempdir.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

using namespace std::string_literals;

const std::string Magic = "\x09OBL101002"s;

std::string le32(std::uint32_t value)
{
    std::string bytes;
    for (int i = 0; i < 4; ++i)
        bytes.push_back(static_cast<char>(value >> (8 * i) & 0xFF));
    return bytes;
}

std::string counted(const std::string& text)
{
    std::ostringstream out;
    writeCountedString(out, text);
    return out.str();
}

std::string written(const std::vector<GatewayRecord>& records)
{
    std::ostringstream out;
    EXPECT_TRUE(writeList(out, records));
    return out.str();
}

struct Read {
    ListReadResult result;
    std::vector<GatewayRecord> records;
};

Read readBytes(const std::string& bytes)
{
    std::istringstream in(bytes);
    GatewayList list;
    const ListReadResult result = readList(in, list);
    return Read{result, list.records()};
}

TEST(ListFile, EmptyListIsFourteenBytes)
{
    const std::string bytes = written({});
    EXPECT_EQ(bytes, "\x09OBL101002\x00\x00\x00\x00"s);
    const Read read = readBytes(bytes);
    EXPECT_EQ(read.result, ListReadResult::Loaded);
    EXPECT_TRUE(read.records.empty());
}

TEST(ListFile, OneRecordWithEmptyPasswordIsTwentyEightBytes)
{
    const std::vector<GatewayRecord> records{{"10.0.0.1", "ftp", ""}};
    const std::string bytes = written(records);
    EXPECT_EQ(bytes, "\x09OBL101002\x01\x00\x00\x00\x08" "10.0.0.1\x03" "ftp\x00"s);
    EXPECT_EQ(bytes.size(), 28u);
    EXPECT_EQ(readBytes(bytes).records, records);
}

TEST(ListFile, RecordsAreStoredInOrderWithEncodedPasswords)
{
    const std::vector<GatewayRecord> records{{"10.0.0.1", "ftp", "abc"}, {"not an address", "", "x"}};
    const std::string bytes = written(records);
    EXPECT_EQ(bytes, Magic + le32(2) + counted("10.0.0.1") + counted("ftp") + counted("B3BCB1")
                         + counted("not an address") + counted("") + counted("CA"));
    const Read read = readBytes(bytes);
    EXPECT_EQ(read.result, ListReadResult::Loaded);
    EXPECT_EQ(read.records, records);
}

struct LengthCase {
    std::size_t length;
    std::string prefix;
};

class CountedStringLength : public ::testing::TestWithParam<LengthCase> {};

TEST_P(CountedStringLength, PrefixAndRoundTrip)
{
    const std::string text(GetParam().length, 't');
    const std::string bytes = counted(text);
    EXPECT_EQ(bytes.substr(0, GetParam().prefix.size()), GetParam().prefix);
    EXPECT_EQ(bytes.size(), GetParam().prefix.size() + text.size());
    std::istringstream in(bytes);
    std::string back;
    ASSERT_TRUE(readCountedString(in, back));
    EXPECT_EQ(back, text);
}

INSTANTIATE_TEST_SUITE_P(Lengths, CountedStringLength,
                         ::testing::Values(LengthCase{0, "\x00"s}, LengthCase{254, "\xFE"},
                                           LengthCase{255, "\xFF\xFF\x00"s},
                                           LengthCase{300, "\xFF\x2C\x01"},
                                           LengthCase{65533, "\xFF\xFD\xFF"},
                                           LengthCase{65534, "\xFF\xFF\xFF\xFE\xFF\x00\x00"s},
                                           LengthCase{65536, "\xFF\xFF\xFF\x00\x00\x01\x00"s}));

struct WideCase {
    const char* behaviour;
    std::string bytes;
    std::string expected;
};

void PrintTo(const WideCase& c, std::ostream* os) { *os << c.behaviour; }

class TwoByteString : public ::testing::TestWithParam<WideCase> {};

TEST_P(TwoByteString, IsReadAsSingleBytes)
{
    std::istringstream in(GetParam().bytes);
    std::string text;
    ASSERT_TRUE(readCountedString(in, text));
    EXPECT_EQ(text, GetParam().expected);
}

std::string wide(const std::string& latin1)
{
    std::string bytes;
    for (char c : latin1) {
        bytes.push_back(c);
        bytes.push_back('\0');
    }
    return bytes;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, TwoByteString,
    ::testing::Values(
        WideCase{"short length", "\xFF\xFE\xFF\x03"s + wide("abc"), "abc"},
        WideCase{"characters up to 255 keep their value", "\xFF\xFE\xFF\x02"s + "\xE9\x00\xFF\x00"s,
                 "\xE9\xFF"},
        WideCase{"characters above 255 become '?'", "\xFF\xFE\xFF\x03"s + "a\x00\xAC\x20z\x00"s,
                 "a?z"},
        WideCase{"a surrogate pair is one character", "\xFF\xFE\xFF\x03"s + "\x3D\xD8\x00\xDEz\x00"s,
                 "?z"},
        WideCase{"a lone surrogate is one character", "\xFF\xFE\xFF\x02"s + "\x00\xDCz\x00"s, "?z"},
        WideCase{"sixteen-bit length", "\xFF\xFE\xFF\xFF\x00\x01"s + wide(std::string(256, 'w')),
                 std::string(256, 'w')},
        WideCase{"thirty-two-bit length",
                 "\xFF\xFE\xFF\xFF\xFF\xFF\x02\x00\x00\x00"s + wide("hi"), "hi"},
        WideCase{"an empty two-byte string", "\xFF\xFE\xFF\x00"s, ""},
        WideCase{"a zero character is kept", "\xFF\xFE\xFF\x02"s + wide("a\0"s), "a\0"s}));

TEST(ListFile, MagicInTwoByteFormIsAccepted)
{
    const std::string bytes = "\xFF\xFE\xFF\x09"s + wide("OBL101002") + le32(0);
    EXPECT_EQ(readBytes(bytes).result, ListReadResult::Loaded);
}

struct MagicCase {
    const char* behaviour;
    std::string firstString;
    ListReadResult expected;
};

void PrintTo(const MagicCase& c, std::ostream* os) { *os << c.behaviour; }

class ListMagicCheck : public ::testing::TestWithParam<MagicCase> {};

TEST_P(ListMagicCheck, RefusesWithoutReadingFurther)
{
    const std::string head = counted(GetParam().firstString);
    std::istringstream in(head + le32(1) + counted("10.0.0.1") + counted("") + counted(""));
    GatewayList list;
    EXPECT_EQ(readList(in, list), GetParam().expected);
    EXPECT_TRUE(list.empty());
    EXPECT_EQ(in.tellg(), static_cast<std::streamoff>(head.size()));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ListMagicCheck,
    ::testing::Values(
        MagicCase{"a later digit differs", "OBL101003", ListReadResult::OtherVersion},
        MagicCase{"longer", "OBL1010020", ListReadResult::OtherVersion},
        MagicCase{"shorter", "OBL10100", ListReadResult::OtherVersion},
        MagicCase{"the letters alone", "OBL", ListReadResult::OtherVersion},
        MagicCase{"lower-case letters", "obl101002", ListReadResult::FormatNotRecognized},
        MagicCase{"other letters", "XYZ101002", ListReadResult::FormatNotRecognized},
        MagicCase{"an empty first string", "", ListReadResult::FormatNotRecognized},
        MagicCase{"shorter than three characters", "OB", ListReadResult::FormatNotRecognized}));

class NonPositiveCount : public ::testing::TestWithParam<std::uint32_t> {};

TEST_P(NonPositiveCount, MeansNoRecords)
{
    const Read read = readBytes(Magic + le32(GetParam()) + counted("10.0.0.1"));
    EXPECT_EQ(read.result, ListReadResult::Loaded);
    EXPECT_TRUE(read.records.empty());
}

INSTANTIATE_TEST_SUITE_P(Counts, NonPositiveCount,
                         ::testing::Values(0u, 0xFFFFFFFFu, 0x80000000u));

TEST(ListFile, ReadIsNotBoundByTheEditingLimitAndIgnoresTrailingBytes)
{
    std::string bytes = Magic + le32(300);
    for (int i = 0; i < 300; ++i)
        bytes += counted("10.0.1." + std::to_string(i)) + counted("u") + counted("B3");
    const Read read = readBytes(bytes + "trailing garbage");
    EXPECT_EQ(read.result, ListReadResult::Loaded);
    ASSERT_EQ(read.records.size(), 300u);
    EXPECT_EQ(read.records[299], (GatewayRecord{"10.0.1.299", "u", "a"}));
}

struct TruncatedCase {
    const char* behaviour;
    std::string bytes;
    std::size_t recordsKept;
};

void PrintTo(const TruncatedCase& c, std::ostream* os) { *os << c.behaviour; }

class TruncatedFile : public ::testing::TestWithParam<TruncatedCase> {};

TEST_P(TruncatedFile, EndsWithEndOfFileKeepingEarlierRecords)
{
    const Read read = readBytes(GetParam().bytes);
    EXPECT_EQ(read.result, ListReadResult::EndOfFile);
    EXPECT_EQ(read.records.size(), GetParam().recordsKept);
}

const std::string OneRecord = counted("10.0.0.1") + counted("ftp") + counted("B3");

INSTANTIATE_TEST_SUITE_P(
    Cases, TruncatedFile,
    ::testing::Values(
        TruncatedCase{"empty file", "", 0}, TruncatedCase{"inside the magic", "\x09OBL1", 0},
        TruncatedCase{"inside the count", Magic + "\x01\x00"s, 0},
        TruncatedCase{"inside a length prefix", Magic + le32(2) + OneRecord + "\xFF\x2C"s, 1},
        TruncatedCase{"inside the second record", Magic + le32(2) + OneRecord + counted("x"), 1},
        TruncatedCase{"two billion records claimed", Magic + le32(2000000000) + OneRecord, 1},
        TruncatedCase{"a 4 GiB string claimed", Magic + le32(1) + "\xFF\xFF\xFF\xFF\xFF\xFF\xFF"s
                                                     + "only a few bytes",
                      0},
        TruncatedCase{"a 4 G-character two-byte string claimed",
                      Magic + le32(1) + "\xFF\xFE\xFF\xFF\xFF\xFF\xFF\xFF\xFF"s + "abc", 0}));

TEST(ListFile, StreamFailureIsAReadErrorNotAnEndOfFile)
{
    FailingBuffer buffer(Magic + le32(2) + OneRecord + "\x05" "ab");
    std::istream in(&buffer);
    GatewayList list;
    EXPECT_EQ(readList(in, list), ListReadResult::ReadError);
    EXPECT_EQ(list.size(), 1u);
}

TEST(ListFile, FailedStreamMakesWriteFail)
{
    std::ostringstream out;
    out.setstate(std::ios::badbit);
    EXPECT_FALSE(writeList(out, {{"10.0.0.1", "", ""}}));
}

struct EncodeCase {
    std::string plain;
    std::string encoded;
};

class PasswordEncoding : public ::testing::TestWithParam<EncodeCase> {};

TEST_P(PasswordEncoding, EncodesAndDecodesBack)
{
    EXPECT_EQ(encodePassword(GetParam().plain), GetParam().encoded);
    EXPECT_EQ(decodePassword(GetParam().encoded), GetParam().plain);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PasswordEncoding,
    ::testing::Values(EncodeCase{"", ""}, EncodeCase{"abc", "B3BCB1"},
                      EncodeCase{"aaaaaaaaaa", "B3BBAF979591939A96B3"},
                      EncodeCase{"\xFF", "51"},
                      EncodeCase{"RZN640295", "A4B49C6C686064726A"}));

struct DecodeCase {
    const char* behaviour;
    std::string encoded;
    std::string plain;
};

void PrintTo(const DecodeCase& c, std::ostream* os) { *os << c.behaviour; }

class PasswordDecoding : public ::testing::TestWithParam<DecodeCase> {};

TEST_P(PasswordDecoding, ReadsPairsLikeStrtol)
{
    EXPECT_EQ(decodePassword(GetParam().encoded), GetParam().plain);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PasswordDecoding,
    ::testing::Values(
        DecodeCase{"lower-case digits", "b3bcb1", "abc"},
        DecodeCase{"an odd last character is dropped", "B3B", "a"},
        DecodeCase{"a pair starting with a non-digit reads as 0", "G1", "\xAE"},
        DecodeCase{"a digit followed by a non-digit is that digit", "1G", "\xAF"},
        DecodeCase{"leading white space is skipped", " 5", "\xB3"},
        DecodeCase{"a minus sign negates", "-1", "\xAD"},
        DecodeCase{"a plus sign is taken", "+F", "\xBD"},
        DecodeCase{"a prefix 0x is only a zero", "0x", "\xAE"},
        DecodeCase{"a decoded zero byte ends the password", "B35ABCB1", "a"},
        DecodeCase{"a zero first byte gives the empty password", "52B3", ""},
        // Cut at the zero, "PASS x" would go out and the rest follow as a command.
        DecodeCase{"a zero byte before a line end keeps the whole unsendable text",
                   encodePassword("x\0\r\nDELE X"s), "x\0\r\nDELE X"s}));

TEST(ListFiles, SaveIsOwnerOnlyWhateverWasThere)
{
    TempDir dir;
    const std::string path = dir.write("gateways.obl", "old");
    ::chmod(path.c_str(), 0666);
    const std::vector<GatewayRecord> records{{"10.0.0.1", "ftp", "secret"}};
    ASSERT_EQ(saveGatewayList(path, records), FileError::None);
    struct stat info {};
    ASSERT_EQ(::stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0600u);
    EXPECT_EQ(readFileBytes(path), written(records));

    const std::string fresh = dir.file("new.obl");
    ASSERT_EQ(saveGatewayList(fresh, {}), FileError::None);
    ASSERT_EQ(::stat(fresh.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0600u);
}

TEST(ListFiles, LoadReportsResultsAndErrors)
{
    TempDir dir;
    GatewayList list;
    ListFileResult result = loadGatewayList(dir.file("missing.obl"), list);
    EXPECT_EQ(result.error, FileError::NotFound);

    result = loadGatewayList(dir.write("other.obl", counted("OBL999999") + le32(0)), list);
    EXPECT_EQ(result.error, FileError::None);
    EXPECT_EQ(result.read, ListReadResult::OtherVersion);

    result = loadGatewayList(dir.write("short.obl", Magic + le32(3) + OneRecord), list);
    EXPECT_EQ(result.error, FileError::EndOfFile);
    EXPECT_EQ(result.read, ListReadResult::EndOfFile);
    EXPECT_EQ(list.size(), 1u);

    result = loadGatewayList(dir.write("good.obl", Magic + le32(1) + OneRecord), list);
    EXPECT_EQ(result.error, FileError::None);
    EXPECT_EQ(result.read, ListReadResult::Loaded);
    EXPECT_EQ(list.records(), (std::vector<GatewayRecord>{{"10.0.0.1", "ftp", "a"}}));
}

// Kilobytes of a /proc/self/status line ("VmRSS", "VmHWM").
long statusKb(const std::string& field)
{
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind(field + ":", 0) == 0)
            return std::stol(line.substr(field.size() + 1));
    }
    return -1;
}

// A damaged list that claims two billion records and holds a million records of three bytes:
// the rows take memory in proportion to what the file holds, at most 40 times its size plus a
// constant, instead of growing by doubling towards the claim.
TEST(LoadGatewayList, MemoryStaysProportionalToTheFile)
{
    constexpr std::size_t Records = 1'000'000;
    constexpr long ConstantKb = 16 * 1024;
    TempDir dir;
    std::string bytes = Magic + le32(0x7FFFFFFF);
    bytes.append(Records * 3, '\0');
    const std::string path = dir.write("damaged.obl", bytes);
    const long fileKb = static_cast<long>(bytes.size() / 1024);
    bytes = std::string();

    const std::string outcome = inChildProcess([&]() -> std::string {
        // Resets the peak to the present resident size, so the peak below is the load's own.
        std::ofstream("/proc/self/clear_refs") << "5";
        const long before = statusKb("VmRSS");
        GatewayList list;
        loadGatewayList(path, list);
        const long grown = statusKb("VmHWM") - before;
        if (list.size() != Records)
            return "read " + std::to_string(list.size()) + " records";
        std::printf("peak growth %ld kB for a file of %ld kB (%.1f times)\n", grown, fileKb,
                    static_cast<double>(grown) / static_cast<double>(fileKb));
        std::fflush(stdout);
        if (before < 0 || grown > 40 * fileKb + ConstantKb)
            return "grew by " + std::to_string(grown) + " kB for a file of "
                + std::to_string(fileKb) + " kB";
        return "";
    }, false, std::chrono::seconds(120));
    EXPECT_EQ(outcome, "");
}

}  // namespace
