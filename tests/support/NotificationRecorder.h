#pragma once

#include "HttpObserverBase.h"

#include <QList>
#include <QSharedPointer>

#include <functional>

class IHttpRequest;
class IHttpResponse;

// Observes gateway notifications for a test: remembers every one it gets, in order, and
// optionally runs a hook inside the dispatch (to act as an observer would).
class NotificationRecorder : public HttpObserverBase
{
public:
    struct Notification
    {
        int id = 0;
        QSharedPointer<IHttpRequest> request;
        QSharedPointer<IHttpResponse> response;
    };

    // Registers for each id with HttpNotifyManager; the destructor unregisters.
    explicit NotificationRecorder(const QList<int>& ids);

    void HandleMessage(int id, QSharedPointer<IHttpRequest> request,
                       QSharedPointer<IHttpResponse> response) override;

    int count(int id) const;
    QList<Notification> notifications;
    std::function<void(const Notification&)> onMessage;
};
