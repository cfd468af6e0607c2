// The servers stored in xtljb as page 1's box and "ztaccountset servers" offer them: read without
// their passwords, and merged with what the search lists.
#include "data/connection.h"
#include "data/query.h"
#include "store/localstore.h"
#include "store/storedservers.h"
#include "testinstallation.h"

#include <QTest>

using namespace zt;
using namespace Qt::StringLiterals;
using data::Credentials;
using store::StoredServer;

class TestStoredServers : public QObject
{
    Q_OBJECT

private slots:
    void recordsReadAsNameLoginAndUser();
    void mergeLeavesOutWhatTheListHas_data();
    void mergeLeavesOutWhatTheListHas();
};

void TestStoredServers::recordsReadAsNameLoginAndUser()
{
    test::TestInstallation install;
    QVERIFY(install.isValid());
    data::Connection connection(QStringLiteral("Conn_S"));
    data::Query query(QStringLiteral("ADOQuery2"));
    store::openLocalConfiguration(connection, query);
    QCOMPARE(store::storedServers(query), QList<StoredServer> {});

    store::storeServerRecord(
        query, QStringLiteral("KASSE\\ZT"), Credentials::sql(u"bob"_s, u"pw;user id=x;"_s));
    store::storeServerRecord(query, QStringLiteral("(embedded)"), Credentials::integrated());
    data::reexecute(
        query, QStringLiteral("insert into xtljb (zjmc, \"1\", \"2\") values ('odd', NULL, 'garbage')"));
    const QList<StoredServer> stored = store::storedServers(query);
    const QList<StoredServer> expected {
        { u"KASSE\\ZT"_s, Credentials::Kind::Sql, u"bob"_s },
        { u"(embedded)"_s, Credentials::Kind::Integrated, {} },
        { u"odd"_s, Credentials::Kind::None, {} },
    };
    QCOMPARE(stored, expected);
}

void TestStoredServers::mergeLeavesOutWhatTheListHas_data()
{
    QTest::addColumn<QStringList>("stored");
    QTest::addColumn<QStringList>("listed"); // the embedded instances first, then what the search found
    QTest::addColumn<QStringList>("added");

    const QStringList embedded { u"(embedded)"_s, u"(embedded)\\ZWEI"_s };
    QTest::newRow("nothing stored") << QStringList {} << embedded << QStringList {};
    QTest::newRow("stored beside the embedded and found ones")
        << QStringList { u"KASSE"_s, u"lager\\ZT"_s } << (embedded + QStringList { u"BUERO"_s })
        << QStringList { u"KASSE"_s, u"lager\\ZT"_s };
    QTest::newRow("what the search found is not repeated")
        << QStringList { u"buero"_s, u"KASSE"_s } << (embedded + QStringList { u"BUERO"_s })
        << QStringList { u"KASSE"_s };
    QTest::newRow("nor an embedded name, in other letters or with blanks")
        << QStringList { u"(EMBEDDED)"_s, u" (embedded)\\zwei "_s } << embedded << QStringList {};
    QTest::newRow("a name stored twice is listed once, as first stored")
        << QStringList { u"Kasse"_s, u"KASSE "_s, u"kasse"_s } << embedded << QStringList { u"Kasse"_s };
    QTest::newRow("blank names are no servers")
        << QStringList { QString(), u"  "_s, u"\t"_s } << embedded << QStringList {};
    QTest::newRow("before any search: the box's empty entry alone")
        << QStringList { u"KASSE"_s } << QStringList { QString() } << QStringList { u"KASSE"_s };
}

void TestStoredServers::mergeLeavesOutWhatTheListHas()
{
    QFETCH(QStringList, stored);
    QFETCH(QStringList, listed);
    QFETCH(QStringList, added);
    QList<StoredServer> servers;
    for (const QString &name : stored)
        servers.append({ name, Credentials::Kind::Integrated, {} });
    QStringList names;
    for (const StoredServer &server : store::storedServersBeyond(servers, listed))
        names.append(server.name);
    QCOMPARE(names, added);
    // Every name the list has or gets finds its stored server, whatever its letters or blanks.
    for (const QString &name : stored) {
        if (!name.trimmed().isEmpty())
            QVERIFY(store::findStoredServer(servers, name.toUpper() + u' '));
    }
}

QTEST_GUILESS_MAIN(TestStoredServers)
#include "tst_storedservers.moc"
