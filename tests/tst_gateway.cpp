// The HTTP gateway against the local advisory service: what goes over the wire, how each
// way a request can end reaches the response, and that the completion runs exactly once,
// on a later turn of the event loop.

#include "AdvisoryServerProcess.h"
#include "HttpGateway.h"
#include "IHttpRequestDsm.h"
#include "IHttpResponseDsm.h"
#include "TestMessageHandler.h"
#include "ZorConfigManager.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QScopedPointer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

namespace {

const QString kSubmitApi =
    QStringLiteral("dsm.zorapp.service.center.VenderAdvisoryLyn.startAdvisory");
const QByteArray kSubmitBody = QByteArrayLiteral(
    R"({"param":{"telphone":"13800000000","questionDesc":"cannot log in","files":[]}})");
// Goes into a header line, which it must not be able to break out of.
const QString kIdentity = QStringLiteral("id 7\r\nX-Injected: 1");

// A submission that counts how often the gateway asked for its body: once per attempt.
class TestRequest : public IHttpRequestDsm
{
    Q_OBJECT
public:
    QString GetApiName() const override { return kSubmitApi; }
    QByteArray GetBusinessParam() const override
    {
        ++bodyReads;
        return kSubmitBody;
    }
    QString GetApiUrl() const override { return apiUrl; }

    QString apiUrl;
    mutable int bodyReads = 0;
};

class TestResponse : public IHttpResponseDsm
{
    Q_OBJECT
public:
    void ParseData(const QJsonValue&) override { ++parseCount; }

    int parseCount = 0;
};

// Refusing: a loopback port this test holds bound without listening, so every connection
// is refused and no other program can start listening there meanwhile.
enum class Address { Base, BaseWithSlashes, OwnOverRefusingBase, Refusing, NotConfigured };

} // namespace

Q_DECLARE_METATYPE(Address)

class TestGateway : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();

    void send_data();
    void send();
    void destroyedGateway_data();
    void destroyedGateway();

private:
    bool startServer(const QString& fault = QString());
    void setBaseUrl(const QString& url);
    // Lets everything already queued run, so a second completion would have shown by now.
    void drainEvents();

    QTemporaryDir m_dir;
    QScopedPointer<QTemporaryDir> m_serverDir;
    AdvisoryServerProcess m_server;
};

void TestGateway::initTestCase()
{
    TestMessageHandler::install();
    QVERIFY(m_dir.isValid());
    ZorConfigManager::Instance()->SetConfigFile(m_dir.filePath(QStringLiteral("host.ini")));
}

void TestGateway::cleanup()
{
    m_server.stop();
    ZorConfigManager::Instance()->RemoveValue(QStringLiteral("gateway"),
                                              QStringLiteral("base_url"));
}

bool TestGateway::startServer(const QString& fault)
{
    QStringList args;
    if (!fault.isEmpty())
        args << QStringLiteral("--fault") << kSubmitApi + QLatin1Char('=') + fault;
    // A fresh data directory: the test sees only the records it made.
    m_serverDir.reset(new QTemporaryDir(m_dir.filePath(QStringLiteral("server-XXXXXX"))));
    if (!m_serverDir->isValid() || !m_server.start(m_serverDir->path(), args)) {
        qWarning("%s", qPrintable(m_server.errorString()));
        return false;
    }
    setBaseUrl(m_server.baseUrl());
    return true;
}

void TestGateway::setBaseUrl(const QString& url)
{
    ZorConfigManager::Instance()->SetValue(QStringLiteral("gateway"), QStringLiteral("base_url"),
                                           url);
}

void TestGateway::drainEvents()
{
    for (int i = 0; i < 3; ++i) {
        QCoreApplication::sendPostedEvents(nullptr, 0);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCoreApplication::processEvents();
    }
}

void TestGateway::send_data()
{
    QTest::addColumn<Address>("address");
    QTest::addColumn<QString>("fault");
    QTest::addColumn<int>("timeoutMs");
    QTest::addColumn<int>("retries");
    QTest::addColumn<int>("code");
    QTest::addColumn<int>("attempts");
    QTest::addColumn<QString>("descPattern");

    QTest::newRow("stored") << Address::Base << QString() << 20000 << 2 << 0 << 1 << "^$";
    QTest::newRow("base address with trailing slashes")
        << Address::BaseWithSlashes << QString() << 20000 << 2 << 0 << 1 << "^$";
    QTest::newRow("request's own address wins over the base")
        << Address::OwnOverRefusingBase << QString() << 20000 << 2 << 0 << 1 << "^$";

    QTest::newRow("HTTP error status") << Address::Base << "http:503" << 20000 << 2
                                       << int(HttpErrorCode::HttpStatus) << 1 << "HTTP status 503";
    // Never sent again: the service may still be working on it.
    QTest::newRow("no answer in time")
        << Address::Base << "delay:3000" << 300 << 2 << int(HttpErrorCode::Timeout) << 1
        << "did not answer within 0.3 seconds";
    QTest::newRow("server down, sent again")
        << Address::Refusing << QString() << 20000 << 2 << int(HttpErrorCode::ConnectionFailed) << 3
        << "^Could not connect to the advisory service at http://127\\.0\\.0\\.1:\\d+/dsm\\..+: "
           ".+\\. Check the network connection";
    QTest::newRow("server down, no retries")
        << Address::Refusing << QString() << 20000 << 0 << int(HttpErrorCode::ConnectionFailed) << 1
        << "^Could not connect to the advisory service";
    QTest::newRow("no base address configured")
        << Address::NotConfigured << QString() << 20000 << 2 << int(HttpErrorCode::Unknown) << 0
        << "base_url.*gateway";
}

void TestGateway::send()
{
    QFETCH(Address, address);
    QFETCH(QString, fault);
    QFETCH(int, timeoutMs);
    QFETCH(int, retries);
    QFETCH(int, code);
    QFETCH(int, attempts);
    QFETCH(QString, descPattern);

    auto request = QSharedPointer<TestRequest>::create();
    request->SetIdentity(kIdentity);
    QTcpSocket portHolder;
    QVERIFY(portHolder.bind(QHostAddress(QHostAddress::LocalHost), 0));
    const QString refusing = QStringLiteral("http://127.0.0.1:%1").arg(portHolder.localPort());
    if (address == Address::Refusing) {
        setBaseUrl(refusing);
    } else if (address != Address::NotConfigured) {
        QVERIFY(startServer(fault));
        if (address == Address::BaseWithSlashes)
            setBaseUrl(m_server.baseUrl() + QStringLiteral("//"));
        if (address == Address::OwnOverRefusingBase) {
            request->apiUrl = m_server.baseUrl() + QLatin1Char('/') + kSubmitApi;
            setBaseUrl(refusing);
        }
    }

    auto response = QSharedPointer<TestResponse>::create();
    HttpGateway gateway;
    int completions = 0;
    gateway.SendRequest(
        request, response, [&completions]() { ++completions; }, timeoutMs, retries);
    QCOMPARE(completions, 0); // never inside the call
    QTRY_COMPARE_WITH_TIMEOUT(completions, 1, 15000);
    drainEvents();
    QCOMPARE(completions, 1);

    QCOMPARE(response->IsSuccess(), code == 0);
    QCOMPARE(response->GetErrorCode(), code);
    QVERIFY2(response->GetErrorDesc().contains(QRegularExpression(descPattern)),
             qPrintable(response->GetErrorDesc()));
    QCOMPARE(request->bodyReads, attempts);
    QCOMPARE(response->parseCount, code == 0 ? 1 : 0);
    if (code != 0)
        return;

    // The service stored the body as sent, under the whole identity.
    const QJsonArray records = m_server.records();
    QCOMPARE(records.size(), 1);
    const QJsonObject stored = records.at(0).toObject();
    QCOMPARE(stored.value(QStringLiteral("requestId")).toString(), kIdentity);
    QCOMPARE(stored.value(QStringLiteral("record")),
             QJsonDocument::fromJson(kSubmitBody)[QLatin1String("param")]);
}

void TestGateway::destroyedGateway_data()
{
    QTest::addColumn<bool>("inFlight");
    QTest::addColumn<int>("code");

    QTest::newRow("request on its way is cancelled") << true << int(HttpErrorCode::Cancelled);
    // No base address: the failure is known at once, and its completion already queued.
    QTest::newRow("queued failure still completes") << false << int(HttpErrorCode::Unknown);
}

void TestGateway::destroyedGateway()
{
    QFETCH(bool, inFlight);
    QFETCH(int, code);

    if (inFlight)
        QVERIFY(startServer(QStringLiteral("delay:3000")));
    auto request = QSharedPointer<TestRequest>::create();
    auto response = QSharedPointer<TestResponse>::create();
    const QWeakPointer<TestResponse> watched = response;
    QScopedPointer<HttpGateway> gateway(new HttpGateway);
    int completions = 0;
    gateway->SendRequest(
        request, response, [&completions]() { ++completions; }, 20000, 2);
    if (inFlight)
        QTRY_COMPARE(request->bodyReads, 1);
    request.reset(); // only the gateway keeps them alive now
    response.reset();

    gateway.reset();
    QCOMPARE(completions, 0); // not inside the destructor either
    QVERIFY(watched);
    QCOMPARE(watched.toStrongRef()->GetErrorCode(), code);
    QVERIFY(!watched.toStrongRef()->GetErrorDesc().isEmpty());
    QTRY_COMPARE(completions, 1);
    drainEvents();
    QCOMPARE(completions, 1);
    // Released once done has run: nothing of the request is kept.
    QVERIFY(!watched);
}

QTEST_GUILESS_MAIN(TestGateway)
#include "tst_gateway.moc"
