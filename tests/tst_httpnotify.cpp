// The notification hub: who is called for a message, in which order, and what happens when
// observers come and go while a dispatch is running.

#include "HttpNotifyManager.h"
#include "HttpObserverBase.h"
#include "IHttpRequest.h"
#include "IHttpResponse.h"

#include <QTest>

#include <functional>
#include <memory>

namespace {

constexpr int kMessage = 20000;
constexpr int kOther = 20001;

using Log = QStringList;

class Observer : public HttpObserverBase
{
public:
    Observer(const QString& name, Log* log) : m_name(name), m_log(log) {}

    void HandleMessage(int id, QSharedPointer<IHttpRequest> request,
                       QSharedPointer<IHttpResponse> response) override
    {
        m_log->append(id == kMessage ? m_name : m_name + QLatin1Char('@') + QString::number(id));
        lastRequest = request;
        lastResponse = response;
        if (onMessage) {
            // Run once: later dispatches show the effect of what it did.
            const auto action = std::move(onMessage);
            onMessage = nullptr;
            action();
        }
    }

    std::function<void()> onMessage;
    QSharedPointer<IHttpRequest> lastRequest;
    QSharedPointer<IHttpResponse> lastResponse;

private:
    QString m_name;
    Log* m_log = nullptr;
};

class Request : public IHttpRequest
{
public:
    QString GetApiUrl() const override { return {}; }
    QString GetHostIp() const override { return {}; }
    QByteArray GetApiBody() const override { return {}; }
    QString GetMethodName() const override { return QStringLiteral("POST"); }
    QString GetLogInfo() const override { return {}; }
};

// What an observer does from inside its HandleMessage.
enum class Action { RemoveSelf, RemoveOther, RemoveOtherAllMessages, DestroySelf, DestroyOther };

void dispatch(int id = kMessage)
{
    HttpNotifyManager::Instance()->Dispatch(id, {}, {});
}

} // namespace

Q_DECLARE_METATYPE(Action)

class TestHttpNotify : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void dispatchInRegistrationOrder();
    void passesRequestAndResponse();
    void duplicateRegistration();
    void removeOneIdKeepsOthers();
    void destructorUnregisters();
    void changeDuringDispatch_data();
    void changeDuringDispatch();
    void addedDuringDispatchWaitsForNextOne();
    void removedAndAddedAgainDuringDispatch();
    void nestedDispatch();

private:
    Observer* make(const QString& name, int id = kMessage);

    Log m_log;
    // Raw so that a test can destroy an observer from inside a dispatch.
    QList<Observer*> m_observers;
};

void TestHttpNotify::init()
{
    m_log.clear();
}

void TestHttpNotify::cleanup()
{
    qDeleteAll(m_observers);
    m_observers.clear();
}

Observer* TestHttpNotify::make(const QString& name, int id)
{
    auto* observer = new Observer(name, &m_log);
    m_observers.append(observer);
    HttpNotifyManager::Instance()->AddObserver(observer, id);
    return observer;
}

void TestHttpNotify::dispatchInRegistrationOrder()
{
    make(QStringLiteral("A"));
    Observer* b = make(QStringLiteral("B"), kOther);
    make(QStringLiteral("C"));
    HttpNotifyManager::Instance()->AddObserver(b, kMessage);

    dispatch();
    QCOMPARE(m_log, (Log{"A", "C", "B"}));
    m_log.clear();
    dispatch(kOther);
    QCOMPARE(m_log, (Log{"B@20001"}));
    m_log.clear();
    dispatch(101);
    QVERIFY(m_log.isEmpty());
}

void TestHttpNotify::passesRequestAndResponse()
{
    Observer* a = make(QStringLiteral("A"));
    const QSharedPointer<IHttpRequest> request(new Request);
    HttpNotifyManager::Instance()->Dispatch(kMessage, request, {});
    QCOMPARE(a->lastRequest, request);
    QVERIFY(a->lastResponse.isNull());
}

void TestHttpNotify::duplicateRegistration()
{
    Observer* a = make(QStringLiteral("A"));
    make(QStringLiteral("B"));
    HttpNotifyManager::Instance()->AddObserver(a, kMessage);
    dispatch();
    QCOMPARE(m_log, (Log{"A", "B"}));

    // One removal undoes the registration entirely.
    HttpNotifyManager::Instance()->RemoveObserver(a, kMessage);
    QVERIFY(!HttpNotifyManager::Instance()->HasObserver(a, kMessage));
    m_log.clear();
    dispatch();
    QCOMPARE(m_log, (Log{"B"}));
}

void TestHttpNotify::removeOneIdKeepsOthers()
{
    Observer* a = make(QStringLiteral("A"));
    HttpNotifyManager::Instance()->AddObserver(a, kOther);
    HttpNotifyManager::Instance()->RemoveObserver(a, kMessage);
    QVERIFY(!HttpNotifyManager::Instance()->HasObserver(a, kMessage));
    QVERIFY(HttpNotifyManager::Instance()->HasObserver(a, kOther));

    HttpNotifyManager::Instance()->RemoveAllMessage(a);
    QVERIFY(!HttpNotifyManager::Instance()->HasObserver(a, kOther));
    dispatch(kOther);
    QVERIFY(m_log.isEmpty());
}

void TestHttpNotify::destructorUnregisters()
{
    Observer* a = make(QStringLiteral("A"));
    HttpNotifyManager::Instance()->AddObserver(a, kOther);
    make(QStringLiteral("B"));
    m_observers.removeOne(a);
    delete a;
    QVERIFY(!HttpNotifyManager::Instance()->HasObserver(a, kMessage));
    QVERIFY(!HttpNotifyManager::Instance()->HasObserver(a, kOther));
    dispatch();
    dispatch(kOther);
    QCOMPARE(m_log, (Log{"B"}));
}

void TestHttpNotify::changeDuringDispatch_data()
{
    QTest::addColumn<int>("actor");
    QTest::addColumn<Action>("action");
    QTest::addColumn<int>("target");
    QTest::addColumn<Log>("first");
    QTest::addColumn<Log>("second");

    // Observers A, B, C (indexes 0 to 2) registered in that order.
    QTest::newRow("removes itself")
        << 1 << Action::RemoveSelf << 1 << Log{"A", "B", "C"} << Log{"A", "C"};
    QTest::newRow("removes a later one")
        << 0 << Action::RemoveOther << 2 << Log{"A", "B"} << Log{"A", "B"};
    QTest::newRow("removes an earlier one")
        << 2 << Action::RemoveOther << 0 << Log{"A", "B", "C"} << Log{"B", "C"};
    QTest::newRow("unregisters a later one entirely")
        << 0 << Action::RemoveOtherAllMessages << 1 << Log{"A", "C"} << Log{"A", "C"};
    QTest::newRow("destroys itself")
        << 0 << Action::DestroySelf << 0 << Log{"A", "B", "C"} << Log{"B", "C"};
    QTest::newRow("destroys a later one")
        << 0 << Action::DestroyOther << 1 << Log{"A", "C"} << Log{"A", "C"};
    QTest::newRow("destroys the last one")
        << 1 << Action::DestroyOther << 2 << Log{"A", "B"} << Log{"A", "B"};
}

void TestHttpNotify::changeDuringDispatch()
{
    QFETCH(int, actor);
    QFETCH(Action, action);
    QFETCH(int, target);
    QFETCH(Log, first);
    QFETCH(Log, second);

    QList<Observer*> observers{make(QStringLiteral("A")), make(QStringLiteral("B")),
                               make(QStringLiteral("C"))};
    Observer* self = observers.at(actor);
    Observer* other = observers.at(target);
    HttpNotifyManager* hub = HttpNotifyManager::Instance();
    self->onMessage = [=]() {
        switch (action) {
        case Action::RemoveSelf:
            hub->RemoveObserver(self, kMessage);
            break;
        case Action::RemoveOther:
            hub->RemoveObserver(other, kMessage);
            break;
        case Action::RemoveOtherAllMessages:
            hub->RemoveAllMessage(other);
            break;
        case Action::DestroySelf:
        case Action::DestroyOther: {
            Observer* victim = action == Action::DestroySelf ? self : other;
            m_observers.removeOne(victim);
            delete victim;
            break;
        }
        }
    };

    dispatch();
    QCOMPARE(m_log, first);
    m_log.clear();
    dispatch();
    QCOMPARE(m_log, second);
}

void TestHttpNotify::addedDuringDispatchWaitsForNextOne()
{
    Observer* a = make(QStringLiteral("A"));
    make(QStringLiteral("B"));
    a->onMessage = [this]() { make(QStringLiteral("D")); };

    dispatch();
    QCOMPARE(m_log, (Log{"A", "B"}));
    m_log.clear();
    dispatch();
    QCOMPARE(m_log, (Log{"A", "B", "D"}));
}

void TestHttpNotify::removedAndAddedAgainDuringDispatch()
{
    Observer* a = make(QStringLiteral("A"));
    Observer* b = make(QStringLiteral("B"));
    make(QStringLiteral("C"));
    HttpNotifyManager* hub = HttpNotifyManager::Instance();
    // B moves to the end of the line: not called twice now, called after C from now on.
    a->onMessage = [=]() {
        hub->RemoveObserver(b, kMessage);
        hub->AddObserver(b, kMessage);
    };

    dispatch();
    QCOMPARE(m_log, (Log{"A", "C"}));
    m_log.clear();
    dispatch();
    QCOMPARE(m_log, (Log{"A", "C", "B"}));
}

void TestHttpNotify::nestedDispatch()
{
    Observer* a = make(QStringLiteral("A"));
    make(QStringLiteral("B"));
    Observer* c = make(QStringLiteral("C"));
    Observer* x = make(QStringLiteral("X"), kOther);
    HttpNotifyManager* hub = HttpNotifyManager::Instance();
    // A's message triggers another dispatch whose observer removes itself and C; the outer
    // dispatch must go on with B and leave C out.
    a->onMessage = [=]() { dispatch(kOther); };
    x->onMessage = [=]() {
        hub->RemoveAllMessage(x);
        hub->RemoveObserver(c, kMessage);
    };

    dispatch();
    QCOMPARE(m_log, (Log{"A", "X@20001", "B"}));
    QVERIFY(!hub->HasObserver(x, kOther));
    QVERIFY(!hub->HasObserver(c, kMessage));
    m_log.clear();
    dispatch();
    dispatch(kOther);
    QCOMPARE(m_log, (Log{"A", "B"}));
}

QTEST_APPLESS_MAIN(TestHttpNotify)
#include "tst_httpnotify.moc"
