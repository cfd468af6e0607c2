#pragma once

#include "store/storedservers.h"

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

    // The servers this workstation has stored a login for: listed after the entries the box has
    // (and after what every search finds), those not in the list already. Replaces the stored
    // entries given before; the box's text and a selected entry stay.
    void setStoredServers(const QList<store::StoredServer> &servers);
    // The stored server an entry names (also an entry the search found), if any.
    std::optional<store::StoredServer> storedServer(int index) const;
    // "正在搜索服务器...", drawn while the search runs.
    static QString tipText();
    // Top-left corner of the drawn tip text: one frame width in, vertically centred.
    QPoint tipTextPosition() const;

signals:
    // The search has ended and the box has been restored.
    void searchFinished();
    // The user picked an entry from the list (the drop-down or the arrow keys); a name typed that
    // equals an entry is no pick.
    void serverPicked(int index);

protected:
    void paintEvent(QPaintEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void StartServerSearch();
    void ServerSearchDone();
    // Replaces the list by the names of a browse answer text; the box's text stays.
    void applyBrowseResult(const QString &browseText);
    // Appends the stored servers the list does not hold already, marked as stored entries.
    void addStoredEntries();
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
    QList<store::StoredServer> m_stored;
    bool m_typedNameEnding = false;
};

} // namespace zt::gui
