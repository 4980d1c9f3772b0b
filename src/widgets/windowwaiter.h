#pragma once

#include "base/progresssink.h"

#include <QObject>
#include <QPointer>
#include <QString>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>

class Prompts;
class ProgressWindow;
class QWidget;

// The window's side of work that runs on a thread of its own: the work hands calls over to the
// window thread (runOnWindowThread) and reads the stop flag, and the window asks whether to stop
// (askToStop, from its Escape and close box) without ever waiting for the work.
class WindowWaiter final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(WindowWaiter)

public:
    // window: the parent of the stop question.
    WindowWaiter(Prompts& prompts, QWidget* window, QString stopQuestion);
    ~WindowWaiter() override;

    const std::atomic<bool>& stopFlag() const { return m_stop; }
    // Asks stopQuestion once the event loop is free of calls handed over; a Yes sets the flag.
    void askToStop();
    // Stops without asking, as a window that goes away must.
    void requestStop() { m_stop = true; }

    // For a working thread about to do what a stop must prevent (replace the operator's file):
    // waits while the stop question is about to be asked or open, and tells whether the work
    // may go on, that is, no stop was asked for.
    bool mayGoOn();

    // Runs call on the window thread, and returns once it has run; called on the window thread
    // itself, it runs at once.
    void runOnWindowThread(const std::function<void()>& call);

private:
    struct Call {
        const std::function<void()>* call;
        bool done = false;
    };

    Q_INVOKABLE void runCalls();
    void askNow();
    void setQuestionPending(bool pending);

    Prompts& m_prompts;
    QPointer<QWidget> m_window;
    QString m_stopQuestion;
    bool m_asking = false;
    int m_callsRunning = 0;  // calls of working threads running now, on the window thread
    std::mutex m_questionMutex;
    std::condition_variable m_questionClosed;
    bool m_questionPending = false;  // guarded by m_questionMutex
    std::atomic<bool> m_stop = false;
    // Calls handed over by the working threads. A standard mutex, not only Qt's queue, orders
    // them, so that ThreadSanitizer sees every hand-over.
    std::mutex m_callsMutex;
    std::condition_variable m_callRan;
    std::deque<Call*> m_calls;  // guarded by m_callsMutex
};

// A ProgressWindow that may be driven from a working thread: each call runs on the window
// thread, and the caller waits for it, so the steps show in the order they were made.
class WindowThreadProgress final : public ProgressSink {
public:
    WindowThreadProgress(WindowWaiter& waiter, ProgressWindow& window)
        : m_waiter(waiter), m_window(window)
    {
    }

    void reset() override;
    void setCaption(const std::string& caption) override;
    void setLine1(const std::string& text) override;
    void setLine2(const std::string& text) override;
    void setRange(ProgressBar bar, std::uint16_t maximum) override;
    void setPosition(ProgressBar bar, int position) override;
    void setStep(ProgressBar bar, int step) override;
    void stepIt(ProgressBar bar) override;
    void refresh() override;
    void hide() override;

private:
    WindowWaiter& m_waiter;
    ProgressWindow& m_window;
};
