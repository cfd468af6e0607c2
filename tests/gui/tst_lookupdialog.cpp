#include "discovery/reverselookup.h"
#include "recordingnotifier.h"
#include "server/form_hjfw.h"
#include "testhelpers.h"

#include <QComboBox>
#include <QFile>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

using zt::gui::TForm_HJFW;

using zt::test::namesFromHosts;

namespace {

template<typename T> T *child(QWidget &window, const char *name)
{
    return window.findChild<T *>(QString::fromLatin1(name));
}

} // namespace

class TestLookupDialog : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void widgetsTextsAndPlaces_data();
    void widgetsTextsAndPlaces();
    void windowLook();
    void everyShowEmptiesBothFields();
    void showingAnOpenDialogOnlyRaisesIt();
    void localComputerGivesTheHostName();
    void loopbackAddressGivesItsName();
    void lookupFailuresShowTheMessage_data();
    void lookupFailuresShowTheMessage();
    void okCopiesTheNameIntoTheServerBox_data();
    void okCopiesTheNameIntoTheServerBox();
    void cancelClosesWithoutTouchingTheBox();

private:
    std::unique_ptr<zt::test::RecordingNotifier> m_notifier;
    std::unique_ptr<QComboBox> m_box;
    std::unique_ptr<TForm_HJFW> m_dialog;
};

void TestLookupDialog::init()
{
    m_notifier = std::make_unique<zt::test::RecordingNotifier>();
    m_box = std::make_unique<QComboBox>();
    m_box->setEditable(true);
    m_box->addItems({ QString(), QStringLiteral("SRV") });
    m_box->setCurrentIndex(0);
    m_dialog = std::make_unique<TForm_HJFW>();
    m_dialog->setServerBox(m_box.get());
}

void TestLookupDialog::cleanup()
{
    m_dialog.reset();
    m_box.reset();
    m_notifier.reset();
}

void TestLookupDialog::widgetsTextsAndPlaces_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("hint");
    QTest::addColumn<QRect>("place");
    QTest::newRow("Label1") << "Label1" << QStringLiteral("IP地址：") << QString() << QRect(16, 16, 46, 13);
    QTest::newRow("Label2") << "Label2" << QStringLiteral("服务器名称：") << QString()
                            << QRect(16, 48, 72, 12);
    QTest::newRow("Edit1") << "Edit1" << QString() << QString() << QRect(91, 12, 153, 20);
    QTest::newRow("Edit2") << "Edit2" << QString() << QString() << QRect(91, 46, 153, 20);
    QTest::newRow("Bevel1") << "Bevel1" << QString() << QString() << QRect(0, 76, 265, 2);
    QTest::newRow("BitBtn1") << "BitBtn1" << QStringLiteral("本地计算机")
                             << QStringLiteral("将本地机器作为服务器,获取本地机器名称.")
                             << QRect(22, 85, 100, 25);
    QTest::newRow("BitBtn2") << "BitBtn2" << QStringLiteral("获取&H")
                             << QStringLiteral("在IP地址栏中录入服务器IP地址,点击此按钮,可获取服务器名称.")
                             << QRect(144, 85, 100, 25);
    QTest::newRow("BitBtn3") << "BitBtn3" << QStringLiteral("确定&S") << QString() << QRect(22, 117, 100, 25);
    QTest::newRow("BitBtn4") << "BitBtn4" << QStringLiteral("取消&X") << QString()
                             << QRect(144, 117, 100, 25);
}

void TestLookupDialog::widgetsTextsAndPlaces()
{
    QFETCH(QString, name);
    QFETCH(QString, text);
    QFETCH(QString, hint);
    QFETCH(QRect, place);
    m_dialog->showOrRaise();
    QWidget *widget = m_dialog->findChild<QWidget *>(name);
    QVERIFY(widget);
    QCOMPARE(widget->geometry(), place);
    QVERIFY(widget->isEnabled());
    QVERIFY(widget->isVisible());
    QCOMPARE(widget->toolTip(), hint);
    if (auto *label = qobject_cast<QLabel *>(widget))
        QCOMPARE(label->text(), text);
    if (auto *edit = qobject_cast<QLineEdit *>(widget))
        QCOMPARE(edit->text(), text); // emptied by the show
    if (auto *button = qobject_cast<QPushButton *>(widget)) {
        QCOMPARE(button->text(), text);
        QVERIFY(!button->icon().isNull());
        QVERIFY(!button->isDefault());
        QVERIFY(!button->autoDefault());
    }
}

void TestLookupDialog::windowLook()
{
    QCOMPARE(m_dialog->objectName(), QStringLiteral("Form_HJFW"));
    QVERIFY(m_dialog->isHidden());
    m_dialog->showOrRaise();
    QCOMPARE(m_dialog->windowTitle(), QStringLiteral("获取服务器"));
    if (!qEnvironmentVariableIsEmpty("ZT_SAVE_GRABS"))
        m_dialog->grab().save(QStringLiteral("lookupdialog.png"));
    QCOMPARE(m_dialog->size(), QSize(265, 149));
    QCOMPARE(m_dialog->minimumSize(), m_dialog->maximumSize());
    QCOMPARE(m_dialog->windowModality(), Qt::NonModal);
    QVERIFY(!(m_dialog->windowFlags() & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint)));
    QCOMPARE(m_dialog->palette().color(QPalette::Window), QColor(188, 202, 228));
    QCOMPARE(child<QLineEdit>(*m_dialog, "Edit1")->palette().color(QPalette::Base), QColor(237, 241, 248));
    QCOMPARE(child<QLineEdit>(*m_dialog, "Edit2")->palette().color(QPalette::Base), QColor(237, 241, 248));

    const QStringList order { QStringLiteral("Edit1"), QStringLiteral("Edit2"), QStringLiteral("BitBtn1"),
        QStringLiteral("BitBtn2"), QStringLiteral("BitBtn3"), QStringLiteral("BitBtn4") };
    QStringList tabOrder;
    QWidget *widget = child<QWidget>(*m_dialog, "Edit1");
    do {
        if (widget->focusPolicy() & Qt::TabFocus)
            tabOrder.append(widget->objectName());
        widget = widget->nextInFocusChain();
    } while (widget != child<QWidget>(*m_dialog, "Edit1"));
    QCOMPARE(tabOrder, order);
}

void TestLookupDialog::everyShowEmptiesBothFields()
{
    QLineEdit *edit1 = child<QLineEdit>(*m_dialog, "Edit1");
    QLineEdit *edit2 = child<QLineEdit>(*m_dialog, "Edit2");
    QCOMPARE(edit1->text(), QStringLiteral("Edit1")); // design texts until the first show
    for (int round = 0; round < 2; ++round) {
        m_dialog->showOrRaise();
        QCOMPARE(edit1->text(), QString());
        QCOMPARE(edit2->text(), QString());
        edit1->setText(QStringLiteral("127.0.0.1"));
        edit2->setText(QStringLiteral("HOST"));
        QTest::mouseClick(child<QPushButton>(*m_dialog, "BitBtn4"), Qt::LeftButton);
        QVERIFY(m_dialog->isHidden());
    }
}

void TestLookupDialog::showingAnOpenDialogOnlyRaisesIt()
{
    m_dialog->showOrRaise();
    child<QLineEdit>(*m_dialog, "Edit1")->setText(QStringLiteral("10.0.0.1"));
    child<QLineEdit>(*m_dialog, "Edit2")->setText(QStringLiteral("HOST"));
    m_dialog->showOrRaise();
    QVERIFY(m_dialog->isVisible());
    QCOMPARE(child<QLineEdit>(*m_dialog, "Edit1")->text(), QStringLiteral("10.0.0.1"));
    QCOMPARE(child<QLineEdit>(*m_dialog, "Edit2")->text(), QStringLiteral("HOST"));
}

void TestLookupDialog::localComputerGivesTheHostName()
{
    m_dialog->showOrRaise();
    QTest::mouseClick(child<QPushButton>(*m_dialog, "BitBtn1"), Qt::LeftButton);
    const QString name = child<QLineEdit>(*m_dialog, "Edit2")->text();
    QVERIFY(!name.isEmpty());
    QCOMPARE(name, zt::discovery::localHostName());
}

void TestLookupDialog::loopbackAddressGivesItsName()
{
    const QStringList names = namesFromHosts("127.0.0.1");
    if (names.isEmpty())
        QSKIP("/etc/hosts names nothing for 127.0.0.1");
    m_dialog->showOrRaise();
    child<QLineEdit>(*m_dialog, "Edit1")->setText(QStringLiteral("127.0.0.1"));
    child<QLineEdit>(*m_dialog, "Edit2")->setText(QStringLiteral("old"));
    QPushButton *lookup = child<QPushButton>(*m_dialog, "BitBtn2");
    QTest::mouseClick(lookup, Qt::LeftButton);
    QVERIFY(names.contains(child<QLineEdit>(*m_dialog, "Edit2")->text()));
    QVERIFY(!lookup->testAttribute(Qt::WA_SetCursor));
    QVERIFY(m_notifier->messages.isEmpty());
}

void TestLookupDialog::lookupFailuresShowTheMessage_data()
{
    QTest::addColumn<QString>("address");
    QTest::newRow("empty") << QString();
    QTest::newRow("word") << QStringLiteral("abc");
    QTest::newRow("host name typed instead") << QStringLiteral("localhost");
    QTest::newRow("five parts") << QStringLiteral("1.2.3.4.5");
    QTest::newRow("part too big") << QStringLiteral("300.1.1.1");
}

void TestLookupDialog::lookupFailuresShowTheMessage()
{
    QFETCH(QString, address);
    m_dialog->showOrRaise();
    child<QLineEdit>(*m_dialog, "Edit1")->setText(address);
    child<QLineEdit>(*m_dialog, "Edit2")->setText(QStringLiteral("old"));
    QPushButton *lookup = child<QPushButton>(*m_dialog, "BitBtn2");
    QTest::mouseClick(lookup, Qt::LeftButton);

    QCOMPARE(m_notifier->messages.size(), 1);
    QCOMPARE(m_notifier->last().kind, QStringLiteral("information"));
    QCOMPARE(m_notifier->last().caption, QStringLiteral("提示"));
    QCOMPARE(m_notifier->last().text,
        QStringLiteral("无效的IP地址或此IP地址的主机不存在。请注意网络联接是否正常！\n"
                       "或者：直接在服务器名称处录入服务器的IP地址，然后点“确定”按钮。"));
    QCOMPARE(child<QLineEdit>(*m_dialog, "Edit2")->text(), QString());
    QVERIFY(!lookup->testAttribute(Qt::WA_SetCursor));
    QVERIFY(m_dialog->isVisible());
}

void TestLookupDialog::okCopiesTheNameIntoTheServerBox_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("a name") << QStringLiteral("HOST\\INST");
    QTest::newRow("empty empties the box") << QString();
}

void TestLookupDialog::okCopiesTheNameIntoTheServerBox()
{
    QFETCH(QString, name);
    m_box->setCurrentIndex(1);
    m_dialog->showOrRaise();
    child<QLineEdit>(*m_dialog, "Edit2")->setText(name);
    QTest::mouseClick(child<QPushButton>(*m_dialog, "BitBtn3"), Qt::LeftButton);
    QCOMPARE(m_box->currentText(), name);
    QCOMPARE(m_box->count(), 2);
    QCOMPARE(m_box->itemText(1), QStringLiteral("SRV"));
    QVERIFY(m_dialog->isHidden());
}

void TestLookupDialog::cancelClosesWithoutTouchingTheBox()
{
    m_box->setEditText(QStringLiteral("KEEP"));
    m_dialog->showOrRaise();
    child<QLineEdit>(*m_dialog, "Edit2")->setText(QStringLiteral("OTHER"));
    QTest::mouseClick(child<QPushButton>(*m_dialog, "BitBtn4"), Qt::LeftButton);
    QVERIFY(m_dialog->isHidden());
    QCOMPARE(m_box->currentText(), QStringLiteral("KEEP"));
}

QTEST_MAIN(TestLookupDialog)
#include "tst_lookupdialog.moc"
