#include "NotificationRecorder.h"

#include "HttpNotifyManager.h"

#include <algorithm>

NotificationRecorder::NotificationRecorder(const QList<int>& ids)
{
    for (int id : ids)
        HttpNotifyManager::Instance()->AddObserver(this, id);
}

void NotificationRecorder::HandleMessage(int id, QSharedPointer<IHttpRequest> request,
                                         QSharedPointer<IHttpResponse> response)
{
    notifications.append({id, request, response});
    if (onMessage)
        onMessage(notifications.last());
}

int NotificationRecorder::count(int id) const
{
    return static_cast<int>(std::count_if(notifications.cbegin(), notifications.cend(),
                                          [id](const Notification& n) { return n.id == id; }));
}
