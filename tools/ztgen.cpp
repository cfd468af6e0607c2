// Build-time generator of the installation data.
//
//   ztgen sqlite OUT.db IN.sql...   a fresh SQLite file built from SQL text files, in order
//   ztgen gbk IN OUT                a UTF-8 text file rewritten in GBK with CR LF line ends
//   ztgen backup OUT.bak SCRIPT.sql SAMPLE.db [EXTRA.sql...]
//                                   the sample account set as the embedded server's backup: a
//                                   database made by the table-creation script, filled with the
//                                   base data of SAMPLE.db, then the T-SQL of the EXTRA files
//
// Every command writes its output completely or not at all, so an interrupted or failed build
// never leaves a half-written file that looks up to date.

#include "data/dataerror.h"
#include "data/sqlliteral.h"
#include "embedded/embeddedserver.h"
#include "embedded/instance.h"
#include "text/gbk.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QString>
#include <QStringDecoder>
#include <QStringList>
#include <QTemporaryDir>
#include <QVariant>

#include <sqlite3.h>

#include <cstdio>
#include <functional>
#include <map>

namespace {

struct Failure
{
    QString message;
};

void fail(const QString &message)
{
    throw Failure { message };
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        fail(QStringLiteral("cannot read %1: %2").arg(path, file.errorString()));
    return file.readAll();
}

void makeParentFolder(const QString &path)
{
    const QString folder = QFileInfo(path).absolutePath();
    if (!QDir().mkpath(folder))
        fail(QStringLiteral("cannot create folder %1").arg(folder));
}

// UTF-8 text of a source file, without a byte-order mark; invalid UTF-8 is an error.
QString readUtf8(const QString &path)
{
    QByteArray bytes = readFile(path);
    if (bytes.startsWith("\xEF\xBB\xBF"))
        bytes.remove(0, 3);
    QStringDecoder decoder(QStringDecoder::Utf8);
    QString text = decoder.decode(bytes);
    if (decoder.hasError())
        fail(QStringLiteral("%1 is not valid UTF-8").arg(path));
    return text;
}

// ---------------------------------------------------------------------------------------------
// sqlite OUT.db IN.sql...

class Database final
{
public:
    explicit Database(const QString &path)
    {
        const QByteArray name = QFile::encodeName(path);
        if (sqlite3_open_v2(name.constData(), &m_db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr)
            != SQLITE_OK)
            fail(QStringLiteral("cannot create %1: %2").arg(path, error()));
    }
    ~Database() { sqlite3_close(m_db); }
    Database(const Database &) = delete;
    Database &operator=(const Database &) = delete;

    void execute(const QByteArray &sql, const QString &source)
    {
        char *message = nullptr;
        if (sqlite3_exec(m_db, sql.constData(), nullptr, nullptr, &message) != SQLITE_OK) {
            const QString text = QString::fromUtf8(message ? message : sqlite3_errmsg(m_db));
            sqlite3_free(message);
            fail(QStringLiteral("%1: %2").arg(source, text));
        }
    }

    void close()
    {
        if (sqlite3_close(m_db) != SQLITE_OK)
            fail(QStringLiteral("cannot close the database: %1").arg(error()));
        m_db = nullptr;
    }

private:
    QString error() const { return QString::fromUtf8(sqlite3_errmsg(m_db)); }

    sqlite3 *m_db = nullptr;
};

void generateSqlite(const QStringList &args)
{
    if (args.size() < 2)
        fail(QStringLiteral("usage: ztgen sqlite OUT.db IN.sql..."));
    const QString out = args.at(0);
    makeParentFolder(out);
    // Built beside the target and renamed over it at the end.
    const QString temp = out + QStringLiteral(".part");
    QFile::remove(temp);
    try {
        Database db(temp);
        db.execute("BEGIN", temp);
        for (const QString &source : args.mid(1))
            db.execute(readUtf8(source).toUtf8(), source);
        db.execute("COMMIT", temp);
        db.close();
    } catch (...) {
        QFile::remove(temp);
        throw;
    }
    QFile::remove(out);
    if (!QFile::rename(temp, out)) {
        QFile::remove(temp);
        fail(QStringLiteral("cannot write %1").arg(out));
    }
}

// ---------------------------------------------------------------------------------------------
// gbk IN OUT

void generateGbk(const QStringList &args)
{
    if (args.size() != 2)
        fail(QStringLiteral("usage: ztgen gbk IN OUT"));
    const QString &in = args.at(0);
    const QString &out = args.at(1);

    QString text = readUtf8(in);
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(u'\r', u'\n');
    text.replace(QStringLiteral("\n"), QStringLiteral("\r\n"));

    const QByteArray bytes = zt::text::toGbk(text);
    if (zt::text::fromGbk(bytes) != text) {
        // Name the first line that GBK cannot hold instead of shipping '?' in its place.
        const QStringList lines = text.split(QStringLiteral("\r\n"));
        for (qsizetype i = 0; i < lines.size(); ++i) {
            if (zt::text::fromGbk(zt::text::toGbk(lines.at(i))) != lines.at(i))
                fail(QStringLiteral("%1:%2: a character cannot be written in GBK").arg(in).arg(i + 1));
        }
        fail(QStringLiteral("%1: the text cannot be written in GBK").arg(in));
    }

    makeParentFolder(out);
    QSaveFile file(out);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit())
        fail(QStringLiteral("cannot write %1: %2").arg(out, file.errorString()));
}

// ---------------------------------------------------------------------------------------------
// backup: the sample account set, built on a private embedded server instance with the same
// script and base data a new account set gets, then copied out as the backup file.

QVariant columnValue(sqlite3_stmt *stmt, int column)
{
    switch (sqlite3_column_type(stmt, column)) {
    case SQLITE_NULL:
        return {};
    case SQLITE_INTEGER:
        return QVariant(qlonglong(sqlite3_column_int64(stmt, column)));
    case SQLITE_FLOAT:
        return QVariant(sqlite3_column_double(stmt, column));
    default:
        return QVariant(QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(stmt, column))));
    }
}

void copyBaseData(const QString &samplePath, zt::data::Backend &target)
{
    sqlite3 *db = nullptr;
    if (sqlite3_open_v2(samplePath.toUtf8().constData(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
        sqlite3_close(db);
        fail(QStringLiteral("cannot open %1").arg(samplePath));
    }
    const auto prepare = [&](const QString &sql) {
        sqlite3_stmt *stmt = nullptr;
        if (sqlite3_prepare_v2(db, sql.toUtf8().constData(), -1, &stmt, nullptr) != SQLITE_OK)
            fail(QStringLiteral("%1: %2").arg(samplePath, QString::fromUtf8(sqlite3_errmsg(db))));
        return stmt;
    };
    try {
        QStringList tables;
        sqlite3_stmt *list = prepare(QStringLiteral("select name from sqlite_master where type = 'table' and "
                                                    "name not like 'sqlite_%' order by name"));
        while (sqlite3_step(list) == SQLITE_ROW)
            tables << QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(list, 0)));
        sqlite3_finalize(list);

        for (const QString &table : std::as_const(tables)) {
            sqlite3_stmt *rows = prepare(QStringLiteral("select * from \"%1\" order by ID").arg(table));
            // The first column is the target's own numbering.
            QStringList names;
            for (int c = 1; c < sqlite3_column_count(rows); ++c)
                names << u'[' + QString::fromUtf8(sqlite3_column_name(rows, c)) + u']';
            const QString insert = QStringLiteral("INSERT INTO [%1] (%2) VALUES (%3)")
                                       .arg(table, names.join(u','),
                                           QStringList(names.size(), QStringLiteral("?")).join(u','));
            while (sqlite3_step(rows) == SQLITE_ROW) {
                QList<QVariant> values;
                for (int c = 1; c < sqlite3_column_count(rows); ++c)
                    values << columnValue(rows, c);
                target.execute(insert, values);
            }
            sqlite3_finalize(rows);
        }
    } catch (...) {
        sqlite3_close(db);
        throw;
    }
    sqlite3_close(db);
}

void generateBackup(const QStringList &args)
{
    if (args.size() < 3)
        fail(QStringLiteral("backup: OUT.bak SCRIPT.sql SAMPLE.db [EXTRA.sql...] expected"));
    const QString out = args.at(0);
    const QString database = QStringLiteral("TOVRASQL_Sample");
    QTemporaryDir root;
    if (!root.isValid())
        fail(QStringLiteral("cannot create a temporary folder"));
    const auto login = zt::data::Credentials::integrated();
    makeParentFolder(out);
    try {
        // The instance is made with the collation the sample is written for, whatever the
        // environment asks of new instances; the file is the server's own backup of the database,
        // which is the only kind of file its RESTORE takes.
        const zt::embedded::Instance instance(
            root.path(), QStringLiteral("default"), QStringLiteral("Chinese_PRC_CI_AS"));
        auto master = zt::embedded::connect(root.path(), QStringLiteral("default"), login, {});
        master->execute(QStringLiteral("create database ") + database);
        {
            auto db = zt::embedded::connect(root.path(), QStringLiteral("default"), login, database);
            db->execute(readUtf8(args.at(1)));
            copyBaseData(args.at(2), *db);
            for (const QString &extra : args.mid(3))
                db->execute(readUtf8(extra));
        }
        QString path = QFileInfo(out).absoluteFilePath();
        master->execute(QStringLiteral("backup database ") + database + QStringLiteral(" to disk=")
            + zt::data::nationalLiteral(path) + QStringLiteral(" with init"));
        // The sample names no folder of the machine it is built on: restored without MOVE, its
        // files go into the restoring server's own folder, under the sample's name.
        sqlite3 *db = nullptr;
        const bool forgotten
            = sqlite3_open_v2(QFile::encodeName(path).constData(), &db, SQLITE_OPEN_READWRITE, nullptr)
                == SQLITE_OK
            && zt::embedded::forgetFiles(db);
        sqlite3_close_v2(db);
        if (!forgotten)
            fail(QStringLiteral("backup: cannot write %1").arg(path));
    } catch (const zt::data::DataError &e) {
        fail(QStringLiteral("backup: %1").arg(e.message()));
    }
}

using Command = std::function<void(const QStringList &)>;

const std::map<QString, Command> &commands()
{
    static const std::map<QString, Command> table {
        { QStringLiteral("sqlite"), generateSqlite },
        { QStringLiteral("gbk"), generateGbk },
        { QStringLiteral("backup"), generateBackup },
    };
    return table;
}

} // namespace

int main(int argc, char *argv[])
{
    zt::embedded::installBackend();
    QStringList args;
    for (int i = 1; i < argc; ++i)
        args << QString::fromLocal8Bit(argv[i]);

    if (args.isEmpty() || commands().find(args.first()) == commands().end()) {
        std::fputs("usage: ztgen sqlite OUT.db IN.sql...\n"
                   "       ztgen gbk IN OUT\n"
                   "       ztgen backup OUT.bak SCRIPT.sql SAMPLE.db [EXTRA.sql...]\n",
            stderr);
        return 2;
    }
    try {
        commands().at(args.first())(args.mid(1));
    } catch (const Failure &failure) {
        std::fprintf(stderr, "ztgen: %s\n", qPrintable(failure.message));
        return 1;
    }
    return 0;
}
