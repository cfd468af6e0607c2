#include "filecopy.h"

#include "data/dataerror.h"

#include <QFile>

namespace zt::accountset {

namespace {

constexpr qint64 ChunkBlocks = 95325; // 1,048,575 bytes: just under 1 MiB, a whole number of steps

[[noreturn]] void fail(const QString &what, const QFile &file)
{
    throw data::DataError(QStringLiteral("%1 \"%2\". %3").arg(what, file.fileName(), file.errorString()));
}

} // namespace

void copyFile(const QString &source, const QString &target, CopyProgress *progress)
{
    if (progress)
        progress->start();
    QFile in(source);
    if (!in.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        fail(QStringLiteral("Cannot open file"), in);
    QFile out(target);
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered))
        fail(QStringLiteral("Cannot create file"), out);

    try {
        qint64 remaining = in.size();
        if (progress)
            progress->setRange(remaining);
        qint64 position = 0;
        QByteArray chunk(ChunkBlocks * CopyBlock, Qt::Uninitialized);
        while (remaining > 0) {
            const qint64 n = in.read(chunk.data(), qMin<qint64>(chunk.size(), remaining));
            if (n <= 0)
                fail(QStringLiteral("Cannot read file"), in);
            if (out.write(chunk.constData(), n) != n)
                fail(QStringLiteral("Cannot write file"), out);
            remaining -= n;
            position += n;
            // A chunk is a whole number of steps (or the rest of the file), so this is a
            // position the 11-byte loop passes through as well.
            if (progress)
                progress->setPosition(position);
        }
        in.close();
        if (!out.flush())
            fail(QStringLiteral("Cannot write file"), out);
        out.close();
        if (out.error() != QFileDevice::NoError)
            fail(QStringLiteral("Cannot close file"), out);
    } catch (...) {
        out.close();
        out.remove(); // a later attempt must copy afresh, not find a broken file
        throw;
    }
}

} // namespace zt::accountset
