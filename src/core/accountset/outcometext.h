#pragma once

#include <QString>

namespace zt::accountset {

// What the account-set operations tell the user, worded once: page 2 shows these texts in its
// message boxes and ztaccountset on its lines. (The copy, the change of a name or password and
// the doctor word their outcomes beside their operations: copyOutcomeText, setChangeText,
// Finding::title.)
namespace outcome {

QString chooseServerName(); // page 1 without a server name
QString serverNameEmpty(); // page 2 (and every command) without one

QString created();
QString creationFailed(const QString &error);
QString sampleCreated();

QString alreadyListedLocally(); // take-over of a set the local list has
QString takenOver();
QString takeOverFailed(const QString &error);

QString wrongSetPassword();
QString deletionFailed(const QString &error);
QString deleted(const QString &backup); // where the safety copy lies, when one was made

QString backupFailed(const QString &error);
QString backedUp(const QString &server, const QString &location);
QString restoreFailed(const QString &error);
QString restored();

} // namespace outcome

} // namespace zt::accountset
