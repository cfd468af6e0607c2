// Page 1, the server setup page: its widgets, its login options, and its own handlers.
#include "wizardfixture.h"

#include "embedded/embeddedserver.h"
#include "server/sqlserverslistcombobox.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QMouseEvent>
#include <QStyle>

using namespace zt;
using namespace zt::test;
using namespace Qt::StringLiterals;
using zt::gui::TSQLServersListComboBox;

class TestFormServer : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void inventory_data();
    void inventory();
    void keyboardOrder();
    void windowLook();

    void showingSelectsTheWindowsLogin();
    void loginOptions_data();
    void loginOptions();
    void showingAgainResetsTheLoginAndTheServerName();

    void emptyServerNameIsRefused();
    void blankServerNameGoesOn();
    void leftOverWaitCursorIsResetOnMouseMove();
    void lookupDialogOpensWithoutBlocking();
    void helpRequestWritesHelpIniOnlyOnce();
    void escapeEndsTheWizard();
    void enterInTheServerBoxAddsNothingAndPressesNothing();
    void storedServersAreOfferedWithTheirLogin();

private:
    std::unique_ptr<Wizard> m_wizard;
};

void TestFormServer::init()
{
    m_wizard = std::make_unique<Wizard>();
    QVERIFY(m_wizard->installation.isValid());
}

void TestFormServer::cleanup()
{
    m_wizard.reset();
}

void TestFormServer::inventory_data()
{
    addInventoryColumns();
    const auto row = [](const char *name, const char *cls, const char *parent, QRect geometry,
                         const QString &text, const QString &hint = {}, const char *state = "") {
        QTest::newRow(name) << QString::fromLatin1(cls) << QString::fromLatin1(parent) << geometry << text
                            << hint << QString::fromLatin1(state);
    };
    row("Panel2", "QFrame", "form_server", { 0, 0, 123, 250 }, {});
    row("Image1", "QLabel", "Panel2", { 0, 0, 123, 250 }, {});
    row("Panel1", "QFrame", "form_server", { 128, 5, 329, 202 }, {});
    row("Label4", "QLabel", "Panel1", { 13, 21, 86, 13 }, QStringLiteral("服务器名称："));
    row("SQLServersListComboBox1", "zt::gui::TSQLServersListComboBox", "Panel1", { 97, 17, 189, 20 }, {});
    row("SpeedButton1", "QToolButton", "Panel1", { 288, 16, 23, 22 }, {}, QStringLiteral("获取服务器"));
    row("Bevel2", "QFrame", "Panel1", { 4, 49, 319, 1 }, {});
    row("RadioButton1", "QRadioButton", "Panel1", { 11, 63, 310, 17 },
        QStringLiteral("使用Windows NT集成安全设置(Win98/Me不选此项)"), {}, "checked");
    row("RadioButton2", "QRadioButton", "Panel1", { 11, 89, 291, 17 },
        QStringLiteral("使用指定的用户和密码"));
    row("Label1", "QLabel", "Panel1", { 11, 119, 72, 12 }, QStringLiteral("用  户  名："));
    row("Edit1", "QLineEdit", "Panel1", { 99, 115, 204, 20 }, {}, {}, "disabled");
    row("Label2", "QLabel", "Panel1", { 11, 150, 72, 12 }, QStringLiteral("密      码："));
    row("Edit2", "QLineEdit", "Panel1", { 99, 144, 204, 24 }, {}, {}, "disabled password");
    row("CheckBox2", "QCheckBox", "Panel1", { 11, 178, 222, 17 },
        QStringLiteral("创建或引入租用的远程ＳＱＬ数据库"),
        QStringLiteral("选择此项，数据库名称必须录入远程数据库的名称。"));
    row("Edit3", "QLineEdit", "Panel1", { 200, 176, 121, 20 }, QStringLiteral("Edit3"), {}, "hidden");
    row("BitBtn1", "QPushButton", "form_server", { 128, 218, 75, 25 }, QStringLiteral("帮助&H"));
    row("BitBtn7", "QPushButton", "form_server", { 276, 218, 75, 25 }, QStringLiteral("下一步&N"));
    row("BitBtn8", "QPushButton", "form_server", { 368, 218, 75, 25 }, QStringLiteral("退出&X"));
    row("StatusBar1", "QFrame", "form_server", { 0, 250, 465, 19 }, {});
    row("StatusBar1Panel1", "QLabel", "StatusBar1", { 0, 2, 40, 17 }, QStringLiteral("提示:"));
    row("StatusBar1Panel2", "QLabel", "StatusBar1", { 42, 2, 423, 17 },
        QStringLiteral("可直接在服务器名称处录入服务器的IP地址，然后进行下一步。"));
}

void TestFormServer::inventory()
{
    checkInventoryRow(m_wizard->server);
}

void TestFormServer::keyboardOrder()
{
    const QStringList expected { QStringLiteral("RadioButton1"), QStringLiteral("RadioButton2"),
        QStringLiteral("Edit2"), QStringLiteral("Edit1"), QStringLiteral("SQLServersListComboBox1"),
        QStringLiteral("CheckBox2"), QStringLiteral("BitBtn7"), QStringLiteral("BitBtn8"),
        QStringLiteral("BitBtn1") };
    QCOMPARE(focusOrder(m_wizard->server, expected), expected);
}

void TestFormServer::windowLook()
{
    gui::Tform_server *page = m_wizard->server;
    QCOMPARE(page->minimumSize(), QSize(465, 269));
    QCOMPARE(page->maximumSize(), QSize(465, 269));
    QVERIFY(!(page->windowFlags() & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint)));
    QVERIFY(page->windowFlags() & Qt::WindowCloseButtonHint);
    QCOMPARE(page->palette().color(QPalette::Window), QColor(188, 202, 228));
    QCOMPARE(m_wizard->p1()->SQLServersListComboBox1->palette().color(QPalette::Base), QColor(237, 241, 248));
    QCOMPARE(page->font().family(), QStringLiteral("MS Sans Serif"));
    QCOMPARE(page->font().pointSize(), 9);
    QCOMPARE(m_wizard->p1()->Edit2->font().pixelSize(), 13);
    QVERIFY(m_wizard->p1()->Edit2->font().bold());
    QCOMPARE(m_wizard->p1()->StatusBar1Panel1->alignment(), Qt::AlignCenter);
    // The banner is in the library's resources and stretched over the panel.
    QVERIFY(!m_wizard->p1()->Image1->pixmap().isNull());
    QVERIFY(m_wizard->p1()->Image1->hasScaledContents());
    QCOMPARE(m_wizard->p1()->Image1->pixmap().width(), 123);
    QCOMPARE(m_wizard->p1()->BitBtn7->iconSize(), QSize(16, 16));
    QVERIFY(!m_wizard->p1()->BitBtn7->icon().isNull());
    // One empty entry before the search has found anything.
    QCOMPARE(m_wizard->p1()->SQLServersListComboBox1->count(), 1);
    QVERIFY(m_wizard->p1()->SQLServersListComboBox1->isEditable());
}

void TestFormServer::showingSelectsTheWindowsLogin()
{
    m_wizard->server->show();
    QCOMPARE(m_wizard->server->windowTitle(), QStringLiteral("服务器设置（MS SQL）"));
    QVERIFY(m_wizard->p1()->RadioButton1->isChecked());
    QVERIFY(!m_wizard->p1()->Edit1->isEnabled());
    QVERIFY(!m_wizard->p1()->Edit2->isEnabled());
    QVERIFY(m_wizard->p1()->Edit1->text().isEmpty());
    QVERIFY(!m_wizard->p1()->CheckBox2->isChecked());
    QVERIFY(!m_wizard->page2->isVisible());
    QVERIFY(!m_wizard->lookup->isVisible());
}

// Each row starts from the Windows login with the user name "bob" and password "pw" typed in after
// a first step, then applies the steps; the fields end as given.
void TestFormServer::loginOptions_data()
{
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<bool>("sqlLogin");
    QTest::addColumn<bool>("rented");
    QTest::addColumn<QString>("user");
    QTest::addColumn<QString>("password");

    QTest::newRow("SQL login fills sa") << QStringList { "radio2" } << true << false << "sa"
                                        << "";
    QTest::newRow("rented option forces the SQL login") << QStringList { "check" } << true << true << "sa"
                                                        << "";
    QTest::newRow("rented option keeps typed login")
        << QStringList { "radio2", "type", "check" } << true << true << "bob"
        << "pw";
    QTest::newRow("unchecking keeps the SQL login")
        << QStringList { "radio2", "type", "check", "uncheck" } << true << false << "bob"
        << "pw";
    QTest::newRow("Windows login clears and unchecks")
        << QStringList { "radio2", "type", "check", "radio1" } << false << false << ""
        << "";
    QTest::newRow("clicking the checked SQL login runs nothing")
        << QStringList { "radio2", "type", "radio2" } << true << false << "bob"
        << "pw";
    QTest::newRow("checking from code runs the handler")
        << QStringList { "code-check" } << true << true << "sa"
        << "";
}

void TestFormServer::loginOptions()
{
    QFETCH(QStringList, steps);
    QFETCH(bool, sqlLogin);
    QFETCH(bool, rented);
    QFETCH(QString, user);
    QFETCH(QString, password);

    Ui::form_server *ui = m_wizard->p1();
    m_wizard->server->show();
    for (const QString &step : steps) {
        // Clicks land on the caption, where the toolkit's buttons take them.
        if (step == u"radio1")
            QTest::mouseClick(ui->RadioButton1, Qt::LeftButton, {}, QPoint(30, 8));
        else if (step == u"radio2")
            QTest::mouseClick(ui->RadioButton2, Qt::LeftButton, {}, QPoint(30, 8));
        else if (step == u"check" || step == u"uncheck")
            QTest::mouseClick(ui->CheckBox2, Qt::LeftButton, {}, QPoint(30, 8));
        else if (step == u"code-check")
            ui->CheckBox2->setChecked(true);
        else if (step == u"type") {
            ui->Edit1->setText(QStringLiteral("bob"));
            ui->Edit2->setText(QStringLiteral("pw"));
        }
    }
    QCOMPARE(ui->RadioButton2->isChecked(), sqlLogin);
    QCOMPARE(ui->RadioButton1->isChecked(), !sqlLogin);
    QCOMPARE(ui->CheckBox2->isChecked(), rented);
    QCOMPARE(ui->Edit1->isEnabled(), sqlLogin);
    QCOMPARE(ui->Edit2->isEnabled(), sqlLogin);
    QCOMPARE(ui->Edit1->text(), user);
    QCOMPARE(ui->Edit2->text(), password);
}

void TestFormServer::showingAgainResetsTheLoginAndTheServerName()
{
    Ui::form_server *ui = m_wizard->p1();
    ui->SQLServersListComboBox1->addItem(QStringLiteral("FIRST"));
    ui->SQLServersListComboBox1->setItemText(0, QStringLiteral("ALPHA"));
    m_wizard->server->show();
    QCOMPARE(ui->SQLServersListComboBox1->currentText(), QStringLiteral("ALPHA"));

    m_wizard->typeSqlLogin(QStringLiteral("typed\\NAME"), QStringLiteral("bob"), QStringLiteral("pw"));
    ui->CheckBox2->setChecked(true);
    m_wizard->server->hide();
    m_wizard->server->setWindowTitle(QStringLiteral("x"));
    m_wizard->server->show();

    QCOMPARE(m_wizard->server->windowTitle(), QStringLiteral("服务器设置（MS SQL）"));
    QVERIFY(ui->RadioButton1->isChecked());
    QVERIFY(!ui->CheckBox2->isChecked());
    QVERIFY(ui->Edit1->text().isEmpty());
    QVERIFY(ui->Edit2->text().isEmpty());
    QVERIFY(!ui->Edit1->isEnabled());
    QCOMPARE(ui->SQLServersListComboBox1->currentIndex(), 0);
    QCOMPARE(ui->SQLServersListComboBox1->currentText(), QStringLiteral("ALPHA"));
}

void TestFormServer::emptyServerNameIsRefused()
{
    m_wizard->server->show();
    m_wizard->server->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(m_wizard->server));
    m_wizard->p1()->RadioButton1->setFocus();
    m_wizard->p1()->SQLServersListComboBox1->setEditText(QString());

    QTest::mouseClick(m_wizard->p1()->BitBtn7, Qt::LeftButton);

    QCOMPARE(m_wizard->notifier.messages.size(), 1);
    QCOMPARE(m_wizard->notifier.last().kind, QStringLiteral("plain"));
    QCOMPARE(m_wizard->notifier.last().text, QStringLiteral("请选择或录入SQL服务器名称！"));
    QCOMPARE(m_wizard->notifier.last().caption, QStringLiteral("创建帐套"));
    QTRY_VERIFY(m_wizard->p1()->SQLServersListComboBox1->hasFocus());
    QVERIFY(m_wizard->server->isVisible());
    QVERIFY(!m_wizard->page2->isVisible());
    QVERIFY(!m_wizard->p1()->BitBtn7->testAttribute(Qt::WA_SetCursor));
    QVERIFY(m_wizard->serverRecords(QString()).isEmpty());
}

void TestFormServer::blankServerNameGoesOn()
{
    // Blanks are a name: the rented option skips the probe, so the record is stored and page 2 opens.
    m_wizard->server->show();
    m_wizard->typeSqlLogin(QStringLiteral("  "), QStringLiteral("renter"), QString());
    m_wizard->p1()->CheckBox2->setChecked(true);
    QTest::mouseClick(m_wizard->p1()->BitBtn7, Qt::LeftButton);
    QVERIFY(m_wizard->notifier.messages.isEmpty());
    QVERIFY(m_wizard->page2->isVisible());
    QCOMPARE(m_wizard->p2()->Edit1->text(), QStringLiteral("  "));
}

void TestFormServer::leftOverWaitCursorIsResetOnMouseMove()
{
    QPushButton *button = m_wizard->p1()->BitBtn7;
    m_wizard->server->show();
    const auto move = [button] {
        QMouseEvent event(QEvent::MouseMove, QPointF(5, 5), button->mapToGlobal(QPointF(5, 5)), Qt::NoButton,
            Qt::NoButton, Qt::NoModifier);
        QCoreApplication::sendEvent(button, &event);
    };
    button->setCursor(Qt::WaitCursor);
    move();
    QVERIFY(!button->testAttribute(Qt::WA_SetCursor));
    QCOMPARE(button->cursor().shape(), Qt::ArrowCursor);

    // Another cursor set on the button is not the wait cursor and stays.
    button->setCursor(Qt::PointingHandCursor);
    move();
    QCOMPARE(button->cursor().shape(), Qt::PointingHandCursor);
}

void TestFormServer::lookupDialogOpensWithoutBlocking()
{
    m_wizard->server->show();
    QTest::mouseClick(m_wizard->p1()->SpeedButton1, Qt::LeftButton);
    QVERIFY(m_wizard->lookup->isVisible());
    QVERIFY(!m_wizard->lookup->isModal());
    QCOMPARE(m_wizard->lookup->windowTitle(), QStringLiteral("获取服务器"));
    QVERIFY(m_wizard->server->isVisible());
    // A second click brings the open dialog forward; it is still the one dialog.
    QTest::mouseClick(m_wizard->p1()->SpeedButton1, Qt::LeftButton);
    QVERIFY(m_wizard->lookup->isVisible());
}

void TestFormServer::helpRequestWritesHelpIniOnlyOnce()
{
    const QString dir = m_wizard->installation.dir();
    QFile::remove(dir + QStringLiteral("help.ini"));
    QFile viewer(dir + QStringLiteral("help.EXE"));
    QVERIFY(viewer.open(QIODevice::WriteOnly));
    viewer.write("#!/bin/sh\n");
    viewer.close();
    viewer.setPermissions(viewer.permissions() | QFile::ExeOwner);
    m_wizard->server->show();

    QTest::mouseClick(m_wizard->p1()->BitBtn1, Qt::LeftButton);
    QCOMPARE(m_wizard->p1()->Edit3->text(), QStringLiteral("创建账套"));
    QVERIFY(m_wizard->p1()->Edit3->isHidden());
    const QString written = helpIniText(dir);
    QVERIFY2(written.contains(QStringLiteral("[path]")), qPrintable(written));
    QVERIFY2(written.contains(QStringLiteral("帮助路径=创建账套.htm")), qPrintable(written));
    QCOMPARE(m_wizard->started.size(), 1);
    QCOMPARE(m_wizard->started.first(), dir + QStringLiteral("help.EXE"));

    // The topic is already there: the second request only starts the viewer.
    QVERIFY(QFile::remove(dir + QStringLiteral("help.ini")));
    QTest::mouseClick(m_wizard->p1()->BitBtn1, Qt::LeftButton);
    QVERIFY(!QFile::exists(dir + QStringLiteral("help.ini")));
    QCOMPARE(m_wizard->started.size(), 2);
}

void TestFormServer::escapeEndsTheWizard()
{
    m_wizard->server->show();
    m_wizard->server->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(m_wizard->server));
    QComboBox *box = m_wizard->p1()->SQLServersListComboBox1;
    box->setFocus();
    // With the box's list open, Esc closes the list alone; what was typed stays.
    box->setEditText(QStringLiteral("typed"));
    box->showPopup();
    QVERIFY(QTest::qWaitFor([] { return QApplication::activePopupWidget() != nullptr; }, 2000));
    QTest::keyClick(QApplication::activePopupWidget(), Qt::Key_Escape);
    QVERIFY(QTest::qWaitFor([] { return QApplication::activePopupWidget() == nullptr; }, 2000));
    QCOMPARE(m_wizard->closedSpy->count(), 0);
    QVERIFY(m_wizard->server->isVisible());
    QCOMPARE(box->currentText(), QStringLiteral("typed"));
    QTest::keyClick(box, Qt::Key_Escape);
    QCOMPARE(m_wizard->closedSpy->count(), 1);
    QVERIFY(!m_wizard->server->isVisible());
}

void TestFormServer::enterInTheServerBoxAddsNothingAndPressesNothing()
{
    m_wizard->server->show();
    m_wizard->server->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(m_wizard->server));
    QComboBox *box = m_wizard->p1()->SQLServersListComboBox1;
    QCOMPARE(box->insertPolicy(), QComboBox::NoInsert);
    const int items = box->count();
    QSignalSpy next(m_wizard->p1()->BitBtn7, &QPushButton::clicked);
    box->setFocus();
    QTRY_VERIFY(box->hasFocus());
    box->lineEdit()->selectAll();
    QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("typed-server"));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    QCOMPARE(box->count(), items); // only the search fills the list
    QCOMPARE(box->currentText(), QStringLiteral("typed-server"));
    QCOMPARE(next.count(), 0); // no button of the page is a default button
}

void TestFormServer::storedServersAreOfferedWithTheirLogin()
{
    {
        data::Connection connection;
        data::Query query(QStringLiteral("stored"));
        store::openLocalConfiguration(connection, query);
        store::storeServerRecord(
            query, QStringLiteral("KASSE\\ZT"), data::Credentials::sql(u"bob"_s, u"geheim"_s));
        store::storeServerRecord(query, QStringLiteral("Lager"), data::Credentials::integrated());
        store::storeServerRecord(query, QStringLiteral(" (EMBEDDED) "), data::Credentials::integrated());
    }
    Ui::form_server *ui = m_wizard->p1();
    TSQLServersListComboBox *box = ui->SQLServersListComboBox1;
    const QStringList embedded = embedded::instanceServerNames(embedded::defaultRoot());
    const auto items = [box] {
        QStringList list;
        for (int i = 0; i < box->count(); ++i)
            list << box->itemText(i);
        return list;
    };
    const QStringList stored { u"KASSE\\ZT"_s, u"Lager"_s };
    m_wizard->server->show();
    m_wizard->server->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(m_wizard->server));
    QCOMPARE(items(), embedded + stored);
    QCOMPARE(box->currentIndex(), 0);

    // A new search fills the list again: the stored servers stay, once.
    QSignalSpy searched(box, &TSQLServersListComboBox::searchFinished);
    box->loaded();
    QVERIFY(searched.wait(5000));
    QCOMPARE(items(), embedded + stored);

    const auto pick = [box](const QString &name) {
        box->showPopup();
        QAbstractItemView *view = box->view();
        const QModelIndex entry = view->model()->index(box->findText(name), 0);
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, view->visualRect(entry).center());
        QTRY_VERIFY(!view->isVisible());
        QCOMPARE(box->currentText(), name);
    };
    pick(u"KASSE\\ZT"_s);
    QVERIFY(ui->RadioButton2->isChecked());
    QVERIFY(ui->Edit1->isEnabled());
    QCOMPARE(ui->Edit1->text(), u"bob"_s);
    QVERIFY(ui->Edit2->text().isEmpty()); // the password is typed again

    ui->Edit2->setText(u"typed"_s);
    pick(u"Lager"_s);
    QVERIFY(ui->RadioButton1->isChecked());
    QVERIFY(ui->Edit1->text().isEmpty() && ui->Edit2->text().isEmpty());
    QVERIFY(!ui->Edit1->isEnabled());

    // An embedded instance stored with a login is that instance's entry, with its login.
    ui->RadioButton2->click();
    pick(embedded.first());
    QVERIFY(ui->RadioButton1->isChecked());

    // A name typed by hand leaves the login alone, even the name of a stored server.
    ui->RadioButton2->click();
    ui->Edit1->setText(u"carol"_s);
    box->setFocus();
    box->lineEdit()->selectAll();
    QTest::keyClicks(box->lineEdit(), u"Lager"_s);
    QTest::keyClick(box->lineEdit(), Qt::Key_Return);
    ui->Edit1->setFocus(); // the box's editing ends
    QCOMPARE(box->currentText(), u"Lager"_s);
    QVERIFY(ui->RadioButton2->isChecked());
    QCOMPARE(ui->Edit1->text(), u"carol"_s);

    // The arrow keys pick as the drop-down does.
    box->setFocus();
    QTest::keyClick(box, Qt::Key_Up);
    QCOMPARE(box->currentText(), u"KASSE\\ZT"_s);
    QVERIFY(ui->RadioButton2->isChecked());
    QCOMPARE(ui->Edit1->text(), u"bob"_s);
}

QTEST_MAIN(TestFormServer)
#include "tst_form_server.moc"
