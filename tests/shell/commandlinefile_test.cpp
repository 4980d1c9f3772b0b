#include "shell/commandlinefile.h"

#include "support/tempdir.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>

TEST(CommandLineFile, JoinsUnquotesAndTakesTheExtensionFromTheLastDot)
{
    TempDir dir;
    const std::string d = dir.path();
    dir.write("My Books/Main Office.cpe", "b");
    dir.write("SITES.Obl", "l");
    dir.write("data.old/book", "b");
    dir.write("notes.txt", "n");
    std::filesystem::create_directory(d + "/folder.cpe");
    ASSERT_EQ(::mkfifo((d + "/pipe.cpe").c_str(), 0600), 0);

    struct Case {
        std::vector<std::string> arguments;
        CommandLineFileKind kind;
        std::string path;
    };
    const Case cases[] = {
        {{}, CommandLineFileKind::None, ""},
        {{"\"\""}, CommandLineFileKind::None, ""},
        {{d + "/My", "Books/Main", "Office.cpe"}, CommandLineFileKind::AddressBook,
         d + "/My Books/Main Office.cpe"},
        {{"\"" + d + "/My Books/Ma\"in Office.cpe\""}, CommandLineFileKind::AddressBook,
         d + "/My Books/Main Office.cpe"},
        {{d + "/data.old/../SITES.Obl"}, CommandLineFileKind::GatewayList, d + "/SITES.Obl"},
        {{d + "/data.old/book"}, CommandLineFileKind::Unrecognised, d + "/data.old/book"},
        {{d + "/notes.txt"}, CommandLineFileKind::Unrecognised, d + "/notes.txt"},
        {{d + "/gone.cpe"}, CommandLineFileKind::None, ""},
        {{d + "/folder.cpe"}, CommandLineFileKind::None, ""},
        {{d + "/pipe.cpe"}, CommandLineFileKind::None, ""},
        {{d + "/notes.txt", d + "/SITES.Obl"}, CommandLineFileKind::None, ""},
    };
    for (const Case& c : cases) {
        const CommandLineFile file = commandLineFile(c.arguments);
        const std::string shown = c.arguments.empty() ? "(none)" : c.arguments.front();
        EXPECT_EQ(file.kind, c.kind) << shown;
        EXPECT_EQ(file.path, c.path) << shown;
    }
}
