#include "filelock.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace zt::embedded {

std::unique_ptr<FileLock> FileLock::acquire(const QString &path, Mode mode, bool wait)
{
    const QByteArray name = QFile::encodeName(path);
    int fd;
    do
        // 0666 less the file-creation mask, so the group that shares the installation can lock
        // it too. Lock files are never removed: a process that opened one just before its
        // removal would lock a file the next process no longer finds, and both would go on.
        fd = ::open(name.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    while (fd < 0 && errno == EINTR);
    if (fd < 0)
        throw Failure { QString::fromLocal8Bit(std::strerror(errno)) };
    const int operation = (mode == Mode::Shared ? LOCK_SH : LOCK_EX) | (wait ? 0 : LOCK_NB);
    int rc;
    do
        rc = ::flock(fd, operation);
    while (rc < 0 && errno == EINTR);
    if (rc < 0) {
        const int error = errno;
        ::close(fd);
        if (error == EWOULDBLOCK)
            return nullptr;
        throw Failure { QString::fromLocal8Bit(std::strerror(error)) };
    }
    return std::unique_ptr<FileLock>(new FileLock(fd));
}

FileLock::~FileLock()
{
    ::close(m_fd); // closing the description releases its lock
}

} // namespace zt::embedded
