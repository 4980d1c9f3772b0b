#pragma once

#include <QIcon>

// The commands that carry a toolbar image, shared by the work windows' menus and toolbars.
enum class CommandIcon {
    New,
    Open,
    Save,
    Add,
    Modify,
    Delete,
    ResetFields,
    Help,
    About,
    CheckConnections,
    UpgradeSelection,
    UpgradeList,
};

// The toolbar image of a command: 16 x 15 pixels, with a double-size image for dense screens.
QIcon commandIcon(CommandIcon command);

// The application icon: window icons, the About window and the minimised launcher.
QIcon applicationIcon();

// The document icon that the file types show: 1 the address book, 3 the gateway list; a null
// icon for any other index.
QIcon documentIcon(int iconIndex);
