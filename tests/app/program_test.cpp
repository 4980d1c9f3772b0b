#include "support/tempdir.h"

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTest>

// Runs the real program, as an operator's desktop would start it.
class ProgramTest : public QObject {
    Q_OBJECT

private slots:
    void startWithoutAFileRegistersTheFileTypes_data();
    void startWithoutAFileRegistersTheFileTypes();
    void helpFileLiesBesideTheProgram();
};

void ProgramTest::startWithoutAFileRegistersTheFileTypes_data()
{
    QTest::addColumn<bool>("config");
    QTest::newRow("no arguments") << false;
    // Taken for a file, "--config FILE" would be an unknown type and register nothing.
    QTest::newRow("another settings file") << true;
}

void ProgramTest::startWithoutAFileRegistersTheFileTypes()
{
    QFETCH(bool, config);
    TempDir home;
    const QString settings = QString::fromStdString(home.write("site.ini", "[Batch]\nJobs=4\n"));
    const QString dataHome = QString::fromStdString(home.path()) + "/data";
    QProcess program;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("XDG_DATA_HOME", dataHome);
    environment.insert("QT_QPA_PLATFORM", "offscreen");
    program.setProcessEnvironment(environment);
    program.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    program.start(ORBIPHON_EXECUTABLE, config ? QStringList{"--config", settings} : QStringList{});
    QVERIFY(program.waitForStarted());

    const QString desktopFile = dataHome + "/applications/Orbiphon.desktop";
    const QString defaults = dataHome + "/applications/mimeapps.list";
    auto registered = [&] {
        QFile file(defaults);
        return file.open(QIODevice::ReadOnly) &&
               file.readAll().contains("application/x-cpe-orbiphonlist=Orbiphon.desktop;");
    };
    QTRY_VERIFY_WITH_TIMEOUT(registered(), 60000);
    // The launcher is up and waits for the operator.
    QCOMPARE(program.state(), QProcess::Running);

    QFile entry(desktopFile);
    QVERIFY(entry.open(QIODevice::ReadOnly));
    const QString canonical = QFileInfo(ORBIPHON_EXECUTABLE).canonicalFilePath();
    QVERIFY2(entry.readAll().contains(("\nExec=" + canonical + " %f\n").toUtf8()),
             qPrintable(canonical));
    QVERIFY(QFile::exists(dataHome + "/mime/packages/Orbiphon.xml"));

    program.kill();
    QVERIFY(program.waitForFinished());
}

void ProgramTest::helpFileLiesBesideTheProgram()
{
    const QString help = QFileInfo(ORBIPHON_EXECUTABLE).absolutePath() + "/Orbiphon.html";
    QFile file(help);
    QVERIFY2(file.open(QIODevice::ReadOnly), qPrintable(help));
    QVERIFY(file.readAll().contains("<a name=\"topic100\">"));
}

QTEST_GUILESS_MAIN(ProgramTest)
#include "program_test.moc"
