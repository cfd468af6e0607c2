#pragma once

#include "accountsetobjects.h"

#include <QAbstractTableModel>
#include <QDate>
#include <QHash>
#include <QStringList>

namespace zt::accountset {

// The current directory row of the listed directory (ADOztgl), its fields read as text.
struct DirectoryRow
{
    QString number; // ztbh: the database name on the server
    QString name; // ztmc
    QString server; // zjmc: the server name as typed where the set was registered
    QString password; // kl
};

// Whether the directory result set has rows to act on. A directory that was never listed (or
// whose listing failed) has none: the buttons then do nothing.
bool hasDirectoryRows(const data::Query &directory);
DirectoryRow currentDirectoryRow(const data::Query &directory);

// Deletes the current directory row from the table and from the listing.
void deleteCurrentDirectoryRow(AccountSetObjects &objects);

// The network account-set directory: table PBTOVRASQLBASEDATA in the server's master database,
// shared by every workstation that uses the server.

// The nine lines of the statement that creates the directory table, as sent (each line is
// followed by CR LF when the statement is composed).
QStringList directoryTableStatement();

// Makes sure the directory table exists on the server, through Conn_Ty1 / ADOTy1 on the master
// connection string of the login. Every error is swallowed: the usual one is the
// server's refusal because the table exists already. ADOTy1 stays attached to Conn_Ty1.
void ensureDirectoryTable(AccountSetObjects &objects, const data::ServerLogin &login);

// Appends a directory row through ADOTy1 as ensureDirectoryTable left it: ztbh, ztmc, jlrq, kl
// and zjmc from the fields, trimmed; id and net are left to the table. Throws data::DataError.
void appendDirectoryRow(AccountSetObjects &objects, const AccountSetFields &fields, const QDate &date);

// What a listing of the directory came to. The page shows nothing of a failure (the grid keeps
// its rows or shows none); the command line and the backup plan tell it.
struct DirectoryListing
{
    bool listed = false;
    bool noTable = false; // the server has no directory table: no set was ever registered there
    QString error; // the failure's text

    explicit operator bool() const { return listed; }
};

// Lists the directory of the server into ADOztgl (on Conn_ztgl): reads the server's login from
// the local configuration database into login first. No error is thrown; after a failure in the
// login lookup ADOztgl keeps its previous rows, after a later failure it is closed.
DirectoryListing listDirectory(AccountSetObjects &objects, const QString &server, data::ServerLogin &login);

// The numbers (ztbh) of the listed rows, trimmed, each once (compared without regard to case), in
// the listing's order. The current row stays.
QStringList listedNumbers(const data::Query &directory);

// The grid's view of the directory result set: column 0 shows ztmc ("账套名称"), column 1 ztbh
// ("数据库名称"). Empty until the query is open with those fields.
class DirectoryModel final : public QAbstractTableModel
{
    Q_OBJECT

public:
    explicit DirectoryModel(data::Query *query, QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    // Binds the columns to the fields (after a listing).
    void bind();

    // A word on a row's set, keyed by its number (ztbh) case-folded: shown as the row's tool tip;
    // a warning (its last backup failed) is told by WarningRole, which the grid paints.
    struct RowNote
    {
        QString text;
        bool warning = false;
    };
    static constexpr int WarningRole = Qt::UserRole + 1;
    void setRowNotes(QHash<QString, RowNote> notes);

private:
    QHash<QString, RowNote> m_notes;
    data::Query *m_query;
    int m_nameColumn = -1;
    int m_numberColumn = -1;
};

} // namespace zt::accountset
