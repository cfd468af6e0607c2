// Page 2's way back after interrupted steps: "检查账套…" on the grid's menu, and the clean-up
// offered when a creation meets a database that an unfinished creation left behind.

#include "form_xzzt.h"

#include "accountset/outcometext.h"

#include "ui_form_xzzt.h"

#include "doctor/doctor.h"
#include "notifier.h"
#include "waitcursor.h"

#include <QAction>

namespace zt::gui {

namespace {

const QString Caption = QStringLiteral("检查账套");
const QString Ask = QStringLiteral("询问");

QString repairReport(const QList<doctor::RepairStep> &steps, const doctor::Examination &after)
{
    QStringList lines;
    for (const doctor::RepairStep &step : steps)
        lines << step.text
                + (step.kept.isEmpty() ? QString() : QStringLiteral("（保存在 %1）").arg(step.kept));
    lines << QString() << doctor::describe(after);
    return lines.join(u'\n');
}

} // namespace

void Tform_xzzt::setUpCheckMenu()
{
    m_checkAction = new QAction(QStringLiteral("检查账套…"), this);
    m_ui->DBGrid1->addAction(m_checkAction);
    connect(m_checkAction, &QAction::triggered, this, [this] { guarded([this] { CheckClick(); }); });
}

void Tform_xzzt::CheckClick()
{
    const QString server = m_ui->Edit1->text();
    if (server.isEmpty()) {
        notifier().information(accountset::outcome::serverNameEmpty(), QStringLiteral("提示"));
        return;
    }
    // Objects of its own: the grid's listing stays open while the doctor reads.
    accountset::AccountSetObjects objects;
    WaitCursor wait(m_ui->DBGrid1);
    const doctor::Examination found = doctor::examine(objects, server);
    wait.restore();
    if (found.findings.isEmpty()) {
        notifier().information(doctor::describe(found), Caption);
        return;
    }
    if (!notifier().ask(doctor::describe(found)
                + QStringLiteral("\n\n修复以上 %1 项吗？（删除之前先备份，行先保存，文件只移到一旁）")
                      .arg(found.findings.size()),
            Caption))
        return;
    WaitCursor working(m_ui->DBGrid1);
    doctor::Examination after;
    const QList<doctor::RepairStep> steps = doctor::repairAll(objects, server, {}, after);
    PageControl1Change(); // the directory as it is now
    working.restore();
    notifier().information(repairReport(steps, after), Caption);
}

bool Tform_xzzt::offerCleanUp(const QString &number)
{
    accountset::AccountSetObjects objects;
    const doctor::Examination found = doctor::examine(objects, m_ui->Edit1->text());
    const auto finding = doctor::unregisteredDatabase(found, number);
    if (!finding)
        return false;
    if (!notifier().ask(
            finding->title() + QStringLiteral("\n要清理这个未完成的账套（先备份，再删除）并重新创建吗？"),
            Ask))
        return false;
    doctor::Examination only = found;
    only.findings = { *finding };
    const QList<doctor::RepairStep> steps = doctor::repair(objects, only, {});
    if (steps.isEmpty() || !steps.first().done) {
        notifier().information(steps.isEmpty() ? QString() : steps.first().text, Caption);
        return false;
    }
    return true;
}

} // namespace zt::gui
