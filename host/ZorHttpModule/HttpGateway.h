#pragma once

#include "IHttpManager.h"
#include "zorhttpmodule_export.h"

#include <QObject>

class QNetworkAccessManager;

// The gateway over HTTP: POST <base address>/<api name> with the request's body as JSON and,
// when the request has an identity, the header "X-Request-Id". The base address is read
// from the host configuration ("gateway/base_url") at each request.
class ZORHTTPMODULE_EXPORT HttpGateway : public QObject, public IHttpManager
{
    Q_OBJECT
public:
    explicit HttpGateway(QObject* parent = nullptr);
    ~HttpGateway() override;

    void SendRequest(QSharedPointer<IHttpRequest> request, QSharedPointer<IHttpResponse> response,
                     std::function<void()> done, int timeoutMs, int retries) override;

private:
    QNetworkAccessManager* m_network = nullptr;
};
