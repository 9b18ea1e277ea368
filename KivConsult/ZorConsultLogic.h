#pragma once

#include "ConsultDescEntity.h"
#include "ZorConsultManager.h"

#include <QAtomicPointer>
#include <QMutex>
#include <QObject>
#include <QSharedPointer>
#include <QString>

// The module's business core: owns the category cache, fills it from the advisory service
// or from a fixed list, and sends the two gateway requests. Outcomes reach observers as the
// notifications MSG_CONSULT_BUSINESS_TYPE (20000) and MSG_CONSULT_SUBMIT_DESC (20001).
// Instance/ReleaseInstance may be called from any thread; everything else on the GUI thread.
class ZorConsultLogic : public QObject
{
    Q_OBJECT
public:
    static ZorConsultLogic* Instance();
    static void ReleaseInstance();

    ZorConsultManager* GetManager();

    // Starts the category query unless one is in flight.
    void RequestBusinessType();
    // Replace the cache with the fixed list of source type 1, respectively 2.
    void LoadLoginProblemTypes();
    void LoadOtherProblemTypes();

    // Sends one feedback record under a fresh identity; returns the identity of the request.
    QString SubmitDesc(QSharedPointer<ConsultDescEntity> desc);
    // Sends the record under the given identity, as a resubmit of a record sent before: the
    // service stores one record per identity and answers a repeat with that record's id.
    // An identity that is no lower-case UUID without braces is replaced by a fresh one.
    QString SubmitDesc(QSharedPointer<ConsultDescEntity> desc, const QString& identity);

private:
    explicit ZorConsultLogic(QObject* parent = nullptr);
    ~ZorConsultLogic() override;

    void LoadFixedTypes(const QString& childCode, const QString& childName);

    ZorConsultManager m_manager;
    bool m_bRequesting = false;

    // Read without the lock on the fast path, hence atomic.
    static QAtomicPointer<ZorConsultLogic> s_instance;
    static QMutex s_mutex;
};
