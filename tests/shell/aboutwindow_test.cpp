#include "shell/aboutwindow.h"

#include "widgets/dialogunits.h"

#include <QDesktopServices>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QUrl>

// Stands in for the desktop's browser: records what it was asked to open.
class UrlRecorder : public QObject {
    Q_OBJECT

public:
    QList<QUrl> opened;

public slots:
    void open(const QUrl& url) { opened << url; }
};

class AboutWindowTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void showsProductVersionAndNotice();
    void webAddressButtonAsksTheDesktopAndStaysOpen();
    void okEscapeAndCloseEndTheWindow_data();
    void okEscapeAndCloseEndTheWindow();

private:
    UrlRecorder m_recorder;
};

void AboutWindowTest::initTestCase()
{
    QDesktopServices::setUrlHandler("http", &m_recorder, "open");
}

void AboutWindowTest::cleanupTestCase()
{
    QDesktopServices::unsetUrlHandler("http");
}

void AboutWindowTest::showsProductVersionAndNotice()
{
    AboutWindow about;
    QCOMPARE(about.windowTitle(), QString("About Orbiphon"));
    QCOMPARE(about.size(), DialogUnits(about.font()).size(247, 55));
    QCOMPARE(about.findChild<QLabel*>("productNameLabel")->text(), QString("Orbiphon"));
    QCOMPARE(about.findChild<QLabel*>("versionLabel")->text(), QString("Version " ORBIPHON_VERSION));
    QVERIFY(about.findChild<QLabel*>("legalNoticeLabel")->text().startsWith("Copyright"));
    QVERIFY(!about.findChild<QLabel*>("iconFrame")->pixmap().isNull());
    auto* ok = about.findChild<QPushButton*>("okButton");
    QVERIFY(ok->isDefault());
    auto* web = about.findChild<QPushButton*>("webAddressButton");
    QCOMPARE(web->text(), QString(MakerWebAddress));
    QVERIFY(web->isFlat());
    QVERIFY(!web->isDefault());
}

void AboutWindowTest::webAddressButtonAsksTheDesktopAndStaysOpen()
{
    m_recorder.opened.clear();
    AboutWindow about;
    about.show();
    QTest::mouseClick(about.findChild<QPushButton*>("webAddressButton"), Qt::LeftButton);
    QCOMPARE(m_recorder.opened, QList<QUrl>{QUrl(MakerWebAddress)});
    QVERIFY(about.isVisible());
    QCOMPARE(about.result(), 0);
}

void AboutWindowTest::okEscapeAndCloseEndTheWindow_data()
{
    QTest::addColumn<QString>("how");
    QTest::addColumn<int>("result");
    QTest::newRow("OK") << "ok" << int(QDialog::Accepted);
    QTest::newRow("Enter presses the default OK") << "enter" << int(QDialog::Accepted);
    QTest::newRow("Escape") << "escape" << int(QDialog::Rejected);
    QTest::newRow("close box") << "close" << int(QDialog::Rejected);
}

void AboutWindowTest::okEscapeAndCloseEndTheWindow()
{
    QFETCH(QString, how);
    QFETCH(int, result);
    m_recorder.opened.clear();
    AboutWindow about;
    QTimer::singleShot(0, &about, [&] {
        if (how == "ok")
            QTest::mouseClick(about.findChild<QPushButton*>("okButton"), Qt::LeftButton);
        else if (how == "enter")
            QTest::keyClick(&about, Qt::Key_Return);
        else if (how == "escape")
            QTest::keyClick(&about, Qt::Key_Escape);
        else
            about.close();
    });
    QCOMPARE(about.exec(), result);
    QVERIFY(m_recorder.opened.isEmpty());
}

QTEST_MAIN(AboutWindowTest)
#include "aboutwindow_test.moc"
