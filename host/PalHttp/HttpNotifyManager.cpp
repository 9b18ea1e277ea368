#include "HttpNotifyManager.h"

#include "HttpObserverBase.h"

#include <algorithm>

HttpNotifyManager* HttpNotifyManager::Instance()
{
    // Never destroyed: observers that die during static destruction still unregister here.
    static HttpNotifyManager* const instance = new HttpNotifyManager;
    return instance;
}

void HttpNotifyManager::AddObserver(HttpObserverBase* observer, int id)
{
    if (!observer || HasObserver(observer, id))
        return;
    m_observers.append(qMakePair(id, observer));
}

void HttpNotifyManager::RemoveObserver(HttpObserverBase* observer, int id)
{
    for (auto& entry : m_observers) {
        if (entry.first == id && entry.second == observer)
            entry.second = nullptr;
    }
    Sweep();
}

void HttpNotifyManager::RemoveAllMessage(HttpObserverBase* observer)
{
    for (auto& entry : m_observers) {
        if (entry.second == observer)
            entry.second = nullptr;
    }
    Sweep();
}

bool HttpNotifyManager::HasObserver(HttpObserverBase* observer, int id) const
{
    return observer && std::any_of(m_observers.cbegin(), m_observers.cend(), [&](const auto& e) {
               return e.first == id && e.second == observer;
           });
}

void HttpNotifyManager::Dispatch(int id, QSharedPointer<IHttpRequest> request,
                                 QSharedPointer<IHttpResponse> response)
{
    // Entries only ever get nulled or appended while a dispatch runs, so indices stay valid
    // and the entries appended by observers lie beyond the count taken here.
    ++m_dispatchDepth;
    const int count = m_observers.size();
    for (int i = 0; i < count; ++i) {
        HttpObserverBase* observer = m_observers.at(i).second;
        if (observer && m_observers.at(i).first == id)
            observer->HandleMessage(id, request, response);
    }
    --m_dispatchDepth;
    Sweep();
}

void HttpNotifyManager::Sweep()
{
    if (m_dispatchDepth > 0)
        return;
    m_observers.erase(std::remove_if(m_observers.begin(), m_observers.end(),
                                     [](const auto& e) { return e.second == nullptr; }),
                      m_observers.end());
}
