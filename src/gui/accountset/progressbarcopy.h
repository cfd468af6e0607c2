#pragma once

#include "accountset/filecopy.h"

class QProgressBar;

namespace zt::gui {

// Shows a file copy in a progress bar: the bar is made visible at position 0 and then follows
// the copied bytes. Files larger than the bar's integer range are shown in proportion. The bar
// repaints only when its picture changes, so a copy in small steps costs no needless painting.
class ProgressBarCopy final : public accountset::CopyProgress
{
public:
    explicit ProgressBarCopy(QProgressBar *bar);

    void start() override;
    void setRange(qint64 maximum) override;
    void setPosition(qint64 position) override;

    // Bytes per step of the bar (1 unless the file exceeds the bar's range).
    qint64 scale() const { return m_scale; }

private:
    QProgressBar *m_bar;
    qint64 m_scale = 1;
};

} // namespace zt::gui
