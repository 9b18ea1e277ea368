#include "KivConsult.h"

#include "ConsultConfig.h"
#include "ZorConsultDialog.h"
#include "ZorConsultLogic.h"
#include "ZorConsultManager.h"

#include <QAtomicPointer>
#include <QMutex>
#include <QMutexLocker>

namespace {

// Read without the lock on the fast path of Instance(), hence atomic.
QAtomicPointer<KivConsult> s_instance;
// Guards creation and release only; separate from the logic's own mutex.
QMutex s_mutex;

// Releases the facade when the module is unloaded.
struct ReleaseGuard
{
    ~ReleaseGuard() { KivConsult::ReleaseInstance(); }
};

bool HasCachedTypes()
{
    return ZorConsultLogic::Instance()->GetManager()->GetBusinessTypeCount() > 0;
}

} // namespace

KivConsult::KivConsult(QObject* parent) : QObject(parent)
{
    ZorConsultLogic::Instance();
}

KivConsult::~KivConsult()
{
    // Deleted directly instead of through ReleaseInstance: nobody may pick up a dead
    // singleton afterwards.
    s_instance.testAndSetOrdered(this, nullptr);
    ZorConsultLogic::ReleaseInstance();
}

KivConsult* KivConsult::Instance()
{
    // Constructed before the facade (and so before the logic's own guard), hence destroyed
    // after it: at unload the logic goes first and this facade then finds none.
    static const ReleaseGuard guard;

    KivConsult* instance = s_instance.loadAcquire();
    if (instance)
        return instance;
    QMutexLocker locker(&s_mutex);
    instance = s_instance.loadRelaxed();
    if (!instance) {
        instance = new KivConsult;
        s_instance.storeRelease(instance);
    }
    return instance;
}

void KivConsult::ReleaseInstance()
{
    if (!s_instance.loadAcquire())
        return;
    QMutexLocker locker(&s_mutex);
    // Cleared before the delete, so nobody picks up an object that is being destroyed.
    delete s_instance.fetchAndStoreOrdered(nullptr);
}

void KivConsult::RequestBusinessType()
{
    if (HasCachedTypes())
        return;
    ZorConsultLogic::Instance()->RequestBusinessType();
}

void KivConsult::GetBusinessType(ConsultSourceType type)
{
    m_sourceType = type;
    // Whatever filled the cache, it serves every later showing unchanged.
    if (HasCachedTypes())
        return;
    switch (type) {
    case SourceDefault:
        ZorConsultLogic::Instance()->RequestBusinessType();
        break;
    case SourceLoginProblem:
        ZorConsultLogic::Instance()->LoadLoginProblemTypes();
        break;
    case SourceOtherProblem:
        ZorConsultLogic::Instance()->LoadOtherProblemTypes();
        break;
    }
}

void KivConsult::ShowFeedbackDlg(QWidget* parent, ConsultSourceType type,
                                 const QString& browserVersion)
{
    GetBusinessType(type);

    if (!m_dialog) {
        m_dialog = new ZorConsultDialog(parent);
        connect(m_dialog, &ZorConsultDialog::SigOpenRecordUrl, this,
                &KivConsult::SlotOpenRecordUrl);
        connect(m_dialog, &ZorConsultDialog::SigSubmitSuccess, this, &KivConsult::SigSubmitSuccess);
    }

    m_dialog->SetBrowserVersion(browserVersion);
    if (m_sourceType != SourceDefault)
        m_dialog->SetFixedTypeMode();
    m_dialog->InitData();

    m_dialog->showNormal();
    m_dialog->setFocus(Qt::OtherFocusReason);
    m_dialog->activateWindow();
}

void KivConsult::SlotOpenRecordUrl()
{
    emit SigOpenRecordUrl(ConsultConfig().GetRecordUrl());
}
