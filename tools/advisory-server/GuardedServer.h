#pragma once

#include <httplib.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace advisory {

struct ServerLimits
{
    // Time a client has for sending a whole request, head and body.
    std::chrono::milliseconds requestDeadline{10000};
    std::size_t maxHead = 64 * 1024;
    std::size_t maxBody = 0;
    // Requests handled at once; a complete request that finds every worker busy for a moment
    // is answered 503 instead of waiting in a queue.
    std::size_t workers = 16;
    // Connections still sending their request; more are answered 503 at once.
    std::size_t maxReading = 256;
};

// The HTTP server with the library's routing and handlers, but its own connection handling:
// one thread reads every connection's request without blocking, within a deadline and size
// limits, and hands only complete requests to the workers. A slow or oversized client thus
// holds no worker, and memory stays bounded by the limits whatever a client sends.
// POSIX sockets: the service runs on the development machines and in CI only.
class GuardedServer : public httplib::Server
{
public:
    explicit GuardedServer(const ServerLimits& limits);
    ~GuardedServer() override;

    // Listens on host:port (0: a free port). Returns the port, or -1 with error set.
    int bindAndListen(const std::string& host, int port, std::string& error);
    // Serves until stop(); returns false when the listening socket failed.
    bool run();
    // Ends run(), closes connections still being read and waits for running handlers.
    void stop();

private:
    struct Connection;
    class WorkerPool;

    void acceptAll(std::vector<Connection>& connections);
    // False when the connection is done with and must be dropped from the list.
    bool readFrom(Connection& connection);
    // Hands a complete request to an idle worker; false when all are busy.
    bool dispatch(Connection& connection);
    // Answers with the status and reads what the client still sends until it gives up.
    void refuse(Connection& connection, int status);
    void serve(int fd, const std::string& request);

    ServerLimits m_limits;
    int m_listenFd = -1;
    int m_wakeFds[2] = {-1, -1};
    std::atomic<bool> m_stopping{false};
    std::unique_ptr<WorkerPool> m_pool;
};

} // namespace advisory
