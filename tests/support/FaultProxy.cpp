#include "FaultProxy.h"

#include "HttpRequestReader.h"

#include <QHostAddress>
#include <QPointer>
#include <QSharedPointer>
#include <QTcpSocket>
#include <QTimer>

using HttpRequestReader::headerValue;

FaultProxy::FaultProxy(QObject* parent) : QTcpServer(parent)
{
    connect(this, &QTcpServer::newConnection, this, [this]() {
        while (QTcpSocket* client = nextPendingConnection())
            serve(client);
    });
}

bool FaultProxy::start(quint16 upstreamPort)
{
    m_upstreamPort = upstreamPort;
    return listen(QHostAddress::LocalHost, 0);
}

QString FaultProxy::baseUrl() const
{
    return QStringLiteral("http://127.0.0.1:%1").arg(serverPort());
}

void FaultProxy::reset()
{
    m_rules.clear();
    m_arrivals.clear();
}

void FaultProxy::addFault(const QString& pathEnd, Fault fault, int count, int skip, int holdMs)
{
    m_rules.append({pathEnd, fault, skip, count, holdMs});
}

QStringList FaultProxy::requestIds(const QString& pathEnd) const
{
    QStringList ids;
    for (const Arrival& arrival : m_arrivals) {
        if (arrival.path.endsWith(pathEnd))
            ids.append(arrival.requestId);
    }
    return ids;
}

void FaultProxy::serve(QTcpSocket* client)
{
    connect(client, &QTcpSocket::disconnected, client, &QObject::deleteLater);
    HttpRequestReader::readOne(
        client, this, [this, client](const QByteArray& request) { handle(client, request); });
}

void FaultProxy::handle(QTcpSocket* client, const QByteArray& request)
{
    const QByteArray head = request.left(request.indexOf("\r\n\r\n"));
    const QString path = QString::fromLatin1(head.left(head.indexOf('\r')).split(' ').value(1));
    m_arrivals.append({path, QString::fromLatin1(headerValue(head, "x-request-id"))});

    for (Rule& rule : m_rules) {
        if (!path.endsWith(rule.pathEnd) || rule.count == 0)
            continue;
        if (rule.skip > 0) {
            --rule.skip;
            break;
        }
        --rule.count;
        switch (rule.fault) {
        case Fault::Refuse: {
            const QByteArray body = "refused on the way\n";
            client->write("HTTP/1.1 502 Bad Gateway\r\nContent-Type: text/plain\r\n"
                          "Connection: close\r\nContent-Length: " +
                          QByteArray::number(body.size()) + "\r\n\r\n" + body);
            client->disconnectFromHost();
            return;
        }
        case Fault::Hold: {
            const QPointer<QTcpSocket> guarded(client);
            QTimer::singleShot(rule.holdMs, this,
                               [this, guarded, request]() { forward(guarded, request, false); });
            return;
        }
        case Fault::DropAnswer:
            forward(client, request, true);
            return;
        }
    }
    forward(client, request, false);
}

void FaultProxy::forward(QTcpSocket* client, const QByteArray& request, bool dropAnswer)
{
    // The service closes every connection after its answer, so the answer is complete once
    // the upstream connection ends.
    const QPointer<QTcpSocket> guarded(client);
    auto* upstream = new QTcpSocket(this);
    auto answer = QSharedPointer<QByteArray>::create();
    connect(upstream, &QTcpSocket::connected, upstream,
            [upstream, request]() { upstream->write(request); });
    connect(upstream, &QTcpSocket::readyRead, upstream,
            [upstream, answer]() { answer->append(upstream->readAll()); });
    auto done = QSharedPointer<bool>::create(false);
    // Both an error and the disconnection may report the end.
    const auto finish = [upstream, answer, guarded, dropAnswer, done]() {
        if (*done)
            return;
        *done = true;
        answer->append(upstream->readAll());
        upstream->deleteLater();
        if (!guarded)
            return;
        if (dropAnswer || answer->isEmpty()) {
            guarded->abort();
            return;
        }
        guarded->write(*answer);
        guarded->disconnectFromHost();
    };
    connect(upstream, &QTcpSocket::disconnected, this, finish);
    connect(upstream, &QAbstractSocket::errorOccurred, this, [upstream, finish]() {
        if (upstream->state() == QAbstractSocket::UnconnectedState)
            finish();
    });
    upstream->connectToHost(QHostAddress::LocalHost, m_upstreamPort);
}
