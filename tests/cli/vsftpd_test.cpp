#include "cli/runtool.h"
#include "gatewaylist/listfile.h"
#include "support/programrun.h"
#include "support/tempdir.h"
#include "support/vsftpdfixture.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

namespace {

namespace fs = std::filesystem;

bool contains(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

// The device commands, one after the other, against vsftpd: a server that keeps the case of
// names, where "/RFA/IMAGES/" is not "/RFA/Images/".
TEST(Vsftpd, DeviceCommandsBehaveOnAServerThatKeepsCase)
{
    VsftpdFixture server;
    ORBIPHON_REQUIRE_VSFTPD(server);
    TempDir dir;
    // orbiphon-cli reads the Orbiphon.ini beside it.
    fs::copy_file(ORBIPHON_CLI, dir.file("orbiphon-cli"));
    fs::permissions(dir.file("orbiphon-cli"), fs::perms::owner_all);
    dir.write("Orbiphon.ini", "[RemoveFromRFA]\nExt1=BIN\n[RemoveFromDoc]\nExt1=PDF\n"
                              "[RemoveFromImages]\nExt1=BMP\n"
                              "[PutList]\nExt1=BIN\nExt2=PDF\nExt3=BMP\n");
    server.writeDeviceFile("/RFA/Images/A.BMP", "old image");
    server.writeDeviceFile("/RFA/Doc/OLD.PDF", "old manual");
    const std::string firmware = dir.file("firmware");
    dir.write("firmware/IMAGES/LOGO.BMP", "BM logo");
    dir.write("firmware/DOC/MAN.PDF", "%PDF manual");
    const std::string book = dir.write("book.cpe", bookBytes('a'));
    const std::string nextBook = dir.write("next.cpe", bookBytes('b'));
    fs::create_directory(dir.file("backups"));
    const std::string& address = VsftpdFixture::Address;
    const std::string& user = VsftpdFixture::UserId;
    const std::string& password = VsftpdFixture::Password;
    const std::string list = dir.file("gateways.obl");
    ASSERT_EQ(saveGatewayList(list, {{address, user, password}, {address, user, password}}),
              FileError::None);
    const auto device = [&](const std::string& path) {
        return readFileBytes(server.devicePath(path));
    };

    struct Step {
        const char* name;
        std::vector<std::string> args;
        std::function<void(const ProgramRun&)> check;
    };
    const std::vector<Step> steps{
        {"probe", {"probe", address},
         [&](const ProgramRun& run) { EXPECT_EQ(run.out, address + " present\n"); }},
        {"book upload, verified", {"upload-book", book, address, user, password, "--verify"},
         [&](const ProgramRun&) { EXPECT_EQ(device("/RFA/Addrbook.cpe"), bookBytes('a')); }},
        {"download", {"download", address, user, password, dir.file("fetched.cpe")},
         [&](const ProgramRun&) { EXPECT_EQ(readFileBytes(dir.file("fetched.cpe")), bookBytes('a')); }},
        {"book upload with back-up",
         {"upload-book", nextBook, address, user, password, "--backup", dir.file("backups")},
         [&](const ProgramRun&) {
             EXPECT_EQ(device("/RFA/Addrbook.cpe"), bookBytes('b'));
             ASSERT_EQ(folderEntries(dir.file("backups")).size(), 1u);
             EXPECT_EQ(readFileBytes(dir.file("backups/")
                                     + *folderEntries(dir.file("backups")).begin()),
                       bookBytes('a'));
         }},
        {"dry run plans the folders the device has",
         {"upload-firmware", firmware, address, user, password, "--full", "--dry-run"},
         [&](const ProgramRun& run) {
             EXPECT_TRUE(contains(run.out, "  delete /RFA/Images/A.BMP\n")) << run.out;
             EXPECT_TRUE(contains(run.out, "  put IMAGES/LOGO.BMP -> /RFA/Images/LOGO.BMP\n"))
                 << run.out;
             EXPECT_TRUE(contains(run.out, "  note /RFA/IMAGES/ can't be entered: its files go "
                                           "to /RFA/Images/\n"));
             EXPECT_TRUE(server.deviceFileExists("/RFA/Images/A.BMP"));
         }},
        {"full firmware upgrade replaces the images it deletes",
         {"upload-firmware", firmware, address, user, password, "--full"},
         [&](const ProgramRun& run) {
             EXPECT_EQ(device("/RFA/Images/LOGO.BMP"), "BM logo");
             EXPECT_EQ(device("/RFA/Doc/MAN.PDF"), "%PDF manual");
             EXPECT_FALSE(server.deviceFileExists("/RFA/Images/A.BMP"));
             EXPECT_FALSE(server.deviceFileExists("/RFA/Doc/OLD.PDF"));
             EXPECT_TRUE(contains(run.err, "/RFA/IMAGES/ can't be entered: its files go to "
                                           "/RFA/Images/\n"))
                 << run.err;
         }},
        {"two-job upgrade", {"upgrade", list, "--book", book, "--jobs", "2"},
         [&](const ProgramRun& run) {
             for (const char* row : {"\n1 ", "\n2 "})
                 EXPECT_TRUE(contains("\n" + run.out, row + address + " Uploaded\n")) << run.out;
             EXPECT_EQ(device("/RFA/Addrbook.cpe"), bookBytes('a'));
         }},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.name);
        const ProgramRun run = runProgram(dir.file("orbiphon-cli"), step.args,
                                          processEnvironment());
        EXPECT_EQ(run.status, 0) << run.err;
        step.check(run);
    }
}

}  // namespace
