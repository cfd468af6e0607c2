#include "sqlserverslistcombobox.h"

#include "discovery/browse.h"
#include "discovery/serverssearcher.h"
#include "embedded/embeddedserver.h"

#include <QCoreApplication>
#include <QLineEdit>
#include <QPainter>
#include <QSignalBlocker>
#include <QStyle>

namespace zt::gui {

namespace {

// Marks the entries of stored servers, which a new list of stored servers replaces.
constexpr int StoredEntryRole = Qt::UserRole + 1;

} // namespace

TSQLServersListComboBox::TSQLServersListComboBox(QWidget *parent)
    : QComboBox(parent)
{
    // An entry the box selects because the name typed equals it is no pick: the line edit's end of
    // editing is watched before and after the box's own handling of it.
    auto *edit = new QLineEdit(this);
    connect(edit, &QLineEdit::editingFinished, this, [this] { m_typedNameEnding = true; });
    setLineEdit(edit);
    connect(edit, &QLineEdit::editingFinished, this, [this] { m_typedNameEnding = false; });
    connect(this, &QComboBox::activated, this, [this](int index) {
        if (!m_typedNameEnding)
            emit serverPicked(index);
    });
    // Only the search fills the list: a name typed and confirmed with Enter is not added to it.
    setInsertPolicy(QComboBox::NoInsert);
    if (auto *app = QCoreApplication::instance())
        connect(app, &QCoreApplication::aboutToQuit, this, &TSQLServersListComboBox::abandonSearch);
}

TSQLServersListComboBox::~TSQLServersListComboBox()
{
    abandonSearch();
}

QString TSQLServersListComboBox::tipText()
{
    return QStringLiteral("正在搜索服务器...");
}

void TSQLServersListComboBox::loaded()
{
    if (m_refreshAfterCreate)
        StartServerSearch();
}

void TSQLServersListComboBox::StartServerSearch()
{
    if (m_runningSearch)
        return;
    m_runningSearch = new discovery::TServersSearcher(&embedded::localServerNames);
    // The list is changed on this thread while the worker waits for it to be done.
    connect(m_runningSearch, &discovery::TServersSearcher::browsed, this,
        &TSQLServersListComboBox::applyBrowseResult, Qt::BlockingQueuedConnection);
    connect(m_runningSearch, &QThread::finished, this, &TSQLServersListComboBox::ServerSearchDone,
        Qt::QueuedConnection);

    m_wasEnabled = !testAttribute(Qt::WA_ForceDisabled);
    setEnabled(false);
    QLineEdit *edit = lineEdit();
    m_editWasEnabled = edit && !edit->testAttribute(Qt::WA_ForceDisabled);
    if (edit)
        edit->installEventFilter(this);

    m_hadOwnPalette = testAttribute(Qt::WA_SetPalette);
    m_savedPalette = palette();
    QPalette tipPalette = m_savedPalette;
    for (const QPalette::ColorRole role : { QPalette::Text, QPalette::WindowText, QPalette::ButtonText })
        tipPalette.setColor(role, m_tipFontColor);
    setPalette(tipPalette);

    m_savedText = currentText();
    setEditText(tipText());

    m_runningSearch->start();
    update();
}

void TSQLServersListComboBox::applyBrowseResult(const QString &browseText)
{
    const QStringList items = discovery::parseBrowseResult(browseText);
    const QString text = currentText();
    const QSignalBlocker blocker(this);
    setUpdatesEnabled(false);
    clear();
    addItems(items);
    // The stored servers outlive every search.
    addStoredEntries();
    // Filling the list selects nothing and leaves the text as it was.
    setCurrentIndex(-1);
    setEditText(text);
    setUpdatesEnabled(true);
    update();
}

void TSQLServersListComboBox::setStoredServers(const QList<store::StoredServer> &servers)
{
    m_stored = servers;
    const QString text = currentText();
    const QString selected = currentIndex() >= 0 ? itemText(currentIndex()) : QString();
    const bool wasSelected = currentIndex() >= 0;
    const QSignalBlocker blocker(this);
    for (int i = count() - 1; i >= 0; --i) {
        if (itemData(i, StoredEntryRole).toBool())
            removeItem(i);
    }
    addStoredEntries();
    setCurrentIndex(wasSelected ? findText(selected) : -1);
    setEditText(text);
}

std::optional<store::StoredServer> TSQLServersListComboBox::storedServer(int index) const
{
    if (index < 0 || index >= count())
        return std::nullopt;
    return store::findStoredServer(m_stored, itemText(index));
}

void TSQLServersListComboBox::addStoredEntries()
{
    QStringList listed;
    for (int i = 0; i < count(); ++i)
        listed.append(itemText(i));
    for (const store::StoredServer &server : store::storedServersBeyond(m_stored, listed)) {
        addItem(server.name);
        setItemData(count() - 1, true, StoredEntryRole);
    }
}

void TSQLServersListComboBox::ServerSearchDone()
{
    if (!m_runningSearch)
        return;
    QLineEdit *edit = lineEdit();
    if (edit) {
        edit->setEnabled(m_editWasEnabled);
        edit->removeEventFilter(this);
    }
    setPalette(m_hadOwnPalette ? m_savedPalette : QPalette());
    setEditText(m_savedText);
    if (m_wasEnabled)
        setEnabled(true);

    // finished() has been emitted, so the thread is about to return: the wait is short.
    delete m_runningSearch;
    m_runningSearch = nullptr;
    update();
    emit searchFinished();
}

void TSQLServersListComboBox::abandonSearch()
{
    if (!m_runningSearch)
        return;
    disconnect(m_runningSearch, nullptr, this, nullptr);
    // Releases a worker waiting for a list change that will now never be carried out.
    QCoreApplication::removePostedEvents(this, QEvent::MetaCall);
    if (QLineEdit *edit = lineEdit())
        edit->removeEventFilter(this);
    // Asks the worker to stop (it looks every few dozen milliseconds) and waits for it.
    delete m_runningSearch;
    m_runningSearch = nullptr;
}

QPoint TSQLServersListComboBox::tipTextPosition() const
{
    const int textHeight = fontMetrics().height();
    return { style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, this), (height() - textHeight) / 2 };
}

void TSQLServersListComboBox::paintEvent(QPaintEvent *event)
{
    QComboBox::paintEvent(event);
    if (!m_runningSearch || m_runningSearch->isInterruptionRequested())
        return;
    QPainter painter(this);
    painter.setPen(m_tipFontColor);
    const QString tip = tipText();
    const QFontMetrics metrics = fontMetrics();
    painter.drawText(QRect(tipTextPosition(), QSize(metrics.horizontalAdvance(tip), metrics.height())),
        Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, tip);
}

bool TSQLServersListComboBox::eventFilter(QObject *watched, QEvent *event)
{
    // While the tip is drawn, the edit part stays transparent so the tip shows once, in place.
    if (m_runningSearch && watched == lineEdit() && event->type() == QEvent::Paint)
        return true;
    return QComboBox::eventFilter(watched, event);
}

} // namespace zt::gui
