// Times a scheduled backup run over many account sets: the sets made once on the embedded server
// (network mode, base data and all), then a plan for every set run three times with two copies
// kept, on the embedded server in process and through FreeTDS to ztwizard-tds serving the same
// instance. Reports each run's time, the time per set and the rotating files kept afterwards.
// Usage: bench_backupplan [sets]   (default: 100)
#include "accountset/creation.h"
#include "backupplan/planrun.h"
#include "data/dataerror.h"
#include "install/installfiles.h"
#include "store/localstore.h"
#include "tdsprocess.h"
#include "testhelpers.h"
#include "testinstallation.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>

#include <cstdio>

using namespace zt;

namespace {

void storeLogin(const QString &server, const data::Credentials &login)
{
    data::Connection c;
    data::Query q(QStringLiteral("ADOQuery2"));
    store::openLocalConfiguration(c, q);
    store::storeServerRecord(q, server, login);
}

// Three runs of a plan over every set; false when a run failed.
bool runs(const QString &label, const QString &server, int sets, const QString &backupFolder)
{
    backupplan::Plan plan;
    plan.server = server;
    plan.keep = 2;
    plan.allSets = true;
    for (int day = 1; day <= 3; ++day) {
        accountset::AccountSetObjects o;
        QElapsedTimer timer;
        timer.start();
        const backupplan::RunResult run = backupplan::runPlan(o, plan);
        const double ms = double(timer.elapsed());
        if (!run.problem.isEmpty() || run.failures() > 0 || run.sets.size() != sets) {
            std::fprintf(stderr, "%s: run %d failed (%s, %d of %lld sets failed)\n", qPrintable(label), day,
                qPrintable(run.problem), run.failures(), static_cast<long long>(run.sets.size()));
            for (const auto &s : run.sets) {
                if (!s.succeeded) {
                    std::fprintf(stderr, "  %s: %s\n", qPrintable(s.number), qPrintable(s.error));
                    break;
                }
            }
            return false;
        }
        qint64 bytes = 0;
        const QFileInfoList files
            = QDir(backupFolder).entryInfoList({ QStringLiteral("*_auto_*.bak") }, QDir::Files);
        for (const QFileInfo &f : files)
            bytes += f.size();
        std::printf("%-10s run %d: %8.0f ms, %6.1f ms per set; files kept %lld (%.1f MiB)\n",
            qPrintable(label), day, ms, ms / sets, static_cast<long long>(files.size()),
            double(bytes) / (1024.0 * 1024.0));
    }
    return true;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const int sets = argc > 1 ? std::max(1, atoi(argv[1])) : 100;
    test::TestInstallation installation;
    if (!installation.isValid())
        return 1;
    const QString embedded = QStringLiteral("(embedded)");
    storeLogin(embedded, data::Credentials::integrated());
    install::heldValues() = {};
    QElapsedTimer made;
    made.start();
    try {
        for (int i = 0; i < sets; ++i) {
            accountset::AccountSetObjects o;
            store::openLocalConfiguration(o.Conn_Ty, o.ADOTy);
            data::ServerLogin login;
            accountset::CreationContext context;
            test::done(accountset::createAccountSet(o,
                { embedded, QStringLiteral("bp%1").arg(i, 3, 10, QLatin1Char('0')),
                    QStringLiteral("账套%1").arg(i), QString() },
                accountset::CreationMode::Network, login, context));
        }
    } catch (const data::DataError &e) {
        std::fprintf(stderr, "creation failed: %s\n", e.what());
        return 1;
    }
    std::printf("%d sets made in %lld ms\n", sets, static_cast<long long>(made.elapsed()));
    const QString backups = installation.dir() + QStringLiteral("data/backup");

    if (!runs(QStringLiteral("embedded"), embedded, sets, backups))
        return 1;
    for (const QString &file : QDir(backups).entryList({ QStringLiteral("*_auto_*.bak") }, QDir::Files))
        QFile::remove(backups + u'/' + file);

    test::TdsProcess tds(installation.dir());
    if (tds.port() == 0)
        return 1;
    storeLogin(tds.serverName(), data::Credentials::sql(QStringLiteral("sa"), QString()));
    if (!runs(QStringLiteral("tds"), tds.serverName(), sets, backups))
        return 1;
    return 0;
}
