// Page 2's change of a network account set's name or password, offered by the grid's context
// menu: the dialog "修改账套", then the change through the core and the directory listed again.

#include "form_xzzt.h"

#include "ui_form_xzzt.h"

#include "accountset/form_xgzt.h"
#include "accountset/setchange.h"
#include "notifier.h"
#include "waitcursor.h"

#include <QAction>

namespace zt::gui {

namespace {

const QString Caption = QStringLiteral("修改账套");

} // namespace

void Tform_xzzt::setUpChangeMenu()
{
    m_changeAction = new QAction(QStringLiteral("修改账套…"), this);
    m_ui->DBGrid1->addAction(m_changeAction);
    connect(m_changeAction, &QAction::triggered, this, [this] { guarded([this] { ChangeClick(); }); });
}

void Tform_xzzt::ChangeClick()
{
    if (!accountset::hasDirectoryRows(m_objects.ADOztgl))
        return;
    if (!m_changeDialog) {
        m_changeDialog = new TForm_XGZT(this);
        connect(m_changeDialog, &QDialog::accepted, this,
            [this] { guarded([this] { ChangeDialogAccepted(); }); });
    }
    m_changeDialog->openFor(accountset::currentDirectoryRow(m_objects.ADOztgl));
}

void Tform_xzzt::ChangeDialogAccepted()
{
    const accountset::DirectoryRow &row = m_changeDialog->row();
    WaitCursor wait(m_ui->DBGrid1);
    const accountset::SetChangeResult result = accountset::changeAccountSet(
        m_objects, heldLogin(), row, m_changeDialog->presentPassword(), m_changeDialog->change());
    // The directory as it is now, also after a change that stopped half-way.
    if (result.directoryRowsChanged > 0)
        PageControl1Change();
    wait.restore();
    const QString text = accountset::setChangeText(result, row);
    if (result.succeeded()) {
        notifier().information(text, Caption);
        return;
    }
    notifier().error(text, Caption);
    if (result.failedStep == accountset::SetChangeStep::Password)
        m_changeDialog->askPresentPasswordAgain();
}

} // namespace zt::gui
