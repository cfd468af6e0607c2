#pragma once

#include "accountset/accountsetobjects.h"

#include <QWidget>

#include <functional>
#include <memory>
#include <optional>

class QAction;

namespace Ui {
class form_xzzt;
}

namespace zt::accountset {
class DirectoryModel;
struct DirectoryRow;
} // namespace zt::accountset

namespace zt::backupplan {
struct Plan;
struct SetStatus;
struct PlanState;
} // namespace zt::backupplan

namespace zt::gui {

class DetachableGroup;
class TForm_HFZT;
class TForm_ZDBF;
class TForm_XGZT;
class TForm_FZZT;
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

    // What page 1 hands over once it has shown this page (the show empties the fields first): the
    // server name, and the creation mode. A network login: "网络账套" checked and enabled, the
    // rented modes disabled. A rented database's login: "创建租用的远程ＳＱＬ数据库" checked, both
    // rented modes enabled, "网络账套" disabled, the login's user name as database and set name.
    void arrangeForNetworkSets(const QString &serverName);
    void arrangeForRentedDatabase(const QString &serverName, const QString &userName);

    // The grid's columns: "账套名称" (180 pixels) and "数据库名称" (100), titles centred. Call again
    // after giving DBGrid1 a new model.
    void applyGridColumns();

    // The page's data objects.
    accountset::AccountSetObjects &objects() { return m_objects; }
    data::Connection &Conn_Ty() { return m_objects.Conn_Ty; }
    data::Query &ADOTy() { return m_objects.ADOTy; }
    data::Connection &Conn_Ty1() { return m_objects.Conn_Ty1; }
    data::Query &ADOTy1() { return m_objects.ADOTy1; }
    data::Connection &Conn_Ty2() { return m_objects.Conn_Ty2; }
    data::Query &ADOTy2() { return m_objects.ADOTy2; }
    data::Query &ADOzd() { return m_objects.ADOzd; }
    data::Connection &Conn_ztgl() { return m_objects.Conn_ztgl; }
    data::Query &ADOztgl() { return m_objects.ADOztgl; }

    // The delete-password group, which the user can drag off the page as a floating window.
    DetachableGroup *deletePasswordGroup() const { return m_deleteGroup; }
    // Shows "创建例子帐套&S" in place of "创建账套&A" (Ctrl+Shift+S, or the first tab's context
    // menu), and back.
    QAction *sampleAction() const { return m_sampleAction; }

    // The network account-set grid's context menu: "备份账套…" for the current row and
    // "从备份恢复账套…", which opens the restore dialog.
    QAction *backupAction() const { return m_backupAction; }
    QAction *restoreAction() const { return m_restoreAction; }
    TForm_HFZT *restoreDialog() const { return m_restoreDialog; }
    QAction *checkAction() const { return m_checkAction; }
    // "自动备份…": the server's backup plan and each set's last backup.
    QAction *autoBackupAction() const { return m_autoBackupAction; }
    TForm_ZDBF *autoBackupDialog() const { return m_autoBackupDialog; }
    // "修改账套…": the current row's name or password, in the dialog "修改账套".
    QAction *changeAction() const { return m_changeAction; }
    TForm_XGZT *changeDialog() const { return m_changeDialog; }
    // "复制账套…" on the grid's context menu and the dialog it opens for the current row.
    QAction *copyAction() const { return m_copyAction; }
    TForm_FZZT *copyDialog() const { return m_copyDialog; }
    // Where "备份账套…" asks for the backup file: given the server name and the suggested file
    // name, the file to write or empty to cancel. By default a file dialog on the embedded
    // server, a typed path on the server otherwise.
    using BackupFileChooser = std::function<QString(const QString &server, const QString &suggested)>;
    void setBackupFileChooser(BackupFileChooser chooser) { m_chooseBackupFile = std::move(chooser); }

protected:
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;
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
    void BackupClick(); // back the current network account set up
    void RestoreClick(); // open the restore dialog
    void RestoreDialogAccepted(); // restore and register the account set the dialog describes
    void CheckClick(); // the doctor's findings for the server, mended after confirmation
    void AutoBackupClick(); // open the backup plan's dialog
    void AutoBackupDialogAccepted(); // keep the plan
    void AutoBackupRunNow(); // run the plan the dialog describes, now
    void AutoBackupRemove(); // remove the plan
    void ChangeClick(); // open the change dialog for the current network account set
    void ChangeDialogAccepted(); // change the set's name or password as the dialog says
    void CopyClick(); // open the copy dialog for the current network account set
    void CopyDialogAccepted(); // copy the set as the dialog describes, then list the directory again

    // Steps the handlers share.
    accountset::AccountSetFields fields() const;
    accountset::CreationMode creationMode() const;
    void showDirectory(); // the grid after a listing: first row current and selected
    void emptyDirectory(); // the grid shows no rows; the buttons of tab 1 do nothing
    void relistWhenFilled(); // page 1 fills the page after showing it: list once it has
    void deleteDirectoryRow();
    void showSampleButton(bool shown);
    // The follow-on launch after the question's OK; a program that cannot be started is named in
    // an error box that begins with ready (the set is ready all the same).
    void launchFollowOn(const QString &ready);
    void closeWizard();
    void setUpBackupMenu();
    void setUpCheckMenu();
    void setUpAutoBackupMenu();
    std::optional<backupplan::Plan> storedPlan() const;
    // The dialog's rows and the grid's notes for the plan, the state and the history read again.
    void showAutoBackupStatus(const std::optional<backupplan::Plan> &plan);
    void noteBackupsAfterListing(); // the grid's notes, where the server has a plan
    void showBackupNotes(
        bool planned, const QList<backupplan::SetStatus> &statuses, const backupplan::PlanState &state);
    void setUpChangeMenu();
    void setUpCopyMenu();
    void arrangeGridMenu();
    // After a creation refused with 1801: offers to clean up the unfinished set of that number
    // (backup, then drop) when nothing registers it; true when it was cleaned up.
    bool offerCleanUp(const QString &number);
    QString chooseBackupFile(const QString &server, const QString &suggested);
    // The held login on the server the page names, as the last operation that read the login
    // left it: what backup, deletion, the change of a name or password and the backup notes use.
    data::ServerLogin heldLogin() const;

    std::unique_ptr<Ui::form_xzzt> m_ui;
    Tform_server *m_serverPage = nullptr;
    accountset::AccountSetObjects m_objects;
    // The login the last operation read (HeldLogin writes the hidden field "server" from it).
    data::ServerLogin m_login;
    accountset::DirectoryModel *m_directoryModel = nullptr;
    DetachableGroup *m_deleteGroup = nullptr;
    QAction *m_sampleAction = nullptr;
    QAction *m_backupAction = nullptr;
    QAction *m_restoreAction = nullptr;
    TForm_HFZT *m_restoreDialog = nullptr;
    QAction *m_autoBackupAction = nullptr;
    TForm_ZDBF *m_autoBackupDialog = nullptr;
    QAction *m_checkAction = nullptr;
    QAction *m_changeAction = nullptr;
    TForm_XGZT *m_changeDialog = nullptr;
    QAction *m_copyAction = nullptr;
    TForm_FZZT *m_copyDialog = nullptr;
    BackupFileChooser m_chooseBackupFile;
    bool m_relistPending = false;
    bool m_removingDirectoryRow = false;
};

} // namespace zt::gui
