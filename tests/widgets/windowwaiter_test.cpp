#include "widgets/windowwaiter.h"

#include "support/scriptedprompts.h"

#include <QTest>
#include <QWidget>

#include <atomic>
#include <thread>

class WindowWaiterTest : public QObject {
    Q_OBJECT

private slots:
    void theStopQuestionNeverHoldsTheCallInHand();
};

void WindowWaiterTest::theStopQuestionNeverHoldsTheCallInHand()
{
    ScriptedPrompts prompts;
    QWidget window;
    window.show();
    WindowWaiter waiter(prompts, &window, QStringLiteral("Stop?"));
    std::atomic<bool> handedBack = false;
    bool inCall = false;
    bool askedInCall = true;
    prompts.onPrompt = [&](const ScriptedPrompts::Record&) { askedInCall = inCall; };
    prompts.answerConfirm(true);

    std::thread worker([&] {
        // As a progress refresh does: Escape comes while the call runs, which lets timers run.
        waiter.runOnWindowThread([&] {
            inCall = true;
            waiter.askToStop();
            QCoreApplication::processEvents();
            inCall = false;
        });
        handedBack = true;
    });
    QTRY_VERIFY(handedBack);
    worker.join();

    QTRY_VERIFY(waiter.stopFlag());
    // Asked while the call was still in hand, the question would hold its thread all along.
    QVERIFY(!askedInCall);
}

QTEST_MAIN(WindowWaiterTest)
#include "windowwaiter_test.moc"
