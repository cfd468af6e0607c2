#pragma once

#include <QString>

class QFileDialog;
class QWidget;

namespace zt::gui {

// The wizard's file dialogs: Qt's own dialog (not the desktop's, whose texts follow the user's
// locale), its texts from Qt's Chinese translation and its dates and sizes written the Chinese
// way (Qt's file list would write them in the system locale, "9 Dec 2026").
QFileDialog *makeFileDialog(
    QWidget *parent, const QString &caption, const QString &path, const QString &filter, bool save);

// The chosen file, or an empty text when the user cancelled.
QString chooseSaveFile(QWidget *parent, const QString &caption, const QString &path, const QString &filter);
QString chooseOpenFile(QWidget *parent, const QString &caption, const QString &path, const QString &filter);

} // namespace zt::gui
