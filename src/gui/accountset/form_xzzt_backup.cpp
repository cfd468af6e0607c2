// Page 2's backup and restore of network account sets, offered by the grid's context menu.

#include "form_xzzt.h"

#include "ui_form_xzzt.h"

#include "accountset/backup.h"
#include "accountset/directory.h"
#include "accountset/form_hfzt.h"
#include "accountset/heldlogin.h"
#include "accountset/outcometext.h"
#include "data/dataerror.h"
#include "embedded/embeddedserver.h"
#include "filedialogs.h"
#include "install/installation.h"
#include "notifier.h"
#include "waitcursor.h"

#include <QAction>
#include <QDir>
#include <QInputDialog>

namespace zt::gui {

namespace {

const QString Tip = QStringLiteral("提示");
const QString BackupCaption = QStringLiteral("备份账套");

} // namespace

void Tform_xzzt::setUpBackupMenu()
{
    m_backupAction = new QAction(QStringLiteral("备份账套…"), this);
    m_restoreAction = new QAction(QStringLiteral("从备份恢复账套…"), this);
    m_ui->DBGrid1->setContextMenuPolicy(Qt::ActionsContextMenu);
    m_ui->DBGrid1->addAction(m_backupAction);
    m_ui->DBGrid1->addAction(m_restoreAction);
    connect(m_backupAction, &QAction::triggered, this, [this] { guarded([this] { BackupClick(); }); });
    connect(m_restoreAction, &QAction::triggered, this, [this] { guarded([this] { RestoreClick(); }); });
}

QString Tform_xzzt::chooseBackupFile(const QString &server, const QString &suggested)
{
    if (m_chooseBackupFile)
        return m_chooseBackupFile(server, suggested);
    if (embedded::isEmbeddedServerName(server)) {
        const QString folder = install::directory() + QStringLiteral("data/backup");
        QDir().mkpath(folder);
        return chooseSaveFile(
            this, BackupCaption, folder + u'/' + suggested, QStringLiteral("备份文件 (*.bak);;所有文件 (*)"));
    }
    return QInputDialog::getText(this, BackupCaption,
        QStringLiteral("备份文件（服务器上的路径；只写文件名时存入服务器的默认备份文件夹）："),
        QLineEdit::Normal, suggested);
}

void Tform_xzzt::BackupClick()
{
    if (!accountset::hasDirectoryRows(m_objects.ADOztgl))
        return;
    const accountset::DirectoryRow row = accountset::currentDirectoryRow(m_objects.ADOztgl);
    const QString server = m_ui->Edit1->text();
    const QString file = chooseBackupFile(server, accountset::backupFileName(row.number));
    if (file.isEmpty())
        return;

    WaitCursor wait(m_ui->DBGrid1);
    const accountset::BackupResult result
        = accountset::backupAccountSet(m_objects, heldLogin(), row.number, file);
    wait.restore();
    if (!result.succeeded()) {
        notifier().information(accountset::outcome::backupFailed(result.error), Tip);
        return;
    }
    notifier().information(accountset::outcome::backedUp(server, result.location), BackupCaption);
}

void Tform_xzzt::RestoreClick()
{
    if (!m_restoreDialog) {
        m_restoreDialog = new TForm_HFZT(this);
        connect(m_restoreDialog, &QDialog::accepted, this,
            [this] { guarded([this] { RestoreDialogAccepted(); }); });
    }
    m_restoreDialog->openFor(m_ui->Edit1->text());
}

void Tform_xzzt::RestoreDialogAccepted()
{
    const accountset::RestoreRequest request = m_restoreDialog->request();
    WaitCursor wait(m_ui->DBGrid1);
    accountset::RestoreResult result;
    {
        HeldLogin held(m_login, m_ui->server);
        accountset::CreationContext context;
        context.reportDirectoryError = [](const QString &message) { notifier().plain(message); };
        result = accountset::restoreAccountSet(m_objects, request, held.login(), context);
    }
    if (!result.succeeded()) {
        wait.restore();
        notifier().information(accountset::outcome::restoreFailed(result.error), Tip);
        return;
    }
    PageControl1Change(); // the restored set joins the listed directory
    wait.restore();
    notifier().information(accountset::outcome::restored(), QStringLiteral("从备份恢复账套"));
}

} // namespace zt::gui
