// The guarded road, end to end through ztaccountset, unixODBC and FreeTDS to ztwizard-tds: what
// an observer on the path reads, and what the guard refuses before any login leaves the
// workstation (another certificate, a downgrade, a reset first connection, a server without
// encryption, TDS 8.0), and how a user trusts a server deliberately.

#include "cliprocess.h"
#include "clitestbase.h"
#include "data/connection.h"
#include "data/query.h"
#include "guard/truststore.h"
#include "install/installation.h"
#include "roadrelay.h"
#include "tdsprocess.h"
#include "tls/certificate.h"

#include <QFile>
#include <QTest>

using namespace Qt::StringLiterals;
using namespace zt::test;

namespace {

const QString Admin = u"roadadmin"_s;
const QString Password = u"Geheim#Pfad7-Zugang"_s;
const QString SetPassword = u"Kennwort-des-Satzes-319"_s;

} // namespace

class TestGuardedRoad final : public CliTestBase
{
    Q_OBJECT

public:
    TestGuardedRoad()
        : CliTestBase({ u"ZTWIZARD_LOGIN_PASSWORD="_s + Password, u"ZTWIZARD_SET_PASSWORD="_s + SetPassword })
    { }

private slots:
    void init()
    {
        makeInstallation();
        QVERIFY(testCertificates().ok);
    }
    void cleanup() { dropInstallation(); }

    void refusalsBeforeTheLogin_data();
    void refusalsBeforeTheLogin();
    void anObserverReadsNothingOnEveryCommand();
    void aServersOwnCertificateIsTrustedDeliberately();
    void anUnencryptedServerIsAllowedDeliberately();

private:
    // Logs in as the administrator; what came of it.
    CliResult loginAsAdmin(const QString &server, const QStringList &more = {})
    {
        return run(QStringList { u"login"_s, u"--server"_s, server, u"--user"_s, Admin } + more);
    }
    // A SQL login with a password on the server, made through the guarded road as sa.
    void addAdmin(const TdsProcess &tds)
    {
        zt::data::Connection master;
        master.setConnectionString(zt::data::ConnectionString::master(
            zt::data::LoginFragment::fromLogin(zt::data::Credentials::sql(u"sa"_s, QString())),
            tds.serverName()));
        zt::data::Query q(u"admin"_s);
        q.setConnection(&master);
        q.addSql(u"create login roadadmin with password = '%1'"_s.arg(Password));
        q.execSql();
        q.clearSql();
        q.addSql(u"alter server role sysadmin add member roadadmin"_s);
        q.execSql();
    }
};

void TestGuardedRoad::refusalsBeforeTheLogin_data()
{
    QTest::addColumn<int>("relay"); // a RoadRelay::Mode, or -1 for none
    QTest::addColumn<QStringList>("serverArguments");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("says");

    using Mode = RoadRelay::Mode;
    QTest::newRow("certificate from the authority ZTWIZARD_CA_FILE names: no question")
        << int(Mode::Observe) << QStringList() << 0 << u"服务器连接记录已保存"_s;
    QTest::newRow("a relay with a certificate of its own")
        << int(Mode::Impostor) << QStringList() << 1 << u"出示的证书不能验证"_s;
    QTest::newRow("a relay that takes the encryption away")
        << int(Mode::Downgrade) << QStringList() << 1 << u"不提供加密连接"_s;
    QTest::newRow("a first connection reset: no second try as TDS 5.0")
        << int(Mode::ResetFirst) << QStringList() << 1 << u"连接服务器失败"_s;
    QTest::newRow("a server that speaks only TDS 8.0")
        << int(Mode::Observe) << QStringList { u"--encryption"_s, u"strict"_s } << 1 << u"TDS 8.0"_s;
    QTest::newRow("a server's own certificate, never trusted")
        << -1 << QStringList { u"--self-signed"_s } << 1 << u"--accept-new-certificate"_s;
}

void TestGuardedRoad::refusalsBeforeTheLogin()
{
    QFETCH(int, relay);
    QFETCH(QStringList, serverArguments);
    QFETCH(int, exitCode);
    QFETCH(QString, says);

    TdsProcess tds(m_install->dir(), serverArguments);
    QVERIFY(tds.port() > 0);
    if (!serverArguments.contains(u"strict"_s) && !serverArguments.contains(u"--self-signed"_s))
        addAdmin(tds);
    std::unique_ptr<RoadRelay> path;
    if (relay >= 0) {
        path = std::make_unique<RoadRelay>(RoadRelay::Mode(relay), tds.port());
        QVERIFY(path->port() > 0);
    }
    const QString server = path ? path->serverName() : tds.serverName();

    const CliResult r = loginAsAdmin(server);
    QVERIFY2(r.exitCode == exitCode, qPrintable(r.err + r.out));
    QVERIFY2((r.err + r.out).contains(says), qPrintable(r.err + r.out));
    if (exitCode != 0) {
        // Nothing was stored, and the server's certificate is named for the user to check.
        QVERIFY(!QFile::exists(zt::guard::trustedCertificateFile(server)));
        if (serverArguments.contains(u"--self-signed"_s))
            QVERIFY2(r.err.contains(tds.fingerprint()), qPrintable(r.err));
    }
    if (!path)
        return;
    QVERIFY(path->waitUntilQuiet());
    QVERIFY(path->recoveredLogin().isEmpty());
    for (const QByteArray &bytes : path->clientBytes()) {
        QVERIFY(!revealsSecret(bytes, Password));
        QVERIFY(!carriesTds50Login(bytes));
        QVERIFY(!carriesClearLogin7(bytes));
        QVERIFY(!revealsText(bytes, u"abcde12345"_s));
    }
}

void TestGuardedRoad::anObserverReadsNothingOnEveryCommand()
{
    TdsProcess tds(m_install->dir());
    QVERIFY(tds.port() > 0);
    addAdmin(tds);
    RoadRelay observer(RoadRelay::Mode::Observe, tds.port());
    const QString server = observer.serverName();
    // Allowing a server to go unencrypted lets nothing go in clear while it offers encryption.
    zt::guard::allowUnencrypted(server);

    QCOMPARE(loginAsAdmin(server).exitCode, 0);
    const QList<QStringList> commands {
        { u"create"_s, u"--server"_s, server, u"--db"_s, u"road01"_s, u"--name"_s, u"加密分店"_s },
        { u"list"_s, u"--server"_s, server },
        { u"check"_s, u"--server"_s, server, u"--user"_s, Admin },
        { u"backup"_s, u"--server"_s, server, u"--db"_s, u"road01"_s, u"--to"_s, u"road01.bak"_s },
        { u"doctor"_s, u"--server"_s, server },
    };
    for (const QStringList &command : commands) {
        const CliResult r = run(command);
        QVERIFY2(r.exitCode == 0, qPrintable(command.first() + u": "_s + r.err + r.out));
    }
    QVERIFY(observer.waitUntilQuiet());
    QVERIFY(observer.connections() >= commands.size());
    for (const QByteArray &bytes : observer.clientBytes() + observer.serverBytes()) {
        for (const QString &secret : { Password, SetPassword })
            QVERIFY(!revealsSecret(bytes, secret));
        for (const QString &text : { u"create database"_s, u"PBTOVRASQLBASEDATA"_s, u"加密分店"_s })
            QVERIFY(!revealsText(bytes, text));
        QVERIFY(!carriesTds50Login(bytes));
    }
}

void TestGuardedRoad::aServersOwnCertificateIsTrustedDeliberately()
{
    TdsProcess tds(m_install->dir(), { u"--self-signed"_s });
    QVERIFY(tds.port() > 0);
    const QString server = tds.serverName();

    const QStringList sa { u"login"_s, u"--server"_s, server, u"--user"_s, u"sa"_s };
    const QStringList noPassword { u"ZTWIZARD_LOGIN_PASSWORD="_s };

    // Accepted the first time only when told so, then without a word.
    QCOMPARE(run({ u"login"_s, u"--server"_s, server, u"--user"_s, u"sa"_s, u"--accept-new-certificate"_s },
                 { u"ZTWIZARD_LOGIN_PASSWORD="_s })
                 .exitCode,
        0);
    QVERIFY(QFile::exists(zt::guard::trustedCertificateFile(server)));
    QCOMPARE(zt::tls::sha256Fingerprint(*zt::guard::trustedCertificate(server)), tds.fingerprint());
    const CliResult checked = run({ u"check"_s, u"--server"_s, server, u"--user"_s, u"sa"_s }, noPassword);
    QVERIFY2(checked.exitCode == 0, qPrintable(checked.err + checked.out));

    // Another certificate trusted for this name before: the one shown now is refused, naming both.
    const zt::tls::Identity other = zt::tls::makeSelfSigned(u"SSL_Self_Signed_Fallback"_s, {}, 30);
    const QByteArray otherDer = zt::tls::derFromPem(other.certificatePem).value(0);
    zt::guard::trustCertificate(server, { otherDer });
    CliResult r = run(sa + QStringList { u"--accept-new-certificate"_s }, noPassword);
    QCOMPARE(r.exitCode, 1);
    QVERIFY2(r.err.contains(u"与以前信任的不同"_s) && r.err.contains(tds.fingerprint())
            && r.err.contains(zt::tls::sha256Fingerprint(otherDer)),
        qPrintable(r.err));
    const CliResult refused = run({ u"check"_s, u"--server"_s, server, u"--user"_s, u"sa"_s }, noPassword);
    QVERIFY2(refused.exitCode == 1 && (refused.err + refused.out).contains(u"与以前信任的不同"_s),
        qPrintable(refused.err + refused.out));
    QCOMPARE(
        run(sa + QStringList { u"--trust-certificate"_s, zt::tls::sha256Fingerprint(otherDer) }, noPassword)
            .exitCode,
        1);
    r = run(sa + QStringList { u"--trust-certificate"_s, tds.fingerprint().toLower() }, noPassword);
    QVERIFY2(r.exitCode == 0, qPrintable(r.err));
    QCOMPARE(zt::tls::sha256Fingerprint(*zt::guard::trustedCertificate(server)), tds.fingerprint());
}

void TestGuardedRoad::anUnencryptedServerIsAllowedDeliberately()
{
    TdsProcess tds(m_install->dir(), { u"--encryption"_s, u"off"_s });
    QVERIFY(tds.port() > 0);
    const QString server = tds.serverName();
    const QStringList sa { u"login"_s, u"--server"_s, server, u"--user"_s, u"sa"_s };
    const QStringList noPassword { u"ZTWIZARD_LOGIN_PASSWORD="_s };
    // Before any login is stored, a command says to store one (not "Login failed for user ''").
    CliResult r = run({ u"list"_s, u"--server"_s, server });
    QCOMPARE(r.exitCode, 1);
    QVERIFY2(r.err.contains(u"ztaccountset login --server"_s), qPrintable(r.err));
    r = run(sa, noPassword);
    QCOMPARE(r.exitCode, 1);
    QVERIFY2(r.err.contains(u"--allow-unencrypted"_s), qPrintable(r.err));
    QCOMPARE(run(sa + QStringList { u"--allow-unencrypted"_s }, noPassword).exitCode, 0);
    QCOMPARE(run({ u"check"_s, u"--server"_s, server, u"--user"_s, u"sa"_s }, noPassword).exitCode, 0);
}

QTEST_GUILESS_MAIN(TestGuardedRoad)
#include "tst_guardedroad.moc"
