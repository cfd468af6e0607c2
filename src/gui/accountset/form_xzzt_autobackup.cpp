// Page 2's scheduled backups: the dialog "自动备份" from the grid's context menu, and each listed
// set's last backup on its row (tool tip; a failed one painted red).

#include "form_xzzt.h"

#include "ui_form_xzzt.h"
#include "ui_form_zdbf.h"

#include "accountset/directory.h"
#include "accountset/form_zdbf.h"
#include "accountset/heldlogin.h"
#include "backupplan/planrun.h"
#include "data/dataerror.h"
#include "notifier.h"
#include "waitcursor.h"

#include <QAction>
#include <QFile>
#include <QPainter>
#include <QStyledItemDelegate>

namespace zt::gui {

namespace {

const QString Caption = QStringLiteral("自动备份");

// Rows whose last backup failed are written in red.
class WarningRowDelegate final : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::QStyledItemDelegate;

protected:
    void initStyleOption(QStyleOptionViewItem *option, const QModelIndex &index) const override
    {
        QStyledItemDelegate::initStyleOption(option, index);
        if (index.data(accountset::DirectoryModel::WarningRole).toBool()) {
            option->palette.setColor(QPalette::Text, Qt::red);
            option->palette.setColor(QPalette::HighlightedText, QColor(255, 200, 200));
        }
    }
};

// The package installs the timer; a build run from its own folder has none.
bool timerInstalled()
{
    return QFile::exists(QStringLiteral("/usr/lib/systemd/system/ztwizard-backup.timer"))
        || QFile::exists(QStringLiteral("/lib/systemd/system/ztwizard-backup.timer"))
        || QFile::exists(QStringLiteral("/etc/systemd/system/ztwizard-backup.timer"));
}

QStringList listedNumbers(const QList<TForm_ZDBF::ListedSet> &sets)
{
    QStringList numbers;
    for (const TForm_ZDBF::ListedSet &s : sets)
        numbers << s.number;
    return numbers;
}

} // namespace

void Tform_xzzt::setUpAutoBackupMenu()
{
    m_autoBackupAction = new QAction(QStringLiteral("自动备份…"), this);
    m_ui->DBGrid1->addAction(m_autoBackupAction);
    m_ui->DBGrid1->setItemDelegate(new WarningRowDelegate(m_ui->DBGrid1));
    connect(
        m_autoBackupAction, &QAction::triggered, this, [this] { guarded([this] { AutoBackupClick(); }); });
}

namespace {

// The listed directory's sets, read by position: moving the current row would move the grid's.
QList<TForm_ZDBF::ListedSet> listedSets(const data::Query &q)
{
    QList<TForm_ZDBF::ListedSet> sets;
    if (!accountset::hasDirectoryRows(q))
        return sets;
    int numberColumn = -1, nameColumn = -1;
    for (int c = 0; c < q.columns().size(); ++c) {
        if (q.columns().at(c).name.compare(u"ztbh", Qt::CaseInsensitive) == 0)
            numberColumn = c;
        else if (q.columns().at(c).name.compare(u"ztmc", Qt::CaseInsensitive) == 0)
            nameColumn = c;
    }
    if (numberColumn < 0 || nameColumn < 0)
        return sets;
    for (int r = 0; r < q.rowCount(); ++r) {
        const QString number = accountset::trimmed(q.textAt(r, numberColumn));
        if (!number.isEmpty())
            sets.append({ number, q.textAt(r, nameColumn) });
    }
    return sets;
}

} // namespace

void Tform_xzzt::AutoBackupClick()
{
    const QString server = m_ui->Edit1->text();
    if (!m_autoBackupDialog) {
        m_autoBackupDialog = new TForm_ZDBF(this);
        connect(m_autoBackupDialog, &QDialog::accepted, this,
            [this] { guarded([this] { AutoBackupDialogAccepted(); }); });
        connect(m_autoBackupDialog, &TForm_ZDBF::runRequested, this,
            [this] { guarded([this] { AutoBackupRunNow(); }); });
        connect(m_autoBackupDialog, &TForm_ZDBF::removeRequested, this,
            [this] { guarded([this] { AutoBackupRemove(); }); });
    }
    std::optional<backupplan::Plan> plan;
    try {
        plan = backupplan::loadPlan(server);
    } catch (const data::DataError &e) {
        notifier().information(e.message(), Caption); // a damaged plan is set anew
    }
    m_autoBackupDialog->openFor(server, listedSets(m_objects.ADOztgl), plan);
    m_autoBackupDialog->showTimer(timerInstalled());
    WaitCursor wait(m_ui->DBGrid1);
    showAutoBackupStatus(plan);
}

// The server's plan; none where there is none or it cannot be read (the dialog says so).
std::optional<backupplan::Plan> Tform_xzzt::storedPlan() const
{
    try {
        return backupplan::loadPlan(m_ui->Edit1->text());
    } catch (const data::DataError &) {
        return std::nullopt;
    }
}

void Tform_xzzt::showAutoBackupStatus(const std::optional<backupplan::Plan> &plan)
{
    const QString server = m_ui->Edit1->text();
    const backupplan::PlanState state = backupplan::loadState(server);
    QStringList numbers = listedNumbers(listedSets(m_objects.ADOztgl));
    if (plan) {
        for (const QString &number : plan->sets) {
            if (!numbers.contains(number, Qt::CaseInsensitive))
                numbers << number;
        }
    }
    const auto recorded = backupplan::recordedBackups(heldLogin());
    const QList<backupplan::SetStatus> statuses = backupplan::backupStatus(numbers, recorded, state);
    bool failed = !state.lastRunProblem.isEmpty();
    for (const backupplan::SetStatus &s : statuses)
        failed = failed || s.failed;
    if (m_autoBackupDialog && m_autoBackupDialog->isVisible())
        m_autoBackupDialog->showStatus(statuses, backupplan::lastRunText(plan, state), failed);
    showBackupNotes(plan.has_value(), statuses, state);
}

void Tform_xzzt::showBackupNotes(
    bool planned, const QList<backupplan::SetStatus> &statuses, const backupplan::PlanState &state)
{
    QHash<QString, accountset::DirectoryModel::RowNote> notes;
    for (const backupplan::SetStatus &s : statuses) {
        accountset::DirectoryModel::RowNote note;
        if (!state.lastRunProblem.isEmpty() && planned) {
            note.text = QStringLiteral("自动备份没有进行：") + state.lastRunProblem;
            note.warning = true;
        } else if (s.failed) {
            note.text = QStringLiteral("最近一次自动备份") + s.outcomeText();
            note.warning = true;
        } else if (s.lastBackup.isValid()) {
            note.text = QStringLiteral("最近备份：%1\n%2").arg(s.timeText(), s.file);
        } else if (planned) {
            note.text = QStringLiteral("还没有备份。");
        }
        if (!note.text.isEmpty())
            notes.insert(s.number.toCaseFolded(), note);
    }
    m_directoryModel->setRowNotes(notes);
}

// After a listing: the rows' notes, read only where the server has a plan (the history is one
// more question to the server).
void Tform_xzzt::noteBackupsAfterListing()
{
    const std::optional<backupplan::Plan> plan = storedPlan();
    if (!plan) {
        m_directoryModel->setRowNotes({});
        return;
    }
    showAutoBackupStatus(plan);
}

void Tform_xzzt::AutoBackupDialogAccepted()
{
    try {
        backupplan::savePlan(m_autoBackupDialog->plan());
    } catch (const data::DataError &e) {
        notifier().information(e.message(), Caption);
        return;
    }
    noteBackupsAfterListing();
}

void Tform_xzzt::AutoBackupRunNow()
{
    const backupplan::Plan plan = m_autoBackupDialog->plan();
    backupplan::RunResult run;
    {
        WaitCursor wait(m_autoBackupDialog->ui()->BitBtn1);
        run = backupplan::runPlan(m_objects, plan, backupplan::RunKind::Extra);
        showAutoBackupStatus(storedPlan());
    }
    if (run.skipped) {
        notifier().information(
            QStringLiteral("这台服务器的自动备份正在进行（由定时器或另一个窗口），请稍后再看。"), Caption);
    } else if (!run.problem.isEmpty()) {
        notifier().information(run.problem, Caption);
    } else if (run.failures() > 0) {
        QStringList lines;
        for (const backupplan::SetOutcome &s : run.sets) {
            if (!s.succeeded)
                lines << s.number + QStringLiteral("：") + s.error;
        }
        notifier().information(QStringLiteral("%1 个账套备份成功，%2 个出错：\n")
                                   .arg(run.sets.size() - run.failures())
                                   .arg(run.failures())
                + lines.join(u'\n'),
            Caption);
    } else {
        notifier().information(QStringLiteral("%1 个账套备份成功，已校验。").arg(run.sets.size()), Caption);
    }
}

void Tform_xzzt::AutoBackupRemove()
{
    backupplan::removePlan(m_ui->Edit1->text());
    m_autoBackupDialog->reject();
    m_directoryModel->setRowNotes({});
}

} // namespace zt::gui
