#pragma once

#include <QString>

class QWidget;

// Every message box and file or folder dialog of the program goes through one Prompts object,
// so tests can queue the operator's answers and nothing blocks.
class Prompts {
public:
    enum class Icon { Warning, Information, Stop, Question };

    struct FileDialogOptions {
        QString initialName;    // proposed file name, e.g. "Addrbook.cpe"
        QString filter;         // e.g. "Orbiphon Address Book (*.cpe)"
        QString defaultSuffix;  // added to a name typed without extension; empty for none
    };

    virtual ~Prompts() = default;

    // An OK-only message box captioned with the application title.
    virtual void message(QWidget* parent, const QString& text, Icon icon = Icon::Warning) = 0;
    // OK and Cancel (Yes and No with the question icon); true for OK or Yes.
    virtual bool confirm(QWidget* parent, const QString& text, Icon icon = Icon::Warning) = 0;
    // The chosen existing file's full path, or empty when cancelled.
    virtual QString openFile(QWidget* parent, const FileDialogOptions& options) = 0;
    // The chosen file's full path (the dialog asks before replacing), or empty when cancelled.
    virtual QString saveFile(QWidget* parent, const FileDialogOptions& options) = 0;
    // A file-system folder, or empty when cancelled.
    virtual QString folder(QWidget* parent, const QString& title) = 0;
};

// The real dialogs.
class QtPrompts final : public Prompts {
public:
    void message(QWidget* parent, const QString& text, Icon icon) override;
    bool confirm(QWidget* parent, const QString& text, Icon icon) override;
    QString openFile(QWidget* parent, const FileDialogOptions& options) override;
    QString saveFile(QWidget* parent, const FileDialogOptions& options) override;
    QString folder(QWidget* parent, const QString& title) override;
};

// The file dialogs of address books: "Addrbook.cpe" proposed, "*.cpe" files shown.
Prompts::FileDialogOptions addressBookFileOptions(const QString& defaultSuffix = {});

// The caption of every message box: the core's applicationTitle(), the executable's name
// without directory and extension.
QString messageCaption();

// Asks for a folder with the given title; empty when cancelled or not a file-system folder.
QString browseForFolder(Prompts& prompts, QWidget* parent, const QString& title);
