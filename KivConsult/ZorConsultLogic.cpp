#include "ZorConsultLogic.h"

#include "ConsultBusinessTypeRequest.h"
#include "ConsultBusinessTypeResponse.h"
#include "ConsultSubmitDescRequest.h"
#include "ConsultSubmitDescResponse.h"
#include "HttpNotifyManager.h"
#include "IHttpManager.h"
#include "KivConsultGlobals.h"

#include <QMutexLocker>
#include <QPointer>
#include <QUuid>

namespace {

// What the gateway is given for both advisory calls: the time one attempt may take, and
// how many further attempts it makes after a connection failure.
constexpr int kAttemptTimeoutMs = 20000;
constexpr int kConnectRetries = 2;

// Releases the logic when the module is unloaded.
struct ReleaseGuard
{
    void (*release)();
    ~ReleaseGuard() { release(); }
};

} // namespace

QAtomicPointer<ZorConsultLogic> ZorConsultLogic::s_instance;
QMutex ZorConsultLogic::s_mutex;

ZorConsultLogic::ZorConsultLogic(QObject* parent) : QObject(parent)
{}

ZorConsultLogic::~ZorConsultLogic() = default;

ZorConsultLogic* ZorConsultLogic::Instance()
{
    // Constructed on the first call, so it is destroyed (and releases) before anything that
    // was set up earlier, such as the facade's own guard.
    static const ReleaseGuard guard{&ZorConsultLogic::ReleaseInstance};

    ZorConsultLogic* instance = s_instance.loadAcquire();
    if (instance)
        return instance;
    QMutexLocker locker(&s_mutex);
    instance = s_instance.loadRelaxed();
    if (!instance) {
        instance = new ZorConsultLogic;
        s_instance.storeRelease(instance);
    }
    return instance;
}

void ZorConsultLogic::ReleaseInstance()
{
    if (!s_instance.loadAcquire())
        return;
    QMutexLocker locker(&s_mutex);
    // Cleared before the delete, so nobody picks up an object that is being destroyed.
    delete s_instance.fetchAndStoreOrdered(nullptr);
}

ZorConsultManager* ZorConsultLogic::GetManager()
{
    return &m_manager;
}

void ZorConsultLogic::RequestBusinessType()
{
    // Only one category query is in flight; its completion serves every waiting reader.
    if (m_bRequesting)
        return;
    m_bRequesting = true;

    auto request = QSharedPointer<ConsultBusinessTypeRequest>::create();
    auto response = QSharedPointer<ConsultBusinessTypeResponse>::create();
    const QPointer<ZorConsultLogic> self(this);
    auto done = [request, response, self]() {
        // Released meanwhile: the cache is gone and nobody waits for this query any more.
        if (!self)
            return;
        if (response->IsSuccess())
            self->m_manager.SetBusinessTypeList(response->GetBusinessTypeList());
        // Observers read the cache, so it is updated first; the flag is cleared only after
        // the dispatch, so a query requested from inside an observer is ignored.
        HttpNotifyManager::Instance()->Dispatch(MSG_CONSULT_BUSINESS_TYPE, request, response);
        if (self)
            self->m_bRequesting = false;
    };
    IHttpManager::Instance()->SendRequest(request, response, done, kAttemptTimeoutMs,
                                          kConnectRetries);
}

void ZorConsultLogic::LoadLoginProblemTypes()
{
    LoadFixedTypes(QStringLiteral("1908"), tr("velorin login problem"));
}

void ZorConsultLogic::LoadOtherProblemTypes()
{
    LoadFixedTypes(QStringLiteral("1914"), tr("other system problem"));
}

void ZorConsultLogic::LoadFixedTypes(const QString& childCode, const QString& childName)
{
    auto top = QSharedPointer<ConsultBusinessTypeEntity>::create();
    top->businessTypeCode = QStringLiteral("1907");
    top->businessTypeName = tr("velorin client");

    auto child = QSharedPointer<ConsultBusinessTypeEntity>::create();
    child->businessTypeCode = childCode;
    child->businessTypeName = childName;

    top->SetChildren({child});
    m_manager.SetBusinessTypeList({top});
}

QString ZorConsultLogic::SubmitDesc(QSharedPointer<ConsultDescEntity> desc)
{
    return SubmitDesc(std::move(desc), QString());
}

QString ZorConsultLogic::SubmitDesc(QSharedPointer<ConsultDescEntity> desc,
                                    const QString& identity)
{
    auto request = QSharedPointer<ConsultSubmitDescRequest>::create();
    auto response = QSharedPointer<ConsultSubmitDescResponse>::create();
    request->SetDescEntity(std::move(desc));
    const bool reusable = !QUuid::fromString(identity).isNull() &&
                          QUuid::fromString(identity).toString(QUuid::WithoutBraces) == identity;
    request->SetIdentity(reusable ? identity
                                  : QUuid::createUuid().toString(QUuid::WithoutBraces));
    // Holds nothing of the logic: the submitter waits for 20001 even if the logic is gone.
    auto done = [request, response]() {
        HttpNotifyManager::Instance()->Dispatch(MSG_CONSULT_SUBMIT_DESC, request, response);
    };
    IHttpManager::Instance()->SendRequest(request, response, done, kAttemptTimeoutMs,
                                          kConnectRetries);
    return request->GetIdentity();
}
