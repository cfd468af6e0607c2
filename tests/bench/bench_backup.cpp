// Times backups and restores of account sets on the embedded server:
//  1. an account set with the shipped base data;
//  2. the same with 100,000 rows in one more table.
// For each: the backup (BACKUP DATABASE into data/backup), the restore as the page runs it
// (RESTORE DATABASE under a new number, per-set file, registration), and the time until the
// restored set is usable (the restore and a first query on a new session of it).
// Usage: bench_backup [runs]
#include "accountset/backup.h"
#include "benchhelpers.h"
#include "data/dataerror.h"
#include "store/localstore.h"
#include "testhelpers.h"
#include "testinstallation.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>

#include <algorithm>
#include <cstdio>

using namespace zt;
using namespace zt::accountset;

namespace {

const QString Server = test::EmbeddedServer;
const data::ServerLogin IntegratedLogin { test::EmbeddedServer,
    data::LoginFragment::fromLogin(data::Credentials::integrated()) };

using test::median;

// 100,000 rows of a voucher-like table, 1,000 to a statement.
void addRows(const QString &catalog)
{
    data::Connection c;
    data::Backend &db = test::openEmbedded(c, catalog);
    db.execute(QStringLiteral("create table pzmxb (id int identity (1, 1), pzh int, zy nvarchar(50), "
                              "kmdm nvarchar(20), jfje decimal(18, 2), dfje decimal(18, 2), rq datetime)"));
    for (int block = 0; block < 100; ++block) {
        QStringList values;
        for (int i = 0; i < 1000; ++i) {
            const int n = block * 1000 + i;
            values << QStringLiteral("(%1, N'摘要第%1行：收到货款', N'1002%2', %3, 0, '2026-12-08 10:00:00')")
                          .arg(n)
                          .arg(n % 100, 2, 10, QLatin1Char('0'))
                          .arg(n * 1.25, 0, 'f', 2);
        }
        db.execute(
            QStringLiteral("insert into pzmxb (pzh, zy, kmdm, jfje, dfje, rq) values ") + values.join(u','));
    }
}

struct Figures
{
    QList<double> backup, restore, usable;
    qint64 bytes = 0;
};

void measure(const QString &number, const QString &probeTable, int runs, Figures &f)
{
    for (int run = 0; run < runs; ++run) {
        AccountSetObjects o;
        store::openLocalConfiguration(o.Conn_Ty, o.ADOTy);
        const QString file = QStringLiteral("%1_run%2.bak").arg(number).arg(run);
        QElapsedTimer timer;
        timer.start();
        const QString location = backupDatabase(o, IntegratedLogin, number, file);
        f.backup << timer.nsecsElapsed() / 1e6;
        f.bytes = QFileInfo(location).size();

        RestoreRequest request;
        request.fields
            = { Server, QStringLiteral("%1r%2").arg(number).arg(run), QStringLiteral("恢复"), QString() };
        request.backupFile = file;
        data::ServerLogin login;
        timer.restart();
        test::done(restoreAccountSet(o, request, login, {}));
        f.restore << timer.nsecsElapsed() / 1e6;
        data::Connection c;
        test::openEmbedded(c, request.fields.database)
            .query(QStringLiteral("select count(*) from ") + probeTable);
        f.usable << timer.nsecsElapsed() / 1e6;
    }
}

void print(const char *what, const Figures &f)
{
    std::printf("%-32s %8.1f KiB  backup %8.1f ms  restore %8.1f ms  usable after %8.1f ms (medians)\n", what,
        f.bytes / 1024.0, median(f.backup), median(f.restore), median(f.usable));
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, atoi(argv[1])) : 5;
    test::TestInstallation installation;
    if (!installation.isValid())
        return 1;
    try {
        AccountSetObjects o;
        store::openLocalConfiguration(o.Conn_Ty, o.ADOTy);
        test::storeServerLogin(Server, data::Credentials::integrated());
        data::ServerLogin login;
        test::done(createAccountSet(o, { Server, QStringLiteral("base"), QStringLiteral("基础"), QString() },
            CreationMode::Network, login, {}));
        test::done(createAccountSet(o, { Server, QStringLiteral("big"), QStringLiteral("大账套"), QString() },
            CreationMode::Network, login, {}));
        addRows(QStringLiteral("big"));

        Figures base, big;
        measure(QStringLiteral("base"), QStringLiteral("kjkmxxb"), runs, base);
        measure(QStringLiteral("big"), QStringLiteral("pzmxb"), runs, big);
        std::printf("runs: %d\n", runs);
        print("shipped base data", base);
        print("base data + 100,000 rows", big);
    } catch (const data::DataError &e) {
        std::fprintf(stderr, "%s\n", qPrintable(e.message()));
        return 1;
    }
    return 0;
}
