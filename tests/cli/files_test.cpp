// The files the tool is given that are not what they should be: pipes, devices and folders,
// files protected by their own mode or by their folder's, and input that holds a password.
#include "runtool.h"

#include "support/childprocess.h"
#include "support/tempdir.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

const std::string BookJson = R"({"gateways":[{"address":"10.0.0.1","port":1720},)"
                             R"({"address":"10.0.0.2","port":1720}],"entries":[]})";
const std::string ListJson = R"({"gateways":[{"ip":"10.0.0.1","userId":"u","password":"p"}]})";
const std::string OldBytes = "old bytes";

// The tool under a 10-second limit (a read that blocks fails instead of hanging the test),
// as the ordinary user when asked and this test runs as root.
ToolRun runGuarded(const std::vector<std::string>& args, bool ordinaryUser)
{
    std::vector<std::string> command = ordinaryUser ? asOrdinaryUserPrefix()
                                                    : std::vector<std::string>{};
    command.insert(command.end(), {"/usr/bin/timeout", "10",
                                   ordinaryUser ? reachableByOrdinaryUser(ORBIPHON_CLI)
                                                : std::string(ORBIPHON_CLI)});
    command.insert(command.end(), args.begin(), args.end());
    return runProgram(command.front(), {command.begin() + 1, command.end()},
                      processEnvironment());
}

// What a target is, to see that a refusal left it alone.
std::string stateOf(const std::string& path)
{
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0)
        return "missing";
    std::string state = std::to_string(info.st_mode) + "/" + std::to_string(info.st_ino);
    return S_ISREG(info.st_mode) ? state + "/" + readFileBytes(path) : state;
}

struct FileCase {
    const char* behaviour;
    // Makes the files in the folder and gives the arguments and the path that must stay as it
    // was (empty for none).
    std::function<std::vector<std::string>(const TempDir&, std::string& untouched)> make;
    bool ordinaryUser;
    int status;
    const char* message;  // {dir} stands for the folder
};

void PrintTo(const FileCase& c, std::ostream* os) { *os << c.behaviour; }

class FileOperand : public ::testing::TestWithParam<FileCase> {};

TEST_P(FileOperand, IsNamedForWhatItIsAndLeftAlone)
{
    TempDir dir;
    fs::permissions(dir.path(), fs::perms(0777));
    std::string untouched;
    const std::vector<std::string> args = GetParam().make(dir, untouched);
    if (args.empty())
        GTEST_SKIP() << "this case needs root";
    const std::string before = untouched.empty() ? "" : stateOf(untouched);

    const ToolRun run = runGuarded(args, GetParam().ordinaryUser);
    std::string message = GetParam().message;
    if (const std::size_t at = message.find("{dir}"); at != std::string::npos)
        message.replace(at, 5, dir.path());
    EXPECT_EQ(run.status, GetParam().status) << run.err;
    EXPECT_EQ(run.err, message.empty() ? "" : "orbiphon-cli: " + message + "\n");
    if (!untouched.empty()) {
        EXPECT_EQ(stateOf(untouched), before);
    }
}

std::string fifo(const TempDir& dir, const std::string& name)
{
    ::mkfifo(dir.file(name).c_str(), 0666);
    return dir.file(name);
}

std::string withMode(const TempDir& dir, const std::string& name, mode_t mode)
{
    const std::string path = dir.write(name, OldBytes);
    fs::permissions(path, fs::perms(mode));
    return path;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FileOperand,
    ::testing::Values(
        FileCase{"book show of a pipe",
                 [](const TempDir& dir, std::string&) {
                     return std::vector<std::string>{"book", "show", fifo(dir, "a.cpe")};
                 },
                 false, 1, "{dir}/a.cpe is a pipe, not a file."},
        FileCase{"book show of an endless device",
                 [](const TempDir&, std::string&) {
                     return std::vector<std::string>{"book", "show", "/dev/zero"};
                 },
                 false, 1, "/dev/zero is a device or a socket, not a file."},
        FileCase{"list show of a folder",
                 [](const TempDir& dir, std::string&) {
                     return std::vector<std::string>{"list", "show", dir.path()};
                 },
                 false, 1, "{dir} is a folder, not a file."},
        FileCase{"from-json reading a pipe",
                 [](const TempDir& dir, std::string&) {
                     return std::vector<std::string>{"list", "from-json", fifo(dir, "in.json"),
                                                     dir.file("out.obl")};
                 },
                 false, 1, "{dir}/in.json is a pipe, not a file."},
        FileCase{"from-json writing to a pipe",
                 [](const TempDir& dir, std::string& untouched) {
                     untouched = fifo(dir, "out.cpe");
                     return std::vector<std::string>{"book", "from-json",
                                                     dir.write("in.json", BookJson), untouched};
                 },
                 false, 1, "{dir}/out.cpe is a pipe, not a file."},
        FileCase{"from-json writing to a device node",
                 [](const TempDir& dir, std::string& untouched) {
                     untouched = dir.file("null");
                     if (::mknod(untouched.c_str(), S_IFCHR | 0666, makedev(1, 3)) != 0)
                         return std::vector<std::string>{};
                     return std::vector<std::string>{"list", "from-json",
                                                     dir.write("in.json", ListJson), untouched};
                 },
                 false, 1, "{dir}/null is a device or a socket, not a file."},
        FileCase{"download to a pipe, before any network step",
                 [](const TempDir& dir, std::string& untouched) {
                     untouched = fifo(dir, "Addrbook.cpe");
                     return std::vector<std::string>{"download", "127.0.0.1", "admin", "--",
                                                     "--secret", untouched};
                 },
                 false, 1, "{dir}/Addrbook.cpe is a pipe, not a file."},
        FileCase{"upgrade sending a folder as the book",
                 [](const TempDir& dir, std::string&) {
                     fs::create_directories(dir.file("book.cpe"));
                     return std::vector<std::string>{"upgrade", dir.file("l.obl"), "--book",
                                                     dir.file("book.cpe")};
                 },
                 false, 2, "{dir}/book.cpe is a folder, not a file."},
        FileCase{"upgrade sending a pipe as the firmware folder",
                 [](const TempDir& dir, std::string&) {
                     return std::vector<std::string>{"upgrade", dir.file("l.obl"), "--firmware",
                                                     fifo(dir, "firmware"), "--code"};
                 },
                 false, 2, "{dir}/firmware is not a folder."},
        FileCase{"from-json onto a read-only file",
                 [](const TempDir& dir, std::string& untouched) {
                     untouched = withMode(dir, "out.cpe", 0444);
                     return std::vector<std::string>{"book", "from-json",
                                                     dir.write("in.json", BookJson), untouched};
                 },
                 true, 1, "Access to {dir}/out.cpe was denied."},
        FileCase{"download onto a read-only file",
                 [](const TempDir& dir, std::string& untouched) {
                     untouched = withMode(dir, "Addrbook.cpe", 0444);
                     return std::vector<std::string>{"download", "127.0.0.1", "admin", "pw",
                                                     untouched};
                 },
                 true, 1, "Access to {dir}/Addrbook.cpe was denied."},
        FileCase{"from-json onto a writable file in a read-only folder",
                 [](const TempDir& dir, std::string&) {
                     const std::string input = dir.write("in.json", ListJson);
                     const std::string out = withMode(dir, "closed/out.obl", 0666);
                     fs::permissions(dir.file("closed"), fs::perms(0555));
                     return std::vector<std::string>{"list", "from-json", input, out};
                 },
                 true, 0, ""}));

TEST(FromJson, ParseErrorGivesThePlaceNotTheTextRead)
{
    TempDir dir;
    const std::string input =
        dir.write("in.json", "{\"gateways\":[\n  {\"ip\":\"10.0.0.1\",\"userId\":\"u\",\n"
                             "   \"password\":\"hunter2");
    const ToolRun run = runGuarded({"list", "from-json", input, dir.file("out.obl")}, false);
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.err, "orbiphon-cli: " + input + ": not valid JSON (line 3, column 23)\n");
    EXPECT_FALSE(fs::exists(dir.file("out.obl")));
}

}  // namespace
