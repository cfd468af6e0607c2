// The embedded server's promises hold between processes: the test runs copies of itself as
// other processes ("child" mode) that use the same instance.

#include "data/dataerror.h"
#include "embedded/embeddedserver.h"
#include "embedded/filelock.h"
#include "testhelpers.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>
#include <QTextStream>

#include <chrono>
#include <fcntl.h>
#include <functional>
#include <iostream>
#include <string>
#include <sys/file.h>
#include <thread>
#include <unistd.h>

using namespace zt;
using namespace Qt::StringLiterals;
using data::Credentials;

namespace {

const QString Prefix = QStringLiteral("[ztwizard][SQL Server]");

std::unique_ptr<data::Backend> connectTo(const QString &root, const QString &catalog)
{
    return embedded::connect(root, QStringLiteral("default"), Credentials::integrated(), catalog);
}

// A child's answer to a command: "ok", or the error the command ended with.
QString answerTo(const std::function<void()> &command)
{
    const QString failure = test::failureOf(command);
    return failure == test::NoError ? QStringLiteral("ok") : failure;
}

// Child mode: child ROOT DATABASE, then one command per line on standard input, one answer line
// each: "sql <statement>" runs it in master, "hold" opens a session on DATABASE and keeps it,
// "count" counts the rows of t in the held session, "insert N" adds N rows to t one at a time,
// "release" ends the held session; end of input ends the child.
int runChild(const QString &root, const QString &database)
{
    std::unique_ptr<data::Backend> held;
    std::string line;
    while (std::getline(std::cin, line)) {
        const QString command = QString::fromStdString(line);
        QString answer;
        if (command.startsWith(QLatin1StringView("sql "))) {
            answer = answerTo([&] { connectTo(root, {})->execute(command.mid(4)); });
        } else if (command == QLatin1StringView("hold")) {
            answer = answerTo([&] { held = connectTo(root, database); });
        } else if (command == QLatin1StringView("count")) {
            QString count;
            answer = answerTo([&] {
                count
                    = held->query(QStringLiteral("select count(*) from t")).rows.value(0).value(0).toString();
            });
            if (answer == QLatin1StringView("ok"))
                answer = count;
        } else if (command.startsWith(QLatin1StringView("insert "))) {
            answer = answerTo([&] {
                auto session = connectTo(root, database);
                for (int i = command.mid(7).toInt(); i > 0; --i)
                    session->execute(QStringLiteral("insert into t (v) values (1)"));
            });
        } else if (command == QLatin1StringView("release")) {
            held.reset();
            answer = QStringLiteral("ok");
        }
        std::cout << answer.toStdString() << std::endl;
    }
    return 0;
}

// Another process on the same instance.
class Child final
{
public:
    Child(const QString &root, const QString &database)
    {
        m_process.setProgram(QCoreApplication::applicationFilePath());
        m_process.setArguments({ QStringLiteral("child"), root, database });
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_process.start();
    }
    ~Child()
    {
        m_process.closeWriteChannel();
        if (!m_process.waitForFinished(10000))
            m_process.kill();
    }
    bool started() { return m_process.waitForStarted(10000); }
    // True when an answer line arrives within ms.
    bool answersWithin(int ms) { return m_process.canReadLine() || m_process.waitForReadyRead(ms); }
    void send(const QString &command) { m_process.write((command + u'\n').toUtf8()); }
    QString answer()
    {
        while (!m_process.canReadLine()) {
            if (!m_process.waitForReadyRead(30000))
                return QStringLiteral("(no answer)");
        }
        return QString::fromUtf8(m_process.readLine()).trimmed();
    }
    QString ask(const QString &command)
    {
        send(command);
        return answer();
    }

private:
    QProcess m_process;
};

} // namespace

class TestEmbeddedProcesses : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void sameNameCreateRaceHasOneWinner();
    void databaseUsedByAnotherProcessIsKept_data();
    void databaseUsedByAnotherProcessIsKept();
    void identityNumbersAreUniqueAcrossProcesses();
    void sessionEndingAMomentLaterLetsDropThrough();
    void createDatabaseWaitsForTheInstanceLock_data();
    void createDatabaseWaitsForTheInstanceLock();
    void lockFilesAreNotInherited();

private:
    QString backupOf(const QString &database);

    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_root;
};

void TestEmbeddedProcesses::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_root = m_dir->filePath(QStringLiteral("embedded"));
    connectTo(m_root, {}); // the instance exists before the children come
}

QString TestEmbeddedProcesses::backupOf(const QString &database)
{
    const QString path = m_dir->filePath(database + QStringLiteral(".bak"));
    connectTo(m_root, {})->execute(QStringLiteral("backup database [%1] to disk='%2'").arg(database, path));
    return path;
}

void TestEmbeddedProcesses::sameNameCreateRaceHasOneWinner()
{
    Child first(m_root, {}), second(m_root, {});
    QVERIFY(first.started() && second.started());
    for (int round = 0; round < 20; ++round) {
        const QString name = QStringLiteral("race%1").arg(round);
        const QString statement = QStringLiteral("create database ") + name;
        first.send(QStringLiteral("sql ") + statement);
        second.send(QStringLiteral("sql ") + statement);
        QStringList answers { first.answer(), second.answer() };
        answers.sort();
        QCOMPARE(answers,
            QStringList({ Prefix
                    + QStringLiteral("Database '%1' already exists. Choose a different database name.")
                          .arg(name),
                QStringLiteral("ok") }));
    }
}

void TestEmbeddedProcesses::databaseUsedByAnotherProcessIsKept_data()
{
    QTest::addColumn<bool>("childHolds"); // else the test's own process holds it
    QTest::addColumn<QString>("statement");
    QTest::addColumn<QString>("error");

    const QString drop = QStringLiteral("drop database zt001");
    const QString dropError
        = Prefix + QStringLiteral("Cannot drop database \"zt001\" because it is currently in use.");
    const QString restore = QStringLiteral("restore database zt001 from disk='%1' with replace");
    const QString restoreError = Prefix
        + QStringLiteral("Exclusive access could not be obtained because the database is in use. ") + Prefix
        + QStringLiteral("RESTORE DATABASE is terminating abnormally.");
    QTest::newRow("drop, another process holds") << true << drop << dropError;
    QTest::newRow("drop from another process") << false << drop << dropError;
    QTest::newRow("restore, another process holds") << true << restore << restoreError;
    QTest::newRow("restore from another process") << false << restore << restoreError;
}

void TestEmbeddedProcesses::databaseUsedByAnotherProcessIsKept()
{
    QFETCH(bool, childHolds);
    QFETCH(QString, statement);
    QFETCH(QString, error);

    auto master = connectTo(m_root, {});
    master->execute(QStringLiteral("create database zt001"));
    connectTo(m_root, QStringLiteral("zt001"))
        ->execute(
            QStringLiteral("create table t (id int identity (1, 1), v int); insert into t (v) values (7)"));
    statement = statement.arg(backupOf(QStringLiteral("zt001")));

    Child child(m_root, QStringLiteral("zt001"));
    QVERIFY(child.started());
    if (childHolds) {
        QCOMPARE(child.ask(QStringLiteral("hold")), QStringLiteral("ok"));
        QCOMPARE(test::failureOf([&] { master->execute(statement); }), error);
        QCOMPARE(child.ask(QStringLiteral("count")), QStringLiteral("1")); // its file is still there
        QCOMPARE(child.ask(QStringLiteral("release")), QStringLiteral("ok"));
        QCOMPARE(test::failureOf([&] { master->execute(statement); }), test::NoError);
    } else {
        {
            auto held = connectTo(m_root, QStringLiteral("zt001"));
            QCOMPARE(child.ask(QStringLiteral("sql ") + statement), error);
            QCOMPARE(held->query(QStringLiteral("select count(*) from t")).rows.value(0).value(0).toInt(), 1);
        }
        QCOMPARE(child.ask(QStringLiteral("sql ") + statement), QStringLiteral("ok"));
    }
    QCOMPARE(QFile::exists(m_root + QStringLiteral("/default/zt001.db")), statement.startsWith(u"restore"));
}

void TestEmbeddedProcesses::identityNumbersAreUniqueAcrossProcesses()
{
    connectTo(m_root, {})->execute(QStringLiteral("create database ids"));
    connectTo(m_root, QStringLiteral("ids"))
        ->execute(QStringLiteral("create table t (id int identity (1, 1), v int)"));
    Child first(m_root, QStringLiteral("ids")), second(m_root, QStringLiteral("ids"));
    QVERIFY(first.started() && second.started());
    first.send(QStringLiteral("insert 150"));
    second.send(QStringLiteral("insert 150"));
    QCOMPARE(first.answer(), QStringLiteral("ok"));
    QCOMPARE(second.answer(), QStringLiteral("ok"));
    const auto row
        = connectTo(m_root, QStringLiteral("ids"))
              ->query(QStringLiteral("select count(*), count(distinct id), min(id), max(id) from t"))
              .rows.value(0);
    QStringList figures;
    for (const QVariant &value : row)
        figures << value.toString();
    QCOMPARE(figures, QStringList({ u"300"_s, u"300"_s, u"1"_s, u"300"_s }));
}

// A connection that is just closing (a client gone, its thread still ending the session) is not
// "in use": the drop waits that moment; a session still open after it is.
void TestEmbeddedProcesses::sessionEndingAMomentLaterLetsDropThrough()
{
    auto master = connectTo(m_root, {});
    master->execute(QStringLiteral("create database zt001"));
    auto held = connectTo(m_root, QStringLiteral("zt001"));
    std::thread closing([&held] {
        std::this_thread::sleep_for(std::chrono::milliseconds(150));
        held.reset();
    });
    const QString dropped = test::failureOf([&] { master->execute(QStringLiteral("drop database zt001")); });
    closing.join();
    QCOMPARE(dropped, test::NoError);
    QVERIFY(!QFile::exists(m_root + QStringLiteral("/default/zt001.db")));
}

// The instance lock excludes: while another open file holds .locks/instance.lock, a process's
// create database waits; it finishes once the lock is let go. A holder that takes it shared shows
// that create database takes it exclusively (a shared taker would not wait for a shared holder).
void TestEmbeddedProcesses::createDatabaseWaitsForTheInstanceLock_data()
{
    QTest::addColumn<int>("holderMode");
    QTest::newRow("held exclusively") << int(LOCK_EX);
    QTest::newRow("held shared") << int(LOCK_SH);
}

void TestEmbeddedProcesses::createDatabaseWaitsForTheInstanceLock()
{
    QFETCH(int, holderMode);
    Child child(m_root, {});
    QVERIFY(child.started());
    QCOMPARE(child.ask(QStringLiteral("sql select 1")), QStringLiteral("ok")); // started and warm
    const QByteArray path = QFile::encodeName(m_root + QStringLiteral("/default/.locks/instance.lock"));
    const int fd = ::open(path.constData(), O_RDWR | O_CLOEXEC);
    QVERIFY(fd >= 0);
    QCOMPARE(::flock(fd, holderMode), 0);
    child.send(QStringLiteral("sql create database waited"));
    const bool answeredWhileHeld = child.answersWithin(300);
    const bool madeWhileHeld = QFile::exists(m_root + QStringLiteral("/default/waited.db"));
    ::close(fd); // lets go of the lock
    QVERIFY(!answeredWhileHeld);
    QVERIFY(!madeWhileHeld);
    QCOMPARE(child.answer(), QStringLiteral("ok"));
    QVERIFY(QFile::exists(m_root + QStringLiteral("/default/waited.db")));
}

// Lock files are opened close-on-exec: a program started while a lock is held does not keep it
// after the lock is let go, as it would with an inherited descriptor.
void TestEmbeddedProcesses::lockFilesAreNotInherited()
{
    using embedded::FileLock;
    const QString path = m_root + QStringLiteral("/default/.locks/instance.lock");
    auto held = FileLock::acquire(path, FileLock::Mode::Exclusive, false);
    QVERIFY(held);
    QProcess sleeper;
    sleeper.start(QStringLiteral("sleep"), { QStringLiteral("30") });
    QVERIFY(sleeper.waitForStarted(10000));
    held.reset();
    const bool free = FileLock::acquire(path, FileLock::Mode::Exclusive, false) != nullptr;
    QStringList inherited;
    const QDir fds(QStringLiteral("/proc/%1/fd").arg(sleeper.processId()));
    for (const QString &fd : fds.entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot)) {
        if (QFileInfo(fds, fd).symLinkTarget().endsWith(QLatin1StringView("instance.lock")))
            inherited << fd;
    }
    QCOMPARE(sleeper.state(), QProcess::Running); // the lock was free while it still ran
    sleeper.kill();
    sleeper.waitForFinished(10000);
    QVERIFY(free);
    QCOMPARE(inherited, QStringList());
}

int main(int argc, char *argv[])
{
    if (argc == 4 && QByteArray(argv[1]) == "child") {
        QCoreApplication app(argc, argv);
        return runChild(QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]));
    }
    QCoreApplication app(argc, argv);
    TestEmbeddedProcesses test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_embeddedprocesses.moc"
