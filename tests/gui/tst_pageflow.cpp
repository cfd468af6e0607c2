// The way between the pages: page 1's "下一步&N" with the rented-database option (which sends
// nothing to any server), page 2's "上一步&P", and the ways the wizard ends.
#include "wizardfixture.h"

#include "data/dataerror.h"
#include "data/odbcbackend.h"

#include <QAbstractButton>
#include <QCloseEvent>
#include <QMessageBox>
#include <QTimer>

using namespace zt;
using namespace zt::test;

class TestPageFlow : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void rentedOptionGoesToPageTwoWithoutTheServer();
    void backReturnsToTheWindowsLogin();
    void forwardAgainClearsAndRefillsPageTwo();
    void existingRecordIsUpdatedNotDuplicated();
    void exitOnPageTwoEndsTheWizard_data();
    void exitOnPageTwoEndsTheWizard();
    void unreachableServerTakesTheFailurePath();
    void messageBoxesSpeakChinese_data();
    void messageBoxesSpeakChinese();
    void otherWindowsComeOncePaintedOrWhenNeeded();

private:
    void goRented(const QString &serverName, const QString &user, const QString &password);

    std::unique_ptr<Wizard> m_wizard;
    QList<data::ConnectionString> m_serverAttempts;
};

void TestPageFlow::init()
{
    m_serverAttempts.clear();
    // The local files are reached for real; any attempt to reach a server is recorded and fails.
    data::setBackendFactory([this](const data::ConnectionString &cs) -> std::unique_ptr<data::Backend> {
        if (cs.isOdbc())
            return data::odbc::openDataSource(
                cs.dataSource(), cs.odbcUser(), cs.odbcPassword(), cs.catalogName());
        m_serverAttempts.append(cs);
        throw data::DataError(QStringLiteral("[test] no server here"));
    });
    m_wizard = std::make_unique<Wizard>();
    QVERIFY(m_wizard->installation.isValid());
}

void TestPageFlow::cleanup()
{
    m_wizard.reset();
    data::setBackendFactory({});
}

void TestPageFlow::goRented(const QString &serverName, const QString &user, const QString &password)
{
    m_wizard->server->show();
    m_wizard->typeSqlLogin(serverName, user, password);
    m_wizard->p1()->CheckBox2->setChecked(true);
    QTest::mouseClick(m_wizard->p1()->BitBtn7, Qt::LeftButton);
}

void TestPageFlow::rentedOptionGoesToPageTwoWithoutTheServer()
{
    goRented(QStringLiteral("rented.example\\SQL2"), QStringLiteral("renter01"), QStringLiteral("p;w'1"));

    QVERIFY2(m_wizard->notifier.messages.isEmpty(), qPrintable(m_wizard->notifier.messages.value(0).text));
    QVERIFY(m_serverAttempts.isEmpty());
    QVERIFY(!m_wizard->server->isVisible());
    QVERIFY(m_wizard->page2->isVisible());
    QVERIFY(!m_wizard->p1()->BitBtn7->testAttribute(Qt::WA_SetCursor));

    Ui::form_xzzt *p2 = m_wizard->p2();
    QCOMPARE(p2->Edit1->text(), QStringLiteral("rented.example\\SQL2"));
    QCOMPARE(p2->Edit5->text(), QStringLiteral("renter01"));
    QCOMPARE(p2->Edit2->text(), QStringLiteral("renter01"));
    QVERIFY(p2->CheckBox2->isChecked());
    QVERIFY(p2->CheckBox2->isEnabled());
    QVERIFY(p2->CheckBox3->isEnabled());
    QVERIFY(!p2->CheckBox1->isEnabled());

    const QList<ServerRecord> rows = m_wizard->serverRecords(QStringLiteral("rented.example\\SQL2"));
    QCOMPARE(rows.size(), 1);
    QCOMPARE(rows.first().first, QString());
    QCOMPARE(
        rows.first().second, QStringLiteral("password=p;w'1;persist security info=true;user id=renter01;"));
}

void TestPageFlow::backReturnsToTheWindowsLogin()
{
    goRented(QStringLiteral("rented.example"), QStringLiteral("renter01"), QStringLiteral("pw"));
    QVERIFY(m_wizard->page2->isVisible());

    QTest::mouseClick(m_wizard->p2()->BitBtn7, Qt::LeftButton);

    QVERIFY(m_wizard->server->isVisible());
    QVERIFY(!m_wizard->page2->isVisible());
    QCOMPARE(m_wizard->closedSpy->count(), 0);
    Ui::form_server *p1 = m_wizard->p1();
    QVERIFY(p1->RadioButton1->isChecked());
    QVERIFY(!p1->CheckBox2->isChecked());
    QVERIFY(p1->Edit1->text().isEmpty());
    QVERIFY(p1->Edit2->text().isEmpty());
    QVERIFY(!p1->Edit1->isEnabled());
    QVERIFY(!p1->Edit2->isEnabled());
    // The server box shows entry 0 of its list again instead of the name used before.
    QCOMPARE(p1->SQLServersListComboBox1->currentText(), p1->SQLServersListComboBox1->itemText(0));
}

void TestPageFlow::forwardAgainClearsAndRefillsPageTwo()
{
    goRented(QStringLiteral("first.example"), QStringLiteral("one"), QString());
    Ui::form_xzzt *p2 = m_wizard->p2();
    p2->Edit6->setText(QStringLiteral("secret"));
    p2->Edit4->setText(QStringLiteral("secret"));
    p2->CheckBox3->setChecked(true);
    p2->PageControl1->setCurrentIndex(1);
    QTest::mouseClick(p2->BitBtn7, Qt::LeftButton);

    goRented(QStringLiteral("second.example"), QStringLiteral("two"), QString());

    QVERIFY(m_wizard->page2->isVisible());
    QCOMPARE(p2->Edit1->text(), QStringLiteral("second.example"));
    QCOMPARE(p2->Edit5->text(), QStringLiteral("two"));
    QCOMPARE(p2->Edit2->text(), QStringLiteral("two"));
    QVERIFY(p2->Edit6->text().isEmpty());
    QVERIFY(p2->Edit4->text().isEmpty());
    QVERIFY(p2->CheckBox2->isChecked()); // the mode is arranged afresh
    QCOMPARE(p2->PageControl1->currentIndex(), 1); // the tab stays
}

void TestPageFlow::existingRecordIsUpdatedNotDuplicated()
{
    goRented(QStringLiteral("shared.example"), QStringLiteral("first"), QStringLiteral("a"));
    QTest::mouseClick(m_wizard->p2()->BitBtn7, Qt::LeftButton);
    goRented(QStringLiteral("shared.example"), QStringLiteral("second"), QStringLiteral("b"));

    const QList<ServerRecord> rows = m_wizard->serverRecords(QStringLiteral("shared.example"));
    QCOMPARE(rows.size(), 1);
    QCOMPARE(rows.first().second, QStringLiteral("password=b;persist security info=true;user id=second;"));
}

void TestPageFlow::exitOnPageTwoEndsTheWizard_data()
{
    QTest::addColumn<QString>("how");
    QTest::newRow("退出&X") << "button";
    QTest::newRow("Esc") << "escape";
    QTest::newRow("close box") << "close";
}

void TestPageFlow::exitOnPageTwoEndsTheWizard()
{
    QFETCH(QString, how);
    goRented(QStringLiteral("rented.example"), QStringLiteral("renter"), QString());
    QVERIFY(m_wizard->page2->isVisible());

    if (how == u"button") {
        QTest::mouseClick(m_wizard->p2()->BitBtn8, Qt::LeftButton);
    } else if (how == u"escape") {
        m_wizard->page2->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(m_wizard->page2));
        m_wizard->p2()->Edit5->setFocus();
        QTest::keyClick(m_wizard->p2()->Edit5, Qt::Key_Escape);
    } else {
        m_wizard->page2->close();
    }

    QCOMPARE(m_wizard->closedSpy->count(), 1);
    QVERIFY(!m_wizard->server->isVisible());
    QVERIFY(!m_wizard->page2->isVisible());
}

void TestPageFlow::unreachableServerTakesTheFailurePath()
{
    Ui::form_server *p1 = m_wizard->p1();
    m_wizard->server->show();
    m_wizard->typeSqlLogin(QStringLiteral("db.example"), QStringLiteral("sa"), QStringLiteral("pw"));

    QTest::mouseClick(p1->BitBtn7, Qt::LeftButton);

    QCOMPARE(m_wizard->notifier.messages.size(), 1);
    QCOMPARE(m_wizard->notifier.last().kind, QStringLiteral("information"));
    QCOMPARE(m_wizard->notifier.last().caption, QStringLiteral("服务器设置提示"));
    QCOMPARE(m_wizard->notifier.last().text,
        QStringLiteral("连接服务器失败，请重新选择或录入服务器名称！[test] no server here"));
    QVERIFY(m_serverAttempts.size() >= 1);
    QCOMPARE(m_serverAttempts.first(),
        data::ConnectionString::sqlLoginProbe(
            QStringLiteral("sa"), QStringLiteral("pw"), QStringLiteral("db.example")));
    // Nothing stored, page 1 as the user left it, the cursor back to the default.
    QVERIFY(m_wizard->serverRecords(QStringLiteral("db.example")).isEmpty());
    QVERIFY(m_wizard->server->isVisible());
    QVERIFY(!m_wizard->page2->isVisible());
    QCOMPARE(p1->Edit1->text(), QStringLiteral("sa"));
    QCOMPARE(p1->Edit2->text(), QStringLiteral("pw"));
    QCOMPARE(p1->SQLServersListComboBox1->currentText(), QStringLiteral("db.example"));
    QVERIFY(!p1->BitBtn7->testAttribute(Qt::WA_SetCursor));
}

// The real message boxes (not the tests' notifier): their buttons read as on a Chinese system, the
// default button is the one each kind names, and the answer is the button pressed.
void TestPageFlow::messageBoxesSpeakChinese_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QStringList>("buttons");
    QTest::addColumn<QString>("press");
    QTest::addColumn<bool>("answer");
    QTest::newRow("information") << "information" << QStringList { "确定" } << "确定" << true;
    QTest::newRow("question, OK") << "question" << QStringList { "确定", "取消" } << "确定" << true;
    QTest::newRow("question, Cancel") << "question" << QStringList { "确定", "取消" } << "取消" << false;
    QTest::newRow("error") << "error" << QStringList { "确定" } << "确定" << true;
    QTest::newRow("confirmation, Yes") << "confirm" << QStringList { "是(&Y)", "否(&N)" } << "是(&Y)" << true;
    QTest::newRow("confirmation, No") << "confirm" << QStringList { "是(&Y)", "否(&N)" } << "否(&N)" << false;
    QTest::newRow("ask, default No") << "ask" << QStringList { "是(&Y)", "否(&N)" } << "" << false;
    QTest::newRow("plain") << "plain" << QStringList { "确定" } << "确定" << true;
}

void TestPageFlow::messageBoxesSpeakChinese()
{
    QFETCH(QString, kind);
    QFETCH(QStringList, buttons);
    QFETCH(QString, press);
    QFETCH(bool, answer);
    gui::MessageBoxNotifier boxes;
    QStringList seen;
    QTimer::singleShot(0, [&] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        QVERIFY(box);
        for (QAbstractButton *b : box->buttons())
            seen << b->text();
        if (press.isEmpty()) {
            box->defaultButton()->click(); // Enter
            return;
        }
        for (QAbstractButton *b : box->buttons()) {
            if (b->text() == press)
                b->click();
        }
    });
    bool result = true;
    if (kind == QLatin1StringView("information"))
        boxes.information(QStringLiteral("文字"), QStringLiteral("提示"));
    else if (kind == QLatin1StringView("question"))
        result = boxes.question(QStringLiteral("文字"), QStringLiteral("提示"));
    else if (kind == QLatin1StringView("error"))
        boxes.error(QStringLiteral("文字"), QStringLiteral("错误"));
    else if (kind == QLatin1StringView("confirm"))
        result = boxes.confirm(QStringLiteral("文字"));
    else if (kind == QLatin1StringView("ask"))
        result = boxes.ask(QStringLiteral("文字"), QStringLiteral("询问"));
    else
        boxes.plain(QStringLiteral("文字"));
    seen.sort();
    buttons.sort();
    QCOMPARE(seen, buttons);
    QCOMPARE(result, answer);
}

QTEST_MAIN(TestPageFlow)
#include "tst_pageflow.moc"

void TestPageFlow::otherWindowsComeOncePaintedOrWhenNeeded()
{
    // As the application starts: page 2 and the lookup dialog come after page 1's first paint.
    m_wizard.reset();
    m_wizard = std::make_unique<Wizard>(false);
    QVERIFY(!m_wizard->windows->otherWindowsMade());
    m_wizard->windows->makeOtherWindowsOncePainted();
    m_wizard->server->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_wizard->server));
    QVERIFY(QTest::qWaitFor([this] { return m_wizard->windows->otherWindowsMade(); }, 5000));
    QVERIFY(!m_wizard->windows->form_xzzt().isVisible());

    // A click before then makes them on the spot: "下一步&N" reaches page 2, the lookup button
    // the dialog.
    for (const bool forward : { true, false }) {
        m_wizard.reset();
        m_wizard = std::make_unique<Wizard>(false);
        if (forward) {
            goRented(QStringLiteral("rented.example"), QStringLiteral("renter01"), QStringLiteral("pw"));
            QVERIFY(m_wizard->windows->form_xzzt().isVisible());
            QCOMPARE(m_wizard->windows->form_xzzt().ui()->Edit1->text(), QStringLiteral("rented.example"));
        } else {
            m_wizard->server->show();
            QTest::mouseClick(m_wizard->p1()->SpeedButton1, Qt::LeftButton);
            QVERIFY(m_wizard->windows->Form_HJFW().isVisible());
        }
    }
}
