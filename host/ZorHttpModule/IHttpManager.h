#pragma once

#include "zorhttpmodule_export.h"

#include <QSharedPointer>

#include <functional>

class IHttpRequest;
class IHttpResponse;

// The host's service gateway. SendRequest returns at once; when the request has ended the
// response is filled and done runs exactly once, on the GUI thread, on a later event-loop
// turn (never inside SendRequest). done holds whatever it captured until it has run.
class ZORHTTPMODULE_EXPORT IHttpManager
{
public:
    // The process-wide gateway: the one set with SetInstance, else the HTTP gateway
    // (HttpGateway) addressed by the host configuration "gateway/base_url".
    static IHttpManager* Instance();
    // Replaces the gateway (the caller keeps ownership); nullptr returns to the HTTP one.
    static void SetInstance(IHttpManager* manager);

    virtual ~IHttpManager();

    // timeoutMs: the time one attempt may take; retries: further attempts after a
    // connection failure (never after a reply or a timeout).
    virtual void SendRequest(QSharedPointer<IHttpRequest> request,
                             QSharedPointer<IHttpResponse> response, std::function<void()> done,
                             int timeoutMs, int retries) = 0;
};
