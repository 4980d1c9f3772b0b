#pragma once

#include "base/progresssink.h"

#include <iosfwd>
#include <string>

// Prints what the progress window would show, one line per change seen at a refresh:
// the gateway in hand (line 2, with the lower bar) and each step (line 1, with the upper bar).
class ConsoleProgress final : public ProgressSink {
public:
    explicit ConsoleProgress(std::ostream& out) : m_out(out) {}

    void reset() override;
    void setCaption(const std::string& caption) override;
    void setLine1(const std::string& text) override { m_line1 = text; }
    void setLine2(const std::string& text) override { m_line2 = text; }
    void setRange(ProgressBar bar, std::uint16_t maximum) override;
    void setPosition(ProgressBar bar, int position) override;
    void setStep(ProgressBar bar, int step) override;
    void stepIt(ProgressBar bar) override;
    void refresh() override;
    void hide() override {}

private:
    ProgressBarState& state(ProgressBar bar) { return bar == ProgressBar::Upper ? m_upper : m_lower; }

    std::ostream& m_out;
    std::string m_line1;
    std::string m_line2;
    std::string m_shownLine1;
    std::string m_shownLine2;
    int m_shownUpper = -1;
    ProgressBarState m_upper;
    ProgressBarState m_lower;
};
