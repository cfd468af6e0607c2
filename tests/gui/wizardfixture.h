#pragma once

// The three windows wired as the application wires them, over a private installation directory,
// with the message boxes answered by a recorder and program starts recorded instead of made.

#include "accountset/form_xzzt.h"
#include "data/backends.h"
#include "data/connection.h"
#include "data/query.h"
#include "install/installation.h"
#include "install/installfiles.h"
#include "recordingnotifier.h"
#include "server/form_hjfw.h"
#include "server/form_server.h"
#include "store/localstore.h"
#include "testinstallation.h"
#include "text/gbk.h"
#include "ui_form_server.h"
#include "ui_form_xzzt.h"
#include "wizardwindows.h"

#include <QFile>
#include <QSignalSpy>
#include <QTest>

#include <memory>

namespace zt::test {

struct ServerRecord
{
    QString first; // field "1"
    QString second; // field "2"
};

class Wizard final
{
public:
    // With otherWindowsAtOnce false, page 2 and the lookup dialog are left to be made as in the
    // application (page2 and lookup stay null).
    explicit Wizard(bool otherWindowsAtOnce = true)
    {
        install::setStarter([this](const QString &program, const QStringList &, const QString &) {
            started.append(program);
            return true;
        });
        // The program txt/runsoft.txt names, there to be started.
        QString target;
        install::readTextFile(installation.dir() + QStringLiteral("txt/runsoft.txt"), target);
        QFile program(installation.dir() + install::localPath(target));
        if (program.open(QIODevice::WriteOnly))
            program.write("#!/bin/sh\n");
        program.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        windows = std::make_unique<gui::WizardWindows>();
        server = &windows->form_server;
        if (otherWindowsAtOnce) {
            page2 = &windows->form_xzzt();
            lookup = &windows->Form_HJFW();
        }
        closedSpy = std::make_unique<QSignalSpy>(server, &gui::Tform_server::closed);
        // The server box searches once it is loaded; with browsing off that ends at once.
        searchEnded = QTest::qWaitFor([this] { return !p1()->SQLServersListComboBox1->isSearching(); }, 5000);
    }

    ~Wizard()
    {
        closedSpy.reset();
        windows.reset();
        install::setStarter(nullptr);
    }

    Ui::form_server *p1() const { return server->ui(); }
    Ui::form_xzzt *p2() const { return page2->ui(); }

    // The rows of xtljb stored for a server name, read through a connection of our own.
    QList<ServerRecord> serverRecords(const QString &serverName) const
    {
        data::Connection connection(QStringLiteral("check"));
        data::Query query(QStringLiteral("check"));
        store::openLocalConfiguration(connection, query);
        QList<ServerRecord> rows;
        store::findServerRecord(query, serverName);
        for (query.first(); !query.isEof(); query.next())
            rows.append({ query.fieldAsText(QStringLiteral("1")), query.fieldAsText(QStringLiteral("2")) });
        return rows;
    }

    // Page 1's inputs for "下一步&N".
    void typeSqlLogin(const QString &serverName, const QString &user, const QString &password)
    {
        p1()->RadioButton2->click();
        p1()->Edit1->setText(user);
        p1()->Edit2->setText(password);
        p1()->SQLServersListComboBox1->setEditText(serverName);
    }

    // Page 1 with the Windows login to the embedded server, "下一步&N", then page 2's network tab
    // listing the directory.
    void toEmbeddedDirectoryTab()
    {
        server->show();
        p1()->RadioButton1->click();
        p1()->SQLServersListComboBox1->setEditText(QStringLiteral("(embedded)"));
        QTest::mouseClick(p1()->BitBtn7, Qt::LeftButton);
        QVERIFY(page2->isVisible());
        QCoreApplication::processEvents();
        p2()->PageControl1->setCurrentIndex(0);
        p2()->PageControl1->setCurrentIndex(1);
    }

    TestInstallation installation;
    RecordingNotifier notifier;
    QStringList started;
    std::unique_ptr<gui::WizardWindows> windows; // created and wired as the application does
    gui::Tform_server *server = nullptr;
    gui::Tform_xzzt *page2 = nullptr;
    gui::TForm_HJFW *lookup = nullptr;
    std::unique_ptr<QSignalSpy> closedSpy;
    bool searchEnded = false; // the server box finished its start-up search
};

inline QString helpIniText(const QString &installDir)
{
    QFile file(installDir + QStringLiteral("help.ini"));
    return file.open(QIODevice::ReadOnly) ? text::fromGbk(file.readAll()) : QString();
}

} // namespace zt::test

#include <QAbstractButton>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>

namespace zt::test {

// The text a widget shows: caption, field text, group title or combo box text.
inline QString shownText(const QWidget *widget)
{
    if (auto *label = qobject_cast<const QLabel *>(widget))
        return label->text();
    if (auto *button = qobject_cast<const QAbstractButton *>(widget))
        return button->text();
    if (auto *edit = qobject_cast<const QLineEdit *>(widget))
        return edit->text();
    if (auto *group = qobject_cast<const QGroupBox *>(widget))
        return group->title();
    if (auto *combo = qobject_cast<const QComboBox *>(widget))
        return combo->currentText();
    return {};
}

// Columns of a window-inventory table: the widget's name, class, parent, geometry, text, hint
// and state words ("disabled", "hidden", "checked", "unchecked", "password").
inline void addInventoryColumns()
{
    QTest::addColumn<QString>("className");
    QTest::addColumn<QString>("parentName");
    QTest::addColumn<QRect>("geometry");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("hint");
    QTest::addColumn<QString>("state");
}

inline void checkInventoryRow(QWidget *window)
{
    QFETCH(QString, className);
    QFETCH(QString, parentName);
    QFETCH(QRect, geometry);
    QFETCH(QString, text);
    QFETCH(QString, hint);
    QFETCH(QString, state);

    const QString name = QString::fromUtf8(QTest::currentDataTag());
    auto *widget = window->findChild<QWidget *>(name);
    QVERIFY2(widget, qPrintable(name));
    QVERIFY2(widget->inherits(className.toLatin1().constData()), widget->metaObject()->className());
    QCOMPARE(widget->parentWidget()->objectName(), parentName);
    QCOMPARE(widget->geometry(), geometry);
    QCOMPARE(shownText(widget), text);
    QCOMPARE(widget->toolTip(), hint);

    const QStringList words = state.split(u' ', Qt::SkipEmptyParts);
    QCOMPARE(widget->isEnabled(), !words.contains(QStringLiteral("disabled")));
    QCOMPARE(widget->isHidden(), words.contains(QStringLiteral("hidden")));
    if (auto *button = qobject_cast<QAbstractButton *>(widget)) {
        QCOMPARE(button->isChecked(), words.contains(QStringLiteral("checked")));
    }
    if (auto *edit = qobject_cast<QLineEdit *>(widget))
        QCOMPARE(edit->echoMode() == QLineEdit::Password, words.contains(QStringLiteral("password")));
}

// The order in which Tab visits the named widgets, following the window's focus chain.
inline QStringList focusOrder(QWidget *window, const QStringList &names)
{
    QStringList order;
    QWidget *widget = window;
    do {
        widget = widget->nextInFocusChain();
        if (names.contains(widget->objectName()) && !order.contains(widget->objectName()))
            order.append(widget->objectName());
    } while (widget != window);
    // The chain is a ring: read it from the first name on.
    const qsizetype start = order.indexOf(names.value(0));
    if (start > 0)
        order = order.mid(start) + order.first(start);
    return order;
}

} // namespace zt::test
