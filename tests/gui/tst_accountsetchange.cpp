// Page 2's "修改账套…" against the embedded server: the dialog's fields and checks, a wrong
// present password asked again, and the change in the directory, the local list and the grid.
#include "accountsetpagefixture.h"

#include "accountset/form_xgzt.h"
#include "form_xgzt_ui.h"

#include <QAction>

using namespace zt;
using namespace zt::test;

class TestAccountSetChange : public AccountSetPageTest
{
    Q_OBJECT

private slots:
    void init() { makeWizard(); }
    void cleanup() { m_wizard.reset(); }

    void dialogChangesNameAndPasswordOfTheSelectedSet();
};

void TestAccountSetChange::dialogChangesNameAndPasswordOfTheSelectedSet()
{
    registerOnServer({ { "zt701", "甲公司", "a" }, { "zt702", "乙公司", "old" } });
    {
        data::Connection c;
        data::Query q(QStringLiteral("local"));
        store::openLocalConfiguration(c, q);
        store::beginAccountSetRow(q,
            { QStringLiteral("zt702"), QStringLiteral("乙公司"), QDate(2024, 1, 2), QStringLiteral("old"),
                Embedded });
        q.post();
    }
    toPageTwo();
    listTab();
    selectGridRow(1);
    QAction *action = m_wizard->page2->changeAction();
    QCOMPARE(action->text(), QStringLiteral("修改账套…"));
    QVERIFY(m_wizard->p2()->DBGrid1->actions().contains(action));

    action->trigger();
    gui::TForm_XGZT *dialog = m_wizard->page2->changeDialog();
    QVERIFY(dialog && dialog->isVisible());
    Ui::form_xgzt *d = dialog->ui();
    QCOMPARE(dialog->windowTitle(), QStringLiteral("修改账套"));
    QCOMPARE(d->Edit1->text(), QStringLiteral("zt702"));
    QVERIFY(d->Edit1->isReadOnly());
    QCOMPARE(d->Edit2->text(), QStringLiteral("乙公司"));
    for (QLineEdit *field : { d->Edit3, d->Edit4, d->Edit5 }) {
        QVERIFY(field->text().isEmpty());
        QCOMPARE(field->echoMode(), QLineEdit::Password);
    }

    // The creation's checks, in the dialog, before anything is sent.
    const auto press = [&](const QString &expected) {
        d->BitBtn1->click();
        QCOMPARE(m_wizard->notifier.last().text, expected);
        QCOMPARE(m_wizard->notifier.last().caption, QStringLiteral("修改账套"));
        QVERIFY(dialog->isVisible());
    };
    press(QStringLiteral("没有要修改的内容：请录入新的账套名称或新的账套口令。"));
    d->Edit2->setText(QStringLiteral("  "));
    press(QStringLiteral("账套名称不能为空！"));
    d->Edit2->setText(QStringLiteral("丙公司"));
    d->Edit4->setText(QStringLiteral("new"));
    d->Edit5->setText(QStringLiteral("nex"));
    press(QStringLiteral("账套口令校验错误！"));
    QCOMPARE(dialog->focusWidget(), d->Edit4);

    // A wrong present password: nothing changes, the dialog comes back with what was typed.
    d->Edit5->setText(QStringLiteral("new"));
    d->Edit3->setText(QStringLiteral("Old"));
    d->BitBtn1->click();
    QCOMPARE(m_wizard->notifier.last().kind, QStringLiteral("error"));
    QCOMPARE(m_wizard->notifier.last().text, QStringLiteral("账套口令错误！账套【乙公司(zt702)】未修改。"));
    QVERIFY(dialog->isVisible());
    QCOMPARE(d->Edit2->text(), QStringLiteral("丙公司"));
    QVERIFY(d->Edit3->text().isEmpty());
    QCOMPARE(dialog->focusWidget(), d->Edit3);
    QCOMPARE(count(QStringLiteral("master"),
                 QStringLiteral("select * from PBTOVRASQLBASEDATA where ztmc=N'乙公司' and kl='old'")),
        1);

    d->Edit3->setText(QStringLiteral("old"));
    d->BitBtn1->click();
    QVERIFY(!dialog->isVisible());
    QCOMPARE(m_wizard->notifier.last().kind, QStringLiteral("information"));
    QCOMPARE(m_wizard->notifier.last().text,
        QStringLiteral("账套【乙公司(zt702)"
                       "】修改成功！\n新的账套名称：丙公司（其他电脑重新列出网络账套目录后即可看到）。\n"
                       "账套口令已修改，以后删除或修改此账套时请录入新口令。"));
    QCOMPARE(count(QStringLiteral("master"),
                 QStringLiteral(
                     "select * from PBTOVRASQLBASEDATA where ztbh='zt702' and ztmc=N'丙公司' and kl='new'")),
        1);
    QCOMPARE(count(QStringLiteral("master"),
                 QStringLiteral(
                     "select * from PBTOVRASQLBASEDATA where ztbh='zt701' and ztmc=N'甲公司' and kl='a'")),
        1);
    const LocalRow local = localRow(QStringLiteral("zt702"));
    QCOMPARE(local.count, 1);
    QCOMPARE(local.name, QStringLiteral("丙公司"));
    QCOMPARE(local.password, QStringLiteral("new"));
    QCOMPARE(
        gridColumn(0), QStringList({ QStringLiteral("甲公司"), QStringLiteral("丙公司") })); // listed again

    // Opened again: the present name, the password fields empty; Cancel changes nothing.
    selectGridRow(1);
    action->trigger();
    QCOMPARE(d->Edit2->text(), QStringLiteral("丙公司"));
    QVERIFY(d->Edit3->text().isEmpty());
    const int shown = int(m_wizard->notifier.messages.size());
    d->BitBtn2->click();
    QVERIFY(!dialog->isVisible());
    QCOMPARE(int(m_wizard->notifier.messages.size()), shown);

    // Another workstation changed the password since the listing: the listed one changes nothing.
    exec(QStringLiteral("master"),
        QStringLiteral("update PBTOVRASQLBASEDATA set kl='moved' where ztbh='zt702'"));
    action->trigger();
    d->Edit2->setText(QStringLiteral("丁公司"));
    d->Edit3->setText(QStringLiteral("new"));
    d->BitBtn1->click();
    QCOMPARE(m_wizard->notifier.last().kind, QStringLiteral("error"));
    QCOMPARE(m_wizard->notifier.last().text,
        QStringLiteral(
            "修改网络账套目录出错！网络账套目录中已没有口令如此的账套“zt702”（可能已被其他电脑删除或修改）。"
            "请重新列出网络账套目录后再修改。\n账套【丙公司(zt702)】未修改：网络账套目录和本机账套列表中都"
            "还是原来的名称。"));
    QCOMPARE(count(QStringLiteral("master"),
                 QStringLiteral("select * from PBTOVRASQLBASEDATA where ztmc=N'丙公司'")),
        1);
    QCOMPARE(localRow(QStringLiteral("zt702")).name, QStringLiteral("丙公司"));
}

QTEST_MAIN(TestAccountSetChange)
#include "tst_accountsetchange.moc"
