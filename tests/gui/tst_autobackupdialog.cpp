// Page 2's "自动备份…": the plan set in its dialog, a backup now, each set's last backup in the
// dialog and on the grid's rows, a failed one painted, the plan removed.
#include "embeddedsets.h"
#include "wizardfixture.h"

#include "accountset/form_zdbf.h"
#include "backupplan/planrun.h"
#include "form_zdbf_ui.h"

#include <QAction>
#include <QTableView>

using namespace zt;
using namespace zt::test::sets;
using zt::test::Embedded;
using zt::test::Wizard;

class TestAutoBackupDialog : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void planSetBackedUpNowShownAndRemoved();

private:
    QVariant rowData(const QString &number, int role) const;

    std::unique_ptr<Wizard> m_wizard;
};

void TestAutoBackupDialog::init()
{
    m_wizard = std::make_unique<Wizard>();
    QVERIFY(m_wizard->installation.isValid());
    install::heldValues() = {};
}

void TestAutoBackupDialog::cleanup()
{
    m_wizard.reset();
}


QVariant TestAutoBackupDialog::rowData(const QString &number, int role) const
{
    const QAbstractItemModel *model = m_wizard->p2()->DBGrid1->model();
    for (int r = 0; r < model->rowCount(); ++r) {
        if (model->index(r, 1).data().toString() == number)
            return model->index(r, 0).data(role);
    }
    return {};
}

void TestAutoBackupDialog::planSetBackedUpNowShownAndRemoved()
{
    registerSet(QStringLiteral("zt460"), QStringLiteral("甲"), QString());
    registerSet(QStringLiteral("zt461"), QStringLiteral("乙"), QString());
    m_wizard->toEmbeddedDirectoryTab();
    QCOMPARE(m_wizard->page2->autoBackupAction()->text(), QStringLiteral("自动备份…"));
    QVERIFY(m_wizard->p2()->DBGrid1->actions().contains(m_wizard->page2->autoBackupAction()));

    m_wizard->page2->autoBackupAction()->trigger();
    gui::TForm_ZDBF *dialog = m_wizard->page2->autoBackupDialog();
    QVERIFY(dialog && dialog->isVisible());
    Ui::form_zdbf *d = dialog->ui();
    QCOMPARE(dialog->windowTitle(), QStringLiteral("自动备份"));
    QCOMPARE(d->Label1->text(), QStringLiteral("服务器：(embedded)"));
    QCOMPARE(d->TableWidget1->rowCount(), 2);
    QCOMPARE(d->TableWidget1->item(1, 2)->text(), QStringLiteral("从未备份"));
    QVERIFY(d->RadioButton1->isChecked());
    QVERIFY(!d->BitBtn4->isEnabled()); // no plan to remove yet
    QVERIFY(d->Label5->text().contains(QStringLiteral("ztwizard-backup.timer")));

    // The chosen sets, none ticked: refused, the dialog stays.
    d->RadioButton2->click();
    d->BitBtn2->click();
    QCOMPARE(
        m_wizard->notifier.last().text, QStringLiteral("请选择要自动备份的账套，或选择“全部网络账套”。"));
    QVERIFY(dialog->isVisible());

    // zt461 ticked, two copies: backed up now; the plan itself is kept only on OK.
    d->TableWidget1->item(1, 0)->setCheckState(Qt::Checked);
    d->SpinBox1->setValue(2);
    d->BitBtn1->click();
    QCOMPARE(m_wizard->notifier.last().text, QStringLiteral("1 个账套备份成功，已校验。"));
    QVERIFY(dialog->isVisible());
    QCOMPARE(d->TableWidget1->item(1, 3)->text(), QStringLiteral("zt461_auto_1.bak"));
    QCOMPARE(d->TableWidget1->item(1, 3)->toolTip(),
        m_wizard->installation.dir() + QStringLiteral("data/backup/zt461_auto_1.bak"));
    QCOMPARE(d->TableWidget1->item(1, 4)->text(), QStringLiteral("成功"));
    QCOMPARE(d->TableWidget1->item(0, 2)->text(), QStringLiteral("从未备份"));
    QVERIFY(!backupplan::loadPlan(Embedded));

    d->BitBtn2->click();
    QVERIFY(!dialog->isVisible());
    const auto plan = backupplan::loadPlan(Embedded);
    QVERIFY(plan);
    QCOMPARE(plan->sets, QStringList { QStringLiteral("zt461") });
    QCOMPARE(plan->keep, 2);
    QVERIFY(rowData(QStringLiteral("zt461"), Qt::ToolTipRole)
                .toString()
                .startsWith(QStringLiteral("最近备份：")));

    // A set whose database went behind the page's back: the day's run fails for it, and the
    // listing paints its row and says why.
    registerSet(QStringLiteral("zt462"), QStringLiteral("丙"), QString());
    exec(QStringLiteral("master"), QStringLiteral("drop database zt462"));
    backupplan::Plan all = *plan;
    all.allSets = true;
    accountset::AccountSetObjects objects;
    const backupplan::RunResult run = backupplan::runPlan(objects, all);
    QCOMPARE(run.failures(), 1);
    m_wizard->p2()->PageControl1->setCurrentIndex(0);
    m_wizard->p2()->PageControl1->setCurrentIndex(1);
    QCOMPARE(rowData(QStringLiteral("zt462"), accountset::DirectoryModel::WarningRole).toBool(), true);
    QVERIFY(rowData(QStringLiteral("zt462"), Qt::ToolTipRole).toString().contains(QStringLiteral("失败")));
    QCOMPARE(rowData(QStringLiteral("zt460"), accountset::DirectoryModel::WarningRole).toBool(), false);

    m_wizard->page2->autoBackupAction()->trigger();
    QVERIFY(d->Label4->text().contains(QStringLiteral("1 个账套失败")));
    QVERIFY(d->BitBtn4->isEnabled());
    m_wizard->notifier.answerAsk = true;
    d->BitBtn4->click();
    QVERIFY(!dialog->isVisible());
    QVERIFY(!backupplan::loadPlan(Embedded));
    QVERIFY(!rowData(QStringLiteral("zt462"), accountset::DirectoryModel::WarningRole).toBool());
}

QTEST_MAIN(TestAutoBackupDialog)
#include "tst_autobackupdialog.moc"
