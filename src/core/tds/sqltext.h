#pragma once

#include "rpc.h"
#include "tokens.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>

namespace zt::data {
class DataError;
}

namespace zt::tds {

// A statement with its values bound to positional markers.
struct BoundStatement
{
    QString sql;
    QList<QVariant> params;
};

// The names declared in a parameter list such as "@P1 nvarchar(4000),@P2 int", in order.
QStringList declaredNames(const QString &declarations);

// Replaces each @name of the statement (outside strings, quoted names and comments) that is
// one of values' names by a positional marker, binding the values in the order of the markers.
BoundStatement bindNamed(const QString &sql, const QList<RpcParam> &values);

// SQL Server's forms of "the first row that matches" (UPDATE TOP (1) ..., DELETE TOP (1) ...)
// in the form the embedded server's files take; other statements are returned unchanged.
QString rewriteTopOne(const QString &sql);

// The messages of an embedded-server error, each with its number and severity.
QList<ServerMessage> messagesOf(const data::DataError &error);

// A server message by number, its text given.
ServerMessage serverMessage(int number, const QString &text);

} // namespace zt::tds
