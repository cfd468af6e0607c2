// The fence around the exact-number layer: the statements the wizard sends do not enter it,
// those that compute with exact numbers do, and their answers stay exact.
#include "data/query.h"
#include "embedded/exact/exactlayer.h"
#include "embeddedinstance.h"

using namespace zt;

class TestExactLayer final : public test::EmbeddedInstanceTest
{
    Q_OBJECT

private slots:
    void init();
    void fence_data();
    void fence();

private:
    std::unique_ptr<data::Backend> m_db;
};

void TestExactLayer::init()
{
    makeInstance();
    sa()->execute(QStringLiteral("create database b"));
    m_db = sa(QStringLiteral("b"));
    // Beyond a double's digits, where SQLite alone would order and compare the values wrongly.
    m_db->execute(QStringLiteral("create table t (id int identity(1,1), n nvarchar(10), d decimal(18,2));"
                                 "insert into t (n, d) values (N'a', -1234567890123456.78);"
                                 "insert into t (n, d) values (N'b', -9234567890123456.78);"
                                 "insert into t (n, d) values (N'c', 5)"));
}

void TestExactLayer::fence_data()
{
    QTest::addColumn<QString>("statement");
    QTest::addColumn<bool>("enters");
    QTest::addColumn<QString>("answer"); // the first column's values, for a query

    const auto row = [](const char *name, const char *statement, bool enters, const char *answer = "") {
        QTest::newRow(name) << QString::fromUtf8(statement) << enters << QString::fromUtf8(answer);
    };
    // Of the kind the wizard sends: the shipped tables, rows posted, lists read.
    row("create table", qPrintable(test::DirectoryTable), false);
    row("insert", "insert into t (n, d) values (N'd', 99999999.99)", false);
    row("select all", "select * from t", false, "1 2 3");
    row("select where equal", "select n from t where d = 5", false, "c");
    row("update", "update t set n = N'x' where id = 3", false);
    row("delete", "delete from t where n = N'none'", false);
    // Computing with exact numbers.
    row("decimal arithmetic", "select d + 0.01 from t where id = 1", true, "-1234567890123456.77");
    row("comparison", "select id from t where d < -1234567890123456.7", true, "1 2");
    row("order by", "select id from t order by d", true, "2 1 3");
    row("sum", "select sum(d) from t", true, "-10469135780246908.56");
    row("update compared", "update t set n = N'y' where d > 0", true);
}

void TestExactLayer::fence()
{
    QFETCH(QString, statement);
    QFETCH(bool, enters);
    QFETCH(QString, answer);
    const embedded::ExactLayerCounts before = embedded::exactLayerCounts();
    const data::ResultSet rows = m_db->query(statement);
    const embedded::ExactLayerCounts after = embedded::exactLayerCounts();
    QCOMPARE(after.entered > before.entered, enters);
    QStringList values;
    for (const QList<QVariant> &r : rows.rows)
        values << data::Query::valueToText(r.value(0));
    QCOMPARE(values.join(u' '), answer);
}

QTEST_GUILESS_MAIN(TestExactLayer)
#include "tst_exactlayer.moc"
