#include "connectionstring.h"

namespace zt::data {

namespace {
constexpr auto SqlFragmentHead = QLatin1StringView("password=");
constexpr auto SqlFragmentMiddle = QLatin1StringView(";persist security info=true;user id=");
} // namespace

LoginFragment LoginFragment::fromText(const QString &text)
{
    LoginFragment f;
    f.m_text = text;
    if (text == QLatin1StringView(IntegratedText)) {
        f.m_login = Credentials::integrated();
    } else if (text.startsWith(SqlFragmentHead) && text.endsWith(u';')) {
        // The password comes first and may hold anything, the marker included: the last
        // marker ends it.
        const qsizetype middle = text.lastIndexOf(SqlFragmentMiddle);
        if (middle >= SqlFragmentHead.size()) {
            const qsizetype userStart = middle + SqlFragmentMiddle.size();
            f.m_login = Credentials::sql(text.mid(userStart, text.size() - 1 - userStart),
                text.mid(SqlFragmentHead.size(), middle - SqlFragmentHead.size()));
        }
    }
    return f;
}

QString LoginFragment::firstHalf(const Credentials &login)
{
    return login.kind == Credentials::Kind::Integrated ? QString::fromLatin1(IntegratedText) : QString();
}

QString LoginFragment::secondHalf(const Credentials &login)
{
    if (login.kind != Credentials::Kind::Sql)
        return {};
    return SqlFragmentHead + login.password + SqlFragmentMiddle + login.user + u';';
}

LoginFragment LoginFragment::fromLogin(const Credentials &login)
{
    LoginFragment f;
    f.m_text = firstHalf(login) + secondHalf(login);
    f.m_login = login;
    return f;
}

ConnectionString ConnectionString::localAccess(const QString &installDir, const QString &fileName)
{
    ConnectionString c;
    c.m_shape = Shape::LocalAccess;
    c.m_dataSource = QString::fromLatin1(LocalDataSource);
    c.m_catalog = installDir + QStringLiteral("/data/") + fileName;
    return c;
}

ConnectionString ConnectionString::server(const LoginFragment &fragment, const QString &serverName)
{
    ConnectionString c;
    c.m_shape = Shape::Server;
    c.m_fragment = fragment;
    c.m_dataSource = serverName;
    return c;
}

ConnectionString ConnectionString::catalog(
    const LoginFragment &fragment, const QString &database, const QString &serverName)
{
    ConnectionString c = server(fragment, serverName);
    c.m_shape = Shape::Catalog;
    c.m_catalog = database;
    return c;
}

ConnectionString ConnectionString::master(const LoginFragment &fragment, const QString &serverName)
{
    return catalog(fragment, QStringLiteral("master"), serverName);
}

ConnectionString ConnectionString::sqlLoginProbe(
    const QString &user, const QString &password, const QString &serverName)
{
    ConnectionString c;
    c.m_shape = Shape::SqlProbe;
    c.m_probeLogin = Credentials::sql(user, password);
    c.m_dataSource = serverName;
    return c;
}

ConnectionString ConnectionString::windowsLoginProbe(const QString &serverName)
{
    ConnectionString c;
    c.m_shape = Shape::WindowsProbe;
    c.m_probeLogin = Credentials::integrated();
    c.m_dataSource = serverName;
    return c;
}

QString ConnectionString::text() const
{
    switch (m_shape) {
    case Shape::Empty:
        return {};
    case Shape::LocalAccess:
        return QStringLiteral("Provider=MSDASQL.1;Password=") + QLatin1StringView(LocalPassword)
            + QStringLiteral(";Persist Security Info=True;User ID=") + QLatin1StringView(LocalUser)
            + QStringLiteral(";Data Source=") + m_dataSource + QStringLiteral(";Initial Catalog=")
            + m_catalog;
    case Shape::Server:
        return QStringLiteral("Provider=SQLOLEDB.1;") + m_fragment.text() + QStringLiteral("Data Source=")
            + m_dataSource;
    case Shape::Catalog:
        return QStringLiteral("Provider=SQLOLEDB.1;") + m_fragment.text() + QStringLiteral("Initial Catalog=")
            + m_catalog + QStringLiteral(";Data Source=") + m_dataSource;
    case Shape::SqlProbe:
        return QStringLiteral("Provider=SQLOLEDB.1;Password=") + m_probeLogin.password
            + QStringLiteral(";Persist Security Info=True;User ID=") + m_probeLogin.user
            + QStringLiteral(";Data Source=") + m_dataSource;
    case Shape::WindowsProbe:
        return QStringLiteral(
                   "Provider=SQLOLEDB.1;Integrated Security=SSPI;Persist Security Info=False;Data Source=")
            + m_dataSource;
    }
    return {};
}

Credentials ConnectionString::login() const
{
    switch (m_shape) {
    case Shape::Server:
    case Shape::Catalog:
        return m_fragment.login();
    case Shape::SqlProbe:
    case Shape::WindowsProbe:
        return m_probeLogin;
    default:
        return {};
    }
}

} // namespace zt::data
