// The T-SQL subset through the data layer on the embedded server: what each batch of a session
// answers, with SQL Server's message texts, and what lasts from one batch to the next.
#include "data/dataerror.h"
#include "data/query.h"
#include "embedded/embeddedserver.h"
#include "embedded/tsqlstatement.h"

#include <QTemporaryDir>
#include <QTest>

using namespace zt;

namespace {

// A batch's answer as one line: "a|b: 1|x ; 2|y" for its first result set ("s:decimal(38,2)"
// for an expression of exact numbers with its type), "-" when it has none, or the error's text
// without the server prefix.
QString answerOf(data::Backend &db, const QString &batch)
{
    try {
        const data::ResultSet rows = db.query(batch);
        if (rows.columns.isEmpty())
            return QStringLiteral("-");
        QStringList names, lines;
        for (const data::Column &c : rows.columns)
            names << c.name
                    + (c.declType.isEmpty() && !c.declaredType.isEmpty() ? u':' + c.declaredType : QString());
        for (const QList<QVariant> &row : rows.rows) {
            QStringList values;
            for (const QVariant &v : row)
                values << (v.isNull() ? QStringLiteral("NULL") : data::Query::valueToText(v));
            lines << values.join(u'|');
        }
        return names.join(u'|') + QStringLiteral(": ") + lines.join(QStringLiteral(" ; "));
    } catch (const data::DataError &e) {
        return QString(e.message()).remove(QStringLiteral("[ztwizard][SQL Server]"));
    }
}

} // namespace

class TestTSqlSubset final : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void sessionAnswers_data();
    void sessionAnswers();
    void statementsAsSqliteRunsThem_data();
    void statementsAsSqliteRunsThem();

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<data::Backend> m_db;
};

void TestTSqlSubset::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    const QString root = m_dir->filePath(QStringLiteral("embedded"));
    embedded::connect(root, QStringLiteral("default"), data::Credentials::integrated(), {})
        ->execute(QStringLiteral("create database b"));
    m_db = embedded::connect(
        root, QStringLiteral("default"), data::Credentials::integrated(), QStringLiteral("b"));
    m_db->execute(
        QStringLiteral("create table t (id int identity(1,1), n nvarchar(10), i int, d decimal(18,2), "
                       "m money, bin varbinary(4))"));
}

void TestTSqlSubset::sessionAnswers_data()
{
    QTest::addColumn<QStringList>("batches");
    QTest::addColumn<QStringList>("answers");
    auto row = [](const char *name, std::initializer_list<const char *> batches,
                   std::initializer_list<const char *> answers) {
        QStringList b, a;
        for (const char *s : batches)
            b << QString::fromUtf8(s);
        for (const char *s : answers)
            a << QString::fromUtf8(s);
        QTest::newRow(name) << b << a;
    };
    row("the data layer reads the first result set", { "select 1 as a; select 2 as b" }, { "a: 1" });
    row("exact numbers read back",
        { "insert into t (d, m) values (0.10, 922337.1234); insert into t (d, m) values (9999999999999.99, "
          "0)",
            "select d, m from t order by d" },
        { "-", "d|m: 0.1|922337.1234 ; 9999999999999.99|0" });
    row("exact beyond a double's digits",
        { "insert into t (d, m) values (1234567890123456.78, 922337203685477.5807); "
          "insert into t (d, m) values (-9999999999999999.99, -922337203685477.5808)",
            "select d, m, d + 0.01 as e, m - 1 as f, d * 2 as g from t order by id",
            "select sum(d) as s, count(*) as c from t where d = 1234567890123456.78 or m = "
            "-922337203685477.5808",
            "update t set d = d + 0.005 where id = 1; select d from t where id = 1" },
        { "-",
            "d|m|e:decimal(19,2)|f:money|g:decimal(29,2): "
            "1234567890123456.78|922337203685477.5807|1234567890123456.79|922337203685476.5807|"
            "2469135780246913.56 ; -9999999999999999.99|-922337203685477.5808|-9999999999999999.98|"
            "-922337203685478.5808|-19999999999999999.98",
            "s:decimal(38,2)|c: -8765432109876543.21|2", "d: 1234567890123456.79" });
    row("exact numbers ordered, compared and averaged",
        { "insert into t (d, m) values (1234567890123456.78, 1); "
          "insert into t (d, m) values (-1234567890123456.78, 922337203685477.5807); "
          "insert into t (d, m) values (0.5, -922337203685477.5808); "
          "insert into t (d, m) values (9999999999999999.99, 0.5); "
          "insert into t (d, m) values (1234567890123456.7, NULL); insert into t (m) values (2)",
            "select id from t order by d", "select id from t order by m desc, id",
            "select id from t where d > 1234567890123456.7 or m < -1 or d between -1234567890123456.79 and "
            "-1234567890123456.77 order by id",
            "create view v as select id, d from t", "select id from v where d < 1 order by d desc",
            "select id, d from t where id < 3 union all select id, m from t where id > 4 order by 2 desc",
            "select min(d) as a, max(d) as b, min(m) as c, max(m) as e from t",
            "select id, -d as e from t where d is not null order by e desc",
            "select id from t order by 2 - id",
            "select id, min(d) over (order by id rows between 1 preceding and current row) as w from t "
            "where d is not null",
            "select avg(d) as a, sum(d) as s, avg(m) as v, sum(m) as w from t where id in (1, 3)",
            "select avg(id) as a, d / 3 as q from t where id = 3",
            "select d + 1 as a, d * m as b, m * 2 as c, d - 0.125 as e from t where id = 4",
            "select cast(d as decimal(38, 3)) as c, convert(smallmoney, m) as s from t where id = 1",
            "select cast(d as decimal(5, 2)) from t where id = 1", "select cast('x' as money)",
            "declare @d decimal(18, 2) = (select min(d) from t); select @d as d" },
        { "-", "id: 6 ; 2 ; 3 ; 5 ; 1 ; 4", "id: 2 ; 6 ; 1 ; 4 ; 3 ; 5", "id: 1 ; 2 ; 3 ; 4", "-",
            "id: 3 ; 2", "id|d: 1|1234567890123456.7800 ; 6|2 ; 2|-1234567890123456.7800 ; 5|NULL",
            "a:decimal(18,2)|b:decimal(18,2)|c:money|e:money: -1234567890123456.78|9999999999999999.99|"
            "-922337203685477.5808|922337203685477.5807",
            "id|e:decimal(18,2): 2|1234567890123456.78 ; 3|-0.5 ; 5|-1234567890123456.70 ; "
            "1|-1234567890123456.78 ; 4|-9999999999999999.99",
            "id: 6 ; 5 ; 4 ; 3 ; 2 ; 1",
            "id|w:decimal(18,2): 1|1234567890123456.78 ; 2|-1234567890123456.78 ; 3|-1234567890123456.78 ; "
            "4|0.5 ; 5|1234567890123456.70",
            "a:decimal(38,6)|s:decimal(38,2)|v:money|w:money: 617283945061728.640000|1234567890123457.28|"
            "-461168601842738.2904|-922337203685476.5808",
            "a|q:decimal(29,13): 3|0.1666666666667",
            "a:decimal(19,2)|b:decimal(38,6)|c:money|e:decimal(20,3): 10000000000000000.99|"
            "4999999999999999.995000|1|9999999999999999.865",
            "c:decimal(38,3)|s:smallmoney: 1234567890123456.780|1",
            "Arithmetic overflow error converting numeric to data type numeric.",
            "Error converting data type varchar to numeric.", "d: -1234567890123456.78" });
    row("beyond the precision", { "insert into t (d) values (10000000000000000)" },
        { "Arithmetic overflow error converting numeric to data type numeric. The statement has been "
          "terminated." });
    row("rounded beyond the precision", { "insert into t (d) values (9999999999999999.995)" },
        { "Arithmetic overflow error converting numeric to data type numeric. The statement has been "
          "terminated." });
    row("money beyond its range", { "insert into t (m) values (922337203685477.5808)" },
        { "Arithmetic overflow error converting expression to data type money. The statement has been "
          "terminated." });
    row("text into an integer", { "insert into t (i) values (N'abc')" },
        { "Conversion failed when converting the nvarchar value 'abc' to data type int." });
    row("empty text into numbers, as the data layer posts an empty field",
        { "insert into t (i, d) values ('', '')", "select count(*) as c from t" }, { "-", "c: 1" });
    row("text into a decimal", { "insert into t (d) values (N'x')" },
        { "Error converting data type nvarchar to numeric." });
    row("divide by zero", { "select 10 % 0 as r" }, { "Divide by zero error encountered." });
    row("division by a value", { "select 10 / 4 as q, 7 % 3 as r, 1.0 / (2 + 2) as f" },
        { "q|r|f:decimal(13,12): 2|1|0.25" });
    row("RAISERROR does not end the batch",
        { "raiserror(N'没有 %s %d', 16, 1, N'帐套', 7); insert into t (i) values (1)",
            "select count(*) as c from t" },
        { "没有 帐套 7", "c: 1" });
    row("a transaction spans batches",
        { "begin tran", "insert into t (i) values (1)", "select @@trancount as c", "rollback",
            "select count(*) as c from t" },
        { "-", "-", "c: 1", "-", "c: 0" });
    row("variables live for one batch", { "declare @v int = 1; select @v as v", "select @v" },
        { "v: 1", "Must declare the scalar variable \"@v\"." });
    row("SELECT assigns variables",
        { "insert into t (n) values (N'a'); insert into t (n) values (N'b')",
            "declare @c int, @s nvarchar(10) = N'x'; select @c = count(*), @s = max(n) from t; "
            "select @s = n from t where 1 = 0; select @c as c, @s as s, @@rowcount as r",
            "declare @c int; select @c = 1, n from t" },
        { "-", "c|s|r: 2|b|0",
            "A SELECT statement that assigns a value to a variable must not be combined with data-retrieval "
            "operations." });
    row("PRINT is no error", { "print N'x'" }, { "-" });
    row("names of three parts",
        { "insert into b.dbo.t (i) values (1)", "select i from [b]..[t]", "select i from x.dbo.t" },
        { "-", "i: 1", "Invalid object name 'x.dbo.t'." });
    row("the catalogue shows what the batch has just made",
        { "create table c (x int); select name from sys.tables order by name" }, { "name: c ; t" });
    row("a binary literal", { "insert into t (bin) values (0x0102)", "select datalength(bin) as l from t" },
        { "-", "l: 2" });
    row("text joined with +", { "select N'a' + N'-' + N'b' as c" }, { "c: a-b" });
    row("text beside a number",
        { "select '12' + 1 as a, ' ' + 2 as b, '1.5' + 0.5 as c", "select 'abc' + 1", "select 1 + '1.5'",
            "select 'x' - 0.5", "insert into t (n) values (N'7'); select n + 1 as v from t" },
        { "a|b|c: 13|2|2", "Conversion failed when converting the varchar value 'abc' to data type int.",
            "Conversion failed when converting the varchar value '1.5' to data type int.",
            "Error converting data type varchar to numeric.", "v: 8" });
    row("int and bigint overflow",
        { "select 2147483647 + 1", "select -2147483647 - 2", "select 65536 * 65536",
            "select 2147483648 + 1 as b, 2147483647 + 0 as i", "select 9223372036854775807 + 1" },
        { "Arithmetic overflow error converting expression to data type int.",
            "Arithmetic overflow error converting expression to data type int.",
            "Arithmetic overflow error converting expression to data type int.",
            "b:decimal(11,0)|i: 2147483649|2147483647",
            "Arithmetic overflow error converting expression to data type bigint." });
    row("a procedure", { "exec sp_helpdb b" }, { "" });
}

void TestTSqlSubset::sessionAnswers()
{
    QFETCH(QStringList, batches);
    QFETCH(QStringList, answers);
    QCOMPARE(batches.size(), answers.size());
    for (qsizetype i = 0; i < batches.size(); ++i) {
        const QString answer = answerOf(*m_db, batches[i]);
        if (answers[i].isEmpty()) // rows that depend on the moment: a result set at all
            QVERIFY2(answer.contains(QStringLiteral(": ")), qPrintable(answer));
        else
            QCOMPARE(answer, answers[i]);
    }
}

void TestTSqlSubset::statementsAsSqliteRunsThem_data()
{
    QTest::addColumn<QString>("batch");
    QTest::addColumn<QStringList>("statements");
    auto row = [](const char *name, const char *batch, std::initializer_list<const char *> statements) {
        QStringList out;
        for (const char *s : statements)
            out << QString::fromUtf8(s);
        QTest::newRow(name) << QString::fromUtf8(batch) << out;
    };
    // Control statements start statements of their own, but SET stays inside UPDATE and CREATE.
    row("without semicolons", "declare @v int = 1 set @v = 2 print @v select @v",
        { "Declare", "SetVariable", "Print", "select @v" });
    row("SET of an UPDATE", "update t set a = 1 where b = 2", { "update t set a = 1 where b = 2" });
    row("ON DELETE SET NULL", "create table c (p int references t (id) on delete set null)",
        { "CREATE TABLE \"c\" (\"p\" int REFERENCES \"t\" (\"id\") ON DELETE SET NULL "
          "CHECK (zt_value_fits(\"p\", 'i:int', 0, 0)))" });
    row("transactions", "begin tran update t set a = 1 commit",
        { "Transaction", "update t set a = 1", "Transaction" });
    row("a procedure named first", "sp_tables", { "Execute" });
    // The spellings SQLite reads otherwise.
    row("names", "select x.a from b.dbo.t x join dbo.u on u.k = x.k join b..v on 1 = 1",
        { "select x.a from t x join u on u.k = x.k join v on 1 = 1" });
    row("catalogue", "select name from sys.tables, INFORMATION_SCHEMA.COLUMNS",
        { "select name from zt_catalog_sys_tables, zt_catalog_information_schema_columns" });
    row("top", "select top 5 a from t where a in (select top (1) b from u) order by a",
        { "select  a from t where a in (select  b from u LIMIT 1 ) order by a LIMIT 5 " });
    row("offset", "select a from t order by a offset 10 rows fetch next 5 rows only",
        { "select a from t order by a LIMIT 5 OFFSET 10" });
    row("hints", "select a from t with (nolock, index)", { "select a from t with (nolock, index)" });
    row("hints only", "select a from t with (nolock)", { "select a from t " });
    row("convert", "select convert(varchar(10), getdate(), 120), cast(x as decimal(10,2))",
        { "select substr(CAST(strftime('%Y-%m-%d %H:%M:%f','now','localtime') AS TEXT), 1, 10), "
          "zt_cast(x, 'decimal(10,2)')" });
    row("division", "select a / b, a % (c + 1), -a / -f(b)",
        { "select zt_div(a, zt_divisor(b)), a % zt_divisor((zt_add(c, 1))), "
          "zt_div(zt_neg(a), zt_divisor(zt_neg(f(b))))" });
    row("exact arithmetic",
        "select a + b * c - d, count(*) * 2, t.* from t; select top (2) a + 1 from t; "
        "update t set m = m * 1.1 where k = -1; select case when a = 1 then 0 end + b, a + N'x', x.a * (b - "
        "1) from x",
        { "select zt_sub(zt_add(a, zt_mul(b, c)), d), zt_mul(count(*), 2), t.* from t",
            "select  zt_add(a, 1) from t LIMIT 2 ", "update t set m = zt_mul(m, 1.1) where k = -1",
            "select case when a = 1 then 0 end + b, zt_add(a, 'x'), zt_mul(x.a, (zt_sub(b, 1))) from x" });
    row("binary and text", "select 0xABC, N'a' + b, 'a' + 'b' + c",
        { "select X'0ABC', zt_add('a', b), zt_add(zt_add('a', 'b'), c)" });
    row("numbers beyond a double's digits",
        "select 1234567890123456.78, -12345678901234567.8, 2 - 12345678901234567.8, 1234567890123456789, "
        "12345678901234567890, 0.100000000000000000, 1e2",
        { "select X'313233343536373839303132333435362e3738', X'2d31323334353637383930313233343536372e38', "
          "zt_sub(2, X'31323334353637383930313233343536372e38'), 1234567890123456789, "
          "X'3132333435363738393031323334353637383930', 0.100000000000000000, 1e2" });
}

// The statements of a batch as SQLite runs them, or the kind of those the server carries out.
void TestTSqlSubset::statementsAsSqliteRunsThem()
{
    QFETCH(QString, batch);
    QFETCH(QStringList, statements);
    using Kind = embedded::Statement::Kind;
    static const QHash<Kind, QString> kinds = { { Kind::SetOption, QStringLiteral("SetOption") },
        { Kind::Transaction, QStringLiteral("Transaction") }, { Kind::Declare, QStringLiteral("Declare") },
        { Kind::SetVariable, QStringLiteral("SetVariable") }, { Kind::Print, QStringLiteral("Print") },
        { Kind::RaiseError, QStringLiteral("RaiseError") }, { Kind::Execute, QStringLiteral("Execute") } };
    QStringList actual;
    for (const QList<embedded::Token> &tokens : embedded::splitStatements(embedded::tokenize(batch))) {
        const embedded::Statement st
            = embedded::parseStatement(batch, tokens, text::defaultCollation(), QStringLiteral("b"));
        const QString kind = kinds.value(st.kind);
        actual << (kind.isEmpty() ? st.text : kind);
    }
    QCOMPARE(actual, statements);
}

QTEST_GUILESS_MAIN(TestTSqlSubset)
#include "tst_tsqlsubset.moc"
