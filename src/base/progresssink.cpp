#include "base/progresssink.h"

#include <algorithm>
#include <cstdint>

void ProgressBarState::reset()
{
    m_maximum = 0;
    m_position = 0;
    m_step = 10;
}

void ProgressBarState::setRange(std::uint16_t maximum)
{
    m_maximum = maximum;
    m_position = std::clamp(m_position, 0, static_cast<int>(m_maximum));
}

void ProgressBarState::setPosition(int position)
{
    m_position = std::clamp(position, 0, static_cast<int>(m_maximum));
}

void ProgressBarState::stepIt()
{
    // Wide arithmetic: a huge step must not overflow into a plausible position.
    const std::int64_t next = std::int64_t{m_position} + m_step;
    if (next > m_maximum || next < 0)
        m_position = 0;
    else
        m_position = static_cast<int>(next);
}
