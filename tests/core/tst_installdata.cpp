// The generated installation data: the local configuration database, the base data of a new
// account set and the table-creation script that must take every base-data column, the per-set
// system file template and the GBK text files.

#include "text/gbk.h"

#include "accountset/creation.h"
#include <QDate>
#include <QDir>
#include <QFile>
#include <QHash>
#include <QRegularExpression>
#include <QSet>
#include <QSqlDatabase>
#include <QSqlError>

#include <QSqlQuery>
#include <QSqlRecord>
#include <QTest>

namespace {

const QString installDir = QStringLiteral(ZT_INSTALLDATA_DIR);

// The tables the creation copies, in its order.
const QStringList baseDataTables = zt::accountset::baseDataTables();

// A read-only connection to one of the generated SQLite files, closed with the object.
class SqliteFile final
{
public:
    explicit SqliteFile(const QString &relativePath)
        : m_name(QStringLiteral("installdata-") + relativePath)
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_name);
        db.setDatabaseName(installDir + u'/' + relativePath);
        db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY"));
        m_open = QFile::exists(db.databaseName()) && db.open();
    }
    ~SqliteFile() { QSqlDatabase::removeDatabase(m_name); }
    SqliteFile(const SqliteFile &) = delete;
    SqliteFile &operator=(const SqliteFile &) = delete;

    bool isOpen() const { return m_open; }

    // Column names in table order.
    QStringList columns(const QString &table) const
    {
        QStringList names;
        QSqlQuery q(db());
        q.exec(QStringLiteral("select name from pragma_table_info('%1') order by cid").arg(table));
        while (q.next())
            names << q.value(0).toString();
        return names;
    }

    // Every row, each value in the text form a driver hands out for it (NULL stays null).
    QList<QStringList> rowsAsText(const QString &table, const QStringList &cols) const
    {
        QStringList casts;
        for (const QString &c : cols)
            casts << QStringLiteral("cast(\"%1\" as text)").arg(c);
        QSqlQuery q(db());
        q.exec(QStringLiteral("select %1 from %2 order by ID").arg(casts.join(u','), table));
        QList<QStringList> rows;
        while (q.next()) {
            QStringList row;
            for (int i = 0; i < cols.size(); ++i)
                row << q.value(i).toString();
            rows << row;
        }
        return rows;
    }

    QVariant scalar(const QString &sql) const
    {
        QSqlQuery q(db());
        if (!q.exec(sql) || !q.next())
            return {};
        return q.value(0);
    }

    QSqlDatabase db() const { return QSqlDatabase::database(m_name, false); }

private:
    QString m_name;
    bool m_open = false;
};

QByteArray readBytes(const QString &relativePath)
{
    QFile file(installDir + u'/' + relativePath);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Column declarations of one CREATE TABLE of the script: name -> type and size.
struct ScriptColumn
{
    QString type;
    int size = 0;
    bool identity = false;
};

struct ScriptTable
{
    QStringList order;
    QHash<QString, ScriptColumn> columns;
};

QHash<QString, ScriptTable> parseScript(const QString &script)
{
    QHash<QString, ScriptTable> tables;
    static const QRegularExpression create(
        QStringLiteral(R"(CREATE TABLE \[(\w+)\] \((.*?)\r\n\) ON \[PRIMARY\])"),
        QRegularExpression::DotMatchesEverythingOption);
    static const QRegularExpression column(
        QStringLiteral(R"(^\[(\w+)\] \[(\w+)\](?: \((\d+)(?:, \d+)?\))?)"));
    for (auto it = create.globalMatch(script); it.hasNext();) {
        const auto m = it.next();
        ScriptTable &table = tables[m.captured(1)];
        for (const QString &line : m.captured(2).split(QStringLiteral("\r\n"), Qt::SkipEmptyParts)) {
            const auto c = column.match(line.trimmed());
            if (!c.hasMatch())
                continue;
            table.order << c.captured(1);
            table.columns.insert(c.captured(1),
                { c.captured(2), c.captured(3).toInt(), line.contains(QStringLiteral("IDENTITY")) });
        }
    }
    return tables;
}

QString scriptText()
{
    return zt::text::fromGbk(readBytes(QStringLiteral("data/xzzt.ini")));
}

// Whether a value in its text form is accepted by a column of the script's type.
QString rejection(const ScriptColumn &column, const QString &value)
{
    static const QRegularExpression integer(QStringLiteral(R"(^-?\d+$)"));
    static const QRegularExpression decimal(QStringLiteral(R"(^-?\d{1,16}(\.\d{1,2})?$)"));
    if (column.type == u"nvarchar") {
        if (value.size() > column.size)
            return QStringLiteral("longer than %1").arg(column.size);
    } else if (column.type == u"int") {
        if (!integer.match(value).hasMatch())
            return QStringLiteral("not an integer");
    } else if (column.type == u"decimal") {
        if (!decimal.match(value).hasMatch())
            return QStringLiteral("not a decimal (18, 2)");
    } else if (column.type == u"bit") {
        if (value != u"0" && value != u"1")
            return QStringLiteral("not 0 or 1");
    } else if (column.type == u"datetime") {
        if (!QDate::fromString(value, Qt::ISODate).isValid())
            return QStringLiteral("not a date");
    } else {
        return QStringLiteral("unexpected column type ") + column.type;
    }
    return {};
}

} // namespace

class TestInstallData final : public QObject
{
    Q_OBJECT

private slots:
    void layoutIsComplete();
    void configurationDatabaseHasItsTables();
    void baseDataTableIsCopyable_data();
    void baseDataTableIsCopyable();
    void baseDataHoldsSeveralHundredRows();
    void scriptIsOneBatchForTheSixteenTables();
    void scriptTakesEveryBaseDataValue_data();
    void scriptTakesEveryBaseDataValue();
    void chartOfAccountsIsConsistent();
    void baseDataKeepsChineseText();
    void textFileHoldsOneGbkLine_data();
    void textFileHoldsOneGbkLine();
    void helpIniHoldsTheHelpTopic();
};

void TestInstallData::layoutIsComplete()
{
    for (const char *file : { "data/MORVEK.mdb", "data/Sample.mdb", "data/SysBase.mdb", "data/xzzt.ini",
             "txt/xzzt.txt", "txt/runsoft.txt", "help.ini" }) {
        QVERIFY2(QFile::exists(installDir + u'/' + QLatin1String(file)), file);
    }
    const QDir perSet(installDir + QStringLiteral("/data/SysBase"));
    QVERIFY(perSet.exists());
    QVERIFY(perSet.isEmpty());

    SqliteFile sysBase(QStringLiteral("data/SysBase.mdb"));
    QVERIFY(sysBase.isOpen());
    QVERIFY(
        sysBase.scalar(QStringLiteral("select count(*) from sqlite_master where type='table'")).toInt() > 0);
}

void TestInstallData::configurationDatabaseHasItsTables()
{
    SqliteFile morvek(QStringLiteral("data/MORVEK.mdb"));
    QVERIFY(morvek.isOpen());
    QCOMPARE(morvek.columns(QStringLiteral("xtljb")),
        QStringList({ QStringLiteral("zjmc"), QStringLiteral("1"), QStringLiteral("2") }));
    QCOMPARE(morvek.columns(QStringLiteral("ztxxb")),
        QStringList({ QStringLiteral("ztbh"), QStringLiteral("ztmc"), QStringLiteral("jlrq"),
            QStringLiteral("kl"), QStringLiteral("zjmc"), QStringLiteral("sjklx"), QStringLiteral("net") }));
    // Shipped without rows; the wizard's own lookups run on it as written.
    QSqlQuery q(morvek.db());
    QVERIFY2(
        q.exec(QStringLiteral("select * from xtljb where zjmc='server'")), qPrintable(q.lastError().text()));
    QVERIFY(!q.next());
    QCOMPARE(morvek.scalar(QStringLiteral("select count(*) from ztxxb")).toInt(), 0);
    QCOMPARE(q.record().indexOf(QStringLiteral("1")), 1);
}

void TestInstallData::baseDataTableIsCopyable_data()
{
    QTest::addColumn<QString>("table");
    for (const QString &t : baseDataTables)
        QTest::newRow(qPrintable(t)) << t;
}

void TestInstallData::baseDataTableIsCopyable()
{
    QFETCH(QString, table);
    SqliteFile sample(QStringLiteral("data/Sample.mdb"));
    QVERIFY(sample.isOpen());

    const QStringList cols = sample.columns(table);
    QVERIFY2(cols.size() >= 3, "the auto-number, ID and at least one column of data");
    // The first column is the auto-number that the account set fills itself.
    QCOMPARE(sample.scalar(QStringLiteral("select pk from pragma_table_info('%1') where cid=0").arg(table))
                 .toInt(),
        1);
    QVERIFY(cols.contains(QStringLiteral("ID")));
    QVERIFY(cols.indexOf(QStringLiteral("ID")) > 0);

    const int rows = sample.scalar(QStringLiteral("select count(*) from %1").arg(table)).toInt();
    QVERIFY(rows > 0);
    QCOMPARE(sample.scalar(QStringLiteral("select count(distinct ID) from %1").arg(table)).toInt(), rows);
}

void TestInstallData::baseDataHoldsSeveralHundredRows()
{
    SqliteFile sample(QStringLiteral("data/Sample.mdb"));
    QVERIFY(sample.isOpen());
    int total = 0;
    for (const QString &t : baseDataTables)
        total += sample.scalar(QStringLiteral("select count(*) from %1").arg(t)).toInt();
    QVERIFY2(total >= 300, qPrintable(QString::number(total)));
    QVERIFY(sample.scalar(QStringLiteral("select count(*) from kjkmxxb")).toInt() >= 100);
}

void TestInstallData::scriptIsOneBatchForTheSixteenTables()
{
    const QByteArray bytes = readBytes(QStringLiteral("data/xzzt.ini"));
    QVERIFY(!bytes.isEmpty());
    QVERIFY2(!bytes.contains("\n") || bytes.count("\n") == bytes.count("\r\n"), "CR LF line ends only");

    // The server receives the lines joined as one command: no batch separators, and no line
    // comments that would swallow the rest if the lines were ever joined without breaks.
    const QString script = scriptText();
    QVERIFY(script.contains(QStringLiteral("账套数据表")));
    QVERIFY(!script.contains(QStringLiteral("--")));
    QVERIFY(!QRegularExpression(QStringLiteral(R"(^\s*GO\s*$)"),
        QRegularExpression::MultilineOption | QRegularExpression::CaseInsensitiveOption)
                 .match(script)
                 .hasMatch());

    const auto tables = parseScript(script);
    QCOMPARE(QSet<QString>(tables.keyBegin(), tables.keyEnd()),
        QSet<QString>(baseDataTables.cbegin(), baseDataTables.cend()));
    QCOMPARE(script.count(QStringLiteral("CREATE TABLE")), baseDataTables.size());
    for (const QString &t : baseDataTables) {
        const ScriptTable &table = tables.value(t);
        QVERIFY2(!table.order.isEmpty() && table.order.first() == u"xh"
                && table.columns.value(QStringLiteral("xh")).identity,
            qPrintable(t));
    }
}

void TestInstallData::scriptTakesEveryBaseDataValue_data()
{
    baseDataTableIsCopyable_data();
}

void TestInstallData::scriptTakesEveryBaseDataValue()
{
    QFETCH(QString, table);
    SqliteFile sample(QStringLiteral("data/Sample.mdb"));
    QVERIFY(sample.isOpen());
    const ScriptTable target = parseScript(scriptText()).value(table);
    QVERIFY(!target.order.isEmpty());

    // The transfer skips the first column and writes each other one by name, as text.
    const QStringList cols = sample.columns(table).mid(1);
    for (const QString &c : cols)
        QVERIFY2(target.columns.contains(c), qPrintable(table + u'.' + c));

    const QList<QStringList> rows = sample.rowsAsText(table, cols);
    for (const QStringList &row : rows) {
        for (int i = 0; i < cols.size(); ++i) {
            const QString why = rejection(target.columns.value(cols.at(i)), row.at(i));
            QVERIFY2(why.isEmpty(),
                qPrintable(QStringLiteral("%1.%2 = '%3': %4").arg(table, cols.at(i), row.at(i), why)));
        }
    }
}

void TestInstallData::chartOfAccountsIsConsistent()
{
    SqliteFile sample(QStringLiteral("data/Sample.mdb"));
    QVERIFY(sample.isOpen());
    const QStringList cols { QStringLiteral("kmdm"), QStringLiteral("kmjb"), QStringLiteral("sjkm"),
        QStringLiteral("yefx"), QStringLiteral("sfmx"), QStringLiteral("lbbm") };
    const QList<QStringList> rows = sample.rowsAsText(QStringLiteral("kjkmxxb"), cols);

    QHash<QString, int> levelOf;
    QSet<QString> parents;
    for (const QStringList &r : rows) {
        QVERIFY2(!levelOf.contains(r.at(0)), qPrintable(r.at(0)));
        levelOf.insert(r.at(0), r.at(1).toInt());
        if (!r.at(2).isEmpty())
            parents.insert(r.at(2));
    }
    const QSet<QString> categories { QStringLiteral("1"), QStringLiteral("2"), QStringLiteral("3"),
        QStringLiteral("4"), QStringLiteral("5"), QStringLiteral("6") };
    int secondLevel = 0;
    for (const QStringList &r : rows) {
        const QString &code = r.at(0);
        const int level = r.at(1).toInt();
        QVERIFY2(r.at(3) == u"借" || r.at(3) == u"贷", qPrintable(code));
        QVERIFY2(categories.contains(r.at(5)) && code.startsWith(r.at(5)), qPrintable(code));
        if (level == 1) {
            QVERIFY2(r.at(2).isEmpty() && code.size() == 4, qPrintable(code));
        } else {
            // A sub-account extends its parent's code and sits one level below it.
            QVERIFY2(code.startsWith(r.at(2)) && levelOf.value(r.at(2)) == level - 1, qPrintable(code));
            ++secondLevel;
        }
        QCOMPARE(r.at(4), parents.contains(code) ? QStringLiteral("0") : QStringLiteral("1"));
    }
    QVERIFY(secondLevel >= 5);
    QCOMPARE(sample.scalar(QStringLiteral("select count(*) from kjkmlbb")).toInt(), 6);
}

void TestInstallData::baseDataKeepsChineseText()
{
    SqliteFile sample(QStringLiteral("data/Sample.mdb"));
    QVERIFY(sample.isOpen());
    const auto text = [&](const char *sql) { return sample.scalar(QString::fromUtf8(sql)).toString(); };

    QCOMPARE(text("select kmmc from kjkmxxb where kmdm='1001'"), QStringLiteral("库存现金"));
    QCOMPARE(text("select kmmc from kjkmxxb where kmdm='6602'"), QStringLiteral("管理费用"));
    QCOMPARE(text("select yefx from kjkmxxb where kmdm='2202'"), QStringLiteral("贷"));
    QCOMPARE(text("select group_concat(lbmc, ',') from (select lbmc from kjkmlbb order by ID)"),
        QStringLiteral("资产,负债,共同,所有者权益,成本,损益"));
    QCOMPARE(text("select yhmc || '|' || kl || '|' || sfgly from users where yhdm='admin'"),
        QStringLiteral("系统管理员||1"));
    QCOMPARE(text("select bwb from xtxxb"), QStringLiteral("人民币"));
    for (const QString &method : { QStringLiteral("现金"), QStringLiteral("转账支票"), QStringLiteral("电汇"),
             QStringLiteral("银行汇票"), QStringLiteral("商业承兑汇票") }) {
        QCOMPARE(sample.scalar(QStringLiteral("select count(*) from jjfsxxb where jsfsmc='%1'").arg(method))
                     .toInt(),
            1);
    }
    // The same text survives the trip through GBK that the script and text files take.
    const QString name = text("select kmqc from kjkmxxb where kmdm='22210101'");
    QCOMPARE(name, QStringLiteral("应交税费-应交增值税-进项税额"));
    QCOMPARE(zt::text::fromGbk(zt::text::toGbk(name)), name);
    QCOMPARE(zt::text::toGbk(QStringLiteral("账套")), QByteArray("\xd5\xcb\xcc\xd7"));
}

void TestInstallData::textFileHoldsOneGbkLine_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("line");
    QTest::newRow("script name") << QStringLiteral("txt/xzzt.txt") << QStringLiteral("xzzt");
    QTest::newRow("launch target") << QStringLiteral("txt/runsoft.txt") << QStringLiteral("tovra");
}

void TestInstallData::textFileHoldsOneGbkLine()
{
    QFETCH(QString, file);
    QFETCH(QString, line);
    const QByteArray bytes = readBytes(file);
    QCOMPARE(zt::text::fromGbk(bytes), line + QStringLiteral("\r\n"));
    if (file == u"txt/xzzt.txt")
        QVERIFY(QFile::exists(installDir + QStringLiteral("/data/") + line + QStringLiteral(".ini")));
}

void TestInstallData::helpIniHoldsTheHelpTopic()
{
    const QByteArray bytes = readBytes(QStringLiteral("help.ini"));
    QCOMPARE(bytes, zt::text::toGbk(QStringLiteral("[path]\r\n帮助路径=创建账套.htm\r\n")));
    QVERIFY(bytes.startsWith("[path]\r\n\xb0\xef\xd6\xfa"));
}

QTEST_GUILESS_MAIN(TestInstallData)
#include "tst_installdata.moc"
