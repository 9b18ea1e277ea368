#include "ManualGateway.h"

#include "IHttpRequestDsm.h"
#include "IHttpResponse.h"

#include <QTimer>

void ManualGateway::SendRequest(QSharedPointer<IHttpRequest> request,
                                QSharedPointer<IHttpResponse> response, std::function<void()> done,
                                int timeoutMs, int retries)
{
    calls.append({request, response, std::move(done), timeoutMs, retries});
}

void ManualGateway::reply(int index, const QByteArray& body)
{
    calls[index].response->SetData(body);
    finish(index);
}

void ManualGateway::fail(int index, int code, const QString& desc)
{
    calls[index].response->SetNetworkError(code, desc);
    finish(index);
}

QString ManualGateway::apiName(int index) const
{
    const auto* request = dynamic_cast<const IHttpRequestDsm*>(calls.at(index).request.data());
    return request ? request->GetApiName() : QString();
}

QList<int> ManualGateway::callsTo(const QString& api) const
{
    QList<int> result;
    for (int i = 0; i < calls.size(); ++i) {
        if (apiName(i) == api)
            result.append(i);
    }
    return result;
}

void ManualGateway::finish(int index)
{
    // The completion is given up by the gateway once it ran, like the real one does.
    std::function<void()> done = std::move(calls[index].done);
    QTimer::singleShot(0, this, [this, done]() {
        done();
        ++completed;
    });
}
