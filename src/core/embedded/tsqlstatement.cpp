#include "tsqlstatement.h"

#include "passthrough.h"
#include "servererror.h"
#include "text/codepage.h"
#include "tsqlcontrol.h"
#include "tsqlcreatetable.h"
#include "tsqlcursor.h"

namespace zt::embedded {

namespace {

bool isAscii(const QString &text)
{
    for (const QChar ch : text) {
        if (ch.unicode() >= 0x80)
            return false;
    }
    return true;
}

Statement restoreDatabase(Cursor &c)
{
    Statement s;
    s.kind = Statement::Kind::RestoreDatabase;
    s.names << c.name();
    c.expect("from");
    c.expect("disk");
    c.expectSymbol(u'=');
    s.text = c.text();
    if (c.accept("with")) {
        do {
            if (c.accept("replace")) {
                s.replace = true;
            } else if (c.accept("move")) {
                const QString logical = c.text();
                c.expect("to");
                s.moves.append({ logical, c.text() });
            } else {
                c.name(); // RECOVERY, STATS = n, FILE = n, ...: nothing to do here
                if (c.acceptSymbol(u'='))
                    c.take();
            }
        } while (c.acceptSymbol(u','));
    }
    return s;
}

Statement backupDatabase(Cursor &c)
{
    Statement s;
    s.kind = Statement::Kind::BackupDatabase;
    s.names << c.name();
    c.expect("to");
    c.expect("disk");
    c.expectSymbol(u'=');
    s.text = c.text();
    if (c.accept("with")) {
        do {
            if (c.accept("init") || c.accept("format")) {
                s.replace = true;
            } else {
                c.name(); // NOINIT, COPY_ONLY, STATS = n, NAME = '...', ...: nothing to do here
                if (c.acceptSymbol(u'='))
                    c.take();
            }
        } while (c.acceptSymbol(u','));
    }
    return s;
}

Statement createLogin(Cursor &c)
{
    Statement s;
    s.kind = Statement::Kind::CreateLogin;
    s.names << c.name();
    c.expect("with");
    c.expect("password");
    c.expectSymbol(u'=');
    s.text = c.text();
    c.accept("must_change");
    while (c.acceptSymbol(u',')) { // DEFAULT_DATABASE = x, CHECK_POLICY = OFF, ...
        c.name();
        c.expectSymbol(u'=');
        c.take();
    }
    return s;
}

Statement alterServerRole(Cursor &c)
{
    Statement s;
    s.kind = Statement::Kind::AlterServerRole;
    s.names << c.name();
    if (c.accept("add"))
        s.add = true;
    else
        c.expect("drop");
    c.expect("member");
    s.names << c.name();
    return s;
}

} // namespace

QString quoteName(const QString &name)
{
    return u'"' + QString(name).replace(u'"', QStringLiteral("\"\"")) + u'"';
}

Statement parseStatement(const QString &batch, const QList<Token> &tokens,
    const text::Collation &databaseDefault, const QString &database)
{
    Cursor c(batch, tokens);
    Statement s;
    bool passed = false;
    const QString verb = tokens.first().kind == Token::Kind::Word ? tokens.first().text.toLower() : QString();
    if (c.accept("create")) {
        if (c.accept("database")) {
            s.kind = Statement::Kind::CreateDatabase;
            s.names << c.name();
            if (c.accept("collate"))
                s.text = c.name();
        } else if (c.accept("login")) {
            s = createLogin(c);
        } else if (c.accept("table")) {
            s = parseCreateTable(c, databaseDefault, database);
        } else if (c.peekIs("index") || c.peekIs("unique") || c.peekIs("clustered")
            || c.peekIs("nonclustered")) {
            s = parseCreateIndex(c);
        } else {
            s.text = passThrough(batch, tokens, database);
            passed = true;
        }
    } else if (c.accept("drop") && (c.peekIs("database") || c.peekIs("login"))) {
        if (c.accept("database")) {
            s.kind = Statement::Kind::DropDatabase;
            do
                s.names << c.name();
            while (c.acceptSymbol(u','));
        } else {
            c.expect("login");
            s.kind = Statement::Kind::DropLogin;
            s.names << c.name();
        }
    } else if (c.accept("restore")) {
        if (c.accept("filelistonly")) {
            s.kind = Statement::Kind::RestoreFileList;
            c.expect("from");
            c.expect("disk");
            c.expectSymbol(u'=');
            s.text = c.text();
        } else if (c.accept("verifyonly")) {
            s.kind = Statement::Kind::RestoreVerifyOnly;
            c.expect("from");
            c.expect("disk");
            c.expectSymbol(u'=');
            s.text = c.text();
        } else {
            c.expect("database");
            s = restoreDatabase(c);
        }
    } else if (c.accept("backup")) {
        c.expect("database");
        s = backupDatabase(c);
    } else if (c.peekIs("if") && c.peek(1).is("@@error")) {
        c.take();
        c.take();
        const Token &comparison = c.take();
        if (comparison.kind != Token::Kind::Symbol
            || (comparison.text != QLatin1StringView("<>") && comparison.text != QLatin1StringView("!=")))
            c.fail(-1);
        if (c.peek().kind != Token::Kind::Number || c.take().text != QLatin1StringView("0"))
            c.fail(-1);
        c.expect("return");
        s.kind = Statement::Kind::ReturnOnError;
    } else if (std::optional<Statement> control = parseControl(batch, tokens, database)) {
        s = *control;
        passed = true;
    } else if (c.peekIs("alter") && c.peek(1).is("server")) {
        c.take();
        c.take();
        c.expect("role");
        s = alterServerRole(c);
    } else {
        s.text = passThrough(batch, tokens, database);
        passed = true;
    }
    if (!passed && !c.atEnd())
        c.fail();
    s.verb = verb;
    if (verb == QLatin1StringView("create")) {
        for (const Token &t : tokens.mid(1, 3)) {
            for (const char *object : { "table", "index", "view", "trigger" }) {
                if (t.is(object))
                    s.object = t.text.toUpper();
            }
        }
    }
    s.lastToken = tokens.last().display(batch);
    return s;
}

void fitLiterals(QList<Token> &tokens, int codePage)
{
    for (Token &t : tokens) {
        if (t.kind == Token::Kind::String && !isAscii(t.text))
            t.text = text::fitCodePage(t.text, codePage);
    }
}

} // namespace zt::embedded
