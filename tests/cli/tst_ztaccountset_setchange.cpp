// "rename" and "set-password" on the real road: FreeTDS to ztwizard-tds, seen from this
// workstation and from a second installation listing the same server.

#include "cliprocess.h"
#include "clitestbase.h"
#include "data/connection.h"
#include "store/localstore.h"
#include "tdsprocess.h"
#include "testinstallation.h"

#include <QTest>

using namespace Qt::StringLiterals;

using zt::test::CliResult;

namespace {

// This workstation's local row of the set: name and password, or empty when there is none.
QStringList localRow(const QString &dir, const QString &number)
{
    zt::data::Connection local;
    local.setConnectionString(zt::data::ConnectionString::localAccess(dir, QStringLiteral("MORVEK.mdb")));
    const auto result = local.backend().query(
        QStringLiteral("select ztmc, kl from ztxxb where ztbh=") + zt::store::sqlLiteral(number));
    if (result.rows.isEmpty())
        return {};
    return { result.rows.first().at(0).toString(), result.rows.first().at(1).toString() };
}

void execLocal(const QString &dir, const QString &sql)
{
    zt::data::Connection local;
    local.setConnectionString(zt::data::ConnectionString::localAccess(dir, QStringLiteral("MORVEK.mdb")));
    local.backend().execute(sql);
}

} // namespace

class TestZtAccountSetSetChange final : public zt::test::CliTestBase
{
    Q_OBJECT

public:
    TestZtAccountSetSetChange()
        : CliTestBase({ u"ZTWIZARD_LOGIN_PASSWORD="_s })
    { }

private slots:
    void init() { makeInstallation(); }
    void cleanup() { dropInstallation(); }

    void renameAndNewPasswordThroughTds();
};

void TestZtAccountSetSetChange::renameAndNewPasswordThroughTds()
{
    // This workstation's installation is the test's; the second workstation's is made below.
    const QString here = m_install->dir();
    zt::test::TdsProcess tds(here);
    QVERIFY(tds.port() > 0);
    const QString server = tds.serverName();
    const QStringList set { u"--server"_s, server, u"--db"_s, u"070"_s };
    const auto present = [](const QString &password) {
        return QStringList { u"ZTWIZARD_CURRENT_SET_PASSWORD="_s + password };
    };

    QVERIFY(login(server, u"sa"_s));
    QVERIFY(create(server, u"070"_s, u"旧名称"_s, { u"ZTWIZARD_SET_PASSWORD=old-Pw1"_s }));

    // A command line without the new name cannot be used; a wrong present password changes nothing.
    QCOMPARE(run(QStringList { u"rename"_s } + set, present(u"old-Pw1"_s)).exitCode, 2);
    const CliResult refused
        = run(QStringList { u"--json"_s, u"rename"_s } + set + QStringList { u"--name"_s, u"新名称"_s },
            present(u"old-pw1"_s));
    QCOMPARE(refused.exitCode, 1);
    QCOMPARE(refused.json.value(u"exit"_s).toInt(), 1);
    QVERIFY2(refused.err.startsWith(u"账套口令错误！账套【旧名称(070)】未修改。"_s), qPrintable(refused.err));
    const CliResult blank = run(
        QStringList { u"rename"_s } + set + QStringList { u"--name"_s, u"  "_s }, present(u"old-Pw1"_s));
    QCOMPARE(blank.exitCode, 1);
    QVERIFY2(blank.err.startsWith(u"账套名称不能为空！"_s), qPrintable(blank.err));
    QCOMPARE(run({ u"list"_s, u"--server"_s, server }).out, u"070\t旧名称\t%1\n"_s.arg(server));
    QCOMPARE(localRow(here, u"070"_s), (QStringList { u"旧名称"_s, u"old-Pw1"_s }));

    // The name: the directory row and this workstation's row change together.
    const CliResult renamed
        = run(QStringList { u"--json"_s, u"rename"_s } + set + QStringList { u"--name"_s, u" 新名称 "_s },
            present(u"old-Pw1"_s));
    QVERIFY2(renamed.exitCode == 0, qPrintable(renamed.err));
    QCOMPARE(renamed.json.value(u"directory_rows_changed"_s).toInt(), 1);
    QCOMPARE(renamed.json.value(u"local_rows_changed"_s).toInt(), 1);
    QCOMPARE(zt::test::rowTables(renamed.json), (QStringList { u"PBTOVRASQLBASEDATA"_s, u"ztxxb"_s }));
    QCOMPARE(
        zt::test::rowFields(renamed.json, u"PBTOVRASQLBASEDATA"_s).value(u"ztmc"_s).toString(), u"新名称"_s);
    QCOMPARE(zt::test::rowFields(renamed.json, u"ztxxb"_s).value(u"kl"_s).toString(), u"***"_s);
    QVERIFY(!renamed.out.contains(u"old-Pw1"_s) && !renamed.err.contains(u"old-Pw1"_s));
    QCOMPARE(run({ u"list"_s, u"--server"_s, server }).out, u"070\t新名称\t%1\n"_s.arg(server));
    QCOMPARE(localRow(here, u"070"_s), (QStringList { u"新名称"_s, u"old-Pw1"_s }));

    // A second workstation reads the directory: it sees the new name at its first listing.
    zt::test::TestInstallation there;
    QVERIFY(there.isValid());
    QCOMPARE(runIn(there.dir(), { u"login"_s, u"--server"_s, server, u"--user"_s, u"sa"_s }).exitCode, 0);
    QCOMPARE(
        runIn(there.dir(), { u"list"_s, u"--server"_s, server }).out, u"070\t新名称\t%1\n"_s.arg(server));

    // The password, from a file. A change that stops after the directory row says what changed and
    // what did not; run again, with the new password as the present one, it is finished.
    QTemporaryFile newPassword;
    const QStringList setPassword = QStringList { u"--json"_s, u"set-password"_s } + set
        + QStringList { u"--set-password-file"_s, zt::test::writeFile(newPassword, "new-Pw2\n") };
    execLocal(here,
        u"create trigger held before update on ztxxb begin select raise(abort, 'ztxxb is held'); end"_s);
    const CliResult half = run(setPassword, present(u"old-Pw1"_s));
    QCOMPARE(half.exitCode, 1);
    QVERIFY2(
        half.err.contains(u"网络账套目录中的账套【新名称(070)】已修改（口令），但本机账套列表未能修改："_s)
            && half.err.contains(u"ztxxb is held"_s) && half.err.contains(u"现在的口令请录入新口令"_s)
            && half.err.contains(
                u"再次运行：ztaccountset set-password --server \"%1\" --db \"070\""_s.arg(server)),
        qPrintable(half.err));
    QCOMPARE(half.json.value(u"directory_rows_changed"_s).toInt(), 1);
    QCOMPARE(localRow(here, u"070"_s), (QStringList { u"新名称"_s, u"old-Pw1"_s }));
    execLocal(here, u"drop trigger held"_s);
    const CliResult changed = run(setPassword, present(u"new-Pw2"_s));
    QVERIFY2(changed.exitCode == 0, qPrintable(changed.err));
    QCOMPARE(changed.json.value(u"current_password_from"_s).toString(), u"environment"_s);
    QCOMPARE(changed.json.value(u"set_password_from"_s).toString(), u"file"_s);
    for (const QString &secret : { u"old-Pw1"_s, u"new-Pw2"_s })
        QVERIFY2(!changed.out.contains(secret) && !changed.err.contains(secret), qPrintable(changed.out));
    QCOMPARE(localRow(here, u"070"_s), (QStringList { u"新名称"_s, u"new-Pw2"_s }));
    // The second workstation has no row of the set: nothing of its own list changes.
    QCOMPARE(localRow(there.dir(), u"070"_s), QStringList {});

    // Deleting asks the new password: the old one is refused, the set stays.
    const CliResult oldRefused
        = run(QStringList { u"delete"_s } + set, { u"ZTWIZARD_SET_PASSWORD=old-Pw1"_s });
    QCOMPARE(oldRefused.exitCode, 1);
    QVERIFY2(oldRefused.err.startsWith(u"账套口令错误！"_s), qPrintable(oldRefused.err));
    QCOMPARE(
        runIn(there.dir(), { u"list"_s, u"--server"_s, server }).out, u"070\t新名称\t%1\n"_s.arg(server));
    const CliResult deleted = run(QStringList { u"delete"_s } + set, { u"ZTWIZARD_SET_PASSWORD=new-Pw2"_s });
    QVERIFY2(deleted.exitCode == 0, qPrintable(deleted.err));
    QCOMPARE(runIn(there.dir(), { u"list"_s, u"--server"_s, server }).out, QString());
    QCOMPARE(localRow(here, u"070"_s), QStringList {});
}

QTEST_GUILESS_MAIN(TestZtAccountSetSetChange)
#include "tst_ztaccountset_setchange.moc"
