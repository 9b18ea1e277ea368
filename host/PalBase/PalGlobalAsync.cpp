#include "PalGlobalAsync.h"

#include <QAtomicPointer>
#include <QCoreApplication>
#include <QMutex>
#include <QMutexLocker>
#include <QThreadPool>

namespace {

QMutex g_instanceMutex;
QAtomicPointer<PalGlobalAsync> g_instance;

} // namespace

PalGlobalAsync* PalGlobalAsync::Instance()
{
    if (!g_instance.loadAcquire()) {
        QMutexLocker locker(&g_instanceMutex);
        if (!g_instance.loadAcquire()) {
            g_instance.storeRelease(new PalGlobalAsync);
            // Waits for running work at unload, so no worker outlives the library.
            static struct ReleaseGuard
            {
                ~ReleaseGuard()
                {
                    QMutexLocker guardLocker(&g_instanceMutex);
                    delete g_instance.fetchAndStoreOrdered(nullptr);
                }
            } guard;
        }
    }
    return g_instance.loadAcquire();
}

PalGlobalAsync::PalGlobalAsync(QObject* parent) : QObject(parent), m_pool(new QThreadPool(this))
{
    // Completions are delivered through this object's thread, which must be the GUI thread
    // even when the first caller is a worker.
    if (QCoreApplication::instance())
        moveToThread(QCoreApplication::instance()->thread());
}

void PalGlobalAsync::DoAsync(std::function<void()> work, std::function<void()> done)
{
    m_pool->start([this, work = std::move(work), done = std::move(done)]() {
        if (work)
            work();
        // Queued even when work was instant: done never runs inside DoAsync.
        QMetaObject::invokeMethod(
            this,
            [done]() {
                if (done)
                    done();
            },
            Qt::QueuedConnection);
    });
}

bool PalGlobalAsync::WaitForDone(int msecs)
{
    return m_pool->waitForDone(msecs);
}
