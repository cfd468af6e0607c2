#pragma once

#include "accountsetobjects.h"

#include <QStringList>

#include <functional>

namespace zt::accountset {

// Copies the base data of the listed tables, in list order, from data/Sample.mdb (Conn_Ty2 with
// ADOTy2 and the field-list query ADOzd) into the tables of the same names on the connection
// ADOTy1 is attached to. Source rows go in ascending ID order, each posted on its own; column 0
// of the source is skipped by position (the target fills it itself); every other value is carried
// as text, NULL as the empty text. The first failure is thrown (data::DataError); rows posted
// before it stay.
// progress, when given, is told each table as it begins (row 0) and each row posted.
using TransferProgress
    = std::function<void(const QString &table, int tableIndex, int tableCount, int row, int rows)>;
void transferBaseData(
    AccountSetObjects &objects, const QStringList &tables, const TransferProgress &progress = {});

} // namespace zt::accountset
