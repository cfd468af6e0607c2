// What the ODBC driver manager receives when the back end connects, read from unixODBC's own
// trace: the texts are the same whatever QODBC does with a data-source text (Qt 6.4 and 6.8
// differ there), so the local files and FreeTDS get them as composed.
#include "data/dataerror.h"
#include "data/odbcbackend.h"
#include "guard/roadguard.h"
#include "testinstallation.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

using namespace zt::data;
using namespace Qt::StringLiterals;

namespace {

// unixODBC writes a password into its trace as stars up to the next ';'.
QString masked(QString text)
{
    static const QRegularExpression password(QStringLiteral("PWD=([^;]*)"));
    for (auto it = password.globalMatch(text); it.hasNext();) {
        const auto m = it.next();
        text.replace(m.capturedStart(1), m.capturedLength(1), QString(m.capturedLength(1), u'*'));
    }
    return text;
}

} // namespace

class TestOdbcDriverTexts : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void driverManagerReceivesTheComposedText_data();
    void driverManagerReceivesTheComposedText();

private:
    QTemporaryDir m_traceDir;
    QString m_trace;
    std::unique_ptr<zt::test::TestInstallation> m_installation;
};

void TestOdbcDriverTexts::initTestCase()
{
    m_trace = m_traceDir.filePath(QStringLiteral("odbc.trace"));
    qputenv("ZT_TEST_ODBC_TRACE", m_trace.toLocal8Bit());
    m_installation = std::make_unique<zt::test::TestInstallation>();
    QVERIFY(m_installation->isValid());
}

void TestOdbcDriverTexts::driverManagerReceivesTheComposedText_data()
{
    QTest::addColumn<QString>("kind"); // file, or a login through FreeTDS
    QTest::addColumn<QString>("value"); // the file's name, or the password
    QTest::addColumn<QString>("expected"); // $DIR: the installation, $URI: the file as a URI, $PORT

    QTest::newRow("local file")
        << u"file"_s << u"MORVEK.mdb"_s
        << u"DSN=plumbrook;UID=admin;PWD=plumbrook5190274;Database=$DIRdata/MORVEK.mdb;"
           "NoCreat=1;Server=local;"_s;
    QTest::newRow("file with ; in its folder") << u"file"_s << u"a;b/x.mdb"_s
                                               << u"DSN=plumbrook;UID=admin;PWD=plumbrook5190274;"
                                                  "Database=file://$URI;NoCreat=1;Server=local;"_s;
    QTest::newRow("sql login") << u"sql"_s << u"p;w"_s
                               << u"Driver={FreeTDS};ServerName=$SECTION;TDS_Version=7.4;Encryption=require;"
                                  "ClientCharset=UTF-8;APP=$APP;Database=zt001;UID=sa;PWD={p;w};"_s;
    QTest::newRow("integrated login") << u"integrated"_s << u""_s
                                      << u"Driver={FreeTDS};ServerName=$SECTION;TDS_Version=7.4;"
                                         "Encryption=require;ClientCharset=UTF-8;APP=$APP;Database=zt001;"
                                         "Trusted_Connection=Yes;"_s;
}

// The server's host for a login kind: an address, or a host name for the integrated login,
// which Kerberos needs.
static QString host(const QString &kind)
{
    return kind == u"integrated" ? QStringLiteral("localhost") : QStringLiteral("127.0.0.1");
}

void TestOdbcDriverTexts::driverManagerReceivesTheComposedText()
{
    QFETCH(QString, kind);
    QFETCH(QString, value);
    QFETCH(QString, expected);

    QTcpServer refusing;
    QVERIFY(refusing.listen(QHostAddress::LocalHost));
    const quint16 port = refusing.serverPort();
    refusing.close();
    const QString dir = m_installation->dir();
    if (kind == u"file") {
        const QString file = dir + QStringLiteral("data/") + value;
        QDir().mkpath(QFileInfo(file).absolutePath());
        QFile(file).open(QIODevice::Append); // an empty file is an empty database
        // The local file opens: the driver manager found the data source and the driver read it.
        odbc::openDataSource(
            QStringLiteral("plumbrook"), QStringLiteral("admin"), QStringLiteral("plumbrook5190274"), file)
            ->execute(QStringLiteral("create table if not exists t (x integer)"));
    } else {
        const Credentials login
            = kind == u"sql" ? Credentials::sql(QStringLiteral("sa"), value) : Credentials::integrated();
        if (kind != u"sql") {
            // The integrated login goes to FreeTDS for a host name and with a ticket cache.
            QFile cache(dir + QStringLiteral("krb5cc"));
            QVERIFY(cache.open(QIODevice::WriteOnly) && cache.write("ticket") > 0);
            qputenv("KRB5CCNAME", QFile::encodeName(QStringLiteral("FILE:") + cache.fileName()));
        }
        try {
            odbc::openSqlServer(
                QStringLiteral("%1,%2").arg(host(kind)).arg(port), login, QStringLiteral("zt001"));
            QFAIL("connected to a closed port");
        } catch (const DataError &e) {
            QVERIFY2(e.message().startsWith(QLatin1StringView("[FreeTDS]")), qPrintable(e.message()));
        }
    }

    QFile trace(m_trace);
    QVERIFY(trace.open(QIODevice::ReadOnly));
    static const QRegularExpression received(QStringLiteral("Str In = \\[(.*)\\]\\[length = (\\d+)\\]"));
    QString last;
    qsizetype length = -1;
    for (auto it = received.globalMatch(QString::fromUtf8(trace.readAll())); it.hasNext();) {
        const auto m = it.next();
        last = m.captured(1);
        while (last.endsWith(QChar(0))) // Qt 6.4 hands over the terminating NUL too
            last.chop(1);
        length = m.captured(2).toLongLong();
    }
    expected.replace(QStringLiteral("$DIR"), dir)
        .replace(QStringLiteral("$URI"),
            QString::fromLatin1(QUrl::toPercentEncoding(dir + QStringLiteral("data/") + value, "/", ".")))
        .replace(QStringLiteral("$PORT"), QString::number(port))
        .replace(QStringLiteral("$APP"), QCoreApplication::applicationName());
    if (kind != u"file") {
        const QString server = QStringLiteral("%1,%2").arg(host(kind)).arg(port);
        expected.replace(QStringLiteral("$SECTION"),
            zt::guard::freeTdsSection(host(kind), port, zt::guard::settingsFor(server)));
    }
    const QString text = masked(expected);
    // The trace shortens a long text to its beginning and "..."; its length is the whole one's.
    if (last.endsWith(QLatin1StringView("...")) && last.size() < text.size())
        QVERIFY2(text.startsWith(last.chopped(3)), qPrintable(last));
    else
        QCOMPARE(last, text);
    QVERIFY(length == text.size() || length == text.size() + 1); // Qt 6.4 counts the NUL
}

QTEST_GUILESS_MAIN(TestOdbcDriverTexts)
#include "tst_odbcdrivertexts.moc"
