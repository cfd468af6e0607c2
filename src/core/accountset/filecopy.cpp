#include "filecopy.h"

#include "data/dataerror.h"

#include <QCoreApplication>
#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zt::accountset {

namespace {

constexpr qint64 ChunkBlocks = 95325; // 1,048,575 bytes: just under 1 MiB, a whole number of steps

// The failure of a system call on a file, with the system's own reason.
[[noreturn]] void fail(const char *what, const QString &file, int error)
{
    throw data::DataError(
        QStringLiteral("%1 \"%2\". %3")
            .arg(QLatin1StringView(what), file, QString::fromLocal8Bit(std::strerror(error))));
}

// A file descriptor closed when it goes out of scope (unless closed before).
class Descriptor
{
public:
    explicit Descriptor(int fd)
        : m_fd(fd)
    { }
    ~Descriptor()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    Descriptor(const Descriptor &) = delete;
    Descriptor &operator=(const Descriptor &) = delete;
    int get() const { return m_fd; }
    int release()
    {
        const int fd = m_fd;
        m_fd = -1;
        return fd;
    }

private:
    int m_fd;
};

bool writeAll(int fd, const char *data, qint64 size)
{
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size_t(size));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            if (n == 0)
                errno = ENOSPC;
            return false;
        }
        data += n;
        size -= n;
    }
    return true;
}

qint64 readSome(int fd, char *data, qint64 size)
{
    for (;;) {
        const ssize_t n = ::read(fd, data, size_t(size));
        if (n < 0 && errno == EINTR)
            continue;
        return n;
    }
}

// The temporary file beside the target, private to this process: a copy interrupted by a crash
// or a power loss leaves only such a file, never a truncated file under the target's name.
QString temporaryPath(const QString &target)
{
    return target + QStringLiteral(".%1.part").arg(QCoreApplication::applicationPid());
}

// Makes the rename itself durable (best effort: not every file system syncs folders).
void syncFolderOf(const QByteArray &path)
{
    const qsizetype slash = path.lastIndexOf('/');
    const QByteArray folder = slash > 0 ? path.left(slash) : QByteArray(slash == 0 ? "/" : ".");
    const int fd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

} // namespace

void copyFile(const QString &source, const QString &target, CopyProgress *progress)
{
    if (progress)
        progress->start();
    const QByteArray sourceName = QFile::encodeName(source);
    Descriptor in(::open(sourceName.constData(), O_RDONLY | O_CLOEXEC));
    if (in.get() < 0)
        fail("Cannot open file", source, errno);
    struct stat info = {};
    if (::fstat(in.get(), &info) != 0)
        fail("Cannot read file", source, errno);

    const QString temporary = temporaryPath(target);
    const QByteArray temporaryName = QFile::encodeName(temporary);
    const QByteArray targetName = QFile::encodeName(target);
    // A leftover of an earlier process with the same id is truncated, never reused as it is.
    Descriptor out(::open(temporaryName.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666));
    if (out.get() < 0)
        fail("Cannot create file", target, errno);

    try {
        qint64 remaining = info.st_size;
        if (progress)
            progress->setRange(remaining);
        qint64 position = 0;
        QByteArray chunk(ChunkBlocks * CopyBlock, Qt::Uninitialized);
        while (remaining > 0) {
            const qint64 n = readSome(in.get(), chunk.data(), qMin<qint64>(chunk.size(), remaining));
            if (n < 0)
                fail("Cannot read file", source, errno);
            if (n == 0)
                fail("Cannot read file", source, EIO); // the source shrank while being copied
            if (!writeAll(out.get(), chunk.constData(), n))
                fail("Cannot write file", target, errno);
            remaining -= n;
            position += n;
            // A chunk is a whole number of steps (or the rest of the file), so this is a
            // position the 11-byte loop passes through as well.
            if (progress)
                progress->setPosition(position);
        }
        // Only a complete copy, on the disk, takes the target's name.
        if (::fsync(out.get()) != 0)
            fail("Cannot write file", target, errno);
        if (::close(out.release()) != 0)
            fail("Cannot close file", target, errno);
        if (::rename(temporaryName.constData(), targetName.constData()) != 0)
            fail("Cannot create file", target, errno);
    } catch (...) {
        ::unlink(temporaryName.constData()); // a later attempt must copy afresh
        throw;
    }
    syncFolderOf(targetName);
}

} // namespace zt::accountset
