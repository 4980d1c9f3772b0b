#include "widgets/prompts.h"
#include "support/scriptedprompts.h"
#include "support/tempdir.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTimer>
#include <QVBoxLayout>

#include <functional>

namespace {

// Runs inspect on the modal dialog that the next exec() opens, then lets finish close it.
template <typename Dialog>
void whenModal(std::function<void(Dialog*)> inspect)
{
    QTimer::singleShot(0, [inspect] {
        auto* dialog = qobject_cast<Dialog*>(QApplication::activeModalWidget());
        if (!dialog) {
            QTest::qFail("no modal dialog of the expected kind", __FILE__, __LINE__);
            if (QWidget* other = QApplication::activeModalWidget())
                other->close();
            return;
        }
        inspect(dialog);
    });
}

}  // namespace

class PromptsTest : public QObject {
    Q_OBJECT

private slots:
    void messageBoxIsOkOnlyWithCaptionAndIcon_data();
    void messageBoxIsOkOnlyWithCaptionAndIcon();
    void confirmAnswersOkAndCancel_data();
    void confirmAnswersOkAndCancel();
    void messageBeforeItsWindowShowsStandsOverIt_data();
    void messageBeforeItsWindowShowsStandsOverIt();
    void openDialogRequiresAnExistingFile();
    void saveDialogAddsSuffixAndConfirmsOverwrite();
    void cancelledFileDialogGivesEmpty();
    void folderPickerReturnsOnlyRealFolders();
    void scriptedPromptsRecordInOrderAndAnswerByKind();
    void scriptedPromptWithoutAnswerFailsTheTest();
};

void PromptsTest::messageBoxIsOkOnlyWithCaptionAndIcon_data()
{
    QTest::addColumn<Prompts::Icon>("icon");
    QTest::addColumn<QMessageBox::Icon>("boxIcon");
    QTest::newRow("warning by default") << Prompts::Icon::Warning << QMessageBox::Warning;
    QTest::newRow("closing notice") << Prompts::Icon::Information << QMessageBox::Information;
    QTest::newRow("file error") << Prompts::Icon::Stop << QMessageBox::Critical;
    QTest::newRow("question") << Prompts::Icon::Question << QMessageBox::Question;
}

void PromptsTest::messageBoxIsOkOnlyWithCaptionAndIcon()
{
    QFETCH(Prompts::Icon, icon);
    QFETCH(QMessageBox::Icon, boxIcon);

    QMessageBox::Icon seenIcon = QMessageBox::NoIcon;
    QString seenCaption;
    QString seenText;
    QMessageBox::StandardButtons seenButtons;
    whenModal<QMessageBox>([&](QMessageBox* box) {
        seenIcon = box->icon();
        seenCaption = box->windowTitle();
        seenText = box->text();
        seenButtons = box->standardButtons();
        box->button(QMessageBox::Ok)->click();
    });
    QtPrompts prompts;
    prompts.message(nullptr, "Socket error!", icon);

    QCOMPARE(seenIcon, boxIcon);
    QCOMPARE(seenCaption, QString("test_widgets_prompts"));
    QCOMPARE(messageCaption(), QString("test_widgets_prompts"));
    QCOMPARE(seenText, QString("Socket error!"));
    QCOMPARE(seenButtons, QMessageBox::StandardButtons(QMessageBox::Ok));
}

void PromptsTest::confirmAnswersOkAndCancel_data()
{
    QTest::addColumn<QMessageBox::StandardButton>("press");
    QTest::addColumn<bool>("expected");
    QTest::newRow("ok") << QMessageBox::Ok << true;
    QTest::newRow("cancel") << QMessageBox::Cancel << false;
}

void PromptsTest::confirmAnswersOkAndCancel()
{
    QFETCH(QMessageBox::StandardButton, press);
    QFETCH(bool, expected);

    QMessageBox::StandardButtons seenButtons;
    whenModal<QMessageBox>([&](QMessageBox* box) {
        seenButtons = box->standardButtons();
        box->button(press)->click();
    });
    QtPrompts prompts;
    QCOMPARE(prompts.confirm(nullptr, "Save anyway?", Prompts::Icon::Warning), expected);
    QCOMPARE(seenButtons, QMessageBox::Ok | QMessageBox::Cancel);
}

void PromptsTest::messageBeforeItsWindowShowsStandsOverIt_data()
{
    QTest::addColumn<bool>("ownerShown");
    QTest::newRow("the launcher, before it shows") << false;
    QTest::newRow("a work window opening over the launcher") << true;
}

void PromptsTest::messageBeforeItsWindowShowsStandsOverIt()
{
    QFETCH(bool, ownerShown);
    QDialog owner;
    owner.resize(300, 200);
    owner.move(60, 120);
    if (ownerShown)
        owner.show();
    // Sized by its layout, as the work windows are, and not shown yet.
    QDialog window(ownerShown ? &owner : nullptr);
    auto* layout = new QVBoxLayout(&window);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    auto* content = new QWidget(&window);
    content->setFixedSize(400, 260);
    layout->addWidget(content);

    QRect box;
    whenModal<QMessageBox>([&](QMessageBox* shown) {
        box = shown->frameGeometry();
        shown->button(QMessageBox::Ok)->click();
    });
    QtPrompts prompts;
    prompts.message(&window, QStringLiteral("Formato non riconosciuto!"), Prompts::Icon::Warning);
    window.show();

    const QPoint expected = ownerShown ? owner.frameGeometry().center()
                                       : window.screen()->availableGeometry().center();
    const auto near = [](QPoint a, QPoint b) { return (a - b).manhattanLength() <= 4; };
    QVERIFY2(near(window.frameGeometry().center(), expected),
             qPrintable(QStringLiteral("window centred at %1,%2")
                            .arg(window.frameGeometry().center().x())
                            .arg(window.frameGeometry().center().y())));
    QVERIFY2(near(box.center(), window.frameGeometry().center()),
             qPrintable(QStringLiteral("box centred at %1,%2, window at %3,%4")
                            .arg(box.center().x())
                            .arg(box.center().y())
                            .arg(window.frameGeometry().center().x())
                            .arg(window.frameGeometry().center().y())));
}

void PromptsTest::openDialogRequiresAnExistingFile()
{
    TempDir dir;
    const QString book = QString::fromStdString(dir.write("Addrbook.cpe", "x"));

    QFileDialog::FileMode mode = QFileDialog::AnyFile;
    QStringList filters;
    QString suffix = "unset";
    QStringList selected;
    whenModal<QFileDialog>([&](QFileDialog* dialog) {
        mode = dialog->fileMode();
        filters = dialog->nameFilters();
        suffix = dialog->defaultSuffix();
        dialog->setDirectory(QString::fromStdString(dir.path()));
        selected = dialog->selectedFiles();
        dialog->selectFile(book);
        static_cast<QDialog*>(dialog)->accept();
    });
    QtPrompts prompts;
    const QString chosen = prompts.openFile(
        nullptr, {"Addrbook.cpe", "Orbiphon Address Book (*.cpe)", QString()});

    QCOMPARE(mode, QFileDialog::ExistingFile);
    QCOMPARE(filters, QStringList{"Orbiphon Address Book (*.cpe)"});
    QCOMPARE(suffix, QString());
    QCOMPARE(selected.size(), 1);
    QVERIFY(selected.first().endsWith("/Addrbook.cpe"));
    QCOMPARE(chosen, book);
}

void PromptsTest::saveDialogAddsSuffixAndConfirmsOverwrite()
{
    TempDir dir;
    bool confirmsOverwrite = false;
    QString suffix;
    whenModal<QFileDialog>([&](QFileDialog* dialog) {
        confirmsOverwrite = !dialog->testOption(QFileDialog::DontConfirmOverwrite);
        suffix = dialog->defaultSuffix();
        dialog->setDirectory(QString::fromStdString(dir.path()));
        dialog->selectFile("newbook");
        static_cast<QDialog*>(dialog)->accept();
    });
    QtPrompts prompts;
    const QString chosen =
        prompts.saveFile(nullptr, {"Addrbook.cpe", "Orbiphon Address Book (*.cpe)", "cpe"});

    QVERIFY(confirmsOverwrite);
    QCOMPARE(suffix, QString("cpe"));
    QCOMPARE(chosen, QString::fromStdString(dir.file("newbook.cpe")));
}

void PromptsTest::cancelledFileDialogGivesEmpty()
{
    whenModal<QFileDialog>([](QFileDialog* dialog) { dialog->reject(); });
    QtPrompts prompts;
    QVERIFY(prompts.openFile(nullptr, {"Addrbook.cpe", "Orbiphon Address Book (*.cpe)", {}})
                .isEmpty());
}

void PromptsTest::folderPickerReturnsOnlyRealFolders()
{
    TempDir dir;
    const QString firmware = QString::fromStdString(dir.path() + "/firmware");
    QVERIFY(QDir().mkpath(firmware));

    QString title;
    whenModal<QFileDialog>([&](QFileDialog* dialog) {
        title = dialog->windowTitle();
        QVERIFY(dialog->testOption(QFileDialog::ShowDirsOnly));
        dialog->setDirectory(firmware);
        static_cast<QDialog*>(dialog)->accept();
    });
    QtPrompts prompts;
    QCOMPARE(browseForFolder(prompts, nullptr, "Select the folder to upload"), firmware);
    QCOMPARE(title, QString("Select the folder to upload"));

    whenModal<QFileDialog>([](QFileDialog* dialog) { dialog->reject(); });
    QVERIFY(browseForFolder(prompts, nullptr, "Select the folder to upload").isEmpty());
}

void PromptsTest::scriptedPromptsRecordInOrderAndAnswerByKind()
{
    ScriptedPrompts prompts;
    prompts.answerOpenFile("/books/a.cpe");
    prompts.answerConfirm(false);
    prompts.answerFolder(QString());

    QStringList seenAt;
    prompts.onPrompt = [&](const ScriptedPrompts::Record& r) { seenAt << r.text; };

    QCOMPARE(prompts.openFile(nullptr, {"Addrbook.cpe", "F (*.cpe)", {}}),
             QString("/books/a.cpe"));
    prompts.message(nullptr, "Formato non riconosciuto!", Prompts::Icon::Warning);
    QCOMPARE(prompts.confirm(nullptr, "Save anyway?", Prompts::Icon::Question), false);
    QVERIFY(prompts.folder(nullptr, "Select the folder to upload").isEmpty());
    prompts.message(nullptr, "Done", Prompts::Icon::Information);

    QCOMPARE(prompts.pendingAnswers(), std::size_t{0});
    QVERIFY(prompts.unexpected().isEmpty());
    QCOMPARE(prompts.messages(), (QStringList{"Formato non riconosciuto!", "Done"}));
    QCOMPARE(prompts.lastMessage()->icon, Prompts::Icon::Information);
    QCOMPARE(prompts.lastMessage()->caption, QString("test_widgets_prompts"));
    QCOMPARE(prompts.records().size(), std::size_t{5});
    QCOMPARE(prompts.records()[0].options.filter, QString("F (*.cpe)"));
    QCOMPARE(seenAt, (QStringList{"Addrbook.cpe", "Formato non riconosciuto!", "Save anyway?",
                                  "Select the folder to upload", "Done"}));
}

void PromptsTest::scriptedPromptWithoutAnswerFailsTheTest()
{
    ScriptedPrompts prompts;
    prompts.answerConfirm(true);
    // The window asks for a file while the script expects a confirmation: the test must fail
    // and the dialog count as cancelled, rather than block or take the wrong answer.
    QEXPECT_FAIL("", "the script holds a confirmation, not a file name", Continue);
    const QString chosen = prompts.openFile(nullptr, {});
    QVERIFY(chosen.isEmpty());
    QCOMPARE(prompts.unexpected().size(), 1);
    QVERIFY(prompts.unexpected().first().contains("open-file dialog"));
    QCOMPARE(prompts.pendingAnswers(), std::size_t{1});
    QVERIFY(prompts.confirm(nullptr, "then the confirmation", Prompts::Icon::Warning));
}

QTEST_MAIN(PromptsTest)
#include "prompts_test.moc"
