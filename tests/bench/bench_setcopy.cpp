// Times a copy of an account set (copyAccountSet: checks, note, backup, restore, registration)
// against the same done by hand with the two calls the restore dialog's user made (backupAccountSet,
// then restoreAccountSet), on the embedded server and through ztwizard-tds (FreeTDS, encrypted).
// The source holds the shipped base data and 20,000 voucher rows. Through ztwizard-tds each call
// gets a server of its own, so its requests and connections (logins) are counted too.
// Usage: bench_setcopy [runs]   (default 5)
#include "accountset/backup.h"
#include "accountset/copying.h"
#include "benchhelpers.h"
#include "data/dataerror.h"
#include "install/installfiles.h"
#include "store/localstore.h"
#include "tdsprocess.h"
#include "testhelpers.h"
#include "testinstallation.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QMap>
#include <QRegularExpression>

#include <cstdio>
#include <functional>
#include <optional>

using namespace zt;
using namespace zt::accountset;

namespace {

const QString Source = QStringLiteral("src");

struct Measured
{
    QList<double> ms;
    QMap<int, QList<double>> steps; // the copy's own steps, by CopyStep
    int requests = 0;
    int connections = 0;
};

void storeLogin(const QString &server, const data::Credentials &login)
{
    data::Connection c;
    data::Query q(QStringLiteral("ADOQuery2"));
    store::openLocalConfiguration(c, q);
    store::storeServerRecord(q, server, login);
}

// 20,000 rows of a voucher-like table, 1,000 to a statement.
void addVouchers(const QString &server, const data::Credentials &login)
{
    data::Connection c;
    c.setConnectionString(
        data::ConnectionString::catalog(data::LoginFragment::fromLogin(login), Source, server));
    data::Backend &db = c.backend();
    db.execute(QStringLiteral("create table pzmxb (id int, pzh int, zy nvarchar(50), kmdm nvarchar(20), "
                              "jfje decimal(18, 2), dfje decimal(18, 2))"));
    for (int block = 0; block < 20; ++block) {
        QStringList values;
        for (int i = 0; i < 1000; ++i) {
            const int n = block * 1000 + i;
            values << QStringLiteral("(%1, %2, N'摘要第%1行：收到货款', N'1002%3', %4, 0)")
                          .arg(n)
                          .arg(n / 4)
                          .arg(n % 100, 2, 10, QLatin1Char('0'))
                          .arg(n * 1.25, 0, 'f', 2);
        }
        db.execute(QStringLiteral("insert into pzmxb values ") + values.join(u','));
    }
}

// Runs one call on a server: the embedded one, or a ztwizard-tds of its own over the installation
// (its requests and connections then counted).
using Call = std::function<void(const QString &server)>;

bool timeCall(const QString &dir, bool tds, const Call &call, Measured &into)
{
    std::optional<test::TdsProcess> process;
    QString server = test::EmbeddedServer;
    if (tds) {
        process.emplace(dir);
        if (process->port() == 0)
            return false;
        server = process->serverName();
        storeLogin(server, data::Credentials::sql(QStringLiteral("sa"), QString()));
    }
    install::heldValues() = {};
    QElapsedTimer timer;
    timer.start();
    try {
        call(server);
    } catch (const data::DataError &e) {
        std::fprintf(stderr, "%s\n", qPrintable(e.message()));
        return false;
    }
    into.ms << timer.nsecsElapsed() / 1e6;
    if (process) {
        static const QRegularExpression counted(QStringLiteral("connections (\\d+) requests (\\d+)"));
        const auto m = counted.match(process->stop());
        into.connections = m.captured(1).toInt();
        into.requests = m.captured(2).toInt();
    }
    return true;
}

bool road(bool tds, int runs)
{
    test::TestInstallation installation;
    if (!installation.isValid())
        return false;
    storeLogin(test::EmbeddedServer, data::Credentials::integrated());
    try {
        AccountSetObjects o;
        store::openLocalConfiguration(o.Conn_Ty, o.ADOTy);
        data::ServerLogin login;
        test::done(createAccountSet(o, { test::EmbeddedServer, Source, QStringLiteral("源账套"), QString() },
            CreationMode::Network, login, {}));
        addVouchers(test::EmbeddedServer, data::Credentials::integrated());
    } catch (const data::DataError &e) {
        std::fprintf(stderr, "%s\n", qPrintable(e.message()));
        return false;
    }
    Measured copied, byHand;
    qint64 bytes = 0;
    for (int run = 0; run < runs; ++run) {
        const Call copy = [&](const QString &server) {
            AccountSetObjects o;
            store::openLocalConfiguration(o.Conn_Ty, o.ADOTy);
            CopyRequest request;
            request.source = { Source, QStringLiteral("源账套"), server, QString() };
            request.target = { server, QStringLiteral("cp%1").arg(run), QStringLiteral("副本"), QString() };
            data::ServerLogin login;
            const CopyResult result = copyAccountSet(o, request, login);
            if (!result.succeeded())
                throw data::DataError(copyOutcomeText(request, result));
            for (const CopyStepRun &step : result.steps)
                copied.steps[int(step.step)] << double(step.elapsedMs);
            bytes = QFileInfo(result.backup).size();
        };
        const Call manual = [&](const QString &server) {
            AccountSetObjects o;
            store::openLocalConfiguration(o.Conn_Ty, o.ADOTy);
            data::ServerLogin login = store::readServerLogin(o.ADOTy, server);
            const QString file = QStringLiteral("manual_%1.bak").arg(run);
            QElapsedTimer step;
            step.start();
            backupDatabase(o, login, Source, file);
            byHand.steps[int(CopyStep::Backup)] << double(step.restart());
            RestoreRequest request;
            request.fields = { server, QStringLiteral("hr%1").arg(run), QStringLiteral("手工"), QString() };
            request.backupFile = file;
            test::done(restoreAccountSet(o, request, login, {}));
            byHand.steps[int(CopyStep::Restore)] << double(step.elapsed());
        };
        // In turns, so that neither always runs on a warmer cache.
        const bool copyFirst = run % 2 == 0;
        if (!timeCall(installation.dir(), tds, copyFirst ? copy : manual, copyFirst ? copied : byHand)
            || !timeCall(installation.dir(), tds, copyFirst ? manual : copy, copyFirst ? byHand : copied))
            return false;
    }
    const char *name = tds ? "through ztwizard-tds" : "embedded server     ";
    std::printf("%s  backup %7.1f KiB  copy %8.1f ms  backup + restore by hand %8.1f ms (medians of %d)",
        name, bytes / 1024.0, test::median(copied.ms), test::median(byHand.ms), runs);
    if (tds)
        std::printf("  requests/connections: copy %d/%d, by hand %d/%d", copied.requests, copied.connections,
            byHand.requests, byHand.connections);
    static const char *const names[] = { "checks", "password", "note", "backup", "restore", "register" };
    std::printf("\n    the copy's steps (medians, ms):");
    for (auto step = copied.steps.cbegin(); step != copied.steps.cend(); ++step)
        std::printf(" %s %.0f", names[step.key()], test::median(step.value()));
    std::printf("; by hand: backup %.0f, restore with its registration %.0f\n",
        test::median(byHand.steps.value(int(CopyStep::Backup))),
        test::median(byHand.steps.value(int(CopyStep::Restore))));
    std::fflush(stdout);
    return true;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, atoi(argv[1])) : 5;
    return road(false, runs) && road(true, runs) ? 0 : 1;
}
