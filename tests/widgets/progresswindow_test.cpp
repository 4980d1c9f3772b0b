#include "widgets/progresswindow.h"

#include "widgets/dialogunits.h"

#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QPointer>
#include <QProgressBar>
#include <QTest>

#include <memory>

namespace {

// Counts the paint events a widget receives.
class PaintCounter : public QObject {
public:
    int paints = 0;

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Paint)
            ++paints;
        return false;
    }
};

}  // namespace

Q_DECLARE_METATYPE(ProgressBar)

class ProgressWindowTest : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void startsHiddenWithItsPlaceholderCaption();
    void linesAppearOnlyAtRefreshCaptionAtOnce();
    void resetEmptiesEverythingButKeepsVisibility_data();
    void resetEmptiesEverythingButKeepsVisibility();
    void rangeTakesTheLow16BitsOfACount_data();
    void rangeTakesTheLow16BitsOfACount();
    void positionsAreClampedAndStepsWrap_data();
    void positionsAreClampedAndStepsWrap();
    void emptyRangeStaysEmptyWhateverThePosition();
    void refreshPaintsBeforeReturning();
    void closeBoxAndEscapeOnlyHide();
    void layoutInDialogUnits();
    void refreshTakesTheFocusOnlyFromOurOwnWindows_data();
    void refreshTakesTheFocusOnlyFromOurOwnWindows();

private:
    QLabel* label(const char* name) const { return m_window->findChild<QLabel*>(name); }
    QProgressBar* bar(ProgressBar which) const
    {
        return m_window->findChild<QProgressBar*>(which == ProgressBar::Upper ? "upperBar"
                                                                               : "lowerBar");
    }

    std::unique_ptr<QWidget> m_owner;
    ProgressWindow* m_window = nullptr;
};

void ProgressWindowTest::init()
{
    m_owner = std::make_unique<QWidget>();
    m_window = new ProgressWindow(m_owner.get());
}

void ProgressWindowTest::cleanup()
{
    m_owner.reset();
}

void ProgressWindowTest::startsHiddenWithItsPlaceholderCaption()
{
    QVERIFY(!m_window->isVisible());
    QCOMPARE(m_window->windowTitle(), QString("Titolo"));
    QCOMPARE(m_window->parentWidget(), m_owner.get());
    QVERIFY(!m_window->isModal());
    for (ProgressBar which : {ProgressBar::Upper, ProgressBar::Lower}) {
        QCOMPARE(m_window->barState(which).maximum(), 0);
        QCOMPARE(bar(which)->value(), bar(which)->minimum());
    }
    // No buttons: nothing the operator could press to interrupt a transfer.
    QVERIFY(m_window->findChildren<QAbstractButton*>().isEmpty());
}

void ProgressWindowTest::linesAppearOnlyAtRefreshCaptionAtOnce()
{
    ProgressSink& sink = *m_window;
    sink.reset();
    sink.setCaption("Upgrade List");
    QCOMPARE(m_window->windowTitle(), QString("Upgrade List"));

    sink.setLine1("Connecting...");
    sink.setLine2("Ugrade 10.0.0.5");
    QCOMPARE(m_window->line1(), QString("Connecting..."));
    QCOMPARE(label("line1Label")->text(), QString());
    QCOMPARE(label("line2Label")->text(), QString());
    QVERIFY(!m_window->isVisible());

    sink.refresh();
    QVERIFY(m_window->isVisible());
    QCOMPARE(label("line1Label")->text(), QString("Connecting..."));
    QCOMPARE(label("line2Label")->text(), QString("Ugrade 10.0.0.5"));

    sink.setLine1("FTP : /RFA/Addrbook.cpe");
    QCOMPARE(label("line1Label")->text(), QString("Connecting..."));
    sink.refresh();
    QCOMPARE(label("line1Label")->text(), QString("FTP : /RFA/Addrbook.cpe"));

    sink.hide();
    QVERIFY(!m_window->isVisible());
}

void ProgressWindowTest::resetEmptiesEverythingButKeepsVisibility_data()
{
    QTest::addColumn<bool>("shown");
    QTest::newRow("hidden stays hidden") << false;
    QTest::newRow("shown stays shown") << true;
}

void ProgressWindowTest::resetEmptiesEverythingButKeepsVisibility()
{
    QFETCH(bool, shown);
    m_window->setCaption("Download AddressBook");
    m_window->setLine1("Connecting...");
    m_window->setLine2("second");
    m_window->setRange(ProgressBar::Upper, 2);
    m_window->setPosition(ProgressBar::Upper, 1);
    m_window->setRange(ProgressBar::Lower, 5);
    m_window->setPosition(ProgressBar::Lower, 4);
    m_window->setStep(ProgressBar::Lower, 1);
    m_window->refresh();
    if (!shown)
        m_window->hide();

    m_window->reset();
    QCOMPARE(m_window->isVisible(), shown);
    QCOMPARE(m_window->windowTitle(), QString());
    QCOMPARE(m_window->line1(), QString());
    QCOMPARE(m_window->line2(), QString());
    QCOMPARE(label("line1Label")->text(), QString());
    QCOMPARE(label("line2Label")->text(), QString());
    for (ProgressBar which : {ProgressBar::Upper, ProgressBar::Lower}) {
        QCOMPARE(m_window->barState(which).maximum(), 0);
        QCOMPARE(m_window->barState(which).position(), 0);
        QCOMPARE(bar(which)->value(), 0);
        // Never the busy animation that QProgressBar shows for a 0..0 range.
        QVERIFY(bar(which)->maximum() > bar(which)->minimum());
    }
}

void ProgressWindowTest::rangeTakesTheLow16BitsOfACount_data()
{
    QTest::addColumn<qint64>("count");
    QTest::addColumn<int>("maximum");
    QTest::newRow("a small count") << qint64(3) << 3;
    QTest::newRow("the largest range") << qint64(65535) << 65535;
    QTest::newRow("65536 files give an empty bar") << qint64(65536) << 0;
    QTest::newRow("one more gives 0..1") << qint64(65537) << 1;
}

void ProgressWindowTest::rangeTakesTheLow16BitsOfACount()
{
    QFETCH(qint64, count);
    QFETCH(int, maximum);
    // What callers do with a count: keep its low 16 bits.
    m_window->setRange(ProgressBar::Upper, static_cast<std::uint16_t>(count));
    QCOMPARE(int(m_window->barState(ProgressBar::Upper).maximum()), maximum);
    m_window->setPosition(ProgressBar::Upper, 1);
    QCOMPARE(m_window->barState(ProgressBar::Upper).position(), std::min(1, maximum));
    QCOMPARE(bar(ProgressBar::Upper)->value(), std::min(1, maximum));
    if (maximum > 0)
        QCOMPARE(bar(ProgressBar::Upper)->maximum(), maximum);
}

void ProgressWindowTest::positionsAreClampedAndStepsWrap_data()
{
    QTest::addColumn<ProgressBar>("which");
    QTest::addColumn<int>("maximum");
    QTest::addColumn<int>("step");
    QTest::addColumn<QList<int>>("positions");
    QTest::newRow("one file at a time") << ProgressBar::Upper << 3 << 1 << QList<int>{1, 2, 3, 0, 1};
    QTest::newRow("a step past the end starts over")
        << ProgressBar::Lower << 10 << 4 << QList<int>{4, 8, 0, 4};
    QTest::newRow("landing on the maximum is kept")
        << ProgressBar::Lower << 10 << 5 << QList<int>{5, 10, 0};
}

void ProgressWindowTest::positionsAreClampedAndStepsWrap()
{
    QFETCH(ProgressBar, which);
    QFETCH(int, maximum);
    QFETCH(int, step);
    QFETCH(QList<int>, positions);

    m_window->reset();
    m_window->setRange(which, static_cast<std::uint16_t>(maximum));
    m_window->setPosition(which, maximum + 7);
    QCOMPARE(m_window->barState(which).position(), maximum);
    m_window->setPosition(which, -3);
    QCOMPARE(m_window->barState(which).position(), 0);

    m_window->setStep(which, step);
    for (int expected : positions) {
        m_window->stepIt(which);
        QCOMPARE(m_window->barState(which).position(), expected);
        // The bar on the screen follows at once, without a refresh.
        QCOMPARE(bar(which)->value(), expected);
    }
    const ProgressBar other = which == ProgressBar::Upper ? ProgressBar::Lower : ProgressBar::Upper;
    QCOMPARE(m_window->barState(other).position(), 0);
}

void ProgressWindowTest::emptyRangeStaysEmptyWhateverThePosition()
{
    m_window->reset();
    m_window->setPosition(ProgressBar::Lower, 5);
    m_window->setStep(ProgressBar::Lower, 1);
    m_window->stepIt(ProgressBar::Lower);
    QCOMPARE(m_window->barState(ProgressBar::Lower).position(), 0);
    QCOMPARE(bar(ProgressBar::Lower)->value(), bar(ProgressBar::Lower)->minimum());
}

void ProgressWindowTest::refreshPaintsBeforeReturning()
{
    PaintCounter line1Paints;
    PaintCounter barPaints;
    label("line1Label")->installEventFilter(&line1Paints);
    bar(ProgressBar::Upper)->installEventFilter(&barPaints);

    m_window->reset();
    m_window->setLine1("Connecting...");
    m_window->setRange(ProgressBar::Upper, 2);
    m_window->refresh();
    // Painted by refresh itself: the caller goes straight back to blocking network calls.
    QVERIFY(line1Paints.paints > 0);
    QVERIFY(barPaints.paints > 0);

    line1Paints.paints = 0;
    m_window->setLine1("FTP : /RFA/Addrbook.cpe");
    m_window->setPosition(ProgressBar::Upper, 1);
    m_window->refresh();
    QVERIFY(line1Paints.paints > 0);
    const QImage shown = m_window->grab().toImage();
    QVERIFY(!shown.isNull());
}

void ProgressWindowTest::closeBoxAndEscapeOnlyHide()
{
    QPointer<ProgressWindow> window = m_window;
    m_window->setLine1("first");
    m_window->refresh();
    QVERIFY(m_window->isVisible());

    m_window->close();
    QVERIFY(window);
    QVERIFY(!m_window->isVisible());

    m_window->setLine1("second");
    m_window->refresh();
    QVERIFY(m_window->isVisible());
    QTest::keyClick(m_window, Qt::Key_Escape);
    QVERIFY(window);
    QVERIFY(!m_window->isVisible());
    QCOMPARE(m_window->line1(), QString("second"));

    m_window->refresh();
    QVERIFY(m_window->isVisible());
}

void ProgressWindowTest::layoutInDialogUnits()
{
    const DialogUnits du(m_window->font());
    QCOMPARE(m_window->size(), du.size(217, 86));
    QCOMPARE(label("line1Label")->geometry(), du.rect(5, 10, 205, 10));
    QCOMPARE(label("line2Label")->geometry(), du.rect(5, 25, 205, 10));
    QCOMPARE(bar(ProgressBar::Upper)->geometry(), du.rect(5, 50, 205, 10));
    QCOMPARE(bar(ProgressBar::Lower)->geometry(), du.rect(5, 65, 205, 10));
    QVERIFY(!(m_window->windowFlags() & Qt::WindowMinimizeButtonHint));
    QVERIFY(!(m_window->windowFlags() & Qt::WindowMaximizeButtonHint));
    QVERIFY(m_window->windowFlags() & Qt::WindowCloseButtonHint);
}

void ProgressWindowTest::refreshTakesTheFocusOnlyFromOurOwnWindows_data()
{
    QTest::addColumn<bool>("ownerActive");
    QTest::newRow("owner active: the progress comes forward") << true;
    QTest::newRow("another program active: it stays behind") << false;
}

void ProgressWindowTest::refreshTakesTheFocusOnlyFromOurOwnWindows()
{
    QFETCH(bool, ownerActive);
    m_owner->show();
    m_owner->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(m_owner.get()));
    m_window->refresh();
    if (!ownerActive) {
        // Another program takes the keyboard: none of our windows is active any more.
        QWidget other;
        other.show();
        QVERIFY(QTest::qWaitForWindowActive(&other));
        other.hide();
        QTRY_VERIFY(QApplication::activeWindow() == nullptr);
    } else {
        m_owner->activateWindow();
        QTRY_VERIFY(m_owner->isActiveWindow());
    }
    for (int refresh = 0; refresh < 3; ++refresh) {
        m_window->refresh();
        QTest::qWait(20);
    }
    QVERIFY(m_window->isVisible());
    QCOMPARE(m_window->isActiveWindow(), ownerActive);
}

QTEST_MAIN(ProgressWindowTest)
#include "progresswindow_test.moc"
