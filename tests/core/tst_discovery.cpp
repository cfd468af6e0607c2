#include "discovery/browse.h"
#include "discovery/reverselookup.h"
#include "discovery/serverssearcher.h"
#include "discovery/ssrp.h"
#include "embedded/embeddedserver.h"
#include "ssrpresponder.h"
#include "testhelpers.h"

#include <QElapsedTimer>
#include <QFile>
#include <QSignalSpy>
#include <QTest>

using namespace zt::discovery;
using zt::test::SsrpResponder;

using zt::test::namesFromHosts;

namespace {

// Short listening times keep the network cases quick.
const ListenWindow kQuick { 300, 150, 1000 };

// The local servers the callers hand the search: the embedded instances.
QStringList local()
{
    return zt::embedded::localServerNames();
}

QStringList expectedList(const QStringList &network)
{
    QStringList names = zt::embedded::instanceServerNames(zt::embedded::defaultRoot());
    names += network;
    return names;
}

BrowseTarget loopback(quint16 port)
{
    return BrowseTarget::fromText(QStringLiteral("127.0.0.1:%1").arg(port));
}

} // namespace

class TestDiscovery : public QObject
{
    Q_OBJECT

private slots:
    void browseAnswerGivesItemsByItsRules_data();
    void browseAnswerGivesItemsByItsRules();
    void composedBrowseTextReadsBackTheNames();

    void serverResponsesAreValidatedBeforeUse_data();
    void serverResponsesAreValidatedBeforeUse();

    void browseTargetSetting_data();
    void browseTargetSetting();

    void answeringServersFollowTheEmbeddedInstances();
    void closedOrSilentTargetListsTheEmbeddedInstances_data();
    void closedOrSilentTargetListsTheEmbeddedInstances();
    void answersAreReadByTheirLengthAndEncoding();
    void floodFromElsewhereDoesNotEndTheSearch();
    void offListsOnlyTheEmbeddedInstances();
    void cancelledSearchEndsPromptly();
    void workerThreadHandsOverTheBrowseText();

    void instancePortIsResolvedByUnicastRequest();
    void instancePortIsZeroWithoutUsableAnswer_data();
    void instancePortIsZeroWithoutUsableAnswer();

    void addressTextFollowsInetAddrRules_data();
    void addressTextFollowsInetAddrRules();
    void reverseLookupOfLoopbackAnswersHostsName();
    void reverseLookupRefusesHostNames();
};

void TestDiscovery::browseAnswerGivesItemsByItsRules_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("items");

    QTest::newRow("two servers") << QStringLiteral("SERVER:Server={ALPHA,BETA\\INST};UID:Login ID=?;")
                                 << QStringList { QStringLiteral("ALPHA"), QStringLiteral("BETA\\INST") };
    QTest::newRow("nothing between the braces empties the list")
        << QStringLiteral("SERVER:Server={};UID:Login ID=?;") << QStringList {};
    QTest::newRow("two commas give an empty item")
        << QStringLiteral("={A,,B};") << QStringList { QStringLiteral("A"), QString(), QStringLiteral("B") };
    QTest::newRow("nothing after the last comma adds nothing")
        << QStringLiteral("={A,B,};") << QStringList { QStringLiteral("A"), QStringLiteral("B") };
    QTest::newRow("a lone comma gives one empty item")
        << QStringLiteral("={,};") << QStringList { QString() };
    QTest::newRow("no opening drops only the first character")
        << QStringLiteral("XABC,DEF};") << QStringList { QStringLiteral("ABC"), QStringLiteral("DEF") };
    QTest::newRow("no closing runs to the end")
        << QStringLiteral("S={A,B\\I") << QStringList { QStringLiteral("A"), QStringLiteral("B\\I") };
    QTest::newRow("blanks, order and duplicates kept") << QStringLiteral(
        "={ b ,a,a};") << QStringList { QStringLiteral(" b "), QStringLiteral("a"), QStringLiteral("a") };
    QTest::newRow("only the first opening counts")
        << QStringLiteral("X={A={B};C};") << QStringList { QStringLiteral("A={B") };
    QTest::newRow("closing looked for after the opening")
        << QStringLiteral("};X={A,B};") << QStringList { QStringLiteral("A"), QStringLiteral("B") };
    QTest::newRow("empty text") << QString() << QStringList {};
    QTest::newRow("single character without opening") << QStringLiteral("A") << QStringList {};
}

void TestDiscovery::browseAnswerGivesItemsByItsRules()
{
    QFETCH(QString, text);
    QFETCH(QStringList, items);
    QCOMPARE(parseBrowseResult(text), items);
}

void TestDiscovery::composedBrowseTextReadsBackTheNames()
{
    const QStringList names { QStringLiteral("(embedded)"), QStringLiteral("SRV"),
        QStringLiteral("SRV\\财务") };
    QCOMPARE(parseBrowseResult(composeBrowseText(names)), names);
    QCOMPARE(parseBrowseResult(
                 composeBrowseText({ QStringLiteral("A,B"), QStringLiteral("C}"), QStringLiteral("D") })),
        QStringList { QStringLiteral("D") });
    QCOMPARE(parseBrowseResult(composeBrowseText({})), QStringList {});
}

void TestDiscovery::serverResponsesAreValidatedBeforeUse_data()
{
    QTest::addColumn<QByteArray>("datagram");
    QTest::addColumn<QStringList>("names"); // empty: rejected
    QTest::addColumn<QStringList>("ports");

    const QByteArray one = SsrpResponder::record("SRV", "INST", "50123");
    const QByteArray deflt = SsrpResponder::record("SRV", "MSSQLSERVER");
    QTest::newRow("one named instance")
        << SsrpResponder::svrResp(one) << QStringList { QStringLiteral("SRV\\INST") }
        << QStringList { QStringLiteral("50123") };
    QTest::newRow("default instance is the server alone") << SsrpResponder::svrResp(
        deflt) << QStringList { QStringLiteral("SRV") } << QStringList { QStringLiteral("1433") };
    QTest::newRow("default instance in lower case")
        << SsrpResponder::svrResp(SsrpResponder::record("SRV", "mssqlserver"))
        << QStringList { QStringLiteral("SRV") } << QStringList { QStringLiteral("1433") };
    QTest::newRow("several instances")
        << SsrpResponder::svrResp(one + deflt + SsrpResponder::record("SRV", "PIPES", {}))
        << QStringList { QStringLiteral("SRV\\INST"), QStringLiteral("SRV"), QStringLiteral("SRV\\PIPES") }
        << QStringList { QStringLiteral("50123"), QStringLiteral("1433"), QString() };
    QTest::newRow("GBK instance name")
        << SsrpResponder::svrResp(SsrpResponder::record("SRV", "\xb2\xc6\xce\xf1"))
        << QStringList { QStringLiteral("SRV\\财务") } << QStringList { QStringLiteral("1433") };

    const QStringList none;
    QTest::newRow("empty") << QByteArray() << none << none;
    QTest::newRow("header only") << QByteArray("\x05\x00\x00", 3) << none << none;
    QTest::newRow("wrong type byte") << QByteArray("\x06") + SsrpResponder::svrResp(one).mid(1) << none
                                     << none;
    QTest::newRow("truncated") << SsrpResponder::svrResp(one).chopped(5) << none << none;
    QTest::newRow("length beyond the datagram") << SsrpResponder::svrResp(one).left(2) << none << none;
    QTest::newRow("bytes beyond the length")
        << SsrpResponder::svrResp(one) + "ServerName;X;;" << none << none;
    QTest::newRow("a whole record beyond the length")
        << SsrpResponder::svrResp(one) + SsrpResponder::record("X", "Y") << none << none;
    QTest::newRow("name not GBK") << SsrpResponder::svrResp(SsrpResponder::record("SRV", "I\x81")) << none
                                  << none;
    QTest::newRow("oversized text") << SsrpResponder::svrResp(QByteArray(70000, 'A')) << none << none;
    QTest::newRow("record not closed") << SsrpResponder::svrResp(one.chopped(1)) << none << none;
    QTest::newRow("key without value") << SsrpResponder::svrResp("ServerName;;") << none << none;
    QTest::newRow("no instance name") << SsrpResponder::svrResp("ServerName;SRV;tcp;1433;;") << none << none;
    QTest::newRow("comma in a name") << SsrpResponder::svrResp(SsrpResponder::record("A,B", "I")) << none
                                     << none;
    QTest::newRow("braces in a name")
        << SsrpResponder::svrResp(SsrpResponder::record("SRV", "I};")) << none << none;
    QTest::newRow("control character in a name")
        << SsrpResponder::svrResp(SsrpResponder::record("SR\x01V", "I")) << none << none;
    QTest::newRow("NUL in the text") << SsrpResponder::svrResp(QByteArray("ServerName;S\0V;InstanceName;I;;",
        31)) << none << none;
    QTest::newRow("port out of range")
        << SsrpResponder::svrResp(SsrpResponder::record("SRV", "I", "70000")) << none << none;
    QTest::newRow("port not a number")
        << SsrpResponder::svrResp(SsrpResponder::record("SRV", "I", "x1")) << none << none;
    QTest::newRow("good record then bad one")
        << SsrpResponder::svrResp(one + SsrpResponder::record("SRV", "")) << none << none;
}

void TestDiscovery::serverResponsesAreValidatedBeforeUse()
{
    QFETCH(QByteArray, datagram);
    QFETCH(QStringList, names);
    QFETCH(QStringList, ports);
    const auto records = parseServerResponse(datagram);
    if (names.isEmpty()) {
        QVERIFY(!records);
        return;
    }
    QVERIFY(records);
    QStringList gotNames, gotPorts;
    for (const InstanceRecord &record : *records) {
        gotNames.append(record.displayName());
        gotPorts.append(record.tcpPort);
    }
    QCOMPARE(gotNames, names);
    QCOMPARE(gotPorts, ports);
}

void TestDiscovery::browseTargetSetting_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("host");
    QTest::addColumn<int>("port");
    const int off = int(BrowseTarget::Kind::Off), host = int(BrowseTarget::Kind::Host);
    QTest::newRow("off") << QStringLiteral("off") << off << QString() << 0;
    QTest::newRow("OFF") << QStringLiteral("OFF") << off << QString() << 0;
    QTest::newRow("loopback") << QStringLiteral("127.0.0.1:1434") << host << QStringLiteral("127.0.0.1")
                              << 1434;
    QTest::newRow("bracketed v6") << QStringLiteral("[::1]:99") << host << QStringLiteral("::1") << 99;
    QTest::newRow("no port") << QStringLiteral("127.0.0.1") << off << QString() << 0;
    QTest::newRow("port zero") << QStringLiteral("127.0.0.1:0") << off << QString() << 0;
    QTest::newRow("port too big") << QStringLiteral("127.0.0.1:70000") << off << QString() << 0;
    QTest::newRow("no host") << QStringLiteral(":1434") << off << QString() << 0;
    QTest::newRow("empty") << QString() << off << QString() << 0;
}

void TestDiscovery::browseTargetSetting()
{
    QFETCH(QString, text);
    QFETCH(int, kind);
    QFETCH(QString, host);
    QFETCH(int, port);
    const BrowseTarget target = BrowseTarget::fromText(text);
    QCOMPARE(int(target.kind), kind);
    QCOMPARE(target.host, host);
    QCOMPARE(int(target.port), port);
}

void TestDiscovery::answeringServersFollowTheEmbeddedInstances()
{
    const QByteArray a = SsrpResponder::svrResp(SsrpResponder::record("ALPHA", "MSSQLSERVER"));
    const QByteArray b = SsrpResponder::svrResp(
        SsrpResponder::record("BETA", "INST") + SsrpResponder::record("BETA", "MSSQLSERVER"));
    const QByteArray bad = SsrpResponder::svrResp(SsrpResponder::record("EVIL,NAME", "X"));
    const QByteArray junk = QByteArray(3000, '\x05');
    SsrpResponder responder({ a, bad, junk, b, a });

    const auto text = TServersSearcher::browse(loopback(responder.port()), local(), {}, kQuick);
    QVERIFY(text);
    QCOMPARE(parseBrowseResult(*text),
        expectedList({ QStringLiteral("ALPHA"), QStringLiteral("BETA\\INST"), QStringLiteral("BETA") }));
    QCOMPARE(responder.requests(), QList<QByteArray> { QByteArray(1, '\x02') });
}

void TestDiscovery::closedOrSilentTargetListsTheEmbeddedInstances_data()
{
    QTest::addColumn<bool>("silent");
    QTest::newRow("closed port") << false;
    QTest::newRow("silent responder") << true;
}

void TestDiscovery::closedOrSilentTargetListsTheEmbeddedInstances()
{
    QFETCH(bool, silent);
    // A responder whose only answers are malformed counts as silent. A search that found nobody
    // still gives a browse text: the embedded instances alone.
    SsrpResponder responder({ QByteArray("\x05\x10\x00short") });
    const quint16 port = silent ? responder.port() : SsrpResponder::closedPort();
    QElapsedTimer clock;
    clock.start();
    const auto text = TServersSearcher::browse(loopback(port), local(), {}, kQuick);
    QVERIFY(text);
    QCOMPARE(parseBrowseResult(*text), expectedList({}));
    QVERIFY2(clock.elapsed() < kQuick.totalMs + 500, qPrintable(QString::number(clock.elapsed())));
}

void TestDiscovery::answersAreReadByTheirLengthAndEncoding()
{
    const QByteArray good = SsrpResponder::svrResp(SsrpResponder::record("GOOD", "MSSQLSERVER"));
    // Longer than its length field says: the bytes beyond would be a valid record of their own.
    const QByteArray longer = SsrpResponder::svrResp(SsrpResponder::record("LONG", "MSSQLSERVER"))
        + SsrpResponder::record("EXTRA", "MSSQLSERVER");
    // Names that are not GBK: a lead byte without its trail byte, 0xFF.
    const QByteArray notGbk = SsrpResponder::svrResp(SsrpResponder::record("BAD\x81", "I"));
    const QByteArray notGbk2 = SsrpResponder::svrResp(SsrpResponder::record("SRV", "\xff\xfe"));
    SsrpResponder responder({ longer, notGbk, good, notGbk2 });
    const auto text = TServersSearcher::browse(loopback(responder.port()), local(), {}, kQuick);
    QVERIFY(text);
    QCOMPARE(parseBrowseResult(*text), expectedList({ QStringLiteral("GOOD") }));
}

void TestDiscovery::floodFromElsewhereDoesNotEndTheSearch()
{
    // More datagrams from another sender than one search reads from its target.
    SsrpResponder responder({ SsrpResponder::svrResp(SsrpResponder::record("TARGET", "MSSQLSERVER")) });
    responder.setFloodFromElsewhere(600);
    const auto text = TServersSearcher::browse(loopback(responder.port()), local(), {}, { 2000, 300, 3000 });
    QVERIFY(text);
    QCOMPARE(parseBrowseResult(*text), expectedList({ QStringLiteral("TARGET") }));
}

void TestDiscovery::offListsOnlyTheEmbeddedInstances()
{
    const auto text = TServersSearcher::browse(BrowseTarget::fromText(QStringLiteral("off")), local());
    QVERIFY(text);
    QCOMPARE(parseBrowseResult(*text), expectedList({}));
}

void TestDiscovery::cancelledSearchEndsPromptly()
{
    SsrpResponder responder; // never answers a broadcast
    std::atomic<bool> stop { false };
    QElapsedTimer clock;
    clock.start();
    std::thread canceller([&stop] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        stop = true;
    });
    const auto text
        = TServersSearcher::browse(loopback(responder.port()), local(), [&stop] { return stop.load(); });
    canceller.join();
    QVERIFY(!text);
    QVERIFY2(clock.elapsed() < 600, qPrintable(QString::number(clock.elapsed())));
}

void TestDiscovery::workerThreadHandsOverTheBrowseText()
{
    SsrpResponder responder({ SsrpResponder::svrResp(SsrpResponder::record("GAMMA", "SQLEXPRESS")) });
    qputenv("ZTWIZARD_BROWSE_TARGET", responder.target().toLatin1());
    TServersSearcher searcher(&zt::embedded::localServerNames);
    QSignalSpy browsed(&searcher, &TServersSearcher::browsed);
    QSignalSpy finished(&searcher, &QThread::finished);
    searcher.start();
    QVERIFY(finished.wait(5000));
    qputenv("ZTWIZARD_BROWSE_TARGET", "off");
    QCOMPARE(browsed.size(), 1);
    QCOMPARE(parseBrowseResult(browsed.first().first().toString()),
        expectedList({ QStringLiteral("GAMMA\\SQLEXPRESS") }));
}

void TestDiscovery::instancePortIsResolvedByUnicastRequest()
{
    const QByteArray answer = SsrpResponder::svrResp(SsrpResponder::record("SRV", "FINANCE", "49877"));
    SsrpResponder responder({}, answer);
    QCOMPARE(
        resolveInstancePort(QStringLiteral("127.0.0.1"), QStringLiteral("finance"), 1000, responder.port()),
        49877);
    QCOMPARE(responder.requests(),
        QList<QByteArray> { QByteArray("\x04"
                                       "finance",
                                8)
            + '\0' });
}

void TestDiscovery::instancePortIsZeroWithoutUsableAnswer_data()
{
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<QString>("instance");
    QTest::newRow("silent") << QByteArray() << QStringLiteral("FINANCE");
    QTest::newRow("other instance") << SsrpResponder::svrResp(SsrpResponder::record("SRV", "OTHER", "1500"))
                                    << QStringLiteral("FINANCE");
    QTest::newRow("no tcp") << SsrpResponder::svrResp(SsrpResponder::record("SRV", "FINANCE", {}))
                            << QStringLiteral("FINANCE");
    QTest::newRow("malformed") << QByteArray("\x05\xff\xff;;") << QStringLiteral("FINANCE");
    QTest::newRow("name too long for the request") << QByteArray() << QString(40, u'N');
}

void TestDiscovery::instancePortIsZeroWithoutUsableAnswer()
{
    QFETCH(QByteArray, answer);
    QFETCH(QString, instance);
    SsrpResponder responder({}, answer);
    QElapsedTimer clock;
    clock.start();
    QCOMPARE(resolveInstancePort(QStringLiteral("127.0.0.1"), instance, 300, responder.port()), 0);
    QVERIFY(clock.elapsed() < 1000);
}

void TestDiscovery::addressTextFollowsInetAddrRules_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<quint32>("address");
    QTest::newRow("dotted four") << QStringLiteral("127.0.0.1") << true << quint32(0x7f000001);
    QTest::newRow("three parts") << QStringLiteral("1.2.3") << true << quint32(0x01020003);
    QTest::newRow("two parts") << QStringLiteral("10.65535") << true << quint32(0x0a00ffff);
    QTest::newRow("hex and octal") << QStringLiteral("0x7f.0.0.010") << true << quint32(0x7f000008);
    QTest::newRow("word") << QStringLiteral("abc") << false << quint32(0);
    QTest::newRow("host name") << QStringLiteral("localhost") << false << quint32(0);
    QTest::newRow("five parts") << QStringLiteral("1.2.3.4.5") << false << quint32(0);
    QTest::newRow("part too big") << QStringLiteral("256.1.1.1") << false << quint32(0);
    // All ones is inet_addr's error value: refused, in any spelling.
    QTest::newRow("all ones") << QStringLiteral("0xffffffff") << false << quint32(0);
    QTest::newRow("full width digits") << QStringLiteral("１２７.0.0.1") << false << quint32(0);
    QTest::newRow("NUL then garbage")
        << QStringLiteral("127.0.0.1") + QChar(u'\0') + QStringLiteral("x") << false << quint32(0);
}

void TestDiscovery::addressTextFollowsInetAddrRules()
{
    QFETCH(QString, text);
    QFETCH(bool, valid);
    QFETCH(quint32, address);
    const auto parsed = parseInetAddr(text);
    QCOMPARE(parsed.has_value(), valid);
    if (valid)
        QCOMPARE(*parsed, address);
}

void TestDiscovery::reverseLookupOfLoopbackAnswersHostsName()
{
    const QStringList names = namesFromHosts("127.0.0.1");
    if (names.isEmpty())
        QSKIP("/etc/hosts names nothing for 127.0.0.1");
    const auto name = reverseLookup(QStringLiteral("127.0.0.1"));
    QVERIFY(name);
    QVERIFY2(names.contains(*name), qPrintable(*name));
}

void TestDiscovery::reverseLookupRefusesHostNames()
{
    QVERIFY(!reverseLookup(QStringLiteral("localhost")));
    QVERIFY(!reverseLookup(QStringLiteral("abc")));
    QVERIFY(!reverseLookup(QString()));
}

QTEST_GUILESS_MAIN(TestDiscovery)
#include "tst_discovery.moc"
