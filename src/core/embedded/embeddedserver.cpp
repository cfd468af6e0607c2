#include "embeddedserver.h"

#include "data/backends.h"
#include "install/installation.h"
#include "instance.h"
#include "session.h"

#include <QDir>

namespace zt::embedded {

namespace {

const QString Prefix = QStringLiteral("(embedded)");
const QString DefaultInstance = QStringLiteral("default");

} // namespace

bool isEmbeddedServerName(const QString &serverName)
{
    return serverName == Prefix || serverName.startsWith(Prefix + u'\\');
}

QString instanceOf(const QString &serverName)
{
    return serverName == Prefix ? DefaultInstance : serverName.mid(Prefix.size() + 1);
}

QString defaultRoot()
{
    return install::directory() + QStringLiteral("data/embedded");
}

QStringList instanceServerNames(const QString &root)
{
    QStringList names { Prefix };
    QStringList folders = QDir(root).entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
    for (const QString &folder : std::as_const(folders)) {
        if (folder != DefaultInstance)
            names << Prefix + u'\\' + folder;
    }
    return names;
}

QStringList localServerNames()
{
    try {
        return instanceServerNames(defaultRoot());
    } catch (...) {
        return { Prefix };
    }
}

void installBackend()
{
    data::registerServerBackend({
        QStringLiteral("embedded"),
        isEmbeddedServerName,
        [](const data::ConnectionString &cs) {
            return connect(defaultRoot(), instanceOf(cs.dataSource()), cs.login(),
                cs.hasCatalog() ? cs.catalogName() : QString());
        },
    });
}

std::unique_ptr<data::Backend> connect(
    const QString &root, const QString &instanceName, const data::Credentials &login, const QString &catalog)
{
    Instance instance(root, instanceName);
    Principal principal = instance.authenticate(login);
    OpenDatabase database = instance.open(catalog.isEmpty() ? QStringLiteral("master") : catalog);
    return std::make_unique<Session>(std::move(instance), std::move(principal), std::move(database));
}

} // namespace zt::embedded
