#pragma once

#include <QString>

namespace zt::data {

// Who logs in to a SQL Server: nobody, the operating-system user, or a SQL user with a password,
// as the stored login fragments and the probe strings carry it.
struct Credentials
{
    enum class Kind {
        None, // no login given: the connection fails at the server
        Integrated, // the operating-system user
        Sql, // SQL user name and password
    };

    Kind kind = Kind::None;
    QString user;
    QString password;

    static Credentials integrated() { return { Kind::Integrated, {}, {} }; }
    static Credentials sql(const QString &user, const QString &password)
    {
        return { Kind::Sql, user, password };
    }

    friend bool operator==(const Credentials &, const Credentials &) = default;
};

// The login fragment stored in fields "1" and "2" of xtljb. The text is kept exactly as stored
// (the bookkeeping application reads it); the login is read from it by its fixed layout, so a
// password holding ';' still reads back whole.
class LoginFragment
{
public:
    static constexpr auto IntegratedText = "integrated security=sspi;persist security info=false;";

    LoginFragment() = default;
    static LoginFragment fromText(const QString &text);
    static LoginFragment fromLogin(const Credentials &login);

    // Field "1" and field "2" of the server connection record for this login.
    static QString firstHalf(const Credentials &login);
    static QString secondHalf(const Credentials &login);

    const QString &text() const { return m_text; }
    const Credentials &login() const { return m_login; }

    friend bool operator==(const LoginFragment &, const LoginFragment &) = default;

private:
    QString m_text;
    Credentials m_login;
};

// "This server, with this login": the server name and the login fragment this workstation keeps
// for it, read once per operation (store::readServerLogin) and handed on as one value. The page's
// hidden field is written from it, never read back into one.
struct ServerLogin
{
    QString server;
    LoginFragment fragment;

    friend bool operator==(const ServerLogin &, const ServerLogin &) = default;
};

// A connection string as the wizard composes it: a structured value that renders to the exact
// ADO text (text()) and is translated for the back end from its parts, never by re-parsing the
// text, so a value holding ';' cannot add or change a setting.
class ConnectionString
{
public:
    enum class Shape {
        Empty,
        LocalAccess, // MSDASQL.1 through the ODBC data source
        Server, // SQLOLEDB.1 + login fragment + Data Source
        Catalog, // ... + Initial Catalog=<database>;Data Source
        SqlProbe, // Password=...;Persist Security Info=True;User ID=...;Data Source
        WindowsProbe, // Integrated Security=SSPI;Persist Security Info=False;Data Source
    };

    ConnectionString() = default;

    // installation directory + "/data/" + file name: the directory ends with a separator, so
    // the path holds a doubled one before "data", exactly as composed.
    static ConnectionString localAccess(const QString &installDir, const QString &fileName);
    static ConnectionString server(const LoginFragment &fragment, const QString &serverName);
    static ConnectionString catalog(
        const LoginFragment &fragment, const QString &database, const QString &serverName);
    static ConnectionString master(const LoginFragment &fragment, const QString &serverName);
    // The same shapes for a server with its login.
    static ConnectionString server(const ServerLogin &login) { return server(login.fragment, login.server); }
    static ConnectionString catalog(const ServerLogin &login, const QString &database)
    {
        return catalog(login.fragment, database, login.server);
    }
    static ConnectionString master(const ServerLogin &login) { return master(login.fragment, login.server); }
    static ConnectionString sqlLoginProbe(
        const QString &user, const QString &password, const QString &serverName);
    static ConnectionString windowsLoginProbe(const QString &serverName);

    static constexpr auto LocalPassword = "plumbrook5190274";
    static constexpr auto LocalUser = "admin";
    static constexpr auto LocalDataSource = "plumbrook";

    Shape shape() const { return m_shape; }
    bool isEmpty() const { return m_shape == Shape::Empty; }
    bool isOdbc() const { return m_shape == Shape::LocalAccess; }

    // The exact text of the connection string.
    QString text() const;

    // Parts for the back ends.
    Credentials login() const; // SQL Server shapes
    const QString &dataSource() const { return m_dataSource; } // server name, or the DSN
    bool hasCatalog() const { return m_shape == Shape::Catalog; }
    const QString &catalogName() const { return m_catalog; } // database, or the local file path
    QString odbcUser() const { return QString::fromLatin1(LocalUser); }
    QString odbcPassword() const { return QString::fromLatin1(LocalPassword); }

    friend bool operator==(const ConnectionString &, const ConnectionString &) = default;

private:
    Shape m_shape = Shape::Empty;
    LoginFragment m_fragment; // Server and Catalog shapes
    Credentials m_probeLogin; // probe shapes
    QString m_dataSource;
    QString m_catalog;
};

} // namespace zt::data
