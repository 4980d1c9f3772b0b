#include "widgets/progresswindow.h"

#include "widgets/dialogunits.h"

#include <QCloseEvent>
#include <QApplication>
#include <QLabel>
#include <QProgressBar>

ProgressWindow::ProgressWindow(QWidget* owner)
    : QDialog(owner),
      m_line1Label(new QLabel(this)),
      m_line2Label(new QLabel(this)),
      m_upperBar(new QProgressBar(this)),
      m_lowerBar(new QProgressBar(this))
{
    setObjectName("progressWindow");
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    setWindowTitle("Titolo");
    setModal(false);

    const DialogUnits du(font());
    setFixedSize(du.size(217, 86));

    m_line1Label->setObjectName("line1Label");
    m_line2Label->setObjectName("line2Label");
    m_line1Label->setGeometry(du.rect(5, 10, 205, 10));
    m_line2Label->setGeometry(du.rect(5, 25, 205, 10));

    m_upperBar->setObjectName("upperBar");
    m_lowerBar->setObjectName("lowerBar");
    m_upperBar->setGeometry(du.rect(5, 50, 205, 10));
    m_lowerBar->setGeometry(du.rect(5, 65, 205, 10));
    for (QProgressBar* bar : {m_upperBar, m_lowerBar}) {
        bar->setTextVisible(false);
        applyBar(bar == m_upperBar ? ProgressBar::Upper : ProgressBar::Lower);
    }
}

void ProgressWindow::reset()
{
    setWindowTitle(QString());
    m_line1.clear();
    m_line2.clear();
    // Range and position only: the step is the caller's to set, as with the platform's bar.
    for (ProgressBar bar : {ProgressBar::Upper, ProgressBar::Lower}) {
        state(bar).setRange(0);
        state(bar).setPosition(0);
        applyBar(bar);
    }
    m_line1Label->setText(m_line1);
    m_line2Label->setText(m_line2);
}

void ProgressWindow::setCaption(const std::string& caption)
{
    setWindowTitle(QString::fromStdString(caption));
}

void ProgressWindow::setLine1(const std::string& text)
{
    m_line1 = QString::fromStdString(text);
}

void ProgressWindow::setLine2(const std::string& text)
{
    m_line2 = QString::fromStdString(text);
}

void ProgressWindow::setRange(ProgressBar bar, std::uint16_t maximum)
{
    state(bar).setRange(maximum);
    applyBar(bar);
}

void ProgressWindow::setPosition(ProgressBar bar, int position)
{
    state(bar).setPosition(position);
    applyBar(bar);
}

void ProgressWindow::setStep(ProgressBar bar, int step)
{
    state(bar).setStep(step);
}

void ProgressWindow::stepIt(ProgressBar bar)
{
    state(bar).stepIt();
    applyBar(bar);
}

void ProgressWindow::refresh()
{
    m_line1Label->setText(m_line1);
    m_line2Label->setText(m_line2);
    // Over the owner's windows always, but the keyboard is taken only from another window of
    // ours: an operator typing into another program while a long batch runs keeps the focus.
    const bool ourTurn = QApplication::activeWindow() != nullptr;
    setAttribute(Qt::WA_ShowWithoutActivating, !ourTurn);
    show();
    if (ourTurn) {
        raise();
        if (QApplication::activeWindow() != this)
            activateWindow();
    }
    // The caller keeps the thread busy after this returns, so the window must be on the screen
    // now: let the window system map and expose it (no user input, so no command can start
    // meanwhile), then paint the whole window, labels and bars included, before returning.
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    repaint();
}

void ProgressWindow::hide()
{
    QDialog::hide();
}

QString ProgressWindow::line1() const
{
    return m_line1;
}

QString ProgressWindow::line2() const
{
    return m_line2;
}

const ProgressBarState& ProgressWindow::barState(ProgressBar bar) const
{
    return bar == ProgressBar::Upper ? m_upperState : m_lowerState;
}

void ProgressWindow::closeEvent(QCloseEvent* event)
{
    // The close box only hides the window; its owner keeps it for the next operation.
    event->ignore();
    hide();
}

void ProgressWindow::reject()
{
    hide();
}

ProgressBarState& ProgressWindow::state(ProgressBar bar)
{
    return bar == ProgressBar::Upper ? m_upperState : m_lowerState;
}

QProgressBar* ProgressWindow::widget(ProgressBar bar)
{
    return bar == ProgressBar::Upper ? m_upperBar : m_lowerBar;
}

void ProgressWindow::applyBar(ProgressBar bar)
{
    const ProgressBarState& s = state(bar);
    QProgressBar* w = widget(bar);
    // QProgressBar turns a 0..0 range into a busy animation; the platform's bar just stays
    // empty, so an empty range is shown as 0 of 1.
    if (s.maximum() == 0) {
        w->setRange(0, 1);
        w->setValue(0);
    } else {
        w->setRange(0, s.maximum());
        w->setValue(s.position());
    }
}
