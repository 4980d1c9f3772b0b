#include "transfer/transfersafety.h"

#include "base/settingsfile.h"
#include "support/fakeftp.h"
#include "support/ftpserverfixture.h"
#include "support/recordingprogress.h"
#include "support/tempdir.h"
#include "transfer/addressbooktransfer.h"
#include "transfer/curlftpclient.h"
#include "transfer/firmwareupload.h"
#include "transfer/outcome.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <set>

namespace {

// Every byte value and line ends, so a copy made in text mode or cut at a zero byte shows.
std::string bookBytes(int seed)
{
    std::string bytes(13768, '\0');
    for (std::size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<char>((i * 13 + static_cast<std::size_t>(seed)) % 256);
    return bytes + "\r\n";
}

bool contains(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

struct Gateway {
    explicit Gateway(FtpServerOptions options = {})
        : server(std::move(options)), context{prober, ftp, progress, server.port()}
    {
    }

    TransferResult uploadBook(const std::string& book, const TransferSafety& safety,
                              std::string& notes, GatewayOutcome* outcome = nullptr)
    {
        return uploadAddressBook(context, book, server.address(), "ftp", "secret", safety,
                                 &notes, outcome);
    }

    FtpServerFixture server;
    FakeProber prober;
    CurlFtpClientFactory ftp{shortFtpTimeouts()};
    RecordingProgress progress;
    TransferContext context;
};

std::size_t stores(const FtpServerFixture& server)
{
    const std::vector<std::string> verbs = server.verbs();
    return static_cast<std::size_t>(std::count(verbs.begin(), verbs.end(), "STOR"));
}

// --- back-up ------------------------------------------------------------------------------

TEST(Backup, KeepsEveryGatewaysPreviousBookByteForByte)
{
    TempDir local;
    const std::string folder = local.path() + "/backups";
    local.write("backups/keep", "");
    const std::string book = local.write("new.cpe", bookBytes(99));
    Gateway first, second;
    first.server.writeDeviceFile("/RFA/Addrbook.cpe", bookBytes(1));
    second.server.writeDeviceFile("/RFA/Addrbook.cpe", bookBytes(2));

    std::string notes;
    for (Gateway* gateway : {&first, &second, &first}) {
        EXPECT_EQ(gateway->uploadBook(book, {folder, false}, notes), TransferResult::Done);
        EXPECT_EQ(gateway->server.readDeviceFile("/RFA/Addrbook.cpe"), bookBytes(99));
    }
    // The second run on the first gateway keeps the first copy: three copies, none overwritten.
    std::multiset<std::string> copies;
    for (const std::string& name : folderEntries(folder)) {
        if (name == "keep")
            continue;
        EXPECT_EQ(name.rfind(first.server.address() + "-", 0), 0u) << name;
        copies.insert(readFileBytes(folder + "/" + name));
    }
    EXPECT_EQ(copies, (std::multiset<std::string>{bookBytes(1), bookBytes(2), bookBytes(99)}));
    EXPECT_TRUE(contains(notes, "backed up to " + folder + "/")) << notes;
}

// A name planted where the back-up will go (a link to any file, guessed from the stamp) is
// neither followed nor replaced: the back-up takes the next free name.
TEST(Backup, TakesTheNextFreeNameAndNeverWritesThroughAPlantedOne)
{
    TempDir local;
    const std::string victim = local.write("victim", "the operator's file");
    const std::string folder = local.path() + "/backups";
    local.write("backups/keep", "");
    const std::time_t when = 1'800'000'000;
    FileError error = FileError::Generic;
    const std::string first = createBackupFile(folder, "10.0.0.7", when, error);
    ASSERT_EQ(error, FileError::None);
    std::filesystem::remove(first);
    std::filesystem::create_symlink(victim, first);
    const std::string second = first.substr(0, first.size() - 4) + "-2.cpe";
    local.write("backups/" + std::filesystem::path(second).filename().string(), "earlier copy");

    const std::string taken = createBackupFile(folder, "10.0.0.7", when, error);
    EXPECT_EQ(error, FileError::None);
    EXPECT_EQ(taken, first.substr(0, first.size() - 4) + "-3.cpe");
    EXPECT_EQ(readFileBytes(victim), "the operator's file");
    EXPECT_EQ(readFileBytes(second), "earlier copy");

    // A back-up folder that is another user's link in a sticky, world-writable folder.
    if (::geteuid() != 0)
        return;
    const std::string shared = local.path() + "/shared";
    std::filesystem::create_directory(shared);
    std::filesystem::permissions(shared, std::filesystem::perms(01777));
    std::filesystem::create_symlink(folder, shared + "/backups");
    ASSERT_EQ(::lchown((shared + "/backups").c_str(), 65534, 65534), 0);
    EXPECT_EQ(createBackupFile(shared + "/backups", "10.0.0.7", when, error), "");
    EXPECT_EQ(error, FileError::ForeignLink);
}

struct BackupCase {
    const char* name;
    bool bookOnGateway;
    bool folderExists;
    FtpServerOptions server;
    TransferResult expected;
    const char* note;
};

void PrintTo(const BackupCase& c, std::ostream* out)
{
    *out << c.name;
}

class Backups : public testing::TestWithParam<BackupCase> {};

// A back-up that can't be made stops the upload before anything is stored; a gateway without a
// book goes on, saying so.
TEST_P(Backups, DecideWhetherTheBookGoesUp)
{
    const BackupCase& c = GetParam();
    TempDir local;
    const std::string folder = local.path() + (c.folderExists ? "" : "/not-there");
    const std::string book = local.write("new.cpe", bookBytes(7));
    Gateway gateway(c.server);
    // Large enough for the server to drop the connection part-way through it.
    const std::string oldBook = c.server.dropRetrieveAfter
                                    ? std::string(200'000, 'x') + bookBytes(3)
                                    : bookBytes(3);
    if (c.bookOnGateway)
        gateway.server.writeDeviceFile("/RFA/Addrbook.cpe", oldBook);
    else
        gateway.server.makeDeviceDirectory("/RFA");

    std::string notes;
    EXPECT_EQ(gateway.uploadBook(book, {folder, false}, notes), c.expected);
    EXPECT_TRUE(contains(notes, c.note)) << notes;
    const bool uploaded = c.expected == TransferResult::Done;
    EXPECT_EQ(stores(gateway.server), uploaded ? 1u : 0u);
    if (c.bookOnGateway && !uploaded) {
        EXPECT_TRUE(gateway.server.readDeviceFile("/RFA/Addrbook.cpe") == oldBook);
    }
    if (c.folderExists) {
        EXPECT_EQ(folderEntries(folder).size(), c.bookOnGateway && uploaded ? 2u : 1u)
            << "only the new book and a whole copy, never a partial one";
    }
}

INSTANTIATE_TEST_SUITE_P(
    , Backups,
    testing::Values(
        BackupCase{"NoBookOnTheGateway", false, true, {}, TransferResult::Done,
                   "no /RFA/Addrbook.cpe on the gateway"},
        BackupCase{"FolderMissing", true, false, {}, TransferResult::Failed,
                   "nothing was uploaded"},
        BackupCase{"FetchCutOff", true, true, [] {
                       FtpServerOptions o;
                       o.dropRetrieveAfter = 64 * 1024;
                       return o;
                   }(),
                   TransferResult::Failed, "could not be fetched"},
        BackupCase{"FetchAnnouncedLonger", true, true, [] {
                       FtpServerOptions o;
                       o.announceSizeDelta = 10;
                       return o;
                   }(),
                   TransferResult::Failed, "could not be fetched"},
        BackupCase{"ListedByItsPath", true, true, [] {
                       FtpServerOptions o;
                       o.nameList = "paths";
                       return o;
                   }(),
                   TransferResult::Done, "backed up to"},
        BackupCase{"ListingEmpty", true, true, [] {
                       FtpServerOptions o;
                       o.nameList = "none";
                       return o;
                   }(),
                   TransferResult::Done, "backed up to"},
        BackupCase{"HalfSentWith226AndNoSize", true, true, [] {
                       FtpServerOptions o;
                       o.cutRetrieveAfter = 6885;
                       o.noSize = true;
                       return o;
                   }(),
                   TransferResult::Failed, "the copy holds 6885 bytes"}),
    [](const auto& tested) { return std::string(tested.param.name); });

// --- verify -------------------------------------------------------------------------------

struct VerifyCase {
    const char* name;
    bool firmware;
    bool truncate;
    bool noSize;
    TransferResult expected;
    const char* note;  // "" for none
};

void PrintTo(const VerifyCase& c, std::ostream* out)
{
    *out << c.name;
}

class Verify : public testing::TestWithParam<VerifyCase> {};

TEST_P(Verify, ComparesTheStoredSizeWithTheLocalFile)
{
    const VerifyCase& c = GetParam();
    FtpServerOptions options;
    if (c.truncate)
        options.truncateStoredBy = 5;
    options.noSize = c.noSize;
    Gateway gateway(options);
    gateway.server.makeDeviceDirectory("/RFA/DOC");
    TempDir local;
    std::string notes;
    GatewayOutcome outcome;
    TransferResult result;
    if (c.firmware) {
        SettingsFile settings;
        settings.setPath(local.write("Orbiphon.ini", "[PutList]\nExt1=BIN\nExt2=PDF\n"));
        local.write("fw/SETUP.BIN", bookBytes(4));
        local.write("fw/DOC/A.PDF", bookBytes(5));
        result = uploadFirmware(gateway.context, settings, local.file("fw"), false,
                                gateway.server.address(), "ftp", "secret", {{}, true}, &notes,
                                &outcome);
        EXPECT_EQ(stores(gateway.server), 2u) << "a short file fails itself, not the rest";
    } else {
        result = gateway.uploadBook(local.write("b.cpe", bookBytes(6)), {{}, true}, notes,
                                    &outcome);
    }
    EXPECT_EQ(result, c.expected);
    if (*c.note == '\0') {
        EXPECT_EQ(notes, "");
        EXPECT_TRUE(outcome.notes.empty());
    } else {
        EXPECT_TRUE(contains(notes, c.note)) << notes;
        // The notes are part of the gateway's outcome, so every report carries them.
        EXPECT_TRUE(std::any_of(outcome.notes.begin(), outcome.notes.end(),
                                [&](const std::string& note) { return contains(note, c.note); }))
            << notes;
    }
}

INSTANTIATE_TEST_SUITE_P(
    , Verify,
    testing::Values(
        VerifyCase{"WholeBook", false, false, false, TransferResult::Done, ""},
        VerifyCase{"TruncatedBook", false, true, false, TransferResult::Failed,
                   "/RFA/Addrbook.cpe: the gateway holds 13765 bytes, 13770 were sent"},
        VerifyCase{"BookOnServerWithoutSize", false, false, true, TransferResult::Done,
                   "not verified: /RFA/Addrbook.cpe"},
        VerifyCase{"WholeFirmware", true, false, false, TransferResult::Done, ""},
        VerifyCase{"TruncatedFirmware", true, true, false, TransferResult::Failed,
                   "/RFA/DOC/A.PDF: the gateway holds 13765 bytes"},
        VerifyCase{"FirmwareOnServerWithoutSize", true, false, true, TransferResult::Done,
                   "not verified: /RFA/SETUP.BIN"}),
    [](const auto& tested) { return std::string(tested.param.name); });

TEST(VerifyOff, AsksNoSizeAndTakesAShortFileAsSent)
{
    FtpServerOptions options;
    options.truncateStoredBy = 5;
    Gateway gateway(options);
    gateway.server.makeDeviceDirectory("/RFA");
    TempDir local;
    std::string notes;
    EXPECT_EQ(gateway.uploadBook(local.write("b.cpe", bookBytes(6)), {}, notes),
              TransferResult::Done);
    const std::vector<std::string> verbs = gateway.server.verbs();
    EXPECT_EQ(std::count(verbs.begin(), verbs.end(), "SIZE"), 0);
    EXPECT_EQ(notes, "");
}

}  // namespace
