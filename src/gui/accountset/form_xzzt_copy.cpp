// Page 2's copy of a network account set to a new set on the same server, offered by the grid's
// context menu.

#include "form_xzzt.h"

#include "ui_form_xzzt.h"

#include "accountset/copying.h"
#include "accountset/directory.h"
#include "accountset/form_fzzt.h"
#include "accountset/heldlogin.h"
#include "notifier.h"
#include "waitcursor.h"

#include <QAction>

namespace zt::gui {

void Tform_xzzt::setUpCopyMenu()
{
    m_copyAction = new QAction(QStringLiteral("复制账套…"), this);
    m_ui->DBGrid1->setContextMenuPolicy(Qt::ActionsContextMenu);
    m_ui->DBGrid1->insertAction(m_checkAction, m_copyAction); // beside backup and restore
    connect(m_copyAction, &QAction::triggered, this, [this] { guarded([this] { CopyClick(); }); });
}

void Tform_xzzt::CopyClick()
{
    if (!accountset::hasDirectoryRows(m_objects.ADOztgl))
        return;
    if (!m_copyDialog) {
        m_copyDialog = new TForm_FZZT(this);
        connect(
            m_copyDialog, &QDialog::accepted, this, [this] { guarded([this] { CopyDialogAccepted(); }); });
    }
    m_copyDialog->openFor(m_ui->Edit1->text(), accountset::currentDirectoryRow(m_objects.ADOztgl));
}

void Tform_xzzt::CopyDialogAccepted()
{
    const accountset::CopyRequest request = m_copyDialog->request();
    WaitCursor wait(m_ui->DBGrid1);
    accountset::CopyResult result;
    {
        HeldLogin held(m_login, m_ui->server);
        result = accountset::copyAccountSet(m_objects, request, held.login());
    }
    PageControl1Change(); // the new set joins the listed directory
    wait.restore();
    notifier().information(accountset::copyOutcomeText(request, result),
        result.succeeded() ? QStringLiteral("复制账套") : QStringLiteral("提示"));
}

} // namespace zt::gui
