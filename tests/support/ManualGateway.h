#pragma once

#include "IHttpManager.h"

#include <QList>
#include <QObject>
#include <QSharedPointer>
#include <QString>

#include <functional>

class IHttpRequest;
class IHttpResponse;

// A gateway whose requests end only when the test says so; the completion then runs on a
// later event-loop turn, as the real gateway's does. Install it with IHttpManager::SetInstance.
class ManualGateway : public QObject, public IHttpManager
{
public:
    struct Call
    {
        QSharedPointer<IHttpRequest> request;
        QSharedPointer<IHttpResponse> response;
        std::function<void()> done;
        int timeoutMs = 0;
        int retries = 0;
    };

    void SendRequest(QSharedPointer<IHttpRequest> request, QSharedPointer<IHttpResponse> response,
                     std::function<void()> done, int timeoutMs, int retries) override;

    // Hands the reply body to the response and runs the completion later.
    void reply(int index, const QByteArray& body);
    // Ends the request without a usable reply and runs the completion later.
    void fail(int index, int code, const QString& desc);

    // The API name of a call's request (empty for a request that names none).
    QString apiName(int index) const;
    // Indexes of the calls to the API, in the order they were sent.
    QList<int> callsTo(const QString& api) const;

    QList<Call> calls;
    int completed = 0;

private:
    void finish(int index);
};
