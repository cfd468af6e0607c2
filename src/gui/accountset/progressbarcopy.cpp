#include "progressbarcopy.h"

#include <QProgressBar>

#include <limits>

namespace zt::gui {

ProgressBarCopy::ProgressBarCopy(QProgressBar *bar)
    : m_bar(bar)
{ }

void ProgressBarCopy::start()
{
    m_scale = 1;
    m_bar->setVisible(true);
    m_bar->setValue(0);
}

void ProgressBarCopy::setRange(qint64 maximum)
{
    constexpr qint64 largest = std::numeric_limits<int>::max();
    m_scale = maximum > largest ? maximum / largest + 1 : 1;
    // A range of 0 .. 0 would make the bar "busy"; an empty file leaves it empty instead.
    m_bar->setRange(0, qMax(1, static_cast<int>(qMax<qint64>(maximum, 0) / m_scale)));
}

void ProgressBarCopy::setPosition(qint64 position)
{
    m_bar->setValue(static_cast<int>(position / m_scale));
}

} // namespace zt::gui
