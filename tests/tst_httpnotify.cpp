// The notification hub: who is called for a message, in which order, and what happens when
// observers come and go while a dispatch is running.

#include "HttpNotifyManager.h"
#include "HttpObserverBase.h"

#include <QTest>

#include <functional>
#include <utility>

namespace {

constexpr int kMessage = 20000;
constexpr int kOther = 20001;

using Log = QStringList;

class Observer : public HttpObserverBase
{
public:
    Observer(const QString& name, Log* log) : m_name(name), m_log(log) {}

    void HandleMessage(int id, QSharedPointer<IHttpRequest>, QSharedPointer<IHttpResponse>) override
    {
        m_log->append(id == kMessage ? m_name : m_name + QLatin1Char('@') + QString::number(id));
        // Runs once: later dispatches show the effect of what it did.
        if (const auto action = std::exchange(onMessage, nullptr))
            action();
    }

    std::function<void()> onMessage;

private:
    QString m_name;
    Log* m_log = nullptr;
};

using Observers = QList<Observer*>;
// What an observer does from inside its HandleMessage, given all observers.
using Step = std::function<void(const Observers&)>;

HttpNotifyManager* hub()
{
    return HttpNotifyManager::Instance();
}

void dispatch(int id = kMessage)
{
    hub()->Dispatch(id, {}, {});
}

} // namespace

Q_DECLARE_METATYPE(Step)

class TestHttpNotify : public QObject
{
    Q_OBJECT

private slots:
    void cleanup();

    void dispatchInRegistrationOrder();
    void changeDuringDispatch_data();
    void changeDuringDispatch();

private:
    Observer* make(const QString& name, int id = kMessage);

    Log m_log;
    // Raw so that a test can destroy an observer from inside a dispatch.
    QList<Observer*> m_observers;
};

void TestHttpNotify::cleanup()
{
    qDeleteAll(m_observers);
    m_observers.clear();
    m_log.clear();
}

Observer* TestHttpNotify::make(const QString& name, int id)
{
    auto* observer = new Observer(name, &m_log);
    m_observers.append(observer);
    hub()->AddObserver(observer, id);
    return observer;
}

void TestHttpNotify::dispatchInRegistrationOrder()
{
    make(QStringLiteral("A"));
    Observer* b = make(QStringLiteral("B"), kOther);
    Observer* c = make(QStringLiteral("C"));
    hub()->AddObserver(b, kMessage);
    hub()->AddObserver(c, kMessage); // registered already: still called once

    dispatch();
    dispatch(kOther);
    dispatch(101);
    QCOMPARE(m_log, (Log{"A", "C", "B", "B@20001"}));
}

void TestHttpNotify::changeDuringDispatch_data()
{
    QTest::addColumn<int>("actor");
    QTest::addColumn<Step>("step");
    QTest::addColumn<Log>("first");
    QTest::addColumn<Log>("second");

    const auto remove = [](int i) {
        return Step([i](const Observers& o) { hub()->RemoveObserver(o[i], kMessage); });
    };
    const auto destroy = [this](int i) {
        return Step([this, i](const Observers& o) {
            m_observers.removeOne(o[i]);
            delete o[i];
        });
    };
    // Observers A, B, C (indexes 0 to 2) registered in that order, B for a second message
    // too. The second log is of both messages: removing one registration keeps the other,
    // destroying an observer ends both.
    QTest::newRow("removes itself")
        << 1 << remove(1) << Log{"A", "B", "C"} << Log{"A", "C", "B@20001"};
    QTest::newRow("removes a later one")
        << 0 << remove(1) << Log{"A", "C"} << Log{"A", "C", "B@20001"};
    QTest::newRow("removes an earlier one")
        << 2 << remove(0) << Log{"A", "B", "C"} << Log{"B", "C", "B@20001"};
    QTest::newRow("unregisters a later one entirely")
        << 0 << Step([](const Observers& o) { hub()->RemoveAllMessage(o[1]); }) << Log{"A", "C"}
        << Log{"A", "C"};
    QTest::newRow("destroys itself") << 1 << destroy(1) << Log{"A", "B", "C"} << Log{"A", "C"};
    QTest::newRow("destroys a later one") << 0 << destroy(1) << Log{"A", "C"} << Log{"A", "C"};
    QTest::newRow("destroys the last one")
        << 1 << destroy(2) << Log{"A", "B"} << Log{"A", "B", "B@20001"};
    QTest::newRow("adds one, called from the next dispatch on")
        << 0 << Step([this](const Observers&) { make(QStringLiteral("D")); }) << Log{"A", "B", "C"}
        << Log{"A", "B", "C", "D", "B@20001"};
    QTest::newRow("moves a later one to the end, not called twice")
        << 0 << Step([](const Observers& o) {
               hub()->RemoveObserver(o[1], kMessage);
               hub()->AddObserver(o[1], kMessage);
           })
        << Log{"A", "C"} << Log{"A", "C", "B", "B@20001"};
    // The inner dispatch must leave the list the outer one walks as it is, only marked.
    QTest::newRow("dispatches another message whose observer removes an earlier one")
        << 0 << Step([](const Observers& o) {
               o[1]->onMessage = [o]() { hub()->RemoveObserver(o[0], kMessage); };
               dispatch(kOther);
           })
        << Log{"A", "B@20001", "B", "C"} << Log{"B", "C", "B@20001"};
}

void TestHttpNotify::changeDuringDispatch()
{
    QFETCH(int, actor);
    QFETCH(Step, step);
    QFETCH(Log, first);
    QFETCH(Log, second);

    const Observers observers{make(QStringLiteral("A")), make(QStringLiteral("B")),
                              make(QStringLiteral("C"))};
    hub()->AddObserver(observers.at(1), kOther);
    observers.at(actor)->onMessage = [=]() { step(observers); };

    dispatch();
    QCOMPARE(m_log, first);
    m_log.clear();
    dispatch();
    dispatch(kOther);
    QCOMPARE(m_log, second);
}

QTEST_APPLESS_MAIN(TestHttpNotify)
#include "tst_httpnotify.moc"
