// The local configuration database through the real data source plumbrook on the shipped
// MORVEK.mdb: server connection records and the local account-set list.
#include "data/connection.h"
#include "data/dataerror.h"
#include "data/query.h"
#include "store/localstore.h"
#include "testinstallation.h"

#include <QTest>

using namespace zt;
using namespace Qt::StringLiterals;
using data::Credentials;

class TestLocalStore : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void localStringNamesTheFileWithADoubledSeparator();
    void serverRecordIsAppendedThenUpdatedNeverDuplicated();
    void loginFragmentOfAnUnknownServerIsEmpty();
    void quotesInNamesAreLookedUpNotBroken();
    void firstOfTwoRecordsWins();
    void accountSetRowsAreAppendedWithDateAndNet();
    void registeringAgainKeepsOneRowPerSetAndServer_data();
    void registeringAgainKeepsOneRowPerSetAndServer();
    void removalTakesTheSetUnderTheNamesGiven();
    void emptyHalfOfTheRecordIsEmptyTextNotNull_data();
    void emptyHalfOfTheRecordIsEmptyTextNotNull();
    void lookUpsIgnoreLetterCase_data();
    void lookUpsIgnoreLetterCase();

private:
    int count(const QString &sql);

    std::unique_ptr<test::TestInstallation> m_install;
    std::unique_ptr<data::Connection> m_conn;
    std::unique_ptr<data::Query> m_query;
};

void TestLocalStore::init()
{
    m_install = std::make_unique<test::TestInstallation>();
    QVERIFY(m_install->isValid());
    m_conn = std::make_unique<data::Connection>(QStringLiteral("Conn_S"));
    m_query = std::make_unique<data::Query>(QStringLiteral("ADOQuery2"));
    store::openLocalConfiguration(*m_conn, *m_query);
}

void TestLocalStore::cleanup()
{
    m_query.reset();
    m_conn.reset();
    m_install.reset();
}

int TestLocalStore::count(const QString &sql)
{
    data::Query q(QStringLiteral("count"));
    q.setConnection(m_conn.get());
    q.addSql(sql);
    q.open();
    return q.recordCount();
}

void TestLocalStore::localStringNamesTheFileWithADoubledSeparator()
{
    QCOMPARE(m_conn->connectionString().text(),
        QStringLiteral(
            "Provider=MSDASQL.1;Password=plumbrook5190274;Persist Security Info=True;User ID=admin;"
            "Data Source=plumbrook;Initial Catalog=")
            + m_install->dir() + QStringLiteral("/data/MORVEK.mdb"));
    QVERIFY(!m_conn->isOpen()); // opens with the first query only
}

void TestLocalStore::serverRecordIsAppendedThenUpdatedNeverDuplicated()
{
    const QString server = QStringLiteral("SRV01");
    QVERIFY(!store::findServerRecord(*m_query, server));
    store::storeServerRecord(*m_query, server, Credentials::sql(QStringLiteral("sa"), QStringLiteral("p;w")));
    QCOMPARE(store::readServerLogin(*m_query, server).fragment.text(),
        QStringLiteral("password=p;w;persist security info=true;user id=sa;"));
    QCOMPARE(m_query->fieldAsText(QStringLiteral("1")), QString());

    store::storeServerRecord(*m_query, server, Credentials::integrated());
    QCOMPARE(count(QStringLiteral("select * from xtljb")), 1);
    QVERIFY(store::findServerRecord(*m_query, server));
    QCOMPARE(m_query->fieldAsText(QStringLiteral("1")),
        QStringLiteral("integrated security=sspi;persist security info=false;"));
    QCOMPARE(m_query->fieldAsText(QStringLiteral("2")), QString());
    QCOMPARE(m_query->fieldAsText(QStringLiteral("zjmc")), server);
    QCOMPARE(store::readServerLogin(*m_query, server).fragment.login(), Credentials::integrated());
}

void TestLocalStore::loginFragmentOfAnUnknownServerIsEmpty()
{
    store::storeServerRecord(*m_query, QStringLiteral("host"), Credentials::integrated());
    // Another spelling of the same server has no record: the strings carry no login.
    const auto fragment = store::readServerLogin(*m_query, QStringLiteral("HOST.local"));
    QCOMPARE(fragment.fragment.text(), QString());
    QCOMPARE(fragment.fragment.login().kind, Credentials::Kind::None);
}

void TestLocalStore::quotesInNamesAreLookedUpNotBroken()
{
    const QString server = QStringLiteral("O'Hara's PC");
    store::storeServerRecord(*m_query, server, Credentials::integrated());
    QVERIFY(store::findServerRecord(*m_query, server));
    QCOMPARE(m_query->fieldAsText(QStringLiteral("zjmc")), server);
    QVERIFY(!store::findServerRecord(*m_query, QStringLiteral("O'Hara")));
    // A quote cannot widen the lookup either.
    QVERIFY(!store::findServerRecord(*m_query, QStringLiteral("x' or '1'='1")));

    store::AccountSetRow row { QStringLiteral("zt'01"), QStringLiteral("名称"), QDate(2026, 12, 8), QString(),
        server };
    store::beginAccountSetRow(*m_query, row);
    m_query->post();
    QVERIFY(store::findAccountSetRow(*m_query, QStringLiteral("zt'01"), server));
    QVERIFY(!store::findAccountSetRow(*m_query, QStringLiteral("zt'01"), QStringLiteral("other")));
}

void TestLocalStore::firstOfTwoRecordsWins()
{
    data::Query q(QStringLiteral("raw"));
    q.setConnection(m_conn.get());
    q.addSql(QStringLiteral("insert into xtljb (zjmc, \"1\", \"2\") values ('dup', '', "
                            "'password=a;persist security info=true;user id=first;')"));
    q.execSql();
    q.clearSql();
    q.addSql(QStringLiteral("insert into xtljb (zjmc, \"1\", \"2\") values ('dup', '', "
                            "'password=b;persist security info=true;user id=second;')"));
    q.execSql();
    QCOMPARE(store::readServerLogin(*m_query, QStringLiteral("dup")).fragment.login().user,
        QStringLiteral("first"));
    store::storeServerRecord(*m_query, QStringLiteral("dup"), Credentials::integrated());
    QCOMPARE(count(QStringLiteral("select * from xtljb where \"1\" <> ''")), 1);
    QCOMPARE(count(QStringLiteral("select * from xtljb where \"2\" like '%second%'")), 1);
}

void TestLocalStore::accountSetRowsAreAppendedWithDateAndNet()
{
    store::AccountSetRow row { QStringLiteral("zt001"), QStringLiteral("北京贸易公司"), QDate(2026, 12, 8),
        QStringLiteral("k"), QStringLiteral("(embedded)") };
    store::beginAccountSetRow(*m_query, row);
    QCOMPARE(m_query->state(), data::Query::State::Insert); // the caller still sets net
    m_query->setFieldText(QStringLiteral("net"), QStringLiteral("是"));
    m_query->post();
    QVERIFY(store::findAccountSetRow(*m_query, QStringLiteral("zt001"), QStringLiteral("(embedded)")));
    QCOMPARE(m_query->recordCount(), 1);
    QCOMPARE(m_query->fieldAsText(QStringLiteral("ztmc")), QStringLiteral("北京贸易公司"));
    QCOMPARE(m_query->fieldAsText(QStringLiteral("jlrq")), QStringLiteral("2026-12-08"));
    QCOMPARE(m_query->fieldAsText(QStringLiteral("sjklx")), QStringLiteral("MS SQL"));
    QCOMPARE(m_query->fieldAsText(QStringLiteral("net")), QStringLiteral("是"));
}

void TestLocalStore::registeringAgainKeepsOneRowPerSetAndServer_data()
{
    QTest::addColumn<QStringList>("planted"); // "number|server" rows already in the list
    QTest::addColumn<int>("rowsAfter"); // of the whole list

    QTest::newRow("new set") << QStringList {} << 1;
    QTest::newRow("same set again") << QStringList { u"zt001|(embedded)"_s } << 1;
    QTest::newRow("other letter case") << QStringList { u"ZT001|(EMBEDDED)"_s } << 1;
    QTest::newRow("listed twice already")
        << QStringList { u"zt001|(embedded)"_s, u"zt001|(embedded)"_s } << 1;
    QTest::newRow("other server name") << QStringList { u"zt001|127.0.0.1"_s } << 2;
    QTest::newRow("other number") << QStringList { u"zt002|(embedded)"_s } << 2;
}

void TestLocalStore::registeringAgainKeepsOneRowPerSetAndServer()
{
    QFETCH(QStringList, planted);
    QFETCH(int, rowsAfter);
    for (const QString &row : std::as_const(planted)) {
        data::reexecute(*m_query,
            QStringLiteral("insert into ztxxb (ztbh, ztmc, jlrq, kl, zjmc, sjklx, net) values (%1, '旧', "
                           "'2020-01-01', 'old', %2, 'MS SQL', '是')")
                .arg(store::sqlLiteral(row.section(u'|', 0, 0)), store::sqlLiteral(row.section(u'|', 1))));
    }

    // Written as a rented build writes it: net left alone, so NULL.
    store::beginAccountSetRow(*m_query,
        { QStringLiteral("zt001"), QStringLiteral("新"), QDate(2026, 12, 8), QStringLiteral("k"),
            QStringLiteral("(embedded)") });
    m_query->post();

    QCOMPARE(count(QStringLiteral("select * from ztxxb")), rowsAfter);
    QVERIFY(store::findAccountSetRow(*m_query, QStringLiteral("zt001"), QStringLiteral("(embedded)")));
    QCOMPARE(m_query->recordCount(), 1);
    QCOMPARE(m_query->fieldAsText(QStringLiteral("ztbh")), QStringLiteral("zt001")); // as written now
    QCOMPARE(m_query->fieldAsText(QStringLiteral("ztmc")), QStringLiteral("新"));
    QCOMPARE(m_query->fieldAsText(QStringLiteral("kl")), QStringLiteral("k"));
    QCOMPARE(m_query->fieldAsText(QStringLiteral("jlrq")), QStringLiteral("2026-12-08"));
    QCOMPARE(count(QStringLiteral("select * from ztxxb where net is null and ztmc = '新'")), 1);
}

void TestLocalStore::removalTakesTheSetUnderTheNamesGiven()
{
    for (const char *server : { "srv", "SRV", " srv ", "10.0.0.5" })
        data::reexecute(*m_query,
            QStringLiteral("insert into ztxxb (ztbh, zjmc) values ('zt001', '%1')")
                .arg(QLatin1StringView(server)));
    data::reexecute(*m_query, QStringLiteral("insert into ztxxb (ztbh, zjmc) values ('zt002', 'srv')"));

    QCOMPARE(store::removeAccountSetRows(*m_query, QStringLiteral("ZT001"), { QStringLiteral("srv") }), 2);
    QCOMPARE(store::removeAccountSetRows(*m_query, QStringLiteral("zt001"), {}), 0);
    QCOMPARE(store::removeAccountSetRows(
                 *m_query, QStringLiteral("zt001"), { QStringLiteral("srv"), QStringLiteral(" srv ") }),
        1);
    // Another spelling of the server and another number stay.
    QCOMPARE(count(QStringLiteral("select * from ztxxb where zjmc = '10.0.0.5'")), 1);
    QCOMPARE(count(QStringLiteral("select * from ztxxb where ztbh = 'zt002'")), 1);
}

void TestLocalStore::emptyHalfOfTheRecordIsEmptyTextNotNull_data()
{
    QTest::addColumn<bool>("stored");
    QTest::addColumn<Credentials>("login");
    QTest::addColumn<QString>("emptyField");
    const Credentials sql = Credentials::sql(QStringLiteral("sa"), QStringLiteral("pw"));
    QTest::newRow("appended, SQL login") << false << sql << QStringLiteral("1");
    QTest::newRow("appended, Windows login") << false << Credentials::integrated() << QStringLiteral("2");
    QTest::newRow("updated, SQL login") << true << sql << QStringLiteral("1");
    QTest::newRow("updated, Windows login") << true << Credentials::integrated() << QStringLiteral("2");
}

void TestLocalStore::emptyHalfOfTheRecordIsEmptyTextNotNull()
{
    QFETCH(bool, stored);
    QFETCH(Credentials, login);
    QFETCH(QString, emptyField);
    const QString server = QStringLiteral("SRV01");
    if (stored) // a record of the other login kind, so that both fields change
        store::storeServerRecord(*m_query, server,
            login.kind == Credentials::Kind::Sql ? Credentials::integrated()
                                                 : Credentials::sql(QStringLiteral("u"), {}));
    store::storeServerRecord(*m_query, server, login);
    QCOMPARE(count(QStringLiteral("select * from xtljb")), 1);
    QCOMPARE(count(QStringLiteral("select * from xtljb where \"1\" is null or \"2\" is null")), 0);
    QCOMPARE(count(QStringLiteral("select * from xtljb where \"%1\" = ''").arg(emptyField)), 1);
    QCOMPARE(store::readServerLogin(*m_query, server).fragment.login(), login);
}

void TestLocalStore::lookUpsIgnoreLetterCase_data()
{
    QTest::addColumn<bool>("olderFile");
    QTest::newRow("shipped file") << false;
    // A file made before its text columns compared without regard to case.
    QTest::newRow("older file") << true;
}

void TestLocalStore::lookUpsIgnoreLetterCase()
{
    QFETCH(bool, olderFile);
    if (olderFile) {
        data::Query q(QStringLiteral("schema"));
        q.setConnection(m_conn.get());
        for (const char *sql : { "drop table xtljb", "drop table ztxxb",
                 "create table xtljb (zjmc varchar(128), \"1\" varchar(255), \"2\" varchar(255))",
                 "create table ztxxb (ztbh varchar(128), ztmc varchar(100), jlrq date, kl varchar(50), "
                 "zjmc varchar(128), sjklx varchar(20), net varchar(4))" })
            data::reexecute(q, QString::fromLatin1(sql));
    }
    store::storeServerRecord(*m_query, QStringLiteral("server1"), Credentials::integrated());
    store::storeServerRecord(*m_query, QStringLiteral("SERVER1"), Credentials::sql(QStringLiteral("sa"), {}));
    QCOMPARE(count(QStringLiteral("select * from xtljb")), 1);
    QVERIFY(store::findServerRecord(*m_query, QStringLiteral("Server1")));
    QCOMPARE(m_query->fieldAsText(QStringLiteral("zjmc")), QStringLiteral("server1")); // as first stored
    QCOMPARE(store::readServerLogin(*m_query, QStringLiteral("sErVeR1")).fragment.login().user,
        QStringLiteral("sa"));
    QVERIFY(!store::findServerRecord(*m_query, QStringLiteral("server10")));

    store::beginAccountSetRow(*m_query,
        { QStringLiteral("zt001"), QStringLiteral("名称"), QDate(2026, 12, 8), QString(),
            QStringLiteral("server1") });
    m_query->post();
    QVERIFY(store::findAccountSetRow(*m_query, QStringLiteral("ZT001"), QStringLiteral("SERVER1")));
    QVERIFY(!store::findAccountSetRow(*m_query, QStringLiteral("ZT0011"), QStringLiteral("SERVER1")));
}

QTEST_GUILESS_MAIN(TestLocalStore)
#include "tst_localstore.moc"
