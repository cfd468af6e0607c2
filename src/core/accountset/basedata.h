#pragma once

#include "accountsetobjects.h"

#include <QStringList>

namespace zt::accountset {

// Copies the base data of the listed tables, in list order, from data/Sample.mdb (Conn_Ty2 with
// ADOTy2 and the field-list query ADOzd) into the tables of the same names on the connection
// ADOTy1 is attached to. Source rows go in ascending ID order, each posted on its own; column 0
// of the source is skipped by position (the target fills it itself); every other value is carried
// as text, NULL as the empty text. The first failure is thrown (data::DataError); rows posted
// before it stay.
void transferBaseData(AccountSetObjects &objects, const QStringList &tables);

} // namespace zt::accountset
