#include "widgets/ipaddressedit.h"

#include "support/scriptedprompts.h"
#include "support/windowtesting.h"

#include <QApplication>
#include <QClipboard>
#include <QImage>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>
#include <QVBoxLayout>

#include <memory>

Q_DECLARE_METATYPE(IpAddressInput)

class IpAddressEditTest : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void typingFillsThePartsAsAnOperatorExpects_data();
    void typingFillsThePartsAsAnOperatorExpects();
    void backspaceInAnEmptyPartGoesBack();
    void pastedAddressFillsTheParts();
    void setAddressAndClear();
    void tabLeavesTheFieldFromAnyPart();
    void theFrameShowsTheFocusOfAnyPart();

private:
    // Types each character into whichever part has the focus at that moment; '\b' is
    // Backspace, '^' Home and '<' the left arrow.
    void type(const QString& keys);

    ScriptedPrompts m_prompts;
    std::unique_ptr<QWidget> m_window;
    IpAddressEdit* m_edit = nullptr;
    QLineEdit* m_after = nullptr;
};

void IpAddressEditTest::init()
{
    m_window = std::make_unique<QWidget>();
    auto* layout = new QVBoxLayout(m_window.get());
    m_prompts.clear();
    m_edit = new IpAddressEdit(m_prompts, m_window.get());
    m_after = new QLineEdit(m_window.get());
    m_after->setObjectName("fieldAfter");
    layout->addWidget(m_edit);
    layout->addWidget(m_after);
    QVERIFY(showActive(m_window.get()));
    m_edit->setFocus();
    QCOMPARE(QApplication::focusWidget(), m_edit->part(0));
}

void IpAddressEditTest::cleanup()
{
    m_window.reset();
}

void IpAddressEditTest::type(const QString& keys)
{
    for (const QChar c : keys) {
        QWidget* target = QApplication::focusWidget();
        QVERIFY(target);
        if (c == '\b')
            QTest::keyClick(target, Qt::Key_Backspace);
        else if (c == '^')
            QTest::keyClick(target, Qt::Key_Home);
        else if (c == '<')
            QTest::keyClick(target, Qt::Key_Left);
        else
            QTest::keyClick(target, c.toLatin1());
    }
}

void IpAddressEditTest::typingFillsThePartsAsAnOperatorExpects_data()
{
    QTest::addColumn<QString>("keys");
    QTest::addColumn<QStringList>("parts");
    QTest::addColumn<IpAddressInput>("address");
    QTest::addColumn<QStringList>("refused");  // the values a message was shown for

    QTest::newRow("dots move on") << "10.0.0.7" << QStringList{"10", "0", "0", "7"}
                                  << IpAddressInput(IpOctets{10, 0, 0, 7}) << QStringList{};
    // A part left behind reads back as its value; the part still being typed in keeps "002".
    QTest::newRow("a third digit moves on")
        << "192168001002" << QStringList{"192", "168", "1", "002"}
        << IpAddressInput(IpOctets{192, 168, 1, 2}) << QStringList{};
    QTest::newRow("above 255 becomes 255 with a message")
        << "300.256.999.1" << QStringList{"255", "255", "255", "1"}
        << IpAddressInput(IpOctets{255, 255, 255, 1}) << QStringList{"300", "256", "999"};
    QTest::newRow("255 stays selected after the message, to be typed over")
        << "3007" << QStringList{"7", "", "", ""} << IpAddressInput(IpOctets{7, 0, 0, 0})
        << QStringList{"300"};
    QTest::newRow("255 itself is no fault") << "255255" << QStringList{"255", "255", "", ""}
                                            << IpAddressInput(IpOctets{255, 255, 0, 0})
                                            << QStringList{};
    QTest::newRow("a digit typed before a full part goes on into the next")
        << "255\b^1" << QStringList{"255", "1", "", ""}
        << IpAddressInput(IpOctets{255, 1, 0, 0}) << QStringList{};
    QTest::newRow("a digit typed after a full part replaces the next part")
        << "255.99<<<7" << QStringList{"255", "7", "", ""}
        << IpAddressInput(IpOctets{255, 7, 0, 0}) << QStringList{};
    QTest::newRow("a dot in an empty part stays") << "1..2" << QStringList{"1", "2", "", ""}
                                                  << IpAddressInput(IpOctets{1, 2, 0, 0})
                                                  << QStringList{};
    QTest::newRow("letters and signs are dropped") << "a1-b2+c" << QStringList{"12", "", "", ""}
                                                   << IpAddressInput(IpOctets{12, 0, 0, 0})
                                                   << QStringList{};
    QTest::newRow("blank parts read 0 beside a filled one")
        << "1.2.3" << QStringList{"1", "2", "3", ""} << IpAddressInput(IpOctets{1, 2, 3, 0})
        << QStringList{};
    QTest::newRow("space moves on like a dot") << "8 8 4 4" << QStringList{"8", "8", "4", "4"}
                                               << IpAddressInput(IpOctets{8, 8, 4, 4})
                                               << QStringList{};
    QTest::newRow("the last part takes no fourth digit")
        << "1.2.3.2551" << QStringList{"1", "2", "3", "255"}
        << IpAddressInput(IpOctets{1, 2, 3, 255}) << QStringList{};
    QTest::newRow("nothing typed is a blank address") << "" << QStringList{"", "", "", ""}
                                                      << IpAddressInput() << QStringList{};
    QTest::newRow("only dots is still blank") << "..." << QStringList{"", "", "", ""}
                                              << IpAddressInput() << QStringList{};
}

void IpAddressEditTest::typingFillsThePartsAsAnOperatorExpects()
{
    QFETCH(QString, keys);
    QFETCH(QStringList, parts);
    QFETCH(IpAddressInput, address);
    QFETCH(QStringList, refused);

    type(keys);
    QCOMPARE(partTexts(m_edit), parts);
    QCOMPARE(m_edit->address(), address);
    QCOMPARE(m_edit->isBlank(), !address.has_value());
    QCOMPARE(m_edit->octets(), address.value_or(IpOctets{}));
    QStringList messages;
    for (const QString& value : refused)
        messages << QStringLiteral(
                        "%1 is not a valid entry. Please specify a value between 0 and 255 for "
                        "this field.")
                        .arg(value);
    QCOMPARE(m_prompts.messages(), messages);
    if (!refused.isEmpty())
        QCOMPARE(m_prompts.lastMessage()->icon, Prompts::Icon::Warning);
}

void IpAddressEditTest::backspaceInAnEmptyPartGoesBack()
{
    type("12.3");
    QCOMPARE(QApplication::focusWidget(), m_edit->part(1));
    type("\b");
    QCOMPARE(partTexts(m_edit), (QStringList{"12", "", "", ""}));
    QCOMPARE(QApplication::focusWidget(), m_edit->part(1));
    type("\b");
    QCOMPARE(QApplication::focusWidget(), m_edit->part(0));
    QCOMPARE(partTexts(m_edit), (QStringList{"12", "", "", ""}));
    type("\b\b");
    QVERIFY(m_edit->isBlank());
    QCOMPARE(m_edit->address(), IpAddressInput());
    // Backspace in the first, empty part has nowhere to go.
    type("\b");
    QCOMPARE(QApplication::focusWidget(), m_edit->part(0));
}

void IpAddressEditTest::pastedAddressFillsTheParts()
{
    QApplication::clipboard()->setText("172.16.300.9");
    QTest::keyClick(m_edit->part(0), Qt::Key_V, Qt::ControlModifier);
    QCOMPARE(partTexts(m_edit), (QStringList{"172", "16", "255", "9"}));
    QCOMPARE(m_edit->address(), IpAddressInput(IpOctets{172, 16, 255, 9}));
    QCOMPARE(m_prompts.messages(), QStringList{IpAddressEdit::outOfRangeText("300")});
}

void IpAddressEditTest::setAddressAndClear()
{
    QSignalSpy changed(m_edit, &IpAddressEdit::addressChanged);
    m_edit->setAddress({255, 0, 10, 1});
    QCOMPARE(partTexts(m_edit), (QStringList{"255", "0", "10", "1"}));
    QVERIFY(!changed.isEmpty());
    QVERIFY(!m_edit->isBlank());

    changed.clear();
    m_edit->clear();
    QVERIFY(m_edit->isBlank());
    QVERIFY(!changed.isEmpty());
    QCOMPARE(m_edit->octets(), (IpOctets{0, 0, 0, 0}));
}

void IpAddressEditTest::tabLeavesTheFieldFromAnyPart()
{
    type("1.");
    QCOMPARE(QApplication::focusWidget(), m_edit->part(1));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), m_after);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab);
    QCOMPARE(QApplication::focusWidget(), m_edit->part(0));
}

void IpAddressEditTest::theFrameShowsTheFocusOfAnyPart()
{
    // The frame's left edge, where a focused text field shows its highlight.
    const auto frameEdge = [this] {
        const QImage image = m_edit->panel()->grab().toImage();
        return image.copy(0, 0, 2, image.height());
    };
    m_after->setFocus();
    const QImage unfocused = frameEdge();
    for (int part = 0; part < 4; ++part) {
        m_edit->part(part)->setFocus();
        QVERIFY2(frameEdge() != unfocused, qPrintable(QString::number(part)));
    }
    m_after->setFocus();
    QCOMPARE(frameEdge(), unfocused);
}

QTEST_MAIN(IpAddressEditTest)
#include "ipaddressedit_test.moc"
