// The TDS endpoint's own rules, below what FreeTDS exercises: statement and message bridging,
// the resolution-protocol answers, and the exchanges FreeTDS cannot produce here (an
// integrated login reaching the server, attention), spoken on a raw socket to ztwizard-tds.
#include "embedded/servererror.h"
#include "tds/server.h"
#include "tds/sqltext.h"
#include "tds/wire.h"
#include "tdsprocess.h"
#include "testinstallation.h"

#include <QTcpSocket>
#include <QTest>

using namespace zt;

namespace {

// A reply read whole from the socket: the payloads of its packets joined.
QByteArray readReply(QTcpSocket &socket)
{
    QByteArray payload;
    for (;;) {
        while (socket.bytesAvailable() < 8 && socket.waitForReadyRead(5000)) { }
        const QByteArray header = socket.read(8);
        if (header.size() < 8)
            return payload;
        const int length = (std::uint8_t(header[2]) << 8) | std::uint8_t(header[3]);
        while (socket.bytesAvailable() < length - 8 && socket.waitForReadyRead(5000)) { }
        payload += socket.read(length - 8);
        if (header[1] & 0x01)
            return payload;
    }
}

void send(QTcpSocket &socket, tds::PacketType type, const QByteArray &payload)
{
    QByteArray packet;
    const int length = int(payload.size()) + 8;
    packet.append(char(type)).append(char(1)).append(char(length >> 8)).append(char(length & 0xff));
    packet.append(QByteArray(4, '\0')).append(payload);
    socket.write(packet);
    socket.flush();
}

QByteArray login7(const QString &user, const QString &password, bool integrated)
{
    QByteArray secret;
    for (const QChar c : password) {
        for (const std::uint8_t b : { std::uint8_t(c.unicode() & 0xff), std::uint8_t(c.unicode() >> 8) })
            secret.append(char(std::uint8_t(((b << 4) | (b >> 4)) ^ 0xa5)));
    }
    tds::Writer w;
    w.u32(0); // length, set below
    w.u32(0x74000004);
    w.u32(4096);
    w.u32(0);
    w.u32(0);
    w.u32(0);
    w.u8(0);
    w.u8(integrated ? 0x80 : 0);
    w.u8(0);
    w.u8(0);
    w.u32(0);
    w.u32(0);
    const int fixed = 94;
    tds::Writer userText;
    userText.utf16(user);
    const QList<QByteArray> fields = { QByteArray(), userText.data(), secret };
    int at = fixed;
    for (int i = 0; i < 9; ++i) {
        const QByteArray field = i < fields.size() ? fields.at(i) : QByteArray();
        w.u16(std::uint16_t(at));
        w.u16(std::uint16_t(field.size() / 2));
        at += int(field.size());
    }
    w.bytes(QByteArray(6 + 4 * 4, '\0')); // client id, SSPI, file, new password, long SSPI
    for (const QByteArray &field : fields)
        w.bytes(field);
    QByteArray message = w.take();
    message[0] = char(message.size() & 0xff);
    message[1] = char(message.size() >> 8);
    return message;
}

QByteArray utf16(const QString &text)
{
    tds::Writer w;
    w.utf16(text);
    return w.take();
}

// A SQL batch: ALL_HEADERS with one transaction descriptor, then the text.
QByteArray batch(const QString &sql)
{
    tds::Writer w;
    w.u32(22);
    w.u32(18);
    w.u16(2);
    w.u64(0);
    w.u32(1);
    w.utf16(sql);
    return w.take();
}

int errorNumber(const QByteArray &reply)
{
    if (reply.isEmpty() || std::uint8_t(reply[0]) != 0xaa)
        return 0;
    tds::Reader r(reply, 3);
    return int(r.u32());
}

} // namespace

class TestTdsProtocol : public QObject
{
    Q_OBJECT

private slots:
    void namedParametersBecomePositional_data();
    void namedParametersBecomePositional();
    void firstRowFormsAreRewritten_data();
    void firstRowFormsAreRewritten();
    void embeddedMessagesKeepTheirNumbers_data();
    void embeddedMessagesKeepTheirNumbers();
    void browserAnswersOnlyItsInstance();
    void rawExchanges();
};

void TestTdsProtocol::namedParametersBecomePositional_data()
{
    QTest::addColumn<QString>("sql");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<QStringList>("order");
    QTest::newRow("in order") << "INSERT INTO t (a,b) VALUES (@P1,@P2)"
                              << "INSERT INTO t (a,b) VALUES (?,?)" << QStringList { "1", "2" };
    QTest::newRow("reused, reordered") << "select @P2, @P1, @p2"
                                       << "select ?, ?, ?" << QStringList { "2", "1", "2" };
    QTest::newRow("inside strings, names and comments")
        << "select '@P1', [@P1], \"@P1\" -- @P1\n, @P1 /* @P2 */"
        << "select '@P1', [@P1], \"@P1\" -- @P1\n, ? /* @P2 */" << QStringList { "1" };
    QTest::newRow("doubled quote") << "select 'it''s @P1', @P1"
                                   << "select 'it''s @P1', ?" << QStringList { "1" };
    QTest::newRow("unknown names stay") << "select @@version, @P10"
                                        << "select @@version, @P10" << QStringList {};
}

void TestTdsProtocol::namedParametersBecomePositional()
{
    QFETCH(QString, sql);
    QFETCH(QString, expected);
    QFETCH(QStringList, order);
    const QList<tds::RpcParam> values = { { QStringLiteral("@P1"), false, QStringLiteral("1") },
        { QStringLiteral("@P2"), false, QStringLiteral("2") } };
    const tds::BoundStatement bound = tds::bindNamed(sql, values);
    QCOMPARE(bound.sql, expected);
    QStringList got;
    for (const QVariant &v : bound.params)
        got << v.toString();
    QCOMPARE(got, order);
}

void TestTdsProtocol::firstRowFormsAreRewritten_data()
{
    QTest::addColumn<QString>("sql");
    QTest::addColumn<QString>("expected");
    QTest::newRow("update") << "UPDATE TOP (1) PBTOVRASQLBASEDATA SET [kl]=? WHERE [id]=? AND [jlrq]=?"
                            << "UPDATE PBTOVRASQLBASEDATA SET [kl]=? WHERE rowid = (SELECT rowid FROM "
                               "PBTOVRASQLBASEDATA WHERE [id]=? AND [jlrq]=? LIMIT 1)";
    QTest::newRow("delete") << "DELETE TOP (1) FROM t WHERE [a] IS NULL"
                            << "DELETE FROM t WHERE rowid = (SELECT rowid FROM t WHERE [a] IS NULL LIMIT 1)";
    QTest::newRow("other statements") << "update t set a = 1"
                                      << "update t set a = 1";
}

void TestTdsProtocol::firstRowFormsAreRewritten()
{
    QFETCH(QString, sql);
    QFETCH(QString, expected);
    QCOMPARE(tds::rewriteTopOne(sql), expected);
}

void TestTdsProtocol::embeddedMessagesKeepTheirNumbers_data()
{
    QTest::addColumn<int>("msg");
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("number");
    QTest::addColumn<int>("severity");
    QTest::newRow("1801") << int(embedded::Msg::DatabaseExists) << QStringList { "zt01" } << 1801 << 16;
    QTest::newRow("3702") << int(embedded::Msg::DatabaseInUse) << QStringList { "zt01" } << 3702 << 16;
    QTest::newRow("3701") << int(embedded::Msg::DropDatabaseMissing) << QStringList { "x" } << 3701 << 11;
    QTest::newRow("102") << int(embedded::Msg::SyntaxError) << QStringList { "GO" } << 102 << 15;
    QTest::newRow("262") << int(embedded::Msg::PermissionDenied)
                         << QStringList { "CREATE DATABASE", "master" } << 262 << 14;
    QTest::newRow("18456") << int(embedded::Msg::LoginFailed) << QStringList { "sa" } << 18456 << 14;
    QTest::newRow("other") << int(embedded::Msg::Other) << QStringList { "Something else." } << 50000 << 16;
}

void TestTdsProtocol::embeddedMessagesKeepTheirNumbers()
{
    QFETCH(int, msg);
    QFETCH(QStringList, args);
    QFETCH(int, number);
    QFETCH(int, severity);
    const QList<tds::ServerMessage> messages
        = tds::messagesOf(embedded::serverError(embedded::Msg(msg), args));
    QCOMPARE(messages.size(), 1);
    QCOMPARE(messages.first().number, number);
    QCOMPARE(messages.first().severity, severity);
    QCOMPARE(messages.first().text, embedded::messageText(embedded::Msg(msg), args));

    // A restore failure is two messages, the second 3013.
    const auto restore = tds::messagesOf(embedded::restoreError(embedded::Msg::RestoreInUse));
    QCOMPARE(restore.size(), 2);
    QCOMPARE(restore.at(0).number, 3101);
    QCOMPARE(restore.at(1).number, 3013);
}

void TestTdsProtocol::browserAnswersOnlyItsInstance()
{
    const QByteArray expected
        = QByteArray("ServerName;127.0.0.1;InstanceName;ZT;IsClustered;No;Version;15.0.2000.5;tcp;4321;;");
    const QByteArray answer = tds::Browser::answer(
        QByteArray("\x04zt\0", 4), QStringLiteral("127.0.0.1"), QStringLiteral("ZT"), 4321);
    QCOMPARE(answer.mid(3), expected);
    QCOMPARE(answer.left(3), QByteArray("\x05", 1) + char(expected.size()) + char(0));
    QCOMPARE(
        tds::Browser::answer(QByteArray("\x02"), QStringLiteral("127.0.0.1"), QStringLiteral("ZT"), 4321),
        answer);
    QCOMPARE(
        tds::Browser::answer(QByteArray("\x03"), QStringLiteral("127.0.0.1"), QStringLiteral("ZT"), 4321),
        answer);
    QVERIFY(tds::Browser::answer(QByteArray("\x04OTHER\0", 7), QStringLiteral("h"), QStringLiteral("ZT"), 1)
                .isEmpty());
    QVERIFY(tds::Browser::answer(QByteArray("\x0f\x01", 2), QStringLiteral("h"), QStringLiteral("ZT"), 1)
                .isEmpty());
    QVERIFY(tds::Browser::answer(QByteArray(), QStringLiteral("h"), QStringLiteral("ZT"), 1).isEmpty());
}

void TestTdsProtocol::rawExchanges()
{
    test::TestInstallation installation;
    QVERIFY(installation.isValid());
    test::TdsProcess tds(installation.dir());
    QVERIFY(tds.port() > 0);

    // Pre-login: no encryption.
    QTcpSocket socket;
    socket.connectToHost(QStringLiteral("127.0.0.1"), quint16(tds.port()));
    QVERIFY(socket.waitForConnected(5000));
    send(socket, tds::PacketType::Prelogin,
        QByteArray("\x00\x00\x06\x00\x01\xff\x09\x00\x00\x00\x00\x00", 12));
    const QByteArray prelogin = readReply(socket);
    QVERIFY(prelogin.size() > 11);
    const int encryptionAt = (std::uint8_t(prelogin[6]) << 8) | std::uint8_t(prelogin[7]);
    QCOMPARE(std::uint8_t(prelogin[5]), std::uint8_t(0x01));
    QCOMPARE(std::uint8_t(prelogin.at(encryptionAt)), std::uint8_t(0x02));

    // An integrated login that reaches the server is refused with SQL Server's message; the
    // connection ends.
    send(socket, tds::PacketType::Login7, login7(QString(), QString(), true));
    QCOMPARE(errorNumber(readReply(socket)), 18452);
    QVERIFY(socket.state() == QAbstractSocket::UnconnectedState || socket.waitForDisconnected(5000));

    // A SQL login: acknowledged, with the Chinese collation.
    QTcpSocket session;
    session.connectToHost(QStringLiteral("127.0.0.1"), quint16(tds.port()));
    QVERIFY(session.waitForConnected(5000));
    send(session, tds::PacketType::Login7, login7(QStringLiteral("sa"), QString(), false));
    const QByteArray ack = readReply(session);
    QVERIFY(ack.contains(QByteArray("\xe3\x08\x00\x07\x05\x04\x08\xd0\x00\x00\x00", 11)));
    QVERIFY(ack.contains(char(0xad)));

    // An error keeps its number; the text comes as UTF-16.
    send(session, tds::PacketType::SqlBatch, batch(QStringLiteral("select * from 不存在")));
    const QByteArray failed = readReply(session);
    QCOMPARE(errorNumber(failed), 208);
    QVERIFY(failed.contains(utf16(QStringLiteral("Invalid object name '不存在'."))));

    // A backup read through: SQL Server's information message.
    send(session, tds::PacketType::SqlBatch, batch(QStringLiteral("backup database master to disk='m.bak'")));
    readReply(session);
    send(session, tds::PacketType::SqlBatch, batch(QStringLiteral("restore verifyonly from disk='m.bak'")));
    QVERIFY(readReply(session).contains(utf16(QStringLiteral("The backup set on file 1 is valid."))));

    // Attention after the reply is acknowledged with DONE (attention).
    send(session, tds::PacketType::Attention, QByteArray());
    const QByteArray attention = readReply(session);
    QCOMPARE(attention.left(3), QByteArray("\xfd\x20\x00", 3));

    // A login failure names the login.
    QTcpSocket wrong;
    wrong.connectToHost(QStringLiteral("127.0.0.1"), quint16(tds.port()));
    QVERIFY(wrong.waitForConnected(5000));
    send(wrong, tds::PacketType::Login7, login7(QStringLiteral("sa"), QStringLiteral("x"), false));
    const QByteArray refused = readReply(wrong);
    QCOMPARE(errorNumber(refused), 18456);
    QVERIFY(refused.contains(utf16(QStringLiteral("Login failed for user 'sa'."))));
}

QTEST_GUILESS_MAIN(TestTdsProtocol)
#include "tst_tdsprotocol.moc"
