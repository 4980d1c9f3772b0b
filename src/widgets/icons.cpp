#include "widgets/icons.h"

#include <QString>

// Outside any namespace: the macro declares the resource initialiser, which must keep its
// global name. The resources live in a static library, and naming the initialiser keeps the
// linker from dropping them.
static void loadResources()
{
    static const bool loaded = [] {
        Q_INIT_RESOURCE(orbiphon);
        return true;
    }();
    (void)loaded;
}

namespace {

const char* commandFile(CommandIcon command)
{
    switch (command) {
    case CommandIcon::New:
        return "new";
    case CommandIcon::Open:
        return "open";
    case CommandIcon::Save:
        return "save";
    case CommandIcon::Add:
        return "add";
    case CommandIcon::Modify:
        return "modify";
    case CommandIcon::Delete:
        return "delete";
    case CommandIcon::ResetFields:
        return "resetfields";
    case CommandIcon::Help:
        return "help";
    case CommandIcon::About:
        return "about";
    case CommandIcon::CheckConnections:
        return "checkconnections";
    case CommandIcon::UpgradeSelection:
        return "upgradeselection";
    case CommandIcon::UpgradeList:
        return "upgradelist";
    }
    return "";
}

QIcon sizedIcon(const QString& name)
{
    loadResources();
    QIcon icon;
    for (int size : {16, 32, 48, 128})
        icon.addFile(QStringLiteral(":/icons/%1-%2.png").arg(name).arg(size), QSize(size, size));
    return icon;
}

}  // namespace

QIcon commandIcon(CommandIcon command)
{
    loadResources();
    // addFile picks up the "@2x" image beside it by itself.
    return QIcon(QStringLiteral(":/icons/toolbar/%1.png").arg(QLatin1String(commandFile(command))));
}

QIcon applicationIcon()
{
    return sizedIcon(QStringLiteral("application"));
}

QIcon documentIcon(int iconIndex)
{
    switch (iconIndex) {
    case 1:
        return sizedIcon(QStringLiteral("addressbook-document"));
    case 3:
        return sizedIcon(QStringLiteral("gatewaylist-document"));
    default:
        return {};
    }
}
