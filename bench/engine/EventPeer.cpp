#include "EventPeer.h"

#include <QUrlQuery>

#include <arpa/inet.h>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <cstring>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace bench {

namespace {

// One event as a service sends it, about 200 bytes with its envelope.
const QByteArray kEvent =
    R"(data: {"id":"chatcmpl-7f3a9c2e4b1d4e8f","object":"chat.completion.chunk","created":1700000000,)"
    R"("model":"qirv-4.5","system_fingerprint":"fp_0a1b2c3d","choices":[{"index":0,"delta":{"content":"word "},)"
    R"("logprobs":null,"finish_reason":null}]})"
    "\n\n";
const QByteArray kFinish = R"(data: {"choices":[{"index":0,"delta":{},"finish_reason":"stop"}]})"
                           "\n\n";
const QByteArray kDone = "data: [DONE]\n\n";

bool writeAll(int fd, const char *data, size_t size)
{
    while (size > 0) {
        const ssize_t n = ::send(fd, data, size, MSG_NOSIGNAL);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data += n;
        size -= size_t(n);
    }
    return true;
}

bool sendEvent(int fd, const QByteArray &event, bool chunked)
{
    if (!chunked)
        return writeAll(fd, event.constData(), size_t(event.size()));
    // Size line, event and CRLF in one write: one event, one chunk, one write.
    const QByteArray chunk = QByteArray::number(event.size(), 16) + "\r\n" + event + "\r\n";
    return writeAll(fd, chunk.constData(), size_t(chunk.size()));
}

// Serves one connection: requests one after another until the client or
// the framing closes it.
void serve(int fd)
{
    const int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    std::string buffer;
    char block[16 * 1024];
    for (;;) {
        size_t headEnd;
        while ((headEnd = buffer.find("\r\n\r\n")) == std::string::npos) {
            const ssize_t n = ::recv(fd, block, sizeof block, 0);
            if (n <= 0) {
                ::close(fd);
                return;
            }
            buffer.append(block, size_t(n));
        }
        const QByteArray head = QByteArray::fromStdString(buffer.substr(0, headEnd)).toLower();
        qint64 length = 0;
        const qsizetype at = head.indexOf("content-length:");
        if (at >= 0)
            length = head.mid(at + 15, head.indexOf('\r', at) - at - 15).trimmed().toLongLong();
        while (buffer.size() < headEnd + 4 + size_t(length)) {
            const ssize_t n = ::recv(fd, block, sizeof block, 0);
            if (n <= 0) {
                ::close(fd);
                return;
            }
            buffer.append(block, size_t(n));
        }
        buffer.erase(0, headEnd + 4 + size_t(length));

        const QByteArray target = head.split(' ').value(1);
        const QUrlQuery query(QUrl::fromEncoded(target).query());
        const int events = query.queryItemValue(QStringLiteral("events")).toInt();
        const bool chunked = query.queryItemValue(QStringLiteral("framing")) != QLatin1String("close");
        const bool closeAfter = !chunked || head.contains("connection: close");

        QByteArray response = "HTTP/1.1 200 OK\r\nContent-Type: text/event-stream\r\n";
        response += chunked ? "Transfer-Encoding: chunked\r\n" : "Connection: close\r\n";
        response += "\r\n";
        bool ok = writeAll(fd, response.constData(), size_t(response.size()));
        for (int i = 0; ok && i < events; ++i)
            ok = sendEvent(fd, kEvent, chunked);
        ok = ok && sendEvent(fd, kFinish, chunked) && sendEvent(fd, kDone, chunked);
        if (ok && chunked)
            ok = writeAll(fd, "0\r\n\r\n", 5);
        if (!ok || closeAfter) {
            ::shutdown(fd, SHUT_WR);
            // Let the client read to the end before the socket goes.
            while (::recv(fd, block, sizeof block, 0) > 0) {
            }
            ::close(fd);
            return;
        }
    }
}

[[noreturn]] void runChild(int listener, int lifeline)
{
    for (;;) {
        pollfd fds[2] = {{listener, POLLIN, 0}, {lifeline, POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0) {
            if (errno == EINTR)
                continue;
            ::_exit(1);
        }
        if (fds[1].revents) // the parent is gone (or closed its end)
            ::_exit(0);
        if (fds[0].revents & POLLIN) {
            const int fd = ::accept(listener, nullptr, nullptr);
            if (fd >= 0)
                std::thread(serve, fd).detach();
        }
    }
}

} // namespace

EventPeer::EventPeer()
{
    const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    if (listener < 0 || ::bind(listener, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0
        || ::listen(listener, 16) != 0 || ::getsockname(listener, reinterpret_cast<sockaddr *>(&address), &size) != 0) {
        if (listener >= 0)
            ::close(listener);
        return;
    }
    m_port = ntohs(address.sin_port);
    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0) {
        ::close(listener);
        return;
    }
    m_pid = ::fork();
    if (m_pid == 0) {
        ::close(pipeFds[1]);
        runChild(listener, pipeFds[0]);
    }
    ::close(pipeFds[0]);
    ::close(listener);
    m_lifeline = pipeFds[1];
}

EventPeer::~EventPeer()
{
    if (m_lifeline >= 0)
        ::close(m_lifeline); // the child sees the pipe close and exits
    if (m_pid > 0)
        ::waitpid(m_pid, nullptr, 0);
}

QUrl EventPeer::endpoint(int events, bool chunked) const
{
    QUrl url(QStringLiteral("http://127.0.0.1:%1/v1/chat/completions").arg(m_port));
    url.setQuery(QStringLiteral("events=%1&framing=%2").arg(events).arg(chunked ? "chunked" : "close"));
    return url;
}

QByteArray EventPeer::body(int events)
{
    return kEvent.repeated(events) + kFinish + kDone;
}

qint64 rawDrain(const QUrl &url)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -1;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(quint16(url.port()));
    if (::connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0) {
        ::close(fd);
        return -1;
    }
    const QByteArray request = "POST " + url.toEncoded(QUrl::RemoveScheme | QUrl::RemoveAuthority)
                               + " HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: application/json\r\n"
                                 "Content-Length: 2\r\nConnection: close\r\n\r\n{}";
    qint64 total = -1;
    if (writeAll(fd, request.constData(), size_t(request.size()))) {
        total = 0;
        static char block[256 * 1024];
        for (;;) {
            const ssize_t n = ::recv(fd, block, sizeof block, 0);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                break;
            total += n;
        }
    }
    ::close(fd);
    return total;
}

} // namespace bench
