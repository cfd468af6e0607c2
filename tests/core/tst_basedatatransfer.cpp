// The base-data transfer against posting every row on its own through the target's result set,
// the way the transfer was first written: the same rows in every table and the same error, in
// every way it can end, whatever the size of the batches; on the embedded server and through
// FreeTDS to ztwizard-tds (started on a free loopback port, ended by its process id).
#include "accountset/basedata.h"
#include "accountset/creation.h"
#include "accountsetfixture.h"
#include "data/backends.h"
#include "data/dataerror.h"
#include "data/odbcbackend.h"
#include "embedded/embeddedserver.h"
#include "install/installfiles.h"
#include "recordingbackend.h"
#include "store/localstore.h"
#include "tdsprocess.h"

#include <QTest>

using namespace zt;
using namespace Qt::StringLiterals;
using namespace zt::accountset;
using data::ConnectionString;
using data::Credentials;
using data::LoginFragment;

namespace {

// kjkmxxb as the shipped script makes it, but with lbbm NOT NULL.
const QString KjkmxxbWithRequiredLbbm = QStringLiteral(
    "CREATE TABLE [kjkmxxb] ([xh] [int] IDENTITY (1, 1) NOT NULL, [ID] [int] NULL, [kmdm] [nvarchar] (20) "
    "NULL, "
    "[kmmc] [nvarchar] (40) NULL, [kmqc] [nvarchar] (100) NULL, [lbbm] [int] NOT NULL, [kmjb] [int] NULL, "
    "[sjkm] [nvarchar] (20) NULL, [yefx] [nvarchar] (2) NULL, [sfmx] [bit] NULL, [xjkm] [bit] NULL, "
    "[yhkm] [bit] NULL, [fzhs] [nvarchar] (20) NULL, [slhs] [bit] NULL, [sfty] [bit] NULL, "
    "[ncye] [decimal] (18, 2) NULL)");

// Source statements naming the 87th kjkmxxb row in ID order.
const QString Row86 = QStringLiteral("{row 86}");

// The transfer as first written: the field list read again before every source row, one append
// and one post of the target's result set per row.
void postRowByRow(AccountSetObjects &o, const QStringList &tables)
{
    o.Conn_Ty2.setConnectionString(store::localAccessString(QStringLiteral("Sample.mdb")));
    o.ADOTy2.setConnection(&o.Conn_Ty2);
    o.ADOzd.setConnection(&o.Conn_Ty2);
    for (const QString &table : tables) {
        data::reopen(o.ADOTy2, QStringLiteral("select * from ") + table + QStringLiteral(" order by ID"));
        data::reopen(o.ADOTy1, QStringLiteral("select * from ") + table);
        while (!o.ADOTy2.isEof()) {
            data::reopen(o.ADOzd, QStringLiteral("select * from ") + table);
            o.ADOTy1.append();
            for (int column = 1; column < o.ADOzd.fieldCount(); ++column) {
                const QString name = o.ADOzd.fieldName(column);
                o.ADOTy1.setFieldText(name, o.ADOTy2.fieldAsText(name));
            }
            o.ADOTy1.post();
            o.ADOTy2.next();
        }
    }
}

// Statements that reach the server of the account set (not the local files).
QStringList g_serverStatements;

} // namespace

class TestBaseDataTransfer : public QObject, private test::AccountSetFixture
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void sameOutcomeAsPostingRowByRow_data();
    void sameOutcomeAsPostingRowByRow();
    void sameOutcomeThroughFreeTds_data();
    void sameOutcomeThroughFreeTds();

private:
    void compareWithRowByRow();
    ConnectionString catalog(const QString &name) const
    {
        return ConnectionString::catalog(LoginFragment::fromLogin(m_login), name, m_server);
    }
    void build(const QString &database, const QStringList &statements);
    QString transfer(const QString &database, const QStringList &tables, bool batched, int rowsPerBatch);
    QStringList contents(const QString &database, const QString &table);
    QStringList sourceIds(const QString &table);

    QString m_server = test::EmbeddedServer;
    Credentials m_login = Credentials::integrated();
};

void TestBaseDataTransfer::init()
{
    const QString problem = setUpAccountSets();
    QVERIFY2(problem.isEmpty(), qPrintable(problem));
    data::setBackendFactory([](const ConnectionString &cs) -> std::unique_ptr<data::Backend> {
        if (cs.shape() == ConnectionString::Shape::LocalAccess)
            return data::odbc::openDataSource(
                cs.dataSource(), cs.odbcUser(), cs.odbcPassword(), cs.catalogName());
        const QString catalog = cs.hasCatalog() ? cs.catalogName() : QString();
        if (embedded::isEmbeddedServerName(cs.dataSource()))
            return std::make_unique<test::RecordingBackend>(
                embedded::connect(
                    embedded::defaultRoot(), embedded::instanceOf(cs.dataSource()), cs.login(), catalog),
                &g_serverStatements);
        return std::make_unique<test::RecordingBackend>(
            data::odbc::openSqlServer(cs.dataSource(), cs.login(), catalog), &g_serverStatements);
    });
}

void TestBaseDataTransfer::cleanup()
{
    data::setBackendFactory({});
    tearDownAccountSets();
}

// A new database with the shipped tables, changed by the statements.
void TestBaseDataTransfer::build(const QString &database, const QStringList &statements)
{
    {
        data::Connection master;
        master.setConnectionString(catalog(QStringLiteral("master")));
        master.backend().execute(QStringLiteral("create database ") + database);
    }
    AccountSetObjects o;
    o.Conn_Ty1.setConnectionString(catalog(database));
    o.ADOTy1.setConnection(&o.Conn_Ty1);
    runCreationScript(o);
    for (const QString &sql : statements)
        o.Conn_Ty1.backend().execute(sql);
}

QString TestBaseDataTransfer::transfer(
    const QString &database, const QStringList &tables, bool batched, int rowsPerBatch)
{
    AccountSetObjects o;
    o.Conn_Ty1.setConnectionString(catalog(database));
    o.ADOTy1.setConnection(&o.Conn_Ty1);
    return test::failureOf([&] {
        if (batched)
            transferBaseData(o, tables, { rowsPerBatch, 512 * 1024 });
        else
            postRowByRow(o, tables);
    });
}

QStringList TestBaseDataTransfer::contents(const QString &database, const QString &table)
{
    data::Connection c;
    c.setConnectionString(catalog(database));
    data::ResultSet result;
    try {
        result = c.backend().query(QStringLiteral("select * from ") + table);
    } catch (const data::DataError &e) {
        return { e.message() }; // a table the scenario dropped
    }
    QStringList rows;
    for (const QList<QVariant> &row : result.rows) {
        QStringList values;
        for (const QVariant &value : row)
            values.append(value.isNull() ? QStringLiteral("NULL") : data::Query::valueToText(value));
        rows.append(values.join(u'|'));
    }
    return rows;
}

QStringList TestBaseDataTransfer::sourceIds(const QString &table)
{
    data::Connection c;
    c.setConnectionString(store::localAccessString(QStringLiteral("Sample.mdb")));
    QStringList ids;
    for (const QList<QVariant> &row :
        c.backend().query(QStringLiteral("select ID from ") + table + QStringLiteral(" order by ID")).rows)
        ids.append(row.first().toString());
    return ids;
}

void TestBaseDataTransfer::sameOutcomeAsPostingRowByRow_data()
{
    QTest::addColumn<QStringList>("source"); // statements on data/Sample.mdb
    QTest::addColumn<QStringList>("target"); // statements on both new databases
    QTest::addColumn<QString>("insertTable"); // a table the list gets before kjkmlbb
    QTest::addColumn<int>("refusedRow"); // a kjkmxxb row the server refuses (its index), or -1
    QTest::addColumn<int>("rowsPerBatch");
    QTest::addColumn<QString>("error"); // a part of the error text, or empty: no error
    QTest::addColumn<int>("kjkmxxbRows"); // rows kjkmxxb ends with, -1: all of the source

    const QStringList none;
    for (const int rows : { 1000, 25, 7 }) {
        const QByteArray size = "; batches of " + QByteArray::number(rows);
        QTest::newRow("shipped base data" + size)
            << none << none << QString() << -1 << rows << QString() << -1;
        QTest::newRow("refused value in the middle of a table" + size)
            << none << none << QString() << 86 << rows
            << u"Cannot insert duplicate key in object 'dbo.kjkmxxb'"_s << 86;
        QTest::newRow("refused value at a table's first row" + size)
            << none << none << QString() << 0 << rows << u"Cannot insert duplicate key"_s << 0;
        QTest::newRow("target table lacks a column" + size)
            << none
            << QStringList { u"DROP TABLE kjkmxxb"_s,
                   u"CREATE TABLE [kjkmxxb] ([xh] [int] IDENTITY (1, 1) NOT NULL, [ID] [int] NULL, [kmdm] "
                   "[nvarchar] (20) NULL)"_s }
            << QString() << -1 << rows << u"ADOTy1: Field 'kmmc' not found"_s << 0;
    }
    QTest::newRow("over-long value in the middle of a table")
        << QStringList { u"UPDATE kjkmxxb SET kmmc = '一二三四五六七八九十一二三四五六七八九十一二三四五六七八九十一二三四五六七八九十一' WHERE ID = "_s
               + Row86 }
        << none << QString() << -1 << 25 << u"String or binary data would be truncated."_s << 86;
    QTest::newRow("NULL in a NOT NULL column in the middle of a table")
        << QStringList { u"UPDATE kjkmxxb SET lbbm = NULL WHERE ID = "_s + Row86 }
        << QStringList { u"DROP TABLE kjkmxxb"_s, KjkmxxbWithRequiredLbbm } << QString() << -1 << 7
        << u"Cannot insert the value NULL into column 'lbbm'"_s << 86;
    QTest::newRow("target table missing")
        << none << QStringList { u"DROP TABLE kjkmlbb"_s } << QString() << -1 << 25
        << u"[ztwizard][SQL Server]Invalid object name 'kjkmlbb'."_s << 0;
    QTest::newRow("source table missing") << none << none << u"nosuch"_s << -1 << 25 << u"nosuch"_s << 0;
    QTest::newRow("empty source table whose target lacks a column")
        << QStringList { u"DELETE FROM ckdsz02"_s }
        << QStringList { u"DROP TABLE ckdsz02"_s, u"CREATE TABLE [ckdsz02] ([xh] [int] NULL)"_s } << QString()
        << -1 << 25 << QString() << -1;
    QTest::newRow("awkward values and NULLs")
        << QStringList { u"UPDATE kjkmxxb SET kmmc = 'O''Brien''s 科目', kmqc = NULL, lbbm = NULL WHERE xh = 3"_s,
               u"UPDATE kjkmxxb SET kmmc = '''); DROP TABLE kjkmxxb; --', sjkm = '' WHERE xh = 5"_s,
               u"UPDATE kjkmxxb SET kmqc = 'a' || char(13, 10) || 'b' WHERE xh = 6"_s }
        << none << QString() << -1 << 25 << QString() << -1;
}

void TestBaseDataTransfer::sameOutcomeAsPostingRowByRow()
{
    compareWithRowByRow();
}

void TestBaseDataTransfer::sameOutcomeThroughFreeTds_data()
{
    QTest::addColumn<QStringList>("source");
    QTest::addColumn<QStringList>("target");
    QTest::addColumn<QString>("insertTable");
    QTest::addColumn<int>("refusedRow");
    QTest::addColumn<int>("rowsPerBatch");
    QTest::addColumn<QString>("error");
    QTest::addColumn<int>("kjkmxxbRows");

    const QStringList none;
    QTest::newRow("shipped base data") << none << none << QString() << -1 << 1000 << QString() << -1;
    QTest::newRow("refused value in the middle of a table")
        << none << none << QString() << 86 << 25
        << u"[FreeTDS][SQL Server]Violation of UNIQUE KEY constraint. Cannot insert duplicate key in object 'dbo.kjkmxxb'."_s
        << 86;
    QTest::newRow("over-long value in the middle of a table")
        << QStringList { u"UPDATE kjkmxxb SET kmmc = '一二三四五六七八九十一二三四五六七八九十一二三四五六七八九十一二三四五六七八九十一' WHERE ID = "_s
               + Row86 }
        << none << QString() << -1 << 1000
        << u"[FreeTDS][SQL Server]String or binary data would be truncated."_s << 86;
    QTest::newRow("target table lacks a column")
        << none
        << QStringList { u"DROP TABLE kjkmxxb"_s,
               u"CREATE TABLE [kjkmxxb] ([xh] [int] IDENTITY (1, 1) NOT NULL, [ID] [int] NULL)"_s }
        << QString() << -1 << 1000 << u"ADOTy1: Field 'kmdm' not found"_s << 0;
}

void TestBaseDataTransfer::sameOutcomeThroughFreeTds()
{
    test::TdsProcess tds(m_install->dir());
    QVERIFY2(tds.port() > 0, "ztwizard-tds did not start");
    m_server = tds.serverName();
    m_login = Credentials::sql(QStringLiteral("sa"), QString());
    compareWithRowByRow();
}

void TestBaseDataTransfer::compareWithRowByRow()
{
    QFETCH(QStringList, source);
    QFETCH(QStringList, target);
    QFETCH(QString, insertTable);
    QFETCH(int, refusedRow);
    QFETCH(int, rowsPerBatch);
    QFETCH(QString, error);
    QFETCH(int, kjkmxxbRows);

    {
        data::Connection sample;
        sample.setConnectionString(store::localAccessString(QStringLiteral("Sample.mdb")));
        for (QString sql : source)
            sample.backend().execute(sql.replace(Row86, sourceIds(u"kjkmxxb"_s).at(86)));
    }
    if (refusedRow >= 0) {
        // The server already holds a row with that ID and takes each ID only once.
        target << u"CREATE UNIQUE INDEX [ux_kjkmxxb_ID] ON [kjkmxxb] ([ID])"_s
               << u"INSERT INTO kjkmxxb (ID, kmdm) VALUES (%1, N'held')"_s.arg(
                      sourceIds(u"kjkmxxb"_s).at(refusedRow));
    }
    QStringList tables = baseDataTables();
    if (!insertTable.isEmpty())
        tables.insert(tables.indexOf(u"kjkmlbb"_s), insertTable);

    build(QStringLiteral("rowbyrow"), target);
    build(QStringLiteral("batched"), target);
    const QString expected = transfer(QStringLiteral("rowbyrow"), tables, false, 0);
    g_serverStatements.clear();
    const QString actual = transfer(QStringLiteral("batched"), tables, true, rowsPerBatch);
    const int calls = int(g_serverStatements.size());

    // Messages that name the table name it with its database.
    QCOMPARE(actual, QString(expected).replace(u"rowbyrow."_s, u"batched."_s));
    if (error.isEmpty())
        QCOMPARE(actual, test::NoError);
    else
        QVERIFY2(actual.contains(error), qPrintable(actual));
    for (const QString &table : baseDataTables())
        QCOMPARE(contents(QStringLiteral("batched"), table), contents(QStringLiteral("rowbyrow"), table));

    const int held = refusedRow >= 0 ? 1 : 0;
    QCOMPARE(contents(QStringLiteral("batched"), u"kjkmxxb"_s).size(),
        kjkmxxbRows >= 0 ? kjkmxxbRows + held : sourceIds(u"kjkmxxb"_s).size());
    if (error.isEmpty() && rowsPerBatch == 1000)
        QCOMPARE(calls, 2); // the columns of all tables, then one batch of all rows
}

QTEST_GUILESS_MAIN(TestBaseDataTransfer)
#include "tst_basedatatransfer.moc"
