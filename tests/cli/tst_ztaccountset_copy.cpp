// ztaccountset copy: a set copied to a new number on the same server through the real road
// (FreeTDS to ztwizard-tds), what it refuses with nothing made, and a copy cut short at each of its
// statements on the embedded server, named and mended by the doctor.

#include "cliprocess.h"
#include "clitestbase.h"
#include "data/connection.h"
#include "tdsprocess.h"
#include "testhelpers.h"

#include <QDir>
#include <QJsonArray>
#include <QRegularExpression>
#include <QTest>

using zt::test::CliResult;
using namespace zt;

namespace {

const QString Embedded = QStringLiteral("(embedded)");
const QString Sa = QStringLiteral("sa");

data::ConnectionString catalogOn(const QString &server, const QString &catalog)
{
    const data::Credentials login
        = server == Embedded ? data::Credentials::integrated() : data::Credentials::sql(Sa, QString());
    return data::ConnectionString::catalog(data::LoginFragment::fromLogin(login), catalog, server);
}

QList<QList<QVariant>> rowsOf(const QString &server, const QString &catalog, const QString &sql)
{
    data::Connection c;
    c.setConnectionString(catalogOn(server, catalog));
    return c.backend().query(sql).rows;
}

void execOn(const QString &server, const QString &catalog, const QString &sql)
{
    data::Connection c;
    c.setConnectionString(catalogOn(server, catalog));
    c.backend().execute(sql);
}

bool databaseOn(const QString &server, const QString &name)
{
    const auto rows = rowsOf(server, QStringLiteral("master"),
        QStringLiteral("select name from sys.databases where name = N'%1'").arg(name));
    return !rows.isEmpty();
}

QStringList files(const QString &folder, const QString &pattern)
{
    return QDir(folder).entryList({ pattern }, QDir::Files);
}

QStringList kinds(const QJsonObject &examination)
{
    QStringList names;
    for (const QJsonValue &f : examination.value(QStringLiteral("findings")).toArray())
        names << f.toObject().value(QStringLiteral("kind")).toString() + u':'
                + f.toObject().value(QStringLiteral("db")).toString();
    names.sort();
    return names;
}

} // namespace

class TestZtAccountSetCopy final : public zt::test::CliTestBase
{
    Q_OBJECT

public:
    TestZtAccountSetCopy()
        : CliTestBase({ QStringLiteral("ZTWIZARD_LOGIN_PASSWORD=") })
    { }

private slots:
    void init() { makeInstallation(); }
    void cleanup() { dropInstallation(); }

    void copyLifeCycleThroughTds();
    void cutShortCopiesAreBroughtBack_data();
    void cutShortCopiesAreBroughtBack();

private:
    CliResult copy(const QString &server, const QString &from, const QString &to, const QString &current,
        const QStringList &env = {})
    {
        return run({ QStringLiteral("--json"), QStringLiteral("copy"), QStringLiteral("--server"), server,
                       QStringLiteral("--db"), from, QStringLiteral("--to"), to, QStringLiteral("--name"),
                       QStringLiteral("%1的副本").arg(from) },
            QStringList { QStringLiteral("ZTWIZARD_SET_PASSWORD=new"),
                QStringLiteral("ZTWIZARD_CURRENT_SET_PASSWORD=") + current }
                + env);
    }
    QString backupFolder() const { return m_install->dir() + QStringLiteral("data/backup"); }
    QString notesFolder() const { return m_install->dir() + QStringLiteral("data/copies"); }
};

void TestZtAccountSetCopy::copyLifeCycleThroughTds()
{
    zt::test::TdsProcess tds(m_install->dir());
    QVERIFY(tds.port() > 0);
    const QString server = tds.serverName();
    QVERIFY(login(server, Sa));
    QVERIFY(create(server, QStringLiteral("070"), QStringLiteral("总店"),
        { QStringLiteral("ZTWIZARD_SET_PASSWORD=old") }));
    execOn(server, QStringLiteral("070"),
        QStringLiteral("create table pzmxb (id int, zy nvarchar(50), je decimal(18, 2)); "
                       "insert into pzmxb values (1, N'收到货款', 1250.50); "
                       "insert into pzmxb values (2, N'支付房租', -8000.00)"));
    const QString vouchers = QStringLiteral("select id, zy, je from pzmxb order by id");
    const QString accounts = QStringLiteral("select * from kjkmxxb order by xh");

    const CliResult copied
        = copy(server, QStringLiteral("070"), QStringLiteral("071"), QStringLiteral("old"));
    QVERIFY2(copied.exitCode == 0, qPrintable(copied.err));
    QCOMPARE(copied.json.value(QStringLiteral("command")).toString(), QStringLiteral("copy"));
    QCOMPARE(copied.json.value(QStringLiteral("ok")).toBool(), true);
    QCOMPARE(copied.json.value(QStringLiteral("db")).toString(), QStringLiteral("070"));
    QCOMPARE(copied.json.value(QStringLiteral("to")).toString(), QStringLiteral("071"));
    QCOMPARE(zt::test::rowTables(copied.json),
        (QStringList { QStringLiteral("ztxxb"), QStringLiteral("PBTOVRASQLBASEDATA") }));
    QCOMPARE(zt::test::rowFields(copied.json, QStringLiteral("ztxxb")).value(QStringLiteral("kl")).toString(),
        QStringLiteral("***"));
    const QString backup = copied.json.value(QStringLiteral("backup")).toString();
    QVERIFY2(
        QRegularExpression(QStringLiteral("/070_copy_071_\\d{8}_\\d{6}\\.bak$")).match(backup).hasMatch(),
        qPrintable(backup));
    QVERIFY(QFile::exists(backup)); // kept: the verified copy the new set was made from
    QVERIFY(copied.err.startsWith(
        QStringLiteral("账套复制成功！\n原账套：【总店(070)】\n新账套：【070的副本(071)】")));
    QCOMPARE(files(notesFolder(), QStringLiteral("*")), QStringList());

    // Both listed; the copy holds the source's data; the source still opens and is unchanged.
    QCOMPARE(run({ QStringLiteral("list"), QStringLiteral("--server"), server }).out,
        QStringLiteral("070\t总店\t%1\n071\t070的副本\t%1\n").arg(server));
    QCOMPARE(
        rowsOf(server, QStringLiteral("071"), vouchers), rowsOf(server, QStringLiteral("070"), vouchers));
    QCOMPARE(rowsOf(server, QStringLiteral("071"), vouchers).size(), 2);
    QCOMPARE(
        rowsOf(server, QStringLiteral("071"), accounts), rowsOf(server, QStringLiteral("070"), accounts));
    execOn(server, QStringLiteral("070"), QStringLiteral("insert into pzmxb values (3, N'之后', 1)"));
    QCOMPARE(rowsOf(server, QStringLiteral("071"), vouchers).size(), 2); // two sets, not one

    // Refused with nothing made: the copy's password is its own (the source's no longer opens it),
    // a number the directory lists, a database the server has.
    const QStringList backupsBefore = files(backupFolder(), QStringLiteral("*.bak"));
    const CliResult wrong = copy(server, QStringLiteral("071"), QStringLiteral("072"), QStringLiteral("old"));
    QCOMPARE(wrong.exitCode, 1);
    QCOMPARE(wrong.json.value(QStringLiteral("failed_step")).toString(), QStringLiteral("password"));
    QVERIFY2(wrong.err.contains(QStringLiteral("原账套的口令错误！没有复制。")), qPrintable(wrong.err));
    QVERIFY(!databaseOn(server, QStringLiteral("072")));
    const CliResult listedTarget
        = copy(server, QStringLiteral("071"), QStringLiteral("070"), QStringLiteral("new"));
    QCOMPARE(listedTarget.exitCode, 1);
    QVERIFY2(listedTarget.err.contains(
                 QStringLiteral("网络账套目录中已有账套“070”：请给新账套换一个数据库名称。")),
        qPrintable(listedTarget.err));
    execOn(server, QStringLiteral("master"), QStringLiteral("create database stray"));
    const CliResult strayTarget
        = copy(server, QStringLiteral("071"), QStringLiteral("stray"), QStringLiteral("new"));
    QCOMPARE(strayTarget.exitCode, 1);
    QVERIFY2(
        strayTarget.err.contains(QStringLiteral("服务器上已有数据库“stray”")), qPrintable(strayTarget.err));
    const CliResult same = copy(server, QStringLiteral("071"), QStringLiteral("071"), QStringLiteral("new"));
    QCOMPARE(same.exitCode, 1);
    QVERIFY(same.err.contains(QStringLiteral("新账套的数据库名称不能与原账套相同！")));
    QCOMPARE(files(backupFolder(), QStringLiteral("*.bak")), backupsBefore);
    QCOMPARE(files(notesFolder(), QStringLiteral("*")), QStringList());
    QCOMPARE(run({ QStringLiteral("list"), QStringLiteral("--server"), server }).out.count(u'\n'), 2);

    // The copy's own password opens it: it copies in turn.
    const CliResult again = copy(server, QStringLiteral("071"), QStringLiteral("072"), QStringLiteral("new"));
    QVERIFY2(again.exitCode == 0, qPrintable(again.err));
    QCOMPARE(
        rowsOf(server, QStringLiteral("072"), vouchers), rowsOf(server, QStringLiteral("071"), vouchers));
}

void TestZtAccountSetCopy::cutShortCopiesAreBroughtBack_data()
{
    QTest::addColumn<int>("killAt");
    // Statements counted from the first the command sends, its local reads included: a copy on the
    // embedded server sends 19 (the directory listed and read again, the server's databases, the
    // backup, its verification and its record, the restore's questions and the restore, the
    // registration's rows), then the command reports two rows. Cut before the 1st to 6th, nothing
    // is begun; before the 7th to 14th, the note is written and nothing is on the server; before
    // the 15th to 18th, the restored database is registered nowhere; before the 19th, it is in the
    // directory alone; before the 20th and 21st, the copy is done.
    for (int n = 1; n <= 21; ++n)
        QTest::addRow("statement %d", n) << n;
}

void TestZtAccountSetCopy::cutShortCopiesAreBroughtBack()
{
    QFETCH(int, killAt);
    const QString dir = m_install->dir();
    QVERIFY(login(Embedded));
    QVERIFY(create(Embedded, QStringLiteral("s1"), QStringLiteral("源"),
        { QStringLiteral("ZTWIZARD_SET_PASSWORD=old") }));
    zt::test::embeddedExec(QStringLiteral("s1"), QStringLiteral("insert into users (ID) values (777)"));
    const QString marker = QStringLiteral("select * from users where ID = 777");

    const CliResult killed = copy(Embedded, QStringLiteral("s1"), QStringLiteral("c1"), QStringLiteral("old"),
        { QStringLiteral("ZTWIZARD_KILL_AT_STATEMENT=%1").arg(killAt) });
    QVERIFY2(killed.exitCode == -1, qPrintable(QStringLiteral("not killed: ") + killed.err));
    const bool noted = !files(notesFolder(), QStringLiteral("c1.json")).isEmpty();
    const bool restored = databaseOn(Embedded, QStringLiteral("c1"));

    // The note is the doctor's finding, in place of the unregistered database it would name.
    const CliResult named
        = run({ QStringLiteral("--json"), QStringLiteral("doctor"), QStringLiteral("--server"), Embedded });
    const QJsonObject examination = named.json.value(QStringLiteral("examination")).toObject();
    const QStringList found = kinds(examination);
    QCOMPARE(found.contains(QStringLiteral("interrupted-copy:c1")), noted);
    QVERIFY2(!found.contains(QStringLiteral("unregistered-database:c1")), qPrintable(found.join(u' ')));
    QCOMPARE(examination.value(QStringLiteral("problems")).toArray().size(), 0);
    if (noted) {
        const QJsonArray findings = examination.value(QStringLiteral("findings")).toArray();
        for (const QJsonValue &f : findings) {
            if (f.toObject().value(QStringLiteral("kind")).toString()
                != QLatin1StringView("interrupted-copy"))
                continue;
            QVERIFY(f.toObject()
                        .value(QStringLiteral("title"))
                        .toString()
                        .startsWith(QStringLiteral("复制账套 s1 为账套 c1（s1的副本）的操作中途中断：")));
        }
    }

    // Mended: a left database is backed up, then dropped or (every other cut) registered.
    const bool finish = killAt % 2 == 0;
    QStringList repair { QStringLiteral("--json"), QStringLiteral("doctor"), QStringLiteral("--server"),
        Embedded, QStringLiteral("--repair"), QStringLiteral("--yes") };
    if (finish)
        repair << QStringLiteral("--finish") << QStringLiteral("--name") << QStringLiteral("补");
    const CliResult repaired = run(repair, { QStringLiteral("ZTWIZARD_SET_PASSWORD=new") });
    QVERIFY2(repaired.exitCode == 0, qPrintable(repaired.err));
    QCOMPARE(files(notesFolder(), QStringLiteral("*")), QStringList());
    QCOMPARE(run({ QStringLiteral("doctor"), QStringLiteral("--server"), Embedded }).exitCode, 0);

    // The source untouched throughout.
    QCOMPARE(rowsOf(Embedded, QStringLiteral("s1"), marker).size(), 1);
    const QString listed = run({ QStringLiteral("list"), QStringLiteral("--server"), Embedded }).out;
    QVERIFY(listed.startsWith(QStringLiteral("s1\t源\t(embedded)\n")));
    if (databaseOn(Embedded, QStringLiteral("c1"))) {
        // Finished under the name the copy was given, with its data.
        QVERIFY2(listed.contains(QStringLiteral("c1\ts1的副本\t(embedded)\n")), qPrintable(listed));
        QCOMPARE(rowsOf(Embedded, QStringLiteral("c1"), marker).size(), 1);
    } else {
        if (restored)
            QVERIFY(!files(backupFolder(), QStringLiteral("c1_*.bak")).isEmpty());
        // The way is open again.
        const CliResult again
            = copy(Embedded, QStringLiteral("s1"), QStringLiteral("c1"), QStringLiteral("old"));
        QVERIFY2(again.exitCode == 0, qPrintable(again.err));
        QCOMPARE(rowsOf(Embedded, QStringLiteral("c1"), marker).size(), 1);
        QCOMPARE(run({ QStringLiteral("doctor"), QStringLiteral("--server"), Embedded }).exitCode, 0);
    }
}

QTEST_GUILESS_MAIN(TestZtAccountSetCopy)
#include "tst_ztaccountset_copy.moc"
