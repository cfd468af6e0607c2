// Page 2's second tab against the embedded server, through the page: the network directory
// listed, a listed set selected (taken over) or deleted, the floating delete-password group and
// the grid's row marker.
#include "accountsetpagefixture.h"

#include "accountset/creation.h"
#include "accountset/deletion.h"
#include "accountset/detachablegroup.h"
#include "accountset/directory.h"
#include "accountset/rowindicator.h"

#include <QDir>
#include <QFileInfo>
#include <QMouseEvent>

using namespace zt;
using namespace zt::test;
using data::LoginFragment;

class TestAccountSetDirectory : public AccountSetPageTest
{
    Q_OBJECT

private slots:
    void init() { makeWizard(); }
    void cleanup() { m_wizard.reset(); }

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

    // The grid
    void gridMarksTheCurrentRowInsteadOfNumberingRows();
};

void TestAccountSetDirectory::directoryIsListedOnTheTabInNetworkModeOnly()
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

void TestAccountSetDirectory::buttonsDoNothingWithoutAListing()
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

void TestAccountSetDirectory::pageShownAgainNeverShowsTheOldServersDirectory()
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

void TestAccountSetDirectory::selectionTakesTheSelectedRowAndEnds_data()
{
    QTest::addColumn<bool>("answer");
    QTest::newRow("start now") << true;
    QTest::newRow("not now") << false;
}

void TestAccountSetDirectory::selectionTakesTheSelectedRowAndEnds()
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

void TestAccountSetDirectory::setAlreadyListedLocallyIsNotTakenAgain()
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
void TestAccountSetDirectory::hostileDirectoryRowIsRefused()
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

void TestAccountSetDirectory::wrongDeletionPasswordIsRefused_data()
{
    QTest::addColumn<QString>("typed");
    QTest::newRow("other case") << "secret";
    QTest::newRow("trailing blank") << "Secret ";
    QTest::newRow("empty") << "";
}

void TestAccountSetDirectory::wrongDeletionPasswordIsRefused()
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

void TestAccountSetDirectory::deletionDropsTheDatabaseAndTheRow()
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

void TestAccountSetDirectory::databaseInUseOffersToRemoveTheRowOnly_data()
{
    QTest::addColumn<bool>("answer");
    QTest::newRow("remove the row") << true;
    QTest::newRow("keep both") << false;
}

void TestAccountSetDirectory::databaseInUseOffersToRemoveTheRowOnly()
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

void TestAccountSetDirectory::deletePasswordGroupCanFloat()
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

void TestAccountSetDirectory::gridMarksTheCurrentRowInsteadOfNumberingRows()
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

QTEST_MAIN(TestAccountSetDirectory)
#include "tst_accountsetdirectory.moc"
