#include "form_xzzt.h"

#include "ui_form_xzzt.h"

#include "accountset/backup.h"
#include "accountset/creation.h"
#include "accountset/detachablegroup.h"
#include "accountset/directory.h"
#include "accountset/heldlogin.h"
#include "accountset/outcometext.h"
#include "accountset/progressbarcopy.h"
#include "accountset/rowindicator.h"
#include "accountset/sample.h"
#include "buttonkeys.h"
#include "data/dataerror.h"
#include "install/installfiles.h"
#include "notifier.h"
#include "passwordstars.h"
#include "server/form_server.h"
#include "store/localstore.h"
#include "waitcursor.h"
#include "windowlook.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QShowEvent>
#include <QTabBar>

#include <optional>

namespace zt::gui {

Tform_xzzt::Tform_xzzt(QWidget *parent)
    : QWidget(parent)
    , m_ui(std::make_unique<Ui::form_xzzt>())
{
    m_ui->setupUi(this);

    applyWindowLook(this, QSize(468, 274));
    m_ui->Image1->setPixmap(bannerPicture());

    // Tabs as low as the page's controls need: the buttons at the foot of each tab end 205 pixels
    // down, which the toolkit's taller tabs would cut off.
    if (auto *tabs = m_ui->PageControl1->findChild<QTabBar *>())
        tabs->setStyleSheet(QStringLiteral("QTabBar::tab { height: 20px; padding: 0px 8px; }"));

    QPalette gridPalette = m_ui->DBGrid1->palette();
    for (auto group : { QPalette::Active, QPalette::Inactive, QPalette::Disabled })
        gridPalette.setColor(group, QPalette::Base, QColor(233, 240, 248));
    m_ui->DBGrid1->setPalette(gridPalette);
    // The grid shows the directory result set; until the directory is listed, its two titles
    // over no rows. Its selected row is the current directory row, and the other way round.
    m_directoryModel = new accountset::DirectoryModel(&m_objects.ADOztgl, this);
    m_ui->DBGrid1->setModel(m_directoryModel);
    new RowIndicator(m_ui->DBGrid1);
    connect(m_ui->DBGrid1->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
        [this](const QModelIndex &current) {
            // While a row is being removed the view moves its selection on its own; the result
            // set decides which row is current afterwards.
            if (current.isValid() && !m_removingDirectoryRow)
                m_objects.ADOztgl.setCurrentRow(current.row());
        });
    connect(&m_objects.ADOztgl, &data::Query::currentRowChanged, this, [this](int row) {
        if (row < m_directoryModel->rowCount() && m_ui->DBGrid1->currentIndex().row() != row)
            m_ui->DBGrid1->setCurrentIndex(m_directoryModel->index(row, 0));
    });
    applyGridColumns();
    // The directory listed belongs to the server named in Edit1; another name empties it.
    connect(m_ui->Edit1, &QLineEdit::textChanged, this, [this] { relistWhenFilled(); });

    // The delete-password group lies over the grid and hides the rows beneath it; the user can
    // drag it off as a floating window. While it is shown, "删除&D" is the page's default button.
    m_ui->GroupBox1->setAutoFillBackground(true);
    m_deleteGroup = new DetachableGroup(m_ui->GroupBox1);
    for (QLineEdit *password : { m_ui->Edit6, m_ui->Edit4, m_ui->Edit3 })
        showPasswordAsStars(password);

    // "创建例子帐套&S" takes the place of "创建账套&A" on request: Ctrl+Shift+S anywhere on the
    // page, or the context menu of the first tab; the same again brings "创建账套&A" back.
    m_sampleAction = new QAction(QStringLiteral("创建例子帐套"), this);
    m_sampleAction->setCheckable(true);
    m_sampleAction->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S));
    m_sampleAction->setShortcutContext(Qt::WindowShortcut);
    addAction(m_sampleAction);
    m_ui->TabSheet3->setContextMenuPolicy(Qt::ActionsContextMenu);
    m_ui->TabSheet3->addAction(m_sampleAction);
    connect(m_sampleAction, &QAction::toggled, this, &Tform_xzzt::showSampleButton);
    setUpBackupMenu();
    setUpCheckMenu();
    setUpAutoBackupMenu();
    setUpChangeMenu();
    setUpCopyMenu();
    arrangeGridMenu();

    m_ui->BitBtn9->setIcon(buttonGlyph(QStringLiteral("standardbutton-help"), QStyle::SP_DialogHelpButton));
    m_ui->BitBtn7->setIcon(buttonGlyph(QStringLiteral("left"), QStyle::SP_ArrowBack));
    m_ui->BitBtn8->setIcon(buttonGlyph(QStringLiteral("standardbutton-close"), QStyle::SP_DialogCloseButton));
    m_ui->BitBtn1->setIcon(buttonGlyph(QStringLiteral("newdirectory"), QStyle::SP_FileDialogNewFolder));
    m_ui->BitBtn4->setIcon(buttonGlyph(QStringLiteral("file"), QStyle::SP_FileIcon));
    m_ui->BitBtn2->setIcon(buttonGlyph(QStringLiteral("standardbutton-apply"), QStyle::SP_DialogApplyButton));
    m_ui->BitBtn3->setIcon(buttonGlyph(QStringLiteral("trash"), QStyle::SP_TrashIcon));
    m_ui->BitBtn5->setIcon(
        buttonGlyph(QStringLiteral("standardbutton-delete"), QStyle::SP_DialogDiscardButton));
    m_ui->BitBtn6->setIcon(
        buttonGlyph(QStringLiteral("standardbutton-cancel"), QStyle::SP_DialogCancelButton));

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
    pressOnEscape(this, m_ui->BitBtn8);

    for (QWidget *field : { m_ui->Edit1, m_ui->Edit5, m_ui->Edit2, m_ui->Edit6, m_ui->Edit4 })
        field->installEventFilter(this);
    for (QWidget *button : { m_ui->BitBtn1, m_ui->BitBtn4, m_ui->BitBtn5 }) {
        button->setMouseTracking(true);
        button->installEventFilter(this);
    }
    pressFocusedButtonsOnEnter(this);
    new DefaultButton(m_ui->BitBtn5, { this, m_ui->GroupBox1 });
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

void Tform_xzzt::hideEvent(QHideEvent *event)
{
    QWidget::hideEvent(event);
    // A floating delete-password group goes back to its place with the page.
    if (!event->spontaneous())
        m_deleteGroup->dock();
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
    store::openLocalConfiguration(m_objects.Conn_Ty, m_objects.ADOTy);
    // The grid never shows another server's directory: it is emptied here and listed again once
    // page 1 has named the server.
    emptyDirectory();
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

namespace {

// Where a creation reports a directory row it could not append: a plain message; it goes on.
accountset::CreationContext creationContext(accountset::CopyProgress *progress)
{
    accountset::CreationContext context;
    context.progress = progress;
    context.reportDirectoryError = [](const QString &message) { notifier().plain(message); };
    return context;
}

const QString NewAccountSet = QStringLiteral("新增账套");
const QString Tip = QStringLiteral("提示");
const QString Ask = QStringLiteral("询问");

} // namespace

void Tform_xzzt::BitBtn1Click()
{
    const accountset::AccountSetFields input = fields();
    if (const auto problem = accountset::checkCreationInput(input, m_ui->Edit4->text())) {
        notifier().information(problem->message, NewAccountSet);
        if (problem->focus == accountset::InputProblem::Focus::Database)
            m_ui->Edit5->setFocus();
        else if (problem->focus == accountset::InputProblem::Focus::Name)
            m_ui->Edit2->setFocus();
        else if (problem->focus == accountset::InputProblem::Focus::Password)
            m_ui->Edit6->setFocus();
        return;
    }

    WaitCursor wait(m_ui->BitBtn1);
    ProgressBarCopy progress(m_ui->ProgressBar1);
    accountset::CreationResult result;
    {
        HeldLogin held(m_login, m_ui->server);
        result = accountset::createAccountSet(
            m_objects, input, creationMode(), held.login(), creationContext(&progress));
    }
    wait.restore();
    if (!result.succeeded()) {
        notifier().information(accountset::outcome::creationFailed(result.error), Tip);
        // A number that an interrupted creation left on the server: offered once to clean up
        // and create again.
        if (result.failedStep == accountset::CreationStep::Database
            && result.failedWith(data::servermessage::DatabaseExists)
            && offerCleanUp(accountset::trimmed(input.database)))
            BitBtn1Click();
        return;
    }

    if (notifier().question(accountset::outcome::created() + QStringLiteral("，现在就开始进入吗？"), Ask))
        launchFollowOn(QStringLiteral("账套已创建成功"));
    closeWizard();
}

void Tform_xzzt::BitBtn4Click()
{
    if (m_ui->Edit1->text().isEmpty()) {
        notifier().information(accountset::outcome::serverNameEmpty(), Tip);
        return;
    }

    // Errors go on to the standard error box; the guards still put the cursor back and keep the
    // login read.
    WaitCursor wait(m_ui->BitBtn4);
    m_ui->Edit5->setText(accountset::SampleNumber);
    m_ui->Edit2->setText(accountset::SampleName);
    accountset::SampleResult result;
    {
        HeldLogin held(m_login, m_ui->server);
        result = accountset::createSampleAccountSet(
            m_objects, fields(), creationMode(), held.login(), creationContext(nullptr));
    }
    if (!result.succeeded())
        throw data::DataError(result.error, result.errorNumbers);
    m_ui->Edit2->clear();
    m_ui->Edit4->clear();
    wait.restore();
    notifier().information(accountset::outcome::sampleCreated(), Tip);
}

data::ServerLogin Tform_xzzt::heldLogin() const
{
    return { m_ui->Edit1->text(), m_login.fragment };
}

accountset::AccountSetFields Tform_xzzt::fields() const
{
    return { m_ui->Edit1->text(), m_ui->Edit5->text(), m_ui->Edit2->text(), m_ui->Edit6->text() };
}

accountset::CreationMode Tform_xzzt::creationMode() const
{
    if (m_ui->CheckBox2->isChecked())
        return accountset::CreationMode::RentedBuild;
    if (m_ui->CheckBox3->isChecked())
        return accountset::CreationMode::RentedRegister;
    return accountset::CreationMode::Network;
}

void Tform_xzzt::showSampleButton(bool shown)
{
    m_ui->BitBtn4->setVisible(shown);
    m_ui->BitBtn1->setVisible(!shown);
}

void Tform_xzzt::launchFollowOn(const QString &ready)
{
    const install::LaunchOutcome launch = install::followOnLaunch();
    if (!launch.started())
        notifier().error(ready + QStringLiteral("，但无法启动 txt/runsoft.txt 指定的程序：\n") + launch.target
                + u'\n' + launch.problem,
            Tip);
}

void Tform_xzzt::closeWizard()
{
    m_serverPage->close();
}

void Tform_xzzt::arrangeForNetworkSets(const QString &serverName)
{
    m_ui->Edit1->setText(serverName);
    m_ui->CheckBox2->setEnabled(false);
    m_ui->CheckBox3->setEnabled(false);
    m_ui->CheckBox1->setEnabled(true);
    m_ui->CheckBox1->setChecked(true);
}

void Tform_xzzt::arrangeForRentedDatabase(const QString &serverName, const QString &userName)
{
    m_ui->Edit1->setText(serverName);
    m_ui->CheckBox2->setChecked(true);
    m_ui->CheckBox2->setEnabled(true);
    m_ui->CheckBox3->setEnabled(true);
    m_ui->CheckBox1->setEnabled(false);
    m_ui->Edit5->setText(userName);
    m_ui->Edit2->setText(userName);
}

// The network grid's menu in groups: the backups, the set itself, the doctor's look.
void Tform_xzzt::arrangeGridMenu()
{
    QTableView *grid = m_ui->DBGrid1;
    for (QAction *action : grid->actions())
        grid->removeAction(action);
    const auto separator = [this] {
        auto *line = new QAction(this);
        line->setSeparator(true);
        return line;
    };
    grid->addActions({ m_backupAction, m_restoreAction, m_autoBackupAction, separator(), m_copyAction,
        m_changeAction, separator(), m_checkAction });
}

} // namespace zt::gui
