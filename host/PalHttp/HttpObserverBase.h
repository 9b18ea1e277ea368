#pragma once

#include "palhttp_export.h"

#include <QSharedPointer>

class IHttpRequest;
class IHttpResponse;

// Receives gateway notifications it registered for with HttpNotifyManager::AddObserver.
// The destructor unregisters it, so an observer can never be called after it died.
class PALHTTP_EXPORT HttpObserverBase
{
public:
    HttpObserverBase() = default;
    virtual ~HttpObserverBase();

    HttpObserverBase(const HttpObserverBase&) = delete;
    HttpObserverBase& operator=(const HttpObserverBase&) = delete;

    virtual void HandleMessage(int id, QSharedPointer<IHttpRequest> request,
                               QSharedPointer<IHttpResponse> response) = 0;
};
