#include "output.h"

#include <QJsonDocument>

#include <algorithm>
#include <cstdio>

#include <unistd.h>

namespace zt::cli {

namespace {

void writeLine(FILE *stream, const QString &text)
{
    const QByteArray bytes = text.toUtf8() + '\n';
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stream);
    std::fflush(stream);
}

} // namespace

Report::Report(const QString &command, bool json)
    : m_command(command)
    , m_json(json)
{
    m_clock.start();
}

void Report::message(const QString &text)
{
    writeLine(stderr, text);
    m_messages.append(text);
}

void Report::print(const QString &text)
{
    if (!m_json)
        writeLine(stdout, text);
}

void Report::set(const QString &key, const QJsonValue &value)
{
    m_extra.insert(key, value);
}

void Report::addRow(
    const QString &table, const QString &where, const QJsonObject &fields, const QString &action)
{
    m_rows.append(QJsonObject {
        { QStringLiteral("table"), table },
        { QStringLiteral("database"), where },
        { QStringLiteral("action"), action },
        { QStringLiteral("fields"), fields },
    });
}

void Report::addTiming(const QString &step, qint64 ms)
{
    m_timings.insert(step, static_cast<double>(ms));
}

int Report::finish(int exitStatus)
{
    if (!m_json)
        return exitStatus;
    m_timings.insert(QStringLiteral("total"), static_cast<double>(m_clock.elapsed()));
    QJsonObject object = m_extra;
    object.insert(QStringLiteral("command"), m_command);
    object.insert(QStringLiteral("ok"), exitStatus == ExitOk);
    object.insert(QStringLiteral("exit"), exitStatus);
    object.insert(QStringLiteral("messages"), m_messages);
    if (exitStatus != ExitOk && !object.contains(QStringLiteral("error")) && !m_messages.isEmpty())
        object.insert(QStringLiteral("error"), m_messages.last());
    object.insert(QStringLiteral("rows"), m_rows);
    object.insert(QStringLiteral("timings_ms"), m_timings);
    writeLine(stdout, QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact)));
    return exitStatus;
}

StepTimer::StepTimer(Report &report, QString step)
    : m_report(report)
    , m_step(std::move(step))
{
    m_clock.start();
}

StepTimer::~StepTimer()
{
    m_report.addTiming(m_step, m_clock.elapsed());
}

QJsonObject rowObject(const data::Query &query, const QStringList &secretFields)
{
    QJsonObject fields;
    for (int i = 0; i < query.fieldCount(); ++i) {
        const QString name = query.fieldName(i);
        const QString value = query.fieldAsText(name);
        if (secretFields.contains(name, Qt::CaseInsensitive))
            fields.insert(name, value.isEmpty() ? QString() : QStringLiteral("***"));
        else
            fields.insert(name, value);
    }
    return fields;
}

TerminalProgress::TerminalProgress()
    : m_enabled(isatty(STDERR_FILENO) == 1)
{ }

TerminalProgress::~TerminalProgress()
{
    end();
}

void TerminalProgress::start()
{
    m_maximum = 0;
    m_lastPermille = -1;
    draw(QStringLiteral("复制系统文件"), 0);
}

void TerminalProgress::setRange(qint64 maximum)
{
    m_maximum = maximum;
}

void TerminalProgress::setPosition(qint64 position)
{
    draw(QStringLiteral("复制系统文件"), m_maximum > 0 ? static_cast<double>(position) / m_maximum : 1.0);
    if (m_maximum > 0 && position >= m_maximum)
        end();
}

void TerminalProgress::transfer(const QString &table, int tableIndex, int tableCount, int row, int rows)
{
    const double withinTable = rows > 0 ? static_cast<double>(row) / rows : 1.0;
    draw(QStringLiteral("传输基础数据 %1").arg(table, -14), (tableIndex + withinTable) / tableCount);
    if (tableIndex + 1 == tableCount && row >= rows)
        end();
}

void TerminalProgress::draw(const QString &label, double fraction)
{
    if (!m_enabled)
        return;
    const int permille = static_cast<int>(std::clamp(fraction, 0.0, 1.0) * 1000);
    if (permille == m_lastPermille && label == m_lastLabel)
        return;
    m_lastPermille = permille;
    m_lastLabel = label;
    constexpr int Width = 30;
    const int filled = permille * Width / 1000;
    const QString bar = QString(filled, u'#') + QString(Width - filled, u' ');
    const QString line = QStringLiteral("\r%1 [%2] %3%").arg(label, bar).arg(permille / 10, 3);
    const QByteArray bytes = line.toUtf8();
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stderr);
    std::fflush(stderr);
    m_open = true;
}

void TerminalProgress::end()
{
    if (m_enabled && m_open)
        std::fputs("\n", stderr);
    m_open = false;
    m_lastPermille = -1;
}

} // namespace zt::cli
