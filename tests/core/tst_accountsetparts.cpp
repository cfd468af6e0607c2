// Pieces of account-set creation that stand apart from any server: the per-set file copy, the
// database name as it stands in statements, the input checks and the directory statement.
#include "accountset/creation.h"
#include "accountset/directory.h"
#include "accountset/filecopy.h"
#include "accountset/identifiers.h"
#include "data/dataerror.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <cstring>
#include <sys/resource.h>

using namespace zt::accountset;

namespace {

class RecordingProgress final : public CopyProgress
{
public:
    void start() override { ++starts; }
    void setRange(qint64 maximum) override { range = maximum; }
    void setPosition(qint64 position) override { positions.append(position); }

    int starts = 0;
    qint64 range = -1;
    QList<qint64> positions;
};

QString writeFile(const QTemporaryDir &dir, const QString &name, const QByteArray &bytes)
{
    const QString path = dir.filePath(name);
    QFile f(path);
    if (f.open(QIODevice::WriteOnly))
        f.write(bytes);
    return path;
}

QByteArray readFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

} // namespace

class TestAccountSetParts : public QObject
{
    Q_OBJECT

private slots:
    void copyIsExactAndMovesInElevenByteSteps_data();
    void copyIsExactAndMovesInElevenByteSteps();
    void failedCopyLeavesNoTarget();
    void copyOverwritesAnExistingTarget();
    void copyTakesTheTargetNameOnlyWhenComplete();
    void failedWriteNamesTheSystemsReason();
    void namesInStatements_data();
    void namesInStatements();
    void namesLeadingOutOfTheDataFolderAreRefused_data();
    void namesLeadingOutOfTheDataFolderAreRefused();
    void inputChecksInOrder();
    void directoryStatementIsNineExactLines();

private:
    QTemporaryDir m_dir;
};

void TestAccountSetParts::copyIsExactAndMovesInElevenByteSteps_data()
{
    QTest::addColumn<int>("size");
    QTest::newRow("empty") << 0;
    QTest::newRow("one byte") << 1;
    QTest::newRow("two blocks") << 22;
    QTest::newRow("three blocks, last of one") << 23;
    QTest::newRow("several chunks") << 2'500'000;
}

void TestAccountSetParts::copyIsExactAndMovesInElevenByteSteps()
{
    QFETCH(int, size);
    QByteArray bytes(size, Qt::Uninitialized);
    for (int i = 0; i < size; ++i)
        bytes[i] = char(i * 7 + 3);
    const QString source = writeFile(m_dir, QStringLiteral("src%1").arg(size), bytes);
    const QString target = m_dir.filePath(QStringLiteral("dst%1").arg(size));
    RecordingProgress progress;
    copyFile(source, target, &progress);
    QCOMPARE(readFile(target), bytes);
    QCOMPARE(progress.starts, 1);
    QCOMPARE(progress.range, qint64(size));
    qint64 last = 0;
    for (qint64 p : std::as_const(progress.positions)) {
        QVERIFY(p > last);
        QVERIFY2(p % CopyBlock == 0 || p == size, qPrintable(QString::number(p)));
        last = p;
    }
    QCOMPARE(last, qint64(size));
}

void TestAccountSetParts::failedCopyLeavesNoTarget()
{
    const QString target = m_dir.filePath(QStringLiteral("never"));
    QVERIFY_THROWS_EXCEPTION(
        zt::data::DataError, copyFile(m_dir.filePath(QStringLiteral("nosuch")), target, nullptr));
    QVERIFY(!QFile::exists(target));
    const QString source = writeFile(m_dir, QStringLiteral("s"), "x");
    QVERIFY_THROWS_EXCEPTION(
        zt::data::DataError, copyFile(source, m_dir.filePath(QStringLiteral("no/such/folder/t")), nullptr));
    // A source that cannot be read part-way (a folder) leaves no broken target behind.
    const QString partial = m_dir.filePath(QStringLiteral("partial"));
    QVERIFY_THROWS_EXCEPTION(zt::data::DataError, copyFile(m_dir.path(), partial, nullptr));
    QVERIFY(!QFile::exists(partial));
}

void TestAccountSetParts::copyOverwritesAnExistingTarget()
{
    const QString source = writeFile(m_dir, QStringLiteral("short"), "abc");
    const QString target = writeFile(m_dir, QStringLiteral("long"), "0123456789");
    copyFile(source, target, nullptr);
    QCOMPARE(readFile(target), QByteArray("abc"));
}

void TestAccountSetParts::copyTakesTheTargetNameOnlyWhenComplete()
{
    const QByteArray bytes(3'000'000, 'z');
    const QString source = writeFile(m_dir, QStringLiteral("whole"), bytes);
    const QString target = m_dir.filePath(QStringLiteral("placed"));
    // A leftover of an interrupted copy by a process of the same id is not taken as it is.
    const QString leftover = target + QStringLiteral(".%1.part").arg(QCoreApplication::applicationPid());
    writeFile(m_dir, QFileInfo(leftover).fileName(), QByteArray(5'000'000, 'x'));

    class Watching final : public CopyProgress
    {
    public:
        explicit Watching(QString path)
            : m_path(std::move(path))
        { }
        void start() override { }
        void setRange(qint64) override { }
        void setPosition(qint64) override { seenUnderTheName |= QFile::exists(m_path); }
        bool seenUnderTheName = false;

    private:
        QString m_path;
    } watching(target);
    copyFile(source, target, &watching);
    QVERIFY(!watching.seenUnderTheName);
    QCOMPARE(readFile(target), bytes);
    QVERIFY(!QFile::exists(leftover));
    QCOMPARE(QDir(m_dir.path()).entryList({ QStringLiteral("placed*") }),
        QStringList { QStringLiteral("placed") });
}

// A full disk, as a file-size limit: the message carries the system's reason, and neither the
// target nor its temporary file stays behind.
void TestAccountSetParts::failedWriteNamesTheSystemsReason()
{
    const QString source = writeFile(m_dir, QStringLiteral("big"), QByteArray(200'000, 'b'));
    const QString target = m_dir.filePath(QStringLiteral("limited"));
    const auto previous = std::signal(SIGXFSZ, SIG_IGN);
    rlimit old {};
    QCOMPARE(getrlimit(RLIMIT_FSIZE, &old), 0);
    rlimit limited = old;
    limited.rlim_cur = 100'000;
    QCOMPARE(setrlimit(RLIMIT_FSIZE, &limited), 0);
    QString message;
    try {
        copyFile(source, target, nullptr);
    } catch (const zt::data::DataError &e) {
        message = e.message();
    }
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, previous);
    QCOMPARE(message,
        QStringLiteral("Cannot write file \"%1\". %2")
            .arg(target, QString::fromLocal8Bit(std::strerror(EFBIG))));
    QCOMPARE(QDir(m_dir.path()).entryList({ QStringLiteral("limited*") }), QStringList());
}

void TestAccountSetParts::namesInStatements_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("inStatement");
    QTest::newRow("regular") << "zt001"
                             << "zt001";
    QTest::newRow("underscore first") << "_a1$#"
                                      << "_a1$#";
    QTest::newRow("chinese letters") << "账套01"
                                     << "账套01";
    QTest::newRow("digit first") << "2024zt"
                                 << "[2024zt]";
    QTest::newRow("blank inside") << "my books"
                                  << "[my books]";
    QTest::newRow("reserved word") << "select"
                                   << "[select]";
    QTest::newRow("statement injection") << "x; drop database master"
                                         << "[x; drop database master]";
    QTest::newRow("bracket") << "a]b"
                             << "[a]]b]";
    QTest::newRow("quote") << "o'k"
                           << "[o'k]";
    QTest::newRow("variable sign first") << "@x"
                                         << "[@x]";
}

void TestAccountSetParts::namesInStatements()
{
    QFETCH(QString, name);
    QFETCH(QString, inStatement);
    QCOMPARE(sqlName(name), inStatement);
}

void TestAccountSetParts::namesLeadingOutOfTheDataFolderAreRefused_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("refused");
    QTest::newRow("plain") << "zt001" << false;
    QTest::newRow("dots") << "a.b" << false;
    QTest::newRow("slash") << "../../etc/x" << true;
    QTest::newRow("backslash") << "a\\b" << true;
    QTest::newRow("parent") << ".." << true;
    QTest::newRow("control") << "a\tb" << true;
    QTest::newRow("dots inside") << "a..b" << true;
    QTest::newRow("chinese") << "账套01" << false;
    QTest::newRow("absolute") << "/tmp/x" << true;
    QTest::newRow("empty") << "" << false;
}

void TestAccountSetParts::namesLeadingOutOfTheDataFolderAreRefused()
{
    QFETCH(QString, name);
    QFETCH(bool, refused);
    const auto problem = unusableDatabaseName(name);
    QCOMPARE(problem.has_value(), refused);
    // The per-set file's path is checked the same way, with the same reason.
    QString reason;
    try {
        const QString path = checkedPerSetPath(name);
        QVERIFY(path.endsWith(QStringLiteral("/data/SysBase/") + name + QStringLiteral("_S_SysBase.mdb")));
    } catch (const zt::data::DataError &e) {
        reason = e.message();
    }
    QCOMPARE(reason, problem.value_or(QString()));
}

void TestAccountSetParts::inputChecksInOrder()
{
    AccountSetFields f { QString(), QString(), QString(), QStringLiteral("a") };
    QCOMPARE(checkCreationInput(f, QStringLiteral("b"))->message,
        QStringLiteral("服务器名称不能为空,请点击“上一步”获取可加用的服务器名称！"));
    f.server = QStringLiteral("(embedded)");
    f.database = QStringLiteral("   ");
    auto problem = checkCreationInput(f, QStringLiteral("b"));
    QCOMPARE(problem->message, QStringLiteral("数据库名称不能为空！"));
    QCOMPARE(problem->focus, InputProblem::Focus::Database);
    f.database = QStringLiteral(" zt01 ");
    QCOMPARE(checkCreationInput(f, QStringLiteral("b"))->focus, InputProblem::Focus::Name);
    f.name = QStringLiteral(" ");
    problem = checkCreationInput(f, QStringLiteral("A"));
    QCOMPARE(problem->message, QStringLiteral("账套口令校验错误！"));
    QCOMPARE(problem->focus, InputProblem::Focus::Password);
    QVERIFY(checkCreationInput(f, QStringLiteral("a ")).has_value()); // compared as typed
    QVERIFY(!checkCreationInput(f, QStringLiteral("a")).has_value());
    f.password.clear();
    QVERIFY(!checkCreationInput(f, QString()).has_value()); // an empty password is allowed
}

void TestAccountSetParts::directoryStatementIsNineExactLines()
{
    const QStringList lines = directoryTableStatement();
    QCOMPARE(lines.size(), 9);
    QCOMPARE(lines.first(), QStringLiteral("CREATE TABLE PBTOVRASQLBASEDATA ( "));
    QCOMPARE(lines.at(2), QStringLiteral("\t[ztbh] [nvarchar] (50) COLLATE Chinese_PRC_CI_AS NULL ,"));
    QCOMPARE(lines.at(7), QStringLiteral("\t[kl] [nvarchar] (50) COLLATE Chinese_PRC_CI_AS NULL "));
    QCOMPARE(lines.last(), QStringLiteral(") ON [PRIMARY] "));
}

QTEST_GUILESS_MAIN(TestAccountSetParts)
#include "tst_accountsetparts.moc"
