#include "servererror.h"

#include "columnrules.h"

#include <QRegularExpression>

namespace zt::embedded {

namespace {

struct Template
{
    Msg msg;
    int number;
    const char *text;
};

// SQL Server's own wording; each %s is filled from the arguments in order.
constexpr Template Templates[] = {
    { Msg::SyntaxError, 102, "Incorrect syntax near '%s'." },
    { Msg::UnclosedQuote, 105, "Unclosed quotation mark after the character string '%s'." },
    { Msg::NotBuiltInFunction, 195, "'%s' is not a recognized built-in function name." },
    { Msg::InvalidColumn, 207, "Invalid column name '%s'." },
    { Msg::AmbiguousColumn, 209, "Ambiguous column name '%s'." },
    { Msg::InvalidObject, 208, "Invalid object name '%s'." },
    { Msg::PermissionDenied, 262, "%s permission denied in database '%s'." },
    { Msg::NullNotAllowed, 515,
        "Cannot insert the value NULL into column '%s', table '%s'; column does not allow nulls. %s fails." },
    { Msg::Truncated, 8152, "String or binary data would be truncated." },
    { Msg::ExplicitIdentity, 544,
        "Cannot insert explicit value for identity column in table '%s' when IDENTITY_INSERT is set to "
        "OFF." },
    { Msg::ConstraintConflict, 547, "The %s statement conflicted with the %s constraint." },
    { Msg::LockTimeout, 1222, "Lock request time out period exceeded." },
    { Msg::DatabaseExists, 1801, "Database '%s' already exists. Choose a different database name." },
    { Msg::DuplicateKey, 2627, "Violation of %s constraint. Cannot insert duplicate key in object '%s'." },
    { Msg::ObjectExists, 2714, "There is already an object named '%s' in the database." },
    { Msg::DropTableMissing, 3701,
        "Cannot drop the table '%s', because it does not exist or you do not have permission." },
    { Msg::DropDatabaseMissing, 3701,
        "Cannot drop the database '%s', because it does not exist or you do not have permission." },
    { Msg::DatabaseInUse, 3702, "Cannot drop database \"%s\" because it is currently in use." },
    { Msg::SystemDatabase, 3708, "Cannot drop the database '%s' because it is a system database." },
    { Msg::ReadOnlyDatabase, 3906, "Failed to update database \"%s\" because the database is read-only." },
    { Msg::RestoreInUse, 3101, "Exclusive access could not be obtained because the database is in use." },
    { Msg::RestorePermission, 3110, "User does not have permission to RESTORE database '%s'." },
    { Msg::RestoreOtherDatabase, 3154,
        "The backup set holds a backup of a database other than the existing '%s' database." },
    { Msg::BackupDeviceMissing, 3201,
        "Cannot open backup device '%s'. Operating system error 2(The system cannot find the file "
        "specified.)." },
    { Msg::BackupDeviceDenied, 3201,
        "Cannot open backup device '%s'. Operating system error 5(Access is denied.)." },
    { Msg::BackupPathMissing, 3201,
        "Cannot open backup device '%s'. Operating system error 3(The system cannot find the path "
        "specified.)." },
    { Msg::BackupDeviceExists, 3201,
        "Cannot open backup device '%s'. Operating system error 80(The file exists.)." },
    { Msg::DirectoryLookup, 5133,
        "Directory lookup for the file \"%s\" failed with the operating system error %s." },
    { Msg::RestoreToLocation, 3156,
        "File '%s' cannot be restored to '%s'. Use WITH MOVE to identify a valid location for the file." },
    { Msg::FileInUse, 1834, "The file '%s' cannot be overwritten.  It is being used by database '%s'." },
    { Msg::RestorePlanning, 3119,
        "Problems were identified while planning for the RESTORE statement. Previous messages provide "
        "details." },
    { Msg::LogicalFileMissing, 3234,
        "Logical file '%s' is not part of database '%s'. Use RESTORE FILELISTONLY to list the logical file "
        "names." },
    { Msg::DatabaseMissing, 911,
        "Database '%s' does not exist. Make sure that the name is entered correctly." },
    { Msg::MediaIncorrectlyFormed, 3241,
        "The media family on device '%s' is incorrectly formed. SQL Server cannot process this media "
        "family." },
    { Msg::BackupSetDamaged, 3183,
        "RESTORE detected an error on page (%s:%s) in database \"%s\" as read from the backup set." },
    { Msg::CannotOpenDatabase, 4060,
        "Cannot open database \"%s\" requested by the login. The login failed." },
    { Msg::FileActivation, 5105,
        "A file activation error occurred. The physical file name '%s' may be incorrect." },
    { Msg::CannotUpdateIdentity, 8102, "Cannot update identity column '%s'." },
    { Msg::PrincipalMissing, 15151,
        "Cannot add the principal '%s', because it does not exist or you do not have permission." },
    { Msg::LoginMissing, 15151,
        "Cannot drop the login '%s', because it does not exist or you do not have permission." },
    { Msg::RoleMissing, 15151,
        "Cannot alter the server role '%s', because it does not exist or you do not have permission." },
    { Msg::LoginExists, 15025, "The server principal '%s' already exists." },
    { Msg::NoPermission, 15247, "User does not have permission to perform this action." },
    { Msg::LoginFailed, 18456, "Login failed for user '%s'." },
    { Msg::StatementTerminated, 3621, "The statement has been terminated." },
    { Msg::ConversionFailed, 245, "Conversion failed when converting the %s value '%s' to data type %s." },
    { Msg::ConvertToNumeric, 8114, "Error converting data type %s to %s." },
    { Msg::NumericOverflow, 8115, "Arithmetic overflow error converting %s to data type %s." },
    { Msg::ExpressionOverflow, 8115, "Arithmetic overflow error converting expression to data type %s." },
    { Msg::DivideByZero, 8134, "Divide by zero error encountered." },
    { Msg::AssignAndRetrieve, 141,
        "A SELECT statement that assigns a value to a variable must not be combined with data-retrieval "
        "operations." },
    { Msg::UndeclaredVariable, 137, "Must declare the scalar variable \"%s\"." },
    { Msg::CommitWithoutBegin, 3902,
        "The COMMIT TRANSACTION request has no corresponding BEGIN TRANSACTION." },
    { Msg::RollbackWithoutBegin, 3903,
        "The ROLLBACK TRANSACTION request has no corresponding BEGIN TRANSACTION." },
    { Msg::ProcedureMissing, 2812, "Could not find stored procedure '%s'." },
    { Msg::OtherDatabase, 208, "Invalid object name '%s'." },
    { Msg::SchemaMissing, 2760,
        "The specified schema name \"%s\" either does not exist or you do not have permission to use it." },
    { Msg::UserMessage, 50000, "%s" },
    { Msg::Other, 50000, "%s" },
};

// "... is terminating abnormally.": the message that ends a failed BACKUP or RESTORE.
constexpr int RestoreTerminated = 3013;

// The message's number; 0 for a text that is not one of SQL Server's own messages.
int numberOf(Msg msg)
{
    if (msg == Msg::Other || msg == Msg::UserMessage)
        return 0;
    for (const Template &t : Templates) {
        if (t.msg == msg)
            return t.number;
    }
    return 0;
}

// The numbers an error carries: those of SQL Server's own messages in it.
QList<int> numbers(std::initializer_list<int> all)
{
    QList<int> known;
    for (const int n : all) {
        if (n != 0)
            known << n;
    }
    return known;
}

QString prefixed(const QString &text)
{
    return QStringLiteral("[ztwizard][SQL Server]") + text;
}

QString withPeriod(QString text)
{
    if (!text.isEmpty())
        text[0] = text[0].toUpper();
    if (!text.endsWith(u'.'))
        text += u'.';
    return text;
}

// "main.t" and "t.c" name their object last; SQL Server names it alone.
QString lastPart(const QString &name)
{
    return name.section(u'.', -1);
}

} // namespace

QString messageText(Msg msg, const QStringList &args)
{
    for (const Template &t : Templates) {
        if (t.msg != msg)
            continue;
        QString text = QString::fromUtf8(t.text);
        qsizetype from = 0;
        for (const QString &arg : args) {
            const qsizetype at = text.indexOf(QLatin1StringView("%s"), from);
            if (at < 0)
                break;
            text.replace(at, 2, arg);
            from = at + arg.size();
        }
        return text;
    }
    return {};
}

data::DataError serverError(Msg msg, const QStringList &args)
{
    return data::DataError(prefixed(messageText(msg, args)), numbers({ numberOf(msg) }));
}

data::DataError statementError(Msg msg, const QStringList &args)
{
    return data::DataError(
        prefixed(messageText(msg, args)) + u' ' + prefixed(messageText(Msg::StatementTerminated)),
        numbers({ numberOf(msg), numberOf(Msg::StatementTerminated) }));
}

data::DataError restoreError(Msg msg, const QStringList &args)
{
    return data::DataError(prefixed(messageText(msg, args)) + u' '
            + prefixed(QStringLiteral("RESTORE DATABASE is terminating abnormally.")),
        numbers({ numberOf(msg), RestoreTerminated }));
}

data::DataError restorePlanError(const QList<std::pair<Msg, QStringList>> &causes)
{
    QStringList texts;
    QList<int> found;
    for (const auto &[msg, args] : causes) {
        texts << prefixed(messageText(msg, args));
        if (const int n = numberOf(msg))
            found << n;
    }
    texts << prefixed(messageText(Msg::RestorePlanning))
          << prefixed(QStringLiteral("RESTORE DATABASE is terminating abnormally."));
    found << numberOf(Msg::RestorePlanning) << RestoreTerminated;
    return data::DataError(texts.join(u' '), found);
}

data::DataError fileListError(Msg msg, const QStringList &args)
{
    return data::DataError(prefixed(messageText(msg, args)) + u' '
            + prefixed(QStringLiteral("RESTORE FILELIST is terminating abnormally.")),
        numbers({ numberOf(msg), RestoreTerminated }));
}

data::DataError verifyError(Msg msg, const QStringList &args)
{
    return data::DataError(prefixed(messageText(msg, args)) + u' '
            + prefixed(QStringLiteral("VERIFY DATABASE is terminating abnormally.")),
        numbers({ numberOf(msg), RestoreTerminated }));
}

data::DataError backupError(Msg msg, const QStringList &args)
{
    return data::DataError(prefixed(messageText(msg, args)) + u' '
            + prefixed(QStringLiteral("BACKUP DATABASE is terminating abnormally.")),
        numbers({ numberOf(msg), RestoreTerminated }));
}

data::DataError fromSqlite(
    const QString &message, const QString &verb, const QString &database, const QString &lastToken)
{
    static const QRegularExpression noTable(QStringLiteral("^no such table: (.+)$"));
    static const QRegularExpression noColumn(QStringLiteral("^no such column: (.+)$"));
    static const QRegularExpression ambiguous(QStringLiteral("^ambiguous column name: (.+)$"));
    static const QRegularExpression hasNoColumn(QStringLiteral("^table \\S+ has no column named (.+)$"));
    static const QRegularExpression nearSyntax(QStringLiteral("^near \"(.*)\": syntax error$"));
    static const QRegularExpression exists(
        QStringLiteral("^(?:table|index|view|trigger) (.+) already exists$"));
    static const QRegularExpression notNull(QStringLiteral("^NOT NULL constraint failed: (.+)$"));
    static const QRegularExpression unique(QStringLiteral("^(UNIQUE|PRIMARY KEY) constraint failed: (.+)$"));
    static const QRegularExpression noFunction(QStringLiteral("^no such function: (.+)$"));
    static const QRegularExpression raised(QStringLiteral("^zt:(\\d+):(.*)$"));

    const QString statement = verb.toUpper();
    QRegularExpressionMatch m;
    if ((m = raised.match(message)).hasMatch()) {
        // Raised by the identity triggers the server puts on its tables.
        const int number = m.captured(1).toInt();
        if (number == 544 || number == 8102)
            return serverError(
                number == 544 ? Msg::ExplicitIdentity : Msg::CannotUpdateIdentity, { m.captured(2) });
        // The value checks of the columns and the arithmetic functions: the text is whole.
        const QString text = prefixed(m.captured(2));
        // A statement that changes rows ends with "terminated" (a query does not).
        const bool changes = verb == QLatin1StringView("insert") || verb == QLatin1StringView("update")
            || verb == QLatin1StringView("delete");
        if ((number == 8115 || number == 8134) && changes)
            return data::DataError(text + u' ' + prefixed(messageText(Msg::StatementTerminated)),
                numbers({ number, numberOf(Msg::StatementTerminated) }));
        return data::DataError(text, numbers({ number }));
    }
    if ((m = noTable.match(message)).hasMatch()) {
        if (verb == QLatin1StringView("drop"))
            return serverError(Msg::DropTableMissing, { lastPart(m.captured(1)) });
        return serverError(Msg::InvalidObject, { lastPart(m.captured(1)) });
    }
    if ((m = noColumn.match(message)).hasMatch())
        return serverError(Msg::InvalidColumn, { lastPart(m.captured(1)) });
    if ((m = ambiguous.match(message)).hasMatch())
        return serverError(Msg::AmbiguousColumn, { lastPart(m.captured(1)) });
    if ((m = hasNoColumn.match(message)).hasMatch())
        return serverError(Msg::InvalidColumn, { m.captured(1) });
    if ((m = nearSyntax.match(message)).hasMatch())
        return serverError(Msg::SyntaxError, { m.captured(1) });
    if (message == QLatin1StringView("incomplete input"))
        return serverError(Msg::SyntaxError, { lastToken });
    if ((m = exists.match(message)).hasMatch())
        return serverError(Msg::ObjectExists, { lastPart(m.captured(1)) });
    if ((m = notNull.match(message)).hasMatch()) {
        const QString table = m.captured(1).section(u'.', 0, -2);
        const QString column = lastPart(m.captured(1));
        return statementError(
            Msg::NullNotAllowed, { column, database + QStringLiteral(".dbo.") + table, statement });
    }
    if ((m = unique.match(message)).hasMatch()) {
        const QString kind = m.captured(1) == QLatin1StringView("UNIQUE") ? QStringLiteral("UNIQUE KEY")
                                                                          : QStringLiteral("PRIMARY KEY");
        return statementError(
            Msg::DuplicateKey, { kind, QStringLiteral("dbo.") + m.captured(2).section(u'.', 0, 0) });
    }
    if (message == QLatin1StringView("FOREIGN KEY constraint failed"))
        return serverError(Msg::ConstraintConflict, { statement, QStringLiteral("FOREIGN KEY") });
    if (message == QLatin1StringView("CHECK constraint failed: ") + QLatin1StringView(SizeConstraint))
        return statementError(Msg::Truncated);
    if (message.startsWith(QLatin1StringView("CHECK constraint failed")))
        return serverError(Msg::ConstraintConflict, { statement, QStringLiteral("CHECK") });
    if ((m = noFunction.match(message)).hasMatch())
        return serverError(Msg::NotBuiltInFunction, { m.captured(1) });
    if (message.startsWith(QLatin1StringView("database is locked")))
        return serverError(Msg::LockTimeout);
    if (message.startsWith(QLatin1StringView("attempt to write a readonly database")))
        return serverError(Msg::ReadOnlyDatabase, { database });
    return serverError(Msg::Other, { withPeriod(message) });
}

int messageNumber(const QString &text)
{
    if (text == QLatin1StringView("RESTORE DATABASE is terminating abnormally.")
        || text == QLatin1StringView("RESTORE FILELIST is terminating abnormally.")
        || text == QLatin1StringView("VERIFY DATABASE is terminating abnormally.")
        || text == QLatin1StringView("BACKUP DATABASE is terminating abnormally."))
        return RestoreTerminated;
    for (const Template &t : Templates) {
        if (t.msg == Msg::Other || t.msg == Msg::UserMessage)
            continue;
        QStringList parts = QString::fromUtf8(t.text).split(QLatin1StringView("%s"));
        for (QString &part : parts)
            part = QRegularExpression::escape(part);
        const QString pattern = parts.join(QLatin1StringView("(.*)"));
        if (QRegularExpression(QStringLiteral("^") + pattern + QStringLiteral("$"),
                QRegularExpression::DotMatchesEverythingOption)
                .match(text)
                .hasMatch())
            return t.number;
    }
    return 0;
}

int errorNumber(const data::DataError &error)
{
    if (!error.numbers().isEmpty())
        return error.numbers().constFirst();
    const QString prefix = prefixed(QString());
    const QString &text = error.message();
    if (!text.startsWith(prefix))
        return 0;
    const qsizetype next = text.indexOf(u' ' + prefix, prefix.size());
    return messageNumber(text.mid(prefix.size(), next < 0 ? -1 : next - prefix.size()));
}

} // namespace zt::embedded
