// CREATE TABLE and CREATE INDEX read from T-SQL and written for SQLite.
#include "tsqlcreatetable.h"

#include "columnrules.h"
#include "data/sqlliteral.h"
#include "passthrough.h"
#include "valuerules.h"

namespace zt::embedded {

namespace {

// Tokens as SQLite text: names quoted, N'' strings plain, T-SQL functions renamed.
QString translate(const QList<Token> &tokens)
{
    QStringList out;
    for (qsizetype i = 0; i < tokens.size(); ++i) {
        const Token &t = tokens[i];
        switch (t.kind) {
        case Token::Kind::Identifier:
            out << quoteName(t.text);
            break;
        case Token::Kind::String:
        case Token::Kind::NString:
            out << data::plainLiteral(t.text);
            break;
        case Token::Kind::Word: {
            const QString function = sqliteFunction(t.text);
            const bool call = i + 1 < tokens.size() && tokens[i + 1].isSymbol(u'(');
            if (function.isEmpty() || !call) {
                out << t.text;
            } else if (function.endsWith(u')')) { // getdate(): replaces the call with its ()
                out << function;
                i += 2;
            } else {
                out << function;
            }
            break;
        }
        default:
            out << t.text;
        }
    }
    return out.join(u' ');
}

void skipClustering(Cursor &c)
{
    if (!c.accept("clustered"))
        c.accept("nonclustered");
}

// ( col [ASC|DESC], ... )
QString indexColumns(Cursor &c)
{
    QStringList columns;
    c.expectSymbol(u'(');
    do {
        QString column = quoteName(c.name());
        if (c.accept("asc"))
            column += QStringLiteral(" ASC");
        else if (c.accept("desc"))
            column += QStringLiteral(" DESC");
        columns << column;
    } while (c.acceptSymbol(u','));
    c.expectSymbol(u')');
    return u'(' + columns.join(QStringLiteral(", ")) + u')';
}

// WITH (...) / WITH FILLFACTOR = n and ON [filegroup] after a key or a table.
void skipStorageOptions(Cursor &c)
{
    for (;;) {
        if (c.accept("with")) {
            if (c.peekSymbol(u'('))
                c.group();
            else
                c.untilSeparator();
        } else if (c.accept("on") || c.accept("textimage_on") || c.accept("filestream_on")) {
            c.name();
        } else {
            return;
        }
    }
}

// REFERENCES t [(cols)] [ON DELETE|UPDATE action]...
QString references(Cursor &c)
{
    QString out = QStringLiteral("REFERENCES ") + quoteName(c.objectName());
    if (c.peekSymbol(u'('))
        out += u' ' + indexColumns(c);
    while (c.peekIs("on") && (c.peek(1).is("delete") || c.peek(1).is("update"))) {
        c.take();
        out += QStringLiteral(" ON ") + c.take().text.toUpper();
        if (c.accept("cascade"))
            out += QStringLiteral(" CASCADE");
        else if (c.accept("no") && c.accept("action"))
            out += QStringLiteral(" NO ACTION");
        else if (c.accept("set") && (c.peekIs("null") || c.peekIs("default")))
            out += QStringLiteral(" SET ") + c.take().text.toUpper();
        else
            c.fail();
    }
    if (c.peekIs("not") && c.peek(1).is("for")) {
        c.take();
        c.take();
        c.expect("replication");
    }
    return out;
}

// DEFAULT (expression), or one literal, signed number or function call.
QString defaultValue(Cursor &c)
{
    QList<Token> value;
    if (c.peekSymbol(u'(')) {
        value = c.group();
    } else {
        if (c.peekSymbol(u'-') || c.peekSymbol(u'+'))
            value << c.take();
        value << c.take();
        if (value.last().kind == Token::Kind::Word && c.peekSymbol(u'('))
            value << Token { Token::Kind::Symbol, QStringLiteral("(") } << c.group()
                  << Token { Token::Kind::Symbol, QStringLiteral(")") };
    }
    return QStringLiteral("DEFAULT (") + translate(value) + u')';
}

QString columnDefinition(
    Cursor &c, const QString &table, Statement &s, const text::Collation &databaseDefault)
{
    std::optional<Identity> &identity = s.identity;
    const QString column = c.name();
    QString type = c.objectName().toLower();
    if (c.accept("precision"))
        type += QStringLiteral(" precision");
    else if (c.accept("varying"))
        type += QStringLiteral(" varying");
    // The size stays with the declared type, which is reported back as written; the server
    // enforces it with a check of its own.
    QStringList sizeArgs;
    if (c.peekSymbol(u'(')) {
        QList<Token> size = c.group();
        QString arg;
        for (const Token &t : std::as_const(size)) {
            if (t.isSymbol(u',')) {
                sizeArgs << arg;
                arg.clear();
            } else {
                arg += t.text;
            }
        }
        sizeArgs << arg;
        for (const QString &a : std::as_const(sizeArgs)) {
            if (a.isEmpty())
                c.fail(-1);
        }
    }
    // SQLite takes only numbers there: (max) is written -1, the length SQL Server's own catalog
    // gives a max type.
    QStringList declaredArgs = sizeArgs;
    for (QString &a : declaredArgs) {
        if (a.compare(QLatin1StringView("max"), Qt::CaseInsensitive) == 0)
            a = QStringLiteral("-1");
    }
    const QString declared = sizeArgs.isEmpty() ? type : type + u'(' + declaredArgs.join(u',') + u')';

    QStringList parts { quoteName(column), declared };
    QString collation;
    bool notNull = false;
    bool isIdentity = false;
    while (!c.atEnd() && !c.peekSymbol(u',') && !c.peekSymbol(u')')) {
        if (c.accept("identity")) {
            if (identity)
                throw serverError(Msg::Other,
                    { QStringLiteral("Multiple identity columns specified for table '%1'. "
                                     "Only one identity column per table is allowed.")
                            .arg(table) });
            Identity id { column, 1, 1 };
            if (c.acceptSymbol(u'(')) {
                id.seed = c.signedNumber();
                c.expectSymbol(u',');
                id.step = c.signedNumber();
                c.expectSymbol(u')');
            }
            identity = id;
            isIdentity = true;
        } else if (c.accept("collate")) {
            collation = c.name();
        } else if (c.accept("not")) {
            if (c.accept("for")) {
                c.expect("replication");
            } else {
                c.expect("null");
                notNull = true;
            }
        } else if (c.accept("null") || c.accept("rowguidcol") || c.accept("sparse")) {
        } else if (c.accept("constraint")) {
            parts << QStringLiteral("CONSTRAINT") << quoteName(c.name());
        } else if (c.accept("default")) {
            parts << defaultValue(c);
        } else if (c.accept("primary")) {
            c.expect("key");
            skipClustering(c);
            parts << QStringLiteral("PRIMARY KEY");
            skipStorageOptions(c);
        } else if (c.accept("unique")) {
            skipClustering(c);
            parts << QStringLiteral("UNIQUE");
            skipStorageOptions(c);
        } else if (c.accept("check")) {
            parts << QStringLiteral("CHECK (") + translate(c.group()) + u')';
        } else if (c.accept("foreign")) {
            c.expect("key");
            c.expect("references");
            parts << references(c);
        } else if (c.accept("references")) {
            parts << references(c);
        } else {
            c.fail();
        }
    }
    // An identity column is numbered after its row is inserted, so it must accept the
    // momentary NULL.
    if (notNull && !isIdentity)
        parts << QStringLiteral("NOT NULL");
    const int codePage = text::collationOrLike(collation, databaseDefault).codePage;
    if (const QString sqlite = collationFor(type, collation, databaseDefault); !sqlite.isEmpty())
        parts.insert(2, QStringLiteral("COLLATE ") + sqlite);
    if (const auto check = sizeCheck(quoteName(column), type, sizeArgs, codePage))
        parts << *check;
    if (const auto check = valueCheck(quoteName(column), type, sizeArgs))
        parts << *check;
    if (isNarrowText(type))
        s.codePageColumns.append({ column, codePage });
    if (const auto scale = storedScale(type, sizeArgs))
        s.scaleColumns.append({ column, *scale });
    return parts.join(u' ');
}

bool startsTableConstraint(const Cursor &c)
{
    return c.peekIs("constraint") || ((c.peekIs("primary") || c.peekIs("foreign")) && c.peek(1).is("key"))
        || c.peekIs("unique") || (c.peekIs("check") && c.peek(1).isSymbol(u'('));
}

QString tableConstraint(Cursor &c)
{
    QStringList parts;
    if (c.accept("constraint"))
        parts << QStringLiteral("CONSTRAINT") << quoteName(c.name());
    if (c.accept("primary")) {
        c.expect("key");
        skipClustering(c);
        parts << QStringLiteral("PRIMARY KEY") << indexColumns(c);
    } else if (c.accept("unique")) {
        skipClustering(c);
        parts << QStringLiteral("UNIQUE") << indexColumns(c);
    } else if (c.accept("check")) {
        parts << QStringLiteral("CHECK (") + translate(c.group()) + u')';
    } else if (c.accept("foreign")) {
        c.expect("key");
        parts << QStringLiteral("FOREIGN KEY") << indexColumns(c);
        c.expect("references");
        parts << references(c);
    } else {
        c.fail();
    }
    skipStorageOptions(c);
    return parts.join(u' ');
}

} // namespace

Statement parseCreateTable(Cursor &c, const text::Collation &databaseDefault, const QString &database)
{
    Statement s;
    s.kind = Statement::Kind::CreateTable;
    QStringList parts;
    const QString table = c.objectName(&parts);
    // Tables go into this database's schema dbo, the only one the server has.
    if (parts.size() >= 2 && !parts.at(parts.size() - 2).isEmpty()
        && parts.at(parts.size() - 2).compare(QLatin1StringView("dbo"), Qt::CaseInsensitive) != 0)
        throw serverError(Msg::SchemaMissing, { parts.at(parts.size() - 2) });
    if (parts.size() >= 3 && !database.isEmpty()
        && parts.at(parts.size() - 3).compare(database, Qt::CaseInsensitive) != 0)
        throw serverError(Msg::OtherDatabase, { parts.join(u'.') });
    s.names << table;
    QStringList elements;
    c.expectSymbol(u'(');
    do {
        if (c.peekSymbol(u')'))
            break; // T-SQL lets the list end with a comma
        elements << (startsTableConstraint(c) ? tableConstraint(c)
                                              : columnDefinition(c, table, s, databaseDefault));
    } while (c.acceptSymbol(u','));
    c.expectSymbol(u')');
    skipStorageOptions(c);
    if (!c.atEnd())
        c.fail();
    s.text = QStringLiteral("CREATE TABLE ") + quoteName(table) + QStringLiteral(" (")
        + elements.join(QStringLiteral(", ")) + u')';
    return s;
}

Statement parseCreateIndex(Cursor &c)
{
    Statement s;
    const bool unique = c.accept("unique");
    skipClustering(c);
    c.expect("index");
    const QString index = c.name();
    c.expect("on");
    const QString table = c.objectName();
    const QString columns = indexColumns(c);
    skipStorageOptions(c);
    if (!c.atEnd())
        c.fail();
    s.text = QStringLiteral("CREATE %1INDEX %2 ON %3 %4")
                 .arg(unique ? QStringLiteral("UNIQUE ") : QString(), quoteName(index), quoteName(table),
                     columns);
    return s;
}

} // namespace zt::embedded
