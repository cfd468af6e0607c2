#pragma once

#include "data/connection.h"
#include "data/query.h"

#include <QWidget>

#include <functional>
#include <memory>

namespace Ui {
class form_server;
}

namespace zt::gui {

class TForm_HJFW;
class Tform_xzzt;

// Page 1, the server setup page and the wizard's main window: the SQL Server, the login, the
// proof of the login by a probe database, and the way on to page 2.
class Tform_server final : public QWidget
{
    Q_OBJECT

public:
    explicit Tform_server(QWidget *parent = nullptr);
    ~Tform_server() override;
    Q_DISABLE_COPY_MOVE(Tform_server)

    // The other two windows, created after this one.
    void setAccountSetPage(Tform_xzzt *page) { m_accountSetPage = page; }
    void setLookupDialog(TForm_HJFW *dialog);
    // Makes and wires the other two windows when a handler needs them before they exist (the
    // application makes them only once this page is painted, see WizardWindows).
    void setOtherWindowsMaker(std::function<void()> make) { m_makeOtherWindows = std::move(make); }

    Ui::form_server *ui() const { return m_ui.get(); }

    // The help request of both pages: topic "创建账套" into Edit3 (which writes help.ini when the
    // text changes), then the help viewer.
    void requestHelp();

signals:
    // The main window has closed: the wizard ends.
    void closed();

protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void FormCreate();
    void FormShow();
    void RadioButton1Click();
    void RadioButton2Click();
    void CheckBox2Click();
    void SpeedButton1Click();
    void BitBtn7Click();
    void BitBtn7MouseMove();
    void BitBtn8Click();
    void BitBtn1Click();
    void Edit3Change();
    // A server the user picked in the box: the login it was stored with fills the login fields.
    void SQLServersListComboBox1Select(int index);
    // The servers stored in xtljb, into the box beside what the search finds.
    void showStoredServers();

    void ActserverExecute();
    // Creates and drops the probe database through Conn1.
    void probeLogin(const data::ConnectionString &probeString);
    // The clean-up of a failed "下一步&N": drops the probe database on whatever ADOQuery1 is
    // attached to; its own errors are ignored.
    void dropProbeDatabase();
    // After a failed connection: asks about a certificate or an unencrypted server the guard
    // refused, trusts it and connects again on OK. False when there was nothing to ask.
    bool askAboutRefusal(const QString &serverName);
    void arrangeAccountSetPage(const QString &serverName);
    void focusServerBox();
    void needOtherWindows();

    std::unique_ptr<Ui::form_server> m_ui;
    Tform_xzzt *m_accountSetPage = nullptr;
    TForm_HJFW *m_lookupDialog = nullptr;
    std::function<void()> m_makeOtherWindows;

    data::Connection m_connS { QStringLiteral("Conn_S") };
    data::Query m_adoQuery2 { QStringLiteral("ADOQuery2") };
    data::Connection m_conn1 { QStringLiteral("Conn1") };
    data::Query m_adoQuery1 { QStringLiteral("ADOQuery1") };
};

} // namespace zt::gui
