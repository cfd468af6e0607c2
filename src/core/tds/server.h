#pragma once

#include "connection.h"

#include <QString>

#include <list>
#include <mutex>
#include <thread>

namespace zt::tds {

// A TCP address to listen on or answer from.
struct Endpoint
{
    QString host;
    int port = 0;
};

// "HOST:PORT" (IPv4 dotted address or "localhost"); false when it is not one.
bool parseEndpoint(const QString &text, Endpoint &endpoint);
// True for an address in 127.0.0.0/8 or "localhost".
bool isLoopback(const QString &host);

// The TDS listener: accepts connections and serves each on a thread of its own, until stopped.
class Server final
{
public:
    explicit Server(ServerSettings settings);
    ~Server();
    Server(const Server &) = delete;
    Server &operator=(const Server &) = delete;

    // Binds the address; port 0 picks a free one. Returns the bound port, or -1 with errorText.
    int listen(const Endpoint &endpoint);
    // Accepts connections until stopFd becomes readable; then ends every connection and waits
    // for their threads.
    void serve(int stopFd);

    const Traffic &traffic() const { return m_traffic; }
    QString errorText() const { return m_error; }

private:
    struct Client
    {
        int fd = -1;
        std::thread thread;
        bool finished = false;
    };

    void reapFinished();

    ServerSettings m_settings;
    Traffic m_traffic;
    int m_fd = -1;
    QString m_error;
    std::mutex m_mutex;
    std::list<Client> m_clients;
};

// Answers resolution-protocol requests on UDP for one instance: CLNT_UCAST_INST naming it, and
// CLNT_BCAST_EX / CLNT_UCAST_EX, with "ServerName;HOST;InstanceName;NAME;...;tcp;PORT;;".
class Browser final
{
public:
    Browser(QString serverName, QString instanceName, int tcpPort);
    ~Browser();
    Browser(const Browser &) = delete;
    Browser &operator=(const Browser &) = delete;

    // Binds the UDP address and starts answering; -1 with errorText on failure.
    int start(const Endpoint &endpoint);
    QString errorText() const { return m_error; }

    // The answer to one request datagram; empty when there is none to give.
    static QByteArray answer(
        const QByteArray &request, const QString &serverName, const QString &instanceName, int tcpPort);

private:
    void loop();

    QString m_serverName;
    QString m_instanceName;
    int m_tcpPort;
    int m_fd = -1;
    int m_wake[2] = { -1, -1 };
    QString m_error;
    std::thread m_thread;
};

} // namespace zt::tds
