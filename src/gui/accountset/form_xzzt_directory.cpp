// Page 2's network directory: the listing on the second tab, taking a listed set over and
// deleting it.

#include "form_xzzt.h"

#include "ui_form_xzzt.h"

#include "accountset/deletion.h"
#include "accountset/detachablegroup.h"
#include "accountset/directory.h"
#include "accountset/heldlogin.h"
#include "accountset/outcometext.h"
#include "accountset/progressbarcopy.h"
#include "accountset/takeover.h"
#include "data/dataerror.h"
#include "notifier.h"
#include "waitcursor.h"

#include <QScopedValueRollback>

#include <memory>

namespace zt::gui {

namespace {

const QString NewAccountSet = QStringLiteral("新增账套");
const QString Tip = QStringLiteral("提示");
const QString Ask = QStringLiteral("询问");
const QString DeleteAccountSet = QStringLiteral("删除账套");

} // namespace

void Tform_xzzt::BitBtn2Click()
{
    if (!accountset::hasDirectoryRows(m_objects.ADOztgl))
        return;
    const accountset::DirectoryRow row = accountset::currentDirectoryRow(m_objects.ADOztgl);

    class PageTakeOver final : public accountset::TakeOverFrontEnd
    {
    public:
        explicit PageTakeOver(QWidget *button)
            : m_button(button)
        { }
        bool confirm(const accountset::DirectoryRow &row) override
        {
            return notifier().confirm(accountset::selectionQuestion(row));
        }
        void takingOver() override { wait = std::make_unique<WaitCursor>(m_button); }
        std::unique_ptr<WaitCursor> wait;

    private:
        QWidget *m_button;
    } frontEnd(m_ui->BitBtn2);
    ProgressBarCopy progress(m_ui->ProgressBar1);
    const accountset::TakeOverResult result
        = accountset::takeOverAccountSet(m_objects, row, m_ui->Edit1->text(), &progress, frontEnd);
    frontEnd.wait.reset();
    if (result.alreadyListed) {
        notifier().information(accountset::outcome::alreadyListedLocally(), NewAccountSet);
        return;
    }
    // A local list that cannot be read goes on to the standard error box.
    if (result.failedStep == accountset::TakeOverStep::LocalCheck)
        throw data::DataError(result.error, result.errorNumbers);
    if (result.declined)
        return;
    if (result.failedStep) {
        notifier().information(accountset::outcome::takeOverFailed(result.error), Tip);
        return;
    }

    if (notifier().question(accountset::outcome::takenOver() + QStringLiteral("，现在就开始进入吗？"), Ask))
        launchFollowOn(QStringLiteral("网络账套已选择引入成功"));
    closeWizard();
}

void Tform_xzzt::BitBtn3Click()
{
    if (!accountset::hasDirectoryRows(m_objects.ADOztgl))
        return;
    if (!notifier().confirm(accountset::deletionQuestion(accountset::currentDirectoryRow(m_objects.ADOztgl))))
        return;
    m_deleteGroup->show();
    m_ui->Edit3->setFocus();
}

void Tform_xzzt::BitBtn5Click()
{
    if (!accountset::hasDirectoryRows(m_objects.ADOztgl))
        return;
    const accountset::DirectoryRow row = accountset::currentDirectoryRow(m_objects.ADOztgl);

    // The safety copy first; when it fails, the user decides whether to delete without one.
    class PageDeletion final : public accountset::DeletionFrontEnd
    {
    public:
        explicit PageDeletion(QWidget *button)
            : m_button(button)
        { }
        void stepStarting(accountset::DeletionStep) override
        {
            if (!wait)
                wait = std::make_unique<WaitCursor>(m_button);
        }
        bool deleteWithoutBackup(const QString &error) override
        {
            wait.reset();
            return notifier().ask(
                accountset::outcome::backupFailed(error) + QStringLiteral("\n不备份而直接删除此账套吗？"),
                Ask);
        }
        std::unique_ptr<WaitCursor> wait;

    private:
        QWidget *m_button;
    } frontEnd(m_ui->BitBtn5);

    accountset::DeletionResult result;
    {
        const QScopedValueRollback removing(m_removingDirectoryRow, true);
        result = accountset::deleteAccountSet(m_objects, heldLogin(), row, m_ui->Edit3->text(), frontEnd);
    }
    frontEnd.wait.reset();
    using accountset::DeletionStep;
    if (result.failedStep == DeletionStep::Password) {
        notifier().error(accountset::outcome::wrongSetPassword(), DeleteAccountSet);
        m_ui->Edit3->setFocus();
        return;
    }
    if (result.failedStep == DeletionStep::Backup) { // answered No: nothing deleted
        m_ui->GroupBox1->hide();
        return;
    }
    if (result.failedStep) { // the drop, or the row after it
        if (notifier().confirm(accountset::outcome::deletionFailed(result.error)
                + QStringLiteral(",可以删除账套目录,确定删除账套目录吗？")))
            deleteDirectoryRow(); // a failure here goes on to the standard error box; the group stays
        m_ui->GroupBox1->hide();
        return;
    }
    notifier().information(accountset::outcome::deleted(result.backup), DeleteAccountSet);
    m_ui->GroupBox1->hide();
}

void Tform_xzzt::BitBtn6Click()
{
    m_ui->GroupBox1->hide();
}

void Tform_xzzt::PageControl1Change()
{
    if (m_ui->PageControl1->currentIndex() != 1 || !m_ui->CheckBox1->isChecked())
        return;
    bool listed = false;
    {
        HeldLogin held(m_login, m_ui->server);
        listed = accountset::listDirectory(m_objects, m_ui->Edit1->text(), held.login()).listed;
    }
    if (listed)
        showDirectory();
}

void Tform_xzzt::showDirectory()
{
    m_directoryModel->bind();
    applyGridColumns();
    if (m_directoryModel->rowCount() > 0)
        m_ui->DBGrid1->setCurrentIndex(m_directoryModel->index(0, 0));
    noteBackupsAfterListing();
}

void Tform_xzzt::emptyDirectory()
{
    m_objects.ADOztgl.close();
}

void Tform_xzzt::relistWhenFilled()
{
    emptyDirectory();
    // Page 1 names the server and arranges the creation mode right after showing this page, in
    // one go: the listing waits until it has done both.
    if (!isVisible() || m_relistPending)
        return;
    m_relistPending = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            m_relistPending = false;
            if (isVisible())
                guarded([this] { PageControl1Change(); });
        },
        Qt::QueuedConnection);
}

void Tform_xzzt::deleteDirectoryRow()
{
    const QScopedValueRollback removing(m_removingDirectoryRow, true);
    accountset::deleteCurrentDirectoryRow(m_objects);
}

} // namespace zt::gui
