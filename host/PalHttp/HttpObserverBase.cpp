#include "HttpObserverBase.h"

#include "HttpNotifyManager.h"

HttpObserverBase::~HttpObserverBase()
{
    HttpNotifyManager::Instance()->RemoveAllMessage(this);
}
