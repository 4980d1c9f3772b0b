#include "support/recordingprogress.h"

RecordingProgress::RecordingProgress() : m_log(&m_ownLog) {}

RecordingProgress::RecordingProgress(std::vector<std::string>& sharedLog) : m_log(&sharedLog) {}

const char* progressBarName(ProgressBar bar)
{
    return bar == ProgressBar::Upper ? "upper" : "lower";
}

void RecordingProgress::reset()
{
    record("reset");
    m_caption.clear();
    m_line1.clear();
    m_line2.clear();
    m_shownLine1.clear();
    m_shownLine2.clear();
    m_upper.reset();
    m_lower.reset();
}

void RecordingProgress::setCaption(const std::string& caption)
{
    record("setCaption(" + caption + ")");
    m_caption = caption;
}

void RecordingProgress::setLine1(const std::string& text)
{
    record("setLine1(" + text + ")");
    m_line1 = text;
}

void RecordingProgress::setLine2(const std::string& text)
{
    record("setLine2(" + text + ")");
    m_line2 = text;
}

void RecordingProgress::setRange(ProgressBar bar, std::uint16_t maximum)
{
    record(std::string("setRange(") + progressBarName(bar) + "," + std::to_string(maximum) + ")");
    state(bar).setRange(maximum);
}

void RecordingProgress::setPosition(ProgressBar bar, int position)
{
    record(std::string("setPosition(") + progressBarName(bar) + "," + std::to_string(position)
           + ")");
    state(bar).setPosition(position);
}

void RecordingProgress::setStep(ProgressBar bar, int step)
{
    record(std::string("setStep(") + progressBarName(bar) + "," + std::to_string(step) + ")");
    state(bar).setStep(step);
}

void RecordingProgress::stepIt(ProgressBar bar)
{
    record(std::string("stepIt(") + progressBarName(bar) + ")");
    state(bar).stepIt();
}

void RecordingProgress::refresh()
{
    record("refresh");
    m_shownLine1 = m_line1;
    m_shownLine2 = m_line2;
    m_visible = true;
}

void RecordingProgress::hide()
{
    record("hide");
    m_visible = false;
}
