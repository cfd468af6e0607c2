// Tables and rows on the embedded server through its back end: the directory table and the
// table-creation script, the data layer's statements, IDENTITY, declared and stored types,
// parameters, dates, SQLite's errors as SQL Server's, column checks and collations.
#include "embeddedinstance.h"

#include <QDateTime>

using namespace zt;
using namespace zt::test;
using namespace Qt::StringLiterals;

namespace {

// A table-creation script in the style of the shipped one: several statements, no separators.
const QString ScriptBatch = QStringLiteral(
    "CREATE TABLE [dbo].[kjkmxxb] (\r\n"
    "\t[ID] [int] IDENTITY (100, 5) NOT NULL ,\r\n"
    "\t[kmdm] [nvarchar] (20) COLLATE Chinese_PRC_CI_AS NOT NULL ,\r\n"
    "\t[kmmc] [nvarchar] (50) COLLATE Chinese_PRC_CI_AS NULL DEFAULT (N'未命名'),\r\n"
    "\t[ye] [money] NULL CONSTRAINT [DF_kjkmxxb_ye] DEFAULT ((0)),\r\n"
    "\t[jlrq] [datetime] NULL DEFAULT (getdate()),\r\n"
    "\t[rq] [date] NULL ,\r\n"
    "\t[sy] [bit] NOT NULL DEFAULT (1),\r\n"
    "\t[bz] [ntext] NULL ,\r\n"
    "\tCONSTRAINT [PK_kjkmxxb] PRIMARY KEY CLUSTERED ([ID] ASC) WITH (PAD_INDEX = OFF) ON [PRIMARY]\r\n"
    ") ON [PRIMARY] TEXTIMAGE_ON [PRIMARY]\r\n"
    "CREATE TABLE [dbo].[users] (\r\n"
    "\t[ID] [int] IDENTITY (1, 1) NOT NULL ,\r\n"
    "\t[name] [varchar] (20) NULL ,\r\n"
    "\t[rate] [decimal] (18, 2) NULL\r\n"
    ") ON [PRIMARY];\r\n"
    "create table [odd]]name] ([a b] int null);\r\n");

} // namespace

class TestEmbeddedTables : public EmbeddedInstanceTest
{
    Q_OBJECT

private slots:
    void init() { makeInstance(); }

    void directoryTableIsCreatedOnce();
    void scriptBatchCreatesTables();
    void dataLayerStatementsPassThrough();
    void identityHonoursSeedAndStepAndRefusesExplicitValues();
    void declaredTypesAndValueTypes();
    void paramsBindAsStored();
    void storedDateTextsReadAsDates_data();
    void storedDateTextsReadAsDates();
    void sqliteErrorsReadAsServerErrors_data();
    void sqliteErrorsReadAsServerErrors();
    void columnsRefuseWhatSqlServerRefuses_data();
    void columnsRefuseWhatSqlServerRefuses();
    void textComparesAsTheColumnsCollation_data();
    void textComparesAsTheColumnsCollation();
};

void TestEmbeddedTables::directoryTableIsCreatedOnce()
{
    auto master = sa();
    master->execute(DirectoryTable);
    QCOMPARE(failureOf([&] { master->execute(DirectoryTable); }),
        Prefix + QStringLiteral("There is already an object named 'PBTOVRASQLBASEDATA' in the database."));
    // Another session of master sees it; a user database does not.
    QCOMPARE(sa()->query(QStringLiteral("select * from PBTOVRASQLBASEDATA")).columns.size(), 7);
}

void TestEmbeddedTables::scriptBatchCreatesTables()
{
    auto master = sa();
    master->execute(QStringLiteral("create database zt001"));
    auto db = sa(QStringLiteral("zt001"));
    db->execute(ScriptBatch);
    db->execute(QStringLiteral("INSERT INTO [kjkmxxb] ([kmdm]) VALUES (?)"), { QStringLiteral("1001") });
    const data::ResultSet rs = db->query(QStringLiteral("select ID, kmdm, kmmc, ye, jlrq, sy from kjkmxxb"));
    QCOMPARE(rs.rows.size(), 1);
    const QList<QVariant> &row = rs.rows[0];
    QCOMPARE(row[0], QVariant(qlonglong(100)));
    QCOMPARE(row[1], QVariant(u"1001"_s));
    QCOMPARE(row[2], QVariant(u"未命名"_s));
    QCOMPARE(row[3], QVariant(0.0));
    QVERIFY(qAbs(row[4].toDateTime().secsTo(QDateTime::currentDateTime())) < 60);
    QCOMPARE(row[5], QVariant(true));
    QCOMPARE(failureOf([&] { db->execute(QStringLiteral("INSERT INTO [kjkmxxb] ([kmmc]) VALUES ('x')")); }),
        Prefix
            + QStringLiteral(
                "Cannot insert the value NULL into column 'kmdm', table 'zt001.dbo.kjkmxxb'; column "
                "does not allow nulls. INSERT fails.")
            + u' ' + Prefix + QStringLiteral("The statement has been terminated."));
    db->execute(QStringLiteral("insert into [odd]]name] ([a b]) values (1)"));
    QCOMPARE(db->query(QStringLiteral("select * from users")).columns.size(), 3);
}

void TestEmbeddedTables::dataLayerStatementsPassThrough()
{
    auto master = sa();
    master->execute(DirectoryTable);
    const QString insert = QStringLiteral(
        "INSERT INTO [PBTOVRASQLBASEDATA] ([ztbh],[ztmc],[jlrq],[kl],[zjmc]) VALUES (?,?,?,?,?)");
    const QDate today = QDate::currentDate();
    QCOMPARE(
        master->execute(insert, { u"001"_s, u"账套一"_s, today.startOfDay(), u""_s, u"(embedded)"_s }), 1);
    QCOMPARE(
        master->execute(insert, { u"001"_s, u"账套一"_s, today.startOfDay(), u""_s, u"(embedded)"_s }), 1);
    QCOMPARE(master->execute(
                 QStringLiteral("UPDATE [PBTOVRASQLBASEDATA] SET [kl]=? WHERE rowid = (SELECT rowid FROM "
                                "[PBTOVRASQLBASEDATA] WHERE [ztbh] = ? AND [net] IS NULL LIMIT 1)"),
                 { u"pw"_s, u"001"_s }),
        1);
    QCOMPARE(
        master->execute(QStringLiteral("DELETE FROM [PBTOVRASQLBASEDATA] WHERE rowid = (SELECT rowid FROM "
                                       "[PBTOVRASQLBASEDATA] WHERE [ztbh] = ? AND [kl] = ? LIMIT 1)"),
            { u"001"_s, u"pw"_s }),
        1);
    const data::ResultSet rs = master->query(QStringLiteral("select * from PBTOVRASQLBASEDATA"));
    QCOMPARE(rs.rows.size(), 1);
    QCOMPARE(rs.rows[0][0], QVariant(qlonglong(2)));
    QCOMPARE(rs.rows[0][4], QVariant()); // net is never written
    QCOMPARE(rs.rows[0][5], QVariant(today.startOfDay()));
}

void TestEmbeddedTables::identityHonoursSeedAndStepAndRefusesExplicitValues()
{
    auto master = sa();
    master->execute(QStringLiteral("create table [t] ([n] int identity (-10, 3) not null, [v] nvarchar(5))"));
    for (int i = 0; i < 3; ++i)
        master->execute(QStringLiteral("insert into t (v) values (?)"), { QString::number(i) });
    master->execute(QStringLiteral("delete from t where v = '2'"));
    master->execute(QStringLiteral("insert into t (v) values ('3')")); // numbers are not reused
    QList<qlonglong> numbers;
    for (const auto &row : master->query(QStringLiteral("select n from t order by n")).rows)
        numbers << row[0].toLongLong();
    QCOMPARE(numbers, (QList<qlonglong> { -10, -7, -1 }));
    QCOMPARE(failureOf([&] { master->execute(QStringLiteral("insert into t (n, v) values (5, 'x')")); }),
        Prefix
            + QStringLiteral("Cannot insert explicit value for identity column in table 't' when "
                             "IDENTITY_INSERT is set to OFF."));
    QCOMPARE(failureOf([&] { master->execute(QStringLiteral("update t set n = 5")); }),
        Prefix + QStringLiteral("Cannot update identity column 'n'."));
}

void TestEmbeddedTables::declaredTypesAndValueTypes()
{
    auto master = sa();
    master->execute(QStringLiteral(
        "create table v ([i] [bigint] NULL, [s] smallint, [d] [decimal] (18, 2), [m] money, [f] float, [b] "
        "bit,\n"
        "[dt] datetime, [sd] smalldatetime, [da] date, [n] [nvarchar] (50), [t] ntext, [x] varchar(10))"));
    master->execute(QStringLiteral("insert into v values (?,?,?,?,?,?,?,?,?,?,?,?)"),
        { qlonglong(1) << 40, 7, 12.5, u"3.25"_s, 1.5, true,
            QDateTime(QDate(2024, 2, 29), QTime(13, 5, 7, 250)), u"2024-03-01 08:00:00"_s, QDate(2024, 3, 2),
            u"001"_s, u"长文本"_s, 42 });
    master->execute(QStringLiteral("insert into v (i) values (NULL)"));
    const data::ResultSet rs = master->query(QStringLiteral("select *, count(*) over () as c from v"));
    QStringList types;
    for (const auto &column : rs.columns)
        types << column.declType;
    QCOMPARE(types,
        (QStringList { u"bigint"_s, u"smallint"_s, u"decimal"_s, u"money"_s, u"float"_s, u"bit"_s,
            u"datetime"_s, u"smalldatetime"_s, u"date"_s, u"nvarchar"_s, u"ntext"_s, u"varchar"_s,
            QString() }));
    const QList<QVariant> expected { QVariant::fromValue(qlonglong(1) << 40),
        QVariant::fromValue(qlonglong(7)), 12.5, 3.25, 1.5, true,
        QDateTime(QDate(2024, 2, 29), QTime(13, 5, 7, 250)), QDateTime(QDate(2024, 3, 1), QTime(8, 0)),
        QDate(2024, 3, 2), u"001"_s, u"长文本"_s, u"42"_s, QVariant::fromValue(qlonglong(2)) };
    for (qsizetype i = 0; i < expected.size(); ++i) {
        QCOMPARE(rs.rows[0][i].typeId(), expected[i].typeId());
        QCOMPARE(rs.rows[0][i], expected[i]);
    }
    QVERIFY(rs.rows[1][0].isNull());
    QVERIFY(!rs.rows[1][0].isValid());
    // A select without rows still names its columns.
    QCOMPARE(master->query(QStringLiteral("select n from v where 1 = 0")).columns.value(0).declType,
        u"nvarchar"_s);
}

void TestEmbeddedTables::paramsBindAsStored()
{
    auto master = sa();
    master->execute(
        QStringLiteral("create table p (dt datetime, da date, b bit, n nvarchar(20), z nvarchar(5))"));
    master->execute(QStringLiteral("insert into p values (?,?,?,?,?)"),
        { QDateTime(QDate(2024, 1, 2), QTime(3, 4, 5, 6)), QDate(2024, 1, 2), false, u"not a date"_s,
            QVariant() });
    const auto row = master
                         ->query(QStringLiteral("select cast(dt as text), cast(da as text), typeof(b), b, "
                                                "typeof(z) from p"))
                         .rows.value(0);
    QCOMPARE(row,
        (QList<QVariant> { u"2024-01-02 03:04:05.006"_s, u"2024-01-02"_s, u"integer"_s,
            QVariant::fromValue(qlonglong(0)), u"null"_s }));
    // A text for a datetime column is stored as given.
    master->execute(QStringLiteral("insert into p (dt) values (?)"), { u"2024-13-45"_s });
    QCOMPARE(master->query(QStringLiteral("select dt from p where b is null")).rows.value(0).value(0),
        QVariant(u"2024-13-45"_s));
    // Texts of exact numbers beyond a double's digits keep them, inserted, set and compared; a value
    // read back finds its row again.
    master->execute(QStringLiteral("create table e (id int, d decimal(38, 2))"));
    master->execute(
        QStringLiteral("insert into e (id, d) values (?, ?)"), { 1, u"1234567890123456789.12"_s });
    master->execute(QStringLiteral("insert into e values (2, 0)"));
    master->execute(QStringLiteral("update e set d = ? where id = ?"), { u"-1234567890123456789.125"_s, 2 });
    const QVariant read
        = master->query(QStringLiteral("select d from e where id = 1")).rows.value(0).value(0);
    QCOMPARE(read.toString(), u"1234567890123456789.12"_s);
    QCOMPARE(master->query(QStringLiteral("select id from e where d = ?"), { read }).rows.value(0).value(0),
        QVariant(1));
    master->execute(QStringLiteral("insert into e values (3, 1234567890123456.7)"));
    const QVariant padded
        = master->query(QStringLiteral("select d from e where id = 3")).rows.value(0).value(0);
    QCOMPARE(padded.toString(), u"1234567890123456.70"_s);
    QCOMPARE(master->query(QStringLiteral("select count(*) from e where d = ?"), { padded })
                 .rows.value(0)
                 .value(0),
        QVariant(1));
    master->execute(QStringLiteral("delete from e where id = 3"));
    const auto between = master->query(QStringLiteral("select id, d from e where d > ? and d < ?"),
        { u"-1234567890123456789.14"_s, u"1234567890123456789.12"_s });
    QCOMPARE(between.rows.size(), 1);
    QCOMPARE(between.rows[0][1].toString(), u"-1234567890123456789.13"_s);
}

void TestEmbeddedTables::storedDateTextsReadAsDates_data()
{
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QVariant>("read");
    const QDate day(2026, 12, 8);
    QTest::newRow("date only") << "2026-12-08" << QVariant(QDateTime(day, QTime(0, 0)));
    QTest::newRow("minutes") << "2026-12-08 09:05" << QVariant(QDateTime(day, QTime(9, 5)));
    QTest::newRow("seconds") << "2026-12-08 09:05:01" << QVariant(QDateTime(day, QTime(9, 5, 1)));
    QTest::newRow("milliseconds") << "2026-12-08 09:05:01.250"
                                  << QVariant(QDateTime(day, QTime(9, 5, 1, 250)));
    QTest::newRow("iso with T") << "2026-12-08T09:05:01" << QVariant(QDateTime(day, QTime(9, 5, 1)));
    QTest::newRow("no such day") << "2026-02-30" << QVariant(QStringLiteral("2026-02-30"));
    QTest::newRow("not a date") << "soon" << QVariant(QStringLiteral("soon"));
}

void TestEmbeddedTables::storedDateTextsReadAsDates()
{
    QFETCH(QString, stored);
    QFETCH(QVariant, read);
    auto db = sa();
    db->execute(QStringLiteral("create table d (v datetime)"));
    db->execute(QStringLiteral("insert into d values (?)"), { stored });
    const auto rows = db->query(QStringLiteral("select v from d")).rows;
    QCOMPARE(rows.size(), 1);
    QCOMPARE(rows.first().first(), read);
}

void TestEmbeddedTables::sqliteErrorsReadAsServerErrors_data()
{
    QTest::addColumn<QString>("sql");
    QTest::addColumn<QString>("error");

    QTest::newRow("208 missing table")
        << u"select * from PBTOVRASQLBASEDATA"_s << u"Invalid object name 'PBTOVRASQLBASEDATA'."_s;
    QTest::newRow("208 in a batch") << u"create table a (x int)\nselect * from b"_s
                                    << u"Invalid object name 'b'."_s;
    QTest::newRow("207 missing column") << u"select nothere from e"_s << u"Invalid column name 'nothere'."_s;
    QTest::newRow("207 insert column")
        << u"insert into e (nothere) values (1)"_s << u"Invalid column name 'nothere'."_s;
    QTest::newRow("102 syntax") << u"select * frm e"_s << u"Incorrect syntax near 'frm'."_s;
    QTest::newRow("102 in create table")
        << u"create table t2 (a int,, b int)"_s << u"Incorrect syntax near ','."_s;
    QTest::newRow("102 restore without disk") << u"restore database x"_s << u"Incorrect syntax near 'x'."_s;
    QTest::newRow("105 unclosed") << u"select 'abc"_s
                                  << u"Unclosed quotation mark after the character string 'abc'."_s;
    QTest::newRow("3701 drop table")
        << u"drop table nothere"_s
        << u"Cannot drop the table 'nothere', because it does not exist or you do not "
           "have permission."_s;
}

void TestEmbeddedTables::sqliteErrorsReadAsServerErrors()
{
    QFETCH(QString, sql);
    QFETCH(QString, error);
    auto master = sa();
    master->execute(QStringLiteral("create table e (a int)"));
    QCOMPARE(failureOf([&] { master->query(sql); }), Prefix + error);
}

void TestEmbeddedTables::columnsRefuseWhatSqlServerRefuses_data()
{
    QTest::addColumn<QString>("sql");
    QTest::addColumn<QVariantList>("params");
    QTest::addColumn<QString>("error"); // empty: accepted

    const QString truncated = QStringLiteral("String or binary data would be truncated.");
    const auto row = [](const char *name, const QString &sql, const QVariantList &params,
                         const QString &error) { QTest::newRow(name) << sql << params << error; };
    const QString insertN = QStringLiteral("insert into w (k, n) values ('k', ?)");
    row("nvarchar(5) full", insertN, { u"abcde"_s }, {});
    row("nvarchar(5) one more", insertN, { u"abcdef"_s }, truncated);
    row("nvarchar counts characters", insertN, { u"五个中文字"_s }, {});
    row("nvarchar(5) six Chinese", insertN, { u"六个中文字符"_s }, truncated);
    row("trailing blanks may go", insertN, { u"abcde   "_s }, {});
    row("NULL fits", insertN, { QVariant() }, {});
    const QString insertV = QStringLiteral("insert into w (k, v) values ('k', ?)");
    row("varchar(4) counts GBK bytes", insertV, { u"中文"_s }, {});
    row("varchar(4) five bytes", insertV, { u"中文a"_s }, truncated);
    row("varchar(4) ASCII", insertV, { u"abcd"_s }, {});
    row("varchar(4) number as text", insertV, { 12345 }, truncated);
    row("varchar without size holds one", QStringLiteral("insert into w (k, one) values ('k', 'ab')"), {},
        truncated);
    row("nvarchar(max) has no limit", QStringLiteral("insert into w (k, m) values ('k', ?)"),
        { QString(9000, u'x') }, {});
    row("literal in the statement", QStringLiteral("insert into w (k, n) values ('k', N'123456')"), {},
        truncated);
    row("update too long", QStringLiteral("update w set n = 'abcdefg'"), {}, truncated);
    row("key too long", QStringLiteral("insert into w (k) values ('toolong')"), {}, truncated);
    const QString nullText = QStringLiteral(
        "Cannot insert the value NULL into column 'k', table 'master.dbo.w'; column does not allow "
        "nulls. %1 fails.");
    row("NULL into NOT NULL", QStringLiteral("insert into w (n) values ('x')"), {},
        nullText.arg(u"INSERT"_s));
    row("update to NULL", QStringLiteral("update w set k = NULL"), {}, nullText.arg(u"UPDATE"_s));
}

void TestEmbeddedTables::columnsRefuseWhatSqlServerRefuses()
{
    QFETCH(QString, sql);
    QFETCH(QVariantList, params);
    QFETCH(QString, error);
    auto master = sa();
    master->execute(QStringLiteral("CREATE TABLE [w] ([k] [nvarchar] (5) NOT NULL, [n] [nvarchar] (5) NULL, "
                                   "[v] [varchar] (4) NULL, [one] varchar NULL, [m] nvarchar(max) NULL)"));
    master->execute(QStringLiteral("insert into w (k) values ('k')"));
    const QString got = failureOf([&] { master->execute(sql, params); });
    if (error.isEmpty()) {
        QCOMPARE(got, NoError);
    } else {
        QCOMPARE(got, Prefix + error + u' ' + Prefix + QStringLiteral("The statement has been terminated."));
        // Nothing of the refused statement stays.
        QCOMPARE(master->query(QStringLiteral("select count(*) from w")).rows.value(0).value(0).toInt(), 1);
        QCOMPARE(master->query(QStringLiteral("select k from w")).rows.value(0).value(0).toString(), u"k"_s);
    }
    // The declared types keep their sizes where the schema is read, and read back without them.
    const QString schema = master->query(QStringLiteral("select sql from sqlite_master where name = 'w'"))
                               .rows.value(0)
                               .value(0)
                               .toString();
    QVERIFY2(schema.contains(u"\"n\" nvarchar(5)"_s) && schema.contains(u"\"m\" nvarchar(-1)"_s),
        qPrintable(schema));
    QCOMPARE(master->query(QStringLiteral("select n, v from w where 1 = 0")).columns.value(1).declType,
        u"varchar"_s);
}

void TestEmbeddedTables::textComparesAsTheColumnsCollation_data()
{
    QTest::addColumn<QString>("where");
    QTest::addColumn<int>("rows");
    QTest::newRow("default collation ignores case") << "ci = 'SERVER1'" << 1;
    QTest::newRow("Chinese_PRC_CI_AS ignores case") << "prc = 'server1'" << 1;
    // N'': a plain literal is read in the server's code page, which has no Ä (it would be '?BC').
    QTest::newRow("non-ASCII letters too") << "ci = N'ÄBC'" << 1;
    QTest::newRow("trailing blanks are ignored") << "ci = 'server1   '" << 1;
    QTest::newRow("leading blanks count") << "ci = ' server1'" << 0;
    QTest::newRow("case-sensitive collation") << "cs = 'SERVER1'" << 0;
    QTest::newRow("case-sensitive, same case") << "cs = 'Server1 '" << 1;
    QTest::newRow("IN list") << "ci in ('x', 'SERVER1')" << 1;
    QTest::newRow("collation in the statement") << "ci = 'SERVER1' COLLATE Chinese_PRC_CS_AS" << 0;
    QTest::newRow("other rows still differ") << "ci = 'server2'" << 0;
}

void TestEmbeddedTables::textComparesAsTheColumnsCollation()
{
    QFETCH(QString, where);
    QFETCH(int, rows);
    auto master = sa();
    master->execute(
        QStringLiteral("CREATE TABLE [c] ([ci] [nvarchar] (20) NULL, [prc] [nvarchar] (20) COLLATE "
                       "Chinese_PRC_CI_AS NULL, [cs] [varchar] (20) COLLATE Chinese_PRC_CS_AS NULL)"));
    master->execute(
        QStringLiteral("insert into c values (?, ?, ?)"), { u"Server1"_s, u"Server1"_s, u"Server1"_s });
    master->execute(QStringLiteral("insert into c values (?, ?, ?)"), { u"äbc"_s, u"x"_s, u"x"_s });
    QCOMPARE(master->query(QStringLiteral("select * from c where ") + where).rows.size(), rows);
}

QTEST_GUILESS_MAIN(TestEmbeddedTables)
#include "tst_embeddedtables.moc"
