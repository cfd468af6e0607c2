#include "form_xzzt.h"

#include "ui_form_xzzt.h"

#include "install/installfiles.h"
#include "notifier.h"
#include "server/form_server.h"
#include "store/localstore.h"
#include "windowlook.h"

#include <QApplication>
#include <QCloseEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QShortcut>
#include <QShowEvent>
#include <QStandardItemModel>
#include <QTabBar>

namespace zt::gui {

Tform_xzzt::Tform_xzzt(QWidget *parent)
    : QWidget(parent)
    , m_ui(std::make_unique<Ui::form_xzzt>())
{
    m_ui->setupUi(this);

    applyWindowLook(this, QSize(468, 274));
    m_ui->Image1->setPixmap(QPixmap(bannerResource()));

    // Tabs as low as the page's controls need: the buttons at the foot of each tab end 205 pixels
    // down, which the toolkit's taller tabs would cut off.
    if (auto *tabs = m_ui->PageControl1->findChild<QTabBar *>())
        tabs->setStyleSheet(QStringLiteral("QTabBar::tab { height: 20px; padding: 0px 8px; }"));

    QPalette gridPalette = m_ui->DBGrid1->palette();
    for (auto group : { QPalette::Active, QPalette::Inactive, QPalette::Disabled })
        gridPalette.setColor(group, QPalette::Base, QColor(233, 240, 248));
    m_ui->DBGrid1->setPalette(gridPalette);
    // Until the directory is loaded the grid shows its two titles over no rows.
    auto *empty = new QStandardItemModel(0, 2, m_ui->DBGrid1);
    empty->setHorizontalHeaderLabels({ QStringLiteral("账套名称"), QStringLiteral("数据库名称") });
    m_ui->DBGrid1->setModel(empty);
    m_ui->DBGrid1->verticalHeader()->setFixedWidth(12);
    // The delete-password group lies over the grid and hides the rows beneath it.
    m_ui->GroupBox1->setAutoFillBackground(true);
    applyGridColumns();

    m_ui->BitBtn9->setIcon(buttonGlyph(QStringLiteral("help-contents"), QStyle::SP_DialogHelpButton));
    m_ui->BitBtn7->setIcon(buttonGlyph(QStringLiteral("go-previous"), QStyle::SP_ArrowBack));
    m_ui->BitBtn8->setIcon(buttonGlyph(QStringLiteral("application-exit"), QStyle::SP_DialogCloseButton));
    m_ui->BitBtn1->setIcon(buttonGlyph(QStringLiteral("document-new"), QStyle::SP_FileDialogNewFolder));
    m_ui->BitBtn4->setIcon(buttonGlyph(QStringLiteral("document-open"), QStyle::SP_FileIcon));
    m_ui->BitBtn2->setIcon(buttonGlyph(QStringLiteral("dialog-ok-apply"), QStyle::SP_DialogApplyButton));
    m_ui->BitBtn3->setIcon(buttonGlyph(QStringLiteral("edit-delete"), QStyle::SP_TrashIcon));
    m_ui->BitBtn5->setIcon(buttonGlyph(QStringLiteral("edit-delete"), QStyle::SP_DialogDiscardButton));
    m_ui->BitBtn6->setIcon(buttonGlyph(QStringLiteral("dialog-cancel"), QStyle::SP_DialogCancelButton));

    const auto onClick = [this](QPushButton *button, void (Tform_xzzt::*handler)()) {
        connect(button, &QPushButton::clicked, this,
            [this, handler] { guarded([this, handler] { (this->*handler)(); }); });
    };
    onClick(m_ui->BitBtn7, &Tform_xzzt::BitBtn7Click);
    onClick(m_ui->BitBtn8, &Tform_xzzt::BitBtn8Click);
    onClick(m_ui->BitBtn9, &Tform_xzzt::BitBtn9Click);
    onClick(m_ui->BitBtn1, &Tform_xzzt::BitBtn1Click);
    onClick(m_ui->BitBtn4, &Tform_xzzt::BitBtn4Click);
    onClick(m_ui->BitBtn2, &Tform_xzzt::BitBtn2Click);
    onClick(m_ui->BitBtn3, &Tform_xzzt::BitBtn3Click);
    onClick(m_ui->BitBtn5, &Tform_xzzt::BitBtn5Click);
    onClick(m_ui->BitBtn6, &Tform_xzzt::BitBtn6Click);
    connect(m_ui->PageControl1, &QTabWidget::currentChanged, this,
        [this] { guarded([this] { PageControl1Change(); }); });

    // "退出&X" is the window's cancel button.
    auto *escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(escape, &QShortcut::activated, m_ui->BitBtn8, &QPushButton::click);

    for (QWidget *field : { m_ui->Edit1, m_ui->Edit5, m_ui->Edit2, m_ui->Edit6, m_ui->Edit4 })
        field->installEventFilter(this);
    for (QWidget *button : { m_ui->BitBtn1, m_ui->BitBtn4, m_ui->BitBtn5 }) {
        button->setMouseTracking(true);
        button->installEventFilter(this);
    }
}

Tform_xzzt::~Tform_xzzt() = default;

void Tform_xzzt::applyGridColumns()
{
    QHeaderView *header = m_ui->DBGrid1->horizontalHeader();
    header->setDefaultAlignment(Qt::AlignCenter);
    header->setSectionResizeMode(QHeaderView::Interactive);
    header->resizeSection(0, 180);
    header->resizeSection(1, 100);
}

void Tform_xzzt::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (event->spontaneous())
        return;
    centreOnScreen(this);
    guarded([this] { FormShow(); });
}

void Tform_xzzt::closeEvent(QCloseEvent *event)
{
    event->accept();
    // "上一步&P" shows page 1 before closing this page. Closed any other way while page 1 is hidden,
    // no window would be left: the close box then ends the wizard as "退出&X" does.
    if (m_serverPage && !m_serverPage->isVisible())
        m_serverPage->close();
}

bool Tform_xzzt::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::KeyPress) {
        auto *keyEvent = static_cast<QKeyEvent *>(event);
        QChar key;
        if (keyEvent->key() == Qt::Key_Return || keyEvent->key() == Qt::Key_Enter)
            key = QChar(13);
        else if (!keyEvent->text().isEmpty())
            key = keyEvent->text().front();
        if (!key.isNull()) {
            if (watched == m_ui->Edit1)
                Edit1KeyPress(key);
            else if (watched == m_ui->Edit5)
                Edit5KeyPress(key);
            else if (watched == m_ui->Edit2)
                Edit2KeyPress(key);
            else if (watched == m_ui->Edit6)
                Edit6KeyPress(key);
            else if (watched == m_ui->Edit4)
                Edit4KeyPress(key);
        }
    } else if (event->type() == QEvent::MouseMove) {
        if (watched == m_ui->BitBtn1)
            BitBtn1MouseMove();
        else if (watched == m_ui->BitBtn4)
            BitBtn4MouseMove();
        else if (watched == m_ui->BitBtn5)
            BitBtn5MouseMove();
    }
    // The key goes on to the field in every case.
    return QWidget::eventFilter(watched, event);
}

void Tform_xzzt::FormShow()
{
    setWindowTitle(QStringLiteral("创建账套（MS SQL）"));
    m_ui->Edit1->clear();
    m_ui->Edit2->clear();
    m_ui->Edit6->clear();
    m_ui->Edit4->clear();
    m_ui->Edit5->clear();
    store::openLocalConfiguration(m_connTy, m_adoTy);
}

void Tform_xzzt::BitBtn7Click()
{
    m_serverPage->show();
    close();
}

void Tform_xzzt::BitBtn8Click()
{
    m_serverPage->close();
}

void Tform_xzzt::BitBtn9Click()
{
    m_serverPage->requestHelp();
}

namespace {

// Enter moves on to the next field: one Tab press (and release) goes to the focused widget after
// the Enter itself has been handled.
void enterAsTab(QChar key)
{
    if (key != QChar(13))
        return;
    QWidget *target = QApplication::focusWidget();
    if (!target)
        return;
    QCoreApplication::postEvent(
        target, new QKeyEvent(QEvent::KeyPress, Qt::Key_Tab, Qt::NoModifier, QStringLiteral("\t")));
    QCoreApplication::postEvent(
        target, new QKeyEvent(QEvent::KeyRelease, Qt::Key_Tab, Qt::NoModifier, QStringLiteral("\t")));
}

// A wait cursor left on a button by an operation goes back to the default cursor.
void resetWaitCursor(QWidget *button)
{
    if (button->testAttribute(Qt::WA_SetCursor) && button->cursor().shape() == Qt::WaitCursor)
        button->unsetCursor();
}

} // namespace

void Tform_xzzt::Edit1KeyPress(QChar key)
{
    enterAsTab(key);
}

void Tform_xzzt::Edit5KeyPress(QChar key)
{
    enterAsTab(key);
}

void Tform_xzzt::Edit2KeyPress(QChar key)
{
    enterAsTab(key);
}

void Tform_xzzt::Edit6KeyPress(QChar key)
{
    enterAsTab(key);
}

void Tform_xzzt::Edit4KeyPress(QChar key)
{
    enterAsTab(key);
}

void Tform_xzzt::BitBtn1MouseMove()
{
    resetWaitCursor(m_ui->BitBtn1);
}

void Tform_xzzt::BitBtn4MouseMove()
{
    resetWaitCursor(m_ui->BitBtn4);
}

void Tform_xzzt::BitBtn5MouseMove()
{
    resetWaitCursor(m_ui->BitBtn5);
}

void Tform_xzzt::BitBtn1Click()
{
    // Account-set creation.
}

void Tform_xzzt::BitBtn4Click()
{
    // Sample account set.
}

void Tform_xzzt::BitBtn2Click()
{
    // Network account-set selection.
}

void Tform_xzzt::BitBtn3Click()
{
    // Opening the delete-password group.
}

void Tform_xzzt::BitBtn5Click()
{
    // Network account-set deletion.
}

void Tform_xzzt::BitBtn6Click()
{
    // Closing the delete-password group.
}

void Tform_xzzt::PageControl1Change()
{
    // Loading the network account-set directory.
}

} // namespace zt::gui
