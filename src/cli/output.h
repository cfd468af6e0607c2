#pragma once

#include "accountset/filecopy.h"
#include "data/query.h"

#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonObject>
#include <QString>
#include <QStringList>

namespace zt::cli {

// Exit statuses.
inline constexpr int ExitOk = 0;
inline constexpr int ExitFailed = 1;
inline constexpr int ExitUsage = 2;

// What one operation tells: its messages on standard error (the pages' texts), and with --json one
// JSON object on standard output when it ends: the command, whether it succeeded, the messages,
// each stored (or removed) row, the timings of its steps and whatever the command adds.
class Report final
{
public:
    Report(const QString &command, bool json);

    bool json() const { return m_json; }

    // A message for the user, on standard error at once.
    void message(const QString &text);
    // Plain output of the command (standard output, not with --json).
    void print(const QString &text);
    void set(const QString &key, const QJsonValue &value);
    // A row as stored: table, where it lives ("local" or the server's database) and its fields.
    void addRow(const QString &table, const QString &where, const QJsonObject &fields,
        const QString &action = QStringLiteral("stored"));
    // The time a step took, in milliseconds.
    void addTiming(const QString &step, qint64 ms);

    // Ends the operation: writes the JSON object (when asked for) and returns the exit status.
    int finish(int exitStatus);

private:
    QString m_command;
    bool m_json;
    QElapsedTimer m_clock;
    QJsonArray m_messages;
    QJsonArray m_rows;
    QJsonObject m_timings;
    QJsonObject m_extra;
};

// Times a step into the report when it goes out of scope.
class StepTimer final
{
public:
    StepTimer(Report &report, QString step);
    ~StepTimer();
    StepTimer(const StepTimer &) = delete;
    StepTimer &operator=(const StepTimer &) = delete;

private:
    Report &m_report;
    QString m_step;
    QElapsedTimer m_clock;
};

// The current row of an open query as a JSON object of texts; the named fields hold secrets and
// show only whether they are set.
QJsonObject rowObject(const data::Query &query, const QStringList &secretFields = {});

// A progress bar on standard error for the per-set file copy and the base-data transfer, drawn
// only when standard error is a terminal.
class TerminalProgress final : public accountset::CopyProgress
{
public:
    TerminalProgress();
    ~TerminalProgress() override;

    void start() override;
    void setRange(qint64 maximum) override;
    void setPosition(qint64 position) override;

    // The base-data transfer: table tableIndex of tableCount, row of rows.
    void transfer(const QString &table, int tableIndex, int tableCount, int row, int rows);

private:
    void draw(const QString &label, double fraction);
    void end();

    bool m_enabled;
    bool m_open = false;
    qint64 m_maximum = 0;
    int m_lastPermille = -1;
    QString m_lastLabel;
};

} // namespace zt::cli
