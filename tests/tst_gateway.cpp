// The HTTP gateway against the local advisory service: what goes over the wire, how each
// way a request can end reaches the response, and that the completion runs exactly once,
// later, on the GUI thread.

#include "AdvisoryServerProcess.h"
#include "HttpGateway.h"
#include "IHttpRequestDsm.h"
#include "IHttpResponseDsm.h"
#include "TestMessageHandler.h"
#include "ZorConfigManager.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPointer>
#include <QRegularExpression>
#include <QScopedPointer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QUuid>

namespace {

const QString kCategoryApi =
    QStringLiteral("dsm.zorapp.service.center.VenderAdvisoryLyn.getBusinessType");
const QString kSubmitApi =
    QStringLiteral("dsm.zorapp.service.center.VenderAdvisoryLyn.startAdvisory");

const QByteArray kCategoryBody = QByteArrayLiteral(R"({"venderId":"10086"})");
const QByteArray kSubmitBody = QByteArrayLiteral(
    R"({"param":{"startBusinessCode1":1907,"startBusinessName1":"client",)"
    R"("startBusinessCode2":1908,"startBusinessName2":"login","venderId":"10086",)"
    R"("userId":"PtMYNKkIPAlxf2tC9+bx2g==","telphone":"13800000000",)"
    R"("questionDesc":"cannot log in","files":[],"version":"5.3.0.1","platform":2,)"
    R"("systemName":"debian","systemVersion":"12","ip":"127.0.0.1",)"
    R"("resolution":"1280*800 100%","sourceType":"0","browserVersion":"1.0",)"
    R"("deviceId":"device-1"}})");

// A gateway API request whose name, body and address the test chooses; it counts how often
// the gateway asked for the body, which is once per attempt.
class TestRequest : public IHttpRequestDsm
{
    Q_OBJECT
public:
    TestRequest(const QString& api, const QByteArray& body) : m_api(api), m_body(body) {}

    QString GetApiName() const override { return m_api; }
    QByteArray GetBusinessParam() const override
    {
        ++bodyReads;
        return m_body;
    }
    QString GetApiUrl() const override { return apiUrl; }

    QString apiUrl;
    mutable int bodyReads = 0;

private:
    QString m_api;
    QByteArray m_body;
};

class TestResponse : public IHttpResponseDsm
{
    Q_OBJECT
public:
    void ParseData(const QJsonValue& data) override
    {
        ++parseCount;
        this->data = data;
    }

    QJsonValue data = QJsonValue::Undefined;
    int parseCount = 0;
};

// Refusing: a loopback port this test holds bound without listening, so every connection
// is refused and no other program can start listening there meanwhile.
enum class Server { Running, Refusing, NotConfigured };

// What one request's completion saw.
struct Completion
{
    int count = 0;
    bool insideSend = false;
    bool offGuiThread = false;
};

} // namespace

Q_DECLARE_METATYPE(Server)

class TestGateway : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void success_data();
    void success();
    void failure_data();
    void failure();
    void destroyedGatewayCancels();
    void destroyedGatewayAfterCompletionStillCompletes();

private:
    bool startServer(const QStringList& args = {});
    void setBaseUrl(const QString& url);
    // Sends through the gateway and records each run of done in completion.
    void send(HttpGateway& gateway, const QSharedPointer<TestRequest>& request,
              const QSharedPointer<TestResponse>& response, Completion& completion,
              int timeoutMs = 20000, int retries = 2);
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

void TestGateway::init()
{
    m_serverDir.reset(new QTemporaryDir(m_dir.filePath(QStringLiteral("server-XXXXXX"))));
    QVERIFY(m_serverDir->isValid());
    ZorConfigManager::Instance()->RemoveValue(QStringLiteral("gateway"),
                                              QStringLiteral("base_url"));
}

void TestGateway::cleanup()
{
    m_server.stop();
    m_serverDir.reset();
}

bool TestGateway::startServer(const QStringList& args)
{
    if (!m_server.start(m_serverDir->path(), args)) {
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

void TestGateway::send(HttpGateway& gateway, const QSharedPointer<TestRequest>& request,
                       const QSharedPointer<TestResponse>& response, Completion& completion,
                       int timeoutMs, int retries)
{
    bool inside = true;
    QThread* guiThread = QCoreApplication::instance()->thread();
    gateway.SendRequest(
        request, response,
        [&completion, &inside, guiThread]() {
            ++completion.count;
            completion.insideSend = completion.insideSend || inside;
            completion.offGuiThread =
                completion.offGuiThread || QThread::currentThread() != guiThread;
        },
        timeoutMs, retries);
    inside = false;
}

void TestGateway::drainEvents()
{
    for (int i = 0; i < 3; ++i) {
        QCoreApplication::sendPostedEvents(nullptr, 0);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCoreApplication::processEvents();
    }
}

void TestGateway::success_data()
{
    QTest::addColumn<QString>("api");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QString>("baseSuffix");
    QTest::addColumn<bool>("ownAddress");

    QTest::newRow("submission") << kSubmitApi << kSubmitBody << QString() << false;
    QTest::newRow("category query") << kCategoryApi << kCategoryBody << QString() << false;
    QTest::newRow("base address with trailing slashes")
        << kSubmitApi << kSubmitBody << QStringLiteral("//") << false;
    QTest::newRow("request's own address wins over the base")
        << kCategoryApi << kCategoryBody << QString() << true;
}

void TestGateway::success()
{
    QFETCH(QString, api);
    QFETCH(QByteArray, body);
    QFETCH(QString, baseSuffix);
    QFETCH(bool, ownAddress);

    QVERIFY(startServer());
    auto request = QSharedPointer<TestRequest>::create(api, body);
    const QString identity = QUuid::createUuid().toString(QUuid::WithoutBraces);
    request->SetIdentity(identity);
    if (ownAddress) {
        request->apiUrl = m_server.baseUrl() + QLatin1Char('/') + api;
        // Nothing listens on the discard port: only the request's own address can work.
        setBaseUrl(QStringLiteral("http://127.0.0.1:9"));
    } else {
        setBaseUrl(m_server.baseUrl() + baseSuffix);
    }
    auto response = QSharedPointer<TestResponse>::create();

    HttpGateway gateway;
    Completion completion;
    send(gateway, request, response, completion);
    QCOMPARE(completion.count, 0);
    QTRY_COMPARE_WITH_TIMEOUT(completion.count, 1, 15000);
    drainEvents();
    QCOMPARE(completion.count, 1);
    QVERIFY(!completion.insideSend);
    QVERIFY(!completion.offGuiThread);

    QVERIFY2(response->IsSuccess(), qPrintable(response->GetErrorDesc()));
    QCOMPARE(response->GetErrorCode(), 0);
    QVERIFY(response->GetErrorDesc().isEmpty());
    QCOMPARE(response->parseCount, 1);
    QCOMPARE(request->bodyReads, 1);

    if (api == kCategoryApi) {
        QVERIFY(response->data.isArray());
        QVERIFY(!response->data.toArray().isEmpty());
        QVERIFY(
            response->data.toArray().at(0).toObject().contains(QStringLiteral("businessTypeCode")));
        return;
    }
    // The submission: the reply's data is the new feedback id, and the service stored the
    // record under the identity the request carried.
    QVERIFY(response->data.isString());
    const QString feedbackId = response->data.toString();
    QVERIFY(!feedbackId.isEmpty());
    bool ok = false;
    const QJsonArray records = m_server.records(&ok);
    QVERIFY(ok);
    QCOMPARE(records.size(), 1);
    const QJsonObject stored = records.at(0).toObject();
    QCOMPARE(stored.value(QStringLiteral("requestId")).toString(), identity);
    QCOMPARE(stored.value(QStringLiteral("id")).toVariant().toString(), feedbackId);
    QCOMPARE(stored.value(QStringLiteral("record")).toObject(),
             QJsonDocument::fromJson(body).object().value(QStringLiteral("param")).toObject());
}

void TestGateway::failure_data()
{
    QTest::addColumn<Server>("server");
    QTest::addColumn<QStringList>("serverArgs");
    QTest::addColumn<int>("timeoutMs");
    QTest::addColumn<int>("retries");
    QTest::addColumn<int>("code");
    QTest::addColumn<int>("attempts");
    QTest::addColumn<QString>("descPattern");

    const auto fault = [](const QString& kind) {
        return QStringList{QStringLiteral("--fault"), kSubmitApi + QLatin1Char('=') + kind};
    };

    QTest::newRow("service refuses with a code")
        << Server::Running << fault(QStringLiteral("error:4321")) << 20000 << 2 << 4321 << 1
        << QStringLiteral("^The advisory service refused the request: .+ \\(code 4321\\)");
    QTest::newRow("malformed body")
        << Server::Running << fault(QStringLiteral("malformed")) << 20000 << 2
        << int(HttpErrorCode::BadReply) << 1 << QStringLiteral("could not be read");
    QTest::newRow("HTTP error status")
        << Server::Running << fault(QStringLiteral("http:503")) << 20000 << 2
        << int(HttpErrorCode::HttpStatus) << 1 << QStringLiteral("HTTP status 503");
    // A timeout is never retried: the service may still be working on the request.
    QTest::newRow("no answer in time")
        << Server::Running << fault(QStringLiteral("delay:3000")) << 300 << 2
        << int(HttpErrorCode::Timeout) << 1 << QStringLiteral("did not answer within 0.3 seconds");
    QTest::newRow("server down, retried")
        << Server::Refusing << QStringList() << 20000 << 2 << int(HttpErrorCode::ConnectionFailed)
        << 3
        << QStringLiteral("^Could not connect to the advisory service at http://127\\.0\\.0\\.1:"
                          "\\d+/dsm\\..+: .+\\. Check the network connection");
    QTest::newRow("server down, no retries")
        << Server::Refusing << QStringList() << 20000 << 0 << int(HttpErrorCode::ConnectionFailed)
        << 1 << QStringLiteral("^Could not connect to the advisory service");
    QTest::newRow("no base address configured")
        << Server::NotConfigured << QStringList() << 20000 << 2 << int(HttpErrorCode::Unknown) << 0
        << QStringLiteral("base_url.*gateway");
}

void TestGateway::failure()
{
    QFETCH(Server, server);
    QFETCH(QStringList, serverArgs);
    QFETCH(int, timeoutMs);
    QFETCH(int, retries);
    QFETCH(int, code);
    QFETCH(int, attempts);
    QFETCH(QString, descPattern);

    QTcpSocket portHolder;
    if (server == Server::Running)
        QVERIFY(startServer(serverArgs));
    if (server == Server::Refusing) {
        QVERIFY(portHolder.bind(QHostAddress(QHostAddress::LocalHost), 0));
        setBaseUrl(QStringLiteral("http://127.0.0.1:%1").arg(portHolder.localPort()));
    }

    auto request = QSharedPointer<TestRequest>::create(kSubmitApi, kSubmitBody);
    request->SetIdentity(QUuid::createUuid().toString(QUuid::WithoutBraces));
    auto response = QSharedPointer<TestResponse>::create();
    HttpGateway gateway;
    Completion completion;
    QElapsedTimer clock;
    clock.start();
    send(gateway, request, response, completion, timeoutMs, retries);
    QCOMPARE(completion.count, 0);
    QTRY_COMPARE_WITH_TIMEOUT(completion.count, 1, 15000);
    const qint64 elapsed = clock.elapsed();
    drainEvents();
    QCOMPARE(completion.count, 1);
    QVERIFY(!completion.insideSend);
    QVERIFY(!completion.offGuiThread);

    QVERIFY(!response->IsSuccess());
    QCOMPARE(response->GetErrorCode(), code);
    QCOMPARE(response->parseCount, 0);
    QCOMPARE(request->bodyReads, attempts);
    const QString desc = response->GetErrorDesc();
    QVERIFY2(desc.contains(QRegularExpression(descPattern)), qPrintable(desc));
    if (code == HttpErrorCode::Timeout)
        QVERIFY2(elapsed < 3000, "the gateway waited for the late reply");
    if (m_server.port() != 0)
        QCOMPARE(m_server.records().size(), 0);
}

void TestGateway::destroyedGatewayCancels()
{
    QVERIFY(startServer({QStringLiteral("--fault"), kSubmitApi + QStringLiteral("=delay:3000")}));
    auto request = QSharedPointer<TestRequest>::create(kSubmitApi, kSubmitBody);
    auto response = QSharedPointer<TestResponse>::create();
    QWeakPointer<TestResponse> watched = response;
    QScopedPointer<HttpGateway> gateway(new HttpGateway);
    Completion completion;
    send(*gateway, request, response, completion);
    QTRY_COMPARE(request->bodyReads, 1); // on its way
    response.reset();                    // only the gateway keeps it alive now
    request.reset();

    gateway.reset();
    QCOMPARE(completion.count, 0); // not inside the destructor either
    QVERIFY(watched);
    QCOMPARE(watched.toStrongRef()->GetErrorCode(), int(HttpErrorCode::Cancelled));
    QVERIFY(!watched.toStrongRef()->GetErrorDesc().isEmpty());
    QTRY_COMPARE(completion.count, 1);
    drainEvents();
    QCOMPARE(completion.count, 1);
    QVERIFY(!completion.offGuiThread);
    // Released once done has run: nothing of the request is kept.
    QVERIFY(!watched);
}

void TestGateway::destroyedGatewayAfterCompletionStillCompletes()
{
    // No base address: the failure is known at once, but done is only queued when the
    // gateway goes away; it must run all the same, with the original failure.
    auto request = QSharedPointer<TestRequest>::create(kSubmitApi, kSubmitBody);
    auto response = QSharedPointer<TestResponse>::create();
    QScopedPointer<HttpGateway> gateway(new HttpGateway);
    Completion completion;
    send(*gateway, request, response, completion);
    gateway.reset();
    QCOMPARE(completion.count, 0);
    QTRY_COMPARE(completion.count, 1);
    drainEvents();
    QCOMPARE(completion.count, 1);
    QCOMPARE(response->GetErrorCode(), int(HttpErrorCode::Unknown));
}

QTEST_GUILESS_MAIN(TestGateway)
#include "tst_gateway.moc"
