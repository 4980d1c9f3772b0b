#pragma once

#include <cstdint>
#include <string>

enum class ProgressBar { Upper, Lower };

// Where long operations report their progress: a caption, two lines and two bars. The window
// shows it; the command-line tool prints it; tests record it.
class ProgressSink {
public:
    virtual ~ProgressSink() = default;

    virtual void reset() = 0;
    virtual void setCaption(const std::string& caption) = 0;
    // Lines are stored and shown only at the next refresh.
    virtual void setLine1(const std::string& text) = 0;
    virtual void setLine2(const std::string& text) = 0;
    // Callers pass counts cut to their low 16 bits.
    virtual void setRange(ProgressBar bar, std::uint16_t maximum) = 0;
    virtual void setPosition(ProgressBar bar, int position) = 0;
    virtual void setStep(ProgressBar bar, int step) = 0;
    virtual void stepIt(ProgressBar bar) = 0;
    // Shows the stored lines and the window, painted before returning.
    virtual void refresh() = 0;
    virtual void hide() = 0;
};

// The arithmetic of one progress bar: range 0..maximum, clamped positions, and a step past the
// maximum that starts the bar over.
class ProgressBarState {
public:
    void reset();
    void setRange(std::uint16_t maximum);
    void setPosition(int position);
    void setStep(int step) { m_step = step; }
    void stepIt();

    std::uint16_t maximum() const { return m_maximum; }
    int position() const { return m_position; }
    int step() const { return m_step; }

private:
    std::uint16_t m_maximum = 0;
    int m_position = 0;
    int m_step = 10;
};
