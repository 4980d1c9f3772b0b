#pragma once

#include "base/progresssink.h"

#include <cstddef>
#include <functional>
#include <iosfwd>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

// The progress of a device command on standard error, as one line: on a terminal rewritten in
// place ("37/253 · 3 in progress · 127.0.0.41 FTP : /RFA/Addrbook.cpe"), elsewhere one line per
// change when asked for, or nothing. Safe to call from the batch's threads.
class ProgressLine final : public ProgressSink {
public:
    enum class Mode { Off, InPlace, Lines };

    ProgressLine(std::ostream& err, Mode mode) : m_err(err), m_mode(mode) {}
    ~ProgressLine() override { clear(); }

    // A batch over total gateways. Its own lines (the window's captions and counts) are not
    // shown then: the line counts the gateways and tells the last step of any of them.
    void startBatch(std::size_t total);
    void gatewayStarted(const std::string& address);
    // A step of a gateway in a batch, as a transfer tells it: "FTP : /RFA/Addrbook.cpe", the
    // upper bar at position of maximum.
    void gatewayStep(const std::string& address, const std::string& step, int position,
                     std::uint16_t maximum);
    void gatewayLeft(const std::string& address);
    void gatewayEnded();
    // Runs print (which writes other lines) with the in-place line wiped, then redraws it.
    void above(const std::function<void()>& print);
    // Wipes the in-place line for good.
    void clear();

    void reset() override {}
    void setCaption(const std::string&) override {}
    void setLine1(const std::string& text) override;
    void setLine2(const std::string&) override {}
    void setRange(ProgressBar bar, std::uint16_t maximum) override;
    void setPosition(ProgressBar bar, int position) override;
    void setStep(ProgressBar bar, int step) override;
    void stepIt(ProgressBar bar) override;
    void refresh() override;
    void hide() override {}

private:
    std::string text() const;
    void draw();
    void wipe();

    std::ostream& m_err;
    const Mode m_mode;
    std::recursive_mutex m_mutex;
    std::size_t m_total = 0;
    std::size_t m_done = 0;
    // The gateways in progress with their last step, the one that told last at the back.
    std::vector<std::pair<std::string, std::string>> m_active;
    std::string m_address;
    std::string m_step;
    ProgressBarState m_upper;
    std::string m_shown;
    bool m_onScreen = false;
};
