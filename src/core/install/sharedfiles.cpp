#include "sharedfiles.h"

#include <QFile>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zt::install {

namespace {

// The current mask, read without changing it (umask() can only be read by setting it, which
// would race with threads creating files): Linux reports it in /proc/self/status.
mode_t currentMask()
{
    QFile status(QStringLiteral("/proc/self/status"));
    // Files under /proc report no size: read to the end rather than testing atEnd().
    if (status.open(QIODevice::ReadOnly)) {
        for (const QByteArray &line : status.readAll().split('\n')) {
            if (line.startsWith("Umask:")) {
                bool ok = false;
                const uint mask = line.mid(6).trimmed().toUInt(&ok, 8);
                if (ok)
                    return mode_t(mask);
            }
        }
    }
    return 022;
}

} // namespace

void shareNewFilesWithGroup()
{
    const mode_t mask = ::umask(0);
    ::umask((mask & ~mode_t(S_IRWXG)) | S_IRWXO);
}

QFileDevice::Permissions newFilePermissions()
{
    const mode_t mode = 0666 & ~currentMask();
    QFileDevice::Permissions permissions;
    const std::pair<mode_t, QFileDevice::Permissions> bits[] = {
        { S_IRUSR, QFileDevice::ReadOwner | QFileDevice::ReadUser },
        { S_IWUSR, QFileDevice::WriteOwner | QFileDevice::WriteUser },
        { S_IRGRP, QFileDevice::ReadGroup },
        { S_IWGRP, QFileDevice::WriteGroup },
        { S_IROTH, QFileDevice::ReadOther },
        { S_IWOTH, QFileDevice::WriteOther },
    };
    for (const auto &[bit, permission] : bits) {
        if (mode & bit)
            permissions |= permission;
    }
    return permissions;
}

void createSharedFile(const QString &path)
{
    const QByteArray name = QFile::encodeName(path);
    // O_EXCL: a file that is there already keeps its permissions and contents.
    const int fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0)
        ::close(fd);
}

} // namespace zt::install
