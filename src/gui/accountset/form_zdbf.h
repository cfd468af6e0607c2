#pragma once

#include "backupplan/backupstatus.h"

#include <QDialog>

#include <memory>

namespace Ui {
class form_zdbf;
}

namespace zt::gui {

// The dialog "自动备份" of the network account-set tab: the server's backup plan (on or off, the
// time of day, the copies kept, every set of the directory or the ticked ones) above each listed
// set's last backup (time, file, outcome) and the plan's last run. "确定&O" accepts the plan once
// it can be kept; "立即备份&B" and "删除计划&D" ask the page, which does the work and shows the
// dialog the outcome again.
class TForm_ZDBF final : public QDialog
{
    Q_OBJECT

public:
    explicit TForm_ZDBF(QWidget *parent = nullptr);
    ~TForm_ZDBF() override;
    Q_DISABLE_COPY_MOVE(TForm_ZDBF)

    Ui::form_zdbf *ui() const { return m_ui.get(); }

    struct ListedSet
    {
        QString number;
        QString name;
    };

    // Fills the fields from the plan (a new plan's defaults without one) and the sets' rows, and
    // shows the dialog window-modal.
    void openFor(
        const QString &server, const QList<ListedSet> &sets, const std::optional<backupplan::Plan> &plan);
    // Each row's last backup, and the plan's last run (a warning when it failed); whether the
    // system's timer is there to run the plan.
    void showStatus(const QList<backupplan::SetStatus> &statuses, const QString &lastRun, bool failed);
    void showTimer(bool installed);

    // The plan the fields describe.
    backupplan::Plan plan() const;

signals:
    void runRequested(); // "立即备份&B": the plan as the fields describe it, now
    void removeRequested(); // "删除计划&D", confirmed

private:
    void BitBtn1Click(); // back up now
    void BitBtn2Click(); // check the plan and accept
    void BitBtn3Click(); // cancel
    void BitBtn4Click(); // remove the plan
    void RadioButtonClick(); // the ticks count only for the chosen sets
    void fitColumns();

    std::unique_ptr<Ui::form_zdbf> m_ui;
    QString m_server;
    QDateTime m_since;
};

} // namespace zt::gui
