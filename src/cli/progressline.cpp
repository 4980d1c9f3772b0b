#include "cli/progressline.h"

#include "cli/jsontext.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <ostream>

namespace {

// The line must fit the terminal, or a rewrite would leave its wrapped part behind.
std::size_t terminalWidth()
{
    winsize size{};
    if (::ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 1)
        return size.ws_col - 1;
    return 79;
}

// Cuts text to width characters, counting the middle dot's two bytes as one.
std::string cutTo(const std::string& text, std::size_t width)
{
    std::size_t shown = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if ((static_cast<unsigned char>(text[i]) & 0xC0) == 0x80)
            continue;
        if (++shown > width)
            return text.substr(0, i);
    }
    return text;
}

}  // namespace

void ProgressLine::startBatch(std::size_t total)
{
    const std::lock_guard lock(m_mutex);
    m_total = total;
}

void ProgressLine::gatewayStarted(const std::string& address)
{
    const std::lock_guard lock(m_mutex);
    m_address = printableText(address);
    m_active.emplace_back(m_address, std::string());
    draw();
}

void ProgressLine::gatewayStep(const std::string& address, const std::string& step, int position,
                               std::uint16_t maximum)
{
    const std::lock_guard lock(m_mutex);
    const std::string shown = printableText(address);
    const auto entry = std::find_if(m_active.begin(), m_active.end(),
                                    [&](const auto& active) { return active.first == shown; });
    if (entry == m_active.end())
        return;
    std::string text = printableText(step);
    if (maximum > 0)
        text += " [" + std::to_string(position) + "/" + std::to_string(maximum) + "]";
    m_active.erase(entry);
    m_active.emplace_back(shown, std::move(text));
    draw();
}

void ProgressLine::gatewayLeft(const std::string& address)
{
    const std::lock_guard lock(m_mutex);
    const std::string shown = printableText(address);
    const auto entry = std::find_if(m_active.begin(), m_active.end(),
                                    [&](const auto& active) { return active.first == shown; });
    if (entry != m_active.end())
        m_active.erase(entry);
}

void ProgressLine::gatewayEnded()
{
    const std::lock_guard lock(m_mutex);
    ++m_done;
    draw();
}

void ProgressLine::above(const std::function<void()>& print)
{
    const std::lock_guard lock(m_mutex);
    wipe();
    print();
    draw();
}

void ProgressLine::clear()
{
    const std::lock_guard lock(m_mutex);
    wipe();
}

void ProgressLine::setLine1(const std::string& text)
{
    const std::lock_guard lock(m_mutex);
    if (m_total > 0)
        return;
    m_step = printableText(text);
}

void ProgressLine::setRange(ProgressBar bar, std::uint16_t maximum)
{
    const std::lock_guard lock(m_mutex);
    if (m_total > 0)
        return;
    if (bar == ProgressBar::Upper)
        m_upper.setRange(maximum);
}

void ProgressLine::setPosition(ProgressBar bar, int position)
{
    const std::lock_guard lock(m_mutex);
    if (m_total > 0)
        return;
    if (bar == ProgressBar::Upper)
        m_upper.setPosition(position);
}

void ProgressLine::setStep(ProgressBar bar, int step)
{
    const std::lock_guard lock(m_mutex);
    if (m_total > 0)
        return;
    if (bar == ProgressBar::Upper)
        m_upper.setStep(step);
}

void ProgressLine::stepIt(ProgressBar bar)
{
    const std::lock_guard lock(m_mutex);
    if (m_total > 0)
        return;
    if (bar == ProgressBar::Upper)
        m_upper.stepIt();
}

void ProgressLine::refresh()
{
    const std::lock_guard lock(m_mutex);
    if (m_total > 0)
        return;
    draw();
}

std::string ProgressLine::text() const
{
    if (m_total > 0) {
        std::string line = std::to_string(m_done) + "/" + std::to_string(m_total) + " \u00B7 "
            + std::to_string(m_active.size()) + " in progress";
        if (m_active.empty())
            return line;
        const auto& [address, step] = m_active.back();
        return line + " \u00B7 " + address + (step.empty() ? "" : " " + step);
    }
    std::string line = m_address;
    if (!m_step.empty()) {
        line += (line.empty() ? "" : " ") + m_step;
        if (m_upper.maximum() > 0)
            line += " [" + std::to_string(m_upper.position()) + "/"
                + std::to_string(m_upper.maximum()) + "]";
    }
    return line;
}

void ProgressLine::draw()
{
    if (m_mode == Mode::Off)
        return;
    const std::string line = text();
    if (line.empty() || line == m_shown)
        return;
    m_shown = line;
    if (m_mode == Mode::Lines) {
        m_err << line << "\n" << std::flush;
        return;
    }
    m_err << "\r" << cutTo(line, terminalWidth()) << "\x1b[K" << std::flush;
    m_onScreen = true;
}

void ProgressLine::wipe()
{
    if (!m_onScreen)
        return;
    m_err << "\r\x1b[K" << std::flush;
    m_onScreen = false;
    m_shown.clear();
}
