// Times the recovery side on the embedded server:
//  1. the doctor's examination of a server with N registered account sets (database, local row,
//     directory row and per-set file each) and a few planted faults;
//  2. RESTORE DATABASE of sets of about 8 MiB and 100 MiB without the copy's check, with
//     quick_check (the default) and with integrity_check.
// Usage: bench_recovery [sets=1000] [runs=3]
#include "accountset/creation.h"
#include "benchhelpers.h"
#include "data/dataerror.h"
#include "doctor/doctor.h"
#include "store/localstore.h"
#include "testinstallation.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>

#include <algorithm>
#include <cstdio>

using namespace zt;

namespace {

const QString Server = test::EmbeddedServer;

using test::median;

void plantSets(int sets)
{
    data::Connection master;
    data::Backend &m = test::openEmbedded(master, QStringLiteral("master"));
    try {
        m.execute(QStringLiteral("CREATE TABLE PBTOVRASQLBASEDATA ([id] [bigint] IDENTITY (1, 1) NOT NULL, "
                                 "[ztbh] nvarchar(50), [ztmc] nvarchar(50), [zjmc] nvarchar(100), [net] "
                                 "nvarchar(10), [jlrq] datetime, [kl] nvarchar(50))"));
    } catch (const data::DataError &) { }
    data::Connection local;
    data::Query q(QStringLiteral("local"));
    store::openLocalConfiguration(local, q);
    data::reexecute(q,
        QStringLiteral("insert into xtljb (zjmc, [1], [2]) values ('(embedded)', '%1', '')")
            .arg(QLatin1StringView(data::LoginFragment::IntegratedText)));
    QStringList directory;
    for (int i = 0; i < sets; ++i) {
        const QString number = QStringLiteral("b%1").arg(i, 4, 10, QLatin1Char('0'));
        m.execute(QStringLiteral("create database ") + number);
        directory << QStringLiteral("(N'%1', N'套%1', N'(embedded)', N'是', '2026-12-09', N'')").arg(number);
        data::reexecute(q,
            QStringLiteral("insert into ztxxb (ztbh, ztmc, jlrq, kl, zjmc, sjklx, net) values ('%1', '套%1', "
                           "'2026-12-09', '', '(embedded)', 'MS SQL', '是')")
                .arg(number));
        QFile::copy(accountset::templatePath(), accountset::perSetPath(number));
    }
    m.execute(QStringLiteral("insert into PBTOVRASQLBASEDATA (ztbh, ztmc, zjmc, net, jlrq, kl) values ")
        + directory.join(u','));
    m.execute(QStringLiteral("create database lost1"));
    data::Connection lost;
    test::openEmbedded(lost, QStringLiteral("lost1")).execute(QStringLiteral("create table ckdsz (xh int)"));
}

void fill(const QString &database, qint64 bytes)
{
    data::Connection m;
    test::openEmbedded(m, QStringLiteral("master")).execute(QStringLiteral("create database ") + database);
    data::Connection c;
    data::Backend &db = test::openEmbedded(c, database);
    db.execute(QStringLiteral("create table t (id int, zy nvarchar(-1))"));
    const QString text = QString(900, QChar(u'账'));
    for (qint64 written = 0; written < bytes; written += 100 * 2700) {
        QStringList rows;
        for (int i = 0; i < 100; ++i)
            rows << QStringLiteral("(%1, N'%2')").arg(i).arg(text);
        db.execute(QStringLiteral("insert into t (id, zy) values ") + rows.join(u','));
    }
    m.backend().execute(QStringLiteral("backup database ") + database + QStringLiteral(" to disk='")
        + database + QStringLiteral(".bak' with init"));
}

double restoreMs(const QString &database, const char *check)
{
    qputenv("ZTWIZARD_BACKUP_CHECK", check);
    data::Connection c;
    data::Backend &m = test::openEmbedded(c, QStringLiteral("master"));
    try {
        m.execute(QStringLiteral("drop database r_") + database);
    } catch (const data::DataError &) { }
    // Into files of its own: the backup names those of the database it was made of.
    const QString folder = m.query(QStringLiteral("select serverproperty('InstanceDefaultDataPath')"))
                               .rows.value(0)
                               .value(0)
                               .toString();
    const QString moves = QStringLiteral(" with move '%1' to '%2r_%1.mdf', move '%1_log' to '%2r_%1_log.ldf'")
                              .arg(database, folder);
    QElapsedTimer clock;
    clock.start();
    m.execute(QStringLiteral("restore database r_") + database + QStringLiteral(" from disk='") + database
        + QStringLiteral(".bak'") + moves);
    return double(clock.nsecsElapsed()) / 1e6;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const int sets = argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : 1000;
    const int runs = argc > 2 ? QString::fromLocal8Bit(argv[2]).toInt() : 3;
    test::TestInstallation installation;
    if (!installation.isValid())
        return 1;

    QElapsedTimer clock;
    clock.start();
    plantSets(sets);
    std::printf("planted %d sets in %.1f s\n", sets, double(clock.elapsed()) / 1000);
    QList<double> times;
    int findings = 0;
    for (int run = 0; run < runs; ++run) {
        accountset::AccountSetObjects o;
        clock.restart();
        const doctor::Examination e = doctor::examine(o, Server);
        times << double(clock.nsecsElapsed()) / 1e6;
        findings = int(e.findings.size());
    }
    std::printf(
        "doctor, %d sets: %.0f ms (median of %d), %d findings\n", sets, median(times), runs, findings);

    for (const auto &[name, bytes] : { std::pair { QStringLiteral("m8"), qint64(8) << 20 },
             std::pair { QStringLiteral("m100"), qint64(100) << 20 } }) {
        fill(name, bytes);
        for (const char *check : { "off", "quick", "full" }) {
            QList<double> restore;
            for (int run = 0; run < runs; ++run)
                restore << restoreMs(name, check);
            std::printf("restore %s, check %s: %.0f ms (median of %d)\n", qPrintable(name), check,
                median(restore), runs);
        }
    }
    return 0;
}
