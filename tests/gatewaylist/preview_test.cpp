#include "gatewaylist/batch.h"

#include "base/progresssink.h"
#include "base/settingsfile.h"
#include "gatewaylist/listfile.h"
#include "support/ftpserverfixture.h"
#include "support/quietview.h"
#include "support/recordingprogress.h"
#include "support/simulatorfixture.h"
#include "support/tempdir.h"
#include "transfer/curlftpclient.h"
#include "transfer/probe.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <mutex>
#include <set>

namespace {

namespace fs = std::filesystem;
using Steps = std::map<std::string, std::set<std::string>>;  // address to "delete /RFA/X.BIN"

// The real client, with every delete and put that succeeded written down per gateway.
class RecordingFtp final : public FtpClientFactory {
public:
    explicit RecordingFtp(FtpClientFactory& real) : m_real(real) {}

    std::unique_ptr<FtpClient> open(const std::string& agent) override
    {
        return std::make_unique<Client>(*this, m_real.open(agent));
    }

    Steps steps() const
    {
        const std::lock_guard lock(m_mutex);
        return m_steps;
    }

private:
    void note(const std::string& address, const std::string& step)
    {
        const std::lock_guard lock(m_mutex);
        m_steps[address].insert(step);
    }

    class Connection final : public FtpConnection {
    public:
        Connection(RecordingFtp& owner, std::string address, std::unique_ptr<FtpConnection> real)
            : m_owner(owner), m_address(std::move(address)), m_real(std::move(real))
        {
        }
        bool changeDirectory(const std::string& directory) override
        {
            const bool done = m_real->changeDirectory(directory);
            if (done)
                m_directory = directory;
            return done;
        }
        bool putFile(const std::string& localPath, const std::string& name) override
        {
            const bool done = m_real->putFile(localPath, name);
            if (done)
                m_owner.note(m_address, "put " + m_directory + name);
            return done;
        }
        bool getFile(const std::string& name, const std::string& localPath) override
        {
            return m_real->getFile(name, localPath);
        }
        bool deleteFile(const std::string& name) override
        {
            const bool done = m_real->deleteFile(name);
            if (done)
                m_owner.note(m_address, "delete " + m_directory + name);
            return done;
        }
        std::optional<std::vector<std::string>> listDirectory() override
        {
            return m_real->listDirectory();
        }
        bool lost() const override { return m_real->lost(); }

    private:
        RecordingFtp& m_owner;
        std::string m_address;
        std::unique_ptr<FtpConnection> m_real;
        std::string m_directory;
    };

    class Client final : public FtpClient {
    public:
        Client(RecordingFtp& owner, std::unique_ptr<FtpClient> real)
            : m_owner(owner), m_real(std::move(real))
        {
        }
        std::unique_ptr<FtpConnection> connect(const FtpLogin& login) override
        {
            std::unique_ptr<FtpConnection> real = m_real ? m_real->connect(login) : nullptr;
            if (!real)
                return nullptr;
            return std::make_unique<Connection>(m_owner, login.address, std::move(real));
        }
        std::string lastReply() const override { return m_real ? m_real->lastReply() : ""; }

    private:
        RecordingFtp& m_owner;
        std::unique_ptr<FtpClient> m_real;
    };

    FtpClientFactory& m_real;
    mutable std::mutex m_mutex;
    Steps m_steps;
};

// Every file below folder with its bytes.
std::map<std::string, std::string> treeOf(const std::string& folder)
{
    std::map<std::string, std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        if (entry.is_regular_file())
            files[entry.path().string()] = readFileBytes(entry.path().string());
        else
            files[entry.path().string() + "/"] = "";
    }
    return files;
}

// Several gateways are probed at once, so the probe keeps no log.
class AlwaysPresent final : public Prober {
public:
    ProbeResult probe(const std::string&, int) override { return ProbeResult::Answered; }
};

// A dry run over several gateways at once changes nothing on any of them, and the real run that
// follows deletes and uploads exactly what it said, file for file.
TEST(FirmwarePreview, ChangesNothingAndMatchesTheRealRun)
{
    SimulatorOptions options;
    options.gateways = 3;
    options.samples = true;
    options.lackFolder = {{2, "Images"}};
    options.refuseLogin = {3};
    SimulatorFixture simulator(options);
    ORBIPHON_REQUIRE_SIMULATOR(simulator);
    writeFileBytes(simulator.samplesFolder() + "/firmware/DOC/README.MD", "not listed\n");
    writeFileBytes(simulator.rfaFolder(1) + "/Doc/NOTES.DAT", "old notes\n");

    TempDir dir;
    SettingsFile settings;
    settings.setPath(dir.write("Orbiphon.ini", SimulatorFixture::FirmwareIni));
    GatewayList list;
    ASSERT_EQ(loadGatewayList(simulator.listPath(), list).error, FileError::None);
    UpgradeOptions upgrade{UpgradeMode::FirmwareUpgrade, simulator.samplesFolder() + "/firmware",
                           true, {}};
    AlwaysPresent prober;
    CurlFtpClientFactory curl{shortFtpTimeouts()};
    RecordingFtp ftp(curl);
    RecordingProgress progress;
    TransferContext context{prober, ftp, progress, FtpPort};
    const BatchControl control{3, nullptr, nullptr};

    const auto trees = [&] {
        std::map<std::string, std::string> all;
        for (int gateway = 1; gateway <= 3; ++gateway)
            all.merge(treeOf(simulator.rfaFolder(gateway)));
        return all;
    };
    const auto before = trees();
    const std::vector<RowPlan> plans =
        planRows(list, {0, 1, 2}, context, settings, upgrade, control, &progress);
    EXPECT_EQ(trees(), before);
    EXPECT_TRUE(ftp.steps().empty());
    EXPECT_EQ(progress.bar(ProgressBar::Lower).position(), 3) << "one step per gateway read";

    ASSERT_EQ(plans.size(), 3u);
    Steps planned;
    for (const RowPlan& row : plans) {
        if (row.row == 2) {
            // In the real run's words.
            EXPECT_EQ(firmwarePlanStatus(row.plan), "Failed");
            EXPECT_EQ(row.plan.reason.rfind("cannot log in: 530 ", 0), 0u) << row.plan.reason;
            continue;
        }
        ASSERT_EQ(row.plan.result, TransferResult::Done) << row.plan.reason;
        std::set<std::string>& steps = planned[row.gateway.ipText];
        for (const FirmwarePlan::Cleaning& cleaning : row.plan.cleaning) {
            for (const std::string& name : cleaning.deletions)
                steps.insert("delete " + cleaning.deviceDirectory + name);
        }
        std::map<std::string, FirmwarePlan::Action> actions;
        for (const FirmwarePlan::File& file : row.plan.files) {
            actions[file.relativePath] = file.action;
            if (file.action == FirmwarePlan::Action::Put)
                steps.insert("put " + file.deviceDirectory + file.name);
        }
        EXPECT_EQ(actions["NVRAM.TXT"], FirmwarePlan::Action::Protected);
        EXPECT_EQ(actions["USER/USER.CFG"], FirmwarePlan::Action::NotListed);
        EXPECT_EQ(actions["DOC/README.MD"], FirmwarePlan::Action::NotListed);
        const bool lacksImages = row.row == 1;
        EXPECT_EQ(actions["IMAGES/LOGO.BMP"], lacksImages ? FirmwarePlan::Action::FolderMissing
                                                          : FirmwarePlan::Action::Put);
        ASSERT_EQ(row.plan.cleaning.size(), 4u);
        // Without a folder for IMAGES/ the real run would fail and leave /RFA/Images/ alone.
        EXPECT_EQ(firmwarePlanStatus(row.plan), lacksImages ? "WouldFail" : "Planned");
        EXPECT_EQ(row.plan.cleaning[2].refusal.empty(), !lacksImages);
    }
    EXPECT_TRUE(planned["127.0.0.2"].contains("delete /RFA/Doc/NOTES.DAT"));
    EXPECT_TRUE(planned["127.0.0.2"].contains("delete /RFA/SETUP.BIN"));

    TransferUploader uploader(context, settings, upgrade);
    QuietView view;
    upgradeList(list, uploader, progress, view, control);
    EXPECT_EQ(ftp.steps(), planned);
}

}  // namespace
