#pragma once

#include <QByteArray>

#include <functional>

class QObject;
class QTcpSocket;

namespace HttpRequestReader {

// Collects one request from the connection (its head, then Content-Length bytes of body)
// and hands it to done once it is complete; context ends the wait when it is destroyed.
void readOne(QTcpSocket* socket, QObject* context,
             std::function<void(const QByteArray& request)> done);

// The value of a header in a request head, the name matched case-insensitively.
QByteArray headerValue(const QByteArray& head, const QByteArray& lowerCaseName);

} // namespace HttpRequestReader
