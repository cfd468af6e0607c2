#pragma once

#include "accountset/backup.h"

#include <QDialog>

#include <memory>

namespace Ui {
class form_hfzt;
}

namespace zt::gui {

// The dialog "从备份恢复账套" of the network account-set tab: the backup file (on the embedded
// server chosen with a file dialog, on a real server a path on the server, typed), the new
// database name, the account-set name and its password twice. "恢复&R" accepts the dialog once
// the fields pass the creation's checks; the page then restores.
class TForm_HFZT final : public QDialog
{
    Q_OBJECT

public:
    explicit TForm_HFZT(QWidget *parent = nullptr);
    ~TForm_HFZT() override;
    Q_DISABLE_COPY_MOVE(TForm_HFZT)

    Ui::form_hfzt *ui() const { return m_ui.get(); }

    // Empties the fields for a restore on the server and shows the dialog window-modal.
    void openFor(const QString &server);

    // The restore the fields describe.
    accountset::RestoreRequest request() const;

private:
    void BitBtn1Click(); // choose the backup file
    void BitBtn2Click(); // check the fields and accept
    void BitBtn3Click(); // cancel

    std::unique_ptr<Ui::form_hfzt> m_ui;
    QString m_server;
};

} // namespace zt::gui
