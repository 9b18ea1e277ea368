#include "GuardedServer.h"

#include "RequestAssembler.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>

namespace advisory {

namespace {

using Clock = std::chrono::steady_clock;

// How long a refused client may go on sending before the connection is closed: long enough
// for it to read the refusal instead of a reset connection.
constexpr std::chrono::milliseconds kLinger{2000};
// A client that does not read its answer holds a worker at most this long.
constexpr int kWriteTimeoutSeconds = 10;
constexpr std::size_t kReadChunk = 64 * 1024;
// A complete request waits this long for a worker before it is answered 503: a worker that
// has just sent its answer needs a moment before it takes the next request, and a client
// that sends at once must not be turned away for that.
constexpr std::chrono::milliseconds kWorkerWait{200};
// How often a waiting request looks for a free worker.
constexpr std::chrono::milliseconds kWorkerPoll{5};

struct Refusal
{
    int status;
    const char* reason;
    const char* message;
};

const Refusal kRefusals[] = {
    {400, "Bad Request", "bad request\n"},
    {408, "Request Timeout", "request not received in time\n"},
    {413, "Payload Too Large", "request too large\n"},
    {417, "Expectation Failed", "expectation not supported\n"},
    {431, "Request Header Fields Too Large", "request head too large\n"},
    {501, "Not Implemented", "transfer encoding not supported\n"},
    {503, "Service Unavailable", "service busy, try again\n"},
};

// Best effort without blocking: the answer is small and the socket's buffer empty.
void sendAnswer(int fd, int status)
{
    const Refusal* refusal =
        std::find_if(std::begin(kRefusals), std::end(kRefusals),
                     [status](const Refusal& r) { return r.status == status; });
    if (refusal == std::end(kRefusals))
        refusal = kRefusals; // 400
    const std::string body = refusal->message;
    std::string answer =
        "HTTP/1.1 " + std::to_string(refusal->status) + " " + refusal->reason +
        "\r\nContent-Type: text/plain\r\nContent-Length: " + std::to_string(body.size()) +
        "\r\nConnection: close\r\n";
    if (status == 503)
        answer += "Retry-After: 1\r\n";
    answer += "\r\n" + body;
    (void)::send(fd, answer.data(), answer.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
}

bool setNonBlocking(int fd, bool on)
{
    const int flags = ::fcntl(fd, F_GETFL, 0);
    return flags >= 0 && ::fcntl(fd, F_SETFL, on ? flags | O_NONBLOCK : flags & ~O_NONBLOCK) == 0;
}

void addressOf(int fd, bool peer, std::string& ip, int& port)
{
    sockaddr_in address{};
    socklen_t length = sizeof(address);
    const int rc = peer ? ::getpeername(fd, reinterpret_cast<sockaddr*>(&address), &length)
                        : ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    char text[INET_ADDRSTRLEN] = {};
    if (rc != 0 || address.sin_family != AF_INET ||
        !::inet_ntop(AF_INET, &address.sin_addr, text, sizeof(text))) {
        ip.clear();
        port = 0;
        return;
    }
    ip = text;
    port = ntohs(address.sin_port);
}

// A request read in full, served to the library from memory; the answer goes to the socket.
class BufferedStream : public httplib::Stream
{
public:
    BufferedStream(int fd, const std::string& request) : m_fd(fd), m_request(request) {}

    bool is_readable() const override { return m_position < m_request.size(); }
    bool is_writable() const override { return true; }

    ssize_t read(char* ptr, size_t size) override
    {
        const std::size_t n = std::min(size, m_request.size() - m_position);
        std::memcpy(ptr, m_request.data() + m_position, n);
        m_position += n;
        return static_cast<ssize_t>(n);
    }

    ssize_t write(const char* ptr, size_t size) override
    {
        std::size_t written = 0;
        while (written < size) {
            const ssize_t n = ::send(m_fd, ptr + written, size - written, MSG_NOSIGNAL);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                return -1;
            written += static_cast<std::size_t>(n);
        }
        return static_cast<ssize_t>(written);
    }

    void get_remote_ip_and_port(std::string& ip, int& port) const override
    {
        addressOf(m_fd, true, ip, port);
    }
    void get_local_ip_and_port(std::string& ip, int& port) const override
    {
        addressOf(m_fd, false, ip, port);
    }
    socket_t socket() const override { return m_fd; }

private:
    int m_fd;
    const std::string& m_request;
    std::size_t m_position = 0;
};

} // namespace

struct GuardedServer::Connection
{
    int fd = -1;
    RequestAssembler request;
    Clock::time_point deadline;
    bool continueSent = false;
    // Complete and waiting for a free worker until the deadline.
    std::shared_ptr<const std::string> waiting;
    // Refused: the answer is sent, and what the client still sends is read and dropped.
    bool lingering = false;
};

class GuardedServer::WorkerPool
{
public:
    explicit WorkerPool(std::size_t count)
    {
        for (std::size_t i = 0; i < count; ++i)
            m_threads.emplace_back([this] { work(); });
    }

    ~WorkerPool() { shutdown(); }

    // Runs the job on an idle worker; false when every worker is busy.
    bool tryRun(std::function<void()> job)
    {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            if (m_stopping || m_jobs.size() >= m_idle)
                return false;
            m_jobs.push_back(std::move(job));
        }
        m_condition.notify_one();
        return true;
    }

    // Lets running jobs end, then stops the workers.
    void shutdown()
    {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_stopping = true;
        }
        m_condition.notify_all();
        for (std::thread& thread : m_threads) {
            if (thread.joinable())
                thread.join();
        }
    }

private:
    void work()
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        for (;;) {
            ++m_idle;
            m_condition.wait(lock, [this] { return m_stopping || !m_jobs.empty(); });
            --m_idle;
            if (m_jobs.empty())
                return;
            std::function<void()> job = std::move(m_jobs.front());
            m_jobs.pop_front();
            lock.unlock();
            job();
            lock.lock();
        }
    }

    std::mutex m_mutex;
    std::condition_variable m_condition;
    std::deque<std::function<void()>> m_jobs;
    std::size_t m_idle = 0;
    bool m_stopping = false;
    std::vector<std::thread> m_threads;
};

GuardedServer::GuardedServer(const ServerLimits& limits) : m_limits(limits)
{}

GuardedServer::~GuardedServer()
{
    if (m_pool)
        m_pool->shutdown();
    for (int fd : {m_listenFd, m_wakeFds[0], m_wakeFds[1]}) {
        if (fd >= 0)
            ::close(fd);
    }
}

int GuardedServer::bindAndListen(const std::string& host, int port, std::string& error)
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    if (::inet_pton(AF_INET, host.c_str(), &address.sin_addr) != 1) {
        error = "not an IPv4 address: " + host;
        return -1;
    }
    m_listenFd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int on = 1;
    if (m_listenFd < 0 ||
        ::setsockopt(m_listenFd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof(on)) != 0 ||
        ::bind(m_listenFd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 ||
        ::listen(m_listenFd, SOMAXCONN) != 0 || !setNonBlocking(m_listenFd, true) ||
        ::pipe2(m_wakeFds, O_NONBLOCK | O_CLOEXEC) != 0) {
        error = std::strerror(errno);
        return -1;
    }
    socklen_t length = sizeof(address);
    if (::getsockname(m_listenFd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        error = std::strerror(errno);
        return -1;
    }
    m_pool = std::make_unique<WorkerPool>(m_limits.workers);
    return ntohs(address.sin_port);
}

void GuardedServer::stop()
{
    m_stopping = true;
    const char wake = 1;
    if (m_wakeFds[1] >= 0)
        (void)::write(m_wakeFds[1], &wake, 1);
}

bool GuardedServer::run()
{
    std::vector<Connection> connections;
    std::vector<pollfd> polled;
    bool failed = false;
    while (!m_stopping && !failed) {
        const Clock::time_point now = Clock::now();
        for (auto it = connections.begin(); it != connections.end();) {
            if (it->waiting && dispatch(*it)) {
                it = connections.erase(it);
                continue;
            }
            // Deadlines: a slow client is dropped whether or not it sends anything.
            if (now < it->deadline) {
                ++it;
                continue;
            }
            if (it->waiting) {
                refuse(*it, 503);
                ++it;
                continue;
            }
            if (!it->lingering)
                sendAnswer(it->fd, 408);
            ::close(it->fd);
            it = connections.erase(it);
        }

        polled.assign({{m_listenFd, POLLIN, 0}, {m_wakeFds[0], POLLIN, 0}});
        auto wait = std::chrono::milliseconds(1000);
        for (const Connection& connection : connections) {
            // A waiting request is complete: nothing more is read from it.
            polled.push_back({connection.waiting ? -1 : connection.fd, POLLIN, 0});
            wait = std::min(wait, connection.waiting
                                      ? kWorkerPoll
                                      : std::chrono::duration_cast<std::chrono::milliseconds>(
                                            connection.deadline - now) +
                                            std::chrono::milliseconds(1));
        }
        const int ready = ::poll(polled.data(), polled.size(), static_cast<int>(wait.count()));
        if (ready < 0 && errno != EINTR) {
            failed = true;
            break;
        }
        if (ready <= 0)
            continue;

        std::vector<Connection> still;
        still.reserve(connections.size());
        for (std::size_t i = 0; i < connections.size(); ++i) {
            if (polled[i + 2].revents == 0 || readFrom(connections[i]))
                still.push_back(std::move(connections[i]));
        }
        connections.swap(still);
        if (polled[0].revents & (POLLERR | POLLNVAL))
            failed = true;
        else if (polled[0].revents & POLLIN)
            acceptAll(connections); // polled from the next round on
    }

    for (const Connection& connection : connections)
        ::close(connection.fd);
    if (m_pool)
        m_pool->shutdown();
    return !failed;
}

void GuardedServer::acceptAll(std::vector<Connection>& connections)
{
    for (;;) {
        const int fd = ::accept4(m_listenFd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0)
            return;
        if (connections.size() >= m_limits.maxReading) {
            sendAnswer(fd, 503);
            ::close(fd);
            continue;
        }
        Connection connection{fd,
                              RequestAssembler(m_limits.maxHead, m_limits.maxBody),
                              Clock::now() + m_limits.requestDeadline,
                              false,
                              nullptr,
                              false};
        connections.push_back(std::move(connection));
    }
}

bool GuardedServer::readFrom(Connection& connection)
{
    char buffer[kReadChunk];
    // A bounded amount per round, so one fast sender cannot starve the others.
    for (int round = 0; round < 16; ++round) {
        const ssize_t n = ::recv(connection.fd, buffer, sizeof(buffer), 0);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            return true;
        if (n <= 0) {
            // The client closed or reset before its request was complete.
            ::close(connection.fd);
            return false;
        }
        if (connection.lingering)
            continue;

        const auto state = connection.request.feed(buffer, static_cast<std::size_t>(n));
        if (state == RequestAssembler::State::Failed) {
            refuse(connection, connection.request.failureStatus());
            continue;
        }
        if (state == RequestAssembler::State::Complete) {
            connection.waiting = std::make_shared<const std::string>(connection.request.request());
            connection.deadline = Clock::now() + kWorkerWait;
            return !dispatch(connection);
        }
        if (state == RequestAssembler::State::Body && connection.request.expectsContinue() &&
            !connection.continueSent) {
            static const char kContinue[] = "HTTP/1.1 100 Continue\r\n\r\n";
            (void)::send(connection.fd, kContinue, sizeof(kContinue) - 1,
                         MSG_NOSIGNAL | MSG_DONTWAIT);
            connection.continueSent = true;
        }
    }
    return true;
}

bool GuardedServer::dispatch(Connection& connection)
{
    const int fd = connection.fd;
    const std::shared_ptr<const std::string> request = connection.waiting;
    return m_pool->tryRun([this, fd, request] { serve(fd, *request); });
}

void GuardedServer::refuse(Connection& connection, int status)
{
    sendAnswer(connection.fd, status);
    ::shutdown(connection.fd, SHUT_WR);
    connection.waiting.reset();
    connection.lingering = true;
    connection.deadline = Clock::now() + kLinger;
}

void GuardedServer::serve(int fd, const std::string& request)
{
    setNonBlocking(fd, false);
    const timeval writeTimeout{kWriteTimeoutSeconds, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &writeTimeout, sizeof(writeTimeout));
    BufferedStream stream(fd, request);
    bool closed = false;
    process_request(stream, true, closed, [&stream](httplib::Request& req) {
        stream.get_remote_ip_and_port(req.remote_addr, req.remote_port);
        stream.get_local_ip_and_port(req.local_addr, req.local_port);
    });
    ::shutdown(fd, SHUT_WR);
    ::close(fd);
}

} // namespace advisory
