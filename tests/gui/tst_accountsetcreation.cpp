// Page 2's first tab against the embedded server, through the page: creation in its three
// modes and its refusals, the bar of the per-set file's copy, and the sample account set.
#include "accountsetpagefixture.h"

#include "accountset/creation.h"
#include "accountset/progressbarcopy.h"

#include <QAction>
#include <QProgressBar>

using namespace zt;
using namespace zt::test;
using data::LoginFragment;

class TestAccountSetCreation : public AccountSetPageTest
{
    Q_OBJECT

private slots:
    void init() { makeWizard(); }
    void cleanup() { m_wizard.reset(); }

    // Creation
    void creationChecks_data();
    void creationChecks();
    void creationModes_data();
    void creationModes();
    void failedCreationKeepsTheEntries();

    // The copy's bar
    void progressBarShowsHugeFilesInProportion();
    void emptyTemplateLeavesAnEmptyBar();

    // The sample account set
    void sampleButtonIsReachedByShortcutAndMenu();
    void sampleIsRestoredOnceThenTheServerRefuses();
    void sampleInRentedBuildModeLeavesTheDirectory();
    void sampleNeedsAServerName();
};

void TestAccountSetCreation::creationChecks_data()
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

void TestAccountSetCreation::creationChecks()
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

void TestAccountSetCreation::creationModes_data()
{
    QTest::addColumn<QString>("mode");
    QTest::addColumn<bool>("answer");
    QTest::addColumn<QString>("net");
    QTest::addColumn<int>("expectedDirectoryRows"); // -1: no directory table
    QTest::addColumn<bool>("programThere"); // the program txt/runsoft.txt names

    QTest::newRow("network, start now") << "CheckBox1" << true << "是" << 1 << true;
    QTest::newRow("network, not now") << "CheckBox1" << false << "是" << 1 << true;
    QTest::newRow("network, start now, no program") << "CheckBox1" << true << "是" << 1 << false;
    QTest::newRow("rented build") << "CheckBox2" << true << "" << -1 << true;
    QTest::newRow("rented register") << "CheckBox3" << false << "否" << 0 << true;
}

void TestAccountSetCreation::creationModes()
{
    QFETCH(QString, mode);
    QFETCH(bool, answer);
    QFETCH(QString, net);
    QFETCH(int, expectedDirectoryRows);
    QFETCH(bool, programThere);
    const QString program = m_wizard->installation.dir() + QStringLiteral("tovra");
    if (!programThere)
        QVERIFY(QFile::remove(program));
    toPageTwo();
    Ui::form_xzzt *p2 = m_wizard->p2();
    const QString number = QStringLiteral("zt100");
    if (mode != u"CheckBox1")
        exec(QStringLiteral("master"), QStringLiteral("create database zt100"));
    setMode(m_wizard->page2->findChild<QRadioButton *>(mode));
    fill(number, QStringLiteral(" 北京示范贸易 "), QStringLiteral("pw"), QStringLiteral("pw"));
    m_wizard->notifier.answerQuestion = answer;

    QTest::mouseClick(p2->BitBtn1, Qt::LeftButton);

    const bool launchFails = answer && !programThere;
    QCOMPARE(m_wizard->notifier.messages.size(), launchFails ? 2 : 1);
    QCOMPARE(m_wizard->notifier.messages.at(0).kind, QStringLiteral("question"));
    QCOMPARE(m_wizard->notifier.messages.at(0).text, QStringLiteral("账套创建成功，现在就开始进入吗？"));
    QCOMPARE(m_wizard->notifier.messages.at(0).caption, QStringLiteral("询问"));
    if (launchFails) { // said before the wizard ends, naming the program's path
        QCOMPARE(m_wizard->notifier.last().kind, QStringLiteral("error"));
        QCOMPARE(m_wizard->notifier.last().text,
            QStringLiteral("账套已创建成功，但无法启动 txt/runsoft.txt 指定的程序：\n") + program
                + QStringLiteral("\n找不到这个文件。"));
        QCOMPARE(m_wizard->notifier.last().caption, QStringLiteral("提示"));
    }
    QCOMPARE(m_wizard->started.size(), answer && programThere ? 1 : 0);
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
        QVERIFY_THROWS_EXCEPTION(data::DataError, directoryRows(number));
    else
        QCOMPARE(directoryRows(number), expectedDirectoryRows);
}

void TestAccountSetCreation::failedCreationKeepsTheEntries()
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

void TestAccountSetCreation::sampleButtonIsReachedByShortcutAndMenu()
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

void TestAccountSetCreation::sampleIsRestoredOnceThenTheServerRefuses()
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

void TestAccountSetCreation::sampleInRentedBuildModeLeavesTheDirectory()
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

void TestAccountSetCreation::sampleNeedsAServerName()
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

void TestAccountSetCreation::progressBarShowsHugeFilesInProportion()
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

void TestAccountSetCreation::emptyTemplateLeavesAnEmptyBar()
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

QTEST_MAIN(TestAccountSetCreation)
#include "tst_accountsetcreation.moc"
