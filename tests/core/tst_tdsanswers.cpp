// What an ordinary client meets on ztwizard-tds: each statement of the documented subset runs
// through unixODBC and the FreeTDS driver, and its answer (result sets with their column types,
// rows, row counts, message numbers) is compared with SQL Server's documented answer.
#include "tdsprocess.h"
#include "testinstallation.h"

#include <QTest>

#include <sql.h>
#include <sqlext.h>

using namespace zt;

namespace {

// One ODBC connection through FreeTDS, rendering the whole answer of a batch as one line:
// "[name:type,...] v|v / v|v" per result set, "(n)" per row count, "!N" per error and "~N" per
// information message (N its number). Decimal values are written without trailing zeros.
class Client final
{
public:
    Client(int port, const QString &database)
    {
        SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &m_env);
        SQLSetEnvAttr(m_env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
        SQLAllocHandle(SQL_HANDLE_DBC, m_env, &m_dbc);
        const QByteArray text
            = QStringLiteral("Driver=FreeTDS;Server=127.0.0.1;Port=%1;TDS_Version=7.4;Encryption=require;"
                             "ClientCharset=UTF-8;UID=sa;PWD=;Database=%2;")
                  .arg(port)
                  .arg(database)
                  .toUtf8();
        m_open = SQL_SUCCEEDED(SQLDriverConnect(m_dbc, nullptr, (SQLCHAR *)text.constData(),
            SQLSMALLINT(text.size()), nullptr, 0, nullptr, SQL_DRIVER_NOPROMPT));
    }
    ~Client()
    {
        if (m_open)
            SQLDisconnect(m_dbc);
        SQLFreeHandle(SQL_HANDLE_DBC, m_dbc);
        SQLFreeHandle(SQL_HANDLE_ENV, m_env);
    }
    bool isOpen() const { return m_open; }

    QString answer(const QString &batch)
    {
        SQLHSTMT h = nullptr;
        SQLAllocHandle(SQL_HANDLE_STMT, m_dbc, &h);
        QStringList parts;
        const QByteArray sql = batch.toUtf8();
        SQLRETURN rc = SQLExecDirect(h, (SQLCHAR *)sql.constData(), SQLINTEGER(sql.size()));
        for (int results = 0; rc != SQL_NO_DATA && results < 20; ++results) {
            messages(h, parts);
            if (SQL_SUCCEEDED(rc))
                result(h, parts);
            rc = SQLMoreResults(h);
        }
        SQLFreeHandle(SQL_HANDLE_STMT, h);
        return parts.join(QStringLiteral(" / "));
    }

private:
    static void messages(SQLHSTMT h, QStringList &parts)
    {
        for (SQLSMALLINT i = 1;; ++i) {
            SQLCHAR state[6] = {};
            SQLINTEGER native = 0;
            SQLCHAR text[1024];
            SQLSMALLINT length = 0;
            if (!SQL_SUCCEEDED(
                    SQLGetDiagRec(SQL_HANDLE_STMT, h, i, state, &native, text, sizeof text, &length)))
                return;
            const bool info = QByteArray(reinterpret_cast<char *>(state), 2) == "01";
            parts << (info ? u'~' : u'!') + QString::number(native);
        }
    }

    static void result(SQLHSTMT h, QStringList &parts)
    {
        SQLSMALLINT columns = 0;
        SQLNumResultCols(h, &columns);
        if (columns == 0) {
            SQLLEN count = -1;
            SQLRowCount(h, &count);
            if (count >= 0)
                parts << QStringLiteral("(%1)").arg(count);
            return;
        }
        QStringList heads;
        QList<bool> exact;
        for (SQLUSMALLINT c = 1; c <= SQLUSMALLINT(columns); ++c) {
            SQLCHAR name[256] = {}, type[64] = {};
            SQLSMALLINT nameLength = 0, sqlType = 0, digits = 0, nullable = 0;
            SQLULEN size = 0;
            SQLDescribeCol(h, c, name, sizeof name, &nameLength, &sqlType, &size, &digits, &nullable);
            SQLSMALLINT typeLength = 0;
            SQLColAttribute(h, c, SQL_DESC_TYPE_NAME, type, sizeof type, &typeLength, nullptr);
            QString head = QString::fromUtf8(reinterpret_cast<char *>(name)) + u':'
                + QString::fromUtf8(reinterpret_cast<char *>(type));
            if (head.endsWith(QLatin1StringView(":decimal")) || head.endsWith(QLatin1StringView(":numeric")))
                head += QStringLiteral("(%1,%2)").arg(size).arg(digits); // precision and scale
            heads << head;
            exact << (sqlType == SQL_DECIMAL || sqlType == SQL_NUMERIC);
        }
        QStringList rows;
        while (SQL_SUCCEEDED(SQLFetch(h))) {
            QStringList values;
            for (SQLUSMALLINT c = 1; c <= SQLUSMALLINT(columns); ++c) {
                char value[4096];
                SQLLEN length = 0;
                SQLGetData(h, c, SQL_C_CHAR, value, sizeof value, &length);
                QString text
                    = length == SQL_NULL_DATA ? QStringLiteral("NULL") : QString::fromUtf8(value).trimmed();
                if (exact[c - 1] && text.contains(u'.')) {
                    while (text.endsWith(u'0'))
                        text.chop(1);
                    if (text.endsWith(u'.'))
                        text.chop(1);
                }
                values << text;
            }
            rows << values.join(u'|');
        }
        parts << u'[' + heads.join(u',') + u']'
                + (rows.isEmpty() ? QString() : u' ' + rows.join(QStringLiteral(" ; ")));
    }

public:
    // The lengths the driver gives the columns of the batch's first result set, one
    // "name:size/length/octets" each: SQLDescribeCol's column size, SQL_DESC_LENGTH and
    // SQL_DESC_OCTET_LENGTH.
    QString lengths(const QString &batch)
    {
        SQLHSTMT h = nullptr;
        SQLAllocHandle(SQL_HANDLE_STMT, m_dbc, &h);
        const QByteArray sql = batch.toUtf8();
        QStringList columns;
        if (SQL_SUCCEEDED(SQLExecDirect(h, (SQLCHAR *)sql.constData(), SQLINTEGER(sql.size())))) {
            SQLSMALLINT count = 0;
            SQLNumResultCols(h, &count);
            for (SQLUSMALLINT c = 1; c <= SQLUSMALLINT(count); ++c) {
                SQLCHAR name[256] = {};
                SQLSMALLINT nameLength = 0, sqlType = 0, digits = 0, nullable = 0;
                SQLULEN size = 0;
                SQLDescribeCol(h, c, name, sizeof name, &nameLength, &sqlType, &size, &digits, &nullable);
                SQLLEN length = 0, octets = 0;
                SQLColAttribute(h, c, SQL_DESC_LENGTH, nullptr, 0, nullptr, &length);
                SQLColAttribute(h, c, SQL_DESC_OCTET_LENGTH, nullptr, 0, nullptr, &octets);
                columns << QStringLiteral("%1:%2/%3/%4")
                               .arg(QString::fromUtf8(reinterpret_cast<char *>(name)))
                               .arg(size)
                               .arg(length)
                               .arg(octets);
            }
        }
        SQLFreeHandle(SQL_HANDLE_STMT, h);
        return columns.join(u',');
    }

private:
    SQLHENV m_env = nullptr;
    SQLHDBC m_dbc = nullptr;
    bool m_open = false;
};

} // namespace

class TestTdsAnswers final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void statements_data();
    void statements();
    void exactNumbers_data();
    void exactNumbers();
    void columnLengths_data();
    void columnLengths();

private:
    std::unique_ptr<test::TestInstallation> m_install;
    std::unique_ptr<test::TdsProcess> m_tds;
};

void TestTdsAnswers::initTestCase()
{
    m_install = std::make_unique<test::TestInstallation>();
    QVERIFY(m_install->isValid());
    m_tds = std::make_unique<test::TdsProcess>(m_install->dir());
    QVERIFY(m_tds->port() != 0);
    Client master(m_tds->port(), QStringLiteral("master"));
    QVERIFY(master.isOpen());
    QCOMPARE(master.answer(QStringLiteral("create database answers")), QString());
    Client client(m_tds->port(), QStringLiteral("answers"));
    QCOMPARE(client.answer(QStringLiteral(
                 "create table t (id int identity(1,1) primary key, n nvarchar(10) not null, i int, "
                 "d decimal(18,2), m money, b varbinary(8));"
                 "insert into t (n, i, d, m) values (N'甲', 1, 0.10, 1.25);"
                 "insert into t (n, i, d, m) values (N'乙', 2, 0.20, 2.5);"
                 "insert into t (n, i, d, m) values (N'丙', 3, 12.30, 0)")),
        QStringLiteral("(1) / (1) / (1)"));
}

void TestTdsAnswers::cleanupTestCase()
{
    m_tds.reset();
    m_install.reset();
}

void TestTdsAnswers::statements_data()
{
    QTest::addColumn<QString>("batch");
    QTest::addColumn<QString>("expected");
    auto row = [](const char *name, const char *batch, const char *expected) {
        QTest::newRow(name) << QString::fromUtf8(batch) << QString::fromUtf8(expected);
    };
    // Result sets, counts and SET NOCOUNT.
    row("two result sets", "select 1 as a; select N'x' as b", "[a:int] 1 / [b:nvarchar] x");
    row("counts per statement", "update t set i = i where id < 3; select count(*) as c from t",
        "(2) / [c:int] 3");
    row("nocount", "set nocount on; update t set i = i; select @@rowcount as r", "[r:int] 3");
    row("unnamed column", "select 1 + 1", "[:int] 2");
    // Refusals with SQL Server's numbers; 3621 is information.
    row("conversion", "insert into t (n, i) values (N'x', N'abc')", "!245");
    row("divide by zero", "select 1 / 0", "!8134");
    row("divide by zero in an update", "update t set i = i / 0", "!8134 / ~3621");
    row("truncation", "insert into t (n) values (N'12345678901')", "!8152 / ~3621");
    row("null", "insert into t (i) values (1)", "!515 / ~3621");
    row("explicit identity", "insert into t (id, n) values (1, N'x')", "!544");
    row("other schema", "select * from guest.t", "!208");
    row("table in another schema", "create table guest.u (x int)", "!2760");
    row("missing procedure", "exec sp_nothing", "!2812");
    row("commit without begin", "commit tran", "!3902");
    row("undeclared variable", "select @nothing", "!137");
    // Names of one, two and three parts, hints, TOP and OFFSET.
    row("use first in a batch", "use master; select db_name() as d", "~5701 / [d:nvarchar] master");
    row("two-part name", "select count(*) as c from dbo.t", "[c:int] 3");
    row("three-part name", "select count(*) as c from answers.dbo.t", "[c:int] 3");
    row("database and default schema", "select count(*) as c from [answers]..[t] with (nolock)", "[c:int] 3");
    row("top", "select top 1 n from t order by id desc", "[n:nvarchar] 丙");
    row("top in parentheses", "select top (2) id from t order by id", "[id:int] 1 ; 2");
    row("offset fetch", "select id from t order by id offset 1 rows fetch next 1 rows only", "[id:int] 2");
    // Functions and server variables.
    row("functions", "select db_name() as d, suser_sname() as s, schema_name() as c, datalength(N'ab') as l",
        "[d:nvarchar,s:nvarchar,c:nvarchar,l:int] answers|sa|dbo|4");
    row("convert and cast", "select convert(nvarchar(3), N'abcdef') as c, cast(12 as nvarchar(10)) as t",
        "[c:nvarchar,t:nvarchar] abc|12");
    row("replicate and concatenation", "select replicate(N'ab', 2) + N'-' + n as r from t where id = 1",
        "[r:nvarchar] abab-甲");
    row("binary literal",
        "update t set b = 0x00ff10 where id = 1; select b, datalength(b) as l from t where id = 1",
        "(1) / [b:varbinary,l:int] 00ff10|3");
    row("product version", "select cast(serverproperty('ProductVersion') as nvarchar(128)) as v",
        "[v:nvarchar] 15.0.2000.5");
    row("version",
        "select case when @@version like 'Microsoft SQL Server 2019%15.0.2000.5%ztwizard embedded server%' "
        "then 1 else 0 end as v",
        "[v:int] 1");
    // Transactions, variables, messages.
    row("transaction nesting",
        "begin tran; begin transaction; select @@trancount as a; commit; select @@trancount as b; "
        "rollback tran; select @@trancount as c",
        "[a:int] 2 / [b:int] 1 / [c:int] 0");
    row("rollback undoes", "begin tran; delete from t; rollback; select count(*) as c from t",
        "(3) / [c:int] 3");
    row("variables", "declare @v int = 5, @s nvarchar(10); set @s = N'x'; select @v * 2 as v, @s as s",
        "[v:int,s:nvarchar] 10|x");
    row("select assigns", "declare @c int; select @c = count(*) from t; select @c as c", "(1) / [c:int] 3");
    row("print", "print N'hello'", "~0");
    row("raiserror information", "raiserror('note %d', 10, 1, 7)", "~50000");
    row("raiserror error", "raiserror('bad', 16, 1)", "!50000");
    // Catalogue views and procedures.
    row("sys.databases",
        "select name, database_id, state_desc, collation_name from sys.databases "
        "where name in ('master', 'answers') order by database_id",
        "[name:nvarchar,database_id:int,state_desc:nvarchar,collation_name:nvarchar] "
        "master|1|ONLINE|Chinese_PRC_CI_AS ; answers|5|ONLINE|Chinese_PRC_CI_AS");
    row("sys.tables", "select name, type, type_desc from sys.tables",
        "[name:nvarchar,type:char,type_desc:nvarchar] t|U|USER_TABLE");
    row("sys.columns",
        "select c.name, c.max_length, c.precision, c.scale, c.is_nullable, c.is_identity "
        "from sys.columns c join sys.objects o on o.object_id = c.object_id "
        "where o.name = 't' and c.column_id in (1, 2, 4) order by c.column_id",
        "[name:nvarchar,max_length:smallint,precision:tinyint,scale:tinyint,is_nullable:bit,is_identity:bit] "
        "id|4|10|0|0|1 ; n|20|0|0|0|0 ; d|9|18|2|1|0");
    row("information_schema",
        "select TABLE_CATALOG, TABLE_SCHEMA, TABLE_NAME, TABLE_TYPE from INFORMATION_SCHEMA.TABLES",
        "[TABLE_CATALOG:nvarchar,TABLE_SCHEMA:nvarchar,TABLE_NAME:nvarchar,TABLE_TYPE:varchar] "
        "answers|dbo|t|BASE TABLE");
    row("information_schema columns",
        "select COLUMN_NAME, DATA_TYPE, CHARACTER_MAXIMUM_LENGTH, NUMERIC_PRECISION, NUMERIC_SCALE "
        "from INFORMATION_SCHEMA.COLUMNS where TABLE_NAME = 't' and ORDINAL_POSITION in (2, 4)",
        "[COLUMN_NAME:nvarchar,DATA_TYPE:nvarchar,CHARACTER_MAXIMUM_LENGTH:int,NUMERIC_PRECISION:tinyint,"
        "NUMERIC_SCALE:int] n|nvarchar|10|NULL|NULL ; d|decimal|NULL|18|2");
    row("sp_databases", "exec sp_databases", "");
    row("sp_tables", "exec sp_tables t",
        "[TABLE_QUALIFIER:nvarchar,TABLE_OWNER:nvarchar,TABLE_NAME:nvarchar,"
        "TABLE_TYPE:varchar,REMARKS:varchar] answers|dbo|t|TABLE|NULL");
    row("sp_columns", "sp_columns @table_name = 't'", "");
    row("sp_who", "exec sp_who", "");
    row("sp_helpdb", "exec sp_helpdb 'answers'", "");
    row("sp_datatype_info_100", "exec sp_datatype_info_100 4", "");
    // Errors that end their statement only: the error, 3621, then the next statement's answer
    // (after the catalogue rows, which list the tables: these make one). Not the batch's first
    // statement: when that fails, FreeTDS's SQLExecDirect fails and it reports nothing more.
    row("duplicate key goes on",
        "create table k (x int primary key); insert into k values (1); insert into k values (1); "
        "select count(*) as c, @@error as e from k",
        "(1) / !2627 / ~3621 / [c:int,e:int] 1|2627");
    row("null goes on", "select 0 as z; insert into t (i) values (1); select count(*) as c from t",
        "[z:int] 0 / !515 / ~3621 / [c:int] 3");
    row("too long goes on",
        "insert into k values (2); insert into k values (1); insert into t (n) values (N'12345678901'); "
        "select 1 as a",
        "(1) / !2627 / ~3621 / !8152 / ~3621 / [a:int] 1");
    row("the error check ends the batch", "insert into k values (1); if @@error <> 0 return; select 1 as a",
        "!2627 / ~3621");
    row("inside a transaction",
        "begin tran; select 0 as z; insert into k values (1); select @@trancount as n; rollback",
        "[z:int] 0 / !2627 / ~3621 / [n:int] 1");
    row("a conversion error ends the batch", "insert into t (n, i) values (N'x', N'abc'); select 1 as a",
        "!245");
}

void TestTdsAnswers::statements()
{
    QFETCH(QString, batch);
    QFETCH(QString, expected);
    Client client(m_tds->port(), QStringLiteral("answers"));
    QVERIFY(client.isOpen());
    const QString answer = client.answer(batch);
    if (expected.isEmpty()) // a procedure whose rows depend on the moment: it answers one result set
        QVERIFY2(answer.startsWith(u'[') && !answer.contains(QStringLiteral(" / ")), qPrintable(answer));
    else
        QCOMPARE(answer, expected);
}

void TestTdsAnswers::exactNumbers_data()
{
    QTest::addColumn<QString>("batch");
    QTest::addColumn<QString>("expected");
    auto row = [](const char *name, const char *batch, const char *expected) {
        QTest::newRow(name) << QString::fromUtf8(batch) << QString::fromUtf8(expected);
    };
    row("column read back", "select d, m from t where id = 3", "[d:decimal(18,2),m:money] 12.3|0");
    row("sum", "select sum(d) as s from t where id < 3", "[s:decimal(38,2)] 0.3");
    row("compare", "select count(*) as c from t where d = 0.2 or d > 12.29", "[c:int] 2");
    row("order", "select id from t order by d desc", "[id:int] 3 ; 2 ; 1");
    row("overflow", "insert into t (n, d) values (N'x', 1234567890123456789.5)", "!8115 / ~3621");
    row("overflow of precision", "create table small (x decimal(5,2)); insert into small values (1000)",
        "!8115 / ~3621");
    row("money overflow", "insert into t (n, m) values (N'x', 922337203685477.5808)", "!8115 / ~3621");
    row("cast to decimal", "select cast(2.345 as decimal(10,2)) as c", "[c:decimal(10,2)] 2.35");
    row("sum of literals", "select 0.10 + 0.20 as s", "[s:decimal(3,2)] 0.3");
    row("sum in a comparison", "select id from t where d + 0.10 = 0.30 or 0.30 - d = 0.20", "[id:int] 1 ; 2");
    row("product", "select d * 3 as p, m * 1.1 as q from t where id = 1",
        "[p:decimal(29,2),q:decimal(22,5)] 0.3|1.375");
    row("sum of many rows", "select count(*) as c from t, t as u having sum(0.10) = 0.90", "[c:int] 9");
    row("rounded when stored",
        "insert into t (n, d, m) values (N'r', 0.125, 1.23456); update t set d = -0.125 where id = 1; "
        "select d, m from t where n = N'r' or id = 1 order by id; delete from t where n = N'r'; "
        "update t set d = 0.10 where id = 1",
        "(1) / (1) / [d:decimal(18,2),m:money] -0.13|1.25 ; 0.13|1.2346 / (1) / (1)");
    row("precedence", "select 1.5 + 0.5 * 3 - 0.25 as v, 7 / 2 * 2 + 7 % 2 as w, 3 - 5 * 2 as x",
        "[v:decimal(15,2),w:int,x:int] 2.75|7|-7");
    row("signs and parentheses", "select id from t where -(d + 0.1) * -2 = 0.6", "[id:int] 2");
    row("in a call", "select id from t where abs(d - 0.3) = 0.2", "[id:int] 1");
    row("money times a decimal", "select id from t where m * 1.1 = 1.375", "[id:int] 1");
    row("names of two parts", "select t.d + t.m as v, count(*) * 2 as c from t where id = 1",
        "[v:decimal(21,4),c:int] 1.35|2");
    row("a running sum",
        "select count(*) as c from (select sum(d) over (order by id) as s from t) x "
        "where s in (0.10, 0.30, 12.60)",
        "[c:int] 3");
    row("a moving sum",
        "select count(*) as c from (select sum(d) over (order by id rows between 1 "
        "preceding and current row) as s from t) x where s in (0.10, 0.30, 12.50)",
        "[c:int] 3");
    row("sum of integers", "select sum(i) as s from t", "[s:int] 6");
    row("an average", "select count(*) as c from t where id < 3 having avg(d) = 0.15", "[c:int] 2");
    row("a variable",
        "declare @a decimal(10, 2) = 0.1; set @a = @a + 0.2; "
        "select case when @a = 0.3 then 1 else 0 end as e",
        "[e:int] 1");
    row("a row changed and found",
        "update t set m = m - 0.1 where id = 2; select id from t where m = 2.4; "
        "update t set m = m + 0.1 where id = 2",
        "(1) / [id:int] 2 / (1)");
    row("rounded into its precision", "insert into small values (999.994); select x from small",
        "(1) / [x:decimal(5,2)] 999.99");
    row("rounded beyond its precision", "insert into small values (999.995)", "!8115 / ~3621");
    row("texts joined", "select n + n as j from t where id = 1", "[j:nvarchar] 甲甲");
    row("beyond a double's digits",
        "insert into t (n, d, m) values (N'x', 1234567890123456.78, -922337203685477.5808); "
        "select d, m, d * 2 as g, m + 0.0001 as h from t where n = N'x' and d = 1234567890123456.78; "
        "delete from t where n = N'x'",
        "(1) / [d:decimal(18,2),m:money,g:decimal(29,2),h:decimal(20,4)] "
        "1234567890123456.78|-922337203685477.5808|2469135780246913.56|-922337203685477.5807 / (1)");
    row("money at its limit",
        "insert into t (n, m) values (N'x', 922337203685477.5807); "
        "select m from t where n = N'x'; delete from t where n = N'x'",
        "(1) / [m:money] 922337203685477.5807 / (1)");
    row("text converted beside a number", "select '12' + 1 as a, n + N'!' as b from t where id = 1",
        "[a:int,b:nvarchar] 13|甲!");
    row("text that is no number", "select 'abc' + 1", "!245");
    row("int overflow", "select 2147483647 + 1", "!8115");
    row("division at SQL Server's scale",
        "select 1.0 / 3 as a, 2.0 / 3 * 3 as b, 7 / 2 as c, -7 / 2 as e, d / 3 as f from t where id = 1",
        "[a:decimal(13,12),b:decimal(24,12),c:int,e:int,f:decimal(29,13)] "
        "0.333333333333|2.000000000001|3|-3|0.0333333333333");
    row("division of many digits", "select 1234567890123456.78 / 2 as a",
        "[a:decimal(29,13)] 617283945061728.39");
    row("ordered beyond a double's digits",
        "insert into t (n, d, m) values (N'x', 1234567890123456.78, -922337203685477.5808); "
        "insert into t (n, d, m) values (N'x', -1234567890123456.78, 922337203685477.5807); "
        "select d from t order by d desc; "
        "select count(*) as c from t where d > 12.3 and m < 0 or d between -1234567890123456.79 and "
        "-1234567890123456.77; "
        "select min(d) as a, max(m) as b, sum(d) as s, avg(d) as v from t; delete from t where n = N'x'",
        "(1) / (1) / [d:decimal(18,2)] 1234567890123456.78 ; 12.3 ; 0.2 ; 0.1 ; -1234567890123456.78 / "
        "[c:int] 2 / [a:decimal(18,2),b:money,s:decimal(38,2),v:decimal(38,6)] "
        "-1234567890123456.78|922337203685477.5807|12.6|2.52 / (2)");
    row("types of results",
        "select d + 1 as a, d * m as b, m * 2 as c, -d as e, avg(i) over () as v from t where id = 1",
        "[a:decimal(19,2),b:decimal(38,6),c:money,e:decimal(18,2),v:int] 1.1|0.125|2.5|-0.1|1");
}

void TestTdsAnswers::exactNumbers()
{
    statements();
}

void TestTdsAnswers::columnLengths_data()
{
    QTest::addColumn<QString>("batch");
    QTest::addColumn<QString>("expected");
    // In characters as the driver reports them (octets in the client's UTF-8), whatever the
    // column metadata counts them in (bytes: two for each UTF-16 unit of an nvarchar; sent in
    // characters, nvarchar(50) would read 25).
    QTest::newRow("nvarchar(50) and varchar(50)")
        << QStringLiteral("create table widths (w nvarchar(50), a varchar(50), wc nchar(10), ac char(10)); "
                          "select w, a, wc, ac from widths")
        << QStringLiteral("w:50/50/150,a:50/50/50,wc:10/10/20,ac:10/10/10");
}

void TestTdsAnswers::columnLengths()
{
    QFETCH(QString, batch);
    QFETCH(QString, expected);
    Client client(m_tds->port(), QStringLiteral("answers"));
    QVERIFY(client.isOpen());
    QCOMPARE(client.lengths(batch), expected);
}

QTEST_GUILESS_MAIN(TestTdsAnswers)
#include "tst_tdsanswers.moc"
