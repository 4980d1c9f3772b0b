#include "base/pathutils.h"

#include "support/tempdir.h"

#include <gtest/gtest.h>

#include <spawn.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

extern char** environ;

namespace {

namespace fs = std::filesystem;

TEST(JoinStrings, EmptyPieceEndsTheList)
{
    EXPECT_EQ(joinStrings({"C:/Folder", "/", "", ".ext", nullptr}), "C:/Folder/");
}

TEST(JoinStrings, AbsentPieceEndsTheList)
{
    EXPECT_EQ(joinStrings({"a", "b", nullptr, "c", nullptr}), "ab");
}

TEST(JoinStrings, FirstPieceIsTakenEvenWhenEmpty)
{
    EXPECT_EQ(joinStrings({"", "b", "c", nullptr}), "bc");
    EXPECT_EQ(joinStrings({nullptr, "b", nullptr}), "b");
}

TEST(JoinStrings, AllPiecesJoinInOrder)
{
    EXPECT_EQ(joinStrings({"/opt/orbiphon", "/", "Orbiphon", ".ini", nullptr}),
              "/opt/orbiphon/Orbiphon.ini");
}

TEST(ExecutablePaths, NameThisTestProgram)
{
    const std::string path = executablePath();
    EXPECT_EQ(path, fs::canonical("/proc/self/exe").string());
    EXPECT_EQ(executableDirectory(), fs::path(path).parent_path().string());
    EXPECT_EQ(applicationTitle(), "test_base_pathutils");
    EXPECT_EQ(settingsFilePath(), executableDirectory() + "/Orbiphon.ini");
}

// Run in a copy of this program started through a symbolic link (see below): reports what the
// copy finds out about itself.
TEST(ExecutablePathsChild, Report)
{
    const char* report = std::getenv("ORBIPHON_PATHS_REPORT");
    if (!report)
        GTEST_SKIP() << "only run by ExecutablePaths.ResolveLinksAndDropTheLastExtension";
    std::ofstream out(report);
    out << executablePath() << '\n'
        << executableDirectory() << '\n'
        << applicationTitle() << '\n'
        << settingsFilePath() << '\n';
}

TEST(ExecutablePaths, ResolveLinksAndDropTheLastExtension)
{
    TempDir dir;
    fs::create_directories(dir.file("real"));
    fs::create_directories(dir.file("links"));
    const std::string copy = dir.file("real/Orbiphon.v2.bin");
    fs::copy_file("/proc/self/exe", copy);
    fs::permissions(copy, fs::perms::owner_all);
    const std::string link = dir.file("links/orbiphon");
    fs::create_symlink(copy, link);

    const std::string report = dir.file("report.txt");
    const std::string reportVariable = "ORBIPHON_PATHS_REPORT=" + report;
    std::vector<char*> env;
    for (char** e = environ; *e; ++e)
        env.push_back(*e);
    env.push_back(const_cast<char*>(reportVariable.c_str()));
    env.push_back(nullptr);
    std::string filter = "--gtest_filter=ExecutablePathsChild.Report";
    char* argv[] = {const_cast<char*>(link.c_str()), filter.data(), nullptr};

    pid_t pid = 0;
    ASSERT_EQ(posix_spawn(&pid, link.c_str(), nullptr, nullptr, argv, env.data()), 0);
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);

    const std::string realDir = fs::canonical(dir.file("real")).string();
    EXPECT_EQ(readFileBytes(report), realDir + "/Orbiphon.v2.bin\n" + realDir + "\n"
                                         + "Orbiphon.v2\n" + realDir + "/Orbiphon.ini\n");
}

}  // namespace
