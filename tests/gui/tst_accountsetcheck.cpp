// Page 2's way back after interrupted steps: "检查账套…" on the grid's menu, and the clean-up a
// creation offers when an unfinished one left its database behind.
#include "wizardfixture.h"

#include <QAction>
#include <QDir>

using namespace zt;
using zt::test::Wizard;

namespace {

const QString Embedded = QStringLiteral("(embedded)");

void exec(const QString &catalog, const QString &sql)
{
    data::Connection c;
    c.setConnectionString(data::ConnectionString::catalog(
        data::LoginFragment::fromLogin(data::Credentials::integrated()), catalog, Embedded));
    c.backend().execute(sql);
}

} // namespace

class TestAccountSetCheck : public QObject
{
    Q_OBJECT

private slots:
    void checkMenuThenCreationAfterACutShortOne();
};

void TestAccountSetCheck::checkMenuThenCreationAfterACutShortOne()
{
    Wizard wizard;
    QVERIFY(wizard.installation.isValid());
    install::heldValues() = {};
    const QString dir = wizard.installation.dir();
    wizard.server->show();
    wizard.p1()->RadioButton1->click();
    wizard.p1()->SQLServersListComboBox1->setEditText(Embedded);
    QTest::mouseClick(wizard.p1()->BitBtn7, Qt::LeftButton);
    QVERIFY(wizard.page2->isVisible());
    QCoreApplication::processEvents();
    wizard.p2()->PageControl1->setCurrentIndex(1);

    // The menu names a per-set file of nothing and, once confirmed, moves it aside.
    QVERIFY(QFile::copy(
        dir + QStringLiteral("data/SysBase.mdb"), dir + QStringLiteral("data/SysBase/k9_S_SysBase.mdb")));
    QVERIFY(wizard.page2->checkAction());
    QCOMPARE(wizard.page2->checkAction()->text(), QStringLiteral("检查账套…"));
    wizard.page2->checkAction()->trigger();
    const auto &asked = wizard.notifier.messages.at(wizard.notifier.messages.size() - 2);
    QCOMPARE(asked.kind, QStringLiteral("ask"));
    QCOMPARE(asked.caption, QStringLiteral("检查账套"));
    QVERIFY2(asked.text.contains(QStringLiteral("k9_S_SysBase.mdb 不属于任何账套")), qPrintable(asked.text));
    QVERIFY2(wizard.notifier.last().text.endsWith(QStringLiteral(
                 "账套一致：本机账套列表、网络账套目录、服务器上的数据库和账套系统文件相符。")),
        qPrintable(wizard.notifier.last().text));
    QVERIFY(QFile::exists(dir + QStringLiteral("data/SysBase.aside/k9_S_SysBase.mdb")));

    // A creation cut short left k1 on the server: the page's message stands, then the offer to
    // clean up and create again.
    exec(QStringLiteral("master"), QStringLiteral("create database k1"));
    exec(QStringLiteral("k1"), QStringLiteral("create table ckdsz (xh int)"));
    wizard.p2()->PageControl1->setCurrentIndex(0);
    wizard.p2()->Edit5->setText(QStringLiteral("k1"));
    wizard.p2()->Edit2->setText(QStringLiteral("新账套"));
    wizard.p2()->Edit6->setText(QStringLiteral("pw"));
    wizard.p2()->Edit4->setText(QStringLiteral("pw"));
    wizard.notifier.clear();
    wizard.notifier.answerQuestion = false; // not started after the creation
    wizard.p2()->BitBtn1->click();
    const auto &shown = wizard.notifier.messages;
    QVERIFY(shown.size() >= 3);
    QCOMPARE(shown.at(0).text,
        QStringLiteral("新增账套出错！[ztwizard][SQL Server]Database 'k1' already exists. Choose a different "
                       "database name."));
    QCOMPARE(shown.at(1).kind, QStringLiteral("ask"));
    QVERIFY2(
        shown.at(1).text.endsWith(QStringLiteral("要清理这个未完成的账套（先备份，再删除）并重新创建吗？")),
        qPrintable(shown.at(1).text));
    QCOMPARE(shown.constLast().text, QStringLiteral("账套创建成功，现在就开始进入吗？"));
    QVERIFY(!QDir(dir + QStringLiteral("data/backup")).entryList({ QStringLiteral("k1_*.bak") }).isEmpty());
}

QTEST_MAIN(TestAccountSetCheck)
#include "tst_accountsetcheck.moc"
