#include "rowindicator.h"

#include <QPainter>
#include <QStyleOptionHeader>
#include <QTableView>

namespace zt::gui {

namespace {

constexpr int IndicatorWidth = 12;

} // namespace

RowIndicator::RowIndicator(QTableView *grid)
    : QHeaderView(Qt::Vertical, grid)
    , m_grid(grid)
{
    setSectionsClickable(false);
    setHighlightSections(false);
    setSectionResizeMode(QHeaderView::Fixed);
    // Compact rows of one line each, as the window file sets them on the header this one
    // replaces (a fresh header would size them for the font's tallest glyphs), never less than
    // one line of the grid's font.
    const QHeaderView *previous = grid->verticalHeader();
    const int rowHeight = qMax(previous->defaultSectionSize(), grid->fontMetrics().height() + 2);
    setMinimumSectionSize(qMin(previous->minimumSectionSize(), rowHeight));
    setDefaultSectionSize(rowHeight);
    grid->setWordWrap(false);
    grid->setTextElideMode(Qt::ElideRight);
    grid->setVerticalHeader(this);
    setFixedWidth(IndicatorWidth);
    // The marker moves with the current row; the grid may get a new model, hence a new
    // selection model, later.
    const auto follow = [this] {
        if (m_grid->selectionModel())
            connect(m_grid->selectionModel(), &QItemSelectionModel::currentChanged, viewport(),
                qOverload<>(&QWidget::update), Qt::UniqueConnection);
        viewport()->update();
    };
    follow();
    connect(this, &QHeaderView::sectionCountChanged, this, follow);
}

int RowIndicator::markedRow() const
{
    const QModelIndex current = m_grid->currentIndex();
    return current.isValid() ? current.row() : -1;
}

QSize RowIndicator::sizeHint() const
{
    return { IndicatorWidth, QHeaderView::sizeHint().height() };
}

void RowIndicator::paintSection(QPainter *painter, const QRect &rect, int logicalIndex) const
{
    // The section as the style draws a header section, without its text.
    painter->save();
    QStyleOptionHeader option;
    initStyleOption(&option);
    option.rect = rect;
    option.section = logicalIndex;
    option.text.clear();
    option.position = QStyleOptionHeader::Middle;
    style()->drawControl(QStyle::CE_Header, &option, painter, this);
    painter->restore();

    if (logicalIndex != markedRow())
        return;
    // A small triangle pointing right, in the middle of the section.
    const qreal h = qMin(rect.height() - 4, 8);
    const qreal w = h / 2 + 1;
    const QPointF centre = QRectF(rect).center();
    const QPointF marker[] = { { centre.x() - w / 2, centre.y() - h / 2 }, { centre.x() + w / 2, centre.y() },
        { centre.x() - w / 2, centre.y() + h / 2 } };
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    painter->setPen(Qt::NoPen);
    painter->setBrush(palette().color(QPalette::WindowText));
    painter->drawPolygon(marker, 3);
    painter->restore();
}

} // namespace zt::gui
