#pragma once

// A TCP relay on 127.0.0.1 that delivers every byte a fixed time after it arrived, in each
// direction, as a long link does: the bytes of one direction wait in a queue stamped with their
// arrival, so a stream of many packets is late by the delay once, not once per packet, and
// reading goes on while earlier bytes wait. The connection handshake itself is local (a real
// link adds one round trip per connection before the first byte). One thread serves every
// connection; ends with the relay.

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <deque>
#include <list>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace zt::test {

class DelayRelay final
{
public:
    // Relays to 127.0.0.1:targetPort with delayMs in each direction. port() is 0 when the relay
    // could not listen.
    DelayRelay(int targetPort, int delayMs)
        : m_targetPort(targetPort)
        , m_delay(std::chrono::milliseconds(delayMs))
    {
        m_listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address = loopback(0);
        socklen_t length = sizeof address;
        if (m_listener < 0 || ::bind(m_listener, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0
            || ::listen(m_listener, 16) != 0
            || ::getsockname(m_listener, reinterpret_cast<sockaddr *>(&address), &length) != 0
            || ::pipe2(m_stopPipe, O_CLOEXEC) != 0) {
            std::perror("relay");
            return;
        }
        m_port = ntohs(address.sin_port);
        m_thread = std::thread([this] { run(); });
    }

    ~DelayRelay()
    {
        if (m_thread.joinable()) {
            const char byte = 0;
            [[maybe_unused]] const ssize_t written = ::write(m_stopPipe[1], &byte, 1);
            m_thread.join();
        }
        for (const int fd : { m_listener, m_stopPipe[0], m_stopPipe[1] }) {
            if (fd >= 0)
                ::close(fd);
        }
    }

    DelayRelay(const DelayRelay &) = delete;
    DelayRelay &operator=(const DelayRelay &) = delete;

    int port() const { return m_port; }
    int connections() const { return m_connections; }

private:
    using Clock = std::chrono::steady_clock;

    // Bytes read from one side, due at the other: an empty chunk is the end of the stream.
    struct Chunk
    {
        Clock::time_point due;
        std::string bytes;
    };
    struct Direction
    {
        int from = -1;
        int to = -1;
        std::deque<Chunk> queue;
        bool readDone = false; // the end of the stream is queued
        bool done = false; // ... and delivered
    };
    struct Pair
    {
        Direction up; // client to server
        Direction down; // server to client
        bool broken = false;
    };

    static sockaddr_in loopback(int port)
    {
        sockaddr_in address {};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = htons(static_cast<uint16_t>(port));
        return address;
    }

    void accept()
    {
        const int client = ::accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC);
        if (client < 0)
            return;
        const int server = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        const sockaddr_in address = loopback(m_targetPort);
        if (server < 0
            || ::connect(server, reinterpret_cast<const sockaddr *>(&address), sizeof address) != 0) {
            ::close(client);
            if (server >= 0)
                ::close(server);
            return;
        }
        // Without Nagle's wait: a chunk is written when due, not when the last one is acknowledged.
        const int on = 1;
        for (const int fd : { client, server }) {
            ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
            ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        }
        Pair &pair = m_pairs.emplace_back();
        pair.up.from = pair.down.to = client;
        pair.up.to = pair.down.from = server;
        ++m_connections;
    }

    // Queues what the side has to give, stamped with its arrival.
    void receive(Pair &pair, Direction &d)
    {
        char buffer[65536];
        const ssize_t n = ::read(d.from, buffer, sizeof buffer);
        if (n < 0 && (errno == EAGAIN || errno == EINTR))
            return;
        d.queue.push_back({ Clock::now() + m_delay, n > 0 ? std::string(buffer, size_t(n)) : std::string() });
        if (n <= 0)
            d.readDone = true;
        if (n < 0)
            pair.broken = true;
    }

    // Writes what is due; a partial write keeps the rest at the head of the queue.
    void deliver(Pair &pair, Direction &d, Clock::time_point now)
    {
        while (!d.queue.empty() && d.queue.front().due <= now) {
            Chunk &chunk = d.queue.front();
            if (chunk.bytes.empty()) {
                ::shutdown(d.to, SHUT_WR);
                d.queue.pop_front();
                d.done = true;
                return;
            }
            const ssize_t w = ::send(d.to, chunk.bytes.data(), chunk.bytes.size(), MSG_NOSIGNAL);
            if (w < 0) {
                if (errno != EAGAIN && errno != EINTR)
                    pair.broken = true;
                return;
            }
            chunk.bytes.erase(0, size_t(w));
            if (!chunk.bytes.empty())
                return;
            d.queue.pop_front();
        }
    }

    void run()
    {
        for (;;) {
            const Clock::time_point now = Clock::now();
            std::vector<pollfd> fds { { m_stopPipe[0], POLLIN, 0 }, { m_listener, POLLIN, 0 } };
            std::optional<Clock::duration> timeout; // none: until something arrives
            for (Pair &pair : m_pairs) {
                for (Direction *d : { &pair.up, &pair.down }) {
                    short events = d->readDone ? 0 : POLLIN;
                    if (!d->queue.empty()) {
                        const Clock::duration wait = d->queue.front().due - now;
                        if (wait <= Clock::duration::zero())
                            events |= POLLOUT;
                        else if (!timeout || wait < *timeout)
                            timeout = wait;
                    }
                    // The read side while reading, the write side when due; a descriptor not
                    // waited for is left out (-1), or its hang-up would wake the poll at once.
                    fds.push_back({ (events & POLLIN) ? d->from : -1, POLLIN, 0 });
                    fds.push_back({ (events & POLLOUT) ? d->to : -1, POLLOUT, 0 });
                }
            }
            // To the microsecond: a poll in whole milliseconds would add up to one at every hop.
            timespec until {};
            if (timeout) {
                const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(*timeout).count();
                until = { time_t(ns / 1000000000), long(ns % 1000000000) };
            }
            if (::ppoll(fds.data(), fds.size(), timeout ? &until : nullptr, nullptr) < 0 && errno != EINTR)
                return;
            if (fds[0].revents)
                break;
            if (fds[1].revents & POLLIN)
                accept();
            size_t i = 2;
            for (Pair &pair : m_pairs) {
                for (Direction *d : { &pair.up, &pair.down }) {
                    if (i < fds.size() && !d->readDone && (fds[i].revents & (POLLIN | POLLHUP | POLLERR)))
                        receive(pair, *d);
                    deliver(pair, *d, Clock::now());
                    i += 2;
                }
            }
            m_pairs.remove_if([](const Pair &pair) {
                if (!pair.broken && !(pair.up.done && pair.down.done))
                    return false;
                ::close(pair.up.from);
                ::close(pair.up.to);
                return true;
            });
        }
        for (const Pair &pair : m_pairs) {
            ::close(pair.up.from);
            ::close(pair.up.to);
        }
    }

    int m_targetPort;
    Clock::duration m_delay;
    int m_listener = -1;
    int m_stopPipe[2] = { -1, -1 };
    int m_port = 0;
    std::atomic<int> m_connections { 0 };
    std::list<Pair> m_pairs; // the relay thread's own
    std::thread m_thread;
};

} // namespace zt::test
