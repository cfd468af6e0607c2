#pragma once

#include "discovery/ssrp.h"

#include <QStringList>

namespace zt::cli {

// Writes down what one network search does, for "servers --explain": what was sent where, what
// came back from whom, what was dropped and why.
class SearchExplainer final : public discovery::SearchObserver
{
public:
    void sent(
        const QHostAddress &address, quint16 port, const QByteArray &request, const QString &error) override;
    void dropped(const QHostAddress &sender, quint16 port, const QByteArray &datagram, Drop why) override;
    void accepted(const QHostAddress &sender, quint16 port, const QStringList &added,
        const QStringList &duplicates) override;
    void finished(qint64 elapsedMs, const QString &error) override;

    const QStringList &lines() const { return m_lines; }
    int answers() const { return m_answers; }
    int drops() const { return m_drops; }
    bool sentOk() const { return m_sentOk; }

private:
    QStringList m_lines;
    int m_answers = 0;
    int m_drops = 0;
    bool m_sentOk = false;
};

// Why a datagram is not a valid SVR_RESP, in words.
QString malformedReason(const QByteArray &datagram);

// What to check when nothing answered.
QStringList nothingAnsweredHints(bool broadcast);

} // namespace zt::cli
