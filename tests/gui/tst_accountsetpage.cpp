// Page 2's operations against the embedded server, through the page: creation in its three
// modes, the network directory on the second tab, selection and deletion of a listed set, and
// the sample account set.
#include "wizardfixture.h"

#include "accountset/creation.h"
#include "accountset/detachablegroup.h"
#include "accountset/directory.h"
#include "accountset/networkset.h"
#include "accountset/progressbarcopy.h"
#include "accountset/rowindicator.h"
#include "data/dataerror.h"

#include <QAction>
#include <QDir>
#include <QFileInfo>
#include <QMouseEvent>
#include <QProgressBar>
#include <QTableView>

using namespace zt;
using namespace zt::test;
using data::ConnectionString;
using data::Login;
using data::LoginFragment;

namespace {

const QString Embedded = QStringLiteral("(embedded)");
const QString Prefix = QStringLiteral("[ztwizard][SQL Server]");

ConnectionString catalogString(const QString &catalog, const QString &server = Embedded)
{
    return ConnectionString::catalog(LoginFragment::fromLogin(Login::integrated()), catalog, server);
}

// Runs a statement on a database of the embedded server as the operating-system user.
void exec(const QString &catalog, const QString &sql, const QString &server = Embedded)
{
    data::Connection c;
    c.setConnectionString(catalogString(catalog, server));
    c.backend().execute(sql);
}

int count(const QString &catalog, const QString &sql, const QString &server = Embedded)
{
    data::Connection c;
    c.setConnectionString(catalogString(catalog, server));
    return static_cast<int>(c.backend().query(sql).rows.size());
}

bool databaseExists(const QString &name)
{
    try {
        count(name, QStringLiteral("select name from sqlite_master"));
        return true;
    } catch (const data::DataError &) {
        return false;
    }
}

// Directory rows put on the server the way other workstations would have registered them.
void registerOnServer(const QList<QStringList> &rows, const QString &server = Embedded)
{
    try {
        exec(QStringLiteral("master"), accountset::directoryTableStatement().join(QStringLiteral("\r\n")),
            server);
    } catch (const data::DataError &) {
        // the table exists already
    }
    for (const QStringList &row : rows)
        exec(QStringLiteral("master"),
            QStringLiteral("insert into PBTOVRASQLBASEDATA (ztbh, ztmc, zjmc, kl) values (%1, %2, %3, %4)")
                .arg(store::sqlLiteral(row.at(0)), store::sqlLiteral(row.at(1)), store::sqlLiteral(server),
                    store::sqlLiteral(row.value(2))),
            server);
}

int directoryRows(const QString &number)
{
    return count(QStringLiteral("master"),
        QStringLiteral("select * from PBTOVRASQLBASEDATA where ztbh = %1").arg(store::sqlLiteral(number)));
}

struct LocalRow
{
    int count = 0;
    QString name, password, net;
};

LocalRow localRow(const QString &number, const QString &server = Embedded)
{
    data::Connection c;
    data::Query q(QStringLiteral("check"));
    store::openLocalConfiguration(c, q);
    if (!store::findAccountSetRow(q, number, server))
        return {};
    return { q.recordCount(), q.fieldAsText(QStringLiteral("ztmc")), q.fieldAsText(QStringLiteral("kl")),
        q.fieldAsText(QStringLiteral("net")) };
}

} // namespace

class TestAccountSetPage : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    // Creation
    void creationChecks_data();
    void creationChecks();
    void creationModes_data();
    void creationModes();
    void failedCreationKeepsTheEntries();

    // The network directory
    void directoryIsListedOnTheTabInNetworkModeOnly();
    void buttonsDoNothingWithoutAListing();
    void pageShownAgainNeverShowsTheOldServersDirectory();

    // Selection and deletion
    void selectionTakesTheSelectedRowAndEnds_data();
    void selectionTakesTheSelectedRowAndEnds();
    void setAlreadyListedLocallyIsNotTakenAgain();
    void hostileDirectoryRowIsRefused();
    void wrongDeletionPasswordIsRefused_data();
    void wrongDeletionPasswordIsRefused();
    void deletionDropsTheDatabaseAndTheRow();
    void databaseInUseOffersToRemoveTheRowOnly_data();
    void databaseInUseOffersToRemoveTheRowOnly();
    void deletePasswordGroupCanFloat();

    // The sample account set
    void sampleButtonIsReachedByShortcutAndMenu();
    void sampleIsRestoredOnceThenTheServerRefuses();
    void sampleInRentedBuildModeLeavesTheDirectory();
    void sampleNeedsAServerName();

    void progressBarShowsHugeFilesInProportion();
    void emptyTemplateLeavesAnEmptyBar();
    void gridMarksTheCurrentRowInsteadOfNumberingRows();

private:
    void toPageTwo(const QString &server = Embedded);
    void activate();
    void setMode(QRadioButton *mode);
    void listTab();
    void fill(const QString &database, const QString &name, const QString &password, const QString &again);
    QStringList gridColumn(int column) const;
    void selectGridRow(int row);

    std::unique_ptr<Wizard> m_wizard;
};

void TestAccountSetPage::init()
{
    m_wizard = std::make_unique<Wizard>();
    QVERIFY(m_wizard->installation.isValid());
    install::heldValues() = {};
}

void TestAccountSetPage::cleanup()
{
    m_wizard.reset();
}

// Page 1 with the Windows login and "下一步&N": the server record is stored, page 2 is filled.
void TestAccountSetPage::toPageTwo(const QString &server)
{
    m_wizard->server->show();
    m_wizard->p1()->RadioButton1->click();
    m_wizard->p1()->SQLServersListComboBox1->setEditText(server);
    QTest::mouseClick(m_wizard->p1()->BitBtn7, Qt::LeftButton);
    QVERIFY2(m_wizard->notifier.messages.isEmpty(), qPrintable(m_wizard->notifier.messages.value(0).text));
    QVERIFY(m_wizard->page2->isVisible());
    QCoreApplication::processEvents(); // what the page does once page 1 has filled it
}

void TestAccountSetPage::activate()
{
    m_wizard->page2->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(m_wizard->page2));
}

void TestAccountSetPage::setMode(QRadioButton *mode)
{
    mode->setEnabled(true);
    mode->setChecked(true);
}

void TestAccountSetPage::listTab()
{
    m_wizard->p2()->PageControl1->setCurrentIndex(0);
    m_wizard->p2()->PageControl1->setCurrentIndex(1);
}

void TestAccountSetPage::fill(
    const QString &database, const QString &name, const QString &password, const QString &again)
{
    m_wizard->p2()->Edit5->setText(database);
    m_wizard->p2()->Edit2->setText(name);
    m_wizard->p2()->Edit6->setText(password);
    m_wizard->p2()->Edit4->setText(again);
}

QStringList TestAccountSetPage::gridColumn(int column) const
{
    const QAbstractItemModel *model = m_wizard->p2()->DBGrid1->model();
    QStringList texts;
    for (int row = 0; row < model->rowCount(); ++row)
        texts.append(model->index(row, column).data().toString());
    return texts;
}

void TestAccountSetPage::selectGridRow(int row)
{
    QTableView *grid = m_wizard->p2()->DBGrid1;
    QTest::mouseClick(
        grid->viewport(), Qt::LeftButton, {}, grid->visualRect(grid->model()->index(row, 0)).center());
    QCOMPARE(grid->currentIndex().row(), row);
}

void TestAccountSetPage::creationChecks_data()
{
    QTest::addColumn<QString>("server");
    QTest::addColumn<QString>("database");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("password");
    QTest::addColumn<QString>("again");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("focus");

    QTest::newRow("no server") << ""
                               << "zt01"
                               << "甲"
                               << ""
                               << ""
                               << "服务器名称不能为空,请点击“上一步”获取可加用的服务器名称！"
                               << "BitBtn1"; // unchanged: the pressed button
    QTest::newRow("no database") << Embedded << ""
                                 << "甲"
                                 << ""
                                 << ""
                                 << "数据库名称不能为空！"
                                 << "Edit5";
    QTest::newRow("database of blanks") << Embedded << "  "
                                        << "甲"
                                        << ""
                                        << ""
                                        << "数据库名称不能为空！"
                                        << "Edit5";
    QTest::newRow("no name") << Embedded << "zt01"
                             << ""
                             << ""
                             << ""
                             << "账套名称不能为空！"
                             << "Edit2";
    QTest::newRow("passwords differ in case") << Embedded << "zt01"
                                              << "甲"
                                              << "Pw"
                                              << "pw"
                                              << "账套口令校验错误！"
                                              << "Edit6";
}

void TestAccountSetPage::creationChecks()
{
    QFETCH(QString, server);
    QFETCH(QString, database);
    QFETCH(QString, name);
    QFETCH(QString, password);
    QFETCH(QString, again);
    QFETCH(QString, message);
    QFETCH(QString, focus);
    toPageTwo();
    activate();
    Ui::form_xzzt *p2 = m_wizard->p2();
    p2->Edit1->setText(server);
    fill(database, name, password, again);
    p2->Edit4->setFocus();
    QTRY_VERIFY(p2->Edit4->hasFocus());

    QTest::mouseClick(p2->BitBtn1, Qt::LeftButton);

    QCOMPARE(m_wizard->notifier.messages.size(), 1);
    QCOMPARE(m_wizard->notifier.last().kind, QStringLiteral("information"));
    QCOMPARE(m_wizard->notifier.last().text, message);
    QCOMPARE(m_wizard->notifier.last().caption, QStringLiteral("新增账套"));
    QTRY_COMPARE(QApplication::focusWidget()->objectName(), focus);
    QVERIFY(!p2->BitBtn1->testAttribute(Qt::WA_SetCursor));
    QVERIFY(p2->ProgressBar1->isHidden());
    QCOMPARE(localRow(database.trimmed()).count, 0);
}

void TestAccountSetPage::creationModes_data()
{
    QTest::addColumn<QString>("mode");
    QTest::addColumn<bool>("answer");
    QTest::addColumn<QString>("net");
    QTest::addColumn<int>("expectedDirectoryRows"); // -1: no directory table

    QTest::newRow("network, start now") << "CheckBox1" << true << "是" << 1;
    QTest::newRow("network, not now") << "CheckBox1" << false << "是" << 1;
    QTest::newRow("rented build") << "CheckBox2" << true << "" << -1;
    QTest::newRow("rented register") << "CheckBox3" << false << "否" << 0;
}

void TestAccountSetPage::creationModes()
{
    QFETCH(QString, mode);
    QFETCH(bool, answer);
    QFETCH(QString, net);
    QFETCH(int, expectedDirectoryRows);
    toPageTwo();
    Ui::form_xzzt *p2 = m_wizard->p2();
    const QString number = QStringLiteral("zt100");
    if (mode != u"CheckBox1")
        exec(QStringLiteral("master"), QStringLiteral("create database zt100"));
    setMode(m_wizard->page2->findChild<QRadioButton *>(mode));
    fill(number, QStringLiteral(" 北京示范贸易 "), QStringLiteral("pw"), QStringLiteral("pw"));
    m_wizard->notifier.answerQuestion = answer;

    QTest::mouseClick(p2->BitBtn1, Qt::LeftButton);

    QCOMPARE(m_wizard->notifier.messages.size(), 1);
    QCOMPARE(m_wizard->notifier.last().kind, QStringLiteral("question"));
    QCOMPARE(m_wizard->notifier.last().text, QStringLiteral("账套创建成功，现在就开始进入吗？"));
    QCOMPARE(m_wizard->notifier.last().caption, QStringLiteral("询问"));
    QCOMPARE(m_wizard->started.size(), answer ? 1 : 0);
    QCOMPARE(m_wizard->closedSpy->count(), 1);
    QVERIFY(!m_wizard->page2->isVisible());
    QVERIFY(!p2->BitBtn1->testAttribute(Qt::WA_SetCursor));

    // The per-set system file was copied with the bar shown, which stays at its end.
    QVERIFY(QFile::exists(accountset::perSetPath(number)));
    QVERIFY(!p2->ProgressBar1->isHidden());
    QVERIFY(p2->ProgressBar1->maximum() > 0);
    QCOMPARE(p2->ProgressBar1->value(), p2->ProgressBar1->maximum());
    QCOMPARE(p2->server->text(), QString::fromLatin1(LoginFragment::IntegratedText));

    const LocalRow row = localRow(number);
    QCOMPARE(row.count, 1);
    QCOMPARE(row.name, QStringLiteral("北京示范贸易"));
    QCOMPARE(row.net, net);
    if (mode != u"CheckBox3")
        QVERIFY(count(number, QStringLiteral("select * from kjkmxxb")) > 100);
    if (expectedDirectoryRows < 0)
        QVERIFY_THROWS_EXCEPTION(data::DataError, ::directoryRows(number));
    else
        QCOMPARE(::directoryRows(number), expectedDirectoryRows);
}

void TestAccountSetPage::failedCreationKeepsTheEntries()
{
    toPageTwo();
    Ui::form_xzzt *p2 = m_wizard->p2();
    exec(QStringLiteral("master"), QStringLiteral("create database zt101"));
    fill(QStringLiteral("zt101"), QStringLiteral("甲"), QStringLiteral("pw"), QStringLiteral("pw"));

    // Nothing registers zt101: after the message the page offers to clean it up; No keeps it.
    m_wizard->notifier.answerAsk = false;
    QTest::mouseClick(p2->BitBtn1, Qt::LeftButton);

    QCOMPARE(m_wizard->notifier.messages.size(), 2);
    QCOMPARE(m_wizard->notifier.messages.first().kind, QStringLiteral("information"));
    QCOMPARE(m_wizard->notifier.messages.first().text,
        QStringLiteral("新增账套出错！") + Prefix
            + QStringLiteral("Database 'zt101' already exists. Choose a different database name."));
    QCOMPARE(m_wizard->notifier.messages.first().caption, QStringLiteral("提示"));
    QCOMPARE(m_wizard->notifier.last().kind, QStringLiteral("ask"));
    QVERIFY(count(QStringLiteral("zt101"), QStringLiteral("select 1")) == 1);
    QVERIFY(m_wizard->page2->isVisible());
    QCOMPARE(m_wizard->closedSpy->count(), 0);
    QVERIFY(!p2->BitBtn1->testAttribute(Qt::WA_SetCursor));
    QCOMPARE(p2->Edit5->text(), QStringLiteral("zt101"));
    QCOMPARE(p2->Edit2->text(), QStringLiteral("甲"));
    QCOMPARE(p2->Edit6->text(), QStringLiteral("pw"));
    QCOMPARE(p2->Edit4->text(), QStringLiteral("pw"));
    // The fragment had been read before the server refused.
    QCOMPARE(p2->server->text(), QString::fromLatin1(LoginFragment::IntegratedText));
    QCOMPARE(localRow(QStringLiteral("zt101")).count, 0);
}

void TestAccountSetPage::directoryIsListedOnTheTabInNetworkModeOnly()
{
    registerOnServer({ { "zt200", "北京总部", "a" }, { "zt201", "上海分公司", "b" } });
    toPageTwo();
    Ui::form_xzzt *p2 = m_wizard->p2();
    QCOMPARE(p2->DBGrid1->model()->rowCount(), 0);

    p2->PageControl1->setCurrentIndex(1);
    QCOMPARE(gridColumn(0), QStringList({ QStringLiteral("北京总部"), QStringLiteral("上海分公司") }));
    QCOMPARE(gridColumn(1), QStringList({ QStringLiteral("zt200"), QStringLiteral("zt201") }));
    QCOMPARE(p2->DBGrid1->columnWidth(0), 180);
    QCOMPARE(p2->DBGrid1->columnWidth(1), 100);
    QCOMPARE(p2->DBGrid1->currentIndex().row(), 0);
    QVERIFY(p2->DBGrid1->selectionModel()->isRowSelected(0, {}));
    QCOMPARE(p2->server->text(), QString::fromLatin1(LoginFragment::IntegratedText));

    // The current directory row follows the grid.
    selectGridRow(1);
    QCOMPARE(accountset::currentDirectoryRow(m_wizard->page2->ADOztgl()).number, QStringLiteral("zt201"));

    // Outside the network mode the tab lists nothing new: the grid keeps the last listing.
    registerOnServer({ { "zt202", "广州分公司", "c" } });
    setMode(p2->CheckBox3);
    listTab();
    QCOMPARE(gridColumn(1).size(), 2);
    setMode(p2->CheckBox1);
    listTab();
    QCOMPARE(gridColumn(1).size(), 3);
    // Back to the first tab lists nothing either.
    registerOnServer({ { "zt203", "深圳分公司", "d" } });
    p2->PageControl1->setCurrentIndex(0);
    QCOMPARE(gridColumn(1).size(), 3);
    QVERIFY(m_wizard->notifier.messages.isEmpty());
}

void TestAccountSetPage::buttonsDoNothingWithoutAListing()
{
    registerOnServer({ { "zt210", "甲", "" } });
    toPageTwo();
    Ui::form_xzzt *p2 = m_wizard->p2();
    // Entered in another mode, the tab has never been listed.
    setMode(p2->CheckBox2);
    p2->PageControl1->setCurrentIndex(1);
    QCOMPARE(p2->DBGrid1->model()->rowCount(), 0);
    for (QPushButton *button : { p2->BitBtn2, p2->BitBtn3, p2->BitBtn5 })
        button->click();
    QVERIFY2(m_wizard->notifier.messages.isEmpty(), qPrintable(m_wizard->notifier.messages.value(0).text));
    QVERIFY(p2->GroupBox1->isHidden());
    QCOMPARE(directoryRows(QStringLiteral("zt210")), 1);
    QCOMPARE(m_wizard->closedSpy->count(), 0);
}

void TestAccountSetPage::pageShownAgainNeverShowsTheOldServersDirectory()
{
    const QString second = QStringLiteral("(embedded)\\TWO");
    registerOnServer({ { "zt220", "甲", "" }, { "zt221", "乙", "" } });
    registerOnServer({ { "zt229", "丙", "" } }, second);
    toPageTwo();
    Ui::form_xzzt *p2 = m_wizard->p2();
    p2->PageControl1->setCurrentIndex(1);
    QCOMPARE(gridColumn(1), QStringList({ QStringLiteral("zt220"), QStringLiteral("zt221") }));

    // Back to page 1 and on with another server, the tab still active: its directory is listed.
    QTest::mouseClick(p2->BitBtn7, Qt::LeftButton);
    toPageTwo(second);
    QCOMPARE(p2->PageControl1->currentIndex(), 1);
    QCOMPARE(p2->Edit1->text(), second);
    QCOMPARE(gridColumn(1), QStringList({ QStringLiteral("zt229") }));
    QCOMPARE(accountset::currentDirectoryRow(m_wizard->page2->ADOztgl()).number, QStringLiteral("zt229"));

    // Again in the rented-database mode, which lists nothing: the grid is empty, the buttons idle.
    QTest::mouseClick(p2->BitBtn7, Qt::LeftButton);
    m_wizard->typeSqlLogin(Embedded, QStringLiteral("renter"), QStringLiteral("pw"));
    m_wizard->p1()->CheckBox2->setChecked(true);
    QTest::mouseClick(m_wizard->p1()->BitBtn7, Qt::LeftButton);
    QCoreApplication::processEvents();
    QVERIFY(p2->CheckBox2->isChecked());
    QCOMPARE(p2->DBGrid1->model()->rowCount(), 0);
    p2->BitBtn2->click();
    QVERIFY(m_wizard->notifier.messages.isEmpty());
}

void TestAccountSetPage::selectionTakesTheSelectedRowAndEnds_data()
{
    QTest::addColumn<bool>("answer");
    QTest::newRow("start now") << true;
    QTest::newRow("not now") << false;
}

void TestAccountSetPage::selectionTakesTheSelectedRowAndEnds()
{
    QFETCH(bool, answer);
    registerOnServer({ { "zt300", "北京总部", "a" }, { "zt301", "上海分公司", "k 1" } });
    toPageTwo();
    Ui::form_xzzt *p2 = m_wizard->p2();
    p2->PageControl1->setCurrentIndex(1);
    selectGridRow(1);
    m_wizard->notifier.answerQuestion = answer;

    QTest::mouseClick(p2->BitBtn2, Qt::LeftButton);

    QCOMPARE(m_wizard->notifier.messages.size(), 2);
    QCOMPARE(m_wizard->notifier.messages.at(0).kind, QStringLiteral("confirm"));
    QCOMPARE(m_wizard->notifier.messages.at(0).text,
        QStringLiteral("确定要将网络账套【上海分公司(zt301)】的选择引入吗？"));
    QCOMPARE(m_wizard->notifier.messages.at(1).kind, QStringLiteral("question"));
    QCOMPARE(
        m_wizard->notifier.messages.at(1).text, QStringLiteral("网络账套选择引入成功，现在就开始进入吗？"));
    QCOMPARE(m_wizard->notifier.messages.at(1).caption, QStringLiteral("询问"));
    QCOMPARE(m_wizard->started.size(), answer ? 1 : 0);
    QCOMPARE(m_wizard->closedSpy->count(), 1);
    QVERIFY(!p2->BitBtn2->testAttribute(Qt::WA_SetCursor));

    const LocalRow row = localRow(QStringLiteral("zt301"));
    QCOMPARE(row.count, 1);
    QCOMPARE(row.name, QStringLiteral("上海分公司"));
    QCOMPARE(row.password, QStringLiteral("k 1"));
    QCOMPARE(row.net, QStringLiteral("是"));
    QCOMPARE(localRow(QStringLiteral("zt300")).count, 0);
    QVERIFY(QFile::exists(accountset::perSetPath(QStringLiteral("zt301"))));
}

void TestAccountSetPage::setAlreadyListedLocallyIsNotTakenAgain()
{
    registerOnServer({ { "zt310", "北京总部", "" } });
    {
        data::Connection c;
        data::Query q(QStringLiteral("local"));
        store::openLocalConfiguration(c, q);
        store::beginAccountSetRow(q,
            { QStringLiteral("zt310"), QStringLiteral("北京总部"), QDate::currentDate(), QString(),
                Embedded });
        q.post();
    }
    toPageTwo();
    Ui::form_xzzt *p2 = m_wizard->p2();
    p2->PageControl1->setCurrentIndex(1);

    QTest::mouseClick(p2->BitBtn2, Qt::LeftButton);

    QCOMPARE(m_wizard->notifier.messages.size(), 1);
    QCOMPARE(m_wizard->notifier.last().kind, QStringLiteral("information"));
    QCOMPARE(m_wizard->notifier.last().text, QStringLiteral("已经存在服务器名称和账套名称相同的账套！"));
    QCOMPARE(m_wizard->notifier.last().caption, QStringLiteral("新增账套"));
    QCOMPARE(localRow(QStringLiteral("zt310")).count, 1);
    QCOMPARE(m_wizard->closedSpy->count(), 0);
}

// A directory row whose number leads out of data/SysBase (anyone who may write the server's
// directory can put one there) is refused like a creation, before any file is written.
void TestAccountSetPage::hostileDirectoryRowIsRefused()
{
    registerOnServer({ { "../../x/y", "恶意账套", "" } });
    toPageTwo();
    Ui::form_xzzt *p2 = m_wizard->p2();
    p2->PageControl1->setCurrentIndex(1);

    QTest::mouseClick(p2->BitBtn2, Qt::LeftButton);

    QCOMPARE(m_wizard->notifier.messages.size(), 2);
    QCOMPARE(m_wizard->notifier.last().kind, QStringLiteral("information"));
    QCOMPARE(m_wizard->notifier.last().text,
        QStringLiteral("选择网络账套出错！数据库名称不能包含路径分隔符（/ 或 \\）。"));
    QCOMPARE(m_wizard->notifier.last().caption, QStringLiteral("提示"));
    QCOMPARE(localRow(QStringLiteral("../../x/y")).count, 0);
    QCOMPARE(m_wizard->closedSpy->count(), 0);
    const QString dir = m_wizard->installation.dir();
    QVERIFY(!QFileInfo::exists(dir + QStringLiteral("x")));
    QCOMPARE(QDir(dir + QStringLiteral("data/SysBase")).entryList(QDir::NoDotAndDotDot | QDir::AllEntries),
        QStringList());
}

void TestAccountSetPage::wrongDeletionPasswordIsRefused_data()
{
    QTest::addColumn<QString>("typed");
    QTest::newRow("other case") << "secret";
    QTest::newRow("trailing blank") << "Secret ";
    QTest::newRow("empty") << "";
}

void TestAccountSetPage::wrongDeletionPasswordIsRefused()
{
    QFETCH(QString, typed);
    exec(QStringLiteral("master"), QStringLiteral("create database zt400"));
    registerOnServer({ { "zt400", "甲", "Secret" } });
    toPageTwo();
    activate();
    Ui::form_xzzt *p2 = m_wizard->p2();
    p2->PageControl1->setCurrentIndex(1);
    QTest::mouseClick(p2->BitBtn3, Qt::LeftButton);
    QVERIFY(p2->GroupBox1->isVisible());
    p2->Edit3->setText(typed);

    QTest::mouseClick(p2->BitBtn5, Qt::LeftButton);

    QCOMPARE(m_wizard->notifier.last().kind, QStringLiteral("error"));
    QCOMPARE(m_wizard->notifier.last().text, QStringLiteral("账套口令错误！"));
    QCOMPARE(m_wizard->notifier.last().caption, QStringLiteral("删除账套"));
    QVERIFY(p2->GroupBox1->isVisible());
    QTRY_COMPARE(QApplication::focusWidget(), p2->Edit3);
    QVERIFY(databaseExists(QStringLiteral("zt400")));
    QCOMPARE(directoryRows(QStringLiteral("zt400")), 1);
}

void TestAccountSetPage::deletionDropsTheDatabaseAndTheRow()
{
    exec(QStringLiteral("master"), QStringLiteral("create database zt410"));
    exec(QStringLiteral("master"), QStringLiteral("create database zt411"));
    registerOnServer(
        { { "zt410", "甲", "" }, { "zt411", "乙", "pw" }, { "zt412", "丙", "" }, { "zt413", "丁", "" } });
    toPageTwo();
    activate();
    Ui::form_xzzt *p2 = m_wizard->p2();
    p2->PageControl1->setCurrentIndex(1);
    selectGridRow(1);

    QTest::mouseClick(p2->BitBtn3, Qt::LeftButton);
    QCOMPARE(m_wizard->notifier.last().kind, QStringLiteral("confirm"));
    QCOMPARE(m_wizard->notifier.last().text,
        QStringLiteral(
            "账套删除后不可恢复，请确定账套已经备份。你确定要删除账套名称为【乙(zt411)】的账套吗？"));
    QVERIFY(p2->GroupBox1->isVisible());
    QTRY_COMPARE(QApplication::focusWidget(), p2->Edit3);
    QTest::keyClicks(p2->Edit3, QStringLiteral("pw"));
    QTest::mouseClick(p2->BitBtn5, Qt::LeftButton);

    // The safety copy is named on a line of its own.
    QCOMPARE(m_wizard->notifier.last().kind, QStringLiteral("information"));
    const QStringList lines = m_wizard->notifier.last().text.split(u'\n');
    QCOMPARE(lines.value(0), QStringLiteral("此账套已成功删除！"));
    const QString backupPrefix
        = QStringLiteral("备份文件：") + m_wizard->installation.dir() + QStringLiteral("data/backup/zt411_");
    QVERIFY2(lines.value(1).startsWith(backupPrefix), qPrintable(lines.value(1)));
    QVERIFY(QFile::exists(lines.value(1).mid(5)));
    QCOMPARE(m_wizard->notifier.last().caption, QStringLiteral("删除账套"));
    QVERIFY(!databaseExists(QStringLiteral("zt411")));
    QVERIFY(databaseExists(QStringLiteral("zt410")));
    QCOMPARE(directoryRows(QStringLiteral("zt411")), 0);
    QCOMPARE(gridColumn(1),
        QStringList({ QStringLiteral("zt410"), QStringLiteral("zt412"), QStringLiteral("zt413") }));
    QVERIFY(p2->GroupBox1->isHidden());
    QCOMPARE(p2->Edit3->text(), QStringLiteral("pw"));
    QVERIFY(!p2->BitBtn5->testAttribute(Qt::WA_SetCursor));

    // The grid's current row and the current directory row stay the same row.
    const int current = p2->DBGrid1->currentIndex().row();
    QVERIFY(current >= 0);
    QCOMPARE(m_wizard->page2->ADOztgl().currentRow(), current);

    // Deleting the first row keeps them together too: the row shown is the row acted on.
    selectGridRow(0);
    p2->Edit3->clear();
    p2->BitBtn3->click();
    p2->BitBtn5->click();
    QVERIFY(m_wizard->notifier.last().text.startsWith(QStringLiteral("此账套已成功删除！\n备份文件：")));
    QCOMPARE(gridColumn(1), QStringList({ QStringLiteral("zt412"), QStringLiteral("zt413") }));
    QCOMPARE(p2->DBGrid1->currentIndex().row(), 0);
    QCOMPARE(accountset::currentDirectoryRow(m_wizard->page2->ADOztgl()).number, QStringLiteral("zt412"));
}

void TestAccountSetPage::databaseInUseOffersToRemoveTheRowOnly_data()
{
    QTest::addColumn<bool>("answer");
    QTest::newRow("remove the row") << true;
    QTest::newRow("keep both") << false;
}

void TestAccountSetPage::databaseInUseOffersToRemoveTheRowOnly()
{
    QFETCH(bool, answer);
    exec(QStringLiteral("master"), QStringLiteral("create database zt420"));
    registerOnServer({ { "zt420", "甲", "" } });
    data::Connection user;
    user.setConnectionString(catalogString(QStringLiteral("zt420")));
    user.backend().query(QStringLiteral("select name from sqlite_master"));
    toPageTwo();
    Ui::form_xzzt *p2 = m_wizard->p2();
    p2->PageControl1->setCurrentIndex(1);
    p2->BitBtn3->click();
    m_wizard->notifier.answerConfirm = answer;

    QTest::mouseClick(p2->BitBtn5, Qt::LeftButton);

    QCOMPARE(m_wizard->notifier.last().kind, QStringLiteral("confirm"));
    QCOMPARE(m_wizard->notifier.last().text,
        QStringLiteral("账套删除错误!") + Prefix
            + QStringLiteral("Cannot drop database \"zt420\" because it is currently in use.")
            + QStringLiteral(",可以删除账套目录,确定删除账套目录吗？"));
    QVERIFY(databaseExists(QStringLiteral("zt420")));
    QCOMPARE(directoryRows(QStringLiteral("zt420")), answer ? 0 : 1);
    QCOMPARE(p2->DBGrid1->model()->rowCount(), answer ? 0 : 1);
    QVERIFY(p2->GroupBox1->isHidden());
    QVERIFY(!p2->BitBtn5->testAttribute(Qt::WA_SetCursor));
}

void TestAccountSetPage::deletePasswordGroupCanFloat()
{
    exec(QStringLiteral("master"), QStringLiteral("create database zt430"));
    registerOnServer({ { "zt430", "甲", "" } });
    toPageTwo();
    Ui::form_xzzt *p2 = m_wizard->p2();
    p2->PageControl1->setCurrentIndex(1);
    p2->BitBtn3->click();
    QGroupBox *group = p2->GroupBox1;
    const QRect docked = group->geometry();

    const auto mouse = [group](QEvent::Type type, QPoint at, Qt::MouseButtons buttons) {
        QMouseEvent event(type, at, group->mapToGlobal(at),
            type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton, buttons, Qt::NoModifier);
        QCoreApplication::sendEvent(group, &event);
    };
    const QPoint globalBefore = group->mapToGlobal(QPoint(4, 4));
    mouse(QEvent::MouseButtonPress, { 4, 4 }, Qt::LeftButton);
    mouse(QEvent::MouseMove, { 60, 50 }, Qt::LeftButton);
    mouse(QEvent::MouseButtonRelease, { 60, 50 }, Qt::NoButton);

    QVERIFY(m_wizard->page2->deletePasswordGroup()->isFloating());
    QVERIFY(group->isVisible());
    QCOMPARE(group->palette().color(QPalette::Window), QColor(188, 202, 228)); // the page's colours
    QCOMPARE(group->pos(), globalBefore + QPoint(56, 46) - QPoint(4, 4));
    // It works as before while floating: the delete button acts on the listed row, and stays the
    // default button of the group's own window.
    QTest::keyClick(p2->Edit3, Qt::Key_Return);
    QVERIFY(m_wizard->notifier.last().text.startsWith(QStringLiteral("此账套已成功删除！\n备份文件：")));
    QVERIFY(group->isHidden());
    p2->BitBtn3->click(); // no rows left: nothing
    QVERIFY(group->isHidden());

    // Leaving the page puts it back in its place.
    group->show();
    QTest::mouseClick(p2->BitBtn7, Qt::LeftButton);
    QVERIFY(!m_wizard->page2->deletePasswordGroup()->isFloating());
    QCOMPARE(group->parentWidget(), p2->TabSheet4);
    QCOMPARE(group->geometry(), docked);
}

void TestAccountSetPage::sampleButtonIsReachedByShortcutAndMenu()
{
    toPageTwo();
    activate();
    Ui::form_xzzt *p2 = m_wizard->p2();
    QVERIFY(p2->BitBtn4->isHidden());
    QVERIFY(p2->TabSheet3->actions().contains(m_wizard->page2->sampleAction()));
    QCOMPARE(m_wizard->page2->sampleAction()->text(), QStringLiteral("创建例子帐套"));

    QTest::keyClick(m_wizard->page2, Qt::Key_S, Qt::ControlModifier | Qt::ShiftModifier);
    QVERIFY(p2->BitBtn4->isVisible());
    QVERIFY(p2->BitBtn1->isHidden());
    QCOMPARE(p2->BitBtn4->geometry(), QRect(216, 180, 103, 25));

    QTest::keyClick(m_wizard->page2, Qt::Key_S, Qt::ControlModifier | Qt::ShiftModifier);
    QVERIFY(p2->BitBtn4->isHidden());
    QVERIFY(p2->BitBtn1->isVisible());

    m_wizard->page2->sampleAction()->trigger(); // the context-menu entry
    QVERIFY(p2->BitBtn4->isVisible());
    QVERIFY(p2->BitBtn1->isHidden());
}

void TestAccountSetPage::sampleIsRestoredOnceThenTheServerRefuses()
{
    toPageTwo();
    Ui::form_xzzt *p2 = m_wizard->p2();
    m_wizard->page2->sampleAction()->trigger();
    p2->Edit6->setText(QStringLiteral("pw"));
    p2->Edit4->setText(QStringLiteral("pw"));

    QTest::mouseClick(p2->BitBtn4, Qt::LeftButton);

    QCOMPARE(m_wizard->notifier.messages.size(), 1);
    QCOMPARE(m_wizard->notifier.last().kind, QStringLiteral("information"));
    QCOMPARE(m_wizard->notifier.last().text, QStringLiteral("『TOVRA例子账套』创建成功！"));
    QCOMPARE(m_wizard->notifier.last().caption, QStringLiteral("提示"));
    QCOMPARE(p2->Edit5->text(), QStringLiteral("TOVRASQL_Sample"));
    QVERIFY(p2->Edit2->text().isEmpty());
    QVERIFY(p2->Edit4->text().isEmpty());
    QCOMPARE(p2->Edit6->text(), QStringLiteral("pw"));
    QVERIFY(!p2->BitBtn4->testAttribute(Qt::WA_SetCursor));
    QVERIFY(m_wizard->page2->isVisible());
    const LocalRow row = localRow(QStringLiteral("TOVRASQL_Sample"));
    QCOMPARE(row.count, 1);
    QCOMPARE(row.name, QStringLiteral("TOVRA例子账套"));
    QCOMPARE(row.net, QStringLiteral("是"));
    QCOMPARE(directoryRows(QStringLiteral("TOVRASQL_Sample")), 1);
    QVERIFY(databaseExists(QStringLiteral("TOVRASQL_Sample")));

    // The server refuses to restore over the database; the error goes to the standard box.
    QTest::mouseClick(p2->BitBtn4, Qt::LeftButton);
    QCOMPARE(m_wizard->notifier.messages.size(), 2);
    QCOMPARE(m_wizard->notifier.last().kind, QStringLiteral("error"));
    QCOMPARE(m_wizard->notifier.last().caption, gui::applicationTitle());
    QCOMPARE(m_wizard->notifier.last().text,
        Prefix
            + QStringLiteral("The backup set holds a backup of a database other than the existing "
                             "'TOVRASQL_Sample' database. ")
            + Prefix + QStringLiteral("RESTORE DATABASE is terminating abnormally."));
    QVERIFY(!p2->BitBtn4->testAttribute(Qt::WA_SetCursor));
    QCOMPARE(localRow(QStringLiteral("TOVRASQL_Sample")).count, 1);
    QCOMPARE(directoryRows(QStringLiteral("TOVRASQL_Sample")), 1);
}

void TestAccountSetPage::sampleInRentedBuildModeLeavesTheDirectory()
{
    toPageTwo();
    Ui::form_xzzt *p2 = m_wizard->p2();
    setMode(p2->CheckBox2);
    m_wizard->page2->sampleAction()->trigger();

    QTest::mouseClick(p2->BitBtn4, Qt::LeftButton);

    QCOMPARE(m_wizard->notifier.last().text, QStringLiteral("『TOVRA例子账套』创建成功！"));
    const LocalRow row = localRow(QStringLiteral("TOVRASQL_Sample"));
    QCOMPARE(row.count, 1);
    QCOMPARE(row.net, QString());
    QVERIFY_THROWS_EXCEPTION(data::DataError, directoryRows(QStringLiteral("TOVRASQL_Sample")));
}

void TestAccountSetPage::sampleNeedsAServerName()
{
    toPageTwo();
    Ui::form_xzzt *p2 = m_wizard->p2();
    m_wizard->page2->sampleAction()->trigger();
    p2->Edit1->clear();
    p2->Edit5->setText(QStringLiteral("mine"));

    QTest::mouseClick(p2->BitBtn4, Qt::LeftButton);

    QCOMPARE(m_wizard->notifier.messages.size(), 1);
    QCOMPARE(m_wizard->notifier.last().text, QStringLiteral("服务器名称不可为空！"));
    QCOMPARE(m_wizard->notifier.last().caption, QStringLiteral("提示"));
    QCOMPARE(p2->Edit5->text(), QStringLiteral("mine"));
    QVERIFY(!p2->BitBtn4->testAttribute(Qt::WA_SetCursor));
    QVERIFY(!databaseExists(QStringLiteral("TOVRASQL_Sample")));
}

void TestAccountSetPage::progressBarShowsHugeFilesInProportion()
{
    QProgressBar bar;
    bar.hide();
    gui::ProgressBarCopy progress(&bar);
    progress.start();
    QVERIFY(!bar.isHidden());
    QCOMPARE(bar.value(), 0);

    const qint64 huge = qint64(6) * 1024 * 1024 * 1024;
    progress.setRange(huge);
    QVERIFY(bar.maximum() > 0);
    progress.setPosition(huge / 2);
    QVERIFY(qAbs(bar.value() - bar.maximum() / 2) <= 1);
    progress.setPosition(huge);
    QCOMPARE(bar.value(), bar.maximum());

    progress.setRange(23);
    QCOMPARE(bar.maximum(), 23);
    progress.setPosition(22);
    QCOMPARE(bar.value(), 22);
}

void TestAccountSetPage::emptyTemplateLeavesAnEmptyBar()
{
    QProgressBar bar;
    gui::ProgressBarCopy progress(&bar);
    progress.start();
    progress.setRange(0);
    progress.setPosition(0);
    // A range of 0 .. 0 would be the toolkit's "busy" bar.
    QVERIFY(bar.maximum() > bar.minimum());
    QCOMPARE(bar.value(), bar.minimum());
}

void TestAccountSetPage::gridMarksTheCurrentRowInsteadOfNumberingRows()
{
    registerOnServer({ { "zt501", "甲", "" }, { "zt502", "乙", "" }, { "zt503", "丙", "" } });
    toPageTwo();
    listTab();
    QTableView *grid = m_wizard->p2()->DBGrid1;
    auto *indicator = qobject_cast<gui::RowIndicator *>(grid->verticalHeader());
    QVERIFY(indicator);
    QCOMPARE(indicator->width(), 12);
    QCOMPARE(indicator->markedRow(), 0);
    selectGridRow(2);
    QCOMPARE(indicator->markedRow(), 2);

    // Drawn: a dark marker beside row 2 only, no numbers anywhere.
    m_wizard->page2->show();
    const QImage image = indicator->grab().toImage();
    const auto darkPixels = [&](int row) {
        int dark = 0;
        const int top = indicator->sectionViewportPosition(row);
        for (int y = top; y < top + indicator->sectionSize(row); ++y) {
            for (int x = 0; x < image.width(); ++x)
                dark += qGray(image.pixel(x, y)) < 60 ? 1 : 0;
        }
        return dark;
    };
    QVERIFY(darkPixels(2) > 4);
    QCOMPARE(darkPixels(0), 0);
    QCOMPARE(darkPixels(1), 0);
}

QTEST_MAIN(TestAccountSetPage)
#include "tst_accountsetpage.moc"
