#include "widgets/windowwaiter.h"

#include "widgets/progresswindow.h"
#include "widgets/prompts.h"

#include <QScopeGuard>
#include <QThread>
#include <QTimer>
#include <QWidget>

#include <utility>

WindowWaiter::WindowWaiter(Prompts& prompts, QWidget* window, QString stopQuestion)
    : m_prompts(prompts), m_window(window), m_stopQuestion(std::move(stopQuestion))
{
}

WindowWaiter::~WindowWaiter() = default;

void WindowWaiter::runOnWindowThread(const std::function<void()>& call)
{
    if (QThread::currentThread() == thread()) {
        call();
        return;
    }
    Call handed{&call};
    std::unique_lock lock(m_callsMutex);
    m_calls.push_back(&handed);
    QMetaObject::invokeMethod(this, "runCalls", Qt::QueuedConnection);
    m_callRan.wait(lock, [&handed] { return handed.done; });
}

void WindowWaiter::runCalls()
{
    // A question asked while a call runs would hold the thread that handed it over.
    ++m_callsRunning;
    const auto done = qScopeGuard([this] { --m_callsRunning; });
    std::unique_lock lock(m_callsMutex);
    while (!m_calls.empty()) {
        Call* next = m_calls.front();
        m_calls.pop_front();
        lock.unlock();
        (*next->call)();
        lock.lock();
        next->done = true;
        m_callRan.notify_all();
    }
}

void WindowWaiter::askToStop()
{
    if (m_stopQuestion.isEmpty() || m_asking || m_stop)
        return;
    setQuestionPending(true);
    // Asked from the event loop, not from inside the handler of the key or the close.
    QTimer::singleShot(0, this, &WindowWaiter::askNow);
}

void WindowWaiter::setQuestionPending(bool pending)
{
    {
        const std::lock_guard lock(m_questionMutex);
        m_questionPending = pending;
    }
    m_questionClosed.notify_all();
}

bool WindowWaiter::mayGoOn()
{
    if (QThread::currentThread() != thread()) {
        std::unique_lock lock(m_questionMutex);
        m_questionClosed.wait(lock, [this] { return !m_questionPending; });
    }
    return !m_stop;
}

void WindowWaiter::askNow()
{
    if (m_asking)
        return;
    if (m_stop) {
        setQuestionPending(false);
        return;
    }
    // Inside a call a working thread handed over (a progress refresh lets timers run), the
    // question would hold that thread for as long as it stays open: ask once the call is done.
    if (m_callsRunning > 0) {
        QTimer::singleShot(0, this, &WindowWaiter::askNow);
        return;
    }
    m_asking = true;
    QWidget* parent = m_window.data();
    // The work may end, and its window let this waiter go, while the question is open.
    const QPointer<WindowWaiter> alive(this);
    const bool stop = m_prompts.confirm(parent, m_stopQuestion, Prompts::Icon::Question);
    if (alive.isNull())
        return;
    if (stop)
        m_stop = true;
    m_asking = false;
    setQuestionPending(false);
}

void WindowThreadProgress::reset()
{
    m_waiter.runOnWindowThread([this] { m_window.reset(); });
}

void WindowThreadProgress::setCaption(const std::string& caption)
{
    m_waiter.runOnWindowThread([&] { m_window.setCaption(caption); });
}

void WindowThreadProgress::setLine1(const std::string& text)
{
    m_waiter.runOnWindowThread([&] { m_window.setLine1(text); });
}

void WindowThreadProgress::setLine2(const std::string& text)
{
    m_waiter.runOnWindowThread([&] { m_window.setLine2(text); });
}

void WindowThreadProgress::setRange(ProgressBar bar, std::uint16_t maximum)
{
    m_waiter.runOnWindowThread([&] { m_window.setRange(bar, maximum); });
}

void WindowThreadProgress::setPosition(ProgressBar bar, int position)
{
    m_waiter.runOnWindowThread([&] { m_window.setPosition(bar, position); });
}

void WindowThreadProgress::setStep(ProgressBar bar, int step)
{
    m_waiter.runOnWindowThread([&] { m_window.setStep(bar, step); });
}

void WindowThreadProgress::stepIt(ProgressBar bar)
{
    m_waiter.runOnWindowThread([&] { m_window.stepIt(bar); });
}

void WindowThreadProgress::refresh()
{
    m_waiter.runOnWindowThread([this] { m_window.refresh(); });
}

void WindowThreadProgress::hide()
{
    m_waiter.runOnWindowThread([this] { m_window.hide(); });
}
