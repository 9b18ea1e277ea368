#pragma once

#include "palhttp_export.h"

#include <QList>
#include <QPair>
#include <QSharedPointer>

class HttpObserverBase;
class IHttpRequest;
class IHttpResponse;

// The host's notification hub. Observers register per message id; Dispatch calls each of
// them in the order of registration. An observer added, removed or destroyed during a
// dispatch is handled safely: a removed observer is not called any more, one added during
// the dispatch is called from the next one on. GUI thread only.
class PALHTTP_EXPORT HttpNotifyManager
{
public:
    static HttpNotifyManager* Instance();

    // Registering the same observer twice for one id has no further effect.
    void AddObserver(HttpObserverBase* observer, int id);
    void RemoveObserver(HttpObserverBase* observer, int id);
    void RemoveAllMessage(HttpObserverBase* observer);
    bool HasObserver(HttpObserverBase* observer, int id) const;

    void Dispatch(int id, QSharedPointer<IHttpRequest> request,
                  QSharedPointer<IHttpResponse> response);

private:
    HttpNotifyManager() = default;
    // Drops the entries removed meanwhile, unless a dispatch is still walking the list.
    void Sweep();

    // (id, observer) in registration order; removal nulls the observer while a dispatch runs
    // and the entry is swept once no dispatch is running.
    QList<QPair<int, HttpObserverBase*>> m_observers;
    int m_dispatchDepth = 0;
};
