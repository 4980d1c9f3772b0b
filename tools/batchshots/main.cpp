#include "gatewaylist/upgradewindow.h"
#include "widgets/icons.h"
#include "widgets/progresswindow.h"
#include "widgets/prompts.h"
#include "widgets/services.h"
#include "base/settingsfile.h"
#include "transfer/curlftpclient.h"
#include "transfer/probe.h"

#include <QApplication>
#include <QDir>
#include <QHeaderView>
#include <QTimer>
#include <QTreeView>

#include <iostream>

namespace {

// Answers every prompt at once, as an operator pressing OK would.
class AnsweringPrompts final : public Prompts {
public:
    void message(QWidget*, const QString& text, Icon) override
    {
        std::cerr << "batchshots: message: " << text.toStdString() << "\n";
    }
    bool confirm(QWidget*, const QString&, Icon) override { return true; }
    QString openFile(QWidget*, const FileDialogOptions&) override { return {}; }
    QString saveFile(QWidget*, const FileDialogOptions&) override { return {}; }
    QString folder(QWidget*, const QString&) override { return {}; }
};

// A batch runs on by itself; the pictures wait for its end.
void waitForBatch(const UpgradeWindow& window)
{
    while (window.batchRunning())
        QApplication::processEvents(QEventLoop::AllEvents, 20);
}

bool save(QWidget* widget, const QString& path)
{
    const bool saved = widget->grab().save(path);
    std::cerr << "batchshots: " << (saved ? "" : "could not write ") << path.toStdString()
              << "\n";
    return saved;
}

} // namespace

// The Upgrade window maximised after Check connections over a fleet, sorted by status.
int shootFleet(const QStringList& args)
{
    AnsweringPrompts prompts;
    IcmpProber prober;
    CurlFtpClientFactory ftp;
    SettingsFile settings;
    settings.setPath(args[3].toStdString());
    Services services{prompts, prober, ftp, settings, QString()};
    UpgradeOptions options{UpgradeMode::AddressBookUpgrade, std::string(), false,
                           args[2].toStdString()};
    UpgradeWindow window(services, options);
    window.setWindowState(Qt::WindowMaximized);
    window.show();
    window.checkConnections();
    waitForBatch(window);
    auto* list = window.findChild<QTreeView*>(QStringLiteral("gatewayList"));
    emit list->header()->sectionClicked(UpgradeWindow::StatusColumn);
    list->scrollToTop();
    QApplication::processEvents();
    return save(&window, QDir(args[4]).filePath(QStringLiteral("upgrade-window-fleet.png"))) ? 0
                                                                                               : 1;
}

// orbiphon-batchshots LIST.obl BOOK.cpe FIRMWARE_FOLDER ORBIPHON_INI OUTPUT_DIR
// orbiphon-batchshots fleet LIST.obl ORBIPHON_INI OUTPUT_DIR
int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setWindowIcon(applicationIcon());
    const QStringList args = QApplication::arguments();
    if (args.size() == 5 && args[1] == QLatin1String("fleet")) {
        const int status = shootFleet(args);
        return status;
    }
    if (args.size() != 6 || !initialiseCurl()) {
        std::cerr << "usage: orbiphon-batchshots LIST.obl BOOK.cpe FIRMWARE_FOLDER ORBIPHON_INI "
                     "OUTPUT_DIR\n"
                     "       orbiphon-batchshots fleet LIST.obl ORBIPHON_INI OUTPUT_DIR\n";
        return 2;
    }
    const QDir out(args[5]);

    AnsweringPrompts prompts;
    IcmpProber prober;
    CurlFtpClientFactory ftp;
    SettingsFile settings;
    settings.setPath(args[4].toStdString());
    Services services{prompts, prober, ftp, settings, QString()};

    bool ok = true;
    {
        UpgradeOptions options{UpgradeMode::AddressBookUpgrade, args[2].toStdString(), false,
                               args[1].toStdString()};
        UpgradeWindow window(services, options);
        window.show();
        window.upgradeList();
        waitForBatch(window);
        ok = save(&window, out.filePath(QStringLiteral("upgrade-window.png"))) && ok;
    }
    {
        UpgradeOptions options{UpgradeMode::FirmwareUpgrade, args[3].toStdString(), true,
                               args[1].toStdString()};
        UpgradeWindow window(services, options);
        window.show();
        ProgressWindow* progress = window.progressWindow();
        // The batch keeps the thread busy; the progress window lets timers run at each refresh,
        // so the picture is taken while a file of the second gateway goes up.
        bool taken = false;
        QTimer watch;
        QObject::connect(&watch, &QTimer::timeout, [&] {
            if (!taken && progress->isVisible() && progress->line2().endsWith(".3") &&
                progress->line1().startsWith(QStringLiteral("FTP : /RFA/I"))) {
                taken = save(progress, out.filePath(QStringLiteral("progress-window.png")));
            }
        });
        watch.start(0);
        window.upgradeList();
        waitForBatch(window);
        ok = taken && ok;
    }
    releaseCurl();
    return ok ? 0 : 1;
}
