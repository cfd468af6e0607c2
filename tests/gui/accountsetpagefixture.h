#pragma once

// Page 2 driven against the embedded server: the wizard brought to page 2, the page's fields
// filled, and what the server and the local list hold, read through connections of the test's
// own.

#include "wizardfixture.h"

#include "accountset/directory.h"
#include "data/dataerror.h"

#include <QTableView>

namespace zt::test {

inline const QString Embedded = QStringLiteral("(embedded)");
inline const QString Prefix = QStringLiteral("[ztwizard][SQL Server]");

inline data::ConnectionString catalogString(const QString &catalog, const QString &server = Embedded)
{
    return data::ConnectionString::catalog(
        data::LoginFragment::fromLogin(data::Credentials::integrated()), catalog, server);
}

// Runs a statement on a database of the embedded server as the operating-system user.
inline void exec(const QString &catalog, const QString &sql, const QString &server = Embedded)
{
    data::Connection c;
    c.setConnectionString(catalogString(catalog, server));
    c.backend().execute(sql);
}

inline int count(const QString &catalog, const QString &sql, const QString &server = Embedded)
{
    data::Connection c;
    c.setConnectionString(catalogString(catalog, server));
    return static_cast<int>(c.backend().query(sql).rows.size());
}

inline bool databaseExists(const QString &name)
{
    try {
        count(name, QStringLiteral("select name from sqlite_master"));
        return true;
    } catch (const data::DataError &) {
        return false;
    }
}

// Directory rows put on the server the way other workstations would have registered them.
inline void registerOnServer(const QList<QStringList> &rows, const QString &server = Embedded)
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

inline int directoryRows(const QString &number)
{
    return count(QStringLiteral("master"),
        QStringLiteral("select * from PBTOVRASQLBASEDATA where ztbh = %1").arg(store::sqlLiteral(number)));
}

struct LocalRow
{
    int count = 0;
    QString name, password, net;
};

inline LocalRow localRow(const QString &number, const QString &server = Embedded)
{
    data::Connection c;
    data::Query q(QStringLiteral("check"));
    store::openLocalConfiguration(c, q);
    if (!store::findAccountSetRow(q, number, server))
        return {};
    return { q.recordCount(), q.fieldAsText(QStringLiteral("ztmc")), q.fieldAsText(QStringLiteral("kl")),
        q.fieldAsText(QStringLiteral("net")) };
}

// The steps the page's tests share; each test function starts with a wizard of its own.
class AccountSetPageTest : public QObject
{
protected:
    void makeWizard()
    {
        m_wizard = std::make_unique<Wizard>();
        QVERIFY(m_wizard->installation.isValid());
        install::heldValues() = {};
    }

    // Page 1 with the Windows login and "下一步&N": the server record is stored, page 2 is filled.
    void toPageTwo(const QString &server = Embedded)
    {
        m_wizard->server->show();
        m_wizard->p1()->RadioButton1->click();
        m_wizard->p1()->SQLServersListComboBox1->setEditText(server);
        QTest::mouseClick(m_wizard->p1()->BitBtn7, Qt::LeftButton);
        QVERIFY2(
            m_wizard->notifier.messages.isEmpty(), qPrintable(m_wizard->notifier.messages.value(0).text));
        QVERIFY(m_wizard->page2->isVisible());
        QCoreApplication::processEvents(); // what the page does once page 1 has filled it
    }

    void activate()
    {
        m_wizard->page2->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(m_wizard->page2));
    }

    void setMode(QRadioButton *mode)
    {
        mode->setEnabled(true);
        mode->setChecked(true);
    }

    void listTab()
    {
        m_wizard->p2()->PageControl1->setCurrentIndex(0);
        m_wizard->p2()->PageControl1->setCurrentIndex(1);
    }

    void fill(const QString &database, const QString &name, const QString &password, const QString &again)
    {
        m_wizard->p2()->Edit5->setText(database);
        m_wizard->p2()->Edit2->setText(name);
        m_wizard->p2()->Edit6->setText(password);
        m_wizard->p2()->Edit4->setText(again);
    }

    QStringList gridColumn(int column) const
    {
        const QAbstractItemModel *model = m_wizard->p2()->DBGrid1->model();
        QStringList texts;
        for (int row = 0; row < model->rowCount(); ++row)
            texts.append(model->index(row, column).data().toString());
        return texts;
    }

    void selectGridRow(int row)
    {
        QTableView *grid = m_wizard->p2()->DBGrid1;
        QTest::mouseClick(
            grid->viewport(), Qt::LeftButton, {}, grid->visualRect(grid->model()->index(row, 0)).center());
        QCOMPARE(grid->currentIndex().row(), row);
    }

    std::unique_ptr<Wizard> m_wizard;
};

} // namespace zt::test
