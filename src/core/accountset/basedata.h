#pragma once

#include "accountsetobjects.h"
#include "data/insertbatch.h"

#include <QStringList>

#include <functional>

namespace zt::accountset {

// Copies the base data of the listed tables, in list order, from data/Sample.mdb (Conn_Ty2 with
// ADOTy2 and the field-list query ADOzd) into the tables of the same names on the connection
// ADOTy1 is attached to. Source rows go in ascending ID order; column 0 of the source is skipped
// by position (the target fills it itself); every other value is carried as text, NULL as the
// empty text, converted for the target column as setting the field's text would. There is no
// transaction: each row stands on its own once written. The first failure is thrown
// (data::DataError) with the text posting row by row would give: a column the target lacks is
// "ADOTy1: Field '...' not found" before any row of its table, a refused value the server's
// text; the rows written before it stay, nothing after it is written.
//
// How it gets there: the source tables (local) are read first, each field list once; the columns
// of all target tables are asked for in one statement; the rows go to the server in few batches
// (data::InsertBatch). limits bound the size of a batch.
//
// progress, when given, is told each table as its rows begin (row 0) and once they are all handed
// to the server (row == rows).
using TransferProgress
    = std::function<void(const QString &table, int tableIndex, int tableCount, int row, int rows)>;
void transferBaseData(AccountSetObjects &objects, const QStringList &tables,
    const data::BatchLimits &limits = {}, const TransferProgress &progress = {});

} // namespace zt::accountset
