#include "IHttpManager.h"

#include "HttpGateway.h"

#include <QAtomicPointer>
#include <QCoreApplication>
#include <QMutex>
#include <QMutexLocker>
#include <QPointer>

namespace {

// Read on every request without the lock, hence atomic.
QAtomicPointer<IHttpManager> s_replacement;

QMutex s_defaultMutex;
// Owned by the application object, so its network manager goes before Qt's network
// internals do; a gateway asked for after that gets a new one.
QPointer<HttpGateway> s_default;

} // namespace

IHttpManager::~IHttpManager()
{
    // A replacement that dies while installed must not be handed out any more.
    s_replacement.testAndSetOrdered(this, nullptr);
}

IHttpManager* IHttpManager::Instance()
{
    if (IHttpManager* replacement = s_replacement.loadAcquire())
        return replacement;
    QMutexLocker locker(&s_defaultMutex);
    if (!s_default)
        s_default = new HttpGateway(QCoreApplication::instance());
    return s_default.data();
}

void IHttpManager::SetInstance(IHttpManager* manager)
{
    s_replacement.storeRelease(manager);
}
