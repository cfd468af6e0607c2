#pragma once

#include "accountset/copying.h"

#include <QDialog>

#include <memory>

namespace Ui {
class form_fzzt;
}

namespace zt::gui {

// The dialog "复制账套" of the network account-set tab: the set to copy (name and number), its
// present password, and the new set's database name, name and password twice. "复制&C" accepts the
// dialog once the fields pass the copy's checks and the present password is the set's; the page
// then copies.
class TForm_FZZT final : public QDialog
{
    Q_OBJECT

public:
    explicit TForm_FZZT(QWidget *parent = nullptr);
    ~TForm_FZZT() override;
    Q_DISABLE_COPY_MOVE(TForm_FZZT)

    Ui::form_fzzt *ui() const { return m_ui.get(); }

    // Empties the fields for a copy of the directory row on the server (the new name starts as the
    // source's) and shows the dialog window-modal.
    void openFor(const QString &server, const accountset::DirectoryRow &source);

    // The copy the fields describe.
    accountset::CopyRequest request() const;

private:
    void BitBtn2Click(); // check the fields and accept
    void BitBtn3Click(); // cancel

    std::unique_ptr<Ui::form_fzzt> m_ui;
    QString m_server;
    accountset::DirectoryRow m_source;
};

} // namespace zt::gui
