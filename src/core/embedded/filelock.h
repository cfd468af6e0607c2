#pragma once

#include <QString>

#include <memory>

namespace zt::embedded {

// An advisory lock on a file, shared between processes and between the sessions of one process:
// flock(2) locks belong to an open file description, so two opens of the file exclude each other
// whether they are in one process or in two. The file is opened close-on-exec, so programs the
// wizard starts never inherit a lock. Released when the object is destroyed (or the process ends).
class FileLock final
{
public:
    enum class Mode { Shared, Exclusive };

    // Locks path (created when missing), waiting for it when wait is set. Returns null when the
    // lock is held elsewhere and wait is not set. Throws Failure when the file cannot be opened
    // or locked.
    static std::unique_ptr<FileLock> acquire(const QString &path, Mode mode, bool wait);

    ~FileLock();
    FileLock(const FileLock &) = delete;
    FileLock &operator=(const FileLock &) = delete;

    struct Failure
    {
        QString message;
    };

private:
    explicit FileLock(int fd)
        : m_fd(fd)
    { }
    int m_fd;
};

} // namespace zt::embedded
