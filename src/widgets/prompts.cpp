#include "widgets/prompts.h"

#include "base/pathutils.h"

#include "widgets/widgets.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLayout>
#include <QMessageBox>
#include <QScreen>

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
    if (runModal(dialog) != QDialog::Accepted)
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

// A box is centred over its parent's window. A message about a window that is still being
// opened (a file it reads first) would so stand over that window's unset position, the
// screen's corner: place the window first where it is about to appear, centred over its owner
// or, with none on screen, over the screen, as it would be placed when shown.
void placeUnshownWindow(QWidget* parent)
{
    if (!parent)
        return;
    QWidget* window = parent->window();
    if (window->isVisible() || window->testAttribute(Qt::WA_Moved))
        return;
    window->ensurePolished();
    if (QLayout* layout = window->layout())
        layout->activate();
    if (!window->testAttribute(Qt::WA_Resized))
        window->adjustSize();
    const QWidget* owner = window->parentWidget() ? window->parentWidget()->window() : nullptr;
    QRect area;
    if (owner && owner->isVisible())
        area = owner->frameGeometry();
    else if (const QScreen* screen = window->screen())
        area = screen->availableGeometry();
    else
        return;
    window->move(area.center() - QPoint(window->width() / 2, window->height() / 2));
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
    placeUnshownWindow(parent);
    QMessageBox box(boxIcon(icon), messageCaption(), text, QMessageBox::Ok, parent);
    box.setObjectName("messageBox");
    runModal(box);
}

bool QtPrompts::confirm(QWidget* parent, const QString& text, Icon icon)
{
    // A question is answered Yes or No; a warning is confirmed with OK or Cancel.
    const bool question = icon == Icon::Question;
    const QMessageBox::StandardButton yes = question ? QMessageBox::Yes : QMessageBox::Ok;
    const QMessageBox::StandardButton no = question ? QMessageBox::No : QMessageBox::Cancel;
    QMessageBox box(boxIcon(icon), messageCaption(), text, yes | no, parent);
    box.setObjectName("confirmBox");
    box.setDefaultButton(no);
    return runModal(box) == yes;
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
