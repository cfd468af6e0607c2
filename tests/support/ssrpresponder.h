#pragma once

#include <QByteArray>
#include <QList>
#include <QMutex>
#include <QMutexLocker>
#include <QString>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace zt::test {

// A SQL Server Browser stand-in on 127.0.0.1: answers every CLNT_BCAST_EX (0x02) with the
// datagrams given, and every CLNT_UCAST_INST (0x04) with the instance answer.
class SsrpResponder final
{
public:
    explicit SsrpResponder(
        QList<QByteArray> broadcastAnswers = {}, QByteArray instanceAnswer = {}, int delayMs = 0)
        : m_broadcastAnswers(std::move(broadcastAnswers))
        , m_instanceAnswer(std::move(instanceAnswer))
        , m_delayMs(delayMs)
    {
        m_socket = ::socket(AF_INET, SOCK_DGRAM, 0);
        sockaddr_in address {};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(m_socket, reinterpret_cast<sockaddr *>(&address), sizeof address);
        socklen_t length = sizeof address;
        ::getsockname(m_socket, reinterpret_cast<sockaddr *>(&address), &length);
        m_port = ntohs(address.sin_port);
        m_thread = std::thread([this] { serve(); });
    }

    ~SsrpResponder()
    {
        m_stop = true;
        m_thread.join();
        ::close(m_socket);
    }

    SsrpResponder(const SsrpResponder &) = delete;
    SsrpResponder &operator=(const SsrpResponder &) = delete;

    // Before answering a broadcast request, send this many datagrams to the requester from
    // another port of 127.0.0.1, in bursts: a flood from a sender other than the target.
    void setFloodFromElsewhere(int datagrams) { m_flood = datagrams; }

    quint16 port() const { return m_port; }
    QString target() const { return QStringLiteral("127.0.0.1:%1").arg(m_port); }
    int requestCount() const { return m_requests; }
    QList<QByteArray> requests() const
    {
        QMutexLocker lock(&m_mutex);
        return m_received;
    }

    // One SVR_RESP datagram around the given text.
    static QByteArray svrResp(const QByteArray &text)
    {
        QByteArray datagram(1, '\x05');
        datagram.append(static_cast<char>(text.size() & 0xff));
        datagram.append(static_cast<char>((text.size() >> 8) & 0xff));
        return datagram + text;
    }

    // One instance record: ServerName;S;InstanceName;I;IsClustered;No;Version;...;tcp;PORT;;
    static QByteArray record(
        const QByteArray &server, const QByteArray &instance, const QByteArray &tcp = "1433")
    {
        QByteArray text
            = "ServerName;" + server + ";InstanceName;" + instance + ";IsClustered;No;Version;15.0.2000.5;";
        if (!tcp.isEmpty())
            text += "tcp;" + tcp + ";";
        return text + "np;\\\\" + server + "\\pipe\\sql\\query;;";
    }

    // A UDP port on 127.0.0.1 with nobody listening.
    static quint16 closedPort()
    {
        const int s = ::socket(AF_INET, SOCK_DGRAM, 0);
        sockaddr_in address {};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(s, reinterpret_cast<sockaddr *>(&address), sizeof address);
        socklen_t length = sizeof address;
        ::getsockname(s, reinterpret_cast<sockaddr *>(&address), &length);
        ::close(s);
        return ntohs(address.sin_port);
    }

private:
    void serve()
    {
        while (!m_stop) {
            pollfd fd { m_socket, POLLIN, 0 };
            if (::poll(&fd, 1, 20) <= 0)
                continue;
            char buffer[2048];
            sockaddr_in from {};
            socklen_t length = sizeof from;
            const ssize_t size = ::recvfrom(
                m_socket, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr *>(&from), &length);
            if (size <= 0)
                continue;
            const QByteArray request(buffer, static_cast<qsizetype>(size));
            {
                QMutexLocker lock(&m_mutex);
                m_received.append(request);
            }
            ++m_requests;
            if (m_delayMs > 0)
                std::this_thread::sleep_for(std::chrono::milliseconds(m_delayMs));
            if (request.startsWith('\x02') && m_flood > 0)
                flood(from);
            QList<QByteArray> answers;
            if (request.startsWith('\x02'))
                answers = m_broadcastAnswers;
            else if (request.startsWith('\x04') && !m_instanceAnswer.isEmpty())
                answers = { m_instanceAnswer };
            for (const QByteArray &answer : answers)
                ::sendto(m_socket, answer.constData(), static_cast<size_t>(answer.size()), 0,
                    reinterpret_cast<sockaddr *>(&from), length);
        }
    }

    void flood(const sockaddr_in &to)
    {
        const int other = ::socket(AF_INET, SOCK_DGRAM, 0);
        const QByteArray datagram = svrResp(record("FLOOD", "MSSQLSERVER"));
        for (int i = 0; i < m_flood; ++i) {
            ::sendto(other, datagram.constData(), static_cast<size_t>(datagram.size()), 0,
                reinterpret_cast<const sockaddr *>(&to), sizeof to);
            if (i % 40 == 39)
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        ::close(other);
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }

    std::atomic<int> m_flood { 0 };
    QList<QByteArray> m_broadcastAnswers;
    QByteArray m_instanceAnswer;
    int m_delayMs = 0;
    int m_socket = -1;
    quint16 m_port = 0;
    std::atomic<bool> m_stop { false };
    std::atomic<int> m_requests { 0 };
    mutable QMutex m_mutex;
    QList<QByteArray> m_received;
    std::thread m_thread;
};

} // namespace zt::test
