#pragma once

#include "palbase_export.h"

#include <QObject>

#include <functional>

class QThreadPool;

// The host's asynchronous runner: work runs on a worker thread, then done runs on the GUI
// thread once work has returned (a later event-loop turn, never inside DoAsync).
class PALBASE_EXPORT PalGlobalAsync : public QObject
{
    Q_OBJECT
public:
    static PalGlobalAsync* Instance();

    void DoAsync(std::function<void()> work, std::function<void()> done);

    // Waits until every pending work function has returned (for orderly shutdown and
    // tests); done functions may still be queued afterwards. False on timeout.
    bool WaitForDone(int msecs = -1);

private:
    explicit PalGlobalAsync(QObject* parent = nullptr);

    QThreadPool* m_pool = nullptr;
};
