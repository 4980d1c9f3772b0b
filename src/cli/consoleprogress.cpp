#include "cli/consoleprogress.h"

#include "cli/jsontext.h"

#include <ostream>

void ConsoleProgress::reset()
{
    m_line1.clear();
    m_line2.clear();
    m_shownLine1.clear();
    m_shownLine2.clear();
    m_shownUpper = -1;
    m_upper.reset();
    m_lower.reset();
}

void ConsoleProgress::setCaption(const std::string& caption)
{
    if (!caption.empty())
        m_out << printableText(caption) << "\n" << std::flush;
}

void ConsoleProgress::setRange(ProgressBar bar, std::uint16_t maximum)
{
    state(bar).setRange(maximum);
}

void ConsoleProgress::setPosition(ProgressBar bar, int position)
{
    state(bar).setPosition(position);
}

void ConsoleProgress::setStep(ProgressBar bar, int step)
{
    state(bar).setStep(step);
}

void ConsoleProgress::stepIt(ProgressBar bar)
{
    state(bar).stepIt();
}

void ConsoleProgress::refresh()
{
    if (m_line2 != m_shownLine2 && !m_line2.empty()) {
        m_out << printableText(m_line2);
        if (m_lower.maximum() > 0)
            m_out << "  (" << m_lower.position() + 1 << " of " << m_lower.maximum() << ")";
        m_out << "\n";
        m_shownLine1.clear();
        m_shownUpper = -1;
    }
    m_shownLine2 = m_line2;
    if (!m_line1.empty() && (m_line1 != m_shownLine1 || m_upper.position() != m_shownUpper)) {
        m_out << "  " << printableText(m_line1);
        if (m_upper.maximum() > 0)
            m_out << "  [" << m_upper.position() << "/" << m_upper.maximum() << "]";
        m_out << "\n";
        m_shownLine1 = m_line1;
        m_shownUpper = m_upper.position();
    }
    m_out << std::flush;
}
