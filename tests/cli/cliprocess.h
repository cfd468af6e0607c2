#pragma once

// Runs ztaccountset as a process for the tests: its exit status, its standard output and error,
// and the JSON object it wrote; the rows that object reports; password files.

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <QTemporaryFile>

#include <unistd.h>

namespace zt::test {

struct CliResult
{
    int exitCode = -1;
    QString out;
    QString err;
    QJsonObject json; // the last line of standard output read as a JSON object, if it is one
};

// Runs the executable with --dir dir and the arguments. env entries "NAME=value" are added to the
// environment, "-NAME" removes one. The child runs in a session of its own, without a controlling
// terminal, so a password it would have to ask for on the terminal is refused.
inline CliResult runCli(const QString &dir, const QStringList &arguments, const QStringList &env = {},
    const QByteArray &input = {}, const QString &program = QStringLiteral(ZT_ACCOUNTSET_EXE))
{
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("ZTWIZARD_BROWSE_TARGET"), QStringLiteral("off"));
    environment.remove(QStringLiteral("ZTWIZARD_LOGIN_PASSWORD"));
    environment.remove(QStringLiteral("ZTWIZARD_SET_PASSWORD"));
    for (const QString &entry : env) {
        if (entry.startsWith(u'-'))
            environment.remove(entry.mid(1));
        else
            environment.insert(entry.section(u'=', 0, 0), entry.section(u'=', 1));
    }
    process.setProcessEnvironment(environment);
    process.setChildProcessModifier([] { ::setsid(); });
    QStringList all;
    if (!dir.isEmpty())
        all << QStringLiteral("--dir") << dir;
    all << arguments;
    process.start(program, all);
    CliResult result;
    if (!process.waitForStarted(10000))
        return result;
    if (!input.isEmpty())
        process.write(input);
    process.closeWriteChannel();
    if (!process.waitForFinished(120000)) {
        process.kill();
        process.waitForFinished();
        return result;
    }
    result.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    result.out = QString::fromUtf8(process.readAllStandardOutput());
    result.err = QString::fromUtf8(process.readAllStandardError());
    const QStringList lines = result.out.split(u'\n', Qt::SkipEmptyParts);
    if (!lines.isEmpty())
        result.json = QJsonDocument::fromJson(lines.last().toUtf8()).object();
    return result;
}

// The tables of the rows an operation reported, in order.
inline QStringList rowTables(const QJsonObject &json)
{
    QStringList tables;
    for (const QJsonValue &row : json.value(QStringLiteral("rows")).toArray())
        tables << row.toObject().value(QStringLiteral("table")).toString();
    return tables;
}

// The fields of the first row reported for the table.
inline QJsonObject rowFields(const QJsonObject &json, const QString &table)
{
    for (const QJsonValue &row : json.value(QStringLiteral("rows")).toArray()) {
        if (row.toObject().value(QStringLiteral("table")).toString() == table)
            return row.toObject().value(QStringLiteral("fields")).toObject();
    }
    return {};
}

// Writes content to the temporary file (a password file for a command) and returns its name.
inline QString writeFile(QTemporaryFile &file, const QByteArray &content)
{
    file.open();
    file.write(content);
    file.close();
    return file.fileName();
}

} // namespace zt::test
