// Times the build of one account set on the embedded server:
//  1. create a database, run the shipped script, insert every base-data row one posted row at a
//     time (the data layer's append / post, as the creation does it);
//  2. a whole network-mode creation as the page runs it (file copy, script, base-data transfer,
//     registration).
// Usage: bench_creation [runs]
#include "accountset/basedata.h"
#include "accountset/creation.h"
#include "data/dataerror.h"
#include "store/localstore.h"
#include "testhelpers.h"
#include "testinstallation.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <algorithm>
#include <cstdio>

using namespace zt;
using namespace zt::accountset;

namespace {

const QString Server = QStringLiteral("(embedded)");

double median(QList<double> values)
{
    std::sort(values.begin(), values.end());
    return values.at(values.size() / 2);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, atoi(argv[1])) : 5;
    test::TestInstallation installation;
    if (!installation.isValid())
        return 1;
    {
        data::Connection c;
        data::Query q(QStringLiteral("ADOQuery2"));
        store::openLocalConfiguration(c, q);
        store::storeServerRecord(q, Server, data::Credentials::integrated());
    }
    const auto fragment = data::LoginFragment::fromLogin(data::Credentials::integrated());

    QList<double> build, whole;
    try {
        for (int run = 0; run < runs; ++run) {
            const QString name = QStringLiteral("bench%1").arg(run);
            AccountSetObjects o;
            store::openLocalConfiguration(o.Conn_Ty, o.ADOTy);
            QElapsedTimer timer;
            timer.start();
            o.Conn_Ty1.setConnectionString(data::ConnectionString::server(fragment, Server));
            o.ADOTy1.setConnection(&o.Conn_Ty1);
            o.ADOTy1.addSql(QStringLiteral("create database ") + name);
            o.ADOTy1.execSql();
            o.Conn_Ty1.close();
            o.Conn_Ty1.setConnectionString(data::ConnectionString::catalog(fragment, name, Server));
            o.ADOTy1.setConnection(&o.Conn_Ty1);
            runCreationScript(o);
            // Every row, one append and post each, without the per-row field-list query.
            o.Conn_Ty2.setConnectionString(store::localAccessString(QStringLiteral("Sample.mdb")));
            o.ADOTy2.setConnection(&o.Conn_Ty2);
            for (const QString &table : baseDataTables()) {
                o.ADOTy2.close();
                o.ADOTy2.clearSql();
                o.ADOTy2.addSql(QStringLiteral("select * from ") + table + QStringLiteral(" order by ID"));
                o.ADOTy2.open();
                o.ADOTy1.close();
                o.ADOTy1.clearSql();
                o.ADOTy1.addSql(QStringLiteral("select * from ") + table);
                o.ADOTy1.open();
                for (; !o.ADOTy2.isEof(); o.ADOTy2.next()) {
                    o.ADOTy1.append();
                    for (int c = 1; c < o.ADOTy2.fieldCount(); ++c)
                        o.ADOTy1.setFieldText(
                            o.ADOTy2.fieldName(c), o.ADOTy2.fieldAsText(o.ADOTy2.fieldName(c)));
                    o.ADOTy1.post();
                }
            }
            build << timer.nsecsElapsed() / 1e6;

            CreationContext context;
            data::ServerLogin held;
            timer.restart();
            test::done(createAccountSet(o,
                { Server, QStringLiteral("whole%1").arg(run), QStringLiteral("示范"), QString() },
                CreationMode::Network, held, context));
            whole << timer.nsecsElapsed() / 1e6;
        }
    } catch (const data::DataError &e) {
        std::fprintf(stderr, "failed: %s\n", qPrintable(e.message()));
        return 1;
    }
    std::printf("build of one account set (database, script, base data posted row by row): median %.0f ms, "
                "min %.0f ms over %d runs\n",
        median(build), *std::min_element(build.begin(), build.end()), runs);
    std::printf("whole network-mode creation: median %.0f ms, min %.0f ms over %d runs\n", median(whole),
        *std::min_element(whole.begin(), whole.end()), runs);
    return 0;
}
