#include "TerminationSignals.h"

#include <QSocketNotifier>

#ifdef Q_OS_UNIX
#include <csignal>
#include <sys/socket.h>
#include <unistd.h>
#endif

namespace {

#ifdef Q_OS_UNIX
// A signal handler may only write to a descriptor; the notifier reads it on the GUI thread.
int g_signalPipe[2] = {-1, -1};
constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};
// Signals ignored when the host started (nohup, a background job) stay ignored.
bool g_installed[sizeof(kSignals) / sizeof(kSignals[0])] = {};

void OnSignal(int signalNumber)
{
    const unsigned char byte = static_cast<unsigned char>(signalNumber);
    [[maybe_unused]] const auto written = ::write(g_signalPipe[0], &byte, 1);
}
#endif

} // namespace

TerminationSignals::TerminationSignals(QObject* parent) : QObject(parent)
{
#ifdef Q_OS_UNIX
    if (g_signalPipe[0] >= 0 || ::socketpair(AF_UNIX, SOCK_STREAM, 0, g_signalPipe) != 0)
        return;
    m_notifier = new QSocketNotifier(g_signalPipe[1], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &TerminationSignals::SlotSignalArrived);
    struct sigaction action = {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (size_t i = 0; i < sizeof(kSignals) / sizeof(kSignals[0]); ++i) {
        struct sigaction previous = {};
        ::sigaction(kSignals[i], nullptr, &previous);
        if (previous.sa_handler != SIG_IGN)
            g_installed[i] = ::sigaction(kSignals[i], &action, nullptr) == 0;
    }
#endif
}

TerminationSignals::~TerminationSignals()
{
#ifdef Q_OS_UNIX
    if (!m_notifier)
        return;
    for (size_t i = 0; i < sizeof(kSignals) / sizeof(kSignals[0]); ++i) {
        if (g_installed[i])
            std::signal(kSignals[i], SIG_DFL);
        g_installed[i] = false;
    }
    ::close(g_signalPipe[0]);
    ::close(g_signalPipe[1]);
    g_signalPipe[0] = g_signalPipe[1] = -1;
#endif
}

void TerminationSignals::SlotSignalArrived()
{
#ifdef Q_OS_UNIX
    unsigned char byte = 0;
    if (::read(g_signalPipe[1], &byte, 1) == 1)
        emit SigTerminationRequested(byte);
#endif
}
