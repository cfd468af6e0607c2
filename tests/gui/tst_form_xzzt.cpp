// Page 2, the account-set page: its widgets and hidden holders, its show handler, Enter as Tab,
// the wait-cursor reset and its help button.
#include "wizardfixture.h"

#include "accountset/form_hfzt.h"

#include <QApplication>
#include <QHeaderView>
#include <QMouseEvent>
#include <QTableView>

using namespace zt;
using namespace zt::test;

class TestFormXzzt : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void inventory_data();
    void inventory();
    void keyboardOrder();
    void windowLookAndHolders();

    void showingClearsTheEntryFieldsOnly();
    void enterMovesOnLikeTab_data();
    void enterMovesOnLikeTab();
    void enterInTheDeletePasswordStays();
    void otherKeysAreTypedOnly();
    void leftOverWaitCursorIsResetOnMouseMove_data();
    void leftOverWaitCursorIsResetOnMouseMove();
    void helpGoesThroughPageOne();

    void focusedButtonPressesOnEnterAndSpace_data();
    void focusedButtonPressesOnEnterAndSpace();
    void deleteIsTheDefaultButtonWhileItsGroupShows_data();
    void deleteIsTheDefaultButtonWhileItsGroupShows();
    void passwordFieldsShowStars_data();
    void passwordFieldsShowStars();

private:
    void showPage();
    std::unique_ptr<Wizard> m_wizard;
};

void TestFormXzzt::init()
{
    m_wizard = std::make_unique<Wizard>();
    QVERIFY(m_wizard->installation.isValid());
}

void TestFormXzzt::cleanup()
{
    m_wizard.reset();
}

void TestFormXzzt::showPage()
{
    m_wizard->page2->show();
    m_wizard->page2->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(m_wizard->page2));
}

void TestFormXzzt::inventory_data()
{
    addInventoryColumns();
    const auto row = [](const char *name, const char *cls, const char *parent, QRect geometry,
                         const QString &text, const QString &hint = {}, const char *state = "") {
        QTest::newRow(name) << QString::fromLatin1(cls) << QString::fromLatin1(parent) << geometry << text
                            << hint << QString::fromLatin1(state);
    };
    row("Panel2", "QFrame", "form_xzzt", { 0, 0, 123, 274 }, {});
    row("Image1", "QLabel", "Panel2", { 0, 0, 123, 274 }, {});
    row("BitBtn9", "QPushButton", "form_xzzt", { 134, 240, 75, 25 }, QStringLiteral("帮助&H"));
    row("BitBtn7", "QPushButton", "form_xzzt", { 284, 240, 75, 25 }, QStringLiteral("上一步&P"));
    row("BitBtn8", "QPushButton", "form_xzzt", { 377, 240, 75, 25 }, QStringLiteral("退出&X"));
    row("PageControl1", "QTabWidget", "form_xzzt", { 134, 5, 331, 231 }, {});
    row("Label6", "QLabel", "TabSheet3", { 5, 8, 86, 13 }, QStringLiteral("服务器名称："));
    row("Edit1", "QLineEdit", "TabSheet3", { 84, 4, 232, 20 }, {}, {}, "disabled");
    row("Bevel2", "QFrame", "TabSheet3", { 3, 30, 318, 1 }, {});
    row("Label4", "QLabel", "TabSheet3", { 6, 41, 83, 13 }, QStringLiteral("数据库名称："));
    row("Edit5", "QLineEdit", "TabSheet3", { 84, 37, 182, 20 }, {});
    row("Label5", "QLabel", "TabSheet3", { 271, 40, 48, 13 }, QStringLiteral("（英文）"));
    row("Label7", "QLabel", "TabSheet3", { 6, 66, 60, 13 }, QStringLiteral("账套名称："));
    row("Edit2", "QLineEdit", "TabSheet3", { 84, 62, 232, 20 }, {});
    row("Label8", "QLabel", "TabSheet3", { 6, 93, 60, 13 }, QStringLiteral("账套口令："));
    row("Edit6", "QLineEdit", "TabSheet3", { 84, 87, 232, 24 }, {}, {}, "password");
    row("Label1", "QLabel", "TabSheet3", { 6, 122, 60, 13 }, QStringLiteral("口令校验："));
    row("Edit4", "QLineEdit", "TabSheet3", { 84, 116, 232, 24 }, {}, {}, "password");
    row("CheckBox1", "QRadioButton", "TabSheet3", { 6, 147, 113, 17 }, QStringLiteral("网络账套"), {},
        "checked");
    row("CheckBox2", "QRadioButton", "TabSheet3", { 6, 166, 189, 17 },
        QStringLiteral("创建租用的远程ＳＱＬ数据库"));
    row("CheckBox3", "QRadioButton", "TabSheet3", { 6, 186, 189, 17 },
        QStringLiteral("引入租用的远程ＳＱＬ数据库"));
    row("BitBtn1", "QPushButton", "TabSheet3", { 220, 180, 99, 25 }, QStringLiteral("创建账套&A"));
    row("BitBtn4", "QPushButton", "TabSheet3", { 216, 180, 103, 25 }, QStringLiteral("创建例子帐套&S"),
        QStringLiteral("创建软件自带的示范账套"), "hidden");
    row("DBGrid1", "QTableView", "TabSheet4", { 4, 5, 321, 169 }, {});
    row("BitBtn2", "QPushButton", "TabSheet4", { 22, 179, 115, 25 }, QStringLiteral("选择网络账套&N"),
        QStringLiteral("将此网络帐套选择为本地应用帐套"));
    row("BitBtn3", "QPushButton", "TabSheet4", { 180, 179, 115, 26 }, QStringLiteral("删除网络账套&A"),
        QStringLiteral("删除此网络帐套"));
    row("GroupBox1", "QGroupBox", "TabSheet4", { 128, 75, 189, 93 }, QStringLiteral("删除口令"), {},
        "hidden");
    row("Label2", "QLabel", "GroupBox1", { 16, 24, 60, 13 }, QStringLiteral("帐套口令："));
    row("Edit3", "QLineEdit", "GroupBox1", { 81, 19, 96, 24 }, {}, {}, "password");
    row("BitBtn5", "QPushButton", "GroupBox1", { 13, 55, 75, 25 }, QStringLiteral("删除&D"));
    row("BitBtn6", "QPushButton", "GroupBox1", { 101, 55, 75, 25 }, QStringLiteral(" 取消&C"));
    row("server", "QLineEdit", "form_xzzt", { 128, 244, 121, 21 }, QStringLiteral("server"), {},
        "disabled hidden");
    row("ComboBox1", "QComboBox", "form_xzzt", { 128, 244, 145, 21 }, QStringLiteral("ckdsz"), {}, "hidden");
    row("ProgressBar1", "QProgressBar", "form_xzzt", { 124, 266, 344, 8 }, {}, {}, "hidden");
}

void TestFormXzzt::inventory()
{
    checkInventoryRow(m_wizard->page2);
}

void TestFormXzzt::keyboardOrder()
{
    const QStringList window { QStringLiteral("BitBtn7"), QStringLiteral("BitBtn8"),
        QStringLiteral("PageControl1"), QStringLiteral("BitBtn9") };
    QCOMPARE(focusOrder(m_wizard->page2, window), window);
    const QStringList tab0 { QStringLiteral("Edit1"), QStringLiteral("Edit5"), QStringLiteral("Edit2"),
        QStringLiteral("Edit6"), QStringLiteral("Edit4"), QStringLiteral("BitBtn1"),
        QStringLiteral("BitBtn4"), QStringLiteral("CheckBox1"), QStringLiteral("CheckBox2"),
        QStringLiteral("CheckBox3") };
    QCOMPARE(focusOrder(m_wizard->page2, tab0), tab0);
}

void TestFormXzzt::windowLookAndHolders()
{
    Ui::form_xzzt *ui = m_wizard->p2();
    QCOMPARE(m_wizard->page2->minimumSize(), QSize(468, 274));
    QCOMPARE(m_wizard->page2->maximumSize(), QSize(468, 274));
    QCOMPARE(m_wizard->page2->palette().color(QPalette::Window), QColor(188, 202, 228));
    QCOMPARE(ui->Edit5->palette().color(QPalette::Base), QColor(237, 241, 248));
    QCOMPARE(ui->Edit6->font().pointSize(), 10);
    QVERIFY(ui->Edit6->font().bold());
    QVERIFY(ui->Edit4->font().bold());
    QVERIFY(!ui->Image1->pixmap().isNull());
    QCOMPARE(ui->PageControl1->currentIndex(), 0);
    QCOMPARE(ui->PageControl1->tabText(0), QStringLiteral("新增账套"));
    QCOMPARE(ui->PageControl1->tabText(1), QStringLiteral("网络账套"));
    QVERIFY(ui->BitBtn5->isDefault());

    // The base-data tables, in the order they are copied.
    const QStringList tables { "ckdsz", "ckdsz01", "ckdsz02", "czyssz", "users", "gzxmdyb", "hpszxxb",
        "hpszxxb_show", "jczlxxb", "jjfsxxb", "jjfsxxxb", "kjkmlbb", "kjkmxxb", "sdsszxxb", "xtxxb",
        "xtxxb_other" };
    QStringList items;
    for (int i = 0; i < ui->ComboBox1->count(); ++i)
        items.append(ui->ComboBox1->itemText(i));
    QCOMPARE(items, tables);
    QCOMPARE(ui->ProgressBar1->value(), 0);

    // The grid: read-only, whole rows, two centred titles.
    QTableView *grid = ui->DBGrid1;
    QCOMPARE(grid->editTriggers(), QAbstractItemView::NoEditTriggers);
    QCOMPARE(grid->selectionBehavior(), QAbstractItemView::SelectRows);
    QCOMPARE(grid->model()->columnCount(), 2);
    QCOMPARE(grid->model()->headerData(0, Qt::Horizontal).toString(), QStringLiteral("账套名称"));
    QCOMPARE(grid->model()->headerData(1, Qt::Horizontal).toString(), QStringLiteral("数据库名称"));
    QCOMPARE(grid->columnWidth(0), 180);
    QCOMPARE(grid->columnWidth(1), 100);
    QCOMPARE(grid->horizontalHeader()->defaultAlignment(), Qt::AlignCenter);
    QCOMPARE(grid->palette().color(QPalette::Base), QColor(233, 240, 248));
    QCOMPARE(grid->font().pointSize(), 8);
    // Compact rows of one line each: about nine fit in the grid's 169 pixels.
    QVERIFY(!grid->wordWrap());
    const int rowHeight = grid->verticalHeader()->defaultSectionSize();
    QVERIFY2(
        rowHeight >= grid->fontMetrics().height() && rowHeight <= 20, qPrintable(QString::number(rowHeight)));
}

void TestFormXzzt::showingClearsTheEntryFieldsOnly()
{
    Ui::form_xzzt *ui = m_wizard->p2();
    for (QLineEdit *field : { ui->Edit1, ui->Edit2, ui->Edit6, ui->Edit4, ui->Edit5 })
        field->setText(QStringLiteral("old"));
    ui->server->setText(QStringLiteral("password=x;"));
    ui->CheckBox3->setChecked(true);
    ui->PageControl1->setCurrentIndex(1);

    showPage();

    QCOMPARE(m_wizard->page2->windowTitle(), QStringLiteral("创建账套（MS SQL）"));
    for (QLineEdit *field : { ui->Edit1, ui->Edit2, ui->Edit6, ui->Edit4, ui->Edit5 })
        QVERIFY2(field->text().isEmpty(), qPrintable(field->objectName()));
    QCOMPARE(ui->server->text(), QStringLiteral("password=x;"));
    QVERIFY(ui->CheckBox3->isChecked());
    QCOMPARE(ui->PageControl1->currentIndex(), 1);
    // The page's local configuration connection is set up, not yet opened.
    QCOMPARE(m_wizard->page2->Conn_Ty().connectionString(),
        store::localAccessString(QStringLiteral("MORVEK.mdb")));
    QVERIFY(!m_wizard->page2->Conn_Ty().isOpen());
    QCOMPARE(m_wizard->page2->ADOTy().connection(), &m_wizard->page2->Conn_Ty());
}

void TestFormXzzt::enterMovesOnLikeTab_data()
{
    QTest::addColumn<QString>("from");
    QTest::addColumn<QString>("to");
    QTest::addColumn<int>("key");
    QTest::newRow("Edit5") << "Edit5"
                           << "Edit2" << int(Qt::Key_Return);
    QTest::newRow("Edit2") << "Edit2"
                           << "Edit6" << int(Qt::Key_Return);
    QTest::newRow("Edit6") << "Edit6"
                           << "Edit4" << int(Qt::Key_Return);
    QTest::newRow("Edit4 to the create button") << "Edit4"
                                                << "BitBtn1" << int(Qt::Key_Return);
    QTest::newRow("the create button takes the next Enter") << "BitBtn1"
                                                            << "BitBtn1" << int(Qt::Key_Return);
    QTest::newRow("keypad Enter") << "Edit5"
                                  << "Edit2" << int(Qt::Key_Enter);
}

void TestFormXzzt::enterMovesOnLikeTab()
{
    QFETCH(QString, from);
    QFETCH(QString, to);
    QFETCH(int, key);
    showPage();
    auto *field = m_wizard->page2->findChild<QWidget *>(from);
    field->setFocus();
    QTRY_COMPARE(QApplication::focusWidget(), field);
    QSignalSpy created(m_wizard->p2()->BitBtn1, &QPushButton::clicked);

    QTest::keyClick(field, Qt::Key(key));

    QTRY_COMPARE(QApplication::focusWidget()->objectName(), to);
    if (from != QLatin1StringView("BitBtn1")) {
        QCOMPARE(created.count(), 0); // focus moves to the button; it is not pressed
        QVERIFY(m_wizard->notifier.messages.isEmpty());
    } else {
        // Enter on the focused button presses it: the checks of the creation answer.
        QCOMPARE(created.count(), 1);
        QCOMPARE(m_wizard->notifier.last().text,
            QStringLiteral("服务器名称不能为空,请点击“上一步”获取可加用的服务器名称！"));
    }
}

void TestFormXzzt::enterInTheDeletePasswordStays()
{
    Ui::form_xzzt *ui = m_wizard->p2();
    showPage();
    ui->PageControl1->setCurrentIndex(1);
    ui->GroupBox1->show();
    ui->Edit3->setFocus();
    QTRY_COMPARE(QApplication::focusWidget(), ui->Edit3);
    QTest::keyClick(ui->Edit3, Qt::Key_Return);
    QCoreApplication::processEvents();
    QCOMPARE(QApplication::focusWidget(), ui->Edit3);
}

void TestFormXzzt::otherKeysAreTypedOnly()
{
    Ui::form_xzzt *ui = m_wizard->p2();
    showPage();
    ui->Edit5->setFocus();
    QTRY_COMPARE(QApplication::focusWidget(), ui->Edit5);
    QTest::keyClicks(ui->Edit5, QStringLiteral("zt01"));
    QCoreApplication::processEvents();
    QCOMPARE(ui->Edit5->text(), QStringLiteral("zt01"));
    QCOMPARE(QApplication::focusWidget(), ui->Edit5);
}

void TestFormXzzt::leftOverWaitCursorIsResetOnMouseMove_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("BitBtn1") << "BitBtn1";
    QTest::newRow("BitBtn4") << "BitBtn4";
    QTest::newRow("BitBtn5") << "BitBtn5";
}

void TestFormXzzt::leftOverWaitCursorIsResetOnMouseMove()
{
    QFETCH(QString, name);
    auto *button = m_wizard->page2->findChild<QPushButton *>(name);
    const auto move = [button] {
        QMouseEvent event(QEvent::MouseMove, QPointF(3, 3), button->mapToGlobal(QPointF(3, 3)), Qt::NoButton,
            Qt::NoButton, Qt::NoModifier);
        QCoreApplication::sendEvent(button, &event);
    };
    // Over the default cursor a move changes nothing.
    move();
    QVERIFY(!button->testAttribute(Qt::WA_SetCursor));
    button->setCursor(Qt::WaitCursor);
    move();
    QVERIFY(!button->testAttribute(Qt::WA_SetCursor));
    QCOMPARE(button->cursor().shape(), Qt::ArrowCursor);
}

void TestFormXzzt::helpGoesThroughPageOne()
{
    const QString dir = m_wizard->installation.dir();
    QFile::remove(dir + QStringLiteral("help.ini"));
    showPage();
    QTest::mouseClick(m_wizard->p2()->BitBtn9, Qt::LeftButton);
    QCOMPARE(m_wizard->p1()->Edit3->text(), QStringLiteral("创建账套"));
    QVERIFY(helpIniText(dir).contains(QStringLiteral("帮助路径=创建账套.htm")));
}

void TestFormXzzt::focusedButtonPressesOnEnterAndSpace_data()
{
    QTest::addColumn<QString>("window");
    QTest::addColumn<QString>("button");
    QTest::addColumn<int>("key");
    // Buttons whose handlers end quietly here: no listed directory, no server name, help.
    QTest::newRow("page 2, Return") << "form_xzzt"
                                    << "BitBtn2" << int(Qt::Key_Return);
    QTest::newRow("page 2, keypad Enter") << "form_xzzt"
                                          << "BitBtn3" << int(Qt::Key_Enter);
    QTest::newRow("page 2, Space") << "form_xzzt"
                                   << "BitBtn9" << int(Qt::Key_Space);
    QTest::newRow("page 1, Return") << "form_server"
                                    << "BitBtn7" << int(Qt::Key_Return);
    QTest::newRow("page 1, Space") << "form_server"
                                   << "BitBtn1" << int(Qt::Key_Space);
    QTest::newRow("lookup dialog, Return") << "Form_HJFW"
                                           << "BitBtn2" << int(Qt::Key_Return);
    QTest::newRow("lookup dialog, Space") << "Form_HJFW"
                                          << "BitBtn2" << int(Qt::Key_Space);
}

void TestFormXzzt::focusedButtonPressesOnEnterAndSpace()
{
    QFETCH(QString, window);
    QFETCH(QString, button);
    QFETCH(int, key);
    QWidget *shown = window == QLatin1StringView("form_xzzt") ? static_cast<QWidget *>(m_wizard->page2)
        : window == QLatin1StringView("form_server")          ? static_cast<QWidget *>(m_wizard->server)
                                                              : static_cast<QWidget *>(m_wizard->lookup);
    shown->show();
    shown->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(shown));
    auto *pressed = shown->findChild<QPushButton *>(button);
    QVERIFY(pressed);
    QVERIFY(!pressed->isDefault());
    pressed->setFocus();
    QTRY_COMPARE(QApplication::focusWidget(), pressed);
    QSignalSpy clicked(pressed, &QPushButton::clicked);
    QTest::keyClick(pressed, Qt::Key(key));
    QCOMPARE(clicked.count(), 1);
    // A modified Enter is no press.
    if (key != Qt::Key_Space) {
        QTest::keyClick(pressed, Qt::Key(key), Qt::ControlModifier);
        QCOMPARE(clicked.count(), 1);
    }
}

void TestFormXzzt::deleteIsTheDefaultButtonWhileItsGroupShows_data()
{
    QTest::addColumn<bool>("groupShown");
    QTest::addColumn<QString>("focus");
    QTest::addColumn<int>("deletePresses");
    QTest::addColumn<int>("focusPresses"); // presses of the focused widget, when it is a button
    QTest::newRow("password field") << true << "Edit3" << 1 << 0;
    QTest::newRow("grid") << true << "DBGrid1" << 1 << 0;
    QTest::newRow("tabs") << true << "PageControl1" << 1 << 0;
    QTest::newRow("another button presses itself") << true << "BitBtn2" << 0 << 1;
    QTest::newRow("the cancel button presses itself") << true << "BitBtn6" << 0 << 1;
    QTest::newRow("group hidden: grid") << false << "DBGrid1" << 0 << 0;
    QTest::newRow("group hidden: tabs") << false << "PageControl1" << 0 << 0;
}

void TestFormXzzt::deleteIsTheDefaultButtonWhileItsGroupShows()
{
    QFETCH(bool, groupShown);
    QFETCH(QString, focus);
    QFETCH(int, deletePresses);
    QFETCH(int, focusPresses);
    Ui::form_xzzt *ui = m_wizard->p2();
    showPage();
    ui->PageControl1->setCurrentIndex(1);
    ui->GroupBox1->setVisible(groupShown);
    auto *focused = m_wizard->page2->findChild<QWidget *>(focus);
    focused->setFocus();
    QTRY_VERIFY(focused->hasFocus());
    QSignalSpy deleted(ui->BitBtn5, &QPushButton::clicked);
    auto *focusedButton = qobject_cast<QPushButton *>(focused);
    std::unique_ptr<QSignalSpy> own;
    if (focusedButton)
        own = std::make_unique<QSignalSpy>(focusedButton, &QPushButton::clicked);

    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);

    QCOMPARE(deleted.count(), deletePresses);
    QCOMPARE(own ? own->count() : 0, focusPresses);
    // On the first tab the group is not on screen, so nothing there is pressed by Enter.
    ui->PageControl1->setCurrentIndex(0);
    ui->Edit2->setFocus();
    QTRY_COMPARE(QApplication::focusWidget(), ui->Edit2);
    QTest::keyClick(ui->Edit2, Qt::Key_Return);
    QCOMPARE(deleted.count(), deletePresses);
}

void TestFormXzzt::passwordFieldsShowStars_data()
{
    QTest::addColumn<QString>("window");
    QTest::addColumn<QString>("field");
    QTest::newRow("page 1 password") << "form_server"
                                     << "Edit2";
    QTest::newRow("account-set password") << "form_xzzt"
                                          << "Edit6";
    QTest::newRow("password repeated") << "form_xzzt"
                                       << "Edit4";
    QTest::newRow("delete password") << "form_xzzt"
                                     << "Edit3";
    QTest::newRow("restore: set password") << "form_hfzt"
                                           << "Edit4";
    QTest::newRow("restore: repeated") << "form_hfzt"
                                       << "Edit5";
}

void TestFormXzzt::passwordFieldsShowStars()
{
    QFETCH(QString, window);
    QFETCH(QString, field);
    QWidget *page = window == QLatin1StringView("form_server") ? static_cast<QWidget *>(m_wizard->server)
                                                               : static_cast<QWidget *>(m_wizard->page2);
    if (window == QLatin1StringView("form_hfzt"))
        page = new gui::TForm_HFZT(m_wizard->page2);
    auto *edit = page->findChild<QLineEdit *>(field);
    QVERIFY(edit);
    QCOMPARE(edit->echoMode(), QLineEdit::Password);
    QCOMPARE(edit->style()->styleHint(QStyle::SH_LineEdit_PasswordCharacter, nullptr, edit), int(u'*'));
    QCOMPARE(edit->style()->styleHint(QStyle::SH_LineEdit_PasswordMaskDelay, nullptr, edit), 0);
    QCOMPARE(edit->palette().color(QPalette::Base), page->palette().color(QPalette::Base));
}

QTEST_MAIN(TestFormXzzt)
#include "tst_form_xzzt.moc"
