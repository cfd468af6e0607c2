#include "install/installation.h"
#include "install/installfiles.h"
#include "text/gbk.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace zt;

namespace {
void writeBytes(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
}

QByteArray readBytes(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}
} // namespace

class TestInstallFiles : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void textFileValueIsTheLastLine_data();
    void textFileValueIsTheLastLine();
    void missingFileKeepsTheHeldValue();
    void scriptNameGetsIniOnlyAfterARead();
    void profileWritingKeepsOtherSectionsAndKeys();
    void profileWritingChangesOnlyTheOneLine_data();
    void profileWritingChangesOnlyTheOneLine();
    void helpTopicIsWrittenInGbk();
    void followOnLaunchStartsTheLastNamedTarget();
    void launchThatCannotStartSaysWhy_data();
    void launchThatCannotStartSaysWhy();
    void backslashesOfTheTextFilesAreSeparators();
    void helpViewerIsFoundInTheInstallationFirst();

private:
    QTemporaryDir m_dir;
    QString m_install;
    QList<QStringList> m_started;
    bool m_starts = true; // what the system answers a start
};

void TestInstallFiles::init()
{
    m_install = m_dir.path() + QStringLiteral("/%1/").arg(QTest::currentTestFunction());
    QDir().mkpath(m_install);
    install::setDirectory(m_install);
    install::heldValues() = {};
    m_started.clear();
    m_starts = true;
    install::setStarter([this](const QString &program, const QStringList &args, const QString &dir) {
        m_started.append(QStringList { program, dir } + args);
        return m_starts;
    });
}

void TestInstallFiles::cleanup()
{
    install::setStarter(nullptr);
    install::setDirectory({});
}

void TestInstallFiles::textFileValueIsTheLastLine_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("expected");
    QTest::newRow("line with break") << QByteArray("abc\r\n") << QStringLiteral("abc");
    QTest::newRow("line without break") << QByteArray("abc") << QStringLiteral("abc");
    QTest::newRow("unix break") << QByteArray("abc\n") << QStringLiteral("abc");
    QTest::newRow("empty last line") << QByteArray("abc\r\n\r\n") << QString();
    QTest::newRow("two lines") << QByteArray("first\r\nsecond\r\n") << QStringLiteral("second");
    QTest::newRow("empty file keeps") << QByteArray() << QStringLiteral("held");
    QTest::newRow("gbk") << QByteArray("\xd5\xcb\xcc\xd7\r\n") << QStringLiteral("账套");
}

void TestInstallFiles::textFileValueIsTheLastLine()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, expected);
    const QString path = m_install + QStringLiteral("t.txt");
    writeBytes(path, bytes);
    QString held = QStringLiteral("held");
    QVERIFY(install::readTextFile(path, held));
    QCOMPARE(held, expected);
}

void TestInstallFiles::missingFileKeepsTheHeldValue()
{
    QString held = QStringLiteral("kept");
    QVERIFY(!install::readTextFile(m_install + QStringLiteral("missing.txt"), held));
    QCOMPARE(held, QStringLiteral("kept"));
}

void TestInstallFiles::scriptNameGetsIniOnlyAfterARead()
{
    install::readScriptName();
    QCOMPARE(install::heldValues().scriptName, QString());
    writeBytes(m_install + QStringLiteral("txt/xzzt.txt"), "xzzt\r\n");
    install::readScriptName();
    QCOMPARE(install::heldValues().scriptName, QStringLiteral("xzzt.ini"));
    writeBytes(m_install + QStringLiteral("txt/xzzt.txt"), "xzzt\r\n\r\n");
    install::readScriptName();
    QCOMPARE(install::heldValues().scriptName, QStringLiteral(".ini"));
}

void TestInstallFiles::profileWritingKeepsOtherSectionsAndKeys()
{
    const QString path = m_install + QStringLiteral("p.ini");
    QVERIFY(
        install::writeProfileString(path, QStringLiteral("path"), QStringLiteral("k"), QStringLiteral("v1")));
    QCOMPARE(readBytes(path), QByteArray("[path]\r\nk=v1\r\n"));
    writeBytes(path, "[other]\r\na=1\r\n\r\n[Path]\r\nx=2\r\nK=old\r\n\r\n[last]\r\nb=3\r\n");
    QVERIFY(install::writeProfileString(
        path, QStringLiteral("path"), QStringLiteral("k"), QStringLiteral("new")));
    QCOMPARE(
        readBytes(path), QByteArray("[other]\r\na=1\r\n\r\n[Path]\r\nx=2\r\nk=new\r\n\r\n[last]\r\nb=3\r\n"));
    QVERIFY(
        install::writeProfileString(path, QStringLiteral("last"), QStringLiteral("c"), QStringLiteral("4")));
    QVERIFY(readBytes(path).endsWith("[last]\r\nb=3\r\nc=4\r\n"));
    QVERIFY(
        install::writeProfileString(path, QStringLiteral("other"), QStringLiteral("z"), QStringLiteral("9")));
    QVERIFY(readBytes(path).startsWith("[other]\r\na=1\r\nz=9\r\n\r\n[Path]"));
    QVERIFY(!install::writeProfileString(m_install + QStringLiteral("no/such/dir/p.ini"), QStringLiteral("s"),
        QStringLiteral("k"), QStringLiteral("v")));
}

void TestInstallFiles::profileWritingChangesOnlyTheOneLine_data()
{
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<QByteArray>("after");
    // help.ini's key in GBK: 帮助路径=创建账套.htm
    const QByteArray line = text::toGbk(QStringLiteral("帮助路径=创建账套.htm"));
    const QByteArray key = text::toGbk(QStringLiteral("帮助路径"));
    // Bytes no GBK decoder accepts: a lone lead byte, 0xFF, a lead byte before a control byte.
    const QByteArray odd("note=\x81\xff\xfe\x81\x0a", 10);
    QTest::newRow("invalid bytes elsewhere stay")
        << QByteArray("[other]\r\n" + odd + "[path]\r\n" + key + "=old.htm\r\nx=\xd5\r\n")
        << QByteArray("[other]\r\n" + odd + "[path]\r\n" + line + "\r\nx=\xd5\r\n");
    QTest::newRow("line breaks of other lines stay") << QByteArray(
        "[path]\n" + key + "=old\r\nz=1\nlast=\xa1") << QByteArray("[path]\n" + line + "\r\nz=1\nlast=\xa1");
    QTest::newRow("new key after the section's last entry")
        << QByteArray("[path]\r\na=\xff\r\n\r\n[more]\r\nb=\x80\r\n")
        << QByteArray("[path]\r\na=\xff\r\n" + line + "\r\n\r\n[more]\r\nb=\x80\r\n");
    QTest::newRow("new section after a last line without break") << QByteArray(
        "[more]\r\nb=\xfe\xfe") << QByteArray("[more]\r\nb=\xfe\xfe\r\n[path]\r\n" + line + "\r\n");
    QTest::newRow("key in a section holding only a last line without break")
        << QByteArray("[path]\r\nq=\xff") << QByteArray("[path]\r\nq=\xff\r\n" + line + "\r\n");
}

void TestInstallFiles::profileWritingChangesOnlyTheOneLine()
{
    QFETCH(QByteArray, before);
    QFETCH(QByteArray, after);
    writeBytes(m_install + QStringLiteral("help.ini"), before);
    install::writeHelpTopic(install::helpTopic());
    QCOMPARE(readBytes(m_install + QStringLiteral("help.ini")), after);
}

void TestInstallFiles::helpTopicIsWrittenInGbk()
{
    install::writeHelpTopic(install::helpTopic());
    QCOMPARE(readBytes(m_install + QStringLiteral("help.ini")),
        text::toGbk(QStringLiteral("[path]\r\n帮助路径=创建账套.htm\r\n")));
}

void TestInstallFiles::followOnLaunchStartsTheLastNamedTarget()
{
    writeBytes(m_install + QStringLiteral("txt/runsoft.txt"), "old\r\ntovra\r\n");
    writeBytes(m_install + QStringLiteral("tovra"), "#!/bin/sh\n");
    QFile::setPermissions(
        m_install + QStringLiteral("tovra"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    const install::LaunchOutcome launch = install::followOnLaunch();
    QVERIFY(launch.started());
    QCOMPARE(launch.target, m_install + QStringLiteral("tovra"));
    QCOMPARE(install::heldValues().launchTarget, QStringLiteral("tovra"));
    QCOMPARE(m_started.size(), 1);
    QCOMPARE(m_started.first(), QStringList({ m_install + QStringLiteral("tovra"), m_install }));
}

void TestInstallFiles::launchThatCannotStartSaysWhy_data()
{
    QTest::addColumn<QString>("runsoft"); // empty: no txt/runsoft.txt
    QTest::addColumn<QString>("made"); // what lies at the target: nothing, file, program
    QTest::addColumn<bool>("starts"); // the system's answer to the start
    QTest::addColumn<QString>("target");
    QTest::addColumn<QString>("problem");
    QTest::addColumn<int>("startsTried");

    QTest::newRow("target missing") << "tovra"
                                    << "nothing" << true << "tovra"
                                    << "找不到这个文件。" << 0;
    QTest::newRow("no runsoft.txt: the installation itself") << ""
                                                             << "nothing" << true << ""
                                                             << "这是一个文件夹，不是程序。" << 0;
    QTest::newRow("a file, not a program") << "readme.txt"
                                           << "file" << true << "readme.txt"
                                           << "这个文件不是可执行的程序。" << 0;
    QTest::newRow("a program the system refuses") << "tovra"
                                                  << "program" << false << "tovra"
                                                  << "系统无法启动这个程序。" << 1;
    QTest::newRow("started") << "tovra"
                             << "program" << true << "tovra"
                             << "" << 1;
}

void TestInstallFiles::launchThatCannotStartSaysWhy()
{
    QFETCH(QString, runsoft);
    QFETCH(QString, made);
    QFETCH(bool, starts);
    QFETCH(QString, target);
    QFETCH(QString, problem);
    QFETCH(int, startsTried);
    QDir(m_install).removeRecursively(); // what an earlier row made
    QDir().mkpath(m_install);
    if (!runsoft.isEmpty())
        writeBytes(m_install + QStringLiteral("txt/runsoft.txt"), runsoft.toLatin1() + "\r\n");
    if (made != u"nothing")
        writeBytes(m_install + runsoft, "#!/bin/sh\n");
    if (made == u"program")
        QFile::setPermissions(m_install + runsoft, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    m_starts = starts;

    const install::LaunchOutcome launch = install::followOnLaunch();
    QCOMPARE(launch.target, m_install + target);
    QCOMPARE(launch.problem, problem);
    QCOMPARE(launch.started(), problem.isEmpty());
    QCOMPARE(m_started.size(), startsTried);
}

void TestInstallFiles::backslashesOfTheTextFilesAreSeparators()
{
    writeBytes(m_install + QStringLiteral("txt/runsoft.txt"), "bin\\tovra\r\n");
    writeBytes(m_install + QStringLiteral("bin/tovra"), "#!/bin/sh\n");
    QFile::setPermissions(
        m_install + QStringLiteral("bin/tovra"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    install::followOnLaunch();
    QCOMPARE(install::heldValues().launchTarget, QStringLiteral("bin\\tovra")); // held as read
    QCOMPARE(m_started.value(0), QStringList({ m_install + QStringLiteral("bin/tovra"), m_install }));
    QCOMPARE(install::localPath(QStringLiteral("\\sub\\xzzt.ini")), QStringLiteral("/sub/xzzt.ini"));
}

void TestInstallFiles::helpViewerIsFoundInTheInstallationFirst()
{
    const QString viewer = m_install + QStringLiteral("help.EXE");
    writeBytes(viewer, "#!/bin/sh\n");
    QFile::setPermissions(viewer, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    install::startHelpViewer();
    QCOMPARE(m_started.size(), 1);
    QCOMPARE(m_started.first().first(), viewer);
    QFile::remove(viewer);
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", m_install.toLocal8Bit());
    install::startHelpViewer(); // nowhere to be found: silently nothing
    qputenv("PATH", path);
    QCOMPARE(m_started.size(), 1);
}

QTEST_GUILESS_MAIN(TestInstallFiles)
#include "tst_installfiles.moc"
