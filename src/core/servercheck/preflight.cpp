#include "preflight.h"

#include "text/collation.h"

#include "data/connection.h"
#include "data/dataerror.h"
#include "data/odbcbackend.h"
#include "data/query.h"
#include "discovery/ssrp.h"
#include "embedded/embeddedserver.h"

#include <QElapsedTimer>
#include <QTcpSocket>

#include <algorithm>
#include <optional>

using namespace Qt::StringLiterals;

namespace zt::servercheck {

namespace {

constexpr int ReachTimeoutMs = 5000;
const QString DirectoryTable = QStringLiteral("PBTOVRASQLBASEDATA");

bool isOne(const QString &text)
{
    return text.trimmed() == u'1';
}

// The TCP connection a network server's sessions would use: host, port (an instance's port asked
// of its SQL Server Browser).
CheckLine reachNetworkServer(const QString &serverName)
{
    CheckLine line { QStringLiteral("reachable"), QStringLiteral("服务器可连接"), false, {}, {} };
    QElapsedTimer clock;
    clock.start();
    data::odbc::ServerAddress address = data::odbc::parseServerName(serverName);
    if (!address.instance.isEmpty()) {
        address.port = discovery::resolveInstancePort(address.host, address.instance, 1000);
        if (address.port <= 0) {
            line.detail = QStringLiteral("instance '%1' on host '%2' did not answer on UDP 1434")
                              .arg(address.instance, address.host);
            return line;
        }
    }
    if (address.port <= 0) {
        line.detail = QStringLiteral("the port in '%1' is not valid").arg(serverName);
        return line;
    }
    QTcpSocket socket;
    socket.connectToHost(address.host, static_cast<quint16>(address.port));
    line.ok = socket.waitForConnected(ReachTimeoutMs);
    const qint64 elapsed = clock.elapsed();
    line.value = elapsed;
    line.detail = line.ok
        ? QStringLiteral("%1:%2, %3 ms").arg(address.host).arg(address.port).arg(elapsed)
        : QStringLiteral("%1:%2: %3").arg(address.host).arg(address.port).arg(socket.errorString());
    return line;
}

} // namespace

bool PreflightReport::ok() const
{
    return std::all_of(lines.cbegin(), lines.cend(), [](const CheckLine &l) { return l.ok; });
}

PreflightReport checkServer(const QString &serverName, const data::Credentials &login)
{
    PreflightReport report;
    const bool embedded = embedded::isEmbeddedServerName(serverName);
    if (!embedded) {
        report.lines.append(reachNetworkServer(serverName));
        if (!report.lines.last().ok)
            return report;
    }

    data::Connection connection(QStringLiteral("Conn_check"));
    data::Query query(QStringLiteral("ADOcheck"));
    data::pointAt(
        connection, query, data::ConnectionString::master(data::LoginFragment::fromLogin(login), serverName));

    CheckLine loginLine { QStringLiteral("login"), QStringLiteral("登录被接受"), false, {}, {} };
    QElapsedTimer clock;
    clock.start();
    try {
        connection.open();
        loginLine.ok = true;
        loginLine.value = clock.elapsed();
        loginLine.detail = QStringLiteral("%1 ms").arg(clock.elapsed());
    } catch (const data::DataError &e) {
        loginLine.detail = e.message();
    }
    if (embedded) {
        // The embedded server runs in this process: reaching it is opening its instance.
        report.lines.append({ QStringLiteral("reachable"), QStringLiteral("服务器可连接"), true,
            QStringLiteral("in-process, %1 ms").arg(clock.elapsed()), clock.elapsed() });
    }
    report.lines.append(loginLine);
    if (!loginLine.ok)
        return report;

    const auto ask = [&](const QString &sql) -> std::optional<QString> {
        try {
            data::reopen(query, sql);
            return QString();
        } catch (const data::DataError &e) {
            return e.message();
        }
    };

    CheckLine createDatabase { QStringLiteral("create_database"), QStringLiteral("可以创建数据库"), false, {},
        {} };
    CheckLine createTable { QStringLiteral("create_directory_table"),
        QStringLiteral("可以在master中创建账套目录表"), false, {}, {} };
    if (const auto error
        = ask(QStringLiteral("select IS_SRVROLEMEMBER('sysadmin') as sysadmin, "
                             "HAS_PERMS_BY_NAME(null, null, 'CREATE ANY DATABASE') as createdb, "
                             "HAS_PERMS_BY_NAME('master', 'DATABASE', 'CREATE TABLE') as createtable"));
        !error->isEmpty()) {
        createDatabase.detail = *error;
        createTable.detail = *error;
    } else {
        const bool sysadmin = isOne(query.fieldAsText(QStringLiteral("sysadmin")));
        createDatabase.ok = isOne(query.fieldAsText(QStringLiteral("createdb")));
        createTable.ok = isOne(query.fieldAsText(QStringLiteral("createtable")));
        createDatabase.value = createDatabase.ok;
        createTable.value = createTable.ok;
        createDatabase.detail = createDatabase.ok ? QStringLiteral("CREATE ANY DATABASE")
                                                  : QStringLiteral("no CREATE ANY DATABASE permission");
        createTable.detail = createTable.ok ? (sysadmin ? QStringLiteral("CREATE TABLE in master (sysadmin)")
                                                        : QStringLiteral("CREATE TABLE in master"))
                                            : QStringLiteral("no CREATE TABLE permission in master");
    }
    report.lines.append(createDatabase);
    report.lines.append(createTable);

    CheckLine version { QStringLiteral("version"), QStringLiteral("服务器版本"), false, {}, {} };
    CheckLine collation { QStringLiteral("collation"), QStringLiteral("默认排序规则"), false, {}, {} };
    CheckLine masterCollation { QStringLiteral("master_collation"), QStringLiteral("master的排序规则"), false,
        {}, {} };
    if (const auto error = ask(QStringLiteral(
            "select @@VERSION as version, "
            "cast(SERVERPROPERTY('Collation') as nvarchar(128)) as collation, "
            "cast(DATABASEPROPERTYEX('master', 'Collation') as nvarchar(128)) as mastercollation"));
        !error->isEmpty()) {
        version.detail = *error;
        collation.detail = *error;
        masterCollation.detail = *error;
    } else {
        version.detail = query.fieldAsText(QStringLiteral("version")).simplified();
        version.ok = !version.detail.isEmpty();
        version.value = version.detail;
        for (auto [line, field] : { std::pair { &collation, u"collation"_s },
                 std::pair { &masterCollation, u"mastercollation"_s } }) {
            line->detail = query.fieldAsText(field);
            line->ok = !line->detail.isEmpty();
            line->value = line->detail;
            line->warning = collationWarning(line->detail, line == &collation);
        }
    }
    report.lines.append(version);
    report.lines.append(collation);
    report.lines.append(masterCollation);

    CheckLine directory { QStringLiteral("directory_table"), QStringLiteral("账套目录表"), false, {}, {} };
    if (const auto error
        = ask(QStringLiteral("select OBJECT_ID('") + DirectoryTable + QStringLiteral("') as id"));
        !error->isEmpty()) {
        directory.detail = *error;
    } else if (query.fieldAsText(QStringLiteral("id")).isEmpty()) {
        // A missing table is no fault: the first network account set creates it.
        directory.ok = true;
        directory.value = -1;
        directory.detail = QStringLiteral("absent");
    } else if (const auto countError = ask(QStringLiteral("select count(*) as n from ") + DirectoryTable);
               !countError->isEmpty()) {
        directory.detail = *countError;
    } else {
        directory.ok = true;
        directory.value = query.fieldAsText(QStringLiteral("n")).toInt();
        directory.detail = QStringLiteral("%1 rows").arg(directory.value.toInt());
    }
    report.lines.append(directory);
    return report;
}

QString collationWarning(const QString &collation, bool serverDefault)
{
    if (collation.isEmpty())
        return {};
    const text::Collation c = text::collationOrLike(collation, text::defaultCollation());
    if (c.holdsChinese())
        return {};
    const QString page = QString::number(c.codePage);
    return serverDefault
        ? QStringLiteral("代码页%1不能保存中文：账套的表以nvarchar保存中文，不受影响；但新建数据库中不带"
                         "COLLATE的char/varchar列会把中文存成“?”。")
              .arg(page)
        : QStringLiteral("代码页%1不能保存中文：账套目录表PBTOVRASQLBASEDATA的列是nvarchar，不受影响；"
                         "master中char/varchar列里的中文会成为“?”。")
              .arg(page);
}

} // namespace zt::servercheck
