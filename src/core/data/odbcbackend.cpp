#include "odbcbackend.h"

#include "odbchandles.h"
#include "sessionreuse.h"
#include "unicodetext.h"
#include "widetextreader.h"

#include "dataerror.h"
#include "guard/roadguard.h"
#include "guidance/guidance.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMetaType>
#include <QRegularExpression>
#include <QSqlDatabase>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlField>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QSqlResult>

#include <atomic>
#include <optional>
#include <unistd.h>
#include <utility>

#include <sql.h>
#include <sqlext.h>

namespace zt::data::odbc {

namespace {

constexpr auto LoginTimeoutOption = "SQL_ATTR_LOGIN_TIMEOUT=15";

using Attribute = std::pair<QString, QString>;

QString render(const QList<Attribute> &attributes)
{
    QString text;
    for (const auto &[key, value] : attributes) {
        if (!text.isEmpty())
            text += u';';
        text += key + u'=' + quoteOdbcValue(value);
    }
    return text;
}

// Driver={FreeTDS} stands as it is: the braces belong to the driver's name. The server is named
// by its section of this process's freetds.conf (guard/roadguard): host, port, TDS 7.4, the
// encryption and the certificate check stand there, since FreeTDS ignores the certificate
// settings of a connection text. The text repeats the version and the encryption. APP= is the
// program's name in LOGIN7 (what APP_NAME() and the server's session lists show), so that an
// administrator tells this program's sessions from others.
QString freeTdsText(const QString &section, const QString &encryption, const QString &catalog)
{
    QList<Attribute> attributes {
        { QStringLiteral("ServerName"), section },
        { QStringLiteral("TDS_Version"), QStringLiteral("7.4") },
        { QStringLiteral("Encryption"), encryption },
        { QStringLiteral("ClientCharset"), QStringLiteral("UTF-8") },
    };
    if (const QString program = QCoreApplication::applicationName(); !program.isEmpty())
        attributes.append({ QStringLiteral("APP"), program });
    if (!catalog.isEmpty())
        attributes.append({ QStringLiteral("Database"), catalog });
    return QStringLiteral("Driver={FreeTDS};") + render(attributes);
}

// The server's message numbers of a statement's failure, read from the driver's diagnostic
// records (the native error of each). QSqlError's nativeErrorCode is not used: what it holds
// differs between Qt versions (the native number in some, the SQLSTATEs in others).
QList<int> nativeNumbers(const QSqlQuery &q)
{
    QList<int> numbers;
    for (const DiagnosticRecord &record : statementDiagnostics(statementHandle(q))) {
        if (record.native > 0 && !numbers.contains(record.native))
            numbers << record.native;
    }
    return numbers;
}

// The driver's own diagnostic text. QODBC joins the records of every handle with a space (Qt 6.8
// appends ", " and their SQL states, "S1000;37000", which are no part of the message), and
// FreeTDS repeats the same record for each address it tried: repeated records are dropped. A
// failed connection reads "Unable to connect to data source" followed by the server's records,
// the last one received first; the windows show that text as it comes.
QString diagnosticText(const QSqlError &error)
{
    static const QRegularExpression states(QStringLiteral(", [0-9A-Z]{5}(;[0-9A-Z]{5})*$"));
    QString text = error.databaseText().trimmed().remove(states);
    if (text.isEmpty())
        return error.driverText();
    const qsizetype prefixEnd = text.startsWith(u'[') ? text.indexOf(u']') : -1;
    if (prefixEnd <= 0)
        return text;
    const QString separator = u' ' + text.left(prefixEnd + 1);
    QStringList records;
    qsizetype start = 0;
    while (start < text.size()) {
        qsizetype next = text.indexOf(separator, start + 1);
        if (next < 0)
            next = text.size();
        const QString record = text.mid(start, next - start).trimmed();
        if (!records.contains(record))
            records.append(record);
        start = next;
    }
    return records.join(u' ');
}

// A file path the SQLite3 driver and QODBC both pass through unchanged. The driver reads
// Database= up to the next ';' without brace quoting and does not take non-ASCII paths; QODBC
// treats any text holding ".dsn" as a file data source. Such paths go as a SQLite URI instead,
// percent-encoded, which the driver opens like the path itself.
QString driverSafeFile(const QString &file)
{
    bool plain = !file.contains(QLatin1StringView(".dsn"), Qt::CaseInsensitive)
        && !file.startsWith(QLatin1StringView("file:"), Qt::CaseInsensitive) && file.trimmed() == file;
    for (const QChar c : file) {
        if (c.unicode() < 0x20 || c.unicode() > 0x7e || c == u';' || c == u'{' || c == u'}')
            plain = false;
    }
    if (plain)
        return file;
    const QString path = QDir::cleanPath(QFileInfo(file).absoluteFilePath());
    QString uri = QStringLiteral("file://");
    for (const char byte : path.toUtf8()) {
        const auto c = static_cast<unsigned char>(byte);
        const bool keep = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')
            || c == '/' || c == '-' || c == '_' || c == '~';
        uri += keep ? QString(QChar(c)) : QStringLiteral("%%1").arg(c, 2, 16, QChar(u'0')).toUpper();
    }
    return uri;
}

// " 文件“<path>”<why>": the local file the driver could not open, and what is wrong with it as
// far as this process can tell.
QString localFileProblem(const QString &file)
{
    const QFileInfo info(file);
    const QByteArray name = QFile::encodeName(info.absoluteFilePath());
    QString why;
    if (!info.exists())
        why = QStringLiteral("不存在");
    else if (info.isDir())
        why = QStringLiteral("是文件夹");
    else if (::access(name.constData(), R_OK | W_OK) != 0)
        why = QStringLiteral("不能读写");
    else
        why = QStringLiteral("不能打开");
    return QStringLiteral(" 文件“") + QDir::toNativeSeparators(info.absoluteFilePath()) + QStringLiteral("”")
        + why + QStringLiteral("。");
}

// Which columns of the statement's result are bit columns, asked of the driver itself: QODBC
// reads them as unsigned integers, as it does tinyint, and Qt 6.8 no longer passes on the ODBC
// type in QSqlField.
QList<bool> bitColumns(const QSqlQuery &q, int count)
{
    QList<bool> bits(count, false);
    const SQLHANDLE statement = statementHandle(q);
    if (!statement)
        return bits;
    for (int i = 0; i < count; ++i) {
        SQLLEN type = 0;
        if (SQL_SUCCEEDED(SQLColAttribute(statement, static_cast<SQLUSMALLINT>(i + 1), SQL_DESC_CONCISE_TYPE,
                nullptr, 0, nullptr, &type)))
            bits[i] = type == SQL_BIT;
    }
    return bits;
}

QString typeName(const QSqlField &field, bool bit)
{
    if (bit)
        return QStringLiteral("bit");
    switch (field.metaType().id()) {
    case QMetaType::QString:
    case QMetaType::QChar:
        return QStringLiteral("nvarchar");
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
        return QStringLiteral("int");
    case QMetaType::Double:
    case QMetaType::Float:
        return QStringLiteral("float");
    case QMetaType::QDate:
        return QStringLiteral("date");
    case QMetaType::QDateTime:
        return QStringLiteral("datetime");
    case QMetaType::QTime:
        return QStringLiteral("time");
    case QMetaType::Bool:
        return QStringLiteral("bit");
    case QMetaType::QByteArray:
        return QStringLiteral("varbinary");
    default:
        return {};
    }
}

using reuse::OpenDatabase;

OpenDatabase openDatabase(
    const QString &databaseName, const QString &user, const QString &password, const QString &connectOptions)
{
    static std::atomic<quint64> counter { 0 };
    OpenDatabase open { QStringLiteral("zt-odbc-%1").arg(counter.fetch_add(1)), QSqlDatabase() };
    open.db = QSqlDatabase::addDatabase(QStringLiteral("QODBC"), open.name);
    open.db.setDatabaseName(databaseName);
    open.db.setUserName(user);
    open.db.setPassword(password);
    open.db.setConnectOptions(connectOptions);
    if (!open.db.open()) {
        const QString message = diagnosticText(open.db.lastError());
        reuse::closeDatabase(open);
        throw DataError(message);
    }
    return open;
}

class OdbcBackend final : public Backend
{
public:
    OdbcBackend(Dialect dialect, OpenDatabase open, std::optional<reuse::Ticket> ticket = std::nullopt)
        : m_dialect(dialect)
        , m_open(std::move(open))
        , m_ticket(std::move(ticket))
    { }

    // Kept for the next open when the scope it was opened under is still alive (sessionreuse.h).
    ~OdbcBackend() override
    {
        if (!m_ticket || !reuse::keep(*m_ticket, m_open))
            reuse::closeDatabase(m_open);
    }

    Dialect dialect() const override { return m_dialect; }

    ResultSet query(const QString &sql, const QList<QVariant> &params) override
    {
        QSqlQuery q(m_open.db);
        run(q, sql, params);
        // The rows are those of the first statement of the batch that returns any.
        while (!q.isSelect() && q.nextResult()) { }
        ResultSet result;
        if (!q.isSelect())
            return result;
        const QSqlRecord record = q.record();
        const QList<bool> bits = bitColumns(q, record.count());
        QList<bool> flags; // SQL Server's bit columns, which QODBC reads as numbers
        QList<QMetaType> types;
        for (int i = 0; i < record.count(); ++i) {
            result.columns.append({ record.fieldName(i), typeName(record.field(i), bits.at(i)) });
            flags.append(m_dialect == Dialect::SqlServer && bits.at(i));
            types.append(record.field(i).metaType());
        }
        if (m_dialect == Dialect::SqlServer) {
            // Text read whole as UTF-16 (see widetextreader.h).
            result.rows = readRowsAsUnicode(q, types);
            for (QList<QVariant> &row : result.rows) {
                for (int i = 0; i < row.size(); ++i) {
                    if (flags.at(i) && !row.at(i).isNull())
                        row[i] = row.at(i).toBool();
                }
            }
            return result;
        }
        while (q.next()) {
            QList<QVariant> row;
            row.reserve(record.count());
            for (int i = 0; i < record.count(); ++i) {
                const QVariant value = q.value(i);
                row.append(flags.at(i) && !value.isNull() ? QVariant(value.toBool()) : value);
            }
            result.rows.append(std::move(row));
        }
        if (q.lastError().isValid())
            throw DataError(diagnosticText(q.lastError()), nativeNumbers(q));
        return result;
    }

    int execute(const QString &sql, const QList<QVariant> &params) override
    {
        QSqlQuery q(m_open.db);
        run(q, sql, params);
        // A statement of a batch that fails after others have run reports its error with the
        // result it would have given: every result is read, so the error is not lost.
        int affected = q.numRowsAffected();
        while (q.nextResult())
            affected = q.numRowsAffected();
        if (q.lastError().isValid())
            throw DataError(diagnosticText(q.lastError()), nativeNumbers(q));
        return affected;
    }

    bool runsTSqlBatches() const override { return m_dialect == Dialect::SqlServer; }

private:
    void run(QSqlQuery &q, const QString &statement, const QList<QVariant> &parameters)
    {
        q.setForwardOnly(true);
        // Text goes to SQL Server as N'...' literals (see unicodetext.h); SQLite binds it all.
        const InlinedStatement inlined = m_dialect == Dialect::SqlServer && !parameters.isEmpty()
            ? inlineTextParameters(statement, parameters)
            : InlinedStatement { statement, parameters };
        const QString &sql = inlined.sql;
        const QList<QVariant> &params = inlined.params;
        bool ok = false;
        if (params.isEmpty()) {
            ok = q.exec(sql);
        } else {
            ok = q.prepare(sql);
            if (ok) {
                for (const QVariant &param : params)
                    q.addBindValue(param);
                ok = q.exec();
            }
        }
        if (!ok)
            throw DataError(diagnosticText(q.lastError()), nativeNumbers(q));
    }

    Dialect m_dialect;
    OpenDatabase m_open;
    std::optional<reuse::Ticket> m_ticket;
};

// A login value as FreeTDS reads it: a braced value ends at the first '}' (FreeTDS 1.3 knows no
// doubled "}}"), so braces are used only where a ';' or a leading '{' or blank needs them.
QString freeTdsValue(const QString &value)
{
    if (value.contains(u';') || value.startsWith(u'{') || value.startsWith(u' '))
        return u'{' + value + u'}';
    return value;
}

void refuseMisreadText(const QString &text)
{
    // QODBC reads any connection text holding ".dsn" as the name of a file data source.
    if (text.contains(QLatin1StringView(".dsn"), Qt::CaseInsensitive))
        throw DataError(QStringLiteral("The ODBC connection text cannot hold \".dsn\": %1").arg(text));
}

} // namespace

QString quoteOdbcValue(const QString &value)
{
    if (!value.contains(u';') && !value.contains(u'{') && !value.contains(u'}'))
        return value;
    QString quoted = value;
    quoted.replace(u'}', QStringLiteral("}}"));
    return u'{' + quoted + u'}';
}

QString sqlServerConnectionText(
    const QString &section, const QString &encryption, const Credentials &login, const QString &catalog)
{
    // The login is part of the text, which names a driver: QODBC hands it over unchanged in
    // every version (see openDataSource). The text ends with a ';' of its own: Qt 6.4 counts
    // the terminating NUL in the text's length, and FreeTDS would take it into the last value.
    QString text = freeTdsText(section, encryption, catalog);
    refuseMisreadText(text);
    switch (login.kind) {
    case Credentials::Kind::Sql:
        // QODBC would read the whole text as the name of a file data source.
        if (login.user.contains(QLatin1StringView(".dsn"), Qt::CaseInsensitive)
            || login.password.contains(QLatin1StringView(".dsn"), Qt::CaseInsensitive))
            throw DataError(QStringLiteral("登录名和口令中不能有“.dsn”。"));
        text += QStringLiteral(";UID=") + freeTdsValue(login.user) + QStringLiteral(";PWD=")
            + freeTdsValue(login.password);
        break;
    case Credentials::Kind::Integrated:
        // Kerberos: without a ticket (kinit) FreeTDS fails before any login is sent, with
        // "Adaptive Server connection failed".
        text += QStringLiteral(";Trusted_Connection=Yes");
        break;
    case Credentials::Kind::None:
        break;
    }
    text += u';';
    return text;
}

std::unique_ptr<Backend> openDataSource(
    const QString &dsn, const QString &user, const QString &password, const QString &file)
{
    // QODBC rewrites a text naming neither a driver nor a server, and not alike in every version
    // (Qt 6.4 puts "DSN=" in front of it, Qt 6.8 quotes it as the data source's name), and both
    // quote login values of their own; a text naming a server they hand over as it is. So the
    // whole text goes as the database name, with a server the SQLite3 driver does not read.
    const QString text
        = render({ { QStringLiteral("DSN"), dsn }, { QStringLiteral("UID"), user },
              { QStringLiteral("PWD"), password }, { QStringLiteral("Database"), driverSafeFile(file) },
              { QStringLiteral("NoCreat"), QStringLiteral("1") } })
        + QStringLiteral(";Server=local;");
    refuseMisreadText(text);
    try {
        return std::make_unique<OdbcBackend>(
            Dialect::Sqlite, openDatabase(text, QString(), QString(), QString()));
    } catch (const DataError &e) {
        // The driver says only that it could not connect: the message names the file after it.
        // A driver manager's error (no such data source or driver) is not about the file.
        if (e.message().startsWith(QLatin1StringView("[unixODBC]")))
            throw;
        throw DataError(e.message() + localFileProblem(file));
    }
}

void checkRoad(const QString &serverName)
{
    ServerAddress address = checkedAddress(serverName);
    resolveInstance(address);
    guard::takeRefusal(serverName);
    guard::Refusal refusal;
    if (guard::examineRoad(serverName, address.host, address.port, refusal) == guard::AfterFailure::Refused) {
        guard::rememberRefusal(refusal);
        throw DataError(refusal.message());
    }
}

std::unique_ptr<Backend> openSqlServer(
    const QString &serverName, const Credentials &login, const QString &catalog)
{
    ServerAddress address = checkedAddress(serverName);
    if (login.kind == Credentials::Kind::Integrated) {
        // Without a Kerberos ticket, or with an address for a host name, FreeTDS would fail
        // before sending anything, saying only "Adaptive Server connection failed".
        if (const QString problem = guidance::integratedLoginProblem(address.host); !problem.isEmpty())
            throw DataError(problem);
    }
    const std::optional<reuse::Ticket> ticket = reuse::ticketFor(serverName, login);
    if (ticket) {
        // A text refused without the reuse is refused with it.
        sqlServerConnectionText(QStringLiteral("reused"), QStringLiteral("require"), login, catalog);
        if (std::optional<OpenDatabase> kept = reuse::takeKept(*ticket, catalog))
            return std::make_unique<OdbcBackend>(Dialect::SqlServer, std::move(*kept), ticket);
    }

    resolveInstance(address);

    // FreeTDS checks the road before the login leaves: encryption, the certificate, TDS 7.4. When
    // it fails, a look at the road without the login tells the road's fault from the server's.
    // A refusal of an earlier attempt is forgotten: this one decides anew what page 1 asks.
    guard::takeRefusal(serverName);
    guard::RoadSettings settings = guard::settingsFor(serverName);
    for (int attempt = 0;; ++attempt) {
        const QString section = guard::freeTdsSection(address.host, address.port, settings);
        const QString text = sqlServerConnectionText(section, settings.encryption, login, catalog);
        try {
            return std::make_unique<OdbcBackend>(Dialect::SqlServer,
                openDatabase(text, QString(), QString(), QString::fromLatin1(LoginTimeoutOption)), ticket);
        } catch (const DataError &e) {
            // A server that answered the login has said what it had to: no second login with the
            // same password.
            const bool serverAnswered = e.message().contains(QLatin1StringView("Login failed"))
                || e.message().contains(QLatin1StringView("Cannot open database"));
            guard::Refusal refusal;
            const guard::AfterFailure after = attempt == 0 && !serverAnswered
                ? guard::examineRoad(serverName, address.host, address.port, refusal)
                : guard::AfterFailure::RoadFine;
            switch (after) {
            case guard::AfterFailure::RoadFine:
                throw;
            case guard::AfterFailure::TryAgain:
                settings = guard::settingsFor(serverName);
                continue;
            case guard::AfterFailure::TryUnencrypted:
                settings = guard::unencryptedRoad();
                continue;
            case guard::AfterFailure::Refused:
                guard::rememberRefusal(refusal);
                throw DataError(refusal.message());
            }
            throw;
        }
    }
}

} // namespace zt::data::odbc
