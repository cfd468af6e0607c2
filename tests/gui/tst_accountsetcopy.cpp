// Page 2's "复制账套…": the dialog for the grid's current row, its refusals, the copy on the
// embedded server and the directory listed again.
#include "accountsetpagefixture.h"

#include "accountset/form_fzzt.h"
#include "form_fzzt_ui.h"

#include <QAction>
#include <QDir>
#include <QRegularExpression>

using namespace zt;
using namespace zt::test;

class TestAccountSetCopy final : public AccountSetPageTest
{
    Q_OBJECT

private slots:
    void init() { makeWizard(); }
    void cleanup() { m_wizard.reset(); }

    void copyDialogCopiesTheCurrentRowAndListsIt();

private:
    gui::TForm_FZZT *openDialog()
    {
        m_wizard->page2->copyAction()->trigger();
        gui::TForm_FZZT *dialog = m_wizard->page2->copyDialog();
        return dialog && dialog->isVisible() ? dialog : nullptr;
    }
};

void TestAccountSetCopy::copyDialogCopiesTheCurrentRowAndListsIt()
{
    for (const QString &number : { QStringLiteral("zt450"), QStringLiteral("zt460") }) {
        exec(QStringLiteral("master"), QStringLiteral("create database ") + number);
        exec(number,
            QStringLiteral("create table t (a int, b nvarchar(10)); insert into t values (1, N'一'); "
                           "insert into t values (2, N'二')"));
    }
    registerOnServer({ { QStringLiteral("zt450"), QStringLiteral("丙"), QString() },
        { QStringLiteral("zt460"), QStringLiteral("甲"), QStringLiteral("pw") } });
    toPageTwo();
    listTab();
    QCOMPARE(gridColumn(1), (QStringList { QStringLiteral("zt450"), QStringLiteral("zt460") }));
    selectGridRow(1);

    // On the grid's menu beside backup and restore.
    QAction *action = m_wizard->page2->copyAction();
    QVERIFY(action);
    QCOMPARE(action->text(), QStringLiteral("复制账套…"));
    QStringList menu;
    for (const QAction *entry : m_wizard->p2()->DBGrid1->actions())
        menu << (entry->isSeparator() ? QStringLiteral("—") : entry->text());
    QCOMPARE(menu,
        (QStringList { QStringLiteral("备份账套…"), QStringLiteral("从备份恢复账套…"),
            QStringLiteral("自动备份…"), QStringLiteral("—"), QStringLiteral("复制账套…"),
            QStringLiteral("修改账套…"), QStringLiteral("—"), QStringLiteral("检查账套…") }));

    gui::TForm_FZZT *dialog = openDialog();
    QVERIFY(dialog);
    Ui::form_fzzt *d = dialog->ui();
    QCOMPARE(dialog->windowTitle(), QStringLiteral("复制账套"));
    QCOMPARE(d->Label7->text(), QStringLiteral("【甲(zt460)】"));
    QCOMPARE(d->Edit3->text(), QStringLiteral("甲")); // the new name starts as the source's

    // Each refusal keeps the dialog open with the field to mend in focus; nothing is made.
    struct Refusal
    {
        QString current, number, name, password, again, message;
        QLineEdit *focus;
    };
    const QList<Refusal> refusals {
        { QStringLiteral("PW"), QStringLiteral("zt461"), QStringLiteral("乙"), QStringLiteral("k"),
            QStringLiteral("k"), QStringLiteral("原账套的口令错误！"), d->Edit1 },
        { QStringLiteral("pw"), QStringLiteral("  "), QStringLiteral("乙"), QStringLiteral("k"),
            QStringLiteral("k"), QStringLiteral("数据库名称不能为空！"), d->Edit2 },
        { QStringLiteral("pw"), QStringLiteral("ZT460"), QStringLiteral("乙"), QStringLiteral("k"),
            QStringLiteral("k"), QStringLiteral("新账套的数据库名称不能与原账套相同！"), d->Edit2 },
        { QStringLiteral("pw"), QStringLiteral("zt461"), QString(), QStringLiteral("k"), QStringLiteral("k"),
            QStringLiteral("账套名称不能为空！"), d->Edit3 },
        { QStringLiteral("pw"), QStringLiteral("zt461"), QStringLiteral("乙"), QStringLiteral("k"),
            QStringLiteral("x"), QStringLiteral("账套口令校验错误！"), d->Edit4 },
    };
    for (const Refusal &r : refusals) {
        d->Edit1->setText(r.current);
        d->Edit2->setText(r.number);
        d->Edit3->setText(r.name);
        d->Edit4->setText(r.password);
        d->Edit5->setText(r.again);
        d->BitBtn2->click();
        QCOMPARE(m_wizard->notifier.last().text, r.message);
        QCOMPARE(m_wizard->notifier.last().caption, QStringLiteral("复制账套"));
        QVERIFY(dialog->isVisible());
        QCOMPARE(dialog->focusWidget(), r.focus);
    }
    QVERIFY(!databaseExists(QStringLiteral("zt461")));

    d->Edit1->setText(QStringLiteral("pw"));
    d->Edit2->setText(QStringLiteral(" zt461 "));
    d->Edit3->setText(QStringLiteral("乙"));
    d->Edit4->setText(QStringLiteral("k"));
    d->Edit5->setText(QStringLiteral("k"));
    d->BitBtn2->click();
    QVERIFY(!dialog->isVisible());
    const auto &done = m_wizard->notifier.last();
    QCOMPARE(done.caption, QStringLiteral("复制账套"));
    const QString backupFolder
        = QDir::cleanPath(m_wizard->installation.dir() + QStringLiteral("data/backup"));
    QVERIFY2(QRegularExpression(
                 QStringLiteral("^账套复制成功！\n原账套：【甲\\(zt460\\)】\n新账套：【乙\\(zt461\\)】\n"
                                "备份文件（在本机上）：")
                 + QRegularExpression::escape(backupFolder)
                 + QStringLiteral("/zt460_copy_zt461_\\d{8}_\\d{6}\\.bak$"))
                 .match(done.text)
                 .hasMatch(),
        qPrintable(done.text));
    QCOMPARE(count(QStringLiteral("zt461"), QStringLiteral("select * from t")), 2);
    QCOMPARE(count(QStringLiteral("zt460"), QStringLiteral("select * from t")), 2);
    QCOMPARE(directoryRows(QStringLiteral("zt461")), 1);
    const LocalRow local = localRow(QStringLiteral("zt461"));
    QCOMPARE(local.count, 1);
    QCOMPARE(local.name, QStringLiteral("乙"));
    QCOMPARE(local.password, QStringLiteral("k"));
    QCOMPARE(local.net, QStringLiteral("是"));
    QCOMPARE(gridColumn(1),
        (QStringList { QStringLiteral("zt450"), QStringLiteral("zt460"), QStringLiteral("zt461") }));
    QVERIFY(!m_wizard->p2()->DBGrid1->testAttribute(Qt::WA_SetCursor));

    // The same number again: the dialog opens empty, the copy is refused by the directory, what
    // to do is said, and nothing more is registered.
    selectGridRow(1);
    QVERIFY(openDialog());
    QCOMPARE(d->Edit2->text(), QString());
    QCOMPARE(d->Edit1->text(), QString());
    d->Edit1->setText(QStringLiteral("pw"));
    d->Edit2->setText(QStringLiteral("zt461"));
    d->Edit4->setText(QStringLiteral("k"));
    d->Edit5->setText(QStringLiteral("k"));
    d->BitBtn2->click();
    QCOMPARE(m_wizard->notifier.last().text,
        QStringLiteral("网络账套目录中已有账套“zt461”：请给新账套换一个数据库名称。"));
    QCOMPARE(m_wizard->notifier.last().caption, QStringLiteral("提示"));
    QCOMPARE(directoryRows(QStringLiteral("zt461")), 1);
    QCOMPARE(gridColumn(1).size(), 3);
}

QTEST_MAIN(TestAccountSetCopy)
#include "tst_accountsetcopy.moc"
