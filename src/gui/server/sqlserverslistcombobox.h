#pragma once

#include <QColor>
#include <QComboBox>
#include <QPalette>

namespace zt::discovery {
class TServersSearcher;
}

namespace zt::gui {

// Page 1's server box: an editable combo box that fills its own list with the SQL Servers it
// finds, searching in the background once it has been loaded with its window. While the search
// runs the box is disabled and shows the tip text in TipFontColor.
class TSQLServersListComboBox : public QComboBox
{
    Q_OBJECT
    Q_PROPERTY(bool RefreshAfterCreate READ refreshAfterCreate WRITE setRefreshAfterCreate STORED true)
    Q_PROPERTY(QColor TipFontColor READ tipFontColor WRITE setTipFontColor STORED true)

public:
    explicit TSQLServersListComboBox(QWidget *parent = nullptr);
    ~TSQLServersListComboBox() override;
    Q_DISABLE_COPY_MOVE(TSQLServersListComboBox)

    bool refreshAfterCreate() const { return m_refreshAfterCreate; }
    void setRefreshAfterCreate(bool refresh) { m_refreshAfterCreate = refresh; }
    QColor tipFontColor() const { return m_tipFontColor; }
    void setTipFontColor(const QColor &color) { m_tipFontColor = color; }

    // Called by the owning window once its definition has been loaded (after setupUi): starts
    // the search unless RefreshAfterCreate is false.
    void loaded();

    bool isSearching() const { return m_runningSearch != nullptr; }
    // "正在搜索服务器...", drawn while the search runs.
    static QString tipText();
    // Top-left corner of the drawn tip text: one frame width in, vertically centred.
    QPoint tipTextPosition() const;

signals:
    // The search has ended and the box has been restored.
    void searchFinished();

protected:
    void paintEvent(QPaintEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void StartServerSearch();
    void ServerSearchDone();
    // Replaces the list by the names of a browse answer text; the box's text stays.
    void applyBrowseResult(const QString &browseText);
    // Stops a running search without touching the box again (destruction, application end).
    void abandonSearch();

    discovery::TServersSearcher *m_runningSearch = nullptr;
    bool m_wasEnabled = false;
    bool m_editWasEnabled = false;
    QPalette m_savedPalette;
    bool m_hadOwnPalette = false;
    QColor m_tipFontColor = QColor(0, 0, 255);
    QString m_savedText;
    bool m_refreshAfterCreate = true;
};

} // namespace zt::gui
