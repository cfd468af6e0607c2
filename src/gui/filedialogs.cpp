#include "filedialogs.h"

#include <QFileDialog>
#include <QFileSystemModel>
#include <QIdentityProxyModel>
#include <QLocale>

namespace zt::gui {

namespace {

constexpr int SizeColumn = 1;
constexpr int DateColumn = 3;

// The file list's sizes and dates in the default locale (Chinese) instead of the system's; sizes
// in kB and MB, base 1024, as Chinese desktops write them.
class LocaleFileList final : public QIdentityProxyModel
{
public:
    using QIdentityProxyModel::QIdentityProxyModel;

    QVariant data(const QModelIndex &index, int role) const override
    {
        const auto *files = qobject_cast<const QFileSystemModel *>(sourceModel());
        if (role != Qt::DisplayRole || !files
            || (index.column() != SizeColumn && index.column() != DateColumn))
            return QIdentityProxyModel::data(index, role);
        const QModelIndex source = mapToSource(index);
        if (index.column() == DateColumn)
            return QLocale().toString(files->lastModified(source), QLocale::ShortFormat);
        return files->isDir(source)
            ? QString()
            : QLocale().formattedDataSize(files->size(source), 2, QLocale::DataSizeTraditionalFormat);
    }
};

QString chosen(QFileDialog *dialog)
{
    const bool accepted = dialog->exec() == QDialog::Accepted && !dialog->selectedFiles().isEmpty();
    const QString file = accepted ? dialog->selectedFiles().constFirst() : QString();
    delete dialog;
    return file;
}

} // namespace

QFileDialog *makeFileDialog(
    QWidget *parent, const QString &caption, const QString &path, const QString &filter, bool save)
{
    auto *dialog = new QFileDialog(parent, caption, path, filter);
    dialog->setOption(QFileDialog::DontUseNativeDialog);
    dialog->setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog->setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    dialog->setProxyModel(new LocaleFileList(dialog));
    return dialog;
}

QString chooseSaveFile(QWidget *parent, const QString &caption, const QString &path, const QString &filter)
{
    return chosen(makeFileDialog(parent, caption, path, filter, true));
}

QString chooseOpenFile(QWidget *parent, const QString &caption, const QString &path, const QString &filter)
{
    return chosen(makeFileDialog(parent, caption, path, filter, false));
}

} // namespace zt::gui
