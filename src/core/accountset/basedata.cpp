#include "basedata.h"

#include "store/localstore.h"

namespace zt::accountset {

void transferBaseData(AccountSetObjects &o, const QStringList &tables, const TransferProgress &progress)
{
    // The string is the same on every run, so a connection left open by an earlier transfer
    // stays open.
    o.Conn_Ty2.setConnectionString(store::localAccessString(QStringLiteral("Sample.mdb")));
    o.ADOTy2.setConnection(&o.Conn_Ty2);
    o.ADOzd.setConnection(&o.Conn_Ty2);

    for (int index = 0; index < tables.size(); ++index) {
        const QString &table = tables.at(index);
        data::reopen(o.ADOTy2, QStringLiteral("select * from ") + table + QStringLiteral(" order by ID"));
        data::reopen(o.ADOTy1, QStringLiteral("select * from ") + table);
        const int rows = o.ADOTy2.recordCount();
        int posted = 0;
        if (progress)
            progress(table, index, static_cast<int>(tables.size()), posted, rows);
        while (!o.ADOTy2.isEof()) {
            data::reopen(o.ADOzd, QStringLiteral("select * from ") + table);
            o.ADOTy1.append();
            for (int column = 1; column < o.ADOzd.fieldCount(); ++column) {
                const QString name = o.ADOzd.fieldName(column);
                o.ADOTy1.setFieldText(name, o.ADOTy2.fieldAsText(name));
            }
            o.ADOTy1.post();
            o.ADOTy2.next();
            if (progress)
                progress(table, index, static_cast<int>(tables.size()), ++posted, rows);
        }
    }
}

} // namespace zt::accountset
