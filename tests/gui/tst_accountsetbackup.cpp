// Page 2's backups: the safety copy before a deletion, "备份账套…" and "从备份恢复账套…" on the
// embedded server.
#include "embeddedsets.h"
#include "wizardfixture.h"

#include "accountset/directory.h"
#include "accountset/form_hfzt.h"
#include "data/dataerror.h"
#include "form_hfzt_ui.h"

#include <QAction>
#include <QDir>
#include <QTableView>

using namespace zt;
using data::ConnectionString;
using data::Credentials;
using data::LoginFragment;
using zt::test::Wizard;

using zt::test::Embedded;
using namespace zt::test::sets;

namespace {

const QString Prefix = QStringLiteral("[ztwizard][SQL Server]");

} // namespace

class TestAccountSetBackup : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void failedBackupAsksBeforeDeleting_data();
    void failedBackupAsksBeforeDeleting();
    void backupMenuBacksUpTheCurrentRow();
    void restoreDialogBringsASetBackAndListsIt();

private:
    void deleteCurrentRow(const QString &password);

    std::unique_ptr<Wizard> m_wizard;
};

void TestAccountSetBackup::init()
{
    m_wizard = std::make_unique<Wizard>();
    QVERIFY(m_wizard->installation.isValid());
    install::heldValues() = {};
}

void TestAccountSetBackup::cleanup()
{
    m_wizard.reset();
}


void TestAccountSetBackup::deleteCurrentRow(const QString &password)
{
    m_wizard->p2()->BitBtn3->click();
    m_wizard->p2()->Edit3->setText(password);
    m_wizard->p2()->BitBtn5->click();
}

void TestAccountSetBackup::failedBackupAsksBeforeDeleting_data()
{
    QTest::addColumn<bool>("answer");
    QTest::newRow("No deletes nothing") << false;
    QTest::newRow("Yes deletes without a backup") << true;
}

void TestAccountSetBackup::failedBackupAsksBeforeDeleting()
{
    QFETCH(bool, answer);
    registerSet(QStringLiteral("zt430"), QStringLiteral("甲"), QStringLiteral("pw"));
    // A file where the backup folder belongs: the backup cannot be written.
    const QString folder = m_wizard->installation.dir() + QStringLiteral("data/backup");
    QFile blocker(folder);
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    m_wizard->toEmbeddedDirectoryTab();
    m_wizard->notifier.answerAsk = answer;

    deleteCurrentRow(QStringLiteral("pw"));

    const auto &messages = m_wizard->notifier.messages;
    const auto asked
        = std::find_if(messages.begin(), messages.end(), [](const auto &m) { return m.kind == u"ask"; });
    QVERIFY(asked != messages.end());
    QCOMPARE(asked->caption, QStringLiteral("询问"));
    QCOMPARE(asked->text,
        QStringLiteral("账套备份出错！") + Prefix + QStringLiteral("Cannot open backup device '") + folder
            + QStringLiteral("/zt430_")
            + asked->text.section(QStringLiteral("/zt430_"), 1).section(u'\'', 0, 0)
            + QStringLiteral("'. Operating system error 3(The system cannot find the path specified.). ")
            + Prefix
            + QStringLiteral("BACKUP DATABASE is terminating abnormally.\n不备份而直接删除此账套吗？"));
    QCOMPARE(databaseExists(QStringLiteral("zt430")), !answer);
    QCOMPARE(directoryRows(QStringLiteral("zt430")), answer ? 0 : 1);
    QCOMPARE(m_wizard->p2()->DBGrid1->model()->rowCount(), answer ? 0 : 1);
    if (answer) {
        QCOMPARE(m_wizard->notifier.last().text, QStringLiteral("此账套已成功删除！"));
        QCOMPARE(m_wizard->notifier.last().caption, QStringLiteral("删除账套"));
    } else {
        QCOMPARE(m_wizard->notifier.last().kind, QStringLiteral("ask"));
    }
    QVERIFY(m_wizard->p2()->GroupBox1->isHidden());
    QVERIFY(!m_wizard->p2()->BitBtn5->testAttribute(Qt::WA_SetCursor));
}

void TestAccountSetBackup::backupMenuBacksUpTheCurrentRow()
{
    registerSet(QStringLiteral("zt440"), QStringLiteral("甲"), QString());
    m_wizard->toEmbeddedDirectoryTab();
    QVERIFY(m_wizard->p2()->DBGrid1->actions().contains(m_wizard->page2->backupAction()));
    QCOMPARE(m_wizard->page2->backupAction()->text(), QStringLiteral("备份账套…"));
    QCOMPARE(m_wizard->page2->restoreAction()->text(), QStringLiteral("从备份恢复账套…"));

    QString suggested, askedServer, chosen;
    m_wizard->page2->setBackupFileChooser([&](const QString &server, const QString &name) {
        askedServer = server;
        suggested = name;
        return chosen;
    });
    m_wizard->page2->backupAction()->trigger(); // cancelled
    QCOMPARE(askedServer, Embedded);
    QVERIFY(QRegularExpression(QStringLiteral("^zt440_\\d{8}_\\d{6}\\.bak$")).match(suggested).hasMatch());
    QVERIFY(m_wizard->notifier.messages.isEmpty());

    QTemporaryDir elsewhere;
    chosen = elsewhere.filePath(QStringLiteral("月末 备份.bak"));
    m_wizard->page2->backupAction()->trigger();
    QCOMPARE(m_wizard->notifier.last().kind, QStringLiteral("information"));
    QCOMPARE(
        m_wizard->notifier.last().text, QStringLiteral("账套备份成功！\n备份文件（在本机上）：") + chosen);
    QCOMPARE(m_wizard->notifier.last().caption, QStringLiteral("备份账套"));
    QVERIFY(QFile::exists(chosen));
    QVERIFY(!m_wizard->p2()->DBGrid1->testAttribute(Qt::WA_SetCursor));

    // A file that cannot be written: the server's text.
    chosen = elsewhere.filePath(QStringLiteral("none/x.bak"));
    m_wizard->page2->backupAction()->trigger();
    QCOMPARE(m_wizard->notifier.last().text,
        QStringLiteral("账套备份出错！") + Prefix + QStringLiteral("Cannot open backup device '") + chosen
            + QStringLiteral("'. Operating system error 3(The system cannot find the path specified.). ")
            + Prefix + QStringLiteral("BACKUP DATABASE is terminating abnormally."));
    QCOMPARE(m_wizard->notifier.last().caption, QStringLiteral("提示"));
}

void TestAccountSetBackup::restoreDialogBringsASetBackAndListsIt()
{
    registerSet(QStringLiteral("zt450"), QStringLiteral("甲"), QString());
    QTemporaryDir elsewhere;
    const QString file = elsewhere.filePath(QStringLiteral("zt450.bak"));
    exec(QStringLiteral("master"), QStringLiteral("backup database zt450 to disk=N'%1'").arg(file));
    m_wizard->toEmbeddedDirectoryTab();

    m_wizard->page2->restoreAction()->trigger();
    gui::TForm_HFZT *dialog = m_wizard->page2->restoreDialog();
    QVERIFY(dialog && dialog->isVisible());
    QCOMPARE(dialog->windowTitle(), QStringLiteral("从备份恢复账套"));
    QVERIFY(dialog->ui()->BitBtn1->isVisible()); // the file dialog, on the embedded server
    Ui::form_hfzt *d = dialog->ui();
    d->Edit1->setText(file);
    d->Edit2->setText(QStringLiteral("zt451"));
    d->Edit3->setText(QStringLiteral("乙"));
    d->Edit4->setText(QStringLiteral("k"));
    d->Edit5->setText(QStringLiteral("x"));
    d->BitBtn2->click();
    QCOMPARE(m_wizard->notifier.last().text, QStringLiteral("账套口令校验错误！"));
    QCOMPARE(m_wizard->notifier.last().caption, QStringLiteral("从备份恢复账套"));
    QVERIFY(dialog->isVisible());
    QVERIFY(!databaseExists(QStringLiteral("zt451")));

    d->Edit5->setText(QStringLiteral("k"));
    d->BitBtn2->click();
    QVERIFY(!dialog->isVisible());
    QCOMPARE(m_wizard->notifier.last().text, QStringLiteral("账套恢复成功！"));
    QCOMPARE(count(QStringLiteral("zt451"), QStringLiteral("select * from t")), 2);
    QCOMPARE(directoryRows(QStringLiteral("zt451")), 1);
    QCOMPARE(m_wizard->p2()->DBGrid1->model()->rowCount(), 2); // listed again

    // Again under the same name: the server refuses, nothing more is registered.
    m_wizard->page2->restoreAction()->trigger();
    QCOMPARE(d->Edit2->text(), QString()); // the dialog opens empty
    d->Edit1->setText(file);
    d->Edit2->setText(QStringLiteral("zt451"));
    d->Edit3->setText(QStringLiteral("乙"));
    d->BitBtn2->click();
    QCOMPARE(m_wizard->notifier.last().text,
        QStringLiteral("恢复账套出错！") + Prefix
            + QStringLiteral(
                "The backup set holds a backup of a database other than the existing 'zt451' database. ")
            + Prefix + QStringLiteral("RESTORE DATABASE is terminating abnormally."));
    QCOMPARE(directoryRows(QStringLiteral("zt451")), 1);
}

QTEST_MAIN(TestAccountSetBackup)

#include "tst_accountsetbackup.moc"
