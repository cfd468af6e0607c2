// Throughput of the per-set file copy with a visible progress bar attached, against cp of the
// same file in the same run. Usage: bench_copy [MiB] [runs]   (offscreen or under Xvfb)
#include "accountset/filecopy.h"
#include "accountset/progressbarcopy.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QProgressBar>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>

namespace {

double median(QList<double> v)
{
    std::sort(v.begin(), v.end());
    return v.at(v.size() / 2);
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    const int mib = argc > 1 ? std::max(1, atoi(argv[1])) : 64;
    const int runs = argc > 2 ? std::max(1, atoi(argv[2])) : 5;

    QTemporaryDir dir;
    const QString source = dir.filePath(QStringLiteral("SysBase.mdb"));
    {
        QFile f(source);
        if (!f.open(QIODevice::WriteOnly))
            return 1;
        QByteArray block(1 << 20, Qt::Uninitialized);
        for (int i = 0; i < mib; ++i) {
            QRandomGenerator::global()->fillRange(
                reinterpret_cast<quint32 *>(block.data()), block.size() / 4);
            f.write(block);
        }
    }

    QProgressBar bar;
    bar.resize(344, 8);
    bar.setTextVisible(false);
    bar.show();
    zt::gui::ProgressBarCopy progress(&bar);

    QList<double> ours, cp;
    for (int run = 0; run < runs; ++run) {
        const QString a = dir.filePath(QStringLiteral("a%1").arg(run));
        const QString b = dir.filePath(QStringLiteral("b%1").arg(run));
        QElapsedTimer timer;
        timer.start();
        zt::accountset::copyFile(source, a, &progress);
        ours << timer.nsecsElapsed() / 1e9;
        timer.restart();
        if (QProcess::execute(QStringLiteral("cp"), { source, b }) != 0)
            return 1;
        cp << timer.nsecsElapsed() / 1e9;
        QFile::remove(a);
        QFile::remove(b);
    }
    const double oursRate = mib / median(ours);
    const double cpRate = mib / median(cp);
    std::printf(
        "copy with progress bar: %.0f MiB/s (median of %d), cp: %.0f MiB/s, ratio %.2f; bar at %d of %d\n",
        oursRate, runs, cpRate, oursRate / cpRate, bar.value(), bar.maximum());
    return 0;
}
