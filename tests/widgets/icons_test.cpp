#include "widgets/icons.h"

#include <QTest>

Q_DECLARE_METATYPE(CommandIcon)

class IconsTest : public QObject {
    Q_OBJECT

private slots:
    void everyCommandHasItsToolbarImage_data();
    void everyCommandHasItsToolbarImage();
    void applicationAndDocumentIcons();
};

void IconsTest::everyCommandHasItsToolbarImage_data()
{
    QTest::addColumn<CommandIcon>("command");
    QTest::newRow("New") << CommandIcon::New;
    QTest::newRow("Open") << CommandIcon::Open;
    QTest::newRow("Save") << CommandIcon::Save;
    QTest::newRow("Add") << CommandIcon::Add;
    QTest::newRow("Modify") << CommandIcon::Modify;
    QTest::newRow("Delete") << CommandIcon::Delete;
    QTest::newRow("Reset fields") << CommandIcon::ResetFields;
    QTest::newRow("Help") << CommandIcon::Help;
    QTest::newRow("About") << CommandIcon::About;
    QTest::newRow("Check connections") << CommandIcon::CheckConnections;
    QTest::newRow("Upgrade selection") << CommandIcon::UpgradeSelection;
    QTest::newRow("Upgrade list") << CommandIcon::UpgradeList;
}

void IconsTest::everyCommandHasItsToolbarImage()
{
    QFETCH(CommandIcon, command);
    const QIcon icon = commandIcon(command);
    QVERIFY(!icon.isNull());
    const QList<QSize> sizes = icon.availableSizes();
    QVERIFY2(sizes.contains(QSize(16, 15)), "the toolbar's 16 x 15 image");
    const QImage image = icon.pixmap(QSize(16, 15)).toImage();
    QCOMPARE(image.size(), QSize(16, 15));
    // Something is drawn, and the background shows through around it.
    bool opaque = false;
    bool transparent = false;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const int alpha = qAlpha(image.pixel(x, y));
            opaque = opaque || alpha == 255;
            transparent = transparent || alpha == 0;
        }
    }
    QVERIFY(opaque);
    QVERIFY(transparent);
}

void IconsTest::applicationAndDocumentIcons()
{
    for (const QIcon& icon : {applicationIcon(), documentIcon(1), documentIcon(3)}) {
        QVERIFY(!icon.isNull());
        for (int size : {16, 32, 48, 128})
            QVERIFY(icon.availableSizes().contains(QSize(size, size)));
    }
    QVERIFY(documentIcon(0).isNull());
    QVERIFY(documentIcon(2).isNull());
    // Each kind of document has its own picture.
    QVERIFY(documentIcon(1).pixmap(32).toImage() != documentIcon(3).pixmap(32).toImage());
}

QTEST_MAIN(IconsTest)
#include "icons_test.moc"
