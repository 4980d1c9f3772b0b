#include "shell/filetyperegistration.h"

#include "resourcedata.h"
#include "support/tempdir.h"

#include <gtest/gtest.h>

#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

extern char** environ;

namespace {

namespace fs = std::filesystem;

const char* const BookMime = "application/x-cpe-addressbook";
const char* const ListMime = "application/x-cpe-orbiphonlist";

class Registration : public ::testing::Test {
protected:
    Registration()
    {
        environment.dataHome = dir.path() + "/data";
        environment.executablePath = "/opt/orbiphon/bin/Orbiphon";
        environment.applicationTitle = "Orbiphon";
        environment.notifyChanged = [this](const std::string& dataHome) {
            notified.push_back(dataHome);
        };
    }

    std::string data(const std::string& relative) const
    {
        return environment.dataHome + "/" + relative;
    }

    std::string read(const std::string& relative) const { return readFileBytes(data(relative)); }

    bool registerBoth(bool force)
    {
        const bool book = registerFileType(".cpe", "CPE.AddressBook", 1, force, environment);
        const bool list = registerFileType(".obl", "CPE.OrbiphonList", 3, force, environment);
        return book && list;
    }

    // Every file under the data folder with its bytes, to prove that nothing was written.
    std::vector<std::pair<std::string, std::string>> snapshot() const
    {
        std::vector<std::pair<std::string, std::string>> files;
        for (const auto& entry : fs::recursive_directory_iterator(environment.dataHome)) {
            if (entry.is_regular_file())
                files.emplace_back(entry.path().string(), readFileBytes(entry.path().string()));
        }
        std::sort(files.begin(), files.end());
        return files;
    }

    TempDir dir;
    FileTypeEnvironment environment;
    std::vector<std::string> notified;
};

TEST_F(Registration, FirstStartWritesBothTypesAndNotifiesOncePerType)
{
    EXPECT_TRUE(registerBoth(true));
    EXPECT_EQ(notified, (std::vector<std::string>{environment.dataHome, environment.dataHome}));

    const std::string package = read("mime/packages/Orbiphon.xml");
    EXPECT_NE(package.find("<mime-type type=\"application/x-cpe-addressbook\">"),
              std::string::npos);
    EXPECT_NE(package.find("<mime-type type=\"application/x-cpe-orbiphonlist\">"),
              std::string::npos);
    EXPECT_NE(package.find("<glob pattern=\"*.cpe\"/>"), std::string::npos);
    EXPECT_NE(package.find("<glob pattern=\"*.obl\"/>"), std::string::npos);
    EXPECT_NE(package.find("CPE.AddressBook"), std::string::npos);
    EXPECT_NE(package.find("CPE.OrbiphonList"), std::string::npos);

    const std::string entry = read("applications/Orbiphon.desktop");
    EXPECT_NE(entry.find("\nExec=/opt/orbiphon/bin/Orbiphon %f\n"), std::string::npos) << entry;
    EXPECT_NE(entry.find(std::string("\nMimeType=") + BookMime + ";" + ListMime + ";\n"),
              std::string::npos)
        << entry;
    EXPECT_EQ(entry.rfind("[Desktop Entry]\n", 0), 0u);

    const std::string defaults = read("applications/mimeapps.list");
    EXPECT_EQ(defaults, std::string("[Default Applications]\n") + BookMime +
                            "=Orbiphon.desktop;\n" + ListMime + "=Orbiphon.desktop;\n");
}

TEST_F(Registration, DocumentIconsAreTheEmbeddedImagesAtEverySize)
{
    ASSERT_TRUE(registerBoth(true));
    for (const auto& [index, name] :
         {std::pair{1, "application-x-cpe-addressbook"}, {3, "application-x-cpe-orbiphonlist"}}) {
        ASSERT_EQ(embeddedIcons(index).size(), 4u);
        for (const EmbeddedIcon& icon : embeddedIcons(index)) {
            const std::string size = std::to_string(icon.size);
            const std::string bytes =
                read("icons/hicolor/" + size + "x" + size + "/mimetypes/" + name + ".png");
            EXPECT_EQ(bytes, std::string(reinterpret_cast<const char*>(icon.data), icon.length));
            EXPECT_EQ(bytes.substr(0, 8), std::string("\x89PNG\r\n\x1a\n", 8));
        }
    }
    EXPECT_TRUE(fs::exists(data("icons/hicolor/48x48/apps/Orbiphon.png")));
    // Index 2 has no image: such a type is declared without an icon.
    EXPECT_TRUE(embeddedIcons(2).empty());
}

TEST_F(Registration, LaterStartsRewriteWithTheCurrentPathWithoutNotifying)
{
    ASSERT_TRUE(registerBoth(true));
    notified.clear();
    environment.executablePath = "/srv/moved/Orbiphon";
    fs::remove(data("icons/hicolor/16x16/mimetypes/application-x-cpe-addressbook.png"));

    EXPECT_TRUE(registerBoth(true));
    EXPECT_TRUE(notified.empty());
    EXPECT_NE(read("applications/Orbiphon.desktop").find("\nExec=/srv/moved/Orbiphon %f\n"),
              std::string::npos);
    EXPECT_TRUE(fs::exists(data("icons/hicolor/16x16/mimetypes/application-x-cpe-addressbook.png")));
    // Still one declaration per type, not one per start.
    const std::string package = read("mime/packages/Orbiphon.xml");
    EXPECT_EQ(package.find("*.cpe"), package.rfind("*.cpe"));
    EXPECT_EQ(package.find("*.obl"), package.rfind("*.obl"));
}

TEST_F(Registration, UnchangedFilesAreLeftInPlace)
{
    ASSERT_TRUE(registerBoth(true));
    // Each write replaces the file by a new one, so an unchanged inode means no write.
    auto inodes = [this] {
        std::vector<std::pair<std::string, ino_t>> found;
        for (const auto& entry : fs::recursive_directory_iterator(environment.dataHome)) {
            struct stat info {};
            if (entry.is_regular_file() && ::stat(entry.path().c_str(), &info) == 0)
                found.emplace_back(entry.path().string(), info.st_ino);
        }
        std::sort(found.begin(), found.end());
        return found;
    };
    const auto before = inodes();
    ASSERT_TRUE(registerBoth(true));
    EXPECT_EQ(inodes(), before);

    environment.executablePath = "/srv/moved/Orbiphon";
    ASSERT_TRUE(registerBoth(true));
    const auto after = inodes();
    for (std::size_t i = 0; i < after.size(); ++i) {
        const bool desktopEntry = after[i].first == data("applications/Orbiphon.desktop");
        EXPECT_EQ(after[i].second != before[i].second, desktopEntry) << after[i].first;
    }
}

TEST_F(Registration, ForceClearOnARegisteredTypeWritesNothing)
{
    ASSERT_TRUE(registerBoth(true));
    notified.clear();
    const auto before = snapshot();
    fs::remove(data("icons/hicolor/32x32/mimetypes/application-x-cpe-orbiphonlist.png"));
    const auto withoutIcon = snapshot();
    environment.executablePath = "/elsewhere/Orbiphon";

    EXPECT_FALSE(registerFileType(".cpe", "CPE.AddressBook", 1, false, environment));
    EXPECT_FALSE(registerFileType(".obl", "CPE.OrbiphonList", 3, false, environment));
    EXPECT_EQ(snapshot(), withoutIcon);
    EXPECT_NE(before, withoutIcon);
    EXPECT_TRUE(notified.empty());
}

TEST_F(Registration, ForceClearOnANewTypeRegistersIt)
{
    ASSERT_TRUE(registerFileType(".cpe", "CPE.AddressBook", 1, true, environment));
    notified.clear();
    EXPECT_TRUE(registerFileType(".obl", "CPE.OrbiphonList", 3, false, environment));
    EXPECT_EQ(notified.size(), 1u);
    EXPECT_NE(read("mime/packages/Orbiphon.xml").find("*.cpe"), std::string::npos);
}

TEST_F(Registration, OtherDefaultsInMimeappsListAreKept)
{
    fs::create_directories(data("applications"));
    const std::string original = "[Added Associations]\n"
                                 "text/plain=gedit.desktop;\n"
                                 "\n"
                                 "[Default Applications]\n"
                                 "text/html=firefox.desktop;\n"
                                 "application/x-cpe-addressbook=old-tool.desktop;\n"
                                 "\n"
                                 "[Removed Associations]\n"
                                 "image/png=gimp.desktop;\n";
    dir.write("data/applications/mimeapps.list", original);
    ::chmod(data("applications/mimeapps.list").c_str(), 0600);

    ASSERT_TRUE(registerBoth(true));
    EXPECT_EQ(read("applications/mimeapps.list"),
              "[Added Associations]\n"
              "text/plain=gedit.desktop;\n"
              "\n"
              "[Default Applications]\n"
              "text/html=firefox.desktop;\n"
              "application/x-cpe-addressbook=Orbiphon.desktop;\n"
              "application/x-cpe-orbiphonlist=Orbiphon.desktop;\n"
              "\n"
              "[Removed Associations]\n"
              "image/png=gimp.desktop;\n");
    struct stat info {};
    ASSERT_EQ(::stat(data("applications/mimeapps.list").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
}

TEST_F(Registration, WritesOnlyInsideTheDataFolder)
{
    ASSERT_TRUE(registerBoth(true));
    for (const auto& entry : fs::recursive_directory_iterator(dir.path())) {
        const std::string path = entry.path().string();
        EXPECT_EQ(path.rfind(environment.dataHome, 0), 0u) << path;
    }
}

TEST_F(Registration, NoDataFolderMeansNothingToWrite)
{
    environment.dataHome.clear();
    EXPECT_TRUE(registerFileType(".cpe", "CPE.AddressBook", 1, true, environment));
    EXPECT_FALSE(registerFileType(".cpe", "CPE.AddressBook", 1, false, environment));
    EXPECT_TRUE(notified.empty());
}

// Reads an Exec value back as a desktop launcher does: string escapes first, then the quoting
// of arguments, then %% as a literal percent.
std::vector<std::string> launcherArguments(const std::string& value)
{
    std::string unescaped;
    for (std::size_t i = 0; i < value.size(); ++i) {
        if (value[i] == '\\' && i + 1 < value.size()) {
            const char next = value[++i];
            unescaped += next == 's' ? ' ' : next == 'n' ? '\n' : next == 't' ? '\t' : next;
        } else {
            unescaped += value[i];
        }
    }
    std::vector<std::string> arguments;
    std::string current;
    bool inQuotes = false;
    bool any = false;
    for (std::size_t i = 0; i < unescaped.size(); ++i) {
        const char c = unescaped[i];
        if (c == '%' && i + 1 < unescaped.size() && unescaped[i + 1] == '%') {
            current += '%';
            ++i;
        } else if (inQuotes) {
            if (c == '\\' && i + 1 < unescaped.size()) {
                current += unescaped[++i];
            } else if (c == '"') {
                inQuotes = false;
            } else {
                current += c;
            }
        } else if (c == '"') {
            inQuotes = true;
            any = true;
        } else if (c == ' ') {
            if (any || !current.empty())
                arguments.push_back(current);
            current.clear();
            any = false;
        } else {
            current += c;
        }
    }
    if (any || !current.empty())
        arguments.push_back(current);
    return arguments;
}

struct ExecCase {
    const char* behaviour;
    const char* path;
    const char* exec;
};

class ExecLine : public ::testing::TestWithParam<ExecCase> {};

TEST_P(ExecLine, QuotesOnlyWhatTheRulesRequireAndReadsBack)
{
    const ExecCase& c = GetParam();
    EXPECT_EQ(desktopExecLine(c.path), c.exec);
    const std::vector<std::string> arguments = launcherArguments(desktopExecLine(c.path));
    ASSERT_EQ(arguments.size(), 2u);
    EXPECT_EQ(arguments[0], c.path);
    EXPECT_EQ(arguments[1], "%f");
}

INSTANTIATE_TEST_SUITE_P(
    DesktopEntryRules, ExecLine,
    ::testing::Values(
        ExecCase{"plain", "/opt/orbiphon/Orbiphon", "/opt/orbiphon/Orbiphon %f"},
        ExecCase{"spaces", "/home/op/My Tools/Orbiphon", "\"/home/op/My Tools/Orbiphon\" %f"},
        ExecCase{"percent", "/opt/100%/Orbiphon", "/opt/100%%/Orbiphon %f"},
        ExecCase{"percent and space", "/opt/50% off/Orbiphon", "\"/opt/50%% off/Orbiphon\" %f"},
        ExecCase{"dollar", "/opt/a$b/Orbiphon", "\"/opt/a\\\\$b/Orbiphon\" %f"},
        ExecCase{"apostrophe", "/opt/it's/Orbiphon", "\"/opt/it's/Orbiphon\" %f"},
        ExecCase{"double quote", "/opt/a\"b/Orbiphon", "\"/opt/a\\\\\"b/Orbiphon\" %f"},
        ExecCase{"backslash", "/opt/back\\slash/Orbiphon",
                 "\"/opt/back\\\\\\\\slash/Orbiphon\" %f"},
        ExecCase{"backtick", "/opt/a`b/Orbiphon", "\"/opt/a\\\\`b/Orbiphon\" %f"}),
    [](const ::testing::TestParamInfo<ExecCase>& param) {
        std::string name = param.param.behaviour;
        for (char& c : name) {
            if (c == ' ')
                c = '_';
        }
        return name;
    });

TEST_F(Registration, ExecLineOfAPathWithSpacesInTheDesktopEntry)
{
    environment.executablePath = dir.path() + "/My Programs/Orbiphon";
    ASSERT_TRUE(registerBoth(true));
    EXPECT_NE(read("applications/Orbiphon.desktop")
                  .find("\nExec=\"" + dir.path() + "/My Programs/Orbiphon\" %f\n"),
              std::string::npos);
}

TEST(RegistrationEnvironment, DataHomeFollowsTheBaseDirectoryRules)
{
    const char* savedXdg = std::getenv("XDG_DATA_HOME");
    const std::string restoreXdg = savedXdg ? savedXdg : "";
    const char* savedHome = std::getenv("HOME");
    const std::string restoreHome = savedHome ? savedHome : "";

    ::setenv("XDG_DATA_HOME", "/tmp/orbiphon-xdg", 1);
    EXPECT_EQ(FileTypeEnvironment::current().dataHome, "/tmp/orbiphon-xdg");
    // A relative XDG_DATA_HOME is invalid and ignored.
    ::setenv("XDG_DATA_HOME", "relative/data", 1);
    ::setenv("HOME", "/home/operator", 1);
    EXPECT_EQ(FileTypeEnvironment::current().dataHome, "/home/operator/.local/share");
    ::unsetenv("XDG_DATA_HOME");
    EXPECT_EQ(FileTypeEnvironment::current().dataHome, "/home/operator/.local/share");

    const FileTypeEnvironment current = FileTypeEnvironment::current();
    EXPECT_EQ(current.applicationTitle, "test_shell_filetyperegistration");
    EXPECT_EQ(current.executablePath.substr(current.executablePath.rfind('/') + 1),
              "test_shell_filetyperegistration");
    EXPECT_TRUE(static_cast<bool>(current.notifyChanged));

    if (savedXdg)
        ::setenv("XDG_DATA_HOME", restoreXdg.c_str(), 1);
    if (savedHome)
        ::setenv("HOME", restoreHome.c_str(), 1);
}

int run(const std::vector<std::string>& command)
{
    std::vector<char*> argv;
    for (const std::string& part : command)
        argv.push_back(const_cast<char*>(part.c_str()));
    argv.push_back(nullptr);
    pid_t child = 0;
    if (posix_spawnp(&child, argv[0], nullptr, nullptr, argv.data(), environ) != 0)
        return -1;
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool installed(const std::string& tool)
{
    return run({"sh", "-c", "command -v " + tool + " >/dev/null"}) == 0;
}

// The files must be what the desktop's own tools accept, not merely what this test expects.
TEST_F(Registration, DesktopToolsAcceptTheFiles)
{
    if (!installed("update-mime-database") || !installed("desktop-file-validate"))
        GTEST_SKIP() << "shared-mime-info or desktop-file-utils is not installed";
    FileTypeEnvironment real = FileTypeEnvironment::current();
    real.dataHome = environment.dataHome;
    real.executablePath = dir.path() + "/My Programs/Orbiphon";
    real.applicationTitle = "Orbiphon";
    ASSERT_TRUE(registerFileType(".cpe", "CPE.AddressBook", 1, true, real));
    ASSERT_TRUE(registerFileType(".obl", "CPE.OrbiphonList", 3, true, real));

    const std::string globs = read("mime/globs2");
    EXPECT_NE(globs.find(std::string(BookMime) + ":*.cpe"), std::string::npos) << globs;
    EXPECT_NE(globs.find(std::string(ListMime) + ":*.obl"), std::string::npos) << globs;
    EXPECT_EQ(run({"desktop-file-validate", data("applications/Orbiphon.desktop")}), 0);
    if (installed("update-desktop-database")) {
        EXPECT_NE(read("applications/mimeinfo.cache").find(std::string(BookMime) +
                                                           "=Orbiphon.desktop;"),
                  std::string::npos);
    }
}

}  // namespace
