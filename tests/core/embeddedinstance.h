#pragma once

// An embedded-server instance in a temporary folder of its own for each test function, reached
// through the server's back end as sa, and the texts its errors begin with.

#include "data/dataerror.h"
#include "embedded/embeddedserver.h"
#include "testhelpers.h"

#include <QTemporaryDir>
#include <QTest>

#include <memory>

namespace zt::test {

inline const QString Prefix = QStringLiteral("[ztwizard][SQL Server]");

// The directory table's creation statement exactly as the account-set page sends it.
inline const QString DirectoryTable
    = QStringLiteral("CREATE TABLE PBTOVRASQLBASEDATA ( \r\n"
                     "[id] [bigint] IDENTITY (1, 1) NOT NULL , \r\n"
                     "\t[ztbh] [nvarchar] (50) COLLATE Chinese_PRC_CI_AS NULL ,\r\n"
                     "\t[ztmc] [nvarchar] (50) COLLATE Chinese_PRC_CI_AS NULL ,\r\n"
                     "\t[zjmc] [nvarchar] (100) COLLATE Chinese_PRC_CI_AS NULL ,\r\n"
                     "\t[net] [nvarchar] (10) COLLATE Chinese_PRC_CI_AS NULL ,\r\n"
                     "\t[jlrq] [datetime] NULL ,\r\n"
                     "\t[kl] [nvarchar] (50) COLLATE Chinese_PRC_CI_AS NULL \r\n"
                     ") ON [PRIMARY] \r\n");

class EmbeddedInstanceTest : public QObject
{
protected:
    void makeInstance()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
        m_root = m_dir->filePath(QStringLiteral("embedded"));
    }

    std::unique_ptr<data::Backend> sa(const QString &catalog = {})
    {
        return embedded::connect(
            m_root, QStringLiteral("default"), data::Credentials::sql(QStringLiteral("sa"), {}), catalog);
    }

    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_root;
};

} // namespace zt::test
