#include "addressbook/addressbookwindow.h"
#include "gatewaylist/upgradewindow.h"
#include "base/filedescriptor.h"
#include "shell/aboutwindow.h"
#include "shell/filetyperegistration.h"
#include "widgets/help.h"
#include "widgets/icons.h"
#include "shell/launcherwindow.h"
#include "base/pathutils.h"
#include "widgets/prompts.h"
#include "widgets/services.h"
#include "base/settingsfile.h"
#include "base/fileerror.h"
#include "widgets/widgets.h"
#include "transfer/curlftpclient.h"
#include "transfer/downloadwindow.h"
#include "transfer/probe.h"
#include "transfer/transfersettings.h"
#include "orbiphonversion.h"

#include <QApplication>

#include <cstdio>
#include <cstring>

#include <sys/socket.h>
#include <unistd.h>

namespace {

// The least that tells whether IPv4 sockets can be used at all: the probe and the FTP
// transfers need nothing more.
bool socketsAvailable()
{
    return static_cast<bool>(FileDescriptor(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0)));
}

// "--config FILE" (or "--config=FILE") first on the command line names the settings file to use
// instead of the one beside the executable; the file operand after it keeps its meaning.
QString takeConfigPath(QStringList& arguments)
{
    const QString option = QStringLiteral("--config");
    if (!arguments.isEmpty() && arguments[0].startsWith(option + QLatin1Char('='))) {
        const QString path = arguments.takeFirst().mid(option.size() + 1);
        return path;
    }
    if (arguments.size() >= 2 && arguments[0] == option) {
        arguments.removeFirst();
        return arguments.takeFirst();
    }
    return {};
}

void registerFileTypes()
{
    registerFileType(".cpe", "CPE.AddressBook", 1, true);
    registerFileType(".obl", "CPE.OrbiphonList", 3, true);
}

}  // namespace

int main(int argc, char** argv)
{
    // Answered before the window system is touched, so that scripts and installers can ask
    // without a display. A file of that name would not be a .cpe or .obl file anyway.
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        std::printf("Orbiphon %s\n", ORBIPHON_VERSION);
        return 0;
    }
    QApplication app(argc, argv);
    QApplication::setWindowIcon(applicationIcon());
    QtPrompts prompts;

    if (!socketsAvailable() || !initialiseCurl()) {
        prompts.message(nullptr, QStringLiteral("Socket error!"), Prompts::Icon::Warning);
        return 1;
    }

    QStringList arguments = QApplication::arguments().mid(1);
    const QString configPath = takeConfigPath(arguments);
    SettingsFile settings;
    settings.setPath(configPath.isEmpty() ? settingsFilePath() : toNativePath(configPath));
    // A profile named on purpose and missing would run an upgrade with nothing listed.
    if (!configPath.isEmpty()) {
        if (const FileError error = regularFileCheck(settings.path()); error != FileError::None) {
            prompts.message(nullptr, QString::fromStdString(fileErrorText(error, settings.path())),
                            Prompts::Icon::Stop);
            return 2;
        }
    }
    IcmpProber prober;
    SettingsFtpClientFactory ftp(settings);
    Services services{prompts, prober, ftp, settings, defaultHelpFile()};
    services.showAbout = showAboutWindow;

    LauncherWindow* launcher = nullptr;
    LauncherActions actions;
    actions.openAddressBook = [&services, &launcher](const QString& bookPath) {
        // A book named on the command line opens before the launcher is shown: no owner then.
        QWidget* owner = launcher && launcher->isVisible() ? launcher : nullptr;
        AddressBookWindow window(services, bookPath, owner);
        runModal(window);
    };
    actions.openUpgrade = [&services, &launcher](const UpgradeOptions& options) {
        UpgradeWindow window(services, options, launcher);
        runModal(window);
    };
    actions.openDownload = [&services, &launcher] {
        DownloadWindow window(services, launcher);
        runModal(window);
    };
    actions.registerFileTypes = registerFileTypes;

    {
        LauncherWindow window(services, actions, arguments);
        launcher = &window;
        // Showing the launcher first runs its initialisation: the command-line file, or the
        // registration of the file types.
        runModal(window);
        launcher = nullptr;
    }
    closeHelp();
    releaseCurl();
    return 0;
}
