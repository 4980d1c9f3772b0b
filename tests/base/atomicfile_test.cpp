#include "base/atomicfile.h"

#include "support/childprocess.h"
#include "support/tempdir.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <ostream>
#include <set>
#include <stdexcept>
#include <string>

namespace {

namespace fs = std::filesystem;

const std::string OldBytes = "old bytes the operator must not lose";
const std::string NewBytes("new content\0with a zero byte", 28);

std::function<bool(std::ostream&)> writing(const std::string& bytes)
{
    return [bytes](std::ostream& out) {
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        return true;
    };
}

mode_t modeOf(const std::string& path)
{
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0)
        return 0;
    return info.st_mode & 07777;
}

class UmaskScope {
public:
    explicit UmaskScope(mode_t mask) : m_old(::umask(mask)) {}
    ~UmaskScope() { ::umask(m_old); }
    UmaskScope(const UmaskScope&) = delete;
    UmaskScope& operator=(const UmaskScope&) = delete;

private:
    mode_t m_old;
};

TEST(WriteFileAtomically, NewFileGetsTheBytesAndTheUmaskMode)
{
    UmaskScope mask(027);
    TempDir dir;
    const std::string path = dir.file("Addrbook.cpe");
    ASSERT_EQ(writeFileAtomically(path, writing(NewBytes)), FileError::None);
    EXPECT_EQ(readFileBytes(path), NewBytes);
    EXPECT_EQ(modeOf(path), 0640u);
    EXPECT_EQ(folderEntries(dir.path()), std::set<std::string>{"Addrbook.cpe"});
}

TEST(WriteFileAtomically, ExistingFileKeepsItsPermissions)
{
    TempDir dir;
    const std::string path = dir.write("Addrbook.cpe", OldBytes);
    fs::permissions(path, fs::perms(0604));
    ASSERT_EQ(writeFileAtomically(path, writing(NewBytes)), FileError::None);
    EXPECT_EQ(readFileBytes(path), NewBytes);
    EXPECT_EQ(modeOf(path), 0604u);
}

TEST(WriteFileAtomically, GivenModeReplacesAnExistingOne)
{
    TempDir dir;
    const std::string path = dir.write("list.obl", OldBytes);
    fs::permissions(path, fs::perms(0666));
    ASSERT_EQ(writeFileAtomically(path, writing(NewBytes), 0600), FileError::None);
    EXPECT_EQ(modeOf(path), 0600u);
}

TEST(WriteFileAtomically, WriterGivingUpHalfWayKeepsTheOldFile)
{
    TempDir dir;
    const std::string path = dir.write("Addrbook.cpe", OldBytes);
    const FileError error = writeFileAtomically(path, [](std::ostream& out) {
        out << std::string(100000, 'x');  // more than one buffer, so some bytes reach the disk
        return false;
    });
    EXPECT_NE(error, FileError::None);
    EXPECT_EQ(readFileBytes(path), OldBytes);
    EXPECT_EQ(folderEntries(dir.path()), std::set<std::string>{"Addrbook.cpe"});
}

TEST(WriteFileAtomically, WriterThrowingKeepsTheOldFileAndLeavesNoTemporary)
{
    TempDir dir;
    const std::string path = dir.write("Addrbook.cpe", OldBytes);
    EXPECT_THROW(writeFileAtomically(path,
                                     [](std::ostream& out) -> bool {
                                         out << "partial";
                                         throw std::runtime_error("writer failed");
                                     }),
                 std::runtime_error);
    EXPECT_EQ(readFileBytes(path), OldBytes);
    EXPECT_EQ(folderEntries(dir.path()), std::set<std::string>{"Addrbook.cpe"});
}

TEST(WriteFileAtomically, SymbolicLinkSurvivesAndItsDestinationIsReplaced)
{
    TempDir dir;
    fs::create_directories(dir.file("real"));
    fs::create_directories(dir.file("links"));
    const std::string real = dir.write("real/list.obl", OldBytes);
    const std::string link = dir.file("links/list.obl");
    fs::create_symlink("../real/list.obl", link);

    ASSERT_EQ(writeFileAtomically(link, writing(NewBytes)), FileError::None);
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(readFileBytes(real), NewBytes);
    EXPECT_EQ(folderEntries(dir.file("real")), std::set<std::string>{"list.obl"});
    EXPECT_EQ(folderEntries(dir.file("links")), std::set<std::string>{"list.obl"});
}

TEST(WriteFileAtomically, DanglingLinkCreatesItsDestination)
{
    TempDir dir;
    const std::string link = dir.file("list.obl");
    fs::create_symlink(dir.file("target.obl"), link);
    ASSERT_EQ(writeFileAtomically(link, writing(NewBytes)), FileError::None);
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(readFileBytes(dir.file("target.obl")), NewBytes);
}

TEST(WriteFileAtomically, LinkLoopIsABadPath)
{
    TempDir dir;
    fs::create_symlink(dir.file("b"), dir.file("a"));
    fs::create_symlink(dir.file("a"), dir.file("b"));
    EXPECT_EQ(writeFileAtomically(dir.file("a"), writing(NewBytes)), FileError::BadPath);
}

TEST(WriteFileAtomically, MissingFolderIsNotFound)
{
    TempDir dir;
    EXPECT_EQ(writeFileAtomically(dir.file("nowhere/Addrbook.cpe"), writing(NewBytes)),
              FileError::NotFound);
}

TEST(WriteFileAtomically, FolderAsTargetIsRefusedAndLeavesNoTemporary)
{
    TempDir dir;
    fs::create_directories(dir.file("Addrbook.cpe"));
    EXPECT_EQ(writeFileAtomically(dir.file("Addrbook.cpe"), writing(NewBytes)),
              FileError::IsFolder);
    EXPECT_EQ(folderEntries(dir.path()), std::set<std::string>{"Addrbook.cpe"});
}

TEST(TemporaryBeside, ReplacesTheTargetKeepingItsPermissions)
{
    TempDir dir;
    const std::string path = dir.write("Addrbook.cpe", OldBytes);
    fs::permissions(path, fs::perms(0640));
    FileError error = FileError::Generic;
    const std::string temp = createTemporaryBeside(path, error);
    ASSERT_EQ(error, FileError::None);
    EXPECT_EQ(fs::path(temp).parent_path(), fs::path(path).parent_path());
    EXPECT_EQ(readFileBytes(path), OldBytes);

    dir.write(fs::path(temp).filename().string(), NewBytes);
    ASSERT_EQ(replaceWithTemporary(temp, path), FileError::None);
    EXPECT_EQ(readFileBytes(path), NewBytes);
    EXPECT_EQ(modeOf(path), 0640u);
    EXPECT_FALSE(fs::exists(temp));
}

TEST(TemporaryBeside, FailedReplaceRemovesTheTemporary)
{
    TempDir dir;
    fs::create_directories(dir.file("Addrbook.cpe/inside"));
    FileError error = FileError::Generic;
    const std::string temp = createTemporaryBeside(dir.file("Addrbook.cpe"), error);
    ASSERT_EQ(error, FileError::None);
    EXPECT_NE(replaceWithTemporary(temp, dir.file("Addrbook.cpe")), FileError::None);
    EXPECT_FALSE(fs::exists(temp));
    EXPECT_TRUE(fs::is_directory(dir.file("Addrbook.cpe/inside")));
}

TEST(TemporaryBeside, MissingFolderGivesNoName)
{
    TempDir dir;
    FileError error = FileError::None;
    EXPECT_EQ(createTemporaryBeside(dir.file("nowhere/Addrbook.cpe"), error), "");
    EXPECT_EQ(error, FileError::NotFound);
}

// Runs check in a child process with its own mount namespace, where folder is a fresh tmpfs of
// the given size. check returns an empty text on success or what went wrong.
std::string inPrivateTmpfs(const std::string& folder, const char* options,
                           const std::function<std::string()>& check, bool& skipped)
{
    int channel[2];
    if (::pipe(channel) != 0)
        return "pipe failed";
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(channel[0]);
        std::string outcome;
        if (::unshare(CLONE_NEWNS) != 0
            || ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0
            || ::mount("tmpfs", folder.c_str(), "tmpfs", 0, options) != 0) {
            outcome = "SKIP";
        } else {
            outcome = check();
        }
        [[maybe_unused]] const ssize_t ignored = ::write(channel[1], outcome.data(), outcome.size());
        ::_exit(0);
    }
    ::close(channel[1]);
    std::string outcome;
    char buffer[256];
    for (ssize_t got; (got = ::read(channel[0], buffer, sizeof buffer)) > 0;)
        outcome.append(buffer, static_cast<std::size_t>(got));
    ::close(channel[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    skipped = outcome == "SKIP";
    if (!WIFEXITED(status))
        return "child process crashed";
    return skipped ? std::string() : outcome;
}

std::string oldFileSurvives(const std::string& folder, const std::string& path)
{
    if (readFileBytes(path) != OldBytes)
        return "the old bytes were changed";
    if (folderEntries(folder) != std::set<std::string>{"Addrbook.cpe"})
        return "a temporary file was left behind";
    return {};
}

TEST(WriteFileAtomically, FullDiskReportsDiskFullAndKeepsTheOldFile)
{
    TempDir dir;
    bool skipped = false;
    const std::string outcome = inPrivateTmpfs(dir.path(), "size=64k", [&]() -> std::string {
        const std::string path = dir.write("Addrbook.cpe", OldBytes);
        const FileError error = writeFileAtomically(path, writing(std::string(1 << 20, 'x')));
        if (error != FileError::DiskFull)
            return "expected DiskFull, got " + std::to_string(static_cast<int>(error));
        return oldFileSurvives(dir.path(), path);
    }, skipped);
    if (skipped)
        GTEST_SKIP() << "no private mount namespace here (needs root)";
    EXPECT_EQ(outcome, "");
}

TEST(WriteFileAtomically, ReadOnlyFileSystemReportsAccessDeniedAndKeepsTheOldFile)
{
    TempDir dir;
    bool skipped = false;
    const std::string outcome = inPrivateTmpfs(dir.path(), "size=1m", [&]() -> std::string {
        const std::string path = dir.write("Addrbook.cpe", OldBytes);
        if (::mount(nullptr, dir.path().c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr) != 0)
            return "remount read-only failed";
        const FileError error = writeFileAtomically(path, writing(NewBytes));
        if (error != FileError::AccessDenied)
            return "expected AccessDenied, got " + std::to_string(static_cast<int>(error));
        return oldFileSurvives(dir.path(), path);
    }, skipped);
    if (skipped)
        GTEST_SKIP() << "no private mount namespace here (needs root)";
    EXPECT_EQ(outcome, "");
}

// The two ways a file is saved: written through writeFileAtomically (Save, from-json), or
// fetched into a temporary and put in place (a download).
enum class Saver { Written, Downloaded };

FileError save(Saver saver, const std::string& path, const std::string& bytes)
{
    if (saver == Saver::Written)
        return writeFileAtomically(path, writing(bytes));
    FileError error = FileError::Generic;
    const std::string temp = createTemporaryBeside(path, error);
    if (error != FileError::None)
        return error;
    writeFileBytes(temp, bytes);
    error = replaceWithTemporary(temp, path);
    return fs::exists(temp) ? FileError::Generic : error;
}

// What a target is, so that a refused save can be seen to leave it (and its folder) alone.
std::string stateOf(const std::string& path)
{
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0)
        return "missing";
    std::string state = std::to_string(info.st_mode) + "/" + std::to_string(info.st_ino);
    if (S_ISREG(info.st_mode))
        state += "/" + readFileBytes(path);
    for (const std::string& name : folderEntries(fs::path(path).parent_path()))
        state += "/" + name;
    return state;
}

struct TargetCase {
    const char* behaviour;
    // Makes the target inside the folder (as root when the test runs as root) and names it.
    std::function<std::string(const TempDir&)> make;
    FileError expected;
};

void PrintTo(const TargetCase& c, std::ostream* os) { *os << c.behaviour; }

class ProtectedTarget : public ::testing::TestWithParam<TargetCase> {};

// As an ordinary user, for both ways of saving: a refused target is left exactly as it was; a
// target that is saved keeps its identity (it was written in place when the folder is closed).
TEST_P(ProtectedTarget, IsRefusedOrSavedAsItsOwnProtectionSays)
{
    for (const Saver saver : {Saver::Written, Saver::Downloaded}) {
        TempDir dir;
        fs::permissions(dir.path(), fs::perms(0777));
        const std::string path = GetParam().make(dir);
        const std::string before = stateOf(path);
        const std::string outcome = inChildProcess([&]() -> std::string {
            const FileError error = save(saver, path, NewBytes);
            if (error != GetParam().expected)
                return "got error " + std::to_string(static_cast<int>(error));
            if (error != FileError::None)
                return stateOf(path) == before ? "" : "the target was changed";
            struct stat info {};
            ::stat(path.c_str(), &info);
            if (before.find("/" + std::to_string(info.st_ino) + "/") == std::string::npos)
                return "the file was replaced, not written in place";
            return readFileBytes(path) == NewBytes ? "" : "the new bytes are not there";
        }, true);
        EXPECT_EQ(outcome, "") << (saver == Saver::Written ? "written" : "downloaded");
    }
}

std::string fileWithMode(const TempDir& dir, const std::string& name, mode_t mode)
{
    const std::string path = dir.write(name, OldBytes);
    fs::permissions(path, fs::perms(mode));
    return path;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ProtectedTarget,
    ::testing::Values(
        TargetCase{"read-only file in a writable folder",
                   [](const TempDir& dir) { return fileWithMode(dir, "Addrbook.cpe", 0444); },
                   FileError::AccessDenied},
        TargetCase{"link to a read-only file",
                   [](const TempDir& dir) {
                       fileWithMode(dir, "real.obl", 0444);
                       fs::create_symlink("real.obl", dir.file("list.obl"));
                       return dir.file("list.obl");
                   },
                   FileError::AccessDenied},
        TargetCase{"writable file in a read-only folder",
                   [](const TempDir& dir) {
                       const std::string path = fileWithMode(dir, "closed/Addrbook.cpe", 0666);
                       fs::permissions(dir.file("closed"), fs::perms(0555));
                       return path;
                   },
                   FileError::None},
        TargetCase{"new file in a read-only folder",
                   [](const TempDir& dir) {
                       fs::create_directories(dir.file("closed"));
                       fs::permissions(dir.file("closed"), fs::perms(0555));
                       return dir.file("closed/Addrbook.cpe");
                   },
                   FileError::AccessDenied},
        TargetCase{"pipe",
                   [](const TempDir& dir) {
                       ::mkfifo(dir.file("Addrbook.cpe").c_str(), 0666);
                       return dir.file("Addrbook.cpe");
                   },
                   FileError::IsPipe},
        TargetCase{"link to a device",
                   [](const TempDir& dir) {
                       fs::create_symlink("/dev/null", dir.file("Addrbook.cpe"));
                       return dir.file("Addrbook.cpe");
                   },
                   FileError::IsSpecialFile},
        TargetCase{"folder",
                   [](const TempDir& dir) {
                       fs::create_directories(dir.file("Addrbook.cpe"));
                       return dir.file("Addrbook.cpe");
                   },
                   FileError::IsFolder}));

class LongName : public ::testing::TestWithParam<std::string> {};

// The temporary's name is longer than the target's; it must still fit the 255-byte limit.
TEST_P(LongName, StillSaves)
{
    for (const Saver saver : {Saver::Written, Saver::Downloaded}) {
        TempDir dir;
        const std::string path = dir.write(GetParam(), OldBytes);
        EXPECT_EQ(save(saver, path, NewBytes), FileError::None);
        EXPECT_EQ(readFileBytes(path), NewBytes);
        EXPECT_EQ(folderEntries(dir.path()), std::set<std::string>{GetParam()});
    }
}

std::string repeated(const std::string& piece, std::size_t times)
{
    std::string text;
    for (std::size_t i = 0; i < times; ++i)
        text += piece;
    return text;
}

INSTANTIATE_TEST_SUITE_P(Names, LongName,
                         ::testing::Values(repeated("a", 251) + ".cpe",
                                           repeated("\xC3\xA9", 125) + ".cpe"));

TEST(WriteFileAtomically, ReplacedFileKeepsItsOwnerAndGroup)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "only root may give a file to another user";
    for (const Saver saver : {Saver::Written, Saver::Downloaded}) {
        TempDir dir;
        const std::string path = dir.write("Addrbook.cpe", OldBytes);
        ASSERT_EQ(::chown(path.c_str(), OrdinaryUserId, OrdinaryUserId), 0);
        fs::permissions(path, fs::perms(0640));
        ASSERT_EQ(save(saver, path, NewBytes), FileError::None);
        struct stat info {};
        ASSERT_EQ(::stat(path.c_str(), &info), 0);
        EXPECT_EQ(info.st_uid, OrdinaryUserId);
        EXPECT_EQ(info.st_gid, OrdinaryUserId);
        EXPECT_EQ(info.st_mode & 07777, 0640u);
    }
}

struct SharedFolderLink {
    const char* behaviour;
    mode_t folderMode;
    bool folderOthers;  // the folder belongs to another user
    bool linkOthers;    // the link belongs to another user
    bool followed;
};

void PrintTo(const SharedFolderLink& c, std::ostream* os)
{
    *os << c.behaviour;
}

class SharedFolderLinks : public testing::TestWithParam<SharedFolderLink> {};

// The rule of fs.protected_symlinks, held by the savers whatever the machine's setting: in a
// sticky, world-writable folder only the saver's own links and the folder owner's are followed.
TEST_P(SharedFolderLinks, AreFollowedOnlyAsTheKernelWould)
{
    const SharedFolderLink& c = GetParam();
    if (::geteuid() != 0)
        GTEST_SKIP() << "only root may plant a link owned by another user";
    for (const Saver saver : {Saver::Written, Saver::Downloaded}) {
        TempDir dir;
        const std::string victim = dir.write("victim/passwd", OldBytes);
        const std::string shared = dir.file("shared");
        fs::create_directory(shared);
        const uid_t other = OrdinaryUserId;
        ASSERT_EQ(::chown(shared.c_str(), c.folderOthers ? other : 0, 0), 0);
        fs::permissions(shared, fs::perms(c.folderMode));
        const std::string link = shared + "/report.csv";
        fs::create_symlink(victim, link);
        ASSERT_EQ(::lchown(link.c_str(), c.linkOthers ? other : 0, 0), 0);

        const FileError error = save(saver, link, NewBytes);
        EXPECT_EQ(error, c.followed ? FileError::None : FileError::ForeignLink);
        EXPECT_EQ(readFileBytes(victim), c.followed ? NewBytes : OldBytes);
        EXPECT_TRUE(fs::is_symlink(link));
        EXPECT_EQ(folderEntries(shared), std::set<std::string>{"report.csv"})
            << "no temporary left behind";
    }
    EXPECT_EQ(fileErrorText(FileError::ForeignLink, "/tmp/r.csv").rfind("/tmp/r.csv is", 0), 0u);
}

INSTANTIATE_TEST_SUITE_P(
    , SharedFolderLinks,
    testing::Values(
        SharedFolderLink{"AnotherUsersLinkInStickyWorldWritable", 01777, false, true, false},
        SharedFolderLink{"OwnLinkInStickyWorldWritable", 01777, false, false, true},
        SharedFolderLink{"FolderOwnersLinkInStickyWorldWritable", 01777, true, true, true},
        SharedFolderLink{"AnotherUsersLinkWithoutStickyBit", 0777, false, true, true},
        SharedFolderLink{"AnotherUsersLinkInStickyGroupFolder", 01770, false, true, true}),
    [](const auto& testCase) { return std::string(testCase.param.behaviour); });

}  // namespace
