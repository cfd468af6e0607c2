// The ADO-like query and connection of the data layer, over a plain SQLite session, so that
// what the layer itself writes (inserts, located updates and deletes, conversions) is checked
// apart from any driver.
#include "data/backends.h"
#include "data/connection.h"
#include "data/dataerror.h"
#include "data/query.h"
#include "testhelpers.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <sqlite3.h>

using namespace zt::data;

namespace {

class SqliteSession final : public Backend
{
public:
    explicit SqliteSession(const QString &file) { sqlite3_open(file.toUtf8().constData(), &m_db); }
    ~SqliteSession() override { sqlite3_close(m_db); }

    Dialect dialect() const override { return Dialect::Sqlite; }

    ResultSet query(const QString &sql, const QList<QVariant> &params) override
    {
        ResultSet result;
        run(sql, params, &result);
        return result;
    }

    int execute(const QString &sql, const QList<QVariant> &params) override
    {
        run(sql, params, nullptr);
        return sqlite3_changes(m_db);
    }

    static inline QStringList statements; // every statement sent, for the checks

private:
    void run(const QString &sql, const QList<QVariant> &params, ResultSet *result)
    {
        statements.append(sql);
        sqlite3_stmt *stmt = nullptr;
        if (sqlite3_prepare_v2(m_db, sql.toUtf8().constData(), -1, &stmt, nullptr) != SQLITE_OK)
            throw DataError(QString::fromUtf8(sqlite3_errmsg(m_db)));
        for (int i = 0; i < params.size(); ++i) {
            const QVariant &v = params.at(i);
            if (v.isNull())
                sqlite3_bind_null(stmt, i + 1);
            else if (v.typeId() == QMetaType::QDate)
                sqlite3_bind_text(
                    stmt, i + 1, v.toDate().toString(Qt::ISODate).toUtf8().constData(), -1, SQLITE_TRANSIENT);
            else if (v.typeId() == QMetaType::QDateTime)
                sqlite3_bind_text(stmt, i + 1,
                    v.toDateTime().toString(QStringLiteral("yyyy-MM-dd hh:mm:ss.zzz")).toUtf8().constData(),
                    -1, SQLITE_TRANSIENT);
            else
                sqlite3_bind_text(stmt, i + 1, v.toString().toUtf8().constData(), -1, SQLITE_TRANSIENT);
        }
        if (result) {
            for (int c = 0; c < sqlite3_column_count(stmt); ++c) {
                const char *decl = sqlite3_column_decltype(stmt, c);
                result->columns.append({ QString::fromUtf8(sqlite3_column_name(stmt, c)),
                    decl ? QString::fromUtf8(decl).toLower().section(u'(', 0, 0).trimmed() : QString() });
            }
        }
        int rc;
        while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
            if (!result)
                continue;
            QList<QVariant> row;
            for (int c = 0; c < sqlite3_column_count(stmt); ++c) {
                switch (sqlite3_column_type(stmt, c)) {
                case SQLITE_NULL:
                    row.append(QVariant());
                    break;
                case SQLITE_INTEGER:
                    row.append(QVariant(qlonglong(sqlite3_column_int64(stmt, c))));
                    break;
                case SQLITE_FLOAT:
                    row.append(QVariant(sqlite3_column_double(stmt, c)));
                    break;
                default:
                    row.append(QVariant(
                        QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(stmt, c)))));
                }
            }
            result->rows.append(row);
        }
        sqlite3_finalize(stmt);
        if (rc != SQLITE_DONE)
            throw DataError(QString::fromUtf8(sqlite3_errmsg(m_db)));
    }

    sqlite3 *m_db = nullptr;
};

void run(Query &q, const QString &sql)
{
    q.close();
    q.clearSql();
    q.addSql(sql);
    q.open();
}

void exec(Query &q, const QString &sql)
{
    q.close();
    q.clearSql();
    q.addSql(sql);
    q.execSql();
}

} // namespace

class TestQuery : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void registeredServerBackendsOpenTheNamesTheyClaim();

    void closedDatasetAnswersWithTheLayersText();
    void connectionStringRules();
    void sqlTextIsLinesEachEndedByCrLf();
    void fieldsReadAsTextWithNullAsEmpty();
    void appendPostsOnlyTheFieldsSet();
    void emptyTextClearsNonTextFields();
    void datesAreSetAsDates();
    void editChangesOnlyTheFirstOfTwinRows();
    void deleteRemovesTheCurrentRowOnly();
    void missingFieldNamesTheQueryAndField();
    void quotedTableNamesAreKept();
    void loadsGbkScriptLineByLine();

private:
    QTemporaryDir m_dir;
    std::unique_ptr<Connection> m_conn;
    std::unique_ptr<Query> m_query;
};

void TestQuery::init()
{
    const QString file = m_dir.filePath(QStringLiteral("t%1.db").arg(QTest::currentTestFunction()));
    setBackendFactory([file](const ConnectionString &) { return std::make_unique<SqliteSession>(file); });
    SqliteSession::statements.clear();
    m_conn = std::make_unique<Connection>(QStringLiteral("Conn_Ty"));
    m_conn->setConnectionString(ConnectionString::server(LoginFragment(), QStringLiteral("x")));
    m_query = std::make_unique<Query>(QStringLiteral("ADOTy"));
    m_query->setConnection(m_conn.get());
    exec(*m_query,
        QStringLiteral("create table t (id integer primary key autoincrement, name nvarchar(50), "
                       "qty int, price decimal(18,2), d date, dt datetime)"));
}

void TestQuery::cleanup()
{
    m_query.reset();
    m_conn.reset();
    setBackendFactory({});
}

void TestQuery::closedDatasetAnswersWithTheLayersText()
{
    Query q(QStringLiteral("ADOztgl"));
    try {
        q.recordCount();
        QFAIL("a closed result set answered");
    } catch (const DataError &e) {
        QCOMPARE(e.message(), QStringLiteral("ADOztgl: Cannot perform this operation on a closed dataset"));
    }
    QVERIFY_THROWS_EXCEPTION(DataError, q.fieldAsText(QStringLiteral("ztbh")));
    QVERIFY(q.isEof());
    QCOMPARE(q.fieldCount(), 0);
}

void TestQuery::connectionStringRules()
{
    Connection c(QStringLiteral("Conn1"));
    const auto a = ConnectionString::server(LoginFragment(), QStringLiteral("a"));
    const auto b = ConnectionString::server(LoginFragment(), QStringLiteral("b"));
    c.setConnectionString(a);
    c.open();
    c.setConnectionString(a); // unchanged: nothing happens
    QVERIFY(c.isOpen());
    QVERIFY_THROWS_EXCEPTION(DataError, c.setConnectionString(b));
    QCOMPARE(c.connectionString(), a);
    c.close();
    c.setConnectionString(b);
    QCOMPARE(c.connectionString().dataSource(), QStringLiteral("b"));
}

void TestQuery::sqlTextIsLinesEachEndedByCrLf()
{
    Query q(QStringLiteral("q"));
    q.addSql(QStringLiteral("CREATE TABLE x ( "));
    q.addSql(QStringLiteral("\t[a] int ) "));
    QCOMPARE(q.sqlText(), QStringLiteral("CREATE TABLE x ( \r\n\t[a] int ) \r\n"));
}

void TestQuery::fieldsReadAsTextWithNullAsEmpty()
{
    exec(*m_query, QStringLiteral("insert into t (name, qty, price) values ('甲', 3, 2.5)"));
    exec(*m_query, QStringLiteral("insert into t (name) values (null)"));
    run(*m_query, QStringLiteral("select * from t order by id"));
    QCOMPARE(m_query->recordCount(), 2);
    QCOMPARE(m_query->fieldCount(), 6);
    QCOMPARE(m_query->fieldName(1), QStringLiteral("name"));
    QCOMPARE(m_query->fieldAsText(QStringLiteral("NAME")), QStringLiteral("甲"));
    QCOMPARE(m_query->fieldAsText(QStringLiteral("qty")), QStringLiteral("3"));
    QCOMPARE(m_query->fieldAsText(QStringLiteral("price")), QStringLiteral("2.5"));
    m_query->next();
    QCOMPARE(m_query->fieldAsText(QStringLiteral("name")), QString());
    QCOMPARE(m_query->fieldAsText(QStringLiteral("qty")), QString());
    m_query->next();
    QVERIFY(m_query->isEof());
    run(*m_query, QStringLiteral("select * from t where 1=0"));
    QCOMPARE(m_query->recordCount(), 0);
    QCOMPARE(m_query->fieldAsText(QStringLiteral("name")), QString());
}

void TestQuery::appendPostsOnlyTheFieldsSet()
{
    run(*m_query, QStringLiteral("select * from t"));
    m_query->append();
    m_query->setFieldText(QStringLiteral("name"), QStringLiteral("O'Brien"));
    QCOMPARE(m_query->fieldAsText(QStringLiteral("name")), QStringLiteral("O'Brien"));
    m_query->post();
    QCOMPARE(m_query->recordCount(), 1);
    QCOMPARE(SqliteSession::statements.constLast(), QStringLiteral("INSERT INTO [t] ([name]) VALUES (?)"));
    run(*m_query, QStringLiteral("select * from t"));
    QCOMPARE(m_query->fieldAsText(QStringLiteral("id")), QStringLiteral("1")); // filled by the table
    QCOMPARE(m_query->fieldAsText(QStringLiteral("name")), QStringLiteral("O'Brien"));
    QCOMPARE(m_query->fieldAsText(QStringLiteral("qty")), QString());
    QVERIFY_THROWS_EXCEPTION(DataError, m_query->setFieldText(QStringLiteral("name"), QStringLiteral("x")));
}

void TestQuery::emptyTextClearsNonTextFields()
{
    run(*m_query, QStringLiteral("select * from t"));
    m_query->append();
    m_query->setFieldText(QStringLiteral("name"), QString());
    m_query->setFieldText(QStringLiteral("qty"), QString());
    m_query->setFieldText(QStringLiteral("price"), QStringLiteral("12.50"));
    m_query->post();
    run(*m_query,
        QStringLiteral("select count(*) as n from t where name = '' and qty is null and price = 12.5"));
    QCOMPARE(m_query->fieldAsText(QStringLiteral("n")), QStringLiteral("1"));
}

void TestQuery::datesAreSetAsDates()
{
    run(*m_query, QStringLiteral("select * from t"));
    m_query->append();
    m_query->setFieldDate(QStringLiteral("d"), QDate(2026, 12, 8));
    m_query->setFieldDate(QStringLiteral("dt"), QDate(2026, 12, 8));
    m_query->post();
    run(*m_query, QStringLiteral("select d, dt from t"));
    QCOMPARE(m_query->fieldAsText(QStringLiteral("d")), QStringLiteral("2026-12-08"));
    // A date-and-time field holds the date at midnight.
    QCOMPARE(m_query->fieldAsText(QStringLiteral("dt")), QStringLiteral("2026-12-08 00:00:00.000"));
    QCOMPARE(Query::valueToText(QDateTime(QDate(2026, 12, 8), QTime(0, 0))), QStringLiteral("2026-12-08"));
    QCOMPARE(Query::valueToText(QDateTime(QDate(2026, 12, 8), QTime(9, 5, 1))),
        QStringLiteral("2026-12-08 09:05:01"));
}

void TestQuery::editChangesOnlyTheFirstOfTwinRows()
{
    exec(*m_query, QStringLiteral("insert into t (name, qty) values ('a', 1)"));
    exec(*m_query, QStringLiteral("insert into t (name, qty) values ('a', 1)"));
    run(*m_query, QStringLiteral("select name, qty from t where name = 'a'"));
    m_query->edit();
    m_query->setFieldText(QStringLiteral("qty"), QStringLiteral("7"));
    m_query->post();
    QCOMPARE(m_query->fieldAsText(QStringLiteral("qty")), QStringLiteral("7"));
    run(*m_query, QStringLiteral("select qty from t order by id"));
    QCOMPARE(m_query->fieldAsText(QStringLiteral("qty")), QStringLiteral("7"));
    m_query->next();
    QCOMPARE(m_query->fieldAsText(QStringLiteral("qty")), QStringLiteral("1"));
}

void TestQuery::deleteRemovesTheCurrentRowOnly()
{
    for (const char *n : { "a", "b", "c" })
        exec(*m_query, QStringLiteral("insert into t (name) values ('%1')").arg(QLatin1String(n)));
    run(*m_query, QStringLiteral("select * from t order by id"));
    QSignalSpy removed(m_query.get(), &Query::rowRemoved);
    m_query->setCurrentRow(1);
    m_query->deleteCurrent();
    QCOMPARE(removed.count(), 1);
    QCOMPARE(m_query->recordCount(), 2);
    QCOMPARE(m_query->fieldAsText(QStringLiteral("name")), QStringLiteral("c"));
    run(*m_query, QStringLiteral("select name from t order by id"));
    QCOMPARE(m_query->recordCount(), 2);
    QCOMPARE(m_query->textAt(0, 0), QStringLiteral("a"));
    QCOMPARE(m_query->textAt(1, 0), QStringLiteral("c"));
    run(*m_query, QStringLiteral("select * from t where 1=0"));
    QVERIFY_THROWS_EXCEPTION(DataError, m_query->deleteCurrent());
}

void TestQuery::missingFieldNamesTheQueryAndField()
{
    run(*m_query, QStringLiteral("select * from t"));
    m_query->append();
    try {
        m_query->setFieldText(QStringLiteral("nosuch"), QStringLiteral("x"));
        QFAIL("a missing field was set");
    } catch (const DataError &e) {
        QCOMPARE(e.message(), QStringLiteral("ADOTy: Field 'nosuch' not found"));
    }
}

void TestQuery::quotedTableNamesAreKept()
{
    exec(*m_query, QStringLiteral("create table [odd name] (a text)"));
    run(*m_query, QStringLiteral("select * from [odd name]"));
    m_query->append();
    m_query->setFieldText(QStringLiteral("a"), QStringLiteral("v"));
    m_query->post();
    QCOMPARE(
        SqliteSession::statements.constLast(), QStringLiteral("INSERT INTO [odd name] ([a]) VALUES (?)"));
}

void TestQuery::loadsGbkScriptLineByLine()
{
    const QString path = m_dir.filePath(QStringLiteral("script.ini"));
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    // "create table 表 (a int)" in GBK, two lines, CR LF
    f.write("create table \xb1\xed\r\n(a int)\r\n");
    f.close();
    Query q(QStringLiteral("ADOTy1"));
    q.loadSqlFromFile(path);
    QCOMPARE(q.sqlLines(), QStringList({ QStringLiteral("create table 表"), QStringLiteral("(a int)") }));
    QVERIFY_THROWS_EXCEPTION(DataError, q.loadSqlFromFile(m_dir.filePath(QStringLiteral("missing.ini"))));
    // An empty script name leaves the data folder itself, which is no script.
    QVERIFY_THROWS_EXCEPTION(DataError, q.loadSqlFromFile(m_dir.path() + u'/'));
}

void TestQuery::registeredServerBackendsOpenTheNamesTheyClaim()
{
    setBackendFactory({});
    static QStringList opened;
    opened.clear();
    const QString file = m_dir.filePath(QStringLiteral("registered.db"));
    const auto backend = [file](const QString &tag) {
        return ServerBackend { QStringLiteral("test"),
            [](const QString &name) { return name.startsWith(QLatin1StringView("(test)")); },
            [file, tag](const ConnectionString &cs) -> std::unique_ptr<Backend> {
                opened << tag + cs.dataSource() + u'/' + cs.catalogName();
                return std::make_unique<SqliteSession>(file);
            } };
    };
    registerServerBackend(backend(QStringLiteral("first:")));
    registerServerBackend(backend(QStringLiteral("second:"))); // the same name: replaces the first
    const auto opens = [](const QString &server) {
        return zt::test::failureOf(
            [&] { openBackend(ConnectionString::catalog(LoginFragment(), QStringLiteral("db1"), server)); });
    };
    QCOMPARE(opens(QStringLiteral("(test)\\one")), zt::test::NoError);
    QCOMPARE(opened, QStringList { QStringLiteral("second:(test)\\one/db1") });
    // A name no back end claims goes to FreeTDS, which refuses this one before connecting.
    QVERIFY(opens(QStringLiteral("127.0.0.1,99999")).contains(QLatin1StringView("127.0.0.1,99999")));
    QCOMPARE(opened.size(), 1);
}

QTEST_GUILESS_MAIN(TestQuery)
#include "tst_query.moc"
