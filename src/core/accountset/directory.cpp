#include "directory.h"

#include "data/dataerror.h"
#include "store/localstore.h"

#include <QSet>

namespace zt::accountset {

using data::ConnectionString;
using data::ServerLogin;

QStringList directoryTableStatement()
{
    return {
        QStringLiteral("CREATE TABLE PBTOVRASQLBASEDATA ( "),
        QStringLiteral("[id] [bigint] IDENTITY (1, 1) NOT NULL , "),
        QStringLiteral("\t[ztbh] [nvarchar] (50) COLLATE Chinese_PRC_CI_AS NULL ,"),
        QStringLiteral("\t[ztmc] [nvarchar] (50) COLLATE Chinese_PRC_CI_AS NULL ,"),
        QStringLiteral("\t[zjmc] [nvarchar] (100) COLLATE Chinese_PRC_CI_AS NULL ,"),
        QStringLiteral("\t[net] [nvarchar] (10) COLLATE Chinese_PRC_CI_AS NULL ,"),
        QStringLiteral("\t[jlrq] [datetime] NULL ,"),
        QStringLiteral("\t[kl] [nvarchar] (50) COLLATE Chinese_PRC_CI_AS NULL "),
        QStringLiteral(") ON [PRIMARY] "),
    };
}

void ensureDirectoryTable(AccountSetObjects &o, const ServerLogin &login)
{
    try {
        data::pointAt(o.Conn_Ty1, o.ADOTy1, ConnectionString::master(login));
        o.ADOTy1.close();
        o.ADOTy1.clearSql();
        for (const QString &line : directoryTableStatement())
            o.ADOTy1.addSql(line);
        o.ADOTy1.execSql();
    } catch (const data::DataError &) {
        // Swallowed: usually the table exists already; a missing table shows up when the row
        // is appended.
    }
}

void appendDirectoryRow(AccountSetObjects &o, const AccountSetFields &fields, const QDate &date)
{
    data::Query &q = o.ADOTy1;
    data::reopen(q, QStringLiteral("select * from PBTOVRASQLBASEDATA"));
    q.append();
    q.setFieldText(QStringLiteral("ztbh"), trimmed(fields.database));
    q.setFieldText(QStringLiteral("ztmc"), trimmed(fields.name));
    q.setFieldDate(QStringLiteral("jlrq"), date);
    q.setFieldText(QStringLiteral("kl"), trimmed(fields.password));
    q.setFieldText(QStringLiteral("zjmc"), trimmed(fields.server));
    q.post();
}

DirectoryListing listDirectory(AccountSetObjects &o, const QString &server, ServerLogin &login)
{
    DirectoryListing listing;
    try {
        login = store::readServerLogin(o.ADOTy, server);
    } catch (const data::DataError &e) {
        listing.error = e.message(); // the grid keeps what it showed
        return listing;
    }
    try {
        data::pointAt(o.Conn_ztgl, o.ADOztgl, ConnectionString::master(login));
        data::reopen(o.ADOztgl, QStringLiteral("select * from PBTOVRASQLBASEDATA"));
        listing.listed = true;
    } catch (const data::DataError &e) {
        // The result set stays closed and the grid shows no rows.
        listing.noTable = e.hasNumber(data::servermessage::InvalidObject);
        listing.error = e.message();
    }
    return listing;
}

QStringList listedNumbers(const data::Query &q)
{
    QStringList numbers;
    if (!hasDirectoryRows(q))
        return numbers;
    // Read by position: the current row (the grid's) stays where it is.
    int column = 0;
    while (
        column < q.columns().size() && q.columns().at(column).name.compare(u"ztbh", Qt::CaseInsensitive) != 0)
        ++column;
    if (column == q.columns().size())
        return numbers;
    QSet<QString> seen;
    for (int row = 0; row < q.rowCount(); ++row) {
        const QString number = trimmed(q.textAt(row, column));
        if (!number.isEmpty() && !seen.contains(number.toCaseFolded())) {
            seen.insert(number.toCaseFolded());
            numbers << number;
        }
    }
    return numbers;
}

DirectoryModel::DirectoryModel(data::Query *query, QObject *parent)
    : QAbstractTableModel(parent)
    , m_query(query)
{
    const auto reset = [this] {
        beginResetModel();
        m_nameColumn = m_numberColumn = -1;
        endResetModel();
    };
    connect(m_query, &data::Query::closed, this, reset);
    connect(m_query, &data::Query::opened, this, reset);
    connect(m_query, &data::Query::rowAboutToBeRemoved, this, [this](int row) {
        if (m_nameColumn >= 0)
            beginRemoveRows({}, row, row);
    });
    connect(m_query, &data::Query::rowRemoved, this, [this] {
        if (m_nameColumn >= 0)
            endRemoveRows();
    });
    connect(m_query, &data::Query::rowInserted, this, [this] {
        if (m_nameColumn >= 0) {
            beginResetModel();
            endResetModel();
        }
    });
}

void DirectoryModel::bind()
{
    beginResetModel();
    m_nameColumn = m_numberColumn = -1;
    const QList<data::Column> &columns = m_query->columns();
    for (int i = 0; i < columns.size(); ++i) {
        if (columns.at(i).name.compare(u"ztmc", Qt::CaseInsensitive) == 0)
            m_nameColumn = i;
        else if (columns.at(i).name.compare(u"ztbh", Qt::CaseInsensitive) == 0)
            m_numberColumn = i;
    }
    if (m_nameColumn < 0 || m_numberColumn < 0)
        m_nameColumn = m_numberColumn = -1;
    endResetModel();
}

int DirectoryModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() || m_nameColumn < 0 || !m_query->isActive() ? 0 : m_query->rowCount();
}

int DirectoryModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : 2;
}

void DirectoryModel::setRowNotes(QHash<QString, RowNote> notes)
{
    m_notes = std::move(notes);
    if (rowCount() > 0)
        emit dataChanged(
            index(0, 0), index(rowCount() - 1, columnCount() - 1), { Qt::ToolTipRole, WarningRole });
}

QVariant DirectoryModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || m_nameColumn < 0)
        return {};
    if (role == Qt::ToolTipRole || role == WarningRole) {
        const auto note
            = m_notes.constFind(trimmed(m_query->textAt(index.row(), m_numberColumn)).toCaseFolded());
        if (note == m_notes.constEnd())
            return {};
        return role == WarningRole ? QVariant(note->warning) : QVariant(note->text);
    }
    if (role != Qt::DisplayRole)
        return {};
    return m_query->textAt(index.row(), index.column() == 0 ? m_nameColumn : m_numberColumn);
}

QVariant DirectoryModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal) {
        if (role == Qt::DisplayRole)
            return section == 0 ? QStringLiteral("账套名称") : QStringLiteral("数据库名称");
        if (role == Qt::TextAlignmentRole)
            return int(Qt::AlignCenter);
    }
    return QAbstractTableModel::headerData(section, orientation, role);
}

bool hasDirectoryRows(const data::Query &directory)
{
    return directory.isActive() && directory.recordCount() > 0;
}

DirectoryRow currentDirectoryRow(const data::Query &directory)
{
    return { directory.fieldAsText(QStringLiteral("ztbh")), directory.fieldAsText(QStringLiteral("ztmc")),
        directory.fieldAsText(QStringLiteral("zjmc")), directory.fieldAsText(QStringLiteral("kl")) };
}

void deleteCurrentDirectoryRow(AccountSetObjects &o)
{
    o.ADOztgl.deleteCurrent();
}

} // namespace zt::accountset
