#include "widgets/prompts.h"

#include "base/pathutils.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>

namespace {

QMessageBox::Icon boxIcon(Prompts::Icon icon)
{
    switch (icon) {
    case Prompts::Icon::Information:
        return QMessageBox::Information;
    case Prompts::Icon::Stop:
        return QMessageBox::Critical;
    case Prompts::Icon::Question:
        return QMessageBox::Question;
    case Prompts::Icon::Warning:
        break;
    }
    return QMessageBox::Warning;
}

QString chosenFile(QFileDialog& dialog)
{
    if (dialog.exec() != QDialog::Accepted)
        return {};
    const QStringList files = dialog.selectedFiles();
    if (files.isEmpty())
        return {};
    return QDir::cleanPath(QFileInfo(files.first()).absoluteFilePath());
}

void prepareFileDialog(QFileDialog& dialog, const Prompts::FileDialogOptions& options)
{
    dialog.setObjectName(dialog.acceptMode() == QFileDialog::AcceptOpen ? "openFileDialog"
                                                                        : "saveFileDialog");
    if (!options.filter.isEmpty())
        dialog.setNameFilter(options.filter);
    dialog.setDefaultSuffix(options.defaultSuffix);
    if (!options.initialName.isEmpty())
        dialog.selectFile(options.initialName);
}

}  // namespace

Prompts::FileDialogOptions addressBookFileOptions(const QString& defaultSuffix)
{
    return {QStringLiteral("Addrbook.cpe"), QStringLiteral("Orbiphon Address Book (*.cpe)"),
            defaultSuffix};
}

QString messageCaption()
{
    return QFile::decodeName(QByteArray::fromStdString(applicationTitle()));
}

void QtPrompts::message(QWidget* parent, const QString& text, Icon icon)
{
    QMessageBox box(boxIcon(icon), messageCaption(), text, QMessageBox::Ok, parent);
    box.setObjectName("messageBox");
    box.exec();
}

bool QtPrompts::confirm(QWidget* parent, const QString& text, Icon icon)
{
    QMessageBox box(boxIcon(icon), messageCaption(), text, QMessageBox::Ok | QMessageBox::Cancel,
                    parent);
    box.setObjectName("confirmBox");
    box.setDefaultButton(QMessageBox::Cancel);
    return box.exec() == QMessageBox::Ok;
}

QString QtPrompts::openFile(QWidget* parent, const FileDialogOptions& options)
{
    QFileDialog dialog(parent);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    prepareFileDialog(dialog, options);
    return chosenFile(dialog);
}

QString QtPrompts::saveFile(QWidget* parent, const FileDialogOptions& options)
{
    QFileDialog dialog(parent);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    // Overwrite confirmation is on unless DontConfirmOverwrite is set; say so explicitly.
    dialog.setOption(QFileDialog::DontConfirmOverwrite, false);
    prepareFileDialog(dialog, options);
    return chosenFile(dialog);
}

QString QtPrompts::folder(QWidget* parent, const QString& title)
{
    QFileDialog dialog(parent, title);
    dialog.setObjectName("folderDialog");
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly, true);
    const QString chosen = chosenFile(dialog);
    // Only a real folder of the file system counts; anything else is as good as cancelled.
    if (chosen.isEmpty() || !QFileInfo(chosen).isDir())
        return {};
    return chosen;
}

QString browseForFolder(Prompts& prompts, QWidget* parent, const QString& title)
{
    return prompts.folder(parent, title);
}
