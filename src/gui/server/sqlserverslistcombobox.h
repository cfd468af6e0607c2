#pragma once

#include <QColor>
#include <QComboBox>

namespace zt::gui {

// Page 1's server box: an editable combo box that fills its own list with the SQL Servers it
// finds, searching in the background once it has been loaded with its window.
class TSQLServersListComboBox : public QComboBox
{
    Q_OBJECT
    Q_PROPERTY(bool RefreshAfterCreate READ refreshAfterCreate WRITE setRefreshAfterCreate)
    Q_PROPERTY(QColor TipFontColor READ tipFontColor WRITE setTipFontColor)

public:
    explicit TSQLServersListComboBox(QWidget *parent = nullptr);
    ~TSQLServersListComboBox() override;

    bool refreshAfterCreate() const { return m_refreshAfterCreate; }
    void setRefreshAfterCreate(bool refresh) { m_refreshAfterCreate = refresh; }
    QColor tipFontColor() const { return m_tipFontColor; }
    void setTipFontColor(const QColor &color) { m_tipFontColor = color; }

    // Called by the owning window once its definition has been loaded (after setupUi).
    void loaded();

private:
    bool m_refreshAfterCreate = true;
    QColor m_tipFontColor = Qt::blue;
};

} // namespace zt::gui
