#include "copyjournal.h"

#include "data/dataerror.h"
#include "install/installation.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>

namespace zt::accountset {

namespace {

const QString Suffix = QStringLiteral(".json");

} // namespace

QString copyJournalFolder()
{
    return QDir::cleanPath(install::directory() + QStringLiteral("/data/copies"));
}

QString copyJournalPath(const QString &target)
{
    return copyJournalFolder() + u'/' + target + Suffix;
}

void writeCopyJournal(const CopyJournal &j)
{
    const QJsonObject object { { QStringLiteral("server"), j.server }, { QStringLiteral("source"), j.source },
        { QStringLiteral("target"), j.target }, { QStringLiteral("name"), j.name },
        { QStringLiteral("backup_file"), j.backupFile }, { QStringLiteral("backup"), j.backup },
        { QStringLiteral("started_at"), j.startedAt.toString(Qt::ISODateWithMs) },
        { QStringLiteral("pid"), j.pid } };
    const QString path = copyJournalPath(j.target);
    QDir().mkpath(copyJournalFolder());
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(QJsonDocument(object).toJson()) < 0 || !file.commit())
        throw data::DataError(QStringLiteral("无法写入复制记录 %1：%2").arg(path, file.errorString()));
}

bool removeCopyJournal(const QString &target)
{
    const QString path = copyJournalPath(target);
    return !QFile::exists(path) || QFile::remove(path);
}

std::optional<CopyJournal> readCopyJournal(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QJsonObject o = QJsonDocument::fromJson(file.readAll()).object();
    CopyJournal j;
    j.server = o.value(QStringLiteral("server")).toString();
    j.source = o.value(QStringLiteral("source")).toString();
    j.target = o.value(QStringLiteral("target")).toString();
    j.name = o.value(QStringLiteral("name")).toString();
    j.backupFile = o.value(QStringLiteral("backup_file")).toString();
    j.backup = o.value(QStringLiteral("backup")).toString();
    j.startedAt = QDateTime::fromString(o.value(QStringLiteral("started_at")).toString(), Qt::ISODateWithMs);
    j.pid = o.value(QStringLiteral("pid")).toInteger();
    j.path = path;
    if (j.server.isEmpty() || j.target.isEmpty())
        return std::nullopt;
    return j;
}

QStringList copyJournalFiles()
{
    const QDir folder(copyJournalFolder());
    QStringList files;
    for (const QString &name : folder.entryList({ u'*' + Suffix }, QDir::Files, QDir::Name))
        files << folder.absoluteFilePath(name);
    return files;
}

} // namespace zt::accountset
