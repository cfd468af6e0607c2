// The wizard's windows on the SQL Server road: page 1 with "127.0.0.1,PORT" and the SQL login
// sa reaches page 2 through FreeTDS to ztwizard-tds, and page 2 creates a network account set.
#include "accountset/creation.h"
#include "data/dataerror.h"
#include "guard/truststore.h"
#include "guidance/guidance.h"
#include "tdsprocess.h"
#include "tls/certificate.h"
#include "wizardfixture.h"

#include <QFile>
#include <QRadioButton>

using namespace zt;
using namespace zt::test;

class TestTdsWindows : public QObject
{
    Q_OBJECT

private slots:
    void pageOneToPageTwoToCreation();
    void windowsLoginToAnAddressSaysWhyItCannotWork();
    void sampleIsBuiltOnALatin1Server();
    void aServersOwnCertificateIsShownBeforeTheLogin();
};

void TestTdsWindows::pageOneToPageTwoToCreation()
{
    Wizard wizard;
    QVERIFY(wizard.installation.isValid());
    TdsProcess tds(wizard.installation.dir());
    QVERIFY(tds.port() > 0);
    install::heldValues() = {};

    wizard.server->show();
    wizard.typeSqlLogin(tds.serverName(), QStringLiteral("sa"), QString());
    QTest::mouseClick(wizard.p1()->BitBtn7, Qt::LeftButton);
    QVERIFY2(wizard.notifier.messages.isEmpty(), qPrintable(wizard.notifier.messages.value(0).text));
    QVERIFY(wizard.page2->isVisible());
    QCOMPARE(wizard.p2()->Edit1->text(), tds.serverName());
    QCoreApplication::processEvents();

    Ui::form_xzzt *p2 = wizard.p2();
    p2->CheckBox1->setChecked(true);
    p2->Edit5->setText(QStringLiteral("win01"));
    p2->Edit2->setText(QStringLiteral("窗口示范公司"));
    p2->Edit6->setText(QStringLiteral("pw"));
    p2->Edit4->setText(QStringLiteral("pw"));
    wizard.notifier.answerQuestion = false;
    QTest::mouseClick(p2->BitBtn1, Qt::LeftButton);
    QCOMPARE(wizard.notifier.messages.size(), 1);
    QCOMPARE(wizard.notifier.last().text, QStringLiteral("账套创建成功，现在就开始进入吗？"));

    // The directory row on the server, read back through FreeTDS.
    data::Connection master;
    master.setConnectionString(data::ConnectionString::master(
        data::LoginFragment::fromLogin(data::Credentials::sql(QStringLiteral("sa"), QString())),
        tds.serverName()));
    data::Query q(QStringLiteral("check"));
    q.setConnection(&master);
    q.addSql(QStringLiteral("select ztmc from PBTOVRASQLBASEDATA where ztbh = 'win01'"));
    q.open();
    QCOMPARE(q.recordCount(), 1);
    QCOMPARE(q.fieldAsText(QStringLiteral("ztmc")), QStringLiteral("窗口示范公司"));
}

void TestTdsWindows::windowsLoginToAnAddressSaysWhyItCannotWork()
{
    Wizard wizard;
    TdsProcess tds(wizard.installation.dir());
    QVERIFY(tds.port() > 0);
    wizard.server->show();
    wizard.p1()->RadioButton1->click();
    wizard.p1()->SQLServersListComboBox1->setEditText(tds.serverName());
    QTest::mouseClick(wizard.p1()->BitBtn7, Qt::LeftButton);
    QCOMPARE(wizard.notifier.messages.size(), 1);
    // Kerberos needs the server's host name: said before anything is sent, instead of FreeTDS's
    // "Adaptive Server connection failed".
    QCOMPARE(wizard.notifier.last().text,
        QStringLiteral("连接服务器失败，请重新选择或录入服务器名称！")
            + guidance::integratedLoginProblem(QStringLiteral("127.0.0.1")));
    QVERIFY(!wizard.page2->isVisible());
}

void TestTdsWindows::sampleIsBuiltOnALatin1Server()
{
    Wizard wizard;
    QVERIFY(wizard.installation.isValid());
    TdsProcess tds(wizard.installation.dir(),
        { QStringLiteral("--collation"), QStringLiteral("SQL_Latin1_General_CP1_CI_AS") });
    QVERIFY(tds.port() > 0);
    install::heldValues() = {};
    wizard.server->show();
    wizard.typeSqlLogin(tds.serverName(), QStringLiteral("sa"), QString());
    QTest::mouseClick(wizard.p1()->BitBtn7, Qt::LeftButton);
    QVERIFY(wizard.page2->isVisible());
    QCoreApplication::processEvents();

    // "创建例子帐套": the server cannot restore the shipped backup, so the set is built there,
    // with the same message and registration as the restore.
    Ui::form_xzzt *p2 = wizard.p2();
    p2->CheckBox1->setChecked(true);
    wizard.page2->sampleAction()->trigger();
    QTest::mouseClick(p2->BitBtn4, Qt::LeftButton);
    QCOMPARE(wizard.notifier.messages.size(), 1);
    QCOMPARE(wizard.notifier.last().text, QStringLiteral("『TOVRA例子账套』创建成功！"));

    data::Connection master;
    master.setConnectionString(data::ConnectionString::master(
        data::LoginFragment::fromLogin(data::Credentials::sql(QStringLiteral("sa"), QString())),
        tds.serverName()));
    data::Query q(QStringLiteral("check"));
    q.setConnection(&master);
    q.addSql(QStringLiteral("select ztmc from PBTOVRASQLBASEDATA where ztbh = N'TOVRASQL_Sample'"));
    q.open();
    QCOMPARE(q.recordCount(), 1);
    QCOMPARE(q.fieldAsText(QStringLiteral("ztmc")), QStringLiteral("TOVRA例子账套"));
    data::Connection sample;
    sample.setConnectionString(data::ConnectionString::catalog(
        data::LoginFragment::fromLogin(data::Credentials::sql(QStringLiteral("sa"), QString())),
        QStringLiteral("TOVRASQL_Sample"), tds.serverName()));
    data::Query s(QStringLiteral("sample"));
    s.setConnection(&sample);
    s.addSql(QStringLiteral("select dwmc from xtxxb"));
    s.open();
    QCOMPARE(s.fieldAsText(QStringLiteral("dwmc")), QStringLiteral("TOVRA示范贸易有限公司"));
}

void TestTdsWindows::aServersOwnCertificateIsShownBeforeTheLogin()
{
    Wizard wizard;
    TdsProcess tds(wizard.installation.dir(), { QStringLiteral("--self-signed") });
    QVERIFY(tds.port() > 0);
    wizard.server->show();
    wizard.typeSqlLogin(tds.serverName(), QStringLiteral("sa"), QString());

    // Cancel: nothing trusted, nothing stored, page 1 stays.
    wizard.notifier.answerQuestion = false;
    QTest::mouseClick(wizard.p1()->BitBtn7, Qt::LeftButton);
    QCOMPARE(wizard.notifier.messages.size(), 1);
    QCOMPARE(wizard.notifier.last().kind, QStringLiteral("question"));
    QCOMPARE(wizard.notifier.last().caption, QStringLiteral("服务器证书"));
    for (const QString &part :
        { QStringLiteral("主题：CN=SSL_Self_Signed_Fallback"), QStringLiteral("有效期："),
            QStringLiteral("SHA-256 指纹：") + tds.fingerprint(), QStringLiteral("重新启动") })
        QVERIFY2(wizard.notifier.last().text.contains(part), qPrintable(wizard.notifier.last().text));
    QVERIFY(!wizard.page2->isVisible());
    QVERIFY(!QFile::exists(guard::trustedCertificateFile(tds.serverName())));

    // OK: trusted for this name, and the login goes on to page 2 without another question.
    wizard.notifier.clear();
    wizard.notifier.answerQuestion = true;
    QTest::mouseClick(wizard.p1()->BitBtn7, Qt::LeftButton);
    QCOMPARE(wizard.notifier.messages.size(), 1);
    QVERIFY(wizard.page2->isVisible());
    QCOMPARE(tls::sha256Fingerprint(guard::trustedCertificate(tds.serverName()).value()), tds.fingerprint());

    // Another certificate trusted before: no click trusts the one shown now, only its fingerprint
    // as the administrator gives it.
    const tls::Identity other = tls::makeSelfSigned(QStringLiteral("SSL_Self_Signed_Fallback"), {}, 30);
    guard::trustCertificate(tds.serverName(), { tls::derFromPem(other.certificatePem).value(0) });
    wizard.page2->hide();
    wizard.server->show();
    const QStringList typed { QString(),
        tls::sha256Fingerprint(tls::derFromPem(other.certificatePem).value(0)),
        tds.fingerprint().remove(u':').toLower() };
    for (const QString &answer : typed) {
        wizard.notifier.clear();
        wizard.notifier.answerText = answer;
        wizard.typeSqlLogin(tds.serverName(), QStringLiteral("sa"), QString());
        QTest::mouseClick(wizard.p1()->BitBtn7, Qt::LeftButton);
        QVERIFY(!wizard.notifier.messages.isEmpty());
        QCOMPARE(wizard.notifier.messages.first().kind, QStringLiteral("text"));
        QVERIFY(wizard.notifier.messages.first().text.contains(QStringLiteral("与以前信任的不同")));
        QCOMPARE(wizard.notifier.messages.size(),
            answer.isEmpty() || answer == tds.fingerprint().remove(u':').toLower() ? 1 : 2);
    }
    QCOMPARE(tls::sha256Fingerprint(guard::trustedCertificate(tds.serverName()).value()), tds.fingerprint());
}

QTEST_MAIN(TestTdsWindows)
#include "tst_tdswindows.moc"
