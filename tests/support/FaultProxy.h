#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>
#include <QTcpServer>

class QTcpSocket;

// A forwarding proxy on 127.0.0.1 between the module and advisory-server that plays what a
// network in between can do to a request: refuse it before it reaches the service, hold it
// back for a while, or forward it and drop the service's answer (the connection closes
// without one once the service has answered, that is after it acted on the request).
class FaultProxy : public QTcpServer
{
public:
    enum class Fault { Refuse, Hold, DropAnswer };

    explicit FaultProxy(QObject* parent = nullptr);

    bool start(quint16 upstreamPort);
    void setUpstreamPort(quint16 port) { m_upstreamPort = port; }
    QString baseUrl() const;
    // Forgets the faults, and with them the requests seen so far.
    void reset();
    void clearFaults() { m_rules.clear(); }

    // Of the requests whose path ends with pathEnd, the first `skip` pass, the next `count`
    // (every one with a negative count) meet the fault (Hold: forwarded after holdMs), and
    // later ones pass again.
    void addFault(const QString& pathEnd, Fault fault, int count = 1, int skip = 0, int holdMs = 0);

    // The X-Request-Id of each request whose path ends with pathEnd, in arrival order
    // (empty for a request without one).
    QStringList requestIds(const QString& pathEnd) const;
    int requestCount(const QString& pathEnd) const { return requestIds(pathEnd).size(); }

private:
    struct Rule
    {
        QString pathEnd;
        Fault fault;
        int skip;
        int count;
        int holdMs;
    };
    struct Arrival
    {
        QString path;
        QString requestId;
    };

    void serve(QTcpSocket* client);
    void handle(QTcpSocket* client, const QByteArray& request);
    void forward(QTcpSocket* client, const QByteArray& request, bool dropAnswer);

    quint16 m_upstreamPort = 0;
    QList<Rule> m_rules;
    QList<Arrival> m_arrivals;
};
