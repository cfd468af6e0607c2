#include "storesread.h"

#include "accountset/identifiers.h"
#include "data/dataerror.h"
#include "embedded/embeddedserver.h"
#include "install/installation.h"
#include "install/installfiles.h"
#include "store/localstore.h"

#include <QDir>
#include <QRegularExpression>

namespace zt::doctor {

using data::ConnectionString;

StoresReader::StoresReader(accountset::AccountSetObjects &objects, QString server)
    : o(objects)
    , m_server(std::move(server))
{ }

QList<LocalRow> StoresReader::localRows()
{
    store::openLocalConfiguration(o.Conn_Ty, o.ADOTy);
    m_login = store::readServerLogin(o.ADOTy, m_server);
    data::reopen(o.ADOTy, QStringLiteral("select * from ztxxb"));
    QList<LocalRow> rows;
    for (o.ADOTy.first(); !o.ADOTy.isEof(); o.ADOTy.next()) {
        LocalRow row;
        row.number = o.ADOTy.fieldAsText(QStringLiteral("ztbh"));
        row.name = o.ADOTy.fieldAsText(QStringLiteral("ztmc"));
        row.password = o.ADOTy.fieldAsText(QStringLiteral("kl"));
        row.server = o.ADOTy.fieldAsText(QStringLiteral("zjmc"));
        row.net = o.ADOTy.fieldAsText(QStringLiteral("net"));
        row.date = QDate::fromString(o.ADOTy.fieldAsText(QStringLiteral("jlrq")).left(10), Qt::ISODate);
        rows.append(row);
    }
    o.ADOTy.close();
    return rows;
}

const QStringList &StoresReader::directoryNumbers()
{
    if (m_directory)
        return *m_directory;
    data::pointAt(o.Conn_ztgl, o.ADOztgl, ConnectionString::master(m_login));
    QStringList numbers;
    try {
        data::reopen(o.ADOztgl, QStringLiteral("select ztbh from PBTOVRASQLBASEDATA"));
        for (o.ADOztgl.first(); !o.ADOztgl.isEof(); o.ADOztgl.next())
            numbers << o.ADOztgl.fieldAsText(QStringLiteral("ztbh"));
        o.ADOztgl.close();
    } catch (const data::DataError &e) {
        // No directory table yet: no set of this server was ever registered as a network set.
        if (!e.hasNumber(data::servermessage::InvalidObject))
            throw;
    }
    m_directory = numbers;
    return *m_directory;
}

QStringList StoresReader::databases()
{
    useCatalog(QString());
    try {
        data::reopen(o.ADOTy1, QStringLiteral("select name from sys.databases"));
    } catch (const data::DataError &) {
        if (!embedded::isEmbeddedServerName(m_server))
            throw;
        // The embedded server in this process: its databases are its files.
        QStringList names;
        const QDir folder(embedded::defaultRoot() + u'/' + embedded::instanceOf(m_server));
        for (const QString &file : folder.entryList({ QStringLiteral("*.db") }, QDir::Files))
            names << file.chopped(3);
        return names;
    }
    QStringList names;
    for (o.ADOTy1.first(); !o.ADOTy1.isEof(); o.ADOTy1.next())
        names << o.ADOTy1.fieldAsText(QStringLiteral("name"));
    o.ADOTy1.close();
    return names;
}

QStringList StoresReader::tables(const QString &database)
{
    useCatalog(database);
    QStringList names;
    try {
        data::reopen(o.ADOTy1, QStringLiteral("select name from sys.tables"));
    } catch (const data::DataError &) {
        // The embedded server (also behind ztwizard-tds) passes its own catalogue through.
        data::reopen(o.ADOTy1, QStringLiteral("select name from sqlite_master where type = 'table'"));
    }
    for (o.ADOTy1.first(); !o.ADOTy1.isEof(); o.ADOTy1.next()) {
        const QString name = o.ADOTy1.fieldAsText(QStringLiteral("name"));
        if (!name.startsWith(QLatin1StringView("sqlite_"), Qt::CaseInsensitive)
            && !name.startsWith(QLatin1StringView("zt_"), Qt::CaseInsensitive))
            names << name;
    }
    o.ADOTy1.close();
    return names;
}

int StoresReader::rowCount(const QString &database, const QString &table)
{
    useCatalog(database);
    data::reopen(o.ADOTy1, QStringLiteral("select count(*) from ") + data::quoteIdentifier(table));
    const int count = o.ADOTy1.textAt(0, 0).toInt();
    o.ADOTy1.close();
    return count;
}

int StoresReader::shippedRowCount(const QString &table)
{
    const QString key = table.toCaseFolded();
    if (!m_shipped.contains(key)) {
        data::pointAt(o.Conn_Ty2, o.ADOTy2, store::localAccessString(QStringLiteral("Sample.mdb")));
        data::reopen(o.ADOTy2, QStringLiteral("select count(*) from ") + data::quoteIdentifier(table));
        m_shipped.insert(key, o.ADOTy2.textAt(0, 0).toInt());
        o.ADOTy2.close();
    }
    return m_shipped.value(key);
}

const QStringList &StoresReader::scriptTables()
{
    readScript();
    return m_scriptTables;
}

QString StoresReader::scriptStatement(const QString &table)
{
    readScript();
    return m_scriptStatements.value(table.toCaseFolded());
}

void StoresReader::useCatalog(const QString &database)
{
    data::pointAt(o.Conn_Ty1, o.ADOTy1,
        database.isEmpty() ? ConnectionString::master(m_login)
                           : ConnectionString::catalog(m_login, database));
}

void StoresReader::readScript()
{
    if (m_scriptRead)
        return;
    m_scriptRead = true;
    install::readScriptName();
    data::Query script(QStringLiteral("script"));
    script.loadSqlFromFile(install::directory() + QStringLiteral("/data/")
        + install::localPath(install::heldValues().scriptName));
    const QString text = script.sqlText();
    static const QRegularExpression create(
        QStringLiteral("create\\s+table\\s+(?:\\[?dbo\\]?\\.)?\\[?([^\\]\\s(]+)\\]?"),
        QRegularExpression::CaseInsensitiveOption);
    QList<QPair<qsizetype, QString>> starts;
    for (auto it = create.globalMatch(text); it.hasNext();) {
        const auto match = it.next();
        starts.append({ match.capturedStart(), match.captured(1) });
    }
    for (qsizetype i = 0; i < starts.size(); ++i) {
        const qsizetype end = i + 1 < starts.size() ? starts[i + 1].first : text.size();
        m_scriptTables << starts[i].second;
        m_scriptStatements.insert(
            starts[i].second.toCaseFolded(), text.mid(starts[i].first, end - starts[i].first).trimmed());
    }
}

} // namespace zt::doctor
