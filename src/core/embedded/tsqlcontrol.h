#pragma once

#include "tsqlstatement.h"

namespace zt::embedded {

// The statements that steer a batch rather than read or change rows: SET options, SET @v,
// DECLARE, PRINT, RAISERROR, BEGIN / COMMIT / ROLLBACK TRAN[SACTION] and EXEC[UTE] of a
// procedure (also a procedure named alone as the first statement). Their expressions become
// SELECT statements for SQLite. Empty for any other statement.
std::optional<Statement> parseControl(
    const QString &batch, const QList<Token> &tokens, const QString &database);

} // namespace zt::embedded
