#include "gatewaylist/listfile.h"
#include "gatewaylist/upgradewindow.h"
#include "widgets/icons.h"
#include "widgets/prompts.h"
#include "widgets/services.h"
#include "base/settingsfile.h"
#include "transfer/curlftpclient.h"
#include "transfer/probe.h"

#include <QApplication>
#include <QEventLoop>
#include <QTreeWidget>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include <unistd.h>

namespace {

// A figure of /proc/self/status in kB ("VmRSS", "VmHWM"), or -1.
long statusKb(const std::string& field)
{
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind(field + ":", 0) == 0)
            return std::strtol(line.c_str() + field.size() + 1, nullptr, 10);
    }
    return -1;
}

// Shows the window and lets it paint everything, as an operator would first see it.
void settle(QWidget& window)
{
    window.show();
    for (int i = 0; i < 10; ++i)
        QApplication::processEvents();
    window.repaint();
}

// Answers every prompt at once, as an operator who only clicks OK: a batch then runs unattended.
class UnattendedPrompts final : public Prompts {
public:
    void message(QWidget*, const QString&, Icon) override {}
    bool confirm(QWidget*, const QString&, Icon) override { return false; }
    QString openFile(QWidget*, const FileDialogOptions&) override { return {}; }
    QString saveFile(QWidget*, const FileDialogOptions&) override { return {}; }
    QString folder(QWidget*, const QString&) override { return {}; }
};

// Upgrade list of book over the gateways of listPath, jobs at once, in the real window; prints
// the peak resident memory and how many rows were uploaded.
int runBatch(const std::string& listPath, const std::string& book, const std::string& jobs)
{
    char folder[] = "/tmp/orbiphon-memory-XXXXXX";
    if (!::mkdtemp(folder)) {
        std::perror("mkdtemp");
        return 1;
    }
    const std::string iniPath = std::string(folder) + "/Orbiphon.ini";
    std::ofstream(iniPath) << "[Batch]\nJobs=" << jobs << "\n";
    UnattendedPrompts prompts;
    IcmpProber prober;
    CurlFtpClientFactory ftp;
    SettingsFile settings;
    settings.setPath(iniPath);
    Services services{prompts, prober, ftp, settings, QString()};
    std::size_t uploaded = 0;
    std::size_t rows = 0;
    {
        UpgradeOptions options;
        options.sourcePath = book;
        options.listPath = listPath;
        UpgradeWindow window(services, options);
        settle(window);
        // The batch runs on a thread of its own; the window says when it has ended.
        QEventLoop ended;
        QObject::connect(&window, &UpgradeWindow::batchEnded, &ended, &QEventLoop::quit);
        window.upgradeList();
        if (window.batchRunning())
            ended.exec();
        rows = window.list().size();
        for (std::size_t row = 0; row < rows; ++row)
            uploaded += window.list().status(row) == RowStatus::Uploaded ? 1 : 0;
    }
    std::remove(iniPath.c_str());
    ::rmdir(folder);
    std::printf("rows uploaded:                     %zu of %zu\n", uploaded, rows);
    std::printf("peak resident (VmHWM):             %ld kB\n", statusKb("VmHWM"));
    return uploaded == rows ? 0 : 1;
}

} // namespace

// "batch LIST BOOK JOBS": an unattended Upgrade list, for its peak memory. Otherwise: opens the
// real Upgrade window on a list of MaxGateways rows (or of the count given as the argument) and
// prints what the process holds before and after: the growth is what the window
// and its list cost.
int main(int argc, char** argv)
{
    if (argc == 5 && std::string(argv[1]) == "batch") {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        QApplication app(argc, argv);
        if (!initialiseCurl())
            return 1;
        const int status = runBatch(argv[2], argv[3], argv[4]);
        releaseCurl();
        return status;
    }
    const std::size_t count = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : MaxGateways;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QApplication::setWindowIcon(applicationIcon());

    char folder[] = "/tmp/orbiphon-memory-XXXXXX";
    if (!::mkdtemp(folder)) {
        std::perror("mkdtemp");
        return 1;
    }
    const std::string listPath = std::string(folder) + "/gateways.obl";
    std::vector<GatewayRecord> records;
    for (std::size_t row = 0; row < count; ++row) {
        records.push_back({"10." + std::to_string(row / 250) + "." + std::to_string(row % 250)
                               + ".1",
                           "operator" + std::to_string(row), "password-" + std::to_string(row)});
    }
    if (saveGatewayList(listPath, records) != FileError::None) {
        std::fprintf(stderr, "memory: cannot write %s\n", listPath.c_str());
        return 1;
    }

    QtPrompts prompts;
    IcmpProber prober;
    CurlFtpClientFactory ftp;
    SettingsFile settings;
    Services services{prompts, prober, ftp, settings, QString()};

    const long before = statusKb("VmRSS");
    long after = 0;
    long peakOpen = 0;
    int rows = 0;
    {
        UpgradeOptions options;
        options.sourcePath = "/nonexistent/Addrbook.cpe";
        options.listPath = listPath;
        UpgradeWindow window(services, options);
        settle(window);
        after = statusKb("VmRSS");
        peakOpen = statusKb("VmHWM");
        rows = window.findChild<QTreeWidget*>(QStringLiteral("gatewayList"))->topLevelItemCount();
    }
    // The kernel folds the resident count into the high-water mark lazily: take the larger.
    const long peak = std::max({statusKb("VmHWM"), peakOpen, after});
    std::remove(listPath.c_str());
    ::rmdir(folder);

    std::printf("rows shown:                        %d\n", rows);
    std::printf("resident before the window:        %ld kB\n", before);
    std::printf("resident with the window and list: %ld kB\n", after);
    std::printf("growth for window and list:        %ld kB\n", after - before);
    std::printf("peak resident (VmHWM):             %ld kB\n", peak);
    return rows == static_cast<int>(count) ? 0 : 1;
}
