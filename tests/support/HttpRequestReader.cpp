#include "HttpRequestReader.h"

#include <QSharedPointer>
#include <QTcpSocket>

namespace HttpRequestReader {

void readOne(QTcpSocket* socket, QObject* context,
             std::function<void(const QByteArray& request)> done)
{
    auto buffer = QSharedPointer<QByteArray>::create();
    QObject::connect(socket, &QTcpSocket::readyRead, context, [socket, context, buffer, done]() {
        buffer->append(socket->readAll());
        const int headEnd = buffer->indexOf("\r\n\r\n");
        if (headEnd < 0)
            return;
        const qint64 length = headerValue(buffer->left(headEnd), "content-length").toLongLong();
        if (buffer->size() < headEnd + 4 + length)
            return;
        QObject::disconnect(socket, &QTcpSocket::readyRead, context, nullptr);
        done(*buffer);
    });
}

QByteArray headerValue(const QByteArray& head, const QByteArray& lowerCaseName)
{
    for (const QByteArray& line : head.split('\n')) {
        const int colon = line.indexOf(':');
        if (colon > 0 && line.left(colon).trimmed().toLower() == lowerCaseName)
            return line.mid(colon + 1).trimmed();
    }
    return {};
}

} // namespace HttpRequestReader
