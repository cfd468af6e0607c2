#pragma once

#include "data/connection.h"
#include "data/query.h"

#include <QWidget>

#include <memory>

class QAbstractItemModel;

namespace Ui {
class form_xzzt;
}

namespace zt::gui {

class Tform_server;

// Page 2, the account-set page: creation of a new account set on its first tab, the network
// account sets of the current server on its second. Page 1 shows it, then fills the server name
// and arranges the creation mode.
class Tform_xzzt final : public QWidget
{
    Q_OBJECT

public:
    explicit Tform_xzzt(QWidget *parent = nullptr);
    ~Tform_xzzt() override;
    Q_DISABLE_COPY_MOVE(Tform_xzzt)

    void setServerPage(Tform_server *page) { m_serverPage = page; }
    Tform_server *serverPage() const { return m_serverPage; }

    Ui::form_xzzt *ui() const { return m_ui.get(); }

    // The grid's columns: "账套名称" (180 pixels) and "数据库名称" (100), titles centred. Call again
    // after giving DBGrid1 a new model.
    void applyGridColumns();

    // The page's data objects.
    data::Connection &Conn_Ty() { return m_connTy; }
    data::Query &ADOTy() { return m_adoTy; }
    data::Connection &Conn_Ty1() { return m_connTy1; }
    data::Query &ADOTy1() { return m_adoTy1; }
    data::Connection &Conn_Ty2() { return m_connTy2; }
    data::Query &ADOTy2() { return m_adoTy2; }
    data::Query &ADOzd() { return m_adoZd; }
    data::Connection &Conn_ztgl() { return m_connZtgl; }
    data::Query &ADOztgl() { return m_adoZtgl; }

protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void FormShow();
    void BitBtn7Click();
    void BitBtn8Click();
    void BitBtn9Click();

    void Edit1KeyPress(QChar key);
    void Edit5KeyPress(QChar key);
    void Edit2KeyPress(QChar key);
    void Edit6KeyPress(QChar key);
    void Edit4KeyPress(QChar key);

    void BitBtn1MouseMove();
    void BitBtn4MouseMove();
    void BitBtn5MouseMove();

    // The account-set operations behind the page's buttons and tab change.
    void BitBtn1Click(); // create an account set
    void BitBtn4Click(); // restore the sample account set
    void BitBtn2Click(); // pick the current network account set
    void BitBtn3Click(); // open the delete-password group
    void BitBtn5Click(); // delete the current network account set
    void BitBtn6Click(); // close the delete-password group
    void PageControl1Change(); // load the network account-set directory

    std::unique_ptr<Ui::form_xzzt> m_ui;
    Tform_server *m_serverPage = nullptr;

    data::Connection m_connTy { QStringLiteral("Conn_Ty") };
    data::Connection m_connTy1 { QStringLiteral("Conn_Ty1") };
    data::Connection m_connTy2 { QStringLiteral("Conn_Ty2") };
    data::Connection m_connZtgl { QStringLiteral("Conn_ztgl") };
    data::Query m_adoTy { QStringLiteral("ADOTy") };
    data::Query m_adoTy1 { QStringLiteral("ADOTy1") };
    data::Query m_adoTy2 { QStringLiteral("ADOTy2") };
    data::Query m_adoZd { QStringLiteral("ADOzd") };
    data::Query m_adoZtgl { QStringLiteral("ADOztgl") };
};

} // namespace zt::gui
