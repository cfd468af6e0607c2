// Batches of several statements on the embedded server, and rows sent in batches: compiled whole
// before any statement runs; a refused row ends its statement only, any other run-time error the
// batch, with what ran before it kept.
#include "data/dataerror.h"
#include "data/insertbatch.h"
#include "data/query.h"
#include "embedded/embeddedserver.h"
#include "recordingbackend.h"
#include "testhelpers.h"

#include <QTemporaryDir>
#include <QTest>

using namespace zt;
using namespace Qt::StringLiterals;
using data::Credentials;

namespace {

const QString Prefix = QStringLiteral("[ztwizard][SQL Server]");

} // namespace

class TestTSqlBatches : public QObject
{
    Q_OBJECT

private slots:
    void init();

    void batchRunsOrStopsAsSqlServer_data();
    void batchRunsOrStopsAsSqlServer();
    void insertBatchWritesAsRowByRow_data();
    void insertBatchWritesAsRowByRow();

private:
    QStringList rowsOf(const QString &table);

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<data::Backend> m_db;
};

void TestTSqlBatches::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    const QString root = m_dir->filePath(QStringLiteral("embedded"));
    embedded::connect(root, QStringLiteral("default"), Credentials::integrated(), {})
        ->execute(QStringLiteral("create database b"));
    m_db = embedded::connect(root, QStringLiteral("default"), Credentials::integrated(), QStringLiteral("b"));
    m_db->execute(QStringLiteral("CREATE TABLE [t] ([xh] [int] IDENTITY (1, 1) NOT NULL, [k] [int] NULL "
                                 "UNIQUE, [v] [nvarchar] (20) NULL, [n] [int] NULL)"));
}

QStringList TestTSqlBatches::rowsOf(const QString &table)
{
    QStringList rows;
    const data::ResultSet result
        = m_db->query(QStringLiteral("select * from ") + table + QStringLiteral(" order by xh"));
    for (const QList<QVariant> &row : result.rows) {
        QStringList values;
        for (const QVariant &value : row)
            values.append(value.isNull() ? QStringLiteral("NULL") : data::Query::valueToText(value));
        rows.append(values.join(u'|'));
    }
    return rows;
}

void TestTSqlBatches::batchRunsOrStopsAsSqlServer_data()
{
    QTest::addColumn<QString>("batch");
    QTest::addColumn<QString>("error"); // or test::NoError
    QTest::addColumn<QStringList>("rows");

    const QString one = u"INSERT INTO t (k, v) VALUES (1, N'a');\r\n"_s;
    const QString check = u"IF @@ERROR <> 0 RETURN;\r\n"_s;
    QTest::newRow("all statements run") << one + check + u"INSERT INTO t (k, v) VALUES (2, N'b')"_s
                                        << test::NoError << QStringList { u"1|1|a|NULL"_s, u"2|2|b|NULL"_s };
    QTest::newRow("missing column later: nothing runs")
        << one + u"INSERT INTO t (k, nothere) VALUES (2, 1)"_s << Prefix + u"Invalid column name 'nothere'."_s
        << QStringList();
    QTest::newRow("missing column in a later select: nothing runs")
        << one + u"SELECT nothere FROM t"_s << Prefix + u"Invalid column name 'nothere'."_s << QStringList();
    QTest::newRow("syntax error later: nothing runs")
        << one + u"INSERT INTO t (k) VALUES (2"_s << Prefix + u"Incorrect syntax near '2'."_s
        << QStringList();
    const QString duplicate = Prefix
        + u"Violation of UNIQUE KEY constraint. Cannot insert duplicate key in object 'dbo.t'. "_s + Prefix
        + u"The statement has been terminated."_s;
    QTest::newRow("refused row, then the check: earlier rows stay, later ones do not run") << one + check
            + u"INSERT INTO t (k, v) VALUES (1, N'dup');\r\n"_s + check
            + u"INSERT INTO t (k, v) VALUES (3, N'c')"_s << duplicate << QStringList { u"1|1|a|NULL"_s };
    QTest::newRow("refused row without the check: the batch goes on")
        << one + u"INSERT INTO t (k, v) VALUES (1, N'dup'); INSERT INTO t (k, v) VALUES (3, N'c')"_s
        << duplicate << QStringList { u"1|1|a|NULL"_s, u"2|3|c|NULL"_s };
    QTest::newRow("@@ERROR: the last statement's number, 0 after success")
        << one
            + u"INSERT INTO t (k) VALUES (1); INSERT INTO t (k) SELECT @@ERROR; INSERT INTO t (k) SELECT @@ERROR"_s
        << duplicate << QStringList { u"1|1|a|NULL"_s, u"2|2627|NULL|NULL"_s, u"3|0|NULL|NULL"_s };
    QTest::newRow("too long and explicit identity end their statement only")
        << one
            + u"INSERT INTO t (k, v) VALUES (2, N'123456789012345678901'); INSERT INTO t (xh, k) VALUES (9, "
              u"3); "
              u"INSERT INTO t (k) SELECT @@ERROR"_s
        << Prefix + u"String or binary data would be truncated. "_s + Prefix
            + u"The statement has been terminated."_s
        << QStringList { u"1|1|a|NULL"_s, u"2|544|NULL|NULL"_s };
    QTest::newRow("a conversion error ends the batch")
        << one + u"INSERT INTO t (k) VALUES (N'abc'); INSERT INTO t (k) VALUES (7)"_s
        << Prefix + u"Conversion failed when converting the nvarchar value 'abc' to data type int."_s
        << QStringList { u"1|1|a|NULL"_s };
    QTest::newRow("a refused row leaves the transaction open")
        << u"BEGIN TRAN; "_s + one
            + u"INSERT INTO t (k) VALUES (1); INSERT INTO t (k) SELECT @@TRANCOUNT * 10; COMMIT"_s
        << duplicate << QStringList { u"1|1|a|NULL"_s, u"2|10|NULL|NULL"_s };
    QTest::newRow("refused identity value: earlier rows stay")
        << one + check + u"INSERT INTO t (k, v) VALUES (2, N'b');\r\n"_s + check
            + u"INSERT INTO t (xh, k) VALUES (9, 3)"_s
        << Prefix
            + u"Cannot insert explicit value for identity column in table 't' when IDENTITY_INSERT is set to OFF."_s
        << QStringList { u"1|1|a|NULL"_s, u"2|2|b|NULL"_s };
    QTest::newRow("a table made earlier in the batch is filled")
        << u"CREATE TABLE [u] ([xh] [int] NULL, [w] [nvarchar] (5) NULL)\r\nINSERT INTO u (xh, w) VALUES (1, "
           u"N'x')\r\n"
           "INSERT INTO t (k) SELECT xh FROM u"_s
        << test::NoError << QStringList { u"1|1|NULL|NULL"_s };
    QTest::newRow("a missing column of a table made in the batch is met at its statement")
        << one + u"CREATE TABLE [u] ([xh] [int] NULL)\r\nINSERT INTO u (nothere) VALUES (1)"_s
        << Prefix + u"Invalid column name 'nothere'."_s << QStringList { u"1|1|a|NULL"_s };
    // The later INSERT is prepared when the batch is compiled, before the index exists.
    QTest::newRow("a row change after an index made in the batch meets the index")
        << one + u"CREATE UNIQUE INDEX ix ON t (v); INSERT INTO t (k, v) VALUES (2, N'a')"_s << duplicate
        << QStringList { u"1|1|a|NULL"_s };
    QTest::newRow("error check written with !=")
        << u"INSERT INTO t (k) VALUES (5); if @@error != 0 return; INSERT INTO t (k) VALUES (6)"_s
        << test::NoError << QStringList { u"1|5|NULL|NULL"_s, u"2|6|NULL|NULL"_s };
}

void TestTSqlBatches::batchRunsOrStopsAsSqlServer()
{
    QFETCH(QString, batch);
    QFETCH(QString, error);
    QFETCH(QStringList, rows);
    QCOMPARE(test::failureOf([&] { m_db->execute(batch); }), error);
    QCOMPARE(rowsOf(QStringLiteral("t")), rows);
}

void TestTSqlBatches::insertBatchWritesAsRowByRow_data()
{
    QTest::addColumn<int>("rowsPerBatch");
    QTest::addColumn<int>("characters");
    QTest::addColumn<int>("expectedCalls"); // round trips of the batched way

    QTest::newRow("one batch") << 1000 << 512 * 1024 << 1;
    QTest::newRow("two rows a batch") << 2 << 512 * 1024 << 2;
    QTest::newRow("refused row opens a batch") << 3 << 512 * 1024 << 2;
    QTest::newRow("texts longer than a batch") << 1000 << 60 << 4;
}

void TestTSqlBatches::insertBatchWritesAsRowByRow()
{
    QFETCH(int, rowsPerBatch);
    QFETCH(int, characters);
    QFETCH(int, expectedCalls);

    // Awkward texts, NULL and a NUL character (sent as a parameter); the fourth row is refused.
    const QList<QList<QVariant>> rows = {
        { u"1"_s, u"O'Brien's"_s, QVariant() },
        { u"2"_s, u"'); DROP TABLE t; --"_s, u"7"_s },
        { u"3"_s, u"北京\r\n仓库"_s, u"8"_s },
        { u"1"_s, u"dup"_s, u"9"_s },
        { u"5"_s, u"never"_s, u"10"_s },
    };
    const QStringList columns = { u"[k]"_s, u"[v]"_s, u"[n]"_s };
    const auto send = [&](bool batched, int &calls) {
        test::RecordingBackend counting(*m_db);
        counting.batches = batched;
        data::InsertBatch batch(counting, { rowsPerBatch, characters });
        const QString error = test::failureOf([&] {
            for (const QList<QVariant> &row : rows)
                batch.insert(u"[t]"_s, columns, row);
            batch.flush();
        });
        calls = counting.calls();
        return error;
    };
    int rowByRowCalls = 0;
    int batchedCalls = 0;
    const QString rowByRowError = send(false, rowByRowCalls);
    const QStringList rowByRowRows = rowsOf(QStringLiteral("t"));
    m_db->execute(QStringLiteral("DELETE FROM t"));
    const QString batchedError = send(true, batchedCalls);
    QStringList batchedRows = rowsOf(QStringLiteral("t"));

    QCOMPARE(batchedError, rowByRowError);
    QVERIFY(batchedError.contains(u"Cannot insert duplicate key"_s));
    QCOMPARE(rowByRowCalls, 4);
    QCOMPARE(batchedCalls, expectedCalls);
    // The same rows; only the identity numbers go on from the first run.
    QCOMPARE(batchedRows.size(), 3);
    for (qsizetype i = 0; i < batchedRows.size(); ++i)
        QCOMPARE(batchedRows.at(i).section(u'|', 1), rowByRowRows.at(i).section(u'|', 1));
    QCOMPARE(batchedRows.at(1).section(u'|', 1), u"2|'); DROP TABLE t; --|7"_s);

    // A text holding NUL goes alone, as a parameter, between batches.
    m_db->execute(QStringLiteral("DELETE FROM t"));
    test::RecordingBackend counting(*m_db);
    data::InsertBatch batch(counting);
    batch.insert(u"[t]"_s, columns, { u"20"_s, u"a"_s, u"1"_s });
    batch.insert(u"[t]"_s, columns, { u"21"_s, QString(u"b\0c"_s), u"2"_s });
    batch.insert(u"[t]"_s, columns, { u"22"_s, u"d"_s, u"3"_s });
    batch.flush();
    QCOMPARE(counting.calls(), 3);
    QCOMPARE(rowsOf(QStringLiteral("t")).size(), 3);
}

QTEST_GUILESS_MAIN(TestTSqlBatches)
#include "tst_tsqlbatches.moc"
