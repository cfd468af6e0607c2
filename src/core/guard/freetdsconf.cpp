// This process's freetds.conf: one section per server and settings, in a private folder removed
// when the process ends, named to FreeTDS through FREETDSCONF. Programs this one starts get the
// environment it was started with.

#include "roadguard.h"

#include "data/dataerror.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QMap>
#include <QSaveFile>
#include <QTemporaryDir>

#include <mutex>

namespace zt::guard {

namespace {

struct ConfFile
{
    std::mutex mutex;
    QTemporaryDir dir { QDir::tempPath() + QStringLiteral("/ztwizard-freetds-XXXXXX") };
    QMap<QString, QByteArray> sections;
    QProcessEnvironment starting = QProcessEnvironment::systemEnvironment();
    QString path() const { return dir.filePath(QStringLiteral("freetds.conf")); }
};

ConfFile &confFile()
{
    static ConfFile file;
    return file;
}

// A host as it may stand in the file: letters, digits and the punctuation of names and IPv4
// and IPv6 addresses. Anything else could start a line or a setting of its own.
bool plainHost(const QString &host)
{
    if (host.isEmpty())
        return false;
    for (const QChar c : host) {
        if (!(c.isLetterOrNumber() && c.unicode() < 0x80) && c != u'.' && c != u'-' && c != u'_' && c != u':')
            return false;
    }
    return true;
}

// A path FreeTDS reads back as written: its reader ends a value at ';' or '#' and folds blanks.
bool plainPath(const QString &path)
{
    for (const QChar c : path) {
        if (c.unicode() < 0x20 || c == u'\x7f' || c == u';' || c == u'#' || c.isSpace())
            return false;
    }
    return !path.isEmpty();
}

void writeConf(ConfFile &conf)
{
    QByteArray text = "# Written by ztwizard for its own connections; removed when it ends.\n";
    for (auto it = conf.sections.cbegin(); it != conf.sections.cend(); ++it)
        text += '[' + it.key().toLatin1() + "]\n" + it.value();
    QSaveFile out(conf.path());
    if (!out.open(QIODevice::WriteOnly) || out.write(text) != text.size() || !out.commit())
        throw data::DataError(
            QStringLiteral("无法写入连接设置文件“%1”（%2）。").arg(conf.path(), out.errorString()));
}

// The certificates' file as FreeTDS can name it: the file itself, or a copy in the private folder
// when its path holds what the file's syntax cannot carry.
QString nameableCopy(ConfFile &conf, const QString &caFile)
{
    if (plainPath(caFile))
        return caFile;
    const QString copy = conf.dir.filePath(
        QStringLiteral("ca-%1.pem")
            .arg(QString::fromLatin1(
                QCryptographicHash::hash(caFile.toUtf8(), QCryptographicHash::Sha256).toHex().left(16))));
    QFile::remove(copy);
    if (!QFile::copy(caFile, copy)) {
        throw data::DataError(QStringLiteral("证书文件“%1”不能读取：请检查它是否存在、是否可读。")
                                  .arg(QDir::toNativeSeparators(caFile)));
    }
    return copy;
}

} // namespace

void prepareConnections()
{
    ConfFile &conf = confFile();
    std::lock_guard lock(conf.mutex);
    if (!conf.dir.isValid() || !conf.sections.isEmpty() || QFile::exists(conf.path()))
        return;
    writeConf(conf);
    // FreeTDS reads the file at every connection, from this variable only.
    qputenv("FREETDSCONF", QFile::encodeName(conf.path()));
}

QProcessEnvironment startingEnvironment()
{
    ConfFile &conf = confFile();
    std::lock_guard lock(conf.mutex);
    return conf.starting;
}

QString freeTdsSection(const QString &host, int port, const RoadSettings &settings)
{
    if (!plainHost(host))
        throw data::DataError(QStringLiteral("服务器名称“%1”中有不能用于连接的字符。").arg(host));
    prepareConnections();

    ConfFile &conf = confFile();
    std::lock_guard lock(conf.mutex);
    if (!conf.dir.isValid()) {
        throw data::DataError(
            QStringLiteral("无法建立连接设置文件：临时文件夹“%1”不能写入。").arg(QDir::tempPath()));
    }
    const QString caFile = nameableCopy(conf, settings.caFile);
    // The only protocol spoken is TDS 7.4: with "auto" FreeTDS retries a failed first connection
    // as TDS 5.0, whose login carries the password as plain text.
    const QByteArray body = "\thost = " + host.toUtf8() + "\n\tport = " + QByteArray::number(port)
        + "\n\ttds version = 7.4\n\tencryption = " + settings.encryption.toUtf8()
        + "\n\tca file = " + caFile.toUtf8()
        + "\n\tcheck certificate hostname = " + (settings.checkHostname ? "yes" : "no") + "\n";
    const QString name = QStringLiteral("ztwizard_")
        + QString::fromLatin1(QCryptographicHash::hash(body, QCryptographicHash::Sha256).toHex().left(16));
    if (!conf.sections.contains(name)) {
        conf.sections.insert(name, body);
        writeConf(conf);
    }
    return name;
}

} // namespace zt::guard
