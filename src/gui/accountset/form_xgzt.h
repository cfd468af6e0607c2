#pragma once

#include "accountset/directory.h"
#include "accountset/setchange.h"

#include <QDialog>

#include <memory>

namespace Ui {
class form_xgzt;
}

namespace zt::gui {

// The dialog "修改账套" of the network account-set tab: the set's number (read-only), its name
// (filled with the present one), its present password and the new password twice (left empty,
// the password stays). "确定&O" accepts the dialog once the new values pass the creation's checks;
// the page then changes the set.
class TForm_XGZT final : public QDialog
{
    Q_OBJECT

public:
    explicit TForm_XGZT(QWidget *parent = nullptr);
    ~TForm_XGZT() override;
    Q_DISABLE_COPY_MOVE(TForm_XGZT)

    Ui::form_xgzt *ui() const { return m_ui.get(); }

    // Fills the fields for the directory row's set and shows the dialog window-modal.
    void openFor(const accountset::DirectoryRow &row);
    // Shows the dialog again as it was left, the present password emptied and focused (after the
    // page found it wrong).
    void askPresentPasswordAgain();

    const accountset::DirectoryRow &row() const { return m_row; }
    // The change the fields describe: the name when it differs from the present one, the password
    // when either of its fields is filled.
    accountset::SetChange change() const;
    QString presentPassword() const;

private:
    void BitBtn1Click(); // check the fields and accept
    void BitBtn2Click(); // cancel

    std::unique_ptr<Ui::form_xgzt> m_ui;
    accountset::DirectoryRow m_row;
};

} // namespace zt::gui
