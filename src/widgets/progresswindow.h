#pragma once

#include "base/progresssink.h"

#include <QDialog>

class QLabel;
class QProgressBar;

// The passive window that shows a transfer's progress. It has no buttons; the operation that
// drives it repaints it at each refresh, since the thread stays busy in between.
class ProgressWindow final : public QDialog, public ProgressSink {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ProgressWindow)

public:
    explicit ProgressWindow(QWidget* owner);

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

    QString line1() const;
    QString line2() const;
    const ProgressBarState& barState(ProgressBar bar) const;

protected:
    void closeEvent(QCloseEvent* event) override;
    void reject() override;

private:
    ProgressBarState& state(ProgressBar bar);
    QProgressBar* widget(ProgressBar bar);
    void applyBar(ProgressBar bar);

    QLabel* m_line1Label;
    QLabel* m_line2Label;
    QProgressBar* m_upperBar;
    QProgressBar* m_lowerBar;
    QString m_line1;
    QString m_line2;
    ProgressBarState m_upperState;
    ProgressBarState m_lowerState;
};
