#pragma once

#include "text/collation.h"
#include "tsqllexer.h"

#include <optional>

namespace zt::embedded {

// An IDENTITY (seed, step) column of a created table.
struct Identity
{
    QString column;
    qint64 seed = 1;
    qint64 step = 1;
};

// One statement of a batch, as the server will carry it out.
struct Statement
{
    enum class Kind {
        CreateDatabase, // names[0], text = COLLATE name (empty: the server's)
        DropDatabase, // names
        RestoreDatabase, // names[0] from text (the path), replace, moves
        BackupDatabase, // names[0] to text (the path), replace = WITH INIT / FORMAT
        RestoreFileList, // the files of the backup in text (the path)
        RestoreVerifyOnly, // checks the backup in text (the path) without restoring it
        CreateLogin, // names[0] with password text
        DropLogin, // names[0]
        AlterServerRole, // role names[0], member names[1], add or drop
        CreateTable, // names[0] = table; text = the SQLite statement; identity
        ReturnOnError, // IF @@ERROR <> 0 RETURN: ends the batch after a statement that failed
        Sqlite, // text = the statement for SQLite
        SetOption, // SET names[0] (lower case) ON (add) or OFF
        Transaction, // names[0]: begin, commit or rollback
        Declare, // variables names, types, their first values (SELECT statements or empty)
        SetVariable, // names = the last row of values[0] (a SELECT statement); add: SELECT @v = ...
        Print, // values[0]
        RaiseError, // values: message, severity, state, arguments (SELECT statements)
        Execute, // procedure names[0] (lower case), arguments values (SELECT statements)
    };

    Kind kind = Kind::Sqlite;
    QString verb; // first keyword, lower case
    QString object; // for CREATE: TABLE, INDEX, VIEW or TRIGGER
    QStringList names;
    QString text;
    bool replace = false;
    bool add = false;
    std::optional<Identity> identity;
    QStringList types; // of declared variables
    QStringList values; // expressions as SELECT statements for SQLite
    // CREATE TABLE: the char/varchar columns and the code pages their values are held in.
    QList<std::pair<QString, int>> codePageColumns;
    // CREATE TABLE: the exact-number columns and the scales their values are rounded to.
    QList<std::pair<QString, int>> scaleColumns;
    // RESTORE DATABASE: WITH MOVE logical name TO physical name, in order.
    QList<std::pair<QString, QString>> moves;
    QString lastToken; // for "incomplete input"
};

// Reads one statement (tokens from splitStatements) of the batch. T-SQL statements the server
// handles itself are parsed; CREATE TABLE and CREATE INDEX are rewritten for SQLite; everything
// else is passed on with the few T-SQL spellings SQLite does not know rewritten. Syntax errors
// raise error 102. Text columns created without COLLATE take the database's default collation;
// database is the session's database, which names of three parts may name.
Statement parseStatement(const QString &batch, const QList<Token> &tokens,
    const text::Collation &databaseDefault = text::defaultCollation(), const QString &database = {});

// Plain 'text' literals (not N'text') as a server of that code page reads them: what the code
// page cannot hold becomes '?'. Applied to a statement's tokens before parseStatement.
void fitLiterals(QList<Token> &tokens, int codePage);

// A name quoted for SQLite: "name" with '"' doubled.
QString quoteName(const QString &name);

} // namespace zt::embedded
