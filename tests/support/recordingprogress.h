#pragma once

#include "base/progresssink.h"

#include <string>
#include <vector>

// A progress sink that writes down every call, in order, as text ("setLine1(Connecting...)",
// "setRange(upper,2)", "stepIt(upper)", "refresh"...), and keeps the state a window would show.
// Given a shared log, its calls interleave with those of other recording fakes.
class RecordingProgress final : public ProgressSink {
public:
    RecordingProgress();
    explicit RecordingProgress(std::vector<std::string>& sharedLog);

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

    const std::vector<std::string>& calls() const { return *m_log; }
    void clear() { m_log->clear(); }

    const std::string& caption() const { return m_caption; }
    // The lines as last pushed to the screen by refresh.
    const std::string& shownLine1() const { return m_shownLine1; }
    const std::string& shownLine2() const { return m_shownLine2; }
    bool visible() const { return m_visible; }
    const ProgressBarState& bar(ProgressBar bar) const
    {
        return bar == ProgressBar::Upper ? m_upper : m_lower;
    }

private:
    ProgressBarState& state(ProgressBar bar)
    {
        return bar == ProgressBar::Upper ? m_upper : m_lower;
    }
    void record(std::string call) { m_log->push_back(std::move(call)); }

    std::vector<std::string> m_ownLog;
    std::vector<std::string>* m_log;
    std::string m_caption;
    std::string m_line1;
    std::string m_line2;
    std::string m_shownLine1;
    std::string m_shownLine2;
    bool m_visible = false;
    ProgressBarState m_upper;
    ProgressBarState m_lower;
};

// "upper" or "lower", as the recorded calls name the bars.
const char* progressBarName(ProgressBar bar);
