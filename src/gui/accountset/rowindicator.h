#pragma once

#include <QHeaderView>

class QTableView;

namespace zt::gui {

// The row indicator of a data grid: a narrow column at the left of the rows, empty but for a
// marker (a small black triangle pointing right) beside the current row, where a plain table
// would number its rows.
class RowIndicator final : public QHeaderView
{
    Q_OBJECT

public:
    // Becomes the grid's vertical header.
    explicit RowIndicator(QTableView *grid);
    Q_DISABLE_COPY_MOVE(RowIndicator)

    // The row that carries the marker, -1 when none does.
    int markedRow() const;

    QSize sizeHint() const override;

protected:
    void paintSection(QPainter *painter, const QRect &rect, int logicalIndex) const override;

private:
    QTableView *m_grid;
};

} // namespace zt::gui
