#include "base/settingsfile.h"

#include "base/fdstream.h"
#include "support/childprocess.h"
#include "support/tempdir.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <functional>
#include <istream>
#include <string>

namespace {

struct ReadCase {
    const char* behaviour;
    std::string content;
    const char* section;
    const char* key;
    const char* defaultValue;
    std::string expected;
};

void PrintTo(const ReadCase& c, std::ostream* os) { *os << c.behaviour; }

const std::string OperatorFile =
    "; Orbiphon settings, edited by hand\r\n"
    "\r\n"
    "[RemoveFromRFA]\r\n"
    "   Ext1 = CFG   \r\n"
    "\tExt2\t=\tBIN\r\n"
    "; Ext3=OLD\r\n"
    "\r\n"
    "[PutList]\r\n"
    "Ext1=\"HLP\"\r\n"
    "Ext2='TXT'\r\n";

class ReadStringTest : public ::testing::TestWithParam<ReadCase> {};

TEST_P(ReadStringTest, AnswersAsTheProfileReader)
{
    const ReadCase& c = GetParam();
    TempDir dir;
    SettingsFile settings;
    settings.setPath(dir.write("Orbiphon.ini", c.content));
    EXPECT_EQ(settings.readString(c.section, c.key, c.defaultValue), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ReadStringTest,
    ::testing::Values(
        ReadCase{"spaces around key, equals and value are dropped", OperatorFile, "RemoveFromRFA",
                 "Ext1", "", "CFG"},
        ReadCase{"tabs count as white space", OperatorFile, "RemoveFromRFA", "Ext2", "", "BIN"},
        ReadCase{"a commented-out key does not exist", OperatorFile, "RemoveFromRFA", "Ext3",
                 "none", "none"},
        ReadCase{"double quotes around a value are removed", OperatorFile, "PutList", "Ext1", "",
                 "HLP"},
        ReadCase{"single quotes around a value are removed", OperatorFile, "PutList", "Ext2", "",
                 "TXT"},
        ReadCase{"section names ignore case", OperatorFile, "putlist", "Ext1", "", "HLP"},
        ReadCase{"key names ignore case", OperatorFile, "RemoveFromRFA", "EXT1", "", "CFG"},
        ReadCase{"a key of another section is not seen", OperatorFile, "PutList", "Ext3", "dflt",
                 "dflt"},
        ReadCase{"a missing section gives the default", OperatorFile, "RemoveFromDoc", "Ext1",
                 "dflt", "dflt"},
        ReadCase{"line feeds alone end lines too", "[A]\nx=1\ny=2\n", "A", "y", "", "2"},
        ReadCase{"a byte-order mark before the first section is skipped",
                 "\xEF\xBB\xBF[A]\r\nx=1\r\n", "A", "x", "", "1"},
        ReadCase{"the first of two equal keys wins", "[A]\nx=first\nX=second\n", "A", "x", "",
                 "first"},
        ReadCase{"a key without equals sign has an empty value", "[A]\nflag\n", "A", "flag",
                 "dflt", ""},
        ReadCase{"an empty value is not the default", "[A]\nx=\n", "A", "x", "dflt", ""},
        ReadCase{"an equals sign inside the value stays", "[A]\nx=a=b\n", "A", "x", "", "a=b"},
        ReadCase{"white space inside a section header is dropped", "[  A  ]\nx=1\n", "a", "x",
                 "", "1"},
        ReadCase{"mismatched quotes stay", "[A]\nx=\"abc'\n", "A", "x", "", "\"abc'"},
        ReadCase{"a lone quote character stays", "[A]\nx=\"\n", "A", "x", "", "\""},
        ReadCase{"a pair of quotes alone gives the empty text", "[A]\nx=\"\"\n", "A", "x", "dflt",
                 ""},
        ReadCase{"only one pair of quotes is removed", "[A]\nx=\"\"v\"\"\n", "A", "x", "",
                 "\"v\""},
        ReadCase{"quotes inside the value stay", "[A]\nx=a\"b\"c\n", "A", "x", "", "a\"b\"c"},
        ReadCase{"white space inside quotes stays", "[A]\nx=\"  v  \"\n", "A", "x", "", "  v  "},
        ReadCase{"a value of 300 characters is cut to 254", "[A]\nx=" + std::string(300, 'v'),
                 "A", "x", "", std::string(254, 'v')},
        ReadCase{"a value of exactly 254 characters is whole", "[A]\nx=" + std::string(254, 'w'),
                 "A", "x", "", std::string(254, 'w')},
        ReadCase{"a quoted long value loses its quotes before the cut",
                 "[A]\nx=\"" + std::string(260, 'q') + "\"", "A", "x", "",
                 std::string(254, 'q')},
        ReadCase{"the last line needs no line end", "[A]\r\nx=last", "A", "x", "", "last"},
        ReadCase{"a second section of the same name is searched too", "[A]\nx=1\n[B]\n[a]\ny=2\n",
                 "A", "y", "", "2"}));

TEST(SettingsFile, MissingFileGivesTheDefault)
{
    TempDir dir;
    SettingsFile settings;
    settings.setPath(dir.file("Orbiphon.ini"));
    EXPECT_EQ(settings.readString("PutList", "Ext1", "fallback"), "fallback");
}

TEST(SettingsFile, UnsetPathGivesTheDefault)
{
    SettingsFile settings;
    EXPECT_EQ(settings.path(), "");
    EXPECT_EQ(settings.readString("PutList", "Ext1", "fallback"), "fallback");
}

TEST(SettingsFile, UnreadableFileGivesTheDefault)
{
    TempDir dir;
    SettingsFile settings;
    settings.setPath(dir.path());  // a folder cannot be read as a file
    EXPECT_EQ(settings.readString("PutList", "Ext1", "fallback"), "fallback");
}

TEST(SettingsFile, ReadsTheFileAfreshAtEveryCall)
{
    TempDir dir;
    SettingsFile settings;
    settings.setPath(dir.write("Orbiphon.ini", "[PutList]\nExt1=HLP\n"));
    EXPECT_EQ(settings.readString("PutList", "Ext1", ""), "HLP");
    dir.write("Orbiphon.ini", "[PutList]\nExt1=DOC\n");
    EXPECT_EQ(settings.readString("PutList", "Ext1", ""), "DOC");
}

TEST(SettingsFile, LongDefaultIsCutLikeAValue)
{
    SettingsFile settings;
    EXPECT_EQ(settings.readString("A", "x", std::string(300, 'd')), std::string(254, 'd'));
}

struct NotRegularCase {
    const char* behaviour;
    std::function<std::string(const TempDir&)> make;  // makes the name in the folder
    FileError expected;
};

void PrintTo(const NotRegularCase& c, std::ostream* os) { *os << c.behaviour; }

class NotARegularFile : public ::testing::TestWithParam<NotRegularCase> {};

// A pipe would block the reader, a device feed it for ever: the file readers refuse both at
// once, and the settings file counts as missing. In a child with a time limit, so that a reader
// that blocks fails the test instead of hanging it.
TEST_P(NotARegularFile, IsRefusedAtOnceAndLeavesTheSettingsEmpty)
{
    TempDir dir;
    const std::string path = GetParam().make(dir);
    EXPECT_EQ(inChildProcess([&]() -> std::string {
        bool read = false;
        const FileError error = readFileWith(path, [&read](std::istream&) { read = true; });
        if (error != GetParam().expected || read)
            return "readFileWith gave error " + std::to_string(static_cast<int>(error));
        SettingsFile settings;
        settings.setPath(path);
        return settings.readString("PutList", "Ext1", "none") == "none" ? "" : "a value came";
    }, false), "");
}

INSTANTIATE_TEST_SUITE_P(
    Cases, NotARegularFile,
    ::testing::Values(
        NotRegularCase{"pipe",
                       [](const TempDir& dir) {
                           ::mkfifo(dir.file("Orbiphon.ini").c_str(), 0600);
                           return dir.file("Orbiphon.ini");
                       },
                       FileError::IsPipe},
        NotRegularCase{"link to an endless device",
                       [](const TempDir& dir) {
                           std::filesystem::create_symlink("/dev/zero", dir.file("Orbiphon.ini"));
                           return dir.file("Orbiphon.ini");
                       },
                       FileError::IsSpecialFile},
        NotRegularCase{"folder",
                       [](const TempDir& dir) {
                           std::filesystem::create_directories(dir.file("Orbiphon.ini"));
                           return dir.file("Orbiphon.ini");
                       },
                       FileError::IsFolder}));

}  // namespace
